#include "platform/mvkit/user_data.h"

#include "platform/mvkit/atoms/four_char_code.h"
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

std::optional<std::string> MVUserDataGetText(const MVUserData& userData, uint32_t type)
{
    auto data = MVUserDataGetItem(userData, type, 1);
    if (!data)
        return std::nullopt;
    auto texts = MVParseInternationalText(*data);
    if (!texts || texts->empty())
        return std::nullopt;
    return texts->front().text;
}

void MVUserDataSetText(MVUserData& userData, uint32_t type, const std::string& text, uint16_t language)
{
    std::vector<MVInternationalText> texts;
    if (auto data = MVUserDataGetItem(userData, type, 1))
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

std::map<std::string, std::string> MVUserDataAnnotations(const MVUserData& userData)
{
    std::map<std::string, std::string> out;
    for (auto type : MVUserDataTypes(userData)) {
        if (!isTextCode(type))
            continue;
        if (auto text = MVUserDataGetText(userData, type))
            out.emplace(MVStringForOSType(type), *text);
    }
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
