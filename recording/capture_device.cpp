#include "recording/capture_device.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string_view>

struct MVCaptureDeviceRegistry {
    std::mutex mutex;
    std::shared_ptr<MVCaptureDeviceBackend> backend;
    std::vector<std::shared_ptr<MVCaptureDevice>> devices; // in the back end's order, present ones
    std::map<std::string, std::shared_ptr<MVCaptureDevice>> known; // every device ever seen, by identifier
    bool enumerated = false;

    static MVCaptureDeviceRegistry& shared()
    {
        static auto* registry = new MVCaptureDeviceRegistry();
        return *registry;
    }

    std::vector<std::shared_ptr<MVCaptureDevice>> enumerate()
    {
        std::unique_lock lock(mutex);
        auto source = backend;
        if (!source) {
            // MOVARA_CAPTURE_DEVICES=standin records from the generated picture and tone instead of the
            // machine's devices (a machine without any, a test).
            const char* choice = std::getenv("MOVARA_CAPTURE_DEVICES");
            if (choice && std::string_view(choice) == "standin")
                source = std::make_shared<MVCaptureStandInBackend>();
            else
                source = std::make_shared<MVCaptureSystemBackend>();
            backend = source;
        }
        lock.unlock();
        // The back end may take a while (it wakes the device system): the registry stays free meanwhile.
        std::vector<MVCaptureDeviceInfo> infos = source->devices();
        lock.lock();
        if (source != backend) // replaced while we read: the new back end's answer counts
            return devices;
        std::vector<std::shared_ptr<MVCaptureDevice>> now;
        std::set<std::string> seen;
        std::vector<std::shared_ptr<MVCaptureDevice>> connected, disconnected;
        for (auto& info : infos) {
            if (info.uniqueID.empty() || !seen.insert(info.uniqueID).second)
                continue;
            auto& device = known[info.uniqueID];
            if (!device) {
                device = std::make_shared<MVCaptureDevice>(info);
            } else {
                device->update(info);
            }
            bool wasPresent = std::find(devices.begin(), devices.end(), device) != devices.end();
            if (enumerated && !wasPresent)
                connected.push_back(device);
            now.push_back(device);
        }
        for (auto& device : devices) {
            if (!seen.count(device->uniqueID())) {
                std::lock_guard deviceLock(device->_mutex);
                device->_connected = false;
                if (enumerated)
                    disconnected.push_back(device);
            }
        }
        for (auto& device : now) {
            std::lock_guard deviceLock(device->_mutex);
            device->_connected = true;
        }
        devices = now;
        enumerated = true;
        lock.unlock();
        announce(connected, MVCaptureDeviceWasConnectedNotification);
        announce(disconnected, MVCaptureDeviceWasDisconnectedNotification);
        return now;
    }

    static void announce(const std::vector<std::shared_ptr<MVCaptureDevice>>& list, const char* name)
    {
        for (auto& device : list) {
            HXRunLoop::performOnMainThread([device, name] {
                HXNotificationCenter::defaultCenter().postNotification(HXNotification(name, device));
            });
        }
    }
};

MVCaptureDevice::MVCaptureDevice(MVCaptureDeviceInfo info)
    : _uniqueID(info.uniqueID)
    , _info(std::move(info))
{
    if (_info.inputSources && !_info.inputSources->empty())
        _inputSourceIdentifier = _info.inputSources->front().identifier;
}

void MVCaptureDevice::update(const MVCaptureDeviceInfo& info)
{
    std::lock_guard lock(_mutex);
    _info = info;
}

void MVCaptureDevice::setBackend(std::shared_ptr<MVCaptureDeviceBackend> backend)
{
    auto& registry = MVCaptureDeviceRegistry::shared();
    std::lock_guard lock(registry.mutex);
    registry.backend = std::move(backend);
    registry.devices.clear();
    registry.known.clear();
    registry.enumerated = false;
}

std::vector<std::shared_ptr<MVCaptureDevice>> MVCaptureDevice::inputDevices()
{
    return MVCaptureDeviceRegistry::shared().enumerate();
}

std::vector<std::shared_ptr<MVCaptureDevice>> MVCaptureDevice::inputDevicesWithMediaType(uint32_t mediaType)
{
    std::vector<std::shared_ptr<MVCaptureDevice>> result;
    for (auto& device : inputDevices()) {
        if (device->mediaType() == mediaType)
            result.push_back(device);
    }
    return result;
}

std::shared_ptr<MVCaptureDevice> MVCaptureDevice::defaultInputDeviceWithMediaType(uint32_t mediaType)
{
    auto list = inputDevicesWithMediaType(mediaType);
    return list.empty() ? nullptr : list.front();
}

