#include "platform/mvkit/user_data.h"

#include "platform/mvkit/atoms/byte_io.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/user_data_values.h"

#include <algorithm>

int MVUserDataCountItems(const MVUserData& userData, uint32_t type)
{
    return int(std::count_if(
        userData.items.begin(), userData.items.end(), [type](auto& i) { return i.type == type; }));
}

std::vector<uint32_t> MVUserDataTypes(const MVUserData& userData)
{
    std::vector<uint32_t> types;
    for (auto& item : userData.items)
        if (std::find(types.begin(), types.end(), item.type) == types.end())
            types.push_back(item.type);
    return types;
}

static std::vector<MVUserDataItem>::iterator findItem(MVUserData& userData, uint32_t type, int index)
{
    int seen = 0;
    for (auto it = userData.items.begin(); it != userData.items.end(); ++it)
        if (it->type == type && ++seen == index)
            return it;
    return userData.items.end();
}

std::optional<MVBytes> MVUserDataGetItem(const MVUserData& userData, uint32_t type, int index)
{
    auto it = findItem(const_cast<MVUserData&>(userData), type, index);
    if (it == userData.items.end())
        return std::nullopt;
    return it->data;
}

void MVUserDataAddItem(MVUserData& userData, uint32_t type, const MVBytes& data)
{
    auto last = std::find_if(
        userData.items.rbegin(), userData.items.rend(), [type](auto& i) { return i.type == type; });
    userData.items.insert(last == userData.items.rend() ? userData.items.end() : last.base(), { type, data });
}

bool MVUserDataSetItem(MVUserData& userData, uint32_t type, int index, const MVBytes& data)
{
    auto it = findItem(userData, type, index);
    if (it != userData.items.end()) {
        it->data = data;
        return true;
    }
    if (index == MVUserDataCountItems(userData, type) + 1) {
        MVUserDataAddItem(userData, type, data);
        return true;
    }
    return false;
}

bool MVUserDataRemoveItem(MVUserData& userData, uint32_t type, int index)
{
    auto it = findItem(userData, type, index);
    if (it == userData.items.end())
        return false;
    userData.items.erase(it);
    return true;
}

static bool isTextCode(uint32_t type)
{
    return (type >> 24) == MVCopyrightSignByte;
}

