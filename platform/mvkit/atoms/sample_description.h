#pragma once
// Typed views of sample descriptions ('stsd' entries), and building them.
//
// A description's `data` is kept verbatim; these read the common video and sound layouts out of it
// and find its child atoms ('avcC', 'esds', 'pasp', 'clap', 'colr', 'wave', ...).
#include "platform/mvkit/atoms/movie_file_description.h"

#include <optional>
#include <string>

struct MVVideoSampleDescription {
    uint16_t version = 0;
    uint16_t revisionLevel = 0;
    uint32_t vendor = 0;
    uint32_t temporalQuality = 0;
    uint32_t spatialQuality = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t horizontalResolution = 0x00480000; // 72 dpi, 16.16
    uint32_t verticalResolution = 0x00480000;
    uint32_t dataSize = 0;
    uint16_t frameCount = 1;
    std::string compressorName; // up to 31 bytes
    int16_t depth = 24;
    int16_t colorTableID = -1;
    // The colour table that follows the fields of a description of 8 bits a pixel or fewer whose
    // colorTableID is 0: its colours by index, 0xAARRGGBB.
    std::vector<uint32_t> colorTable;
    std::vector<MVRawAtom> extensions; // child atoms in order
};

struct MVSoundSampleDescription {
    uint16_t version = 0; // 0, 1 or 2
    uint16_t revisionLevel = 0;
    uint32_t vendor = 0;
    uint16_t channelCount = 0; // version 2: from its 32-bit field
    uint16_t sampleSize = 16; // bits; version 2: bits per channel
    int16_t compressionID = 0;
    uint16_t packetSize = 0;
    double sampleRate = 0;
    // Version 1.
    uint32_t samplesPerPacket = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t bytesPerSample = 0;
    // Version 2.
    uint32_t formatSpecificFlags = 0;
    uint32_t constBytesPerAudioPacket = 0;
    uint32_t constLPCMFramesPerAudioPacket = 0;
    std::vector<MVRawAtom> extensions;
};

// Nothing when the data is too short for the layout (a description of another kind).
std::optional<MVVideoSampleDescription> MVParseVideoSampleDescription(const MVSampleDescription& description);
std::optional<MVSoundSampleDescription> MVParseSoundSampleDescription(const MVSampleDescription& description);
// The `data` of a description for these fields (sample rates of version 0/1 are stored 16.16).
MVBytes MVSerializeVideoSampleDescription(const MVVideoSampleDescription& video);
MVBytes MVSerializeSoundSampleDescription(const MVSoundSampleDescription& sound);

// The colours the pictures of a description of 8 bits a pixel or fewer index, 0xAARRGGBB: its own colour
// table, else the gray ramp of a gray depth (34, 36, 40: 2, 4 or 8 bits, the first white), else the
// standard table of 8 or 1 bits. Empty for other depths.
std::vector<uint32_t> MVVideoSampleDescriptionPalette(const MVVideoSampleDescription& video);

// The payload of the first child atom of `type` after the video or sound fields; nothing when absent.
std::optional<MVBytes> MVSampleDescriptionExtension(const MVSampleDescription& description, uint32_t type);
