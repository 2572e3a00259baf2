#include "platform/basekit/locale.h"

#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <array>
#include <string_view>

namespace {

// The classic language codes that name a language, by number. The gap between 94 and 128 is unused.
constexpr std::array<std::string_view, 95> kLanguagesFrom0 = { "en", "fr", "de", "it", "nl", "sv", "es", "da",
    "pt", "nb", "he", "ja", "ar", "fi", "el", "is", "mt", "tr", "hr", "zh_Hant", "ur", "hi", "th", "ko", "lt",
    "pl", "hu", "et", "lv", "se", "fo", "fa", "ru", "zh_Hans", "nl_BE", "ga", "sq", "ro", "cs", "sk", "sl",
    "yi", "sr", "mk", "bg", "uk", "be", "uz", "kk", "az_Cyrl", "az_Arab", "hy", "ka", "ro_MD", "ky", "tg",
    "tk", "mn_Mong", "mn_Cyrl", "ps", "ku", "ks", "sd", "bo", "ne", "sa", "mr", "bn", "as", "gu", "pa", "or",
    "ml", "kn", "ta", "te", "si", "my", "km", "lo", "vi", "id", "fil", "ms", "ms_Arab", "am", "ti", "om",
    "so", "sw", "rw", "rn", "ny", "mg", "eo" };
constexpr std::array<std::string_view, 24> kLanguagesFrom128
    = { "cy", "eu", "ca", "la", "qu", "gn", "ay", "tt", "ug", "dz", "jv", "su", "gl", "af", "br", "iu", "gd",
          "gv", "ga", "to", "grc", "kl", "az_Latn", "nn" };

std::string toUTF8(const UChar* text, int32_t length)
{
    std::string out(size_t(length) * 3 + 1, '\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), int32_t(out.size()), &written, text, length, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(size_t(written));
    return out;
}

} // namespace

std::string HXLocale::localeIdentifierFromComponents(const std::map<std::string, std::string>& components)
{
    auto value = [&components](const char* key) {
        auto it = components.find(key);
        return it == components.end() ? std::string() : it->second;
    };
    std::string identifier = value(HXLocaleLanguageCode);
    if (identifier.empty())
        return {};
    if (auto script = value(HXLocaleScriptCode); !script.empty())
        identifier += "_" + script;
    if (auto country = value(HXLocaleCountryCode); !country.empty())
        identifier += "_" + country;
    return identifier;
}

std::optional<std::string> HXLocale::canonicalLocaleIdentifierFromLanguageCode(int languageCode, int region)
{
    (void)region; // Every region of a language gives the same identifier here: no country is implied.
    if (languageCode >= 0 && size_t(languageCode) < kLanguagesFrom0.size())
        return std::string(kLanguagesFrom0[size_t(languageCode)]);
    if (languageCode >= 128 && size_t(languageCode - 128) < kLanguagesFrom128.size())
        return std::string(kLanguagesFrom128[size_t(languageCode - 128)]);
    return std::nullopt;
}

std::optional<std::string> HXLocale::displayNameForIdentifier(const std::string& identifier)
{
    if (identifier.empty() || identifier.find('\0') != std::string::npos)
        return std::nullopt;
    std::array<char, 16> language {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(identifier.c_str(), language.data(), int32_t(language.size()), &status);
    if (U_FAILURE(status) || language[0] == '\0' || std::string_view(language.data()) == "und")
        return std::nullopt;
    // ICU answers the code itself, with a warning, for a language it has no name for.
    std::array<UChar, 256> name {};
    status = U_ZERO_ERROR;
    int32_t length
        = uloc_getDisplayLanguage(identifier.c_str(), nullptr, name.data(), int32_t(name.size()), &status);
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || length <= 0)
        return std::nullopt;
    status = U_ZERO_ERROR;
    length = uloc_getDisplayName(identifier.c_str(), nullptr, name.data(), int32_t(name.size()), &status);
    if (U_FAILURE(status) || length <= 0)
        return std::nullopt;
    std::string text = toUTF8(name.data(), std::min<int32_t>(length, int32_t(name.size())));
    if (text.empty())
        return std::nullopt;
    return text;
}
