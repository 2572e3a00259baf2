#pragma once
// The languages of the track settings pane. A track's media header stores its language as a classic
// language number (below 0x400; 0x7FFF: unspecified) or as three ISO 639-2/T letters packed in five bits
// each ("fra"; "und": undetermined); an extended language atom may name it more closely, as a language
// tag ("fr-CA"). Names come from ICU, in the user's language.
#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint16_t MVPClassicUnspecifiedLanguage = 0x7FFF;
inline constexpr uint16_t MVPUndeterminedLanguage = 0x55C4; // "und"

// Whether the code is a classic language number rather than packed letters.
inline bool MVPIsClassicLanguageCode(uint16_t code)
{
    return code < 0x400 || code == MVPClassicUnspecifiedLanguage;
}

// The three ISO 639-2/T letters of a language code ("fra" for packed "fra" and for classic 1); empty for
// an unspecified or unknown language.
std::string MVPISOLanguageForCode(uint16_t code);
// The three ISO 639-2/T letters of a language tag's language ("fr-CA": "fra"); empty when it has none.
std::string MVPISOLanguageForTag(const std::string& tag);
// The name of a language code; for an ISO code ICU has no name for, its letters; for a classic number
// that names no language, the number. Empty for an unspecified language.
std::string MVPLanguageName(uint16_t code);
// The name of a language tag ("French (Canada)"); empty when ICU has no name for its language.
std::string MVPLanguageTagName(const std::string& tag);

struct MVPLanguageItem {
    uint16_t code = 0;
    std::string title;
};
// The languages offered to a track whose media stores `current`, with codes of the same kind (classic
// numbers for a classic code, packed letters otherwise), sorted by name after the unspecified language
// (titled `unspecified`). A current code that is none of them comes last, named by MVPLanguageName.
std::vector<MVPLanguageItem> MVPLanguageItems(uint16_t current, const std::string& unspecified);
