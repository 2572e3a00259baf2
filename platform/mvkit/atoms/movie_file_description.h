#pragma once
// MVMovieFileDescription: a movie file as plain data.
//
// The atom reader fills it from a file, the atom writer turns it back into a file, and the movie model
// builds its movies, tracks and media from it. Every field mirrors an atom of the movie file format;
// integers are host order here and big-endian in the file. Fixed-point fields keep their raw integers
// (16.16, 8.8, 2.30) so that a read-write round trip reproduces the bytes.
//
// Containers remember the order of their children (`childOrder`) and keep every child they do not
// parse as raw bytes (`unknownChildren`, in file order), so unknown atoms survive a round trip in place.
// In `childOrder` a parsed child appears as its type and 0 stands for the next of `unknownChildren`.
// The writer follows `childOrder`, then writes parsed children it did not list (in the usual order)
// and unknown children it did not reach; an empty `childOrder` gives the usual order.
//
// This header only grows: fields are added, never renamed or removed.
#include "platform/mvkit/atoms/four_char_code.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using MVBytes = std::vector<uint8_t>;

// An atom kept as it was: its type and the bytes after its header (for 'uuid' the 16-byte extended
// type starts the payload).
struct MVRawAtom {
    uint32_t type = 0;
    MVBytes payload;
    bool operator==(const MVRawAtom&) const = default;
};

// A 3x3 transformation matrix as stored: a, b, u, c, d, v, tx, ty, w; u, v and w are 2.30 fixed point,
// the others 16.16.
struct MVMatrixRecord {
    std::array<int32_t, 9> values { 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000 };
    bool operator==(const MVMatrixRecord&) const = default;
};

// 'ftyp'.
struct MVFileTypeHeader {
    uint32_t majorBrand = 0;
    uint32_t minorVersion = 0;
    std::vector<uint32_t> compatibleBrands;
    bool operator==(const MVFileTypeHeader&) const = default;
};

// 'mvhd'. Times are seconds since 1904-01-01; durations in `timeScale` units.
struct MVMovieHeader {
    uint8_t version = 0; // 1: 64-bit times and duration
    uint32_t flags = 0;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timeScale = 600;
    uint64_t duration = 0;
    int32_t preferredRate = 0x10000; // 16.16
    int16_t preferredVolume = 0x100; // 8.8
    std::array<uint8_t, 10> reserved {};
    MVMatrixRecord matrix;
    uint32_t previewTime = 0;
    uint32_t previewDuration = 0;
    uint32_t posterTime = 0;
    uint32_t selectionTime = 0;
    uint32_t selectionDuration = 0;
    uint32_t currentTime = 0;
    uint32_t nextTrackID = 1;
    bool operator==(const MVMovieHeader&) const = default;
};

// Track header flags.
inline constexpr uint32_t MVTrackEnabledFlag = 0x1;
inline constexpr uint32_t MVTrackInMovieFlag = 0x2;
inline constexpr uint32_t MVTrackInPreviewFlag = 0x4;
inline constexpr uint32_t MVTrackInPosterFlag = 0x8;

// 'tkhd'. The duration is in the movie's time scale.
struct MVTrackHeader {
    uint8_t version = 0;
    uint32_t flags = MVTrackEnabledFlag | MVTrackInMovieFlag | MVTrackInPreviewFlag;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t trackID = 0;
    uint32_t reserved1 = 0;
    uint64_t duration = 0;
    std::array<uint8_t, 8> reserved2 {};
    int16_t layer = 0;
    int16_t alternateGroup = 0;
    int16_t volume = 0; // 8.8; 0x100 for sound tracks
    uint16_t reserved3 = 0;
    MVMatrixRecord matrix;
    uint32_t width = 0; // 16.16
    uint32_t height = 0; // 16.16
    bool operator==(const MVTrackHeader&) const = default;
};

// One 'elst' entry: `segmentDuration` in the movie's scale, `mediaTime` in the media's scale (−1 for an
// empty edit), `mediaRate` 16.16.
struct MVEditListEntry {
    uint64_t segmentDuration = 0;
    int64_t mediaTime = 0;
    int32_t mediaRate = 0x10000;
    bool operator==(const MVEditListEntry&) const = default;
};

