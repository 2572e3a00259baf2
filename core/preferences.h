#pragma once
// MVPPreferences: the one object through which the player reads and writes the user's preferences.
//
// It wraps the user defaults, makes sure every preference with a default has a stored value from the
// first launch on, keeps the list of capture formats that fits the machine, and announces changes with
// "PreferenceChangedNotification".
#include "platform/basekit/notification_center.h"
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class HXUserDefaults;

// Preference keys.
inline constexpr const char* kGeneralPreferenceOpenMoviesInNewPlayers
    = "GeneralPreferenceOpenMoviesInNewPlayers";
inline constexpr const char* kGeneralPreferenceAutoPlayMoviesWhenOpened
    = "GeneralPreferenceAutoPlayMoviesWhenOpened";
inline constexpr const char* kGeneralPreferencePlaySoundInFrontPlayerOnly
    = "GeneralPreferencePlaySoundInFrontPlayerOnly";
inline constexpr const char* kGeneralPreferencePlaySoundWhenAppInBackground
    = "GeneralPreferencePlaySoundWhenAppInBackground";
inline constexpr const char* kGeneralPreferenceShowEqualizer = "GeneralPreferenceShowEqualizer";
inline constexpr const char* kGeneralPreferenceShowReelspotMovieAutomatically
    = "GeneralPreferenceShowReelspotMovieAutomatically";
inline constexpr const char* kGeneralPreferencePauseMoviesWhenLoggedOut
    = "GeneralPreferencePauseMoviesWhenLoggedOut";
inline constexpr const char* kGeneralPreferenceNumberOfRecentItems = "GeneralPreferenceNumberOfRecentItems";
inline constexpr const char* kGeneralPreferenceHighQualityVideo = "GeneralPreferenceHighQualityVideo";
inline constexpr const char* kGeneralPreferenceShowClosedCaptioning = "GeneralPreferenceShowClosedCaptioning";
inline constexpr const char* kGeneralPreferenceShowSubtitles = "GeneralPreferenceShowSubtitles";
inline constexpr const char* kGeneralHideSelectionIndicators = "GeneralPreferenceHideSelectionIndicators";
inline constexpr const char* kGeneralPreferenceShowTimeCode = "GeneralPreferenceShowTimeCode";
inline constexpr const char* kGeneralPreferenceEnableProAppsColorCompatibilityMode
    = "GeneralPreferenceEnableProAppsColorCompatibilityMode";
inline constexpr const char* kGeneralPreferenceShowTimeCodeAbsoluteFrameNumbers
    = "GeneralPreferenceShowTimeCodeAbsoluteFrameNumbers";
inline constexpr const char* kFullscreenPreferenceWidescreenSize = "FullscreenPreferenceWidescreenSize";
inline constexpr const char* kFullscreenPreferenceStandardSize = "FullscreenPreferenceStandardSize";
inline constexpr const char* kFullscreenPreferenceSize = "FullscreenPreferenceSize";
inline constexpr const char* kFullscreenPreferenceSlideShowMode = "FullscreenPreferenceSlideShowMode";
inline constexpr const char* kFullscreenPreferenceBackgroundColorData
    = "FullscreenPreferenceBackgroundColorData";
inline constexpr const char* kFullscreenPreferenceCaptureAllDisplays
    = "FullscreenPreferenceCaptureAllDisplays";
inline constexpr const char* kFullscreenPreferenceScreenNumber = "FullscreenPreferenceScreenNumber";
inline constexpr const char* kFullscreenPreferenceEnableHUD = "FullscreenPreferenceEnableHUD";
inline constexpr const char* kFullscreenPreferenceHUDFadeOutTime = "FullscreenPreferenceHUDFadeOutTime";
// This key's own text begins with "k".
inline constexpr const char* kFullscreenPreferenceRemainInFullScreenWhenInactive
    = "kFullscreenPreferenceRemainInFullScreenWhenInactive";
inline constexpr const char* kCapturePreferenceDefaultSaveToLocation
    = "CapturePreferenceDefaultSaveToLocation";
inline constexpr const char* kCapturePreferenceFormatIdentifier = "CapturePreferenceFormatIdentifier";
inline constexpr const char* kCapturePreferenceDefaultMovieVideoDevice
    = "CapturePreferenceDefaultMovieVideoDevice";
inline constexpr const char* kCapturePreferenceDefaultMovieAudioDevice
    = "CapturePreferenceDefaultMovieAudioDevice";
inline constexpr const char* kCapturePreferenceLegacyFormatIndex = "CapturePreferenceFormatIndex";
inline constexpr const char* kZantrelScriptPreferenceIgnoreAutoPlay = "ZantrelScriptPreferenceIgnoreAutoPlay";
inline constexpr const char* kZantrelScriptPreferenceIgnoreAutoPresent
    = "ZantrelScriptPreferenceIgnoreAutoPresent";
inline constexpr const char* kGeneralPreferenceNumberOfFavoriteItems
    = "GeneralPreferenceNumberOfFavoriteItems";
inline constexpr const char* kFullscreenPreferenceAutoPresent = "FullscreenPreferenceAutoPresent";
inline constexpr const char* kFullscreenPreferenceSettings = "FullscreenPreferenceSettings";

