#pragma once
// Text helpers over UTF-8 std::string, kept in the HXString namespace: comparison and search, path
// components, placeholder formatting, trimming and splitting, number parsing and text encodings.
// Every function takes and returns UTF-8 unless its name says otherwise; none of them throws.
#include "platform/basekit/property_list.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A range of bytes in a UTF-8 string; location is HXNotFound when a search finds nothing.
inline constexpr size_t HXNotFound = size_t(-1);
struct HXRange {
    size_t location = HXNotFound;
    size_t length = 0;
    bool found() const { return location != HXNotFound; }
    bool operator==(const HXRange&) const = default;
};

// The text encodings the program converts between. (The numbers that movie files store for an
// encoding belong to the media layer, not to this enumeration.)
enum class HXStringEncoding {
    ASCII,
    HalvernRoman, // the classic 8-bit encoding of the platform (our own 256-entry table)
    ISOLatin1,
    UTF8,
    UTF16, // host byte order, no byte-order mark
};

// Error user-info key naming the encoding of a failed conversion.
inline constexpr const char* HXStringEncodingErrorKey = "HXStringEncoding";

namespace HXString {

// ---- Comparison and search ----------------------------------------------------------------------
enum CompareOptions : unsigned {
    CaseInsensitive = 1,
    Literal = 2, // accepted for symmetry; comparison is always by code point
    Backwards = 4, // search from the end
    Anchored = 8, // match only at the start (or the end, with Backwards)
    DiacriticInsensitive = 0x80, // "é" equals "e" (Latin letters)
};

// -1, 0 or 1, comparing code point by code point after the folding that `options` asks for.
int compare(std::string_view a, std::string_view b, unsigned options = 0);
int caseInsensitiveCompare(std::string_view a, std::string_view b);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool hasPrefix(std::string_view s, std::string_view prefix);
bool hasSuffix(std::string_view s, std::string_view suffix);
// Byte range of the first (or last, with Backwards) match of `needle` in `haystack`.
HXRange rangeOfString(std::string_view haystack, std::string_view needle, unsigned options = 0);
bool containsString(std::string_view haystack, std::string_view needle, unsigned options = 0);
std::string lowercaseString(std::string_view s);
std::string uppercaseString(std::string_view s);
// Every occurrence of `target` replaced by `replacement` (literal, non-overlapping, left to right).
std::string stringByReplacingOccurrencesOfString(
    std::string_view s, std::string_view target, std::string_view replacement, unsigned options = 0);

// ---- Path components (POSIX paths, '/' separated) ------------------------------------------------
std::vector<std::string> pathComponents(std::string_view path); // "/a/b" -> {"/", "a", "b"}
std::string pathWithComponents(const std::vector<std::string>& components);
std::string lastPathComponent(std::string_view path); // "/a/b.mov" -> "b.mov", "/" -> "/"
std::string pathExtension(std::string_view path); // "b.mov" -> "mov", ".profile" -> ""
std::string stringByDeletingPathExtension(std::string_view path);
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string stringByAppendingPathComponent(std::string_view path, std::string_view component);
std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension);
bool isAbsolutePath(std::string_view path);
// "~" and "~user" at the start become the home folder.
std::string stringByExpandingTildeInPath(std::string_view path);
// The home folder at the start becomes "~".
std::string stringByAbbreviatingWithTildeInPath(std::string_view path);
// Tilde expanded, "//" and "/./" collapsed, "/.." resolved lexically for absolute paths, trailing '/'
// dropped.
std::string stringByStandardizingPath(std::string_view path);

