// A document's movie presented full screen and taken back: the four states with their notifications,
// the player window's movie view borrowed, dressed and given back as it was, the keep-awake requests
// balanced, keys that end the presentation and go no further, the pinch, the zoom back only after a zoom
// in, a natural-size change, and the settings sheet of the present-movie command.
#include "document/movie_document.h"
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_resize_helper.h"
#include "fullscreen/presentation_screen_view.h"
#include "platform/winkit/button.h"
#include "fullscreen/presentation_settings_window_controller.h"
#include "fullscreen/presentation_window_controller.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window_controller.h"
#include "tests/platform/mvkit/fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

// The document's presentation as full screen makes it (null when the document has none).
std::shared_ptr<FSPresentationWindowController> presentationOf(MVPMovieDocument& doc)
{
    return std::dynamic_pointer_cast<FSPresentationWindowController>(doc.fsPresentationWindowController());
}

// The document's present-movie sheet while it is up.
std::shared_ptr<FSPresentationSettingsWindowController> settingsSheetOf(MVPMovieDocument& doc)
{
    return std::dynamic_pointer_cast<FSPresentationSettingsWindowController>(
        doc.fsPresentationSettingsWindowController());
}

const std::vector<HXScreen> kScreens = { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }),
    HXScreen(7, { { 1280, 0 }, { 1024, 768 } }, { { 1280, 0 }, { 1024, 768 } }) };

std::shared_ptr<MVMovieView> findMovieView(const std::shared_ptr<HXView>& view)
{
    if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(view))
        return movieView;
    for (const auto& sub : view ? view->subviews() : std::vector<std::shared_ptr<HXView>> {})
        if (auto found = findMovieView(sub))
            return found;
    return nullptr;
}

struct SwitchingDisplays : FSDisplayServices {
    bool switchWorks = true;
    int switches = 0;
    std::optional<FSDisplayMode> currentMode(uint32_t) override { return FSDisplayMode { 1280, 800, 24, 60 }; }
    std::vector<FSDisplayMode> availableModes(uint32_t) override
    {
        return { { 640, 480, 24, 60 }, { 1280, 800, 24, 60 } };
    }
    bool switchToMode(uint32_t, const FSDisplayMode&) override
    {
        ++switches;
        return switchWorks;
    }
};

class PresentationLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install(kScreens);
        HXRunLoop::main().setClock(clock);
        FSDisplayServices::setShared(displays);
    }
    void TearDown() override
    {
        for (auto token : tokens)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        if (doc)
            doc->close();
        doc.reset();
        FSDisplayServices::setShared(nullptr);
        HXRunLoop::main().setClock(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    // A shown document around a fixture movie; false (and the test skipped) without ffmpeg.
    bool open(MovieFixture fixture)
    {
        auto path = fixturePath(fixture);
        if (path.empty())
            return false;
        movie = MVMovie::movieWithFile(path.string(), nullptr);
        doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        doc->makeWindowControllers();
        doc->showWindows();
        return true;
    }
    std::shared_ptr<HXWindow> playerWindow() { return doc->movieWindow(); }
    std::shared_ptr<MVMovieView> playerView() { return findMovieView(playerWindow()->contentView()); }

    void record(const void* object)
    {
        for (const char* name : { FSPresentationEnteringFullScreenStateNotification,
                 FSPresentationFullScreenStateNotification, FSPresentationExitingFullScreenStateNotification,
                 FSPresentationInactiveStateNotification })
            tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
                name, object, [this](const HXNotification& n) { states.push_back(n.name()); }));
    }

    static HXEvent key(const std::string& chars, uint32_t flags, bool repeat = false)
    {
        return HXEvent::keyEvent(HXKeyDown, {}, flags, 0, 0, chars, chars, repeat, HXKeyCodeUnknown);
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<SwitchingDisplays> displays = std::make_shared<SwitchingDisplays>();
    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVPMovieDocument> doc;
    std::vector<HXObserverToken> tokens;
    std::vector<std::string> states;
};

