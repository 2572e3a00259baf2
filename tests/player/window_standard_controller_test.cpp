// The standard player window with a real document: its views, its sizing by the document's user size and
// the size commands, live resizing, the zoom toggle, lending the movie view to full screen and taking it
// back, the keyboard loop, and the empty movie that may not play.
#include "window_test_fixture.h"

#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/lcd_view.h"
#include "player/window/movie_window_background_view.h"
#include "player/window/movie_window_bevel_view.h"
#include "player/window/resize_thumb_view.h"

#include "platform/winkit/image_view.h"

#include <cmath>
#include <functional>
#include <string>

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;

// Bevel: 1 above the movie, 5 below it, then the 68-point controls strip.
constexpr double kChromeHeight = 1 + 5 + MVPMovieWindowController::controlsStripHeight;

class StandardWindow : public PlayerWindowTest { };

TEST_F(StandardWindow, BuildsTheViewTreeAroundTheMovie)
{
    auto doc = openDocument(windowTestMovie(480, 270));
    auto controller = controllerOf(doc);
    ASSERT_TRUE(controller);
    auto window = controller->window();
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPMovieUIWindow>(window));
    EXPECT_TRUE(window->isVisible());

    auto view = controller->movieView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->movie(), doc->movie());
    EXPECT_EQ(view->superview(), controller->backgroundView());
    EXPECT_EQ(controller->backgroundView()->superview(), controller->bevelView());
    EXPECT_EQ(controller->backgroundView()->aspectRatio(), HXMakeSize(480, 270));
    // The strip runs along the bottom, the bevel fills the rest.
    EXPECT_EQ(controller->controlsStrip()->frame().origin, HXMakePoint(0, 0));
    EXPECT_EQ(HXMinY(controller->bevelView()->frame()), HXMaxY(controller->controlsStrip()->frame()));
    std::vector<std::shared_ptr<HXView>> strip { controller->LCDView(), controller->movieVolumeView(),
        controller->movieControlsView() };
    for (auto& place : strip)
        EXPECT_EQ(place->superview(), controller->controlsStrip());
    // Every control of the strip follows the document's movie, in the window style.
    EXPECT_EQ(controller->movieControlsView()->movie(), doc->movie());
    EXPECT_EQ(controller->movieControlsView()->style(), 0u);
    EXPECT_EQ(controller->movieVolumeView()->movie(), doc->movie());
    EXPECT_EQ(controller->LCDView()->movie(), doc->movie());
    EXPECT_EQ(controller->LCDView()->movieView(), view);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPResizeThumbView>(controller->resizeThumb()));
    EXPECT_TRUE(controller->shouldCloseDocument());
    EXPECT_EQ(doc->movieWindow(), window);
}

TEST_F(StandardWindow, ContentAreaIsTheMovieWithItsChrome)
{
    const struct {
        double width, height;
        HXSize content, movie;
    } cases[] = {
        { 480, 270, { 480, 270 + kChromeHeight }, { 480, 270 } },
        // Narrower than the narrowest window: the window keeps 350 and the movie its own width.
        { 160, 120, { 350, 120 + kChromeHeight }, { 160, 120 } },
    };
    for (const auto& c : cases) {
        auto doc = openDocument(windowTestMovie(c.width, c.height));
        auto controller = controllerOf(doc);
        EXPECT_EQ(contentSize(controller->window()), c.content) << c.width;
        EXPECT_EQ(controller->movieSize(), c.movie) << c.width;
        EXPECT_EQ(doc->displayedMovieSize(), c.movie) << c.width;
    }
}

