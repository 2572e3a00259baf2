// A panorama movie in the standard player window: the transport bar turns into back, zoom out, zoom in and
// hot spots; the time display shows no slider or time; the wheel and a drag look around, the arrow keys
// nudge, a click on a hot spot follows it; editing and the linear-play commands are off, and the info
// rows leave out what a panorama does not have.
#include "window_test_fixture.h"

#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "player/timeline/lcd_view.h"
#include "tests/platform/mvkit/panorama_fixtures.h"

#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/node.h"
#include "platform/winkit/menu.h"

namespace {

using movara::test::PlayerWindowTest;
using Position = MVPMovieControlsView::Position;

class PanoramaWindow : public PlayerWindowTest {
protected:
    void SetUp() override
    {
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        PlayerWindowTest::SetUp();
        auto path = movara::test::panoramaFixturePath();
        if (path.empty())
            GTEST_SKIP() << "ffmpeg could not draw the panorama's pictures";
        movie = MVMovie::movieWithFile(path.string(), nullptr);
        ASSERT_TRUE(movie);
        doc = openDocument(movie);
        controller = controllerOf(doc);
        window = controller->window();
        view = controller->movieView();
        bar = controller->movieControlsView();
        ASSERT_TRUE(bar);
        window->displayIfNeeded();
    }

