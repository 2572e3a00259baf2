#include "platform/basekit/fourcc.h"

#include "platform/basekit/strings.h"

#include <cstdio>

namespace {

bool isControl(uint8_t byte)
{
    return byte < 0x20 || byte == 0x7F;
}

std::optional<uint32_t> hexForm(std::string_view text)
{
    if (text.size() != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text.substr(2)) {
        int digit = c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'       ? c - 'a' + 10
            : c >= 'A' && c <= 'F'       ? c - 'A' + 10
                                         : -1;
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | uint32_t(digit);
    }
    return value;
}

} // namespace

uint32_t HXFourCharCode(std::string_view text)
{
    if (auto hex = hexForm(text))
        return *hex;
    // Character by character: the Halvern Roman byte, or '?' for a character (or an invalid byte)
    // that has none.
    std::string bytes;
    size_t pos = 0;
    while (bytes.size() < 4 && pos < text.size()) {
        size_t characters = 0;
        size_t start = pos;
        // One character: take its UTF-8 sequence length from the lead byte.
        uint8_t lead = static_cast<uint8_t>(text[pos]);
        size_t length = lead < 0x80 ? 1
            : (lead & 0xE0) == 0xC0 ? 2
            : (lead & 0xF0) == 0xE0 ? 3
            : (lead & 0xF8) == 0xF0 ? 4
                                    : 1;
        length = std::min(length, text.size() - pos);
        pos += length;
        std::string converted = HXString::dataUsingEncodingUpToFirstFailure(
            text.substr(start, length), HXStringEncoding::HalvernRoman, &characters);
        bytes += converted.size() == 1 ? converted : std::string("?");
    }
    while (bytes.size() < 4)
        bytes += ' ';
    uint32_t code = 0;
    for (char c : bytes)
        code = code << 8 | static_cast<uint8_t>(c);
    return code;
}

std::string HXStringFromFourCharCode(uint32_t code)
{
    uint8_t bytes[4] = { uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code) };
    for (uint8_t b : bytes) {
        if (isControl(b)) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%08X", code);
            return text;
        }
    }
    return *HXString::stringWithBytes(
        std::string_view(reinterpret_cast<const char*>(bytes), 4), HXStringEncoding::HalvernRoman);
}
