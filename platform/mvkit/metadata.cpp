#include "platform/mvkit/metadata.h"

#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/user_data.h"

#include <algorithm>
#include <map>

MVBytes MVMetadataKeyBytes(uint32_t code)
{
    return { uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code) };
}

uint32_t MVMetadataLocaleForIdentifier(const std::string& locale)
{
    // Language as a packed ISO 639-2/T code in the high half, the country's two letters in the low half.
    static const std::map<std::string, std::string> threeLetters
        = { { "en", "eng" }, { "fr", "fra" }, { "de", "deu" }, { "it", "ita" }, { "es", "spa" },
              { "nl", "nld" }, { "sv", "swe" }, { "da", "dan" }, { "pt", "por" }, { "fi", "fin" },
              { "ja", "jpn" }, { "zh", "zho" }, { "ko", "kor" }, { "no", "nor" }, { "nb", "nob" } };
    size_t cut = locale.find_first_of("_-");
    std::string language = locale.substr(0, cut);
    if (auto it = threeLetters.find(language); it != threeLetters.end())
        language = it->second;
    auto packed = MVPackedLanguage(language);
    if (!packed)
        return 0;
    uint32_t country = 0;
    if (cut != std::string::npos && locale.size() == cut + 3)
        country = (uint32_t(uint8_t(locale[cut + 1])) << 8) | uint8_t(locale[cut + 2]);
    return (uint32_t(*packed) << 16) | country;
}

static bool sameKey(const MVMetadataKey& a, const MVMetadataKey& b)
{
    // Items of a 'meta' without keys carry namespace 0; a code matches them whatever the namespace.
    return a.keyValue == b.keyValue
        && (a.keyNamespace == b.keyNamespace || a.keyNamespace == 0 || b.keyNamespace == 0);
}

int MVMetadataCountItems(const MVMetadata& metadata, const MVMetadataKey& key)
{
    return int(std::count_if(
        metadata.items.begin(), metadata.items.end(), [&key](auto& i) { return sameKey(i.key, key); }));
}

std::optional<MVMetadataValue> MVMetadataFirstValue(
    const MVMetadata& metadata, const MVMetadataKey& key, std::optional<uint32_t> dataType, uint32_t locale)
{
    for (auto& item : metadata.items) {
        if (!sameKey(item.key, key))
            continue;
        for (auto& v : item.values)
            if ((!dataType || v.dataType == *dataType)
                && (locale == 0 || v.locale == 0 || v.locale == locale))
                return v;
    }
    return std::nullopt;
}

void MVMetadataAddItem(MVMetadata& metadata, const MVMetadataKey& key, const MVMetadataValue& value)
{
    if (metadata.handler.componentSubtype == 0) {
        auto container = MVMakeMetadataContainer();
        container.items = std::move(metadata.items);
        metadata = std::move(container);
    }
    MVMetadataItem item;
    item.key = key;
    item.values.push_back(value);
    metadata.items.push_back(std::move(item));
}

int MVMetadataRemoveItems(MVMetadata& metadata, const MVMetadataKey& key, uint32_t locale)
{
    int removed = 0;
    for (auto& item : metadata.items) {
        if (!sameKey(item.key, key))
            continue;
        removed += int(
            std::erase_if(item.values, [locale](auto& v) { return locale == 0 || v.locale == locale; }));
    }
    std::erase_if(metadata.items, [](auto& i) { return i.values.empty() && i.otherChildren.empty(); });
    return removed;
}

void MVMetadataSetItem(MVMetadata& metadata, const MVMetadataKey& key, const MVMetadataValue& value)
{
    MVMetadataRemoveItems(metadata, key, value.locale);
    MVMetadataAddItem(metadata, key, value);
}

void MVMetadataRemoveAll(MVMetadata& metadata)
{
    metadata.items.clear();
}

static MVMetadataKey keyFor(uint32_t keyFormat, const MVBytes& key)
{
    MVMetadataKey k;
    k.keyNamespace = keyFormat == MVMetadataKeyFormatReverseDNS ? MVFourCC("mdta") : MVFourCC("udta");
    k.keyValue = key;
    return k;
}

static uint32_t codeOf(const MVBytes& key)
{
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i)
        code = (code << 8) | (i < key.size() ? key[i] : uint8_t(' '));
    return code;
}

std::optional<std::string> MVAnnotationValue(const MVUserData& userData, const MVMetadata& metadata,
    uint32_t storage, uint32_t keyFormat, const MVBytes& key)
{
    if ((storage == MVMetadataStorageAny || storage == MVMetadataStorageUserData)
        && keyFormat != MVMetadataKeyFormatReverseDNS) {
        if (auto text = MVUserDataGetText(userData, codeOf(key)))
            return text;
    }
    if (storage == MVMetadataStorageAny || storage == MVMetadataStorageMetadata) {
        if (auto v = MVMetadataFirstValue(metadata, keyFor(keyFormat, key), MVMetadataDataTypeUTF8))
            return MVMetadataString(*v);
    }
    return std::nullopt;
}

void MVSetAnnotation(MVUserData& userData, MVMetadata& metadata, uint32_t storage, uint32_t keyFormat,
    const MVBytes& key, const std::string& locale, const std::string& text)
{
    if (text.empty()) {
        MVRemoveAnnotation(userData, metadata, storage, keyFormat, key, locale);
        return;
    }
    if (storage == MVMetadataStorageUserData && keyFormat != MVMetadataKeyFormatReverseDNS)
        MVUserDataSetText(userData, codeOf(key), text, MVLanguageForLocale(locale));
    if (storage == MVMetadataStorageMetadata) {
        auto value = MVMakeMetadataUTF8(text);
        value.locale = MVMetadataLocaleForIdentifier(locale);
        MVMetadataSetItem(metadata, keyFor(keyFormat, key), value);
    }
}

void MVRemoveAnnotation(MVUserData& userData, MVMetadata& metadata, uint32_t storage, uint32_t keyFormat,
    const MVBytes& key, const std::string& locale)
{
    if ((storage == MVMetadataStorageAny || storage == MVMetadataStorageUserData)
        && keyFormat != MVMetadataKeyFormatReverseDNS)
        MVUserDataSetText(userData, codeOf(key), {}, MVLanguageForLocale(locale));
    if (storage == MVMetadataStorageAny || storage == MVMetadataStorageMetadata)
        MVMetadataRemoveItems(metadata, keyFor(keyFormat, key), MVMetadataLocaleForIdentifier(locale));
}