namespace {

constexpr uint32_t kFullName = 0xA96E616D; // ©nam
constexpr uint32_t kAuthor = 0xA9617574; // ©aut
constexpr uint32_t kPerformers = 0xA9707266; // ©prf
constexpr uint32_t kGenre = 0xA967656E; // ©gen
constexpr uint32_t kDescription = 0xA9646573; // ©des
constexpr uint32_t kCopyright = 0xA9637079; // ©cpy
constexpr uint32_t kAlbum = 0xA9616C62; // ©alb
constexpr uint32_t kSoftware = 0xA9737772; // ©swr

// MPEG-4 and M4A files keep their texts in the item list of a 'meta' inside the user data, mostly
// under the classic codes; these few go by other codes there.
struct Alias {
    uint32_t classic;
    uint32_t other;
};
constexpr Alias kItemListCodes[] = {
    { kCopyright, MVFourCC("cprt") }, { kDescription, MVFourCC("desc") }, { kSoftware, 0xA9746F6F }, // ©too
};
// 3GPP files keep them in boxes of their own, with a language and a UTF-8 text.
constexpr Alias kBoxCodes[] = {
    { kFullName, MVFourCC("titl") },
    { kAuthor, MVFourCC("auth") },
    { kPerformers, MVFourCC("perf") },
    { kGenre, MVFourCC("gnre") },
    { kDescription, MVFourCC("dscp") },
    { kCopyright, MVFourCC("cprt") },
    { kAlbum, MVFourCC("albm") },
};

uint32_t itemListCode(uint32_t classic)
{
    for (const auto& a : kItemListCodes)
        if (a.classic == classic)
            return a.other;
    return classic;
}

uint32_t classicCodeOfItem(uint32_t code)
{
    for (const auto& a : kItemListCodes)
        if (a.other == code)
            return a.classic;
    return code;
}

std::optional<uint32_t> boxCode(uint32_t classic)
{
    for (const auto& a : kBoxCodes)
        if (a.classic == classic)
            return a.other;
    return std::nullopt;
}

// The user data's 'meta' item list; nothing when there is none or it cannot be read.
std::optional<MVMetadata> itemList(const MVUserData& userData)
{
    auto data = MVUserDataGetItem(userData, MVFourCC("meta"), 1);
    if (!data)
        return std::nullopt;
    try {
        return MVParseMetadata(*data);
    } catch (const MVMalformedAtom&) {
        return std::nullopt;
    }
}

uint32_t codeOfKey(const MVMetadataKey& key)
{
    if (key.keyNamespace == MVFourCC("mdta") || key.keyValue.size() != 4)
        return 0;
    return (uint32_t(key.keyValue[0]) << 24) | (uint32_t(key.keyValue[1]) << 16)
        | (uint32_t(key.keyValue[2]) << 8) | key.keyValue[3];
}

std::optional<std::string> itemListText(const MVMetadata& list, uint32_t code)
{
    for (const auto& item : list.items) {
        if (codeOfKey(item.key) != code)
            continue;
        for (const auto& value : item.values)
            if (value.dataType == MVMetadataDataTypeUTF8)
                return MVMetadataString(value);
    }
    return std::nullopt;
}

// Sets (or, with an empty text, removes) the item list's text under `code`; false when the list has no
// such item, and then nothing changes.
bool setItemListText(MVUserData& userData, uint32_t code, const std::string& text)
{
    auto list = itemList(userData);
    if (!list || !itemListText(*list, code))
        return false;
    if (text.empty()) {
        std::erase_if(list->items, [code](const MVMetadataItem& i) { return codeOfKey(i.key) == code; });
    } else {
        for (auto& item : list->items) {
            if (codeOfKey(item.key) != code)
                continue;
            std::erase_if(
                item.values, [](const MVMetadataValue& v) { return v.dataType == MVMetadataDataTypeUTF8; });
            item.values.insert(item.values.begin(), MVMakeMetadataUTF8(text));
            break;
        }
    }
    MVBytes atom = MVSerializeMetadataAtom(*list);
    const size_t header
        = atom.size() >= 4 && atom[0] == 0 && atom[1] == 0 && atom[2] == 0 && atom[3] == 1 ? 16 : 8;
    MVUserDataSetItem(userData, MVFourCC("meta"), 1, MVBytes(atom.begin() + ptrdiff_t(header), atom.end()));
    return true;
}

// A 3GPP text box: version and flags, a packed language, then the text up to a zero byte (an album box
// may follow it with a track number).
constexpr size_t kBoxTextStart = 6;

std::optional<std::string> boxText(const MVBytes& box)
{
    if (box.size() <= kBoxTextStart
        || (box[kBoxTextStart] == 0xFE && box.size() > kBoxTextStart + 1 && box[kBoxTextStart + 1] == 0xFF))
        return std::nullopt; // empty, or UTF-16, which no writer of these files uses for these boxes
    auto begin = box.begin() + kBoxTextStart;
    return std::string(begin, std::find(begin, box.end(), uint8_t(0)));
}

bool setBoxText(MVUserData& userData, uint32_t classic, const std::string& text)
{
    auto code = boxCode(classic);
    auto box = code ? MVUserDataGetItem(userData, *code, 1) : std::nullopt;
    if (!box || !boxText(*box))
        return false;
    if (text.empty()) {
        MVUserDataRemoveItem(userData, *code, 1);
        return true;
    }
    auto end = std::find(box->begin() + kBoxTextStart, box->end(), uint8_t(0));
    MVBytes updated;
    updated.reserve(box->size() + text.size() + 1);
    updated.assign(box->begin(), box->begin() + kBoxTextStart);
    for (char c : text)
        updated.push_back(uint8_t(c));
    updated.push_back(0);
    if (end != box->end())
        updated.insert(updated.end(), end + 1, box->end());
    MVUserDataSetItem(userData, *code, 1, updated);
    return true;
}

std::optional<std::string> classicText(const MVUserData& userData, uint32_t type)
{
    auto data = MVUserDataGetItem(userData, type, 1);
    if (!data)
        return std::nullopt;
    auto texts = MVParseInternationalText(*data);
    if (!texts || texts->empty())
        return std::nullopt;
    return texts->front().text;
}

} // namespace

