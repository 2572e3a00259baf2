// The full-screen heads-up panel: its layout, where it is placed, the toggle's look and the title, the
// fades and the idle count-down on the run loop's clock, and what disabling it keeps for next time.
#include "player/controls/hud_text.h"
#include "fullscreen/presentation_hud_window_controller.h"
#include "document/presentation_settings.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/event.h"
#include "platform/winkit/headless_window_server.h"
#include "player/controls/movie_controls_view.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/lcd_view.h"

#include <gtest/gtest.h>

namespace {

TEST(HUDLayout, PartsFollowTheNaturalSize)
{
    auto l = FSPresentationHUDLayoutForSize({ 429, 104 }, { 218, 41 }, { 54, 13 });
    // T = H - 20 = 84; C = T - (41 + 8) = 35.
    EXPECT_EQ(l.title, (HXRect { { 25, 84 }, { 379, 12 } }));
    EXPECT_EQ(l.transport, (HXRect { { 105.5, 35 }, { 218, 41 } }));
    EXPECT_EQ(l.volume, (HXRect { { 25, 47 }, { 54, 13 } }));
    EXPECT_EQ(l.toggle, (HXRect { { 350, 44 }, { 22, 22 } }));
    EXPECT_EQ(l.exit, (HXRect { { 382, 44 }, { 22, 22 } }));
    EXPECT_EQ(l.timeDisplay, (HXRect { { 25, 12 }, { 379, 15 } }));
}

TEST(HUDLayout, Placement)
{
    const HXRect parent { { 1280, 0 }, { 1024, 768 } };
    const HXSize size { 429, 104 };
    struct Case {
        const char* name;
        std::optional<HXPoint> saved;
        HXPoint expected;
    };
    const Case cases[] = {
        { "nothing saved: centred across, a quarter up", std::nullopt, { 1578, 166 } },
        { "a saved origin on the screen", HXPoint { 1300, 600 }, { 1300, 600 } },
        { "a panel that only touches the screen still counts", HXPoint { 900, 10 }, { 900, 10 } },
        { "a saved origin off the screen", HXPoint { 100, 100 }, { 1578, 166 } },
        { "whole points", HXPoint { 1300.4, 600.6 }, { 1300, 601 } },
    };
    for (const auto& c : cases) {
        HXRect frame = FSPresentationHUDFrameForParent(parent, size, c.saved);
        EXPECT_EQ(frame.origin, c.expected) << c.name;
        EXPECT_EQ(frame.size, size) << c.name;
    }
    EXPECT_EQ(FSPresentationHUDFrameForParent(parent, size, std::nullopt, 2).size, (HXSize { 858, 208 }));
}

TEST(HUDLayout, ToggleLookAndModeNames)
{
    struct Case {
        const char* name;
        HXSize content, display;
        bool panoramic;
        uint16_t mystery;
        const char* expected;
    };
    const Case cases[] = {
        { "wider than the display, to letterbox", { 1920, 800 }, { 1440, 900 }, true, 16, "FSLetterboxIn" },
        { "wider than the display, to crop", { 1920, 800 }, { 1440, 900 }, true, 17, "FSLetterboxOut" },
        { "narrower, to letterbox", { 640, 480 }, { 1440, 900 }, true, 16, "FSPillarboxIn" },
        { "narrower, to panoramic", { 640, 480 }, { 1440, 900 }, true, 19, "FSPillarboxOut" },
        { "the display's own shape: no toggle", { 720, 450 }, { 1440, 900 }, true, 16, "" },
        { "no panoramic stretch: no toggle", { 1920, 800 }, { 1440, 900 }, false, 17, "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FSPresentationHUDToggleImageName(c.content, c.display, c.panoramic, c.mystery), c.expected)
            << c.name;
    const std::pair<uint16_t, const char*> names[] = { { 0, "mvpActualSize" }, { 1, "mvpDoubleSize" },
        { 2, "mvpHalfSize" }, { 16, "mvpLetterbox" }, { 17, "mvpZoom" }, { 18, "mvpStretch" },
        { 19, "mvpPanoramicStretch" }, { 3, "" }, { 4, "" } };
    for (auto [mode, key] : names)
        EXPECT_EQ(FSPresentationHUDModeTitleKey(mode), key) << mode;
}

struct FakePresentation : FSPresentationHUDDelegate {
    bool answers = true;
    HXSize content { 640, 480 };
    HXSize display { 1440, 900 };
    uint16_t mode = 16;
    bool hideCursor = true;
    int exits = 0;
    std::vector<uint16_t> modesSet;
    bool scrollHandled = false;

    bool answersPresentationQueries() const override { return answers; }
    HXSize contentSize() const override { return content; }
    HXSize displaySize() override { return display; }
    uint16_t presentationMode() const override { return mode; }
    uint16_t mysteryPresentationMode() override { return mode == 16 ? 19 : 16; }
    bool isPanoramicStretchAvailable() const override { return true; }
    void setPresentationMode(uint16_t m, bool) override
    {
        mode = m;
        modesSet.push_back(m);
    }
    void endFullScreen() override { ++exits; }
    bool shouldHideCursor() const override { return hideCursor; }
    void letterboxToScreen(HXObject*) override { }
    void cropToScreen(HXObject*) override { }
    void panoramicStretchToScreen(HXObject*) override { }
    bool handleEvent(const HXEvent& event) override { return scrollHandled && event.type() == HXScrollWheel; }
};

class HUDPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install({ HXScreen(1, { { 0, 0 }, { 1440, 900 } }, { { 0, 0 }, { 1440, 900 } }) });
        HXRunLoop::main().setClock(clock);
        HXUserDefaults::standardUserDefaults().removeObjectForKey(FSPresentationHUDPosition);
        movie = MVMovie::movie();
        movie->setDisplayName("Harbour");
        hud = FSPresentationHUDWindowController::fsPresentationHUDWindowControllerWithMovie(movie, &presentation);
        hud->setParentWindowRect({ { 0, 0 }, { 1440, 900 } });
    }
    void TearDown() override
    {
        hud.reset();
        HXUserDefaults::standardUserDefaults().removeObjectForKey(FSPresentationHUDPosition);
        HXRunLoop::main().setClock(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }
    double alpha() { return hud->window()->alphaValue(); }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    FakePresentation presentation;
    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<FSPresentationHUDWindowController> hud;
};

TEST_F(HUDPanelTest, FadesInCountsDownAndFadesOut)
{
    hud->setFadeOutTime(2);
    hud->showHUD(true);
    EXPECT_TRUE(hud->isVisible());
    EXPECT_TRUE(hud->hasCountDown());
    clock->advance(0.125);
    EXPECT_NEAR(alpha(), 0.5, 0.06) << "half-way through a quarter-second fade";
    EXPECT_TRUE(hud->window()->isVisible());
    clock->advance(0.2);
    EXPECT_EQ(alpha(), 1);
    EXPECT_FALSE(hud->isFading());

    clock->advance(1.0);
    hud->showHUD(true);
    EXPECT_TRUE(hud->hasCountDown()) << "showing a visible panel restarts nothing";
    clock->advance(0.8);
    EXPECT_FALSE(hud->isVisible()) << "the count-down ran out 2 s after it started";
    clock->advance(0.3);
    EXPECT_EQ(alpha(), 0);
    EXPECT_FALSE(hud->window()->isVisible());
    EXPECT_TRUE(server->isCursorHidden()) << "the presentation asked for the cursor to hide";
}

TEST_F(HUDPanelTest, NoCursorHidingUnlessThePresentationAsks)
{
    presentation.hideCursor = false;
    hud->setFadeOutTime(1);
    hud->showHUD(true);
    clock->advance(2);
    EXPECT_FALSE(hud->isVisible());
    EXPECT_FALSE(server->isCursorHidden());
}

TEST_F(HUDPanelTest, AFadeOutTimeOfZeroNeverCountsDown)
{
    hud->setFadeOutTime(0);
    hud->showHUD(true);
    EXPECT_FALSE(hud->hasCountDown());
    clock->advance(60);
    EXPECT_TRUE(hud->isVisible());
    EXPECT_EQ(alpha(), 1);
}

TEST_F(HUDPanelTest, AReversedFadeKeepsItsStartTime)
{
    hud->setFadeOutTime(0);
    hud->showHUD(false);
    clock->advance(0.05);
    double before = alpha();
    hud->hideHUD(true);
    EXPECT_TRUE(hud->isFading()) << "the running fade goes on, in the other direction";
    clock->advance(0.0125);
    EXPECT_NEAR(alpha(), 1 - (before + 0.05), 0.06);
    clock->advance(0.3);
    EXPECT_EQ(alpha(), 0);
    EXPECT_FALSE(hud->isFading());
}

TEST_F(HUDPanelTest, DisabledPanelsStayHiddenAndKeepTheirPlace)
{
    hud->setEnabled(false);
    hud->showHUD(true);
    EXPECT_FALSE(hud->isVisible());
    EXPECT_FALSE(HXUserDefaults::standardUserDefaults().stringForKey(FSPresentationHUDPosition).empty())
        << "the origin is kept even when the panel was not showing";

    hud->setEnabled(true);
    hud->window()->setFrameOrigin({ 200, 700 });
    hud->showHUD(false);
    hud->setEnabled(false);
    EXPECT_FALSE(hud->isVisible()) << "hidden at once";
    EXPECT_FALSE(hud->window()->isVisible());
    EXPECT_EQ(HXPointFromString(HXUserDefaults::standardUserDefaults().stringForKey(FSPresentationHUDPosition)),
        (HXPoint { 200, 700 }));
    hud->setEnabled(true);
    EXPECT_EQ(hud->window()->frame().origin, (HXPoint { 200, 700 })) << "placed where it was left";
}

TEST_F(HUDPanelTest, TitleToggleAndButtons)
{
    hud->loadWindow();
    EXPECT_EQ(hud->title(), "Harbour");
    auto layout = FSPresentationHUDLayoutForSize(FSPresentationHUDContentView::naturalSize(),
        MVPMovieControlsView::naturalSize(1), MVPMovieVolumeView::naturalSize(1));
    auto transport = std::dynamic_pointer_cast<MVPMovieControlsView>(hud->movieControlsView());
    ASSERT_TRUE(transport) << "the player's transport bar in its full-screen style";
    EXPECT_EQ(transport->frame(), layout.transport);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieVolumeView>(hud->movieVolumeView()));
    auto lcd = std::dynamic_pointer_cast<MVPLCDView>(hud->lcdView());
    ASSERT_TRUE(lcd);
    EXPECT_EQ(lcd->style(), 1u);
    EXPECT_FALSE(lcd->equalizerEnabled());
    EXPECT_EQ(lcd->movie(), movie);
    ASSERT_TRUE(hud->toggleButton());
    EXPECT_FALSE(hud->toggleButton()->isHidden());
    EXPECT_EQ(hud->toggleImageName(), "FSPillarboxOut") << "a 4:3 movie on a wide display, toggling to panoramic";

    hud->togglePresentationMode();
    EXPECT_EQ(presentation.modesSet, (std::vector<uint16_t> { 19 }));
    EXPECT_EQ(hud->toggleImageName(), "FSPillarboxIn");

    presentation.content = { 1440, 900 };
    hud->update();
    EXPECT_TRUE(hud->toggleButton()->isHidden()) << "nothing to toggle for the display's own shape";

    presentation.answers = false;
    movie->setDisplayName("");
    hud->update();
    EXPECT_EQ(hud->title(), hud->windowTitle(false)) << "the movie's name only";

    hud->closeButton()->performClick();
    EXPECT_EQ(presentation.exits, 1);
}

TEST_F(HUDPanelTest, EventsShowPanelsAndScrollsGoToThePresentation)
{
    auto mouse = HXEvent::mouseEvent(HXMouseMoved, { 5, 5 }, 0, 0, 0);
    EXPECT_FALSE(hud->handleEvent(mouse)) << "the panel still handles the move";
    auto scroll = HXEvent::mouseEvent(HXScrollWheel, { 5, 5 }, 0, 0, 0);
    EXPECT_FALSE(hud->handleEvent(scroll));
    presentation.scrollHandled = true;
    EXPECT_TRUE(hud->handleEvent(scroll));
    auto key = HXEvent::mouseEvent(HXRightMouseDown, { 5, 5 }, 0, 0, 0);
    EXPECT_FALSE(hud->handleEvent(key));
}

TEST_F(HUDPanelTest, ADragOnThePanelMovesItAndLeavesTheKeysAlone)
{
    auto front = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 1440, 800 } }, HXTitledWindowMask);
    front->makeKeyAndOrderFront();
    hud->showHUD(false);
    auto panel = hud->window();
    HXPoint origin = panel->frame().origin;
    // Beside the volume control, on the panel's own background; then twice 20 right and 50 up (each
    // location taken in the panel where it is by then).
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, panel, { 12, 52 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, panel, { 32, 102 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, panel, { 32, 102 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, panel, { 12, 52 });
    HXApplication::sharedApplication()->processPendingEvents();
    EXPECT_EQ(panel->frame().origin, (HXPoint { origin.x + 40, origin.y + 100 }));
    EXPECT_EQ(HXApplication::sharedApplication()->keyWindow(), front)
        << "Escape still reaches the presentation";
    front->close();
}

} // namespace