    // A point of the movie view at (fx, fy) of its picture, from its top-left corner, in window coordinates.
    HXPoint pictureAt(double fx, double fy)
    {
        HXRect r = view->movieBounds();
        HXPoint p { r.origin.x + r.size.width * fx,
            view->isFlipped() ? r.origin.y + r.size.height * fy : r.origin.y + r.size.height * (1 - fy) };
        return view->convertPointToView(p, nullptr);
    }
    void mouse(HXEventType type, HXPoint at)
    {
        HXHeadlessWindowServer::postMouse(type, window, at);
        HXApp().processPendingEvents();
    }
    bool enabled(const char* action)
    {
        auto item = std::make_shared<HXMenuItem>("", HXSelector(action), "");
        return controller->validateMenuItem(*item);
    }

    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVPMovieWindowController> controller;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<MVPMovieView> view;
    std::shared_ptr<MVPMovieControlsView> bar;
};

TEST_F(PanoramaWindow, TheTransportBarNavigatesThePanorama)
{
    const char* images[] = { "VRPrevious", "VRZoomOut", "Play", "VRZoomIn", "VRHotspots" };
    const char* actions[] = { "goBack:", "zoomOut:", "", "zoomIn:", "toggleHotSpots:" };
    for (int p = 0; p < 5; ++p) {
        auto button = bar->button(Position(p));
        EXPECT_EQ(bar->imageNameForButton(button.get()), images[p]);
        EXPECT_EQ(button->action() ? button->action().name() : "", actions[p]);
    }
    EXPECT_FALSE(bar->button(MVPMovieControlsView::CenterButton)->isEnabled()) << "a panorama does not play";
    EXPECT_TRUE(bar->button(MVPMovieControlsView::RightButton)->isEnabled()) << "the yard has hot spots";

    // Zoom in while held: one step at once, on while held, still when let go.
    auto zoomIn = bar->button(MVPMovieControlsView::RightCenterButton);
    zoomIn->cell()->highlight(true, zoomIn->bounds(), *zoomIn);
    const float stepped = movie->fieldOfView();
    EXPECT_LT(stepped, 60);
    clock->advance(0.3);
    const float held = movie->fieldOfView();
    EXPECT_LT(held, stepped);
    zoomIn->cell()->highlight(false, zoomIn->bounds(), *zoomIn);
    clock->advance(0.3);
    EXPECT_FLOAT_EQ(movie->fieldOfView(), held);

    // The hot spots' button shows them; a script hiding them turns the button off again.
    auto spots = bar->button(MVPMovieControlsView::RightButton);
    spots->performClick(nullptr);
    EXPECT_TRUE(movie->hotspotsVisible());
    EXPECT_EQ(spots->state(), HXOnState);
    movie->setHotspotsVisible(false);
    EXPECT_EQ(spots->state(), HXOffState);

    // Back returns to the node before.
    movie->goToNode(2);
    bar->button(MVPMovieControlsView::LeftButton)->performClick(nullptr);
    EXPECT_EQ(movie->currentNode()->name(), "Yard");
}

TEST_F(PanoramaWindow, TheTimeDisplayHasNoSliderOrTime)
{
    auto lcd = controller->LCDView();
    ASSERT_TRUE(lcd);
    window->displayIfNeeded();
    EXPECT_TRUE(lcd->isVRMovie());
    EXPECT_TRUE(lcd->scrollView()) << "the message area stays";
    EXPECT_FALSE(lcd->sliderView());
    EXPECT_FALSE(lcd->timeCodeField());
}

TEST_F(PanoramaWindow, WheelDragAndKeysLookAround)
{
    // The wheel: the horizontal delta pans, the vertical one tilts.
    view->scrollWheel(HXEvent::scrollEvent({}, 0, 0, window->windowNumber(), 3, 0));
    EXPECT_FLOAT_EQ(movie->panAngle(), 183);
    view->scrollWheel(HXEvent::scrollEvent({}, 0, 0, window->windowNumber(), 0, -4));
    EXPECT_FLOAT_EQ(movie->tiltAngle(), -4);

    // A drag to the right turns the view left; clicks on the picture never move the window.
    EXPECT_FALSE(view->mouseDownCanMoveWindow());
    const HXRect frame = window->frame();
    const float pan = movie->panAngle();
    mouse(HXLeftMouseDown, pictureAt(0.3, 0.5));
    mouse(HXLeftMouseDragged, pictureAt(0.5, 0.5));
    mouse(HXLeftMouseUp, pictureAt(0.5, 0.5));
    EXPECT_GT(movie->panAngle(), pan + 5);
    EXPECT_EQ(window->frame(), frame);
    EXPECT_EQ(movie->currentNode()->name(), "Yard") << "a drag is no click";

    // The arrow keys nudge.
    window->makeFirstResponder(view);
    const float tilt = movie->tiltAngle(), turned = movie->panAngle();
    HXHeadlessWindowServer::postKey(window, HXStringFromCharacter(HXUpArrowFunctionKey));
    HXApp().processPendingEvents();
    EXPECT_GT(movie->tiltAngle(), tilt);
    HXHeadlessWindowServer::postKey(window, HXStringFromCharacter(HXRightArrowFunctionKey));
    HXApp().processPendingEvents();
    EXPECT_LT(movie->panAngle(), turned) << "right lowers the pan";
}

TEST_F(PanoramaWindow, AClickOnAHotspotFollowsIt)
{
    movie->setPanAngle(180);
    movie->setTiltAngle(0);
    // Beside the door nothing happens; on it, the room opens.
    mouse(HXLeftMouseDown, pictureAt(0.05, 0.5));
    mouse(HXLeftMouseUp, pictureAt(0.05, 0.5));
    EXPECT_EQ(movie->currentNode()->name(), "Yard");
    EXPECT_FALSE(view->hotspotAtPoint(view->convertPointFromView(pictureAt(0.05, 0.5), nullptr)));
    EXPECT_EQ(view->hotspotAtPoint(view->convertPointFromView(pictureAt(0.5, 0.5), nullptr))->name(), "Door");
    mouse(HXLeftMouseDown, pictureAt(0.5, 0.5));
    mouse(HXLeftMouseUp, pictureAt(0.5, 0.5));
    EXPECT_EQ(movie->currentNode()->name(), "Room");
    EXPECT_EQ(bar->button(MVPMovieControlsView::RightButton)->isEnabled(), true)
        << "the room has its own hot spot";
}

TEST_F(PanoramaWindow, EditingAndLinearPlayAreOff)
{
    movie->setSelection({ MVMakeTime(0, 600), MVMakeTime(300, 600) });
    for (const char* action :
        { "selectAll:", "selectNone:", "cut:", "copy:", "delete:", "loop:", "loopBackAndForth:",
            "playSelectionOnly:", "playAllFrames:", "setPosterFrame:", "gotoNextChapter:" })
        EXPECT_FALSE(enabled(action)) << action;
    for (const char* action : { "halfSize:", "normalSize:", "doubleSize:" })
        EXPECT_TRUE(enabled(action)) << action;
    // The framework's own delete leaves the nodes alone too.
    const int64_t duration = movie->durationValue();
    view->delete_(nullptr);
    EXPECT_EQ(movie->durationValue(), duration);
    EXPECT_EQ(movie->nodes().size(), 2u);
}

TEST_F(PanoramaWindow, InfoRowsLeaveOutTimesAndRates)
{
    doc->updateAttributes();
    const auto& rows = doc->attributes();
    ASSERT_GE(rows.size(), 10u);
    for (int row : { 2, 5, 6, 7 }) // frame rate, data rate, current time, duration
        EXPECT_FALSE(rows[size_t(row)].value) << row;
    EXPECT_TRUE(rows[8].value) << "the normal size still shows";
}

} // namespace
