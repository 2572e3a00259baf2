// The presentation manager with configured screens: free screens with mirroring, the primary screen, the
// capture counter and blackout windows (balanced even when a presentation's settings are emptied while it
// leaves), the desktop's panels, screens that come and go, keep-awake requests, and the display-mode
// choice of a presentation.
#include "fullscreen/display_services.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_window_controller.h"
#include "fullscreen/screen_additions.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

HXScreen screen(uint32_t number, double x, double w = 1280, double h = 800, double scale = 1)
{
    return HXScreen(number, { { x, 0 }, { w, h } }, { { x, 0 }, { w, h } }, 24, scale);
}

struct FakeDisplays : FSDisplayServices {
    std::map<uint32_t, uint32_t> mirrors;
    std::map<uint32_t, FSDisplayMode> current;
    std::vector<FSDisplayMode> modes;
    bool switchWorks = true;
    int activityReports = 0;
    std::optional<uint32_t> mirroredDisplay(uint32_t display) override
    {
        auto it = mirrors.find(display);
        return it == mirrors.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    std::optional<FSDisplayMode> currentMode(uint32_t display) override
    {
        auto it = current.find(display);
        return it == current.end() ? std::nullopt : std::optional<FSDisplayMode>(it->second);
    }
    std::vector<FSDisplayMode> availableModes(uint32_t) override { return modes; }
    bool switchToMode(uint32_t display, const FSDisplayMode& mode) override
    {
        if (!switchWorks)
            return false;
        current[display] = mode;
        return true;
    }
    void reportUserActivity() override { ++activityReports; }
};

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override { FSDisplayServices::setShared(_displays); }
    void TearDown() override
    {
        FSDisplayServices::setShared(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }
    FSPresentationManager& manager() { return FSPresentationManager::fsPresentationManager(); }
    std::set<uint32_t> blackedOut()
    {
        std::set<uint32_t> numbers;
        for (const auto& [number, window] : manager().displayCaptureWindows()) {
            EXPECT_TRUE(window->isVisible()) << number;
            numbers.insert(number);
        }
        return numbers;
    }
    static FSPresentationSettings on(const HXScreen& s, bool capture)
    {
        FSPresentationSettings settings;
        settings.screen = s;
        settings.captureAllDisplays = capture;
        return settings;
    }

    std::shared_ptr<FakeDisplays> _displays = std::make_shared<FakeDisplays>();
};

TEST_F(ManagerTest, FreeScreensLeaveOutPresentingAndMirroringOnes)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280), screen(3, 0) });
    _displays->mirrors[3] = 1;
    auto numbers = [&] {
        std::vector<uint32_t> result;
        for (const auto& s : manager().availableScreens())
            result.push_back(s.screenNumber());
        return result;
    };
    EXPECT_EQ(numbers(), (std::vector<uint32_t> { 1, 2 }));
    auto sa = std::make_shared<FSPresentationWindowController>(),
         sb = std::make_shared<FSPresentationWindowController>();
    auto &a = *sa, &b = *sb;
    a.setPresentationSettings(on(screen(2, 1280), false));
    a.enterFullScreen();
    EXPECT_EQ(numbers(), (std::vector<uint32_t> { 1 }));
    b.enterFullScreen();
    EXPECT_TRUE(numbers().empty());
    EXPECT_TRUE(manager().isFullscreen());
    EXPECT_EQ(manager().fsPresentations().size(), 2u);
    a.exitFullScreen();
    b.exitFullScreen();
    EXPECT_FALSE(manager().isFullscreen());
    EXPECT_EQ(numbers(), (std::vector<uint32_t> { 1, 2 }));
}