TEST_F(StandardWindow, SizeCommandsScaleTheMovieKeepingTheTopEdge)
{
    auto doc = openDocument(windowTestMovie(400, 300));
    auto controller = controllerOf(doc);
    auto window = controller->window();
    const struct {
        const char* action;
        HXSize movie;
    } steps[] = {
        { "halfSize:", { 200, 150 } },
        { "doubleSize:", { 800, 600 } },
        { "normalSize:", { 400, 300 } },
    };
    for (const auto& s : steps) {
        double top = HXMaxY(window->frame());
        ASSERT_TRUE(controller->performAction(s.action, nullptr)) << s.action;
        // Size commands animate; let the animation finish.
        clock->advance(2);
        HXRunLoop::main().runMode(HXDefaultRunLoopMode, HXRunLoop::main().now());
        EXPECT_EQ(controller->movieSize(), s.movie) << s.action;
        EXPECT_EQ(HXMaxY(window->frame()), top) << s.action;
        EXPECT_EQ(doc->userSize(), s.movie) << s.action;
    }
}

TEST_F(StandardWindow, ThePictureHasTheMoviesSizeInWholePixelsAtEachScale)
{
    // Odd and even sizes, narrower and wider than the narrowest window, at each size command: the picture
    // covers exactly the scaled size rounded to whole pixels, on the window's pixel grid, never a column
    // or a row more.
    const struct {
        double width, height;
    } movies[] = { { 161, 121 }, { 160, 120 }, { 355, 201 }, { 480, 270 }, { 3, 5 } };
    const struct {
        const char* action;
        double scale;
    } commands[] = { { "halfSize:", 0.5 }, { "normalSize:", 1 }, { "doubleSize:", 2 } };
    for (const auto& m : movies) {
        auto doc = openDocument(windowTestMovie(m.width, m.height));
        auto controller = controllerOf(doc);
        auto view = controller->movieView();
        for (const auto& c : commands) {
            ASSERT_TRUE(controller->performAction(c.action, nullptr)) << c.action;
            clock->advance(2);
            HXRunLoop::main().runMode(HXDefaultRunLoopMode, HXRunLoop::main().now());
            HXSize expected = HXMakeSize(std::round(m.width * c.scale), std::round(m.height * c.scale));
            HXRect inWindow = view->convertRectToView(view->bounds(), nullptr);
            std::string what
                = std::to_string(int(m.width)) + "x" + std::to_string(int(m.height)) + " " + c.action;
            EXPECT_EQ(inWindow.size, expected) << what;
            EXPECT_EQ(inWindow.origin.x, std::floor(inWindow.origin.x)) << what;
            EXPECT_EQ(inWindow.origin.y, std::floor(inWindow.origin.y)) << what;
            EXPECT_EQ(controller->movieSize(), expected) << what;
        }
    }
}

TEST_F(StandardWindow, LiveResizeKeepsTheMovieProportions)
{
    auto doc = openDocument(windowTestMovie(400, 300));
    auto controller = controllerOf(doc);
    auto window = controller->window();
    HXRect frame = window->frame();
    // The window manager proposes a wider, flatter window: the movie keeps 4:3, the smaller scale wins.
    HXRect proposed = frame;
    proposed.size.width += 200;
    proposed.size.height += 30;
    window->setFrameFromBackend(proposed);
    HXSize movie = controller->movieSize();
    EXPECT_NEAR(movie.width / movie.height, 4.0 / 3.0, 0.01);
    EXPECT_EQ(movie.height, 330);
    EXPECT_NEAR(doc->userSize().width, movie.width, 0.01);
    EXPECT_NEAR(doc->userSize().height, movie.height, 0.01);
    EXPECT_EQ(HXMinY(controller->bevelView()->frame()), HXMaxY(controller->controlsStrip()->frame()));
}

