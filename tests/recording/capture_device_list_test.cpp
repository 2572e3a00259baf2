// The capture device list: descriptions per device and input source, repair of stored descriptions,
// reading on a worker thread with the answer on the main loop, and device changes.
#include "recording_test_support.h"

#include "platform/basekit/notification_center.h"
#include "recording/capture_device_list.h"

using namespace movara::test::recording;
using Dict = HXPropertyList::Dictionary;

namespace {

class CaptureDeviceListTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        auto card = deviceInfo("card", "Capture Card", MVMediaTypeVideo);
        card.inputSources = std::vector<MVCaptureInputSource> { { "0", "Composite" }, { "1", "S-Video" }, { "2", "Tuner" } };
        auto empty = deviceInfo("empty", "No Inputs", MVMediaTypeVideo);
        empty.inputSources = std::vector<MVCaptureInputSource> {};
        backend->setDevices({ card, deviceInfo("cam", "Camera", MVMediaTypeVideo), empty,
            deviceInfo("mic", "Microphone", MVMediaTypeSound), deviceInfo("dv", "Camcorder", MVMediaTypeMuxed) });
        MVCaptureDevice::setBackend(backend);
        list = std::make_shared<MVPPreferencesKitCaptureDeviceList>();
    }

    static std::vector<std::string> names(const HXPropertyList::Array& descriptions)
    {
        std::vector<std::string> result;
        for (auto& d : descriptions)
            result.push_back(d["DisplayName"].stringValue());
        return result;
    }

    std::shared_ptr<TestCaptureBackend> backend = std::make_shared<TestCaptureBackend>();
    std::shared_ptr<MVPPreferencesKitCaptureDeviceList> list;
};