TEST_F(ManagerTest, ScreenAdditions)
{
    // Screen 1 (the menu-bar screen) mirrors 5; 3 mirrors 1.
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280), screen(3, 0), screen(5, 0) });
    _displays->mirrors = { { 1, 5 }, { 3, 1 } };
    struct Case {
        uint32_t number;
        bool mirroring, primary;
        uint32_t master;
    };
    const Case cases[]
        = { { 1, true, true, 5 }, { 2, false, false, 2 }, { 3, true, false, 1 }, { 5, false, true, 5 } };
    for (const auto& c : cases) {
        auto s = *HXScreen_Additions::screenWithScreenNumber(c.number);
        EXPECT_EQ(HXScreen_Additions::isMirroring(s), c.mirroring) << c.number;
        EXPECT_EQ(HXScreen_Additions::isPrimaryScreen(s), c.primary) << c.number;
        EXPECT_EQ(HXScreen_Additions::masterMirroredScreen(s).screenNumber(), c.master) << c.number;
        EXPECT_TRUE(HXScreen_Additions::isActive(s));
    }
    EXPECT_FALSE(HXScreen_Additions::isActive(screen(9, 0)));
    EXPECT_FALSE(HXScreen_Additions::screenWithScreenNumber(9));
}

TEST_F(ManagerTest, CapturingOnASecondaryScreenStaysBalancedWhenTheSettingsAreEmptied)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280) });
    auto shared = std::make_shared<FSPresentationWindowController>();
    auto& presentation = *shared;
    auto settings = on(screen(2, 1280), true);
    settings.color = HXColor::blueColor();
    presentation.setPresentationSettings(settings);
    presentation.enterFullScreen();
    EXPECT_EQ(manager().displayCapturingPresentationCounter(), 1u);
    EXPECT_TRUE(manager().shouldHideSystemUI());
    EXPECT_EQ(_displays->systemUIMode(), 4);
    EXPECT_EQ(blackedOut(), (std::set<uint32_t> { 1 }));
    EXPECT_EQ(manager().displayCaptureWindows().at(1)->backgroundColor(), HXColor::blueColor());
    EXPECT_EQ(manager().displayCaptureWindows().at(1)->frame(), screen(1, 0).frame());

    // The document empties the settings while the presentation leaves.
    presentation.setPresentationSettingsToDefaults();
    presentation.exitFullScreen();
    EXPECT_EQ(manager().displayCapturingPresentationCounter(), 0u);
    EXPECT_TRUE(blackedOut().empty());
    EXPECT_FALSE(manager().shouldHideSystemUI());
    EXPECT_EQ(_displays->systemUIMode(), 0) << "the panels come back";
}

TEST_F(ManagerTest, WhileThePanelsAreHiddenThePresentationAndTheBlackoutWindowsStayOverThem)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280) });
    auto presentation = std::make_shared<FSPresentationWindowController>();
    presentation->setPresentationSettings(on(screen(2, 1280), true));
    presentation->enterFullScreen();
    auto window = presentation->window();
    auto blackout = manager().displayCaptureWindows().at(1);
    EXPECT_TRUE(blackout->isFullScreen()) << "full screen on its display, where the desktop's panels are";
    EXPECT_EQ(blackout->frame(), screen(1, 0).frame());
    EXPECT_EQ(blackout->level(), HXStatusWindowLevel);
    EXPECT_EQ(window->level(), HXStatusWindowLevel);

    // Another window becomes main: the panels come back, over the presentation's windows.
    auto player = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 400, 300 } }, HXTitledWindowMask);
    manager().windowDidBecomeMain(*player);
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(window->level(), HXNormalWindowLevel);
    EXPECT_EQ(blackout->level(), HXNormalWindowLevel);
    manager().windowDidBecomeMain(*window);
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(window->level(), HXStatusWindowLevel);

    presentation->exitFullScreen();
    EXPECT_EQ(window->level(), HXNormalWindowLevel) << "a window that presents again starts as any other";
}

