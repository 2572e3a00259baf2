#include "document/presentation_settings.h"

#include "platform/basekit/user_defaults.h"

namespace {

// The boolean settings by key.
template<class Settings> auto flagForKey(Settings& s, const std::string& key) -> decltype(&s.autoPresent)
{
    if (key == FullscreenPreferenceSlideShowMode)
        return &s.slideShowMode;
    if (key == FullscreenPreferenceAutoPresent)
        return &s.autoPresent;
    if (key == FullscreenPreferenceCaptureAllDisplays)
        return &s.captureAllDisplays;
    if (key == FSPresentationChangeResolution)
        return &s.changeResolution;
    if (key == FullscreenPreferenceEnableHUD)
        return &s.enableHUD;
    return nullptr;
}

// The integer settings by key.
template<class Settings> auto numberForKey(Settings& s, const std::string& key) -> decltype(&s.size)
{
    if (key == FullscreenPreferenceSize)
        return &s.size;
    if (key == FullscreenPreferenceHUDFadeOutTime)
        return &s.hudFadeOutTime;
    return nullptr;
}

template<class T> void take(std::optional<T>& into, const std::optional<T>& from)
{
    if (from)
        into = from;
}

} // namespace

void FSPresentationSettings::merge(const FSPresentationSettings& other)
{
    take(size, other.size);
    take(slideShowMode, other.slideShowMode);
    take(autoPresent, other.autoPresent);
    take(captureAllDisplays, other.captureAllDisplays);
    take(color, other.color);
    take(screen, other.screen);
    take(changeResolution, other.changeResolution);
    take(enableHUD, other.enableHUD);
    take(hudFadeOutTime, other.hudFadeOutTime);
    for (const auto& [key, value] : other.others)
        others[key] = value;
}

HXPropertyList FSPresentationSettings::valueForKey(const std::string& key) const
{
    if (const auto* number = numberForKey(*this, key))
        return *number ? HXPropertyList(**number) : HXPropertyList();
    if (const auto* flag = flagForKey(*this, key))
        return *flag ? HXPropertyList(**flag) : HXPropertyList();
    if (key == FSPresentationColorSetting || key == FSPresentationScreenSetting)
        return {};
    auto it = others.find(key);
    return it == others.end() ? HXPropertyList() : it->second;
}

void FSPresentationSettings::setValueForKey(const HXPropertyList& value, const std::string& key)
{
    if (auto* number = numberForKey(*this, key)) {
        *number = value.isNull() ? std::nullopt : std::optional<int64_t>(value.integerValue());
    } else if (auto* flag = flagForKey(*this, key)) {
        *flag = value.isNull() ? std::nullopt : std::optional<bool>(value.boolValue());
    } else if (key == FSPresentationColorSetting) {
        color = value.isData() ? HXColor::colorWithArchivedData(value.dataValue()) : std::nullopt;
    } else if (key == FSPresentationScreenSetting) {
        screen = value.isNumber() && value.integerValue() >= 0 && value.integerValue() <= int64_t(UINT32_MAX)
            ? HXScreen::screenWithNumber(uint32_t(value.integerValue()))
            : std::nullopt;
    } else if (value.isNull()) {
        others.erase(key);
    } else {
        others[key] = value;
    }
}

HXPropertyList FSPresentationSettings::propertyList() const
{
    HXPropertyList::Dictionary dictionary;
    for (const auto& [key, value] : others)
        dictionary[key] = value;
    for (const char* key :
        { FullscreenPreferenceSize, FullscreenPreferenceHUDFadeOutTime, FullscreenPreferenceSlideShowMode,
            FullscreenPreferenceAutoPresent, FullscreenPreferenceCaptureAllDisplays,
            FSPresentationChangeResolution, FullscreenPreferenceEnableHUD }) {
        if (auto value = valueForKey(key); !value.isNull())
            dictionary[key] = value;
    }
    if (color)
        dictionary[FSPresentationColorSetting] = HXPropertyList(color->archivedData());
    if (screen)
        dictionary[FSPresentationScreenSetting] = HXPropertyList(int64_t(screen->screenNumber()));
    return HXPropertyList(std::move(dictionary));
}

FSPresentationSettings FSPresentationSettings::settingsWithPropertyList(const HXPropertyList& plist)
{
    FSPresentationSettings settings;
    if (!plist.isDictionary())
        return settings;
    for (const auto& [key, value] : plist.dictionaryValue()) {
        // A number or boolean setting given as anything else is no setting at all.
        if (numberForKey(settings, key) && !value.isNumber())
            continue;
        if (flagForKey(settings, key) && !value.isBoolean() && !value.isNumber())
            continue;
        settings.setValueForKey(value, key);
    }
    return settings;
}

HXPropertyList FSPresentationPreference(const std::string& key)
{
    return HXUserDefaults::standardUserDefaults().objectForKey(key);
}
