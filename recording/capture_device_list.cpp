#include "recording/capture_device_list.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"

namespace {

std::shared_ptr<MVPPreferencesCaptureDeviceList>& sharedSlot()
{
    static auto* slot = new std::shared_ptr<MVPPreferencesCaptureDeviceList>();
    return *slot;
}

} // namespace

MVPPreferencesCaptureDeviceList& MVPPreferencesCaptureDeviceList::sharedCaptureDeviceList()
{
    auto& slot = sharedSlot();
    if (!slot)
        slot = std::make_shared<MVPPreferencesCaptureDeviceList>();
    return *slot;
}

void MVPPreferencesCaptureDeviceList::setSharedCaptureDeviceList(
    std::shared_ptr<MVPPreferencesCaptureDeviceList> list)
{
    sharedSlot() = std::move(list);
}

void MVPPreferencesCaptureDeviceList::requestDeviceDescriptionsWithDelegate(
    const std::shared_ptr<MVPCaptureDeviceListDelegate>& delegate)
{
    if (!delegate)
        return;
    // The lists are read when the answer runs, so they are current then.
    HXRunLoop::main().perform(
        [this, delegate] {
            delegate->captureDeviceListDidReadAudioDeviceDescriptions(
                audioDeviceDescriptions(), videoDeviceDescriptions());
        },
        0, { HXRunLoopCommonModes });
}

HXPropertyList MVPPreferencesCaptureDeviceList::fixedDeviceDescriptionFromDeviceDescription(
    const HXPropertyList& description, const std::string& key) const
{
    if (!description.isDictionary())
        return {};
    if (description["DUID"].isString())
        return description;
    const HXPropertyList& name = description["DisplayName"];
    if (!name.isString())
        return {};
    auto present = key == "CapturePreferenceDefaultMovieAudioDevice" ? audioDeviceDescriptions()
                                                                     : videoDeviceDescriptions();
    for (auto& device : present) {
        if (device["DisplayName"] == name && device["DUID"].isString()) {
            auto fixed = description.dictionaryValue();
            fixed["DUID"] = device["DUID"];
            return HXPropertyList(fixed);
        }
    }
    return {};
}

void MVPPreferencesCaptureDeviceList::devicesDidChange()
{
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPPreferencesCaptureDeviceListDidChangeNotificationName, this));
}
