#pragma once
// The settings of one full-screen presentation: which screen, background colour, size mode, slide-show
// mode, automatic presentation, capturing every display, changing the resolution, the heads-up panel and
// its fade-out time, and any other preference-named value a caller hands in. A setting that is not set
// falls back to the full-screen preferences (FSPresentationWindowController::presentationSettingForKey).
#include "platform/basekit/property_list.h"
#include "platform/drawing/color.h"
#include "platform/winkit/screen.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// The keys of the settings (and of the matching preferences); each value is its own name.
inline constexpr const char* FullscreenPreferenceSize = "FullscreenPreferenceSize";
inline constexpr const char* FullscreenPreferenceSlideShowMode = "FullscreenPreferenceSlideShowMode";
inline constexpr const char* FullscreenPreferenceAutoPresent = "FullscreenPreferenceAutoPresent";
inline constexpr const char* FullscreenPreferenceCaptureAllDisplays
    = "FullscreenPreferenceCaptureAllDisplays";
inline constexpr const char* FullscreenPreferenceEnableHUD = "FullscreenPreferenceEnableHUD";
inline constexpr const char* FullscreenPreferenceHUDFadeOutTime = "FullscreenPreferenceHUDFadeOutTime";
inline constexpr const char* FSPresentationColorSetting = "FSPresentationColorSetting";
inline constexpr const char* FSPresentationScreenSetting = "FSPresentationScreenSetting";
inline constexpr const char* FSPresentationChangeResolution = "FSPresentationChangeResolution";

// Presentation-mode numbers of FullscreenPreferenceSize (an unsigned 16-bit number where it is taken).
enum FSPresentationMode : int64_t {
    FSPresentationModeActualSize = 0,
    FSPresentationModeDoubleSize = 1,
    FSPresentationModeHalfSize = 2,
    FSPresentationModeDefault = 3,
    FSPresentationModeCurrentSize = 4,
    FSPresentationModeLetterbox = 16,
    FSPresentationModeCrop = 17,
    FSPresentationModeStretch = 18,
    FSPresentationModePanoramic = 19,
};
// "No value" in the classification functions.
inline constexpr uint16_t FSPresentationModeNone = 0xFFFF;

// Reads a full-screen preference by key (Null when it has no value) from the preferences' own store: the
// standard user defaults, where MVPPreferences keeps every preference.
HXPropertyList FSPresentationPreference(const std::string& key);

struct FSPresentationSettings {
    std::optional<int64_t> size;
    std::optional<bool> slideShowMode;
    std::optional<bool> autoPresent;
    std::optional<bool> captureAllDisplays;
    std::optional<HXColor> color;
    std::optional<HXScreen> screen;
    std::optional<bool> changeResolution;
    std::optional<bool> enableHUD;
    std::optional<int64_t> hudFadeOutTime;
    // Values under any other key, as they were given.
    std::map<std::string, HXPropertyList> others;

    bool empty() const
    {
        return !size && !slideShowMode && !autoPresent && !captureAllDisplays && !color && !screen
            && !changeResolution && !enableHUD && !hudFadeOutTime && others.empty();
    }
    // Every setting `other` has replaces this one's.
    void merge(const FSPresentationSettings& other);

    // The size, the boolean settings, the fade-out time and other keys' values by key (an integer, a
    // boolean, or the value as given); Null when unset and for the colour and the screen, which have
    // typed members (their stored forms come with propertyList()).
    HXPropertyList valueForKey(const std::string& key) const;
    // Sets a setting by key; a Null value clears it. The colour and the screen keys take their stored
    // forms (archived colour data, a display number); a value they cannot use clears them.
    void setValueForKey(const HXPropertyList& value, const std::string& key);

    // The stored form: a dictionary of the settings that are set, under their keys. The colour is kept as
    // its archived data and the screen as its display number, as the preferences keep them.
    HXPropertyList propertyList() const;
    // Reads a stored form. Values of the wrong type, colour data that does not unarchive and display
    // numbers of screens that are not there now are left out (their settings fall back to the
    // preferences); a value that is no dictionary gives empty settings.
    static FSPresentationSettings settingsWithPropertyList(const HXPropertyList& plist);

    bool operator==(const FSPresentationSettings&) const = default;
};
