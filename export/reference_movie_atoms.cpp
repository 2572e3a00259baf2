#include "export/reference_movie_atoms.h"

#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/data_reference.h"

#include <limits>

namespace {

constexpr uint32_t kCellumaSoftwarePackage = MVFourCC("mobi");

// A number that fits a 32-bit signed integer, as the atoms store it.
std::optional<int32_t> int32Value(const HXPropertyList& value)
{
    if (!value.isNumber())
        return std::nullopt;
    double v = value.isInteger() ? double(value.integerValue()) : value.realValue();
    if (!(v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()))
        return std::nullopt;
    return int32_t(v);
}

HXPropertyList leaf(uint32_t type, MVByteWriter& payload)
{
    return MVPMovieAtomDictionaryCreate(type, HXData(std::move(payload.buffer())));
}

// The location as a 'url ' reference: the text in ASCII ('?' for anything else) and a NUL.
std::vector<uint8_t> asciiReference(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size();) {
        auto c = uint8_t(text[i]);
        if (c < 0x80) {
            bytes.push_back(c);
            ++i;
            continue;
        }
        // One '?' per character: skip the continuation bytes of the UTF-8 sequence.
        bytes.push_back('?');
        ++i;
        while (i < text.size() && (uint8_t(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    bytes.push_back(0);
    return bytes;
}

bool recursiveMovieAtomDataCreateFromDictionary(const HXPropertyList& node, MVByteWriter& out)
{
    const auto& type = node[MVPAtomTypeKey];
    const auto& contents = node[MVPAtomContentsKey];
    auto code = int32Value(type);
    if (!node.isDictionary() || !type.isInteger() || !code || contents.isNull())
        return false;
    if (contents.isData()) {
        const auto& payload = contents.dataValue().bytes;
        size_t start = out.beginAtom(uint32_t(*code));
        out.bytes(payload);
        out.endAtom(start);
        return true;
    }
    if (!contents.isArray())
        return false;
    size_t start = out.beginAtom(uint32_t(*code));
    for (const auto& child : contents.arrayValue()) {
        size_t before = out.size();
        if (!recursiveMovieAtomDataCreateFromDictionary(child, out))
            out.buffer().resize(before); // a child that fails adds nothing
    }
    out.endAtom(start);
    return true;
}

} // namespace

HXPropertyList MVPMovieAtomDictionaryCreate(uint32_t type, HXPropertyList contents)
{
    return HXPropertyList::Dictionary {
        { MVPAtomTypeKey, int64_t(int32_t(type)) },
        { MVPAtomContentsKey, std::move(contents) },
    };
}

std::shared_ptr<HXPropertyList> MVPRefMovieDictionaryCreateEmpty(HXPropertyList::Array** outRecords)
{
    auto rmra = MVPMovieAtomDictionaryCreate(MVFourCC("rmra"), HXPropertyList::Array {});
    auto tree = std::make_shared<HXPropertyList>(
        MVPMovieAtomDictionaryCreate(MVFourCC("moov"), HXPropertyList::Array { std::move(rmra) }));
    if (outRecords) {
        auto& moovChildren = tree->mutableDictionary()[MVPAtomContentsKey].mutableArray();
        *outRecords = &moovChildren.front().mutableDictionary()[MVPAtomContentsKey].mutableArray();
    }
    return tree;
}

std::optional<HXPropertyList> MVPRefMovieDescriptorDictionaryCreateWithAttributes(
    const HXPropertyList::Dictionary& attributes, const std::optional<HXURL>& url)
{
    HXPropertyList::Array children;
    uint32_t referenceType = 0;
    std::vector<uint8_t> reference;
    if (url) {
        auto dataReference = url->isFileURL() ? MVDataReference::dataReferenceWithReferenceToFile(url->path())
                                              : MVDataReference::dataReferenceWithReferenceToURL(*url);
        reference = dataReference.dataReference();
        referenceType = dataReference.dataReferenceType();
        if (reference.empty())
            return std::nullopt;
    } else {
        auto found = attributes.find("URL");
        if (found == attributes.end() || !found->second.isString())
            return std::nullopt;
        reference = asciiReference(found->second.stringValue());
        referenceType = MVFourCC("url ");
    }

    MVByteWriter rdrf;
    rdrf.u32(0); // flags
    rdrf.u32(referenceType);
    rdrf.u32(uint32_t(reference.size()));
    rdrf.bytes(reference);
    children.push_back(leaf(MVFourCC("rdrf"), rdrf));

    if (auto rate = attributes.find("dataRate"); rate != attributes.end()) {
        if (auto value = int32Value(rate->second)) {
            MVByteWriter rmdr;
            rmdr.u32(0);
            rmdr.s32(*value);
            children.push_back(leaf(MVFourCC("rmdr"), rmdr));
        }
    }
    if (auto version = attributes.find("version"); version != attributes.end() && version->second.isString()
        && version->second.stringValue() == "Celluma") {
        MVByteWriter rmvc;
        rmvc.u32(0);
        rmvc.u32(kCellumaSoftwarePackage);
        rmvc.u32(1); // version
        rmvc.u32(1); // mask
        rmvc.u16(1); // check type
        children.push_back(leaf(MVFourCC("rmvc"), rmvc));
    }
    return MVPMovieAtomDictionaryCreate(MVFourCC("rmda"), std::move(children));
}

std::optional<HXData> MVPMovieAtomDataCreateFromDictionary(const HXPropertyList& root)
{
    MVByteWriter out;
    try {
        if (!recursiveMovieAtomDataCreateFromDictionary(root, out))
            return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt; // larger than a 32-bit atom size can say
    }
    return HXData(std::move(out.buffer()));
}

std::string MVPRefMovieCreateFullyEscapedURLString(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        auto c = uint8_t(ch);
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}