std::optional<std::string> MVUserDataGetText(const MVUserData& userData, uint32_t type)
{
    if (auto text = classicText(userData, type))
        return text;
    if (!isTextCode(type))
        return std::nullopt;
    if (auto list = itemList(userData))
        if (auto text = itemListText(*list, itemListCode(type)))
            return text;
    if (auto code = boxCode(type))
        if (auto box = MVUserDataGetItem(userData, *code, 1))
            return boxText(*box);
    return std::nullopt;
}

void MVUserDataSetText(MVUserData& userData, uint32_t type, const std::string& text, uint16_t language)
{
    // A text kept by other writers in their own places is changed there too, so that no other program
    // reads the old one; a text removed is removed from every place.
    bool elsewhere = false;
    if (isTextCode(type)) {
        elsewhere |= setItemListText(userData, itemListCode(type), text);
        elsewhere |= setBoxText(userData, type, text);
    }
    auto data = MVUserDataGetItem(userData, type, 1);
    if (!data && elsewhere)
        return;
    std::vector<MVInternationalText> texts;
    if (data)
        if (auto parsed = MVParseInternationalText(*data))
            texts = *parsed;
    std::erase_if(texts, [language](auto& t) { return t.language == language; });
    if (!text.empty())
        texts.insert(texts.begin(), { language, text });
    if (texts.empty()) {
        MVUserDataRemoveItem(userData, type, 1);
        return;
    }
    MVUserDataSetItem(userData, type, 1, MVSerializeInternationalText(texts));
}

void MVUserDataRemoveText(MVUserData& userData, uint32_t type)
{
    while (MVUserDataRemoveItem(userData, type, 1)) { }
    MVUserDataSetText(userData, type, {});
}

std::map<std::string, std::string> MVUserDataAnnotations(const MVUserData& userData)
{
    std::map<std::string, std::string> out;
    for (auto type : MVUserDataTypes(userData)) {
        if (!isTextCode(type))
            continue;
        if (auto text = classicText(userData, type))
            out.emplace(MVStringForOSType(type), *text);
    }
    if (auto list = itemList(userData)) {
        for (const auto& item : list->items) {
            uint32_t classic = classicCodeOfItem(codeOfKey(item.key));
            if (isTextCode(classic))
                if (auto text = itemListText(*list, codeOfKey(item.key)))
                    out.emplace(MVStringForOSType(classic), *text);
        }
    }
    for (const auto& a : kBoxCodes)
        if (auto box = MVUserDataGetItem(userData, a.other, 1))
            if (auto text = boxText(*box))
                out.emplace(MVStringForOSType(a.classic), *text);
    return out;
}

uint16_t MVLanguageForLocale(const std::string& locale)
{
    static const std::map<std::string, uint16_t> classic
        = { { "en", 0 }, { "fr", 1 }, { "de", 2 }, { "it", 3 }, { "nl", 4 }, { "sv", 5 }, { "es", 6 },
              { "da", 7 }, { "pt", 8 }, { "nb", 9 }, { "no", 9 }, { "he", 10 }, { "ja", 11 }, { "ar", 12 },
              { "fi", 13 }, { "el", 14 }, { "is", 15 }, { "tr", 17 }, { "zh", 19 }, { "ko", 23 } };
    std::string language = locale.substr(0, locale.find_first_of("_-"));
    if (auto it = classic.find(language); it != classic.end())
        return it->second;
    if (auto packed = MVPackedLanguage(language))
        return *packed;
    return 0;
}
