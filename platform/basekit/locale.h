#pragma once
// HXLocale: locale identifiers ("en", "fr_CA", "zh_Hant_TW") made from their components or from a classic
// numeric language code, and their names in the user's language (from ICU's locale data; the user's
// language is the process's default locale, taken from the environment).
#include <map>
#include <optional>
#include <string>

// The component keys of localeIdentifierFromComponents.
inline constexpr const char* HXLocaleLanguageCode = "HXLocaleLanguageCode";
inline constexpr const char* HXLocaleCountryCode = "HXLocaleCountryCode";
inline constexpr const char* HXLocaleScriptCode = "HXLocaleScriptCode";

// The region of canonicalLocaleIdentifierFromLanguageCode that stands for any region.
inline constexpr int HXLocaleAnyRegion = -128;

class HXLocale {
public:
    // "language_Script_COUNTRY" from the components given, written as given; empty without a language.
    static std::string localeIdentifierFromComponents(const std::map<std::string, std::string>& components);
    // The identifier of a classic numeric language code (0 English, 1 French, ... 151 Nynorsk); nothing
    // for a number that names no language. `region` is a classic region code, or HXLocaleAnyRegion.
    static std::optional<std::string> canonicalLocaleIdentifierFromLanguageCode(int languageCode, int region);
    // The name of the locale in the user's language ("French (Canada)"); nothing when its language is
    // unknown or undetermined.
    static std::optional<std::string> displayNameForIdentifier(const std::string& identifier);
};
