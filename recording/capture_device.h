#pragma once
// MVCaptureDevice: a camera, a microphone or a device that carries both (muxed). Devices come from a
// capture back end: the standard one reads the machine's video4linux cameras and the sound inputs the
// media library offers; tests and the stand-in devices install their own. A device is read through the
// media library's input formats (its format name, address and options), so every device, real or
// generated, travels the same capture path.
//
// The device registry keeps one object per unique identifier across enumerations, so that an opened
// device stays the same object. Enumeration may run on any thread; opening, closing and attributes
// belong to the main thread.
#include "platform/basekit/error.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t MVMediaTypeVideo = 0x76696465; // 'vide'
inline constexpr uint32_t MVMediaTypeSound = 0x736f756e; // 'soun'
inline constexpr uint32_t MVMediaTypeMuxed = 0x6d757878; // 'muxx'

inline constexpr const char* MVCaptureDeviceWasConnectedNotification = "MVCaptureDeviceWasConnectedNotification";
inline constexpr const char* MVCaptureDeviceWasDisconnectedNotification
    = "MVCaptureDeviceWasDisconnectedNotification";
inline constexpr const char* MVCaptureDeviceAttributeDidChangeNotification
    = "MVCaptureDeviceAttributeDidChangeNotification";
// User info of the attribute notification: the attribute's name.
inline constexpr const char* MVCaptureDeviceChangedAttributeKey = "MVCaptureDeviceChangedAttributeKey";
inline constexpr const char* MVCaptureDeviceInputSourceIdentifierAttribute
    = "MVCaptureDeviceInputSourceIdentifierAttribute";

inline constexpr const char* MVCaptureErrorDomain = "MVCaptureErrorDomain";
enum MVCaptureErrorCode : int64_t {
    MVCaptureErrorDeviceNotFound = -11900,
    MVCaptureErrorDeviceInUse = -11901,
    MVCaptureErrorDeviceNotOpened = -11902,
    MVCaptureErrorDeviceSuspended = -11903,
    MVCaptureErrorRecordingFailed = -11904,
};

struct MVCaptureInputSource {
    std::string identifier;
    std::string localizedDisplayName;
};

// What a back end knows of one device.
struct MVCaptureDeviceInfo {
    std::string uniqueID;
    std::string localizedDisplayName;
    uint32_t mediaType = MVMediaTypeVideo; // video, sound or muxed
    // Present only for devices that list input sources (a capture card's composite and S-video).
    std::optional<std::vector<MVCaptureInputSource>> inputSources;
    bool suspended = false;
    bool highResolution = false;
    std::vector<std::string> linkedDeviceUIDs; // e.g. the microphone built into a camera
    // How the media library reads it: input format name ("video4linux2", "alsa", "lavfi" ...), the address
    // it opens and the options it is given.
    std::string inputFormat;
    std::string url;
    std::map<std::string, std::string> options;
};

class MVCaptureDeviceBackend {
public:
    virtual ~MVCaptureDeviceBackend() = default;
    // Every input device present now, the default device of each media type first. Called on any thread.
    virtual std::vector<MVCaptureDeviceInfo> devices() = 0;
};

// The machine's devices: video4linux cameras (/dev/video*, with their inputs) and the sound inputs the
// media library's ALSA and PulseAudio input formats list.
class MVCaptureSystemBackend : public MVCaptureDeviceBackend {
public:
    std::vector<MVCaptureDeviceInfo> devices() override;
};

// A generated picture and tone, read through the media library's filter-graph input format: the stand-in
// devices for machines without a camera or microphone, and for tests.
class MVCaptureStandInBackend : public MVCaptureDeviceBackend {
public:
    std::vector<MVCaptureDeviceInfo> devices() override;
    static MVCaptureDeviceInfo testPatternDevice();
    static MVCaptureDeviceInfo toneDevice();
};

class MVCaptureDevice : public std::enable_shared_from_this<MVCaptureDevice> {
public:
    explicit MVCaptureDevice(MVCaptureDeviceInfo info);

    // ---- The devices (registry) ----
    // The back end the registry asks; null restores the system back end.
    static void setBackend(std::shared_ptr<MVCaptureDeviceBackend> backend);
    // Every input device, in the back end's order (any thread). A device that came or went since the last
    // enumeration is announced on the main thread with the connected / disconnected notification.
    static std::vector<std::shared_ptr<MVCaptureDevice>> inputDevices();
    // The devices of exactly `mediaType`.
    static std::vector<std::shared_ptr<MVCaptureDevice>> inputDevicesWithMediaType(uint32_t mediaType);
    // The first device of the type, or null.
    static std::shared_ptr<MVCaptureDevice> defaultInputDeviceWithMediaType(uint32_t mediaType);
    static std::shared_ptr<MVCaptureDevice> deviceWithUniqueID(const std::string& uniqueID);

    const std::string& uniqueID() const { return _uniqueID; }
    std::string localizedDisplayName() const;
    uint32_t mediaType() const;
    // Video and sound devices have their own type; a muxed device has both and "muxed".
    bool hasMediaType(uint32_t mediaType) const;
    bool isConnected() const;
    bool isSuspended() const;
    bool isHighResolution() const;
    std::optional<std::vector<MVCaptureInputSource>> availableInputSources() const;
    std::string inputSourceIdentifier() const;
    // Selects an input source; posts the attribute-changed notification.
    void setInputSourceIdentifier(const std::string& identifier);
    std::vector<std::shared_ptr<MVCaptureDevice>> linkedDevices() const;
    MVCaptureDeviceInfo info() const;

    // ---- Use ----
    bool open(HXError* outError);
    void close();
    bool isOpen() const { return _open; }

    // ---- Additions the recording window uses ----
    // The default device of the type when it is not suspended and opens; else the first device of the
    // type that is not open, not suspended and opens; else null (the last open error in `outError`).
    static std::shared_ptr<MVCaptureDevice> openedDeviceWithMediaType(uint32_t mediaType, HXError* outError);
    // The display name, with the selected input source's name when the device lists sources.
    std::string localizedDeviceAndInputSourceName() const;

private:
    friend struct MVCaptureDeviceRegistry;
    void update(const MVCaptureDeviceInfo& info);

    const std::string _uniqueID; // the registry's key: never changes
    mutable std::mutex _mutex; // the info may be refreshed by an enumeration on another thread
    MVCaptureDeviceInfo _info;
    bool _connected = true;
    bool _open = false;
    std::string _inputSourceIdentifier;
};

// "<device> (<source>)" from the localized format "mvpPreferencesCaptureDeviceNameAndInputName".
std::string MVPCaptureDeviceNameAndInputName(const std::string& device, const std::string& source);