TEST_F(CaptureDeviceListTest, ListsOneDescriptionPerInputSourceAndMuxedDevicesInBothLists)
{
    auto video = list->videoDeviceDescriptions();
    EXPECT_EQ(names(video), (std::vector<std::string> { "Capture Card (Composite)", "Capture Card (S-Video)",
                                "Capture Card (Tuner)", "Camera", "Camcorder" }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(video[size_t(i)]["DUID"], HXPropertyList("card"));
        EXPECT_EQ(video[size_t(i)]["InputIndex"], HXPropertyList(int64_t(i)));
    }
    EXPECT_FALSE(video[3].contains("InputIndex")) << "a device without sources has no index";
    EXPECT_EQ(names(list->audioDeviceDescriptions()), (std::vector<std::string> { "Microphone", "Camcorder" }));
}

TEST_F(CaptureDeviceListTest, RepairsStoredDescriptions)
{
    struct Case {
        const char* what;
        HXPropertyList stored;
        const char* key;
        HXPropertyList expected;
    };
    const char* audioKey = kCapturePreferenceDefaultMovieAudioDevice;
    const char* videoKey = kCapturePreferenceDefaultMovieVideoDevice;
    HXPropertyList absentWithUID(Dict { { "DUID", HXPropertyList("gone") }, { "DisplayName", HXPropertyList("Old") } });
    const Case cases[] = {
        { "identifier of an absent device: unchanged", absentWithUID, videoKey, absentWithUID },
        { "name of an absent device", HXPropertyList(Dict { { "DisplayName", HXPropertyList("Old") } }), videoKey, {} },
        { "neither identifier nor name", HXPropertyList(Dict {}), videoKey, {} },
        { "nothing stored", HXPropertyList(), audioKey, {} },
        { "microphone by name", HXPropertyList(Dict { { "DisplayName", HXPropertyList("Microphone") } }), audioKey,
            HXPropertyList(Dict { { "DUID", HXPropertyList("mic") }, { "DisplayName", HXPropertyList("Microphone") } }) },
        { "a camera is no sound device", HXPropertyList(Dict { { "DisplayName", HXPropertyList("Camera") } }), audioKey, {} },
        { "a muxed device serves sound", HXPropertyList(Dict { { "DisplayName", HXPropertyList("Camcorder") } }), audioKey,
            HXPropertyList(Dict { { "DUID", HXPropertyList("dv") }, { "DisplayName", HXPropertyList("Camcorder") } }) },
        { "camera by name", HXPropertyList(Dict { { "DisplayName", HXPropertyList("Camera") } }), videoKey,
            HXPropertyList(Dict { { "DUID", HXPropertyList("cam") }, { "DisplayName", HXPropertyList("Camera") } }) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(list->fixedDeviceDescriptionFromDeviceDescription(c.stored, c.key), c.expected) << c.what;
}

class RecordingDelegate : public MVPCaptureDeviceListDelegate {
public:
    void captureDeviceListDidReadAudioDeviceDescriptions(
        const HXPropertyList::Array& a, const HXPropertyList::Array& v) override
    {
        onMainThread = onMainThread && HXRunLoop::isMainThread();
        audio = a;
        video = v;
        ++replies;
    }
    int replies = 0;
    bool onMainThread = true;
    HXPropertyList::Array audio, video;
};

TEST_F(CaptureDeviceListTest, ReadsOnAWorkerThreadAndAnswersEachRequestOnTheMainLoop)
{
    auto first = std::make_shared<RecordingDelegate>();
    auto second = std::make_shared<RecordingDelegate>();
    list->requestDeviceDescriptionsWithDelegate(first);
    list->requestDeviceDescriptionsWithDelegate(second);
    EXPECT_EQ(first->replies, 0) << "the answer never comes before the request returns";
    ASSERT_TRUE(runUntil([&] { return first->replies == 1 && second->replies == 1; }));
    EXPECT_TRUE(first->onMainThread);
    EXPECT_TRUE(second->onMainThread);
    EXPECT_EQ(names(first->audio), (std::vector<std::string> { "Microphone", "Camcorder" }));
    EXPECT_EQ(first->video.size(), 5u);
    std::lock_guard lock(backend->mutex);
    EXPECT_GE(backend->askingThreads.size(), 2u) << "devices are read off the main thread too";
}

TEST_F(CaptureDeviceListTest, ADeviceThatComesOrGoesIsAnnounced)
{
    int changes = 0;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVPPreferencesCaptureDeviceListDidChangeNotificationName, list.get(), [&](const HXNotification&) { ++changes; });
    (void)list->videoDeviceDescriptions();
    auto devices = backend->list;
    devices.push_back(deviceInfo("usb", "USB Camera", MVMediaTypeVideo));
    backend->setDevices(devices);
    EXPECT_EQ(names(list->videoDeviceDescriptions()).size(), 6u);
    ASSERT_TRUE(runUntil([&] { return changes == 1; }));
    devices.erase(devices.begin());
    backend->setDevices(devices);
    (void)list->videoDeviceDescriptions();
    EXPECT_TRUE(runUntil([&] { return changes == 2; }));
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(CaptureDeviceListTest, OpensTheFirstUsableDeviceOfAType)
{
    auto suspended = deviceInfo("a", "Suspended", MVMediaTypeSound);
    suspended.suspended = true;
    backend->setDevices({ suspended, deviceInfo("b", "Second", MVMediaTypeSound), deviceInfo("c", "Third", MVMediaTypeSound) });
    HXError error;
    auto first = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeSound, &error);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->uniqueID(), "b");
    auto next = MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeSound, &error);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->uniqueID(), "c") << "an open device is passed over";
    EXPECT_FALSE(MVCaptureDevice::openedDeviceWithMediaType(MVMediaTypeMuxed, &error));
    first->close();
    next->close();
}

TEST_F(CaptureDeviceListTest, NamesTheSelectedInputSource)
{
    auto card = MVCaptureDevice::deviceWithUniqueID("card");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->localizedDeviceAndInputSourceName(), "Capture Card (Composite)");
    card->setInputSourceIdentifier("2");
    EXPECT_EQ(card->localizedDeviceAndInputSourceName(), "Capture Card (Tuner)");
    EXPECT_EQ(MVCaptureDevice::deviceWithUniqueID("cam")->localizedDeviceAndInputSourceName(), "Camera");
}

} // namespace