#define OPEN_OR_SKIP(fixture)                                                                                \
    if (!open(fixture))                                                                                      \
    GTEST_SKIP() << "ffmpeg could not make the movie"

TEST_F(PresentationLifecycleTest, TheMovieViewIsBorrowedAndGivenBackAsItWas)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    auto view = playerView();
    ASSERT_TRUE(view);
    auto superview = view->superview();
    const HXRect frame = view->frame();
    const HXColor fill = HXColor::colorWithCalibratedRed(1, 0, 0);
    view->setFillColor(fill);
    view->setPreservesAspectRatio(true);
    bool hookCalled = false;
    view->willDisplayImage = [&](MVMovieView&, const std::shared_ptr<HXImage>& image) {
        hookCalled = true;
        return image;
    };
    movie->setMuted(true);
    auto controller = presentationOf(*doc);
    record(controller.get());
    auto& manager = FSPresentationManager::fsPresentationManager();

    doc->enterFullScreenWithSettings(std::nullopt);
    ASSERT_TRUE(doc->isFullScreen());
    EXPECT_EQ(states, (std::vector<std::string> { FSPresentationEnteringFullScreenStateNotification,
                          FSPresentationFullScreenStateNotification }));
    EXPECT_EQ(view->window(), controller->window()) << "the very view of the player window";
    EXPECT_EQ(view->fillColor(), HXColor::blackColor());
    EXPECT_FALSE(view->preservesAspectRatio());
    EXPECT_FALSE(movie->isMuted());
    EXPECT_FALSE(playerWindow()->isVisible());
    EXPECT_EQ(controller->window()->frame(), kScreens[0].frame());
    EXPECT_FALSE(controller->window()->menuBarView()) << "no menu bar over the movie";
    EXPECT_EQ(view->frame(), (HXRect { { 106, 0 }, { 1068, 800 } })) << "letterboxed, whole points";
    EXPECT_EQ(manager.systemActivityCounter(), 1u);
    EXPECT_TRUE(server->isScreenSaverInhibited()) << "kept awake";
    EXPECT_EQ(doc->currentWindowController(), controller);

    states.clear();
    doc->exitFullScreen();
    EXPECT_EQ(states, (std::vector<std::string> { FSPresentationExitingFullScreenStateNotification,
                          FSPresentationInactiveStateNotification }));
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_FALSE(controller->isFullscreen());
    EXPECT_EQ(view->superview(), superview);
    EXPECT_EQ(view->frame(), frame);
    EXPECT_EQ(view->fillColor(), fill);
    EXPECT_TRUE(view->preservesAspectRatio());
    ASSERT_TRUE(view->willDisplayImage);
    view->willDisplayImage(*view, nullptr);
    EXPECT_TRUE(hookCalled);
    EXPECT_TRUE(movie->isMuted()) << "mute is given back";
    EXPECT_TRUE(playerWindow()->isVisible());
    EXPECT_FALSE(controller->window()->isVisible());
    EXPECT_EQ(manager.systemActivityCounter(), 0u);
    EXPECT_FALSE(server->isScreenSaverInhibited()) << "the screen saver may come again";
    EXPECT_FALSE(manager.isFullscreen());
    EXPECT_TRUE(controller->presentationSettings().empty()) << "the settings do not outlive the presentation";
}

TEST_F(PresentationLifecycleTest, ASoundOnlyMovieNeverPresents)
{
    OPEN_OR_SKIP(MovieFixture::PcmWav);
    doc->enterFullScreenWithSettings(std::nullopt);
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_FALSE(FSPresentationManager::fsPresentationManager().isFullscreen());
}

TEST_F(PresentationLifecycleTest, ShowingThePlayerWindowEndsThePresentation)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    doc->enterFullScreenWithSettings(std::nullopt);
    ASSERT_TRUE(doc->isFullScreen());
    playerWindow()->orderFront();
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_EQ(presentationOf(*doc)->state(), FSPresentationState::Inactive);
}

