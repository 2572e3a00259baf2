#pragma once
// Small text utilities: a data size with one decimal, a 16-bit integer value and backslash escaping.
#include <cstdint>
#include <string>
#include <string_view>

namespace HXString_MVAdditions {

// A byte count with one decimal and a unit label from the main strings table ("5.0 MB", "1.5 KB").
// Counts of 1024 bytes or fewer, and negative counts, print as a whole number of bytes ("1000 bytes").
std::string stringForDataSize(int64_t bytes);

// The text's integer value narrowed to 16 bits (the low 16 bits of the 32-bit value).
int16_t shortValue(std::string_view text);

// A copy with a backslash before every character of `characters` (both UTF-8; the set is taken
// character by character). Each character of the text is looked at once, so nothing is escaped twice.
std::string stringByBackslashEscapingCharactersInSet(std::string_view text, std::string_view characters);

} // namespace HXString_MVAdditions