TEST_F(StandardWindow, DraggingTheGrowBoxResizesThroughTheRules)
{
    auto doc = openDocument(windowTestMovie(400, 300));
    auto controller = controllerOf(doc);
    auto window = controller->window();
    double top = HXMaxY(window->frame());
    HXPoint corner = controller->resizeThumb()->convertPointToView(HXMakePoint(8, 8), nullptr);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, corner);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, HXMakePoint(corner.x + 200, corner.y - 10));
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, HXMakePoint(corner.x + 200, corner.y - 10));
    HXApp().processPendingEvents();
    HXSize movie = controller->movieSize();
    // The height decides (300 + 10); the width follows the proportions.
    EXPECT_NEAR(movie.height, 310, 0.5);
    EXPECT_NEAR(movie.width / movie.height, 4.0 / 3.0, 0.01);
    EXPECT_EQ(HXMaxY(window->frame()), top);
}

TEST_F(StandardWindow, DraggingWithOptionSnapsToTheScaleSteps)
{
    auto doc = openDocument(windowTestMovie(200, 150));
    auto controller = controllerOf(doc);
    auto window = controller->window();
    const struct {
        double dx, dy;
        uint32_t modifiers;
        HXSize movie;
    } cases[] = {
        { 95, -70, HXAlternateKeyMask, { 300, 225 } }, // scale 1.47 → 1.5
        { 10, -40, HXAlternateKeyMask, { 300, 225 } }, // 1.55 → 1.5
        { 150, -130, HXAlternateKeyMask, { 400, 300 } }, // 2.3 → 2 (the midpoint to 3 is 2.5)
        // Down to the smallest step, 0.125: 25 × 18.75, centred and rounded to whole pixels.
        { -250, 300, HXAlternateKeyMask, { 25, 19 } },
    };
    for (const auto& c : cases) {
        controller->setMovieSize(HXMakeSize(200, 150), 0, false);
        HXPoint corner = controller->resizeThumb()->convertPointToView(HXMakePoint(8, 8), nullptr);
        HXPoint to = HXMakePoint(corner.x + c.dx, corner.y + c.dy);
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, corner, c.modifiers);
        HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, to, c.modifiers);
        HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, to, c.modifiers);
        HXApp().processPendingEvents();
        EXPECT_EQ(controller->movieSize(), c.movie) << c.dx << ", " << c.dy;
    }
}

TEST_F(StandardWindow, DraggingWithShiftFreesTheProportionsUntilASizeCommand)
{
    auto doc = openDocument(windowTestMovie(200, 150));
    auto controller = controllerOf(doc);
    auto window = controller->window();
    HXPoint corner = controller->resizeThumb()->convertPointToView(HXMakePoint(8, 8), nullptr);
    HXPoint to = HXMakePoint(corner.x + 200, corner.y - 10);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, corner, HXShiftKeyMask);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, to, HXShiftKeyMask);
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, to, HXShiftKeyMask);
    HXApp().processPendingEvents();
    EXPECT_FALSE(controller->backgroundView()->preservesAspectRatio());
    // The movie fills the 350-point window made 200 wider and 10 taller: stretched.
    EXPECT_EQ(controller->movieSize(), HXMakeSize(550, 160));
    controller->performAction("normalSize:", nullptr);
    EXPECT_TRUE(controller->backgroundView()->preservesAspectRatio());
}

TEST_F(StandardWindow, ZoomTogglesBetweenNaturalAndUserSize)
{
    auto doc = openDocument(windowTestMovie(400, 300));
    auto controller = controllerOf(doc);
    auto window = std::static_pointer_cast<MVPMovieUIWindow>(controller->window());
    controller->setMovieSize(HXMakeSize(600, 450), 0, false);
    HXRect user = window->frame();
    window->performZoom();
    clock->advance(2);
    HXRunLoop::main().runMode(HXDefaultRunLoopMode, HXRunLoop::main().now());
    EXPECT_EQ(controller->movieSize(), HXMakeSize(400, 300));
    window->performZoom();
    clock->advance(2);
    HXRunLoop::main().runMode(HXDefaultRunLoopMode, HXRunLoop::main().now());
    EXPECT_EQ(window->frame(), user);
}

