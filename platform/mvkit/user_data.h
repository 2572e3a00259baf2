#pragma once
// User data items of a movie or a track: four-char typed byte blocks ('nsav', 'plug', '©cpy', ...),
// counted, read, added and removed by type and 1-based index, and the text annotations among them.
//
// These work on the MVUserData of MVMovie::userData() and MVTrack::userData(); the caller marks the
// movie changed (MVMovie::movieChanged) after changing them.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

int MVUserDataCountItems(const MVUserData& userData, uint32_t type);
// The distinct item types in the order they first appear.
std::vector<uint32_t> MVUserDataTypes(const MVUserData& userData);
std::optional<MVBytes> MVUserDataGetItem(const MVUserData& userData, uint32_t type, int index);
// Appends an item after the others of its type (or at the end).
void MVUserDataAddItem(MVUserData& userData, uint32_t type, const MVBytes& data);
// Replaces item `index`, or adds it when `index` is count + 1. False for other indexes.
bool MVUserDataSetItem(MVUserData& userData, uint32_t type, int index, const MVBytes& data);
bool MVUserDataRemoveItem(MVUserData& userData, uint32_t type, int index);

// Text items ('©' codes): the text of the first entry, any language. Nothing when absent or not text.
std::optional<std::string> MVUserDataGetText(const MVUserData& userData, uint32_t type);
// Sets the text of `type` for `language` (a classic language number or a packed ISO code), keeping the
// other languages' texts. An empty text removes that language's entry (and the item when none is left).
void MVUserDataSetText(MVUserData& userData, uint32_t type, const std::string& text, uint16_t language = 0);

// Removes the text of `type` in every language and from wherever the file keeps it (the classic item, the
// item list of the user data's 'meta', a 3GPP box).
void MVUserDataRemoveText(MVUserData& userData, uint32_t type);

// Text items of other writers read as the classic codes they stand for: the item list of the user data's
// 'meta' (MPEG-4 and M4A files) and the 3GPP text boxes; setting a text changes it there as well.
// Every text item as code string (its four bytes through the Roman table, so 0xA9 is "©") → its text;
// ordered by code string.
std::map<std::string, std::string> MVUserDataAnnotations(const MVUserData& userData);

// The language number for a locale identifier ("en", "fr", "de_CH", or a three-letter code); 0
// (English) for an empty or unknown one.
uint16_t MVLanguageForLocale(const std::string& locale);