// The change notification and the key of its user info, which holds the changed preference's key.
inline constexpr const char* kPreferenceChangedNotification = "PreferenceChangedNotification";
inline constexpr const char* kPreferenceChangedUserInfo = "PreferenceChangedUserInfo";

// Identifiers of the capture formats the program knows by name.
inline constexpr const char* MVPCapturePresetIdentifierBest = "MVPCapturePresetIdentifierBest";
inline constexpr const char* MVPCapturePresetIdentifierDeviceNative
    = "MVPCapturePresetIdentifierDeviceNative";

// Keys of a stored capture device description (made by the recording's capture-device list).
inline constexpr const char* MVPPreferencesCaptureDeviceUIDKey = "DUID";
inline constexpr const char* MVPPreferencesCaptureDeviceNameKey = "DeviceName";
inline constexpr const char* MVPPreferencesCaptureDeviceDisplayNameKey = "DisplayName";
inline constexpr const char* MVPPreferencesCaptureDeviceInputIndexKey = "InputIndex";

// Posted by the capture-device list when devices come and go.
inline constexpr const char* MVPPreferencesCaptureDeviceListDidChangeNotification
    = "MVPPreferencesCaptureDeviceListDidChangeNotification";

class MVPPreferences {
public:
    // What the model reads from outside itself. preferences() uses standardEnvironment(); tests give
    // their own stores and stand-ins.
    struct Environment {
        HXUserDefaults* userDefaults = nullptr;
        HXNotificationCenter* notificationCenter = nullptr;
        // The path of a resource of the main bundle ("" when there is none).
        std::function<std::string(const std::string& name, const std::string& type)> pathForResource;
        // The archived black colour, the default full-screen background.
        std::function<HXData()> blackColorData;
        // The display number of the first screen; none when there is no screen.
        std::function<std::optional<int64_t>()> firstScreenNumber;
        // Media keys: a boolean key with its default, and the values of a key.
        std::function<bool(const std::string& type, bool defaultValue)> mediaKeyBool;
        std::function<std::vector<std::string>(const std::string& type)> mediaKeys;
        // The description to store for a stored capture device description and its key, or Null
        // (the capture-device list's fix-up). Without one, a description with a "DUID" is kept as it is
        // and any other is dropped.
        std::function<HXPropertyList(const HXPropertyList& description, const std::string& key)>
            fixedDeviceDescription;
    };
    static Environment standardEnvironment();

    // The shared instance, made on first use and kept for the process. The first launch's change
    // notification is posted only once the instance is published, so observers may ask for it.
    static MVPPreferences& preferences();

    explicit MVPPreferences(Environment environment);
    ~MVPPreferences();
    MVPPreferences(const MVPPreferences&) = delete;
    MVPPreferences& operator=(const MVPPreferences&) = delete;

    // Posts the change notifications that initialisation held back (the shared instance does this
    // itself); later calls post nothing.
    void postDeferredNotifications();

    // The stored value of `key`; Null when absent.
    HXPropertyList preference(const std::string& key) const;
    // Stores `value` under `key` (a Null value removes the key). With `notify`, posts
    // "PreferenceChangedNotification" with the key under "PreferenceChangedUserInfo".
    void setPreference(const HXPropertyList& value, const std::string& key, bool notify);

    // The machine class that names the capture-format resource ("captureSettings" + class + ".plist").
    const std::string& machineClass() const { return _machineClass; }
    // The capture-format list (Null when the resource is missing or is no array).
    const HXPropertyList& captureFormatList() const { return _captureFormatList; }
    // The first format whose "Identifier" is `identifier`; Null when none.
    HXPropertyList captureFormatWithIdentifier(const std::string& identifier) const;
    // Makes "CapturePreferenceFormatIdentifier" name an entry of the list.
    void makeCaptureFormatPreferenceValid();
    // Replaces the stored device description of `key` by the one the capture-device list completes, or
    // removes it when the list answers nothing; answers what is stored afterwards.
    HXPropertyList fixedDevicePreferenceForKey(const std::string& key);

    // Replaces the capture-device fix-up (the recording's device list installs its own).
    void setFixedDeviceDescription(
        std::function<HXPropertyList(const HXPropertyList& description, const std::string& key)> fixer);
    // The preferences window tells the model whether its Capture pane is shown, and what refreshes the
    // device pop-ups when the devices change while it is.
    void setCapturePaneShown(bool shown) { _capturePaneShown = shown; }
    void setDevicePopUpsRefresher(std::function<void()> refresher)
    {
        _refreshDevicePopUps = std::move(refresher);
    }
    void devicesDidChange(const HXNotification& notification);

private:
    void storeDefaults();
    std::string chooseMachineClass() const;
    void readCaptureFormatList();
    void migrateCaptureFormat();
    void postChange(const std::string& key);

    Environment _environment;
    HXUserDefaults& _userDefaults;
    HXNotificationCenter& _notificationCenter;
    std::string _machineClass;
    HXPropertyList _captureFormatList;
    bool _capturePaneShown = false;
    std::function<void()> _refreshDevicePopUps;
    HXObserverToken _devicesObserver = 0;
    std::vector<std::string> _deferredNotifications;
};
