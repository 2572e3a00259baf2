// The document swaps its player window when the movie's controller type asks for another kind of window,
// keeping the window's top-left corner, and leaves it alone when the kind still fits.
#include "window_test_fixture.h"

#include "player/window/controllerless_window_controller.h"
#include "player/window/movie_window_controller.h"
#include "player/window/skinned_window_controller.h"

#include "document/movie_progress_window_controller.h"
#include "platform/mvkit/skin_media.h"

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

// An edit that adds a skin track gives the movie the skinned window (placed at the old window's top-left),
// with a progress sheet of its own; removing the skin brings the standard window back.
TEST_F(WindowSwapTest, AnEditThatAddsOrRemovesASkinSwapsTheWindow)
{
    auto doc = openDocument(windowTestMovie(160, 120));
    auto first = doc->playerWindowController();
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(first));
    auto firstSheet = doc->movieProgressWindowController();
    ASSERT_TRUE(firstSheet);
    EXPECT_EQ(firstSheet->movieWindow(), first->window()) << "made with the player window";
    auto& controllers = doc->windowControllers();
    EXPECT_EQ(std::count(controllers.begin(), controllers.end(), firstSheet), 1);
    HXRect frame = first->window()->frame();

    MVSkinData skin { HXRegion::regionWithRect(HXMakeRect(0, 0, 160, 120)),
        HXRegion::regionWithRect(HXMakeRect(0, 0, 160, 10)) };
    auto track = MVMovieAddSkinTrack(*doc->movie(), skin);
    ASSERT_TRUE(track);
    doc->movie()->movieChanged(); // the edit is told
    auto skinned = doc->playerWindowController();
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPSkinWindowController>(skinned));
    EXPECT_FALSE(first->window()->isVisible());
    HXRect moved = skinned->window()->frame();
    EXPECT_EQ(HXMinX(moved), HXMinX(frame));
    EXPECT_EQ(HXMaxY(moved), HXMaxY(frame));
    auto sheet = doc->movieProgressWindowController();
    ASSERT_TRUE(sheet);
    EXPECT_NE(sheet, firstSheet) << "the old window's sheet goes with it";
    EXPECT_EQ(sheet->movieWindow(), skinned->window());
    EXPECT_EQ(std::count(controllers.begin(), controllers.end(), firstSheet), 0);
    EXPECT_EQ(std::count(controllers.begin(), controllers.end(), sheet), 1);
    EXPECT_TRUE(doc->movie()->progressProc()) << "the new sheet hears the movie's progress";

    doc->movie()->removeTrack(track);
    doc->movie()->movieChanged();
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(doc->playerWindowController()));
}

} // namespace
