#pragma once
// The settings of one full-screen presentation: which screen, background colour, size mode, slide-show
// mode, automatic presentation, capturing every display and changing the resolution. A setting that is
// not set falls back to the full-screen preferences.
#include "platform/basekit/property_list.h"
#include "platform/drawing/color.h"
#include "platform/winkit/screen.h"

#include <cstdint>
#include <optional>
#include <string>

// The keys of the settings (and of the matching preferences); each value is its own name.
inline constexpr const char* FullscreenPreferenceSize = "FullscreenPreferenceSize";
inline constexpr const char* FullscreenPreferenceSlideShowMode = "FullscreenPreferenceSlideShowMode";
inline constexpr const char* FullscreenPreferenceAutoPresent = "FullscreenPreferenceAutoPresent";
inline constexpr const char* FullscreenPreferenceCaptureAllDisplays = "FullscreenPreferenceCaptureAllDisplays";
inline constexpr const char* FSPresentationColorSetting = "FSPresentationColorSetting";
inline constexpr const char* FSPresentationScreenSetting = "FSPresentationScreenSetting";
inline constexpr const char* FSPresentationChangeResolution = "FSPresentationChangeResolution";

// Presentation-mode numbers of FullscreenPreferenceSize.
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

struct FSPresentationSettings {
    std::optional<int64_t> size;
    std::optional<bool> slideShowMode;
    std::optional<bool> autoPresent;
    std::optional<bool> captureAllDisplays;
    std::optional<HXColor> color;
    std::optional<HXScreen> screen;
    std::optional<bool> changeResolution;

    bool empty() const
    {
        return !size && !slideShowMode && !autoPresent && !captureAllDisplays && !color && !screen
            && !changeResolution;
    }
    // Every setting `other` has replaces this one's.
    void merge(const FSPresentationSettings& other)
    {
        if (other.size)
            size = other.size;
        if (other.slideShowMode)
            slideShowMode = other.slideShowMode;
        if (other.autoPresent)
            autoPresent = other.autoPresent;
        if (other.captureAllDisplays)
            captureAllDisplays = other.captureAllDisplays;
        if (other.color)
            color = other.color;
        if (other.screen)
            screen = other.screen;
        if (other.changeResolution)
            changeResolution = other.changeResolution;
    }

    // The size and the boolean settings by key (an integer, or a boolean); Null when unset and for the
    // colour and the screen.
    HXPropertyList valueForKey(const std::string& key) const
    {
        if (key == FullscreenPreferenceSize)
            return size ? HXPropertyList(*size) : HXPropertyList();
        if (const auto* flag = flagForKey(*this, key))
            return *flag ? HXPropertyList(**flag) : HXPropertyList();
        return {};
    }
    // Sets the size or a boolean setting; a Null value clears it. Other keys are ignored.
    void setValueForKey(const HXPropertyList& value, const std::string& key)
    {
        if (key == FullscreenPreferenceSize) {
            size = value.isNull() ? std::nullopt : std::optional<int64_t>(value.integerValue());
        } else if (auto* flag = flagForKey(*this, key)) {
            *flag = value.isNull() ? std::nullopt : std::optional<bool>(value.boolValue());
        }
    }

private:
    template<class Self> static auto flagForKey(Self& self, const std::string& key) -> decltype(&self.autoPresent)
    {
        if (key == FullscreenPreferenceSlideShowMode)
            return &self.slideShowMode;
        if (key == FullscreenPreferenceAutoPresent)
            return &self.autoPresent;
        if (key == FullscreenPreferenceCaptureAllDisplays)
            return &self.captureAllDisplays;
        if (key == FSPresentationChangeResolution)
            return &self.changeResolution;
        return nullptr;
    }
};