std::shared_ptr<MVCaptureDevice> MVCaptureDevice::deviceWithUniqueID(const std::string& uniqueID)
{
    for (auto& device : inputDevices()) {
        if (device->uniqueID() == uniqueID)
            return device;
    }
    return nullptr;
}

std::string MVCaptureDevice::localizedDisplayName() const
{
    std::lock_guard lock(_mutex);
    return _info.localizedDisplayName;
}

uint32_t MVCaptureDevice::mediaType() const
{
    std::lock_guard lock(_mutex);
    return _info.mediaType;
}

bool MVCaptureDevice::hasMediaType(uint32_t mediaType) const
{
    uint32_t own = this->mediaType();
    if (own == MVMediaTypeMuxed)
        return mediaType == MVMediaTypeMuxed || mediaType == MVMediaTypeVideo || mediaType == MVMediaTypeSound;
    return own == mediaType;
}

std::string MVCaptureDevice::inputSourceIdentifier() const
{
    std::lock_guard lock(_mutex);
    return _inputSourceIdentifier;
}

bool MVCaptureDevice::isConnected() const
{
    std::lock_guard lock(_mutex);
    return _connected;
}

bool MVCaptureDevice::isSuspended() const
{
    std::lock_guard lock(_mutex);
    return _info.suspended;
}

bool MVCaptureDevice::isHighResolution() const
{
    std::lock_guard lock(_mutex);
    return _info.highResolution;
}

std::optional<std::vector<MVCaptureInputSource>> MVCaptureDevice::availableInputSources() const
{
    std::lock_guard lock(_mutex);
    return _info.inputSources;
}

MVCaptureDeviceInfo MVCaptureDevice::info() const
{
    std::lock_guard lock(_mutex);
    return _info;
}

void MVCaptureDevice::setInputSourceIdentifier(const std::string& identifier)
{
    {
        std::lock_guard lock(_mutex);
        if (identifier == _inputSourceIdentifier)
            return;
        _inputSourceIdentifier = identifier;
    }
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVCaptureDeviceAttributeDidChangeNotification, shared_from_this(),
            { { MVCaptureDeviceChangedAttributeKey, HXPropertyList(MVCaptureDeviceInputSourceIdentifierAttribute) } }));
}

std::vector<std::shared_ptr<MVCaptureDevice>> MVCaptureDevice::linkedDevices() const
{
    std::vector<std::string> uids;
    {
        std::lock_guard lock(_mutex);
        uids = _info.linkedDeviceUIDs;
    }
    std::vector<std::shared_ptr<MVCaptureDevice>> result;
    auto& registry = MVCaptureDeviceRegistry::shared();
    std::lock_guard lock(registry.mutex);
    for (auto& uid : uids) {
        auto found = registry.known.find(uid);
        if (found != registry.known.end() && found->second->_connected)
            result.push_back(found->second);
    }
    return result;
}

bool MVCaptureDevice::open(HXError* outError)
{
    auto fail = [outError, this](int64_t code, const char* text) {
        if (outError)
            *outError = HXError::withDescription(MVCaptureErrorDomain, code, localizedDisplayName() + ": " + text);
        return false;
    };
    if (_open)
        return true;
    if (!isConnected())
        return fail(MVCaptureErrorDeviceNotFound, "the device is not connected");
    if (isSuspended())
        return fail(MVCaptureErrorDeviceSuspended, "the device is suspended");
    // The device is read by the session that uses it; opening claims it for this program.
    _open = true;
    return true;
}

void MVCaptureDevice::close()
{
    _open = false;
}

std::shared_ptr<MVCaptureDevice> MVCaptureDevice::openedDeviceWithMediaType(uint32_t mediaType, HXError* outError)
{
    auto preferred = defaultInputDeviceWithMediaType(mediaType);
    if (preferred && !preferred->isSuspended() && preferred->open(outError))
        return preferred;
    for (auto& device : inputDevicesWithMediaType(mediaType)) {
        if (device->isOpen() || device->isSuspended())
            continue;
        if (device->open(outError))
            return device;
    }
    return nullptr;
}

std::string MVPCaptureDeviceNameAndInputName(const std::string& device, const std::string& source)
{
    std::string format = HXLocalizedString("mvpPreferencesCaptureDeviceNameAndInputName");
    if (format == "mvpPreferencesCaptureDeviceNameAndInputName" || format.find("%@") == std::string::npos)
        format = "%@ (%@)";
    std::string result;
    int argument = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "%@") == 0 && argument < 2) {
            result += argument++ == 0 ? device : source;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

std::string MVCaptureDevice::localizedDeviceAndInputSourceName() const
{
    auto sources = availableInputSources();
    if (sources) {
        for (auto& source : *sources) {
            if (source.identifier == inputSourceIdentifier())
                return MVPCaptureDeviceNameAndInputName(localizedDisplayName(), source.localizedDisplayName);
        }
    }
    return localizedDisplayName();
}