TEST_F(ManagerTest, APresentationOnThePrimaryScreenHidesThePanelsUntilTheLastOneEnds)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280) });
    auto sp = std::make_shared<FSPresentationWindowController>(),
         ss = std::make_shared<FSPresentationWindowController>();
    auto &primary = *sp, &secondary = *ss;
    primary.setPresentationSettings(on(screen(1, 0), false));
    secondary.setPresentationSettings(on(screen(2, 1280), false));
    secondary.enterFullScreen();
    EXPECT_FALSE(manager().shouldHideSystemUI()) << "a secondary screen alone leaves them";
    primary.enterFullScreen();
    EXPECT_EQ(_displays->systemUIMode(), 4);
    EXPECT_TRUE(blackedOut().empty()) << "nothing captures";
    secondary.exitFullScreen();
    EXPECT_EQ(_displays->systemUIMode(), 4) << "the primary presentation still runs";
    primary.exitFullScreen();
    EXPECT_EQ(_displays->systemUIMode(), 0);
}

TEST_F(ManagerTest, WhenOneOfTwoCapturingPresentationsLeavesItsDisplayGoesBlack)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280), screen(3, 2560) });
    auto sa = std::make_shared<FSPresentationWindowController>(),
         sb = std::make_shared<FSPresentationWindowController>();
    auto &a = *sa, &b = *sb;
    a.setPresentationSettings(on(screen(1, 0), true));
    b.setPresentationSettings(on(screen(2, 1280), true));
    a.enterFullScreen();
    EXPECT_EQ(blackedOut(), (std::set<uint32_t> { 2, 3 }));
    b.enterFullScreen();
    EXPECT_EQ(manager().displayCapturingPresentationCounter(), 2u);
    EXPECT_EQ(blackedOut(), (std::set<uint32_t> { 3 })) << "b's own display is uncovered";
    b.exitFullScreen();
    EXPECT_EQ(manager().displayCapturingPresentationCounter(), 1u);
    EXPECT_EQ(blackedOut(), (std::set<uint32_t> { 2, 3 }));
    a.exitFullScreen();
    EXPECT_EQ(manager().displayCapturingPresentationCounter(), 0u);
    EXPECT_TRUE(blackedOut().empty());
    EXPECT_EQ(_displays->systemUIMode(), 0);
}

TEST_F(ManagerTest, DisplaysThatComeAndGoWhileCaptured)
{
    auto server = HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280), screen(3, 2560) });
    auto shared = std::make_shared<FSPresentationWindowController>();
    auto& presentation = *shared;
    presentation.setPresentationSettings(on(screen(1, 0), true));
    presentation.enterFullScreen();
    EXPECT_EQ(blackedOut(), (std::set<uint32_t> { 2, 3 }));
    // 3 is unplugged, 4 plugged in, 2 changes its mode.
    server->setScreens({ screen(1, 0), screen(2, 1280, 1024, 768), screen(4, 2304) });
    EXPECT_EQ(blackedOut(), (std::set<uint32_t> { 2, 4 }));
    EXPECT_EQ(manager().displayCaptureWindows().at(2)->frame(), screen(2, 1280, 1024, 768).frame());
    presentation.exitFullScreen();
    EXPECT_TRUE(blackedOut().empty());
    server->setScreens({ screen(1, 0), screen(5, 1280) });
    EXPECT_TRUE(blackedOut().empty()) << "no longer following the screens";
}

TEST_F(ManagerTest, KeepAwakeRequestsNest)
{
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    HXHeadlessWindowServer::install({ screen(1, 0) });
    manager().enableSystemActivityTimer(true);
    manager().enableSystemActivityTimer(true);
    manager().enableSystemActivityTimer(false);
    EXPECT_TRUE(manager().hasSystemActivityTimer()) << "two requests, one release";
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 100);
    EXPECT_EQ(_displays->activityReports, 2) << "every 45 seconds";
    manager().enableSystemActivityTimer(false);
    EXPECT_FALSE(manager().hasSystemActivityTimer());
    manager().enableSystemActivityTimer(false);
    EXPECT_EQ(manager().systemActivityCounter(), 0u) << "an extra release does not wrap round";

    auto shared = std::make_shared<FSPresentationWindowController>();
    auto& presentation = *shared;
    presentation.enterFullScreen();
    EXPECT_TRUE(manager().hasSystemActivityTimer()) << "a presentation keeps the machine awake";
    presentation.exitFullScreen();
    EXPECT_FALSE(manager().hasSystemActivityTimer());
    HXRunLoop::main().setClock(nullptr);
}