TEST_F(PresentationLifecycleTest, Keys)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    struct Case {
        const char* name;
        std::string chars;
        uint32_t flags;
        bool repeat;
        bool handled;
        bool leaves;
    };
    const Case cases[] = {
        { "Escape", "\x1b", 0, false, true, true },
        { "Escape with Shift", "\x1b", HXShiftKeyMask, false, true, true },
        { "Command-W", "w", HXCommandKeyMask, false, true, true },
        { "Command-Shift-W", "W", HXCommandKeyMask | HXShiftKeyMask, false, true, true },
        { "Command-period", ".", HXCommandKeyMask, false, true, true },
        { "W alone", "w", 0, false, false, false },
        { "period alone", ".", 0, false, false, false },
        { "C alone is swallowed", "c", 0, false, true, false },
        { "a repeated Control-C is swallowed", "c", HXControlKeyMask, true, true, false },
        { "Control-C toggles the panel", "C", HXControlKeyMask, false, true, false },
        { "any other key", "x", HXCommandKeyMask, false, false, false },
        { "no characters", "", 0, false, false, false },
    };
    auto controller = presentationOf(*doc);
    for (const auto& c : cases) {
        doc->enterFullScreenWithSettings(std::nullopt);
        ASSERT_TRUE(doc->isFullScreen()) << c.name;
        EXPECT_EQ(controller->handleEvent(key(c.chars, c.flags, c.repeat)), c.handled) << c.name;
        EXPECT_EQ(!doc->isFullScreen(), c.leaves) << c.name;
        doc->exitFullScreen();
    }

    doc->enterFullScreenWithSettings(std::nullopt);
    auto hud = controller->fsPresentationHUDWindowController();
    ASSERT_TRUE(hud);
    controller->handleEvent(key("c", HXControlKeyMask));
    EXPECT_TRUE(hud->isVisible());
    controller->handleEvent(key("c", HXControlKeyMask));
    EXPECT_FALSE(hud->isVisible());
    doc->exitFullScreen();
}

TEST_F(PresentationLifecycleTest, CommandWEndsThePresentationAndClosesNothing)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    auto menu = std::make_shared<HXMenu>("Main");
    auto fileItem = menu->addItemWithTitle("File", HXSelector());
    auto file = std::make_shared<HXMenu>("File");
    file->addItemWithTitle("Close", HXSelector("performClose:"), "w");
    fileItem->setSubmenu(file);
    HXApplication::sharedApplication()->setMainMenu(menu);

    doc->enterFullScreenWithSettings(std::nullopt);
    auto fsWindow = presentationOf(*doc)->window();
    ASSERT_TRUE(fsWindow->isKeyWindow());
    HXHeadlessWindowServer::postKey(fsWindow, "w", HXCommandKeyMask);
    HXApplication::sharedApplication()->processPendingEvents();
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_TRUE(playerWindow()->isVisible()) << "the key went no further than the presentation";
    EXPECT_FALSE(doc->isClosed());
}

TEST_F(PresentationLifecycleTest, APinchThatClosesLeavesOneThatOpensStays)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    auto controller = presentationOf(*doc);
    doc->enterFullScreenWithSettings(std::nullopt);
    double start = clock->now();
    controller->handleEvent(HXEvent::magnifyEvent({}, 0, 0, 0.8));
    EXPECT_TRUE(doc->isFullScreen()) << "opening the fingers";
    EXPECT_LE(clock->now() - start, FSPresentationGestureTimeout + 0.1) << "a gesture without its end times out";

    auto fsWindow = controller->window();
    HXApplication::sharedApplication()->postEvent(HXEvent::magnifyEvent({}, 0, fsWindow->windowNumber(), -0.2), false);
    controller->handleEvent(HXEvent::magnifyEvent({}, 0, fsWindow->windowNumber(), -0.15));
    EXPECT_FALSE(doc->isFullScreen()) << "closing beyond the threshold in two steps";
}

