// Entering and leaving full screen: the states and their notifications, the choice of screen, and a
// screen that presents one movie is not offered to another.
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_window_controller.h"
#include "platform/basekit/notification_center.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"

#include <gtest/gtest.h>

namespace {

class PresentationTest : public ::testing::Test {
protected:
    void TearDown() override { HXApplication::setSharedApplication(nullptr); }

    std::vector<std::string> states(
        FSPresentationWindowController& controller, const std::function<void()>& action)
    {
        std::vector<std::string> log;
        auto& center = HXNotificationCenter::defaultCenter();
        std::vector<HXObserverToken> tokens;
        for (const char* name :
            { FSPresentationEnteringFullScreenStateNotification, FSPresentationFullScreenStateNotification,
                FSPresentationExitingFullScreenStateNotification, FSPresentationInactiveStateNotification })
            tokens.push_back(center.addObserver(
                name, &controller, [&log](const HXNotification& n) { log.push_back(n.name()); }));
        action();
        for (auto token : tokens)
            center.removeObserver(token);
        return log;
    }
};

const std::vector<HXScreen> kScreens
    = { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }),
          HXScreen(7, { { 1280, 0 }, { 1024, 768 } }, { { 1280, 0 }, { 1024, 768 } }) };

TEST_F(PresentationTest, EnteringAndLeavingPostEveryState)
{
    HXHeadlessWindowServer::install(kScreens);
    auto shared = std::make_shared<FSPresentationWindowController>();
    auto& controller = *shared;
    auto entered = states(controller, [&] { controller.enterFullScreen(); });
    EXPECT_EQ(entered,
        (std::vector<std::string> {
            FSPresentationEnteringFullScreenStateNotification, FSPresentationFullScreenStateNotification }));
    EXPECT_TRUE(controller.isFullscreen());
    ASSERT_TRUE(controller.presentationScreen());
    EXPECT_EQ(controller.presentationScreen()->screenNumber(), 1u);
    EXPECT_EQ(controller.window()->frame().size.width, 1280);
    EXPECT_TRUE(states(controller, [&] { controller.enterFullScreen(); }).empty()) << "already presenting";

    auto left = states(controller, [&] { controller.exitFullScreen(); });
    EXPECT_EQ(left,
        (std::vector<std::string> {
            FSPresentationExitingFullScreenStateNotification, FSPresentationInactiveStateNotification }));
    EXPECT_FALSE(controller.isFullscreen());
    EXPECT_TRUE(states(controller, [&] { controller.exitFullScreen(); }).empty()) << "nothing to leave";
}

TEST_F(PresentationTest, TheChosenScreenIsUsedWhileAvailableAndIsTakenFromTheOthers)
{
    HXHeadlessWindowServer::install(kScreens);
    auto firstController = std::make_shared<FSPresentationWindowController>();
    auto secondController = std::make_shared<FSPresentationWindowController>();
    auto thirdController = std::make_shared<FSPresentationWindowController>();
    auto &first = *firstController, &second = *secondController, &third = *thirdController;
    FSPresentationSettings onSecondScreen;
    onSecondScreen.screen = kScreens[1];
    first.setPresentationSettings(onSecondScreen);
    first.enterFullScreen();
    EXPECT_EQ(first.presentationScreen()->screenNumber(), 7u);
    auto available = FSPresentationManager::fsPresentationManager().availableScreens();
    ASSERT_EQ(available.size(), 1u);
    EXPECT_EQ(available[0].screenNumber(), 1u);

    second.setPresentationSettings(onSecondScreen);
    second.enterFullScreen();
    ASSERT_TRUE(second.isFullscreen());
    EXPECT_EQ(second.presentationScreen()->screenNumber(), 1u) << "the chosen screen is busy: the free one";

    third.enterFullScreen();
    EXPECT_FALSE(third.isFullscreen()) << "no screen is left";

    first.exitFullScreen();
    second.exitFullScreen();
    EXPECT_EQ(FSPresentationManager::fsPresentationManager().availableScreens().size(), 2u);
}

TEST_F(PresentationTest, SettingsMergeAndResetToThePreferences)
{
    auto shared = std::make_shared<FSPresentationWindowController>();
    auto& controller = *shared;
    FSPresentationSettings a, b;
    a.size = FSPresentationModeLetterbox;
    a.slideShowMode = true;
    b.size = FSPresentationModeDoubleSize;
    b.captureAllDisplays = true;
    controller.setPresentationSettings(a);
    controller.setPresentationSettings(b);
    EXPECT_EQ(controller.presentationSettings().size, FSPresentationModeDoubleSize);
    EXPECT_EQ(controller.presentationSettings().slideShowMode, true);
    EXPECT_EQ(controller.presentationSettings().captureAllDisplays, true);
    controller.setPresentationSettingsToDefaults();
    EXPECT_TRUE(controller.presentationSettings().empty());
}

} // namespace