TEST_F(StandardWindow, ContentChangeFollowsTheUserSizeButNotWhileDetached)
{
    auto doc = openDocument(windowTestMovie(400, 300));
    auto controller = controllerOf(doc);
    doc->setUserSize(HXMakeSize(200, 150));
    controller->syncToChangeInMovieContent();
    EXPECT_EQ(controller->movieSize(), HXMakeSize(200, 150));

    controller->removeMovieViewFromWindow();
    EXPECT_TRUE(controller->isMovieViewDetached());
    HXRect frame = controller->window()->frame();
    doc->setUserSize(HXMakeSize(800, 600));
    controller->syncToChangeInMovieContent();
    controller->setScale(HXMakeSize(2, 2), false);
    EXPECT_EQ(controller->window()->frame(), frame);
    controller->restoreMovieViewToWindow();
    EXPECT_FALSE(controller->isMovieViewDetached());
}

TEST_F(StandardWindow, RestoringTheMovieViewGivesBackTheFocusItHad)
{
    for (bool focused : { true, false }) {
        auto doc = openDocument(windowTestMovie());
        auto controller = controllerOf(doc);
        auto window = controller->window();
        auto view = controller->movieView();
        auto other = std::make_shared<HXView>();
        controller->controlsStrip()->addSubview(other);
        window->makeFirstResponder(focused ? std::static_pointer_cast<HXResponder>(view) : window);
        controller->removeMovieViewFromWindow();
        EXPECT_EQ(view->superview(), nullptr);
        window->makeFirstResponder(window);
        controller->restoreMovieViewToWindow();
        EXPECT_EQ(view->superview(), controller->backgroundView());
        EXPECT_EQ(window->firstResponder() == view, focused) << focused;
    }
}

TEST_F(StandardWindow, TabbingGoesThroughTheStripAndBackToTheMovie)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    auto window = controller->window();
    window->update();
    std::shared_ptr<HXView> volumeButton = controller->movieVolumeView()->volumeButton();
    std::shared_ptr<HXView> firstTransport = controller->movieControlsView()->button(MVPMovieControlsView::LeftButton);
    std::shared_ptr<HXView> lastTransport = controller->movieControlsView()->button(MVPMovieControlsView::RightButton);
    ASSERT_TRUE(volumeButton && firstTransport && lastTransport);
    // Walk the loop from the movie view; the volume comes before the transport bar, and the loop closes.
    std::vector<std::shared_ptr<HXView>> walk;
    auto view = std::static_pointer_cast<HXView>(controller->movieView());
    for (auto next = view->nextKeyView(); next && next != view && walk.size() < 50; next = next->nextKeyView())
        walk.push_back(next);
    ASSERT_LT(walk.size(), 50u) << "the loop comes back to the movie view";
    auto at = [&](const std::shared_ptr<HXView>& v) { return std::find(walk.begin(), walk.end(), v) - walk.begin(); };
    EXPECT_LT(at(volumeButton), at(firstTransport));
    EXPECT_EQ(walk.back(), lastTransport);
    EXPECT_EQ(lastTransport->nextKeyView(), view);
}

TEST_F(StandardWindow, TheTimeDisplayFollowsNothingWhileUpdatesAreStopped)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    controller->stopWindowUpdates();
    EXPECT_EQ(controller->LCDView()->movie(), nullptr);
    controller->syncToNewMovie();
    EXPECT_EQ(controller->LCDView()->movie(), nullptr) << "a sync meanwhile does not bring it back";
    controller->startWindowUpdates();
    EXPECT_EQ(controller->LCDView()->movie(), doc->movie());
}

