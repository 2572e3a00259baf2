#pragma once
// Values inside user data and metadata: languages, international text items, typed metadata values.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <string>
#include <vector>

// Packed ISO 639-2/T language codes ('mdhd', text items): "eng" ↔ 0x15C7. Nothing for text that is not
// three lowercase letters, or for a code below 0x400 (a classic language number).
std::optional<uint16_t> MVPackedLanguage(const std::string& code);
std::optional<std::string> MVLanguageCodeFromPacked(uint16_t packed);

// A classic international text item ('©nam', '©cpy', ...): a list of {16-bit size, 16-bit language,
// text}. Texts with a classic language number (below 0x400) are in the 8-bit Roman table, others UTF-8;
// both are UTF-8 here.
struct MVInternationalText {
    uint16_t language = 0; // 0 = English as a classic number
    std::string text;
    bool operator==(const MVInternationalText&) const = default;
};
// Nothing when the item is not such a list (a size runs past the end).
std::optional<std::vector<MVInternationalText>> MVParseInternationalText(const MVBytes& data);
MVBytes MVSerializeInternationalText(const std::vector<MVInternationalText>& texts);

// The chapters of a 'chpl' item (the chapter list some MP4 writers keep in the movie's user data instead
// of, or beside, a chapter track): each one's start in 100-nanosecond units and its UTF-8 title, in the
// item's order. Empty when the movie has none or the item is malformed.
struct MVChapterListEntry {
    int64_t start = 0;
    std::string title;
    bool operator==(const MVChapterListEntry&) const = default;
};
std::vector<MVChapterListEntry> MVChapterList(const MVUserData& userData);

// The handler's name as text: a counted string when the first byte is its length, else up to the NUL.
std::string MVHandlerName(const MVHandler& handler);

// Typed metadata values.
MVMetadataValue MVMakeMetadataFloat32(float value);
MVMetadataValue MVMakeMetadataUTF8(const std::string& text);
MVMetadataValue MVMakeMetadataSignedInteger(int64_t value); // the shortest of 1, 2, 4, 8 bytes
MVMetadataValue MVMakeMetadataBytes(const MVBytes& bytes);
std::optional<float> MVMetadataFloat32(const MVMetadataValue& value); // type 23, 4 bytes
std::optional<double> MVMetadataFloat64(const MVMetadataValue& value); // type 24, 8 bytes
std::optional<int64_t> MVMetadataInteger(const MVMetadataValue& value); // types 21, 22; 1-8 bytes
std::optional<std::string> MVMetadataString(const MVMetadataValue& value); // type 1 (UTF-8)

// A metadata key for a reverse-DNS name ('mdta') or a four-char code ('udta').
MVMetadataKey MVMakeMetadataKey(const std::string& reverseDNSName);
MVMetadataKey MVMakeMetadataKey(uint32_t code);

// A new 'meta' with an 'mdta' handler, as written for the player's own settings.
MVMetadata MVMakeMetadataContainer();
