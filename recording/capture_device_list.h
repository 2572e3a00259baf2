#pragma once
// MVPPreferencesCaptureDeviceList: the audio and video capture devices the preferences offer as the
// default recording devices, as device descriptions ({"DUID", "DisplayName", "InputIndex"}) that can be
// stored in the user defaults. The lists are read off the main thread's way and handed to the asking
// delegate on the main run loop; stored descriptions that lack a device identifier are repaired against
// the devices present. This base list knows no devices; MVPPreferencesKitCaptureDeviceList (the shared
// list's kind) reads the capture devices.
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <memory>
#include <vector>

inline constexpr const char* MVPPreferencesCaptureDeviceListDidChangeNotificationName
    = "MVPPreferencesCaptureDeviceListDidChangeNotification";

// Who asks for the device lists.
class MVPCaptureDeviceListDelegate {
public:
    virtual ~MVPCaptureDeviceListDelegate() = default;
    virtual void captureDeviceListDidReadAudioDeviceDescriptions(
        const HXPropertyList::Array& audio, const HXPropertyList::Array& video)
        = 0;
};

class MVPPreferencesCaptureDeviceList : public std::enable_shared_from_this<MVPPreferencesCaptureDeviceList> {
public:
    // The shared list, made on first use.
    static MVPPreferencesCaptureDeviceList& sharedCaptureDeviceList();
    // Replaces the shared list (a capture back end, or a test's devices); null restores the base list.
    static void setSharedCaptureDeviceList(std::shared_ptr<MVPPreferencesCaptureDeviceList> list);

    virtual ~MVPPreferencesCaptureDeviceList() = default;

    // Video devices followed by muxed ones; sound devices followed by muxed ones.
    virtual HXPropertyList::Array videoDeviceDescriptions() const { return {}; }
    virtual HXPropertyList::Array audioDeviceDescriptions() const { return {}; }
    // The answer comes later on the main run loop (common modes); the delegate is kept alive until then.
    virtual void requestDeviceDescriptionsWithDelegate(
        const std::shared_ptr<MVPCaptureDeviceListDelegate>& delegate);
    // The description to store for `description` under `key`: one with a "DUID" as it is; one with only a
    // "DisplayName" completed from the present device of that name and the key's kind; Null otherwise.
    virtual HXPropertyList fixedDeviceDescriptionFromDeviceDescription(
        const HXPropertyList& description, const std::string& key) const;
    // Devices came or went: posts the change notification with this list as object.
    void devicesDidChange();
    // Main thread: reads both lists anew and hands them to the delegate (audio first).
    void replyToDelegate(const std::shared_ptr<MVPCaptureDeviceListDelegate>& delegate);
};

// The capture devices' list. Each request reads the devices on a thread of its own (that wakes the device
// system without making the window wait), then answers on the main run loop with lists built there.
class MVPPreferencesKitCaptureDeviceList : public MVPPreferencesCaptureDeviceList {
public:
    MVPPreferencesKitCaptureDeviceList();
    ~MVPPreferencesKitCaptureDeviceList() override;

    HXPropertyList fixedDeviceDescriptionFromDeviceDescription(
        const HXPropertyList& description, const std::string& key) const override;
    HXPropertyList::Array videoDeviceDescriptions() const override;
    HXPropertyList::Array audioDeviceDescriptions() const override;
    void requestDeviceDescriptionsWithDelegate(
        const std::shared_ptr<MVPCaptureDeviceListDelegate>& delegate) override;
    // One description per device of exactly `mediaType`, or one per input source of a device that lists
    // sources ("InputIndex" then tells which).
    static HXPropertyList::Array deviceDescriptionsWithMediaType(uint32_t mediaType);

private:
    void readDeviceDescriptionsForDelegate(std::shared_ptr<MVPCaptureDeviceListDelegate> delegate);
    // Cameras and sound cards that are plugged in or out show as device nodes coming and going: the
    // devices are read again then (off the main thread), which announces the change.
    void watchDeviceNodes();
    void deviceNodesDidChange();

    int _watch = -1;
    uint64_t _watchSource = 0;
};