TEST(DisplayModes, ChoiceForAPicture)
{
    const FSDisplayMode current { 1920, 1080, 24, 60 };
    const std::vector<FSDisplayMode> modes = { { 640, 480, 24, 60 }, { 800, 600, 24, 75 },
        { 800, 600, 24, 60 }, { 1024, 768, 24, 60 }, { 1920, 1080, 24, 60 }, { 720, 480, 32, 60 } };
    struct Case {
        const char* name;
        FSDisplayMode current;
        uint32_t w, h;
        std::optional<FSDisplayMode> expected;
    };
    const Case cases[] = {
        { "exact size", current, 640, 480, FSDisplayMode { 640, 480, 24, 60 } },
        { "the smallest that holds it, same refresh", current, 720, 480, FSDisplayMode { 800, 600, 24, 60 } },
        { "no refresh known: the highest", { 1920, 1080, 24, 0 }, 720, 480,
            FSDisplayMode { 800, 600, 24, 75 } },
        { "nearest refresh", { 1920, 1080, 24, 70 }, 720, 480, FSDisplayMode { 800, 600, 24, 75 } },
        { "nothing large enough", current, 4000, 3000, std::nullopt },
        { "another depth is never taken", { 1920, 1080, 32, 60 }, 640, 480,
            FSDisplayMode { 720, 480, 32, 60 } },
        { "a zero size takes the smallest", current, 0, 0, FSDisplayMode { 640, 480, 24, 60 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FSPresentationChooseDisplayMode(modes, c.current, c.w, c.h), c.expected) << c.name;
}

TEST_F(ManagerTest, SwitchingAndRestoringTheDisplayMode)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280) });
    _displays->current[2] = { 1920, 1080, 24, 60 };
    _displays->modes = { { 640, 480, 24, 60 }, { 1024, 768, 24, 60 }, { 1920, 1080, 24, 60 } };
    FSPresentationWindowController presentation;
    presentation.setPresentationSettings(on(screen(2, 1280), false));
    presentation.switchResolutionToSize({ 700.9, 480.2 });
    EXPECT_TRUE(presentation.switchedResolution());
    EXPECT_EQ(_displays->current[2], (FSDisplayMode { 1024, 768, 24, 60 }));
    presentation.restoreResolution();
    EXPECT_FALSE(presentation.switchedResolution());
    EXPECT_EQ(_displays->current[2], (FSDisplayMode { 1920, 1080, 24, 60 }));

    presentation.switchResolutionToSize({ -5, -5 });
    EXPECT_EQ(_displays->current[2], (FSDisplayMode { 640, 480, 24, 60 })) << "negative sizes count as 0";
    presentation.restoreResolution();

    _displays->switchWorks = false;
    presentation.switchResolutionToSize({ 640, 480 });
    EXPECT_FALSE(presentation.switchedResolution()) << "a refused switch leaves the display as it was";
    EXPECT_EQ(_displays->current[2], (FSDisplayMode { 1920, 1080, 24, 60 }));

    FSPresentationWindowController unknown;
    unknown.setPresentationSettings(on(screen(1, 0), false));
    unknown.switchResolutionToSize({ 640, 480 });
    EXPECT_FALSE(unknown.switchedResolution()) << "a display without a mode to go back to is not switched";
}

TEST_F(ManagerTest, ResolutionSwitchAndCaptureSettings)
{
    HXHeadlessWindowServer::install({ screen(1, 0) });
    FSPresentationWindowController presentation;
    EXPECT_FALSE(presentation.wantsResolutionSwitch());
    FSPresentationSettings settings;
    settings.changeResolution = true;
    presentation.setPresentationSettings(settings);
    EXPECT_TRUE(presentation.wantsResolutionSwitch());
    HXHeadlessWindowServer::install({ screen(1, 0, 1280, 800, 2) });
    EXPECT_FALSE(presentation.wantsResolutionSwitch()) << "never on a scaled first screen";

    EXPECT_FALSE(presentation.capturesAllDisplays());
    EXPECT_EQ(presentation.presentationSettings().captureAllDisplays, false) << "NO is stored";
}

} // namespace

