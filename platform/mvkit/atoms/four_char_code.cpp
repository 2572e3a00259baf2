#include "platform/mvkit/atoms/four_char_code.h"

#include <array>

namespace {

// Unicode code points of the bytes 0x80-0xFF of the 8-bit Roman table; 0x00-0x7F are ASCII.
constexpr std::array<uint16_t, 128> kRomanHigh = {
    0x00C4,
    0x00C5,
    0x00C7,
    0x00C9,
    0x00D1,
    0x00D6,
    0x00DC,
    0x00E1,
    0x00E0,
    0x00E2,
    0x00E4,
    0x00E3,
    0x00E5,
    0x00E7,
    0x00E9,
    0x00E8,
    0x00EA,
    0x00EB,
    0x00ED,
    0x00EC,
    0x00EE,
    0x00EF,
    0x00F1,
    0x00F3,
    0x00F2,
    0x00F4,
    0x00F6,
    0x00F5,
    0x00FA,
    0x00F9,
    0x00FB,
    0x00FC,
    0x2020,
    0x00B0,
    0x00A2,
    0x00A3,
    0x00A7,
    0x2022,
    0x00B6,
    0x00DF,
    0x00AE,
    0x00A9,
    0x2122,
    0x00B4,
    0x00A8,
    0x2260,
    0x00C6,
    0x00D8,
    0x221E,
    0x00B1,
    0x2264,
    0x2265,
    0x00A5,
    0x00B5,
    0x2202,
    0x2211,
    0x220F,
    0x03C0,
    0x222B,
    0x00AA,
    0x00BA,
    0x03A9,
    0x00E6,
    0x00F8,
    0x00BF,
    0x00A1,
    0x00AC,
    0x221A,
    0x0192,
    0x2248,
    0x2206,
    0x00AB,
    0x00BB,
    0x2026,
    0x00A0,
    0x00C0,
    0x00C3,
    0x00D5,
    0x0152,
    0x0153,
    0x2013,
    0x2014,
    0x201C,
    0x201D,
    0x2018,
    0x2019,
    0x00F7,
    0x25CA,
    0x00FF,
    0x0178,
    0x2044,
    0x20AC,
    0x2039,
    0x203A,
    0xFB01,
    0xFB02,
    0x2021,
    0x00B7,
    0x201A,
    0x201E,
    0x2030,
    0x00C2,
    0x00CA,
    0x00C1,
    0x00CB,
    0x00C8,
    0x00CD,
    0x00CE,
    0x00CF,
    0x00CC,
    0x00D3,
    0x00D4,
    0xF8FF,
    0x00D2,
    0x00DA,
    0x00DB,
    0x00D9,
    0x0131,
    0x02C6,
    0x02DC,
    0x00AF,
    0x02D8,
    0x02D9,
    0x02DA,
    0x00B8,
    0x02DD,
    0x02DB,
    0x02C7,
};

void appendUTF8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at `i`, advancing it; malformed bytes decode as U+FFFD one byte at a time.
uint32_t nextCodePoint(std::string_view s, size_t& i)
{
    auto b0 = uint8_t(s[i]);
    int length = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + size_t(length) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t cp = length == 1 ? b0 : length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (int k = 1; k < length; ++k) {
        auto b = uint8_t(s[i + size_t(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += size_t(length);
    return cp;
}

uint8_t romanByteFor(uint32_t cp)
{
    if (cp < 0x80)
        return uint8_t(cp);
    for (size_t k = 0; k < kRomanHigh.size(); ++k)
        if (kRomanHigh[k] == cp)
            return uint8_t(0x80 + k);
    return '?';
}

} // namespace

std::string MVUTF8FromRoman(std::string_view roman)
{
    std::string out;
    out.reserve(roman.size());
    for (char c : roman) {
        auto b = uint8_t(c);
        appendUTF8(out, b < 0x80 ? b : kRomanHigh[b - 0x80]);
    }
    return out;
}

std::string MVRomanFromUTF8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        out += char(romanByteFor(nextCodePoint(utf8, i)));
    return out;
}

uint32_t MVOSTypeForString(std::string_view text)
{
    if (text.empty())
        return 0;
    uint32_t code = 0;
    size_t i = 0;
    for (int k = 0; k < 4; ++k) {
        uint8_t b = i < text.size() ? romanByteFor(nextCodePoint(text, i)) : uint8_t(' ');
        code = (code << 8) | b;
    }
    return code;
}

std::string MVStringForOSType(uint32_t code)
{
    char bytes[4] = { char(code >> 24), char(code >> 16), char(code >> 8), char(code) };
    return MVUTF8FromRoman(std::string_view(bytes, 4));
}
