#pragma once
// The sample description of this program's own for codecs no movie-file description names (TTA,
// WavPack, RealVideo, Cook, animated PNG, planar YUV pictures of Y4M files, ...).
//
// Its format is 'MVav'. The usual sound or video fields come first, filled in as for any description
// (channels, sample size and rate; width, height and depth), so everything that reads only those works
// as it does for any track. A 'MVcp' child atom follows with what libavcodec needs to decode the
// samples: the codec by libavcodec's name (its numeric identifiers change between versions, the names
// do not), the setup data, and the stream's parameters. Samples are stored as libavformat hands them
// over.
//
// Only this program reads it: no other program would know what to do with the track, so movie files
// that others read never hold it (saving refuses, exporting re-encodes).
//
// 'MVcp' (big-endian): version (1 byte, 0) and flags (3 bytes); the codec's name (1 byte of length,
// then ASCII); codec tag (4, libavcodec's, first character lowest); bit rate (8); bits per coded sample,
// bits per raw sample, profile, level (4 each, signed); the sample or pixel format's name (1 byte of
// length, then ASCII; empty when unknown); sample rate, channel count, channel order (4 each),
// channel mask (8), block align, frame size, initial padding, trailing padding, seek preroll (4 each);
// width, height (4 each), pixel aspect ratio (4 + 4, signed), field order, colour range, primaries,
// transfer, matrix, chroma location (4 each), video delay (4, signed); setup data (4 bytes of length,
// then the bytes). Fields a later version adds go at the end; readers ignore what follows.
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <optional>
#include <string>

inline constexpr uint32_t MVCodecParametersFormat = MVFourCC("MVav");
inline constexpr uint32_t MVCodecParametersAtom = MVFourCC("MVcp");

struct MVCodecParameters {
    bool isVideo = false; // not stored: the media's type says it
    std::string codecName; // libavcodec's ("tta", "rv20", "cook", ...)
    uint32_t codecTag = 0;
    int64_t bitRate = 0;
    int32_t bitsPerCodedSample = 0;
    int32_t bitsPerRawSample = 0;
    int32_t profile = -99; // libavcodec's "unknown"
    int32_t level = -99;
    std::string formatName; // libavutil's name of the sample or pixel format; empty: unknown
    // Sound.
    uint32_t sampleRate = 0;
    uint32_t channelCount = 0;
    uint32_t channelOrder = 0; // libavutil's: 0 unspecified, 1 native (the mask says which)
    uint64_t channelMask = 0;
    uint32_t blockAlign = 0;
    uint32_t frameSize = 0;
    uint32_t initialPadding = 0;
    uint32_t trailingPadding = 0;
    uint32_t seekPreroll = 0;
    // Pictures.
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t aspectNumerator = 0;
    int32_t aspectDenominator = 1;
    uint32_t fieldOrder = 0;
    uint32_t colorRange = 0;
    uint32_t colorPrimaries = 2; // unspecified
    uint32_t colorTransfer = 2;
    uint32_t colorSpace = 2;
    uint32_t chromaLocation = 0;
    int32_t videoDelay = 0;
    MVBytes extradata;

    bool operator==(const MVCodecParameters&) const = default;
};

// The 'MVav' description of `parameters`: a video description when they are of pictures, else a sound
// description (version 2, so that any rate and channel count fit).
MVSampleDescription MVMakeCodecParametersDescription(const MVCodecParameters& parameters);

// The parameters of an 'MVav' description of a media of `mediaType` ('vide' or 'soun'); nothing for
// any other description, or one whose 'MVcp' atom is missing or malformed.
std::optional<MVCodecParameters> MVCodecParametersOfDescription(
    const MVSampleDescription& description, uint32_t mediaType);

inline bool MVIsCodecParametersDescription(const MVSampleDescription& description)
{
    return description.format == MVCodecParametersFormat;
}