TEST_F(PresentationLifecycleTest, TheZoomBackFollowsOnlyAZoomIn)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    auto controller = presentationOf(*doc);
    FSPresentationSettings settings;
    settings.changeResolution = true;
    displays->switchWorks = false;
    doc->enterFullScreenWithSettings(settings);
    ASSERT_TRUE(doc->isFullScreen());
    EXPECT_EQ(displays->switches, 1);
    EXPECT_FALSE(controller->switchedResolution()) << "the switch failed: the display stays";
    EXPECT_TRUE(controller->animates());
    EXPECT_FALSE(controller->fsPresentationResizeHelper()) << "no zoom on the way in";
    doc->exitFullScreen();
    EXPECT_FALSE(controller->fsPresentationResizeHelper()) << "and none on the way back";
    EXPECT_FALSE(doc->isFullScreen());

    displays->switchWorks = true;
    doc->enterFullScreenWithSettings(settings);
    EXPECT_TRUE(controller->switchedResolution());
    doc->exitFullScreen();
    EXPECT_EQ(displays->switches, 3) << "switched, then restored";
    EXPECT_FALSE(controller->fsPresentationResizeHelper());

    doc->enterFullScreenWithSettings(std::nullopt);
    ASSERT_TRUE(controller->fsPresentationResizeHelper()) << "a plain entry zooms";
    EXPECT_EQ(controller->window()->frame(), kScreens[0].frame());
    doc->exitFullScreen();
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_TRUE(playerWindow()->isVisible());
}

TEST_F(PresentationLifecycleTest, ANaturalSizeChangeReLaysOutOnlyWhilePresenting)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    auto controller = presentationOf(*doc);
    auto view = playerView();
    const HXRect frame = view->frame();
    auto post = [&] {
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVPMovieDocumentDidChangeNaturalSizeNotification, doc));
    };
    post();
    EXPECT_EQ(view->frame(), frame) << "the player window's view is left alone";
    EXPECT_FALSE(controller->presentationSettings().size) << "no mode is stored for the player window";

    FSPresentationSettings settings;
    settings.size = FSPresentationModeStretch;
    doc->enterFullScreenWithSettings(settings);
    EXPECT_EQ(view->frame(), (HXRect { { 0, 0 }, { 1280, 800 } }));
    view->setFrame({ { 5, 5 }, { 10, 10 } });
    post();
    EXPECT_EQ(view->frame(), (HXRect { { 0, 0 }, { 1280, 800 } }));
    doc->exitFullScreen();
    EXPECT_EQ(view->frame(), frame);
}

TEST_F(PresentationLifecycleTest, ANonLoopingMovieEndsThePresentationAtItsEnd)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    doc->enterFullScreenWithSettings(std::nullopt);
    movie->setLoopingMode(MVMovieLoopingMode::Loop);
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVMovieDidEndNotification, movie));
    EXPECT_TRUE(doc->isFullScreen()) << "a looping movie goes on";
    movie->setLoopingMode(MVMovieLoopingMode::None);
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVMovieDidEndNotification, movie));
    EXPECT_FALSE(doc->isFullScreen());
}

TEST_F(PresentationLifecycleTest, ThePresentMovieSheet)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    ASSERT_TRUE(doc->persistentFullscreenSettings().empty());
    doc->presentMovie();
    auto sheet = settingsSheetOf(*doc);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(playerWindow()->attachedSheet(), sheet->window());
    ASSERT_TRUE(sheet->presentationSettings().screen) << "the preferences stand in";
    sheet->savePanelSettings(sheet->cancelButton().get());
    EXPECT_TRUE(doc->persistentFullscreenSettings().empty()) << "cancelling leaves the movie without settings";
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_FALSE(settingsSheetOf(*doc));

    doc->presentMovie();
    sheet = settingsSheetOf(*doc);
    sheet->fsScreenView()->setSelectedScreen(kScreens[1]);
    sheet->savePanelSettings(sheet->playButton().get());
    ASSERT_TRUE(doc->isFullScreen());
    EXPECT_EQ(presentationOf(*doc)->presentationScreen()->screenNumber(), 7u);
    EXPECT_EQ(presentationOf(*doc)->window()->frame(), kScreens[1].frame());
    doc->exitFullScreen();
}

