// The capture session on the generated tone: levels are measured, and the monitor plays what it hears.
#include "recording_test_support.h"

#include "platform/basekit/notification_center.h"
#include "recording/capture_session.h"

using namespace movara::test;
using namespace movara::test::recording;

namespace {

TEST(CaptureSessionTest, TheMonitorPlaysTheSoundItMeasures)
{
    EnvironmentGuard environment;
    environment.set("SDL_AUDIODRIVER", "dummy"); // a device that takes sound without a sound card
    MVCaptureDevice::setBackend(std::make_shared<MVCaptureStandInBackend>());
    auto tone = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeSound, nullptr);
    ASSERT_TRUE(tone);
    auto input = MVCaptureDeviceInput::deviceInputWithDevice(tone, nullptr);
    ASSERT_TRUE(input);
    auto session = std::make_shared<MVCaptureSession>();
    auto preview = std::make_shared<MVCaptureAudioPreviewOutput>();
    ASSERT_TRUE(session->addInput(input, nullptr));
    ASSERT_TRUE(session->addOutput(preview, nullptr));
    EXPECT_FALSE(preview->isMonitoring()) << "no device is opened at volume 0";
    preview->setVolume(0.5f);
    EXPECT_TRUE(preview->isMonitoring());
    session->startRunning();
    auto connection = preview->defaultConnectionForMediaType(MVMediaTypeSound);
    ASSERT_TRUE(connection);
    EXPECT_TRUE(runUntil([&] { return !connection->averagePowerLevels().empty(); }, 5));
    runUntil([] { return false; }, 0.3);
    session->stopRunning();
    auto levels = connection->averagePowerLevels();
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_NEAR(levels[0], -9.0, 1.0) << "a half-scale sine averages about -9 dB";
    EXPECT_FALSE(session->isRunning());
    tone->close();
    MVCaptureDevice::setBackend(nullptr);
}

TEST(CaptureSessionTest, ADeviceThatCannotBeReadIsReportedOnTheMainThread)
{
    auto broken = std::make_shared<TestCaptureBackend>();
    auto info = deviceInfo("bad", "Broken Camera", MVMediaTypeVideo);
    info.url = "no_such_filter_anywhere";
    broken->setDevices({ info });
    MVCaptureDevice::setBackend(broken);
    auto device = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeVideo, nullptr);
    ASSERT_TRUE(device);
    auto session = std::make_shared<MVCaptureSession>();
    ASSERT_TRUE(session->addInput(MVCaptureDeviceInput::deviceInputWithDevice(device, nullptr), nullptr));
    std::string reported;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVCaptureSessionRuntimeErrorNotification, session.get(), [&](const HXNotification& n) {
            EXPECT_TRUE(HXRunLoop::isMainThread());
            reported = HXError::fromArchive(n.userInfo().at(MVCaptureSessionErrorKey)).localizedDescription();
        });
    session->startRunning();
    EXPECT_TRUE(runUntil([&] { return !reported.empty(); }, 5));
    EXPECT_NE(reported.find("Broken Camera"), std::string::npos) << reported;
    session->stopRunning();
    HXNotificationCenter::defaultCenter().removeObserver(token);
    device->close();
    MVCaptureDevice::setBackend(nullptr);
}

} // namespace