TEST_F(StandardWindow, TheTimeDisplayEditsOnlyAnEditableMovie)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    EXPECT_TRUE(controller->isEditable());
    EXPECT_TRUE(controller->LCDView()->editingEnabled());
    // The movie tells of the change itself: the time display follows without a content sync.
    int posted = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        nullptr, MVMovieEditabilityDidChangeNotification, doc->movie().get(), [&](const HXNotification&) { ++posted; });
    doc->movie()->setEditable(false);
    EXPECT_FALSE(controller->LCDView()->editingEnabled());
    doc->movie()->setEditable(false);
    EXPECT_EQ(posted, 1) << "only a change is told";
    doc->movie()->setEditable(true);
    EXPECT_TRUE(controller->LCDView()->editingEnabled());
    EXPECT_EQ(posted, 2);
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

// The pixels `view` covers as the window last drew them, top row first. Reading them draws nothing more
// than the window would draw anyway.
std::vector<uint32_t> drawnPixelsOf(HXWindow& window, const HXView& view)
{
    HXRect r = view.convertRectToView(view.bounds(), nullptr);
    double height = window.frameView()->frame().size.height;
    std::vector<uint32_t> pixels;
    for (int y = int(std::ceil(height - HXMaxY(r))); y < int(std::floor(height - HXMinY(r))); ++y)
        for (int x = int(std::ceil(HXMinX(r))); x < int(std::floor(HXMaxX(r))); ++x)
            pixels.push_back(window.renderedPixelRGBA(x, y));
    return pixels;
}

