#include "platform/mvkit/sample_text_description.h"

#include "platform/mvkit/media.h"

namespace {

class In {
public:
    explicit In(const MVBytes& b, size_t pos = 0)
        : _b(b)
        , _pos(pos)
    {
    }
    bool has(size_t n) const { return _pos <= _b.size() && n <= _b.size() - _pos; }
    uint64_t be(int n)
    {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 8) | _b[_pos++];
        return v;
    }
    uint8_t u8() { return _b[_pos++]; }
    size_t pos() const { return _pos; }
    std::string text(size_t n)
    {
        std::string s(_b.begin() + long(_pos), _b.begin() + long(_pos + n));
        _pos += n;
        return s;
    }
    MVBytes rest() { return { _b.begin() + long(std::min(_pos, _b.size())), _b.end() }; }

private:
    const MVBytes& _b;
    size_t _pos;
};

void put(MVBytes& out, uint64_t v, int n)
{
    for (int i = n - 1; i >= 0; --i)
        out.push_back(uint8_t(v >> (8 * i)));
}

MVBytes header(uint32_t format, uint16_t dataReferenceIndex)
{
    MVBytes out;
    put(out, 0, 4); // size, set at the end
    put(out, format, 4);
    put(out, 0, 6);
    put(out, dataReferenceIndex, 2);
    return out;
}

void finish(MVBytes& out)
{
    uint32_t size = uint32_t(out.size());
    for (int i = 0; i < 4; ++i)
        out[size_t(i)] = uint8_t(size >> (24 - 8 * i));
}

std::optional<In> open(const MVBytes& d, uint32_t format, size_t fixed)
{
    auto desc = MVSampleDescriptionFromBytes(d);
    if (!desc || desc->format != format || d.size() < fixed)
        return std::nullopt;
    return In(d, 16);
}

} // namespace

std::optional<MVTextSampleDescription> MVParseTextSampleDescription(const MVBytes& d)
{
    auto in = open(d, MVTextSampleDescriptionFormat, 58);
    if (!in)
        return std::nullopt;
    MVTextSampleDescription t;
    t.dataReferenceIndex = uint16_t((d[14] << 8) | d[15]);
    t.displayFlags = uint32_t(in->be(4));
    t.textJustification = int32_t(in->be(4));
    for (auto& c : t.backgroundColor)
        c = uint16_t(in->be(2));
    t.defaultTextBox = { int16_t(in->be(2)), int16_t(in->be(2)), int16_t(in->be(2)), int16_t(in->be(2)) };
    for (auto& r : t.reserved)
        r = in->u8();
    t.fontNumber = uint16_t(in->be(2));
    t.fontFace = in->u8();
    t.reserved2 = in->u8();
    t.fontSize = uint16_t(in->be(2));
    for (auto& c : t.foregroundColor)
        c = uint16_t(in->be(2));
    if (in->has(1)) {
        size_t n = in->u8();
        if (in->has(n))
            t.fontName = in->text(n);
    }
    t.trailing = in->rest();
    return t;
}

MVBytes MVSerializeTextSampleDescription(const MVTextSampleDescription& t)
{
    MVBytes out = header(MVTextSampleDescriptionFormat, t.dataReferenceIndex);
    put(out, t.displayFlags, 4);
    put(out, uint32_t(t.textJustification), 4);
    for (auto c : t.backgroundColor)
        put(out, c, 2);
    for (auto v :
        { t.defaultTextBox.top, t.defaultTextBox.left, t.defaultTextBox.bottom, t.defaultTextBox.right })
        put(out, uint16_t(v), 2);
    out.insert(out.end(), t.reserved.begin(), t.reserved.end());
    put(out, t.fontNumber, 2);
    out.push_back(t.fontFace);
    out.push_back(t.reserved2);
    put(out, t.fontSize, 2);
    for (auto c : t.foregroundColor)
        put(out, c, 2);
    std::string name = t.fontName.substr(0, 255);
    out.push_back(uint8_t(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), t.trailing.begin(), t.trailing.end());
    finish(out);
    return out;
}

