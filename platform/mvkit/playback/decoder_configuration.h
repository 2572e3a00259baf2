#pragma once
// How to decode the samples of one sample description: the libavcodec codec and its configuration.
//
// The description's format code picks the codec; its child atoms give the codec's out-of-band setup
// ('avcC' → H.264 extradata, 'hvcC' → HEVC, 'esds' → the MPEG-4 decoder specific info, ...). Sound
// descriptions also give the sample rate and channel count, and PCM formats their sample layout. The
// program's own 'MVav' description names the codec and all its parameters itself.
#include "platform/basekit/error.h"
#include "platform/mvkit/atoms/codec_parameters_description.h"
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <optional>

// Status codes of the playback layer (HXOSStatusErrorDomain).
enum MVPlaybackStatus : int64_t {
    MVStatusNoCodec = -8961, // no decoder for the sample description's format
    MVStatusCodecError = -8960, // the decoder refused its configuration or the sample data
    MVStatusBadDataReference = -2002, // the samples' data cannot be reached
    MVStatusInvalidSample = -2004, // a sample outside the media or its data
};

struct MVDecoderConfiguration {
    int codecID = 0; // an AVCodecID
    MVBytes extradata;
    bool isVideo = false;
    // Video: the coded size the description states, and its pixel depth (bitsPerSample below): the
    // decoders of uncompressed and run-length pictures take their pixel layout from the depth and the
    // description's format code (codecTag).
    int width = 0;
    int height = 0;
    uint32_t codecTag = 0; // the format code as libavcodec keeps it (first character lowest); 0: none
    // Pictures of indexed colours: the colours (0xAARRGGBB by index), which the decoder gets with the
    // samples.
    std::vector<uint32_t> palette;
    // Sound.
    int sampleRate = 0;
    int channelCount = 0;
    int bitsPerSample = 0;
    int blockAlign = 0; // bytes per PCM frame (all channels), or per packet of a Windows codec; 0: none
    int64_t bitRate = 0; // what a Windows codec was encoded at (its decoder depends on it); 0: unknown
    bool isPCM = false;
    // This program's own description ('MVav'): every parameter of the stream it was imported from, which
    // the decoder takes as they are (the fields above repeat the main ones for those that read them).
    std::optional<MVCodecParameters> parameters;
};

// The configuration for `description` of a media of `mediaType` ('vide', 'soun', ...); an HXError
// (MVStatusNoCodec) for a format nothing here decodes.
std::optional<MVDecoderConfiguration> MVDecoderConfigurationForDescription(
    const MVSampleDescription& description, uint32_t mediaType, HXError* outError);

// The decoder specific info of an 'esds' payload (the bytes of its DecoderSpecificInfo descriptor) and
// its object type indication; nothing when the descriptors are malformed.
struct MVElementaryStreamDescriptor {
    uint8_t objectTypeIndication = 0;
    MVBytes decoderSpecificInfo;
};
std::optional<MVElementaryStreamDescriptor> MVParseElementaryStreamDescriptor(const MVBytes& esdsPayload);
