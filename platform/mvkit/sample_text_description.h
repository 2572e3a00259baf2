#pragma once
// Typed sample descriptions of text media — classic text ('text') and timed text ('tx3g') — and the
// bytes of a text sample.
//
// Both descriptions are read from and written to the stored form of a whole description (size, format,
// reserved, data reference index, then the fields), big-endian. Offsets from the start of the description:
//
// 'text':  16 display flags (4), 20 justification (4, signed), 24 background colour (red, green, blue,
//          2 each), 30 default text box (top, left, bottom, right, 2 each, signed), 38 reserved (8),
//          46 font number (2), 48 style bits (1), 49 reserved (1), 50 font size (2), 52 foreground colour
//          (6), 58 font name (a counted string).
// 'tx3g':  16 display flags (4), 20 horizontal justification (1, signed), 21 vertical justification (1,
//          signed), 22 background colour (red, green, blue, alpha, 1 each), 26 default text box (8),
//          34 start char (2), 36 end char (2), 38 font ID (2), 40 style bits (1), 41 font size (1),
//          42 foreground colour (4), 46 'ftab' atom: size (4), type (4), entry count (2), entries of
//          font ID (2), name length (1), name.
//
// A text sample: the text's length in bytes (2, unsigned), the text, then atoms (size counting the
// 8-byte header, type, data) such as 'hlit', 'hclr', 'drpo', 'drpt', 'dlay', 'encd'.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t MVTextSampleDescriptionFormat = MVFourCC("text");
inline constexpr uint32_t MVText3GSampleDescriptionFormat = MVFourCC("tx3g");

struct MVTextBox {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const MVTextBox&) const = default;
};

struct MVTextSampleDescription {
    uint32_t displayFlags = 0;
    int32_t textJustification = 0;
    std::array<uint16_t, 3> backgroundColor {}; // red, green, blue
    MVTextBox defaultTextBox;
    std::array<uint8_t, 8> reserved {};
    uint16_t fontNumber = 0;
    uint8_t fontFace = 0;
    uint8_t reserved2 = 0;
    uint16_t fontSize = 12;
    std::array<uint16_t, 3> foregroundColor { 0xFFFF, 0xFFFF, 0xFFFF };
    std::string fontName;
    MVBytes trailing; // anything after the font name, kept
    uint16_t dataReferenceIndex = 1;
    bool operator==(const MVTextSampleDescription&) const = default;
};

struct MVText3GFontEntry {
    uint16_t fontID = 1;
    std::string name;
    bool operator==(const MVText3GFontEntry&) const = default;
};

struct MVText3GSampleDescription {
    uint32_t displayFlags = 0;
    int8_t horizontalJustification = 1; // centred
    int8_t verticalJustification = -1; // bottom
    std::array<uint8_t, 4> backgroundColor { 0, 0, 0, 0 };
    MVTextBox defaultTextBox;
    uint16_t startChar = 0;
    uint16_t endChar = 0;
    uint16_t fontID = 1;
    uint8_t fontFace = 0;
    uint8_t fontSize = 18;
    std::array<uint8_t, 4> foregroundColor { 0xFF, 0xFF, 0xFF, 0xFF };
    std::vector<MVText3GFontEntry> fontTable { { 1, "Sans" } };
    MVBytes trailing; // atoms after the font table, kept
    uint16_t dataReferenceIndex = 1;
    bool operator==(const MVText3GSampleDescription&) const = default;
};

// Nothing when the bytes are of another format or too short for the fixed fields.
std::optional<MVTextSampleDescription> MVParseTextSampleDescription(const MVBytes& description);
std::optional<MVText3GSampleDescription> MVParseText3GSampleDescription(const MVBytes& description);
MVBytes MVSerializeTextSampleDescription(const MVTextSampleDescription& description);
MVBytes MVSerializeText3GSampleDescription(const MVText3GSampleDescription& description);

// A text sample holding `text` (UTF-8) and, after it, `atoms` (whole atoms, headers included).
MVBytes MVMakeTextSample(const std::string& text, const MVBytes& atoms = {});
// The text of a sample; nothing when its length field runs past the sample.
std::optional<std::string> MVTextSampleString(const MVBytes& sample);
// The first atom of `type` after the text (header included); nothing when absent. The walk stops at an
// atom smaller than its header or running past the end.
std::optional<MVBytes> MVTextSampleAtom(const MVBytes& sample, uint32_t type);