// 'edts' with its 'elst'.
struct MVEditList {
    uint8_t version = 0; // 'elst' version; 1: 64-bit fields
    uint32_t flags = 0;
    std::vector<MVEditListEntry> entries;
    std::vector<uint32_t> childOrder; // of 'edts'
    std::vector<MVRawAtom> unknownChildren; // of 'edts'
    bool operator==(const MVEditList&) const = default;
};

// A 'tref' child: references of one type ('chap', 'tmcd', 'sync', 'fall', 'hint', ...) to track IDs.
struct MVTrackReference {
    uint32_t type = 0;
    std::vector<uint32_t> trackIDs;
    bool operator==(const MVTrackReference&) const = default;
};

// 'mdhd'. `language`: values below 0x400 are classic language codes, others the packed ISO 639-2/T form
// (three 5-bit letters, each minus 0x60). See MVLanguageCodeFromPacked.
struct MVMediaHeader {
    uint8_t version = 0;
    uint32_t flags = 0;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timeScale = 600;
    uint64_t duration = 0;
    uint16_t language = 0x55C4; // "und"
    uint16_t quality = 0;
    bool operator==(const MVMediaHeader&) const = default;
};

// 'hdlr'. In a media: subtype 'vide', 'soun', 'tmcd', 'text', 'sbtl', 'subt', 'meta', ...; in 'minf' the
// data handler ('alis', 'url '); in 'meta' the metadata handler ('mdta', 'mdir'). `name` keeps the bytes as
// stored: a counted string in classic movies, a NUL-terminated one in others (see MVHandlerName).
struct MVHandler {
    uint8_t version = 0;
    uint32_t flags = 0;
    uint32_t componentType = 0; // 'mhlr', 'dhlr' or 0
    uint32_t componentSubtype = 0;
    uint32_t componentManufacturer = 0;
    uint32_t componentFlags = 0;
    uint32_t componentFlagsMask = 0;
    MVBytes name;
    bool operator==(const MVHandler&) const = default;
};

// The media information header of 'minf': 'vmhd', 'smhd', 'gmhd', 'nmhd', 'hmhd', 'sthd', ... kept as
// its payload (for full atoms the version and flags are the first four bytes). MVVideoMediaHeader and
// MVSoundMediaHeader read the common ones.
struct MVMediaInformationHeader {
    uint32_t type = 0;
    MVBytes payload;
    bool operator==(const MVMediaInformationHeader&) const = default;
};

// Data reference entry flag: the samples are in the file that holds this movie.
inline constexpr uint32_t MVDataReferenceSelfReferenceFlag = 0x1;

// A 'dref' entry: 'alis' (an alias record, see alias_record.h), 'url ' (a NUL-terminated URL), or any
// other type, kept as bytes.
struct MVDataReferenceEntry {
    uint32_t type = MVFourCC("alis");
    uint8_t version = 0;
    uint32_t flags = MVDataReferenceSelfReferenceFlag;
    MVBytes data; // empty for a self reference
    bool operator==(const MVDataReferenceEntry&) const = default;
};

// 'dinf' with its 'dref'.
struct MVDataInformation {
    uint8_t version = 0; // of 'dref'
    uint32_t flags = 0;
    std::vector<MVDataReferenceEntry> entries;
    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren;
    bool operator==(const MVDataInformation&) const = default;
};

// An 'stsd' entry. `data` holds what follows the 16-byte common header (format, six reserved bytes,
// data reference index): the format-specific fields and child atoms, verbatim. sample_description.h
// reads and builds the video, sound and other layouts.
struct MVSampleDescription {
    uint32_t format = 0;
    std::array<uint8_t, 6> reserved {};
    uint16_t dataReferenceIndex = 1;
    MVBytes data;
    bool operator==(const MVSampleDescription&) const = default;
};

// 'stts' run: `sampleCount` samples of `sampleDuration` each.
struct MVTimeToSampleEntry {
    uint32_t sampleCount = 0;
    uint32_t sampleDuration = 0;
    bool operator==(const MVTimeToSampleEntry&) const = default;
};

// 'ctts' run. Version 0 stores the offset unsigned, version 1 signed; both are held signed here.
struct MVCompositionOffsetEntry {
    uint32_t sampleCount = 0;
    int32_t offset = 0;
    bool operator==(const MVCompositionOffsetEntry&) const = default;
};

