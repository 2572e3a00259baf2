#include "track_languages.h"

#include "platform/basekit/locale.h"
#include "platform/mvkit/atoms/user_data_values.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

namespace {

std::string isoLanguageForIdentifier(const std::string& identifier)
{
    const char* letters = identifier.empty() ? nullptr : uloc_getISO3Language(identifier.c_str());
    return letters ? std::string(letters) : std::string();
}

// The locale identifier of a language tag ("fr-CA": "fr_CA").
std::string identifierForTag(const std::string& tag)
{
    if (tag.empty() || tag.find('\0') != std::string::npos)
        return {};
    std::array<char, ULOC_FULLNAME_CAPACITY> identifier {};
    int32_t parsed = 0;
    UErrorCode status = U_ZERO_ERROR;
    uloc_forLanguageTag(tag.c_str(), identifier.data(), int32_t(identifier.size()), &parsed, &status);
    if (U_FAILURE(status) || parsed <= 0 || status == U_STRING_NOT_TERMINATED_WARNING)
        return {};
    return identifier.data();
}

std::string classicIdentifier(uint16_t code)
{
    return HXLocale::canonicalLocaleIdentifierFromLanguageCode(int(code), HXLocaleAnyRegion).value_or("");
}

std::string lowercased(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

std::string MVPISOLanguageForCode(uint16_t code)
{
    if (code == MVPClassicUnspecifiedLanguage || code == MVPUndeterminedLanguage)
        return {};
    if (code < 0x400)
        return isoLanguageForIdentifier(classicIdentifier(code));
    return MVLanguageCodeFromPacked(code).value_or("");
}

std::string MVPISOLanguageForTag(const std::string& tag)
{
    return isoLanguageForIdentifier(identifierForTag(tag));
}

std::string MVPLanguageName(uint16_t code)
{
    if (code == MVPClassicUnspecifiedLanguage || code == MVPUndeterminedLanguage)
        return {};
    if (code < 0x400) {
        auto identifier = classicIdentifier(code);
        auto name = identifier.empty() ? std::nullopt : HXLocale::displayNameForIdentifier(identifier);
        return name ? *name : std::to_string(code);
    }
    auto letters = MVLanguageCodeFromPacked(code);
    if (!letters)
        return std::to_string(code);
    return HXLocale::displayNameForIdentifier(*letters).value_or(*letters);
}

std::string MVPLanguageTagName(const std::string& tag)
{
    auto identifier = identifierForTag(tag);
    return identifier.empty() ? std::string() : HXLocale::displayNameForIdentifier(identifier).value_or("");
}

std::vector<MVPLanguageItem> MVPLanguageItems(uint16_t current, const std::string& unspecified)
{
    const bool classic = MVPIsClassicLanguageCode(current);
    std::vector<MVPLanguageItem> languages;
    std::set<uint16_t> codes;
    std::set<std::string> titles;
    // Every language with a classic number, as that number or as its ISO letters.
    for (uint16_t number = 0; number < 0x400; ++number) {
        auto identifier = classicIdentifier(number);
        if (identifier.empty())
            continue;
        uint16_t code = number;
        if (!classic) {
            auto packed = MVPackedLanguage(isoLanguageForIdentifier(identifier));
            if (!packed)
                continue;
            code = *packed;
        }
        std::string title = MVPLanguageName(code);
        // Regional variants share their language's letters, and a few numbers share a name.
        if (title.empty() || !codes.insert(code).second || !titles.insert(title).second)
            continue;
        languages.push_back({ code, title });
    }
    std::sort(languages.begin(), languages.end(),
        [](const auto& a, const auto& b) { return lowercased(a.title) < lowercased(b.title); });
    const uint16_t none = classic ? MVPClassicUnspecifiedLanguage : MVPUndeterminedLanguage;
    languages.insert(languages.begin(), { none, unspecified });
    codes.insert(none);
    if (!codes.count(current))
        languages.push_back({ current, MVPLanguageName(current) });
    return languages;
}
