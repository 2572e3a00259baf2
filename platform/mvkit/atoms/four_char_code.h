#pragma once
// Four-character codes ('moov', 'soun', '©nam', "\0std") as host-order uint32_t, and their text forms.
//
// A code's text is its four bytes read through the 8-bit Roman table, so 0xA96E616D is "©nam" and a
// code with a NUL byte keeps the NUL ("\0std" for 0x00737464): four characters, always.
#include <cstdint>
#include <string>
#include <string_view>

// The code for the first four characters of `text` (UTF-8) in the 8-bit Roman table. A shorter text
// is padded with blanks; a character the table lacks becomes '?'. An empty text gives 0.
uint32_t MVOSTypeForString(std::string_view text);
// The four characters of the code as UTF-8 text (NUL bytes kept).
std::string MVStringForOSType(uint32_t code);

// The code of a four-byte literal: MVFourCC("moov"). For ASCII codes only.
constexpr uint32_t MVFourCC(const char (&s)[5])
{
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8)
        | uint32_t(uint8_t(s[3]));
}

// '©' in the Roman table, the first byte of the classic international text items ('©nam', '©day', ...).
inline constexpr uint8_t MVCopyrightSignByte = 0xA9;

// Text in the 8-bit Roman table to UTF-8 and back ('?' for characters the table lacks).
std::string MVUTF8FromRoman(std::string_view roman);
std::string MVRomanFromUTF8(std::string_view utf8);