// 'stsc' run: from `firstChunk` (1-based) on, each chunk holds `samplesPerChunk` samples described by
// `sampleDescriptionIndex` (1-based).
struct MVSampleToChunkEntry {
    uint32_t firstChunk = 1;
    uint32_t samplesPerChunk = 0;
    uint32_t sampleDescriptionIndex = 1;
    bool operator==(const MVSampleToChunkEntry&) const = default;
};

// 'stbl' in its compact, run-length form. Sample numbers in `syncSamples` and `partialSyncSamples` are
// 1-based as stored. sample_table.h answers lookups on it without expanding it.
struct MVSampleTable {
    uint8_t sampleDescriptionVersion = 0; // of 'stsd'
    uint32_t sampleDescriptionFlags = 0;
    std::vector<MVSampleDescription> sampleDescriptions;

    std::vector<MVTimeToSampleEntry> timeToSample;

    bool hasCompositionOffsets = false; // 'ctts' present
    uint8_t compositionOffsetVersion = 0;
    std::vector<MVCompositionOffsetEntry> compositionOffsets;

    bool hasSyncSamples = false; // 'stss' present; absent means every sample is a sync sample
    std::vector<uint32_t> syncSamples;
    bool hasPartialSyncSamples = false; // 'stps'
    std::vector<uint32_t> partialSyncSamples;

    std::vector<MVSampleToChunkEntry> sampleToChunk;

    // 'stsz' (or 'stz2' when `compactSampleSizeFieldSize` is 4, 8 or 16; written back as 'stsz').
    // With a constant size `sampleSizes` is empty.
    uint32_t constantSampleSize = 0;
    uint32_t sampleCount = 0;
    std::vector<uint32_t> sampleSizes;
    uint8_t compactSampleSizeFieldSize = 0;

    // 'stco' or 'co64'; the writer picks 'co64' when an offset needs more than 32 bits or
    // `uses64BitChunkOffsets` is set.
    std::vector<uint64_t> chunkOffsets;
    bool uses64BitChunkOffsets = false;

    std::optional<MVBytes> sampleDependencyFlags; // 'sdtp' payload, kept as read

    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren; // 'sgpd', 'sbgp', 'cslg', ...
    bool operator==(const MVSampleTable&) const = default;
};

// 'minf'.
struct MVMediaInformation {
    MVMediaInformationHeader header;
    std::optional<MVHandler> dataHandler; // the 'hdlr' classic movies put in 'minf'
    MVDataInformation dataInformation;
    MVSampleTable sampleTable;
    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren;
    bool operator==(const MVMediaInformation&) const = default;
};

// A user data item: its four-char code and its bytes. Several items of one code keep their order.
struct MVUserDataItem {
    uint32_t type = 0;
    MVBytes data;
    bool operator==(const MVUserDataItem&) const = default;
};

// 'udta'. Classic movies end the list with a 32-bit zero (`hasTerminator`).
struct MVUserData {
    std::vector<MVUserDataItem> items;
    bool hasTerminator = false;
    bool operator==(const MVUserData&) const = default;
};

// Well-known type indicators of metadata values.
enum MVMetadataDataType : uint32_t {
    MVMetadataDataTypeBinary = 0,
    MVMetadataDataTypeUTF8 = 1,
    MVMetadataDataTypeUTF16 = 2,
    MVMetadataDataTypeJPEG = 13,
    MVMetadataDataTypePNG = 14,
    MVMetadataDataTypeSignedIntegerBE = 21,
    MVMetadataDataTypeUnsignedIntegerBE = 22,
    MVMetadataDataTypeFloat32BE = 23,
    MVMetadataDataTypeFloat64BE = 24,
};

// A metadata key: its namespace ('mdta' for reverse-DNS keys, 'udta' for four-char codes) and bytes.
// Items of a 'meta' whose handler is not 'mdta' (item atoms named by a code such as '©nam') have
// namespace 0 and the code's four bytes as key value.
struct MVMetadataKey {
    uint32_t keyNamespace = MVFourCC("mdta");
    MVBytes keyValue;
    bool operator==(const MVMetadataKey&) const = default;
};