namespace {

std::vector<std::string> titles(const HXMenu& menu)
{
    std::vector<std::string> result;
    for (const auto& item : menu.itemArray())
        result.push_back(item->title() + "|" + item->keyEquivalent());
    return result;
}

TEST_F(ManagerTest, MenuItemsAndPanelsFollowTheMainWindow)
{
    HXHeadlessWindowServer::install({ screen(1, 0), screen(2, 1280) });
    auto mainMenu = std::make_shared<HXMenu>("Main");
    auto sizes = std::make_shared<HXMenu>("View");
    for (const char* title : { "App", "File", "Edit", "View" })
        mainMenu->addItemWithTitle(title, HXSelector(), "");
    mainMenu->setSubmenu(sizes, mainMenu->itemAtIndex(3));
    sizes->addItemWithTitle("Actual Size", HXSelector("normalSize:"), "1");
    sizes->addItemWithTitle("Fit to Screen", HXSelector("fitToScreen:"), "3");
    sizes->addItemWithTitle("Double Size", HXSelector("doubleSize:"), "2");
    HXApplication::sharedApplication()->setMainMenu(mainMenu);

    auto shared = std::make_shared<FSPresentationWindowController>();
    shared->setPresentationSettings(on(screen(2, 1280), true));
    shared->enterFullScreen();
    auto player = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 400, 300 } }, HXTitledWindowMask);

    manager().windowDidBecomeMain(*shared->window());
    EXPECT_EQ(titles(*sizes),
        (std::vector<std::string> { "Actual Size|1", "Letterbox|3", "Crop|4", "Pano|5", "Double Size|2" }));
    manager().windowDidBecomeMain(*shared->window());
    EXPECT_EQ(sizes->numberOfItems(), 5) << "put in once";

    manager().windowDidBecomeMain(*player);
    EXPECT_EQ(
        titles(*sizes), (std::vector<std::string> { "Actual Size|1", "Fit to Screen|3", "Double Size|2" }));
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(_displays->systemUIMode(), 0) << "another main window brings the panels back";
    manager().windowDidBecomeMain(*shared->window());
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(_displays->systemUIMode(), 4) << "and the presentation hides them again";

    // Someone took "Crop" out meanwhile: only what is still there of ours goes.
    sizes->removeItemAtIndex(2);
    manager().windowDidBecomeMain(*player);
    EXPECT_EQ(
        titles(*sizes), (std::vector<std::string> { "Actual Size|1", "Fit to Screen|3", "Double Size|2" }));

    shared->exitFullScreen();
    EXPECT_EQ(_displays->systemUIMode(), 0);
}

TEST_F(ManagerTest, WithoutAFitToScreenItemNothingIsPutIn)
{
    HXHeadlessWindowServer::install({ screen(1, 0) });
    auto mainMenu = std::make_shared<HXMenu>("Main");
    for (const char* title : { "App", "File", "Edit", "View" })
        mainMenu->addItemWithTitle(title, HXSelector(), "");
    auto sizes = std::make_shared<HXMenu>("View");
    mainMenu->setSubmenu(sizes, mainMenu->itemAtIndex(3));
    sizes->addItemWithTitle("Actual Size", HXSelector("normalSize:"), "1");
    HXApplication::sharedApplication()->setMainMenu(mainMenu);
    manager().showFSMenuBonusItems();
    EXPECT_TRUE(manager().addedFSOnlyMenus()) << "marked all the same";
    EXPECT_EQ(sizes->numberOfItems(), 1);
    manager().hideFSMenuBonusItems();
    EXPECT_FALSE(manager().addedFSOnlyMenus());
    EXPECT_EQ(sizes->numberOfItems(), 1);
}

} // namespace
