#pragma once
// What the recording tests share: devices the test chooses, and a headless application whose recordings
// go to a temporary folder.
#include "core/preferences.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "recording/capture_device.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

namespace movara::test::recording {

// Every recording test reads its localized texts from a small strings table of its own, so that the
// expected texts do not follow the shipped English wording.
[[maybe_unused]] inline const bool fixtureBundleChosen = [] {
    setenv("MOVARA_BUNDLE_DIR", MOVARA_SOURCE_DIR "/tests/recording/fixtures/bundle", 1);
    return true;
}();

// A back end that answers the devices the test gives it, and notes the threads that asked.
class TestCaptureBackend : public MVCaptureDeviceBackend {
public:
    std::vector<MVCaptureDeviceInfo> devices() override
    {
        std::lock_guard lock(mutex);
        askingThreads.insert(std::this_thread::get_id());
        return list;
    }
    void setDevices(std::vector<MVCaptureDeviceInfo> devices)
    {
        std::lock_guard lock(mutex);
        list = std::move(devices);
    }
    std::mutex mutex;
    std::vector<MVCaptureDeviceInfo> list;
    std::set<std::thread::id> askingThreads;
};

inline MVCaptureDeviceInfo deviceInfo(const std::string& uid, const std::string& name, uint32_t type)
{
    MVCaptureDeviceInfo info;
    info.uniqueID = uid;
    info.localizedDisplayName = name;
    info.mediaType = type;
    info.inputFormat = "lavfi";
    info.url = type == MVMediaTypeSound ? "sine" : "testsrc=size=160x120:rate=15";
    return info;
}

// Runs the main loop until `done` or `seconds` pass.
inline bool runUntil(const std::function<bool()>& done, double seconds = 10)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.02);
    }
    return true;
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install(
            { HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }) });
        app = HXApplication::sharedApplication();
        HXUserDefaults::standardUserDefaults().setObject(
            HXPropertyList(folder.path().string()), kCapturePreferenceDefaultSaveToLocation);
    }

    void TearDown() override
    {
        HXAlert::setAlertDidAppearHandler(nullptr);
        for (const char* key : { kCapturePreferenceDefaultSaveToLocation, kCapturePreferenceDefaultMovieVideoDevice,
                 kCapturePreferenceDefaultMovieAudioDevice })
            HXUserDefaults::standardUserDefaults().removeObjectForKey(key);
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
        MVCaptureDevice::setBackend(nullptr);
    }

    TempDir folder;
    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
};

} // namespace movara::test::recording