std::optional<MVText3GSampleDescription> MVParseText3GSampleDescription(const MVBytes& d)
{
    auto in = open(d, MVText3GSampleDescriptionFormat, 46);
    if (!in)
        return std::nullopt;
    MVText3GSampleDescription t;
    t.dataReferenceIndex = uint16_t((d[14] << 8) | d[15]);
    t.displayFlags = uint32_t(in->be(4));
    t.horizontalJustification = int8_t(in->u8());
    t.verticalJustification = int8_t(in->u8());
    for (auto& c : t.backgroundColor)
        c = in->u8();
    t.defaultTextBox = { int16_t(in->be(2)), int16_t(in->be(2)), int16_t(in->be(2)), int16_t(in->be(2)) };
    t.startChar = uint16_t(in->be(2));
    t.endChar = uint16_t(in->be(2));
    t.fontID = uint16_t(in->be(2));
    t.fontFace = in->u8();
    t.fontSize = in->u8();
    for (auto& c : t.foregroundColor)
        c = in->u8();
    t.fontTable.clear();
    if (in->has(10)) {
        size_t start = in->pos();
        uint32_t size = uint32_t(in->be(4));
        uint32_t type = uint32_t(in->be(4));
        if (type == MVFourCC("ftab") && size >= 10 && size <= d.size() - start) {
            uint16_t count = uint16_t(in->be(2));
            for (uint16_t i = 0; i < count && in->pos() + 3 <= start + size; ++i) {
                MVText3GFontEntry e;
                e.fontID = uint16_t(in->be(2));
                size_t n = in->u8();
                if (in->pos() + n > start + size)
                    break;
                e.name = in->text(n);
                t.fontTable.push_back(e);
            }
            In after(d, start + size);
            t.trailing = after.rest();
        } else {
            In after(d, start);
            t.trailing = after.rest();
        }
    }
    return t;
}

MVBytes MVSerializeText3GSampleDescription(const MVText3GSampleDescription& t)
{
    MVBytes out = header(MVText3GSampleDescriptionFormat, t.dataReferenceIndex);
    put(out, t.displayFlags, 4);
    out.push_back(uint8_t(t.horizontalJustification));
    out.push_back(uint8_t(t.verticalJustification));
    out.insert(out.end(), t.backgroundColor.begin(), t.backgroundColor.end());
    for (auto v :
        { t.defaultTextBox.top, t.defaultTextBox.left, t.defaultTextBox.bottom, t.defaultTextBox.right })
        put(out, uint16_t(v), 2);
    put(out, t.startChar, 2);
    put(out, t.endChar, 2);
    put(out, t.fontID, 2);
    out.push_back(t.fontFace);
    out.push_back(t.fontSize);
    out.insert(out.end(), t.foregroundColor.begin(), t.foregroundColor.end());
    size_t ftab = out.size();
    put(out, 0, 4);
    put(out, MVFourCC("ftab"), 4);
    put(out, t.fontTable.size(), 2);
    for (auto& e : t.fontTable) {
        std::string name = e.name.substr(0, 255);
        put(out, e.fontID, 2);
        out.push_back(uint8_t(name.size()));
        out.insert(out.end(), name.begin(), name.end());
    }
    uint32_t ftabSize = uint32_t(out.size() - ftab);
    for (int i = 0; i < 4; ++i)
        out[ftab + size_t(i)] = uint8_t(ftabSize >> (24 - 8 * i));
    out.insert(out.end(), t.trailing.begin(), t.trailing.end());
    finish(out);
    return out;
}

MVBytes MVMakeTextSample(const std::string& text, const MVBytes& atoms)
{
    std::string clipped = text.substr(0, 0xFFFF);
    MVBytes out;
    out.reserve(2 + clipped.size() + atoms.size());
    put(out, clipped.size(), 2);
    out.insert(out.end(), clipped.begin(), clipped.end());
    out.insert(out.end(), atoms.begin(), atoms.end());
    return out;
}

std::optional<std::string> MVTextSampleString(const MVBytes& sample)
{
    if (sample.size() < 2)
        return std::nullopt;
    size_t length = (size_t(sample[0]) << 8) | sample[1];
    if (length > sample.size() - 2)
        return std::nullopt;
    return std::string(sample.begin() + 2, sample.begin() + 2 + long(length));
}

std::optional<MVBytes> MVTextSampleAtom(const MVBytes& sample, uint32_t type)
{
    if (sample.size() < 2)
        return std::nullopt;
    size_t pos = 2 + ((size_t(sample[0]) << 8) | sample[1]);
    while (pos < sample.size() && sample.size() - pos >= 8) {
        In in(sample, pos);
        uint32_t size = uint32_t(in.be(4));
        uint32_t atomType = uint32_t(in.be(4));
        if (size < 8 || size > sample.size() - pos)
            return std::nullopt;
        if (atomType == type)
            return MVBytes(sample.begin() + long(pos), sample.begin() + long(pos + size));
        pos += size;
    }
    return std::nullopt;
}
