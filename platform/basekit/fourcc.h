#pragma once
// Four-character codes as host-order uint32_t: "moov" == 0x6D6F6F76.
#include <cstdint>
#include <string>
#include <string_view>

// The code of the first four characters of `text`, each taken as its Halvern Roman byte ("©day" ->
// 0xA9646179). Shorter text is padded with blanks ("url" -> "url "); a character that has no
// Halvern Roman byte counts as '?'. The hexadecimal form "0x" + 8 digits that HXStringFromFourCharCode
// gives for unprintable codes is read back as that number.
uint32_t HXFourCharCode(std::string_view text);

// The four bytes as text (UTF-8): printable ASCII as is, bytes 0x80-0xFF as their Halvern Roman
// characters. A code holding a control byte (below 0x20, or 0x7F) is written "0x" + 8 hex digits
// instead, so the result is always printable and reads back to the same code.
std::string HXStringFromFourCharCode(uint32_t code);