// A 'data' atom: type indicator (the low 24 bits of its first word; the high byte is the type set,
// kept in `typeSet`), locale (0 = any) and value bytes.
struct MVMetadataValue {
    uint8_t typeSet = 0;
    uint32_t dataType = MVMetadataDataTypeBinary;
    uint32_t locale = 0;
    MVBytes bytes;
    bool operator==(const MVMetadataValue&) const = default;
};

struct MVMetadataItem {
    MVMetadataKey key;
    std::vector<MVMetadataValue> values;
    std::vector<MVRawAtom> otherChildren; // 'itif', 'name', ... kept
    bool operator==(const MVMetadataItem&) const = default;
};

// 'meta'. `keys` is the 'keys' table as read; the writer keeps it and appends the keys of new items.
// `isFullAtom`: the atom starts with version and flags (the ISO form); classic movies omit them.
struct MVMetadata {
    bool isFullAtom = false;
    uint32_t versionAndFlags = 0;
    MVHandler handler;
    std::vector<MVMetadataKey> keys;
    std::vector<MVMetadataItem> items;
    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren;
    bool operator==(const MVMetadata&) const = default;
};

// 'mdia'.
struct MVMediaDescription {
    MVMediaHeader header;
    MVHandler handler;
    MVMediaInformation information;
    std::optional<MVUserData> userData;
    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren;
    bool operator==(const MVMediaDescription&) const = default;
};

// 'trak'.
struct MVTrackDescription {
    MVTrackHeader header;
    std::optional<MVEditList> editList;
    std::vector<MVTrackReference> references; // 'tref' children in order; empty: no 'tref'
    MVMediaDescription media;
    std::optional<MVUserData> userData;
    std::optional<MVMetadata> metadata;
    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren; // 'load', 'matt', 'tapt', 'txas', ...
    bool operator==(const MVTrackDescription&) const = default;
};

// An 'rmda' of a reference movie: its 'rdrf' (data reference flags, type, bytes), optional 'rmdr' data
// rate, and the other children ('rmvc', 'rmcs', 'rmqu', ...) kept as raw atoms.
struct MVReferenceMovieDescriptor {
    bool hasDataReference = true;
    uint32_t dataReferenceFlags = 0;
    uint32_t dataReferenceType = MVFourCC("url ");
    MVBytes dataReference;
    std::optional<int32_t> dataRate;
    std::vector<MVRawAtom> otherChildren;
    std::vector<uint32_t> childOrder;
    bool operator==(const MVReferenceMovieDescriptor&) const = default;
};

// 'moov'.
struct MVMovieDescription {
    MVMovieHeader header;
    std::vector<MVTrackDescription> tracks;
    std::optional<MVUserData> userData;
    std::optional<MVMetadata> metadata;
    bool hasReferenceMovieRecord = false; // 'rmra' present
    std::vector<MVReferenceMovieDescriptor> referenceMovies;
    std::vector<uint32_t> childOrder;
    std::vector<MVRawAtom> unknownChildren;
    bool operator==(const MVMovieDescription&) const = default;
};

// A top-level atom as found in the file.
struct MVAtomLocation {
    uint32_t type = 0;
    uint64_t offset = 0; // of the atom's header
    uint64_t size = 0; // whole atom, header included
    uint32_t headerSize = 8; // 8, or 16 for a 64-bit size
    bool operator==(const MVAtomLocation&) const = default;
};

// A whole movie file.
struct MVMovieFileDescription {
    std::optional<MVFileTypeHeader> fileType; // none for classic movies
    MVMovieDescription movie;
    std::vector<MVAtomLocation> topLevelAtoms; // in file order: 'ftyp', 'moov', 'mdat', 'free', ...
    uint64_t fileSize = 0;
    // Small top-level atoms other than 'ftyp', 'moov', 'mdat' and free space ('uuid', 'pnot', ...), kept so
    // that a rewritten file carries them on (the writer puts them after 'moov').
    std::vector<MVRawAtom> topLevelUnknownAtoms;
    // What the reader skipped or could not use; empty for a clean file. A description with warnings is
    // still usable as far as it goes.
    std::vector<std::string> warnings;
    // What was left out that costs the movie nothing it could play: the samples of a file cut short (an
    // unfinished download) that lie past its end, streams that carry no sound or picture. Worth a line in
    // the log, not the user's attention.
    std::vector<std::string> notes;
    bool operator==(const MVMovieFileDescription&) const = default;
};