TEST_F(StandardWindow, ThePlayButtonsPictureFollowsAStopFromOutsideTheButton)
{
    // A script's stop reaches the movie, not the button: the button hears of it from the movie, and what
    // the window draws next shows Play again, even when another view draws itself at once as the movie
    // stops (the equalizer clearing its bars, the status line showing why a stream stopped).
    struct Case {
        const char* name;
        std::function<void(MVPMovieDocument&, MVPMovieWindowController&)> stop;
        bool anotherViewDrawsAtOnce;
    };
    const Case cases[] = {
        { "the movie's rate set to 0", [](MVPMovieDocument& d, MVPMovieWindowController&) { d.movie()->setRate(0); },
            false },
        { "the playback stopped by a call",
            [](MVPMovieDocument&, MVPMovieWindowController& c) { c.movieView()->playback()->stop(); }, false },
        { "the movie stopped while the time display draws itself",
            [](MVPMovieDocument& d, MVPMovieWindowController&) { d.movie()->stop(); }, true },
        { "the rate set to 0 while the time display draws itself",
            [](MVPMovieDocument& d, MVPMovieWindowController&) { d.movie()->setRate(0); }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = openDocument(windowTestMovie(160, 120, 300));
        auto controller = controllerOf(doc);
        auto window = controller->window();
        auto bar = controller->movieControlsView();
        auto button = bar->button(MVPMovieControlsView::CenterButton);
        ASSERT_TRUE(button);
        window->display();
        const auto play = drawnPixelsOf(*window, *button);
        ASSERT_FALSE(play.empty());

        doc->movie()->setRate(1);
        window->displayIfNeeded();
        ASSERT_EQ(bar->imageNameForButton(button.get()), "Pause");
        const auto pause = drawnPixelsOf(*window, *button);
        ASSERT_NE(pause, play) << "Play and Pause look different";

        HXObserverToken token = 0;
        if (c.anotherViewDrawsAtOnce)
            token = HXNotificationCenter::defaultCenter().addObserver(nullptr, MVMovieRateDidChangeNotification,
                doc->movie().get(), [lcd = controller->LCDView()](const HXNotification&) { lcd->display(); });
        c.stop(*doc, *controller);
        if (token)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        EXPECT_EQ(doc->movie()->rate(), 0);
        EXPECT_EQ(bar->imageNameForButton(button.get()), "Play");
        // What the run loop draws before it waits.
        window->displayIfNeeded();
        const auto shown = drawnPixelsOf(*window, *button);
        EXPECT_TRUE(shown == play) << (shown == pause ? "the button still shows Pause" : "the button shows neither");
        doc->close();
        documents.clear();
    }
}

TEST_F(StandardWindow, AnIdlePausedWindowDrawsNothing)
{
    // Two seconds of a paused movie's window, the run loop turning a hundred times a second: no view
    // marks itself again when nothing it shows has changed, so no pass draws anything.
    HXApplication::sharedApplication();
    auto doc = openDocument(windowTestMovie(160, 120, 300));
    auto window = controllerOf(doc)->window();
    doc->movie()->setCurrentTime(MVMakeTime(3000, 600));
    clock->advance(0.5);
    window->displayIfNeeded();
    int presents = server->presentCount();
    for (int turn = 0; turn < 200; ++turn)
        clock->advance(0.01);
    EXPECT_EQ(server->presentCount(), presents);
    // A change is still drawn, once: a second on, the time display and the playhead move.
    doc->movie()->setCurrentTime(MVMakeTime(3600, 600));
    for (int turn = 0; turn < 200; ++turn)
        clock->advance(0.01);
    EXPECT_EQ(server->presentCount(), presents + 1);
}

TEST_F(StandardWindow, KeyLoopIsRebuiltAtTheNextUpdateAfterAChange)
{
    auto doc = openDocument(windowTestMovie());
    auto controller = controllerOf(doc);
    auto window = controller->window();
    window->update();
    EXPECT_FALSE(controller->keyViewLoopDirty());
    HXNotificationCenter::defaultCenter().postNotificationName(MVAKeyLoopChanged, window.get());
    EXPECT_TRUE(controller->keyViewLoopDirty());
    window->update();
    EXPECT_FALSE(controller->keyViewLoopDirty());
    EXPECT_EQ(window->initialFirstResponder(), controller->movieView());
}

TEST_F(StandardWindow, AnEmptyMovieThatIsToldToPlayStops)
{
    auto doc = openDocument(MVMovie::movie());
    doc->movie()->setRate(1);
    EXPECT_EQ(doc->movie()->rate(), 0);

    auto playable = openDocument(windowTestMovie());
    playable->movie()->setRate(1);
    EXPECT_EQ(playable->movie()->rate(), 1);
    playable->movie()->setRate(0);
}

TEST_F(StandardWindow, AMovieWithoutPictureShowsOnlyTheControls)
{
    auto doc = openDocument(MVMovie::movie());
    auto controller = controllerOf(doc);
    auto window = controller->window();
    EXPECT_EQ(contentSize(window), HXMakeSize(350, MVPMovieWindowController::controlsStripHeight));
    // Only the width follows a drag, never below the narrowest window.
    HXRect proposed = window->frame();
    proposed.size.width += 100;
    proposed.size.height += 100;
    window->setFrameFromBackend(proposed);
    EXPECT_EQ(contentSize(window), HXMakeSize(450, MVPMovieWindowController::controlsStripHeight));
    proposed.size.width = 100;
    window->setFrameFromBackend(proposed);
    EXPECT_EQ(contentSize(window).width, 350);
}

TEST_F(StandardWindow, BackFromTheDockTheViewAnnouncesItOnItsFirstDraw)
{
    auto doc = openDocument(windowTestMovie());
    auto window = controllerOf(doc)->window();
    int announced = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVPWindowWillDeminiaturizeNotification, window.get(), [&](const HXNotification&) { ++announced; });
    window->display();
    EXPECT_EQ(announced, 0);
    window->miniaturize();
    window->deminiaturize();
    window->display();
    EXPECT_EQ(announced, 1);
    window->display();
    EXPECT_EQ(announced, 1) << "once per return";
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(StandardWindow, DocumentChoosesItsKindOfWindow)
{
    using Kind = MVPMovieDocument::PlayerWindowKind;
    const HXSize picture { 320, 240 }, sound { 0, 0 };
    const struct {
        HXSize natural;
        bool skin;
        uint32_t controller;
        bool reelspot;
        Kind kind;
    } cases[] = {
        { picture, true, MVMovieControllerTypeStandard, false, Kind::Skinned },
        { picture, true, MVMovieControllerTypeNone, true, Kind::Skinned },
        { picture, false, MVMovieControllerTypeNone, true, Kind::ControllerLess },
        { sound, true, MVMovieControllerTypeNone, false, Kind::Standard },
        { sound, true, MVMovieControllerTypeNone, true, Kind::Featured },
        { { 320, 0 }, false, MVMovieControllerTypeNone, false, Kind::Standard },
        { picture, false, MVMovieControllerTypeStandard, true, Kind::Featured },
        { picture, false, MVMovieControllerTypeStandard, false, Kind::Standard },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MVPMovieDocument::windowControllerKindForMovie(c.natural, c.skin, c.controller, c.reelspot), c.kind)
            << c.natural.width << "x" << c.natural.height << " skin " << c.skin << " reelspot " << c.reelspot;
    }
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(
        MVPMovieDocument::makeWindowControllerOfKind(Kind::Standard)));
}

} // namespace

