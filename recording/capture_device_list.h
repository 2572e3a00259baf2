#pragma once
// MVPPreferencesCaptureDeviceList: the audio and video capture devices the preferences offer as the
// default recording devices, as device descriptions ({"DUID", "DisplayName", "InputIndex"}) that can be
// stored in the user defaults. The lists are read off the main thread's way and handed to the asking
// delegate on the main run loop; stored descriptions that lack a device identifier are repaired against
// the devices present. This base list knows no devices; a capture back end supplies them by overriding
// the two lists.
#include "platform/basekit/property_list.h"

#include <memory>

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

class MVPPreferencesCaptureDeviceList {
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
};
