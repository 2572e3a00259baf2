#pragma once
// Metadata items of a movie or a track ('meta' with keys): counted, read, added and removed by key
// (namespace and bytes), data type and locale; and the annotation calls that read, write and remove one
// text item in the user-data storage ('udta'), the metadata storage ('mdta') or either.
//
// These work on MVMovie::metadata() / MVTrack::metadata() (and userData()); the caller marks the movie
// changed after changing them.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t MVMetadataStorageAny = 0;
inline constexpr uint32_t MVMetadataStorageUserData = MVFourCC("udta");
inline constexpr uint32_t MVMetadataStorageMetadata = MVFourCC("mdta");
// Key formats.
inline constexpr uint32_t MVMetadataKeyFormatUserData = MVFourCC("udta"); // a four-char code
inline constexpr uint32_t MVMetadataKeyFormatReverseDNS = MVFourCC("mdta"); // "com.example.key"
inline constexpr uint32_t MVMetadataKeyFormatCommon = MVFourCC("comn"); // a four-char code, both storages

// A locale in a 'data' atom's locale field: 0 for any (an empty or unknown identifier); else the
// language as a packed ISO 639-2/T code in the high 16 bits and the country's two letters in the low 16.
uint32_t MVMetadataLocaleForIdentifier(const std::string& locale);

int MVMetadataCountItems(const MVMetadata& metadata, const MVMetadataKey& key);
// The first value of `key` of `dataType` (any type when nullopt) for `locale` (0: any).
std::optional<MVMetadataValue> MVMetadataFirstValue(const MVMetadata& metadata, const MVMetadataKey& key,
    std::optional<uint32_t> dataType = std::nullopt, uint32_t locale = 0);
// Adds an item (a new 'meta' gets the 'mdta' handler first).
void MVMetadataAddItem(MVMetadata& metadata, const MVMetadataKey& key, const MVMetadataValue& value);
// Replaces every value of `key` for `locale` with `value`.
void MVMetadataSetItem(MVMetadata& metadata, const MVMetadataKey& key, const MVMetadataValue& value);
// Removes the items of `key` (only the values of `locale` when it is not 0); answers how many values went.
int MVMetadataRemoveItems(MVMetadata& metadata, const MVMetadataKey& key, uint32_t locale = 0);
// Removes every item.
void MVMetadataRemoveAll(MVMetadata& metadata);

// Annotations. `key` is a four-char code for the user-data key formats and 'comn', the reverse-DNS
// name's bytes for 'mdta'.
std::optional<std::string> MVAnnotationValue(const MVUserData& userData, const MVMetadata& metadata,
    uint32_t storage, uint32_t keyFormat, const MVBytes& key);
// Writes the text; storage 'udta' writes a user-data text item in the locale's language, 'mdta' a UTF-8
// metadata item. An empty text removes instead.
void MVSetAnnotation(MVUserData& userData, MVMetadata& metadata, uint32_t storage, uint32_t keyFormat,
    const MVBytes& key, const std::string& locale, const std::string& text);
void MVRemoveAnnotation(MVUserData& userData, MVMetadata& metadata, uint32_t storage, uint32_t keyFormat,
    const MVBytes& key, const std::string& locale);

MVBytes MVMetadataKeyBytes(uint32_t code);
