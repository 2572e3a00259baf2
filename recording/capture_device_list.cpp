#include "recording/capture_device_list.h"

#include "core/preferences.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "recording/capture_device.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <optional>
#include <thread>

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
        slot = std::make_shared<MVPPreferencesKitCaptureDeviceList>();
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
    HXRunLoop::main().perform([this, delegate] { replyToDelegate(delegate); }, 0, { HXRunLoopCommonModes });
}

void MVPPreferencesCaptureDeviceList::replyToDelegate(const std::shared_ptr<MVPCaptureDeviceListDelegate>& delegate)
{
    if (delegate)
        delegate->captureDeviceListDidReadAudioDeviceDescriptions(audioDeviceDescriptions(), videoDeviceDescriptions());
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

// ---- The capture devices' list ---------------------------------------------------------------------------

MVPPreferencesKitCaptureDeviceList::MVPPreferencesKitCaptureDeviceList()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (const char* name : { MVCaptureDeviceWasConnectedNotification, MVCaptureDeviceWasDisconnectedNotification })
        center.addObserver(this, name, nullptr, [this](const HXNotification&) { devicesDidChange(); });
    watchDeviceNodes();
}

MVPPreferencesKitCaptureDeviceList::~MVPPreferencesKitCaptureDeviceList()
{
    HXNotificationCenter::defaultCenter().removeObserver(this);
    if (_watchSource)
        HXRunLoop::main().removeSource(_watchSource);
    if (_watch >= 0)
        ::close(_watch);
}

void MVPPreferencesKitCaptureDeviceList::watchDeviceNodes()
{
    if (!HXRunLoop::isMainThread())
        return;
    _watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (_watch < 0)
        return;
    bool watching = false;
    for (const char* folder : { "/dev", "/dev/snd" })
        watching = inotify_add_watch(_watch, folder, IN_CREATE | IN_DELETE) >= 0 || watching;
    if (!watching) {
        ::close(_watch);
        _watch = -1;
        return;
    }
    _watchSource = HXRunLoop::main().addFileDescriptor(
        _watch, HXFileDescriptorReadable, [this](int, uint32_t) { deviceNodesDidChange(); });
}

void MVPPreferencesKitCaptureDeviceList::deviceNodesDidChange()
{
    alignas(inotify_event) char buffer[4096];
    bool capture = false;
    for (;;) {
        ssize_t length = ::read(_watch, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            std::string name = event->len ? event->name : "";
            capture = capture || name.rfind("video", 0) == 0 || name.rfind("pcmC", 0) == 0;
            offset += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    // The registry compares with what it knew and announces the difference on the main thread.
    if (capture)
        std::thread([] { (void)MVCaptureDevice::inputDevices(); }).detach();
}

HXPropertyList::Array MVPPreferencesKitCaptureDeviceList::deviceDescriptionsWithMediaType(uint32_t mediaType)
{
    // Each entry is filled key by key: the optimiser loses track of which alternative of a property list
    // built inside an initialiser list is set, and warns of values it thinks uninitialised.
    auto describe = [](const std::string& uid, const std::string& name, std::optional<size_t> input) {
        HXPropertyList::Dictionary entry;
        entry.emplace(MVPPreferencesCaptureDeviceUIDKey, uid);
        entry.emplace(MVPPreferencesCaptureDeviceDisplayNameKey, name);
        if (input)
            entry.emplace(MVPPreferencesCaptureDeviceInputIndexKey, int64_t(uint32_t(*input)));
        return HXPropertyList(std::move(entry));
    };
    HXPropertyList::Array result;
    for (auto& device : MVCaptureDevice::inputDevicesWithMediaType(mediaType)) {
        auto sources = device->availableInputSources();
        if (!sources) {
            result.push_back(describe(device->uniqueID(), device->localizedDisplayName(), std::nullopt));
            continue;
        }
        for (size_t index = 0; index < sources->size(); ++index)
            result.push_back(describe(device->uniqueID(),
                MVPCaptureDeviceNameAndInputName(
                    device->localizedDisplayName(), (*sources)[index].localizedDisplayName),
                index));
    }
    return result;
}

HXPropertyList::Array MVPPreferencesKitCaptureDeviceList::videoDeviceDescriptions() const
{
    auto list = deviceDescriptionsWithMediaType(MVMediaTypeVideo);
    auto muxed = deviceDescriptionsWithMediaType(MVMediaTypeMuxed);
    list.insert(list.end(), muxed.begin(), muxed.end());
    return list;
}

HXPropertyList::Array MVPPreferencesKitCaptureDeviceList::audioDeviceDescriptions() const
{
    auto list = deviceDescriptionsWithMediaType(MVMediaTypeSound);
    auto muxed = deviceDescriptionsWithMediaType(MVMediaTypeMuxed);
    list.insert(list.end(), muxed.begin(), muxed.end());
    return list;
}

HXPropertyList MVPPreferencesKitCaptureDeviceList::fixedDeviceDescriptionFromDeviceDescription(
    const HXPropertyList& description, const std::string& key) const
{
    if (!description.isDictionary())
        return {};
    if (description[MVPPreferencesCaptureDeviceUIDKey].isString())
        return description;
    const HXPropertyList& name = description[MVPPreferencesCaptureDeviceDisplayNameKey];
    if (!name.isString())
        return {};
    uint32_t mediaType = key == "CapturePreferenceDefaultMovieAudioDevice" ? MVMediaTypeSound : MVMediaTypeVideo;
    for (auto& device : MVCaptureDevice::inputDevices()) {
        if (device->localizedDisplayName() != name.stringValue())
            continue;
        if (device->mediaType() != mediaType && device->mediaType() != MVMediaTypeMuxed)
            continue;
        auto fixed = description.dictionaryValue();
        fixed[MVPPreferencesCaptureDeviceUIDKey] = HXPropertyList(device->uniqueID());
        return HXPropertyList(fixed);
    }
    return {};
}

void MVPPreferencesKitCaptureDeviceList::requestDeviceDescriptionsWithDelegate(
    const std::shared_ptr<MVPCaptureDeviceListDelegate>& delegate)
{
    if (!delegate)
        return;
    // The thread keeps the list and the delegate alive while it runs. A list that is not owned by a
    // shared pointer answers from the main loop alone.
    auto self = std::static_pointer_cast<MVPPreferencesKitCaptureDeviceList>(weak_from_this().lock());
    if (!self) {
        MVPPreferencesCaptureDeviceList::requestDeviceDescriptionsWithDelegate(delegate);
        return;
    }
    std::thread([self, delegate] { self->readDeviceDescriptionsForDelegate(delegate); }).detach();
}

void MVPPreferencesKitCaptureDeviceList::readDeviceDescriptionsForDelegate(
    std::shared_ptr<MVPCaptureDeviceListDelegate> delegate)
{
    // Reading wakes the device system here, off the main thread; the lists the delegate gets are built
    // again on the main thread, so only the delegate crosses between the threads.
    (void)deviceDescriptionsWithMediaType(MVMediaTypeSound);
    (void)deviceDescriptionsWithMediaType(MVMediaTypeVideo);
    auto self = std::static_pointer_cast<MVPPreferencesKitCaptureDeviceList>(shared_from_this());
    HXRunLoop::performOnMainThread([self, delegate] { self->replyToDelegate(delegate); }, false, { HXRunLoopCommonModes });
}