// ---- Formatting ---------------------------------------------------------------------------------
// printf-style formatting with the argument list given as values. Conversions: %@ (the value's
// description), %d %i %u %x %X %o %c %C (integers; %c/%C a character), %s, %f %F %e %E %g %G, %%,
// with flags, width, precision and length modifiers (h hh l ll q z j t L, all read as 64 bits),
// and positional arguments ("%2$@"). Inserted text is never scanned again, and a conversion
// without an argument produces nothing, so no format can read past the arguments it was given.
std::string format(std::string_view format, const std::vector<HXPropertyList>& arguments);
std::string format(std::string_view format, const std::vector<std::string>& arguments);
// The text a value shows through %@: strings as they are, numbers in their shortest exact form,
// booleans as 1/0, dates as "YYYY-MM-DD hh:mm:ss +0000", data as "<0a1b ...>", containers in the
// old property-list text form.
std::string description(const HXPropertyList& value);

// ---- Trimming and splitting ---------------------------------------------------------------------
inline constexpr std::string_view whitespaceCharacters = " \t";
inline constexpr std::string_view newlineCharacters = "\r\n";
inline constexpr std::string_view whitespaceAndNewlineCharacters = " \t\r\n\v\f";
// `set` holds single-byte (ASCII) characters; the Unicode line and paragraph separators and
// no-break space are also trimmed by the whitespace variants below.
std::string stringByTrimmingCharactersInSet(std::string_view s, std::string_view set);
std::string trimWhitespace(std::string_view s); // blanks, tabs, CR, LF and Unicode spaces
std::string trimNewlines(std::string_view s); // CR and LF only
std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator);
// Splits at every byte of `separators` (ASCII); empty pieces between adjacent separators are kept.
std::vector<std::string> componentsSeparatedByCharactersInSet(
    std::string_view s, std::string_view separators);
std::string componentsJoinedByString(const std::vector<std::string>& parts, std::string_view separator);

// ---- Number parsing (leading blanks skipped, then the longest number; 0 when there is none;
// out-of-range values saturate) -------------------------------------------------------------------
int16_t shortValue(std::string_view s);
int32_t intValue(std::string_view s);
int64_t longLongValue(std::string_view s);
double doubleValue(std::string_view s);
float floatValue(std::string_view s);
bool boolValue(std::string_view s); // "Y", "y", "T", "t" or a non-zero digit first -> true

// ---- Unicode and encodings ----------------------------------------------------------------------
bool isValidUTF8(std::string_view bytes);
// Number of Unicode scalar values (UTF-8 text assumed valid; each invalid byte counts as one).
size_t length(std::string_view s);
// UTF-16 in host order. Invalid UTF-8 gives std::nullopt.
std::optional<std::u16string> utf16FromUTF8(std::string_view utf8);
// Unpaired surrogates give std::nullopt.
std::optional<std::string> utf8FromUTF16(std::u16string_view utf16);
// Invalid sequences become U+FFFD.
std::string utf8ByReplacingInvalidSequences(std::string_view bytes);

// The code point of byte `byte` in Halvern Roman, and back (std::nullopt when not in the table).
char32_t halvernRomanCodePoint(uint8_t byte);
std::optional<uint8_t> halvernRomanByte(char32_t codePoint);

// True when every character of `s` has a form in `encoding`.
bool canBeConvertedToEncoding(std::string_view s, HXStringEncoding encoding);
// The bytes of `s` in `encoding` (UTF-16 as host-order code units in a byte string), or std::nullopt
// when a character has no form there: no lossy conversion.
std::optional<std::string> dataUsingEncoding(std::string_view s, HXStringEncoding encoding);
// As far as the first character without a form in `encoding`; `charactersConverted` tells how many
// characters went in.
std::string dataUsingEncodingUpToFirstFailure(
    std::string_view s, HXStringEncoding encoding, size_t* charactersConverted = nullptr);
// Text from bytes in `encoding`; std::nullopt when the bytes are not valid in it.
std::optional<std::string> stringWithBytes(std::string_view bytes, HXStringEncoding encoding);
// The most bytes `characters` UTF-16 code units can need in `encoding`.
size_t maximumLengthOfBytesForEncoding(size_t characters, HXStringEncoding encoding);

} // namespace HXString
