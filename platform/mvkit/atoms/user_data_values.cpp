#include "platform/mvkit/atoms/user_data_values.h"

#include "platform/mvkit/atoms/byte_io.h"

#include <algorithm>
#include <bit>

std::optional<uint16_t> MVPackedLanguage(const std::string& code)
{
    if (code.size() != 3)
        return std::nullopt;
    uint16_t packed = 0;
    for (char c : code) {
        if (c < 'a' || c > 'z')
            return std::nullopt;
        packed = uint16_t((packed << 5) | uint16_t(c - 0x60));
    }
    return packed;
}

std::optional<std::string> MVLanguageCodeFromPacked(uint16_t packed)
{
    if (packed < 0x400)
        return std::nullopt;
    std::string code;
    for (int shift = 10; shift >= 0; shift -= 5) {
        int c = (packed >> shift) & 0x1F;
        if (c < 1 || c > 26)
            return std::nullopt;
        code += char(c + 0x60);
    }
    return code;
}

std::optional<std::vector<MVInternationalText>> MVParseInternationalText(const MVBytes& data)
{
    std::vector<MVInternationalText> out;
    MVByteReader r(data);
    try {
        while (!r.atEnd()) {
            uint16_t size = r.u16();
            MVInternationalText t;
            t.language = r.u16();
            auto bytes = r.bytes(size);
            std::string text(bytes.begin(), bytes.end());
            t.text = t.language < 0x400 ? MVUTF8FromRoman(text) : text;
            out.push_back(std::move(t));
        }
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
    return out;
}

MVBytes MVSerializeInternationalText(const std::vector<MVInternationalText>& texts)
{
    MVByteWriter w;
    for (const auto& t : texts) {
        std::string bytes = t.language < 0x400 ? MVRomanFromUTF8(t.text) : t.text;
        if (bytes.size() > 0xFFFF)
            bytes.resize(0xFFFF);
        w.u16(uint16_t(bytes.size()));
        w.u16(t.language);
        w.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    return std::move(w.buffer());
}

std::string MVHandlerName(const MVHandler& handler)
{
    const auto& n = handler.name;
    if (n.empty())
        return {};
    // A counted string: the first byte is exactly the length of what follows (maybe with a NUL after).
    if (n[0] + 1u == n.size() || (n[0] + 2u == n.size() && n.back() == 0))
        return std::string(n.begin() + 1, n.begin() + 1 + n[0]);
    auto end = std::find(n.begin(), n.end(), uint8_t(0));
    return std::string(n.begin(), end);
}

MVMetadataValue MVMakeMetadataFloat32(float value)
{
    MVByteWriter w;
    w.u32(std::bit_cast<uint32_t>(value));
    return MVMetadataValue { 0, MVMetadataDataTypeFloat32BE, 0, std::move(w.buffer()) };
}

MVMetadataValue MVMakeMetadataUTF8(const std::string& text)
{
    return MVMetadataValue { 0, MVMetadataDataTypeUTF8, 0, MVBytes(text.begin(), text.end()) };
}

MVMetadataValue MVMakeMetadataSignedInteger(int64_t value)
{
    MVByteWriter w;
    if (value >= INT8_MIN && value <= INT8_MAX)
        w.u8(uint8_t(int8_t(value)));
    else if (value >= INT16_MIN && value <= INT16_MAX)
        w.s16(int16_t(value));
    else if (value >= INT32_MIN && value <= INT32_MAX)
        w.s32(int32_t(value));
    else
        w.s64(value);
    return MVMetadataValue { 0, MVMetadataDataTypeSignedIntegerBE, 0, std::move(w.buffer()) };
}

MVMetadataValue MVMakeMetadataBytes(const MVBytes& bytes)
{
    return MVMetadataValue { 0, MVMetadataDataTypeBinary, 0, bytes };
}

std::optional<float> MVMetadataFloat32(const MVMetadataValue& v)
{
    if (v.dataType != MVMetadataDataTypeFloat32BE || v.bytes.size() != 4)
        return std::nullopt;
    MVByteReader r(v.bytes);
    return std::bit_cast<float>(r.u32());
}

std::optional<double> MVMetadataFloat64(const MVMetadataValue& v)
{
    if (v.dataType != MVMetadataDataTypeFloat64BE || v.bytes.size() != 8)
        return std::nullopt;
    MVByteReader r(v.bytes);
    return std::bit_cast<double>(r.u64());
}

std::optional<int64_t> MVMetadataInteger(const MVMetadataValue& v)
{
    bool isSigned = v.dataType == MVMetadataDataTypeSignedIntegerBE;
    if ((!isSigned && v.dataType != MVMetadataDataTypeUnsignedIntegerBE) || v.bytes.empty()
        || v.bytes.size() > 8)
        return std::nullopt;
    uint64_t u = 0;
    for (auto b : v.bytes)
        u = (u << 8) | b;
    if (isSigned && v.bytes.size() < 8 && (v.bytes[0] & 0x80))
        u |= ~uint64_t(0) << (8 * v.bytes.size()); // sign-extend
    if (!isSigned && v.bytes.size() == 8 && u > uint64_t(INT64_MAX))
        return std::nullopt;
    return int64_t(u);
}

std::optional<std::string> MVMetadataString(const MVMetadataValue& v)
{
    if (v.dataType != MVMetadataDataTypeUTF8)
        return std::nullopt;
    return std::string(v.bytes.begin(), v.bytes.end());
}

MVMetadataKey MVMakeMetadataKey(const std::string& name)
{
    return MVMetadataKey { MVFourCC("mdta"), MVBytes(name.begin(), name.end()) };
}

MVMetadataKey MVMakeMetadataKey(uint32_t code)
{
    return MVMetadataKey { MVFourCC("udta"),
        { uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code) } };
}

MVMetadata MVMakeMetadataContainer()
{
    MVMetadata meta;
    meta.isFullAtom = false;
    meta.handler.componentSubtype = MVFourCC("mdta");
    return meta;
}

std::vector<MVChapterListEntry> MVChapterList(const MVUserData& userData)
{
    auto item = std::find_if(userData.items.begin(), userData.items.end(),
        [](const MVUserDataItem& i) { return i.type == MVFourCC("chpl"); });
    if (item == userData.items.end())
        return {};
    // Version and flags; version 1 has four more bytes before the count.
    const MVBytes& d = item->data;
    size_t at = 4 + (!d.empty() && d[0] == 1 ? 4 : 0);
    if (at >= d.size())
        return {};
    const size_t count = d[at++];
    std::vector<MVChapterListEntry> chapters;
    for (size_t i = 0; i < count; ++i) {
        if (at + 9 > d.size())
            return {};
        MVChapterListEntry entry;
        for (int k = 0; k < 8; ++k)
            entry.start = int64_t(uint64_t(entry.start) << 8 | d[at++]);
        const size_t length = d[at++];
        if (at + length > d.size() || entry.start < 0)
            return {};
        entry.title.assign(d.begin() + long(at), d.begin() + long(at + length));
        at += length;
        chapters.push_back(std::move(entry));
    }
    return chapters;
}
