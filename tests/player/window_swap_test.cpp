// The document swaps its player window when the movie's controller type asks for another kind of window,
// keeping the window's top-left corner, and leaves it alone when the kind still fits.
#include "window_test_fixture.h"

#include "player/window/controllerless_window_controller.h"
#include "player/window/movie_window_controller.h"

#include <algorithm>

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;

class WindowSwapTest : public PlayerWindowTest { };

TEST_F(WindowSwapTest, AControllerTypeChangeSwapsTheWindowAndBack)
{
    auto doc = openDocument(windowTestMovie());
    auto first = doc->playerWindowController();
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(first));
    HXRect frame = first->window()->frame();
    HXPoint topLeft { HXMinX(frame), HXMaxY(frame) };

    doc->movie()->setControllerType(MVMovieControllerTypeNone);
    auto second = doc->playerWindowController();
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPNoneWindowController>(second)) << "the plain window for 'none'";
    EXPECT_FALSE(first->window()->isVisible());
    EXPECT_TRUE(second->window()->isVisible());
    HXRect moved = second->window()->frame();
    EXPECT_EQ(HXMinX(moved), topLeft.x);
    EXPECT_EQ(HXMaxY(moved), topLeft.y);
    auto& controllers = doc->windowControllers();
    EXPECT_EQ(std::count(controllers.begin(), controllers.end(), first), 0);

    // The same kind again: nothing is swapped.
    EXPECT_FALSE(doc->changeWindowControllerIfNecessary());
    EXPECT_EQ(doc->playerWindowController(), second);

    doc->movie()->setControllerType(MVFourCC("stnd"));
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(doc->playerWindowController()));
}

} // namespace