// ---- MPEG movies: read-only in the time display and the menus unless the media keys allow editing ----

#include "platform/mvkit/media_keys.h"
#include "platform/winkit/menu.h"

#include "test_support.h"

#include <filesystem>

namespace {

class MPEGWindow : public movara::test::PlayerWindowTest {
protected:
    void TearDown() override
    {
        std::filesystem::remove(MVMediaKeys::defaultPath());
        MVMediaKeys::mediaKeys().reload();
        PlayerWindowTest::TearDown();
    }
    static void setMPEGEditing(const char* value)
    {
        std::filesystem::create_directories(std::filesystem::path(MVMediaKeys::defaultPath()).parent_path());
        HXPropertyList keys(HXPropertyList::Dictionary {
            { "MVPlayerMPEGEditing", HXPropertyList(HXPropertyList::Array { HXPropertyList(std::string(value)) }) } });
        ASSERT_TRUE(keys.writeToFile(MVMediaKeys::defaultPath()));
        MVMediaKeys::mediaKeys().reload();
    }
};

TEST_F(MPEGWindow, EditingOnlyWithTheMediaKey)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg makes the MPEG movie";
    movara::test::TempDir dir;
    // MPEG-1 video in a movie file.
    std::string path = (dir.path() / "clip.mov").string();
    auto made = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=25:duration=0.4", "-c:v", "mpeg1video", path });
    ASSERT_EQ(made.status, 0);

    for (const char* key : { "disable", "enable" }) {
        SCOPED_TRACE(key);
        const bool allowed = std::string(key) == "enable";
        setMPEGEditing(key);
        HXError error;
        auto doc = MVPMovieDocument::documentWithContentsOfFile(path, "Movie", false, &error);
        ASSERT_TRUE(doc) << error.localizedDescription();
        HXDocumentController::sharedDocumentController()->addDocument(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        documents.push_back(doc);
        auto controller = controllerOf(doc);
        ASSERT_TRUE(MVPMovieIsMPEG(*doc->movie()));
        EXPECT_EQ(controller->LCDView()->editingEnabled(), allowed);

        doc->movie()->setSelection(MVMakeTimeRange(MVMakeTime(0, 600), MVMakeTime(60, 600)));
        HXMenuItem cut("Cut", "cut:", "");
        EXPECT_EQ(controller->validateMenuItem(cut), allowed);
        HXMenuItem selectAll("Select All", "selectAll:", "");
        EXPECT_TRUE(controller->validateMenuItem(selectAll)) << "the selection may change either way";

        // The movie turning editable again does not lift the rule.
        doc->movie()->setEditable(false);
        controller->syncToChangeInMovieContent();
        EXPECT_FALSE(controller->LCDView()->editingEnabled());
        doc->movie()->setEditable(true);
        controller->syncToChangeInMovieContent();
        EXPECT_EQ(controller->LCDView()->editingEnabled(), allowed);
    }
}

} // namespace