TEST_F(PresentationLifecycleTest, TheProfiledFullScreenCommandTimesEntryAndExitThenQuits)
{
    const struct {
        const char* name;
        MovieFixture fixture;
        bool doesNotOpen;
    } cases[] = { { "a movie with video", MovieFixture::MjpegPcmMov, false },
        { "a sound-only movie", MovieFixture::PcmWav, true } };
    TempDir dir;
    const auto results = dir / "results";
    ::setenv("MOVIEPLAYERFULLSCREENPROFILE", "1", 1);
    ::setenv("MOVIEPLAYERRESULTSPATH", results.c_str(), 1);
    struct Unset {
        ~Unset()
        {
            ::unsetenv("MOVIEPLAYERFULLSCREENPROFILE");
            ::unsetenv("MOVIEPLAYERRESULTSPATH");
        }
    } unset;
    for (const auto& c : cases) {
        if (!open(c.fixture))
            GTEST_SKIP() << "ffmpeg could not make the movie";
        int quits = 0;
        doc->terminateApplication = [&] { ++quits; };
        testing::internal::CaptureStderr();
        doc->fullScreen();
        // (The decoders may write to standard error too.)
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("did not open\n") != std::string::npos, c.doesNotOpen) << c.name;
        EXPECT_EQ(said.find("did not close"), std::string::npos) << c.name;
        EXPECT_FALSE(doc->isFullScreen()) << c.name;
        EXPECT_EQ(readFile(results).size(), 24u) << c.name << ": six 4-byte counts";
        clock->advance(0.1);
        EXPECT_EQ(quits, 1) << c.name;
        doc->close();
        doc.reset();
    }
}

TEST_F(PresentationLifecycleTest, ScreensThatChangeOrGoAway)
{
    OPEN_OR_SKIP(MovieFixture::MjpegPcmMov);
    auto controller = presentationOf(*doc);
    FSPresentationSettings settings;
    settings.screen = kScreens[1];
    doc->enterFullScreenWithSettings(settings);
    ASSERT_TRUE(doc->isFullScreen());
    const HXScreen larger(7, { { 1280, 0 }, { 1600, 900 } }, { { 1280, 0 }, { 1600, 900 } });
    server->setScreens({ kScreens[0], larger });
    EXPECT_TRUE(doc->isFullScreen());
    EXPECT_EQ(controller->window()->frame(), larger.frame()) << "the window follows its screen";
    server->setScreens({ kScreens[0] });
    EXPECT_FALSE(doc->isFullScreen()) << "its screen went away and nothing stands in for it";
    EXPECT_TRUE(playerWindow()->isVisible());
}

TEST(PresentationWithoutMovie, PanoramicWithoutAFilterablePictureIsAStretch)
{
    HXHeadlessWindowServer::install(kScreens);
    auto controller = std::make_shared<FSPresentationWindowController>();
    FSPresentationSettings settings;
    settings.size = FSPresentationModePanoramic;
    controller->setPresentationSettings(settings);
    controller->enterFullScreen();
    ASSERT_TRUE(controller->isFullscreen());
    EXPECT_EQ(controller->presentationMode(), FSPresentationModeStretch);
    EXPECT_FALSE(controller->doesPanoramicStretch());
    controller->exitFullScreen();
    HXApplication::setSharedApplication(nullptr);
}

} // namespace
