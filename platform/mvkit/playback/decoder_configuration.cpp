#include "platform/mvkit/playback/decoder_configuration.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/sample_description.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <span>

namespace {

HXError noCodec(uint32_t format)
{
    return HXError::withDescription(HXOSStatusErrorDomain, MVStatusNoCodec,
        "No decoder for the format '" + MVStringForOSType(format) + "'.");
}

// Video formats whose configuration, when they have one, is a child atom passed on whole.
struct VideoFormat {
    uint32_t format;
    AVCodecID codec;
    uint32_t configAtom; // 0: none
};

const VideoFormat kVideoFormats[] = {
    { MVFourCC("avc1"), AV_CODEC_ID_H264, MVFourCC("avcC") },
    { MVFourCC("avc3"), AV_CODEC_ID_H264, MVFourCC("avcC") },
    { MVFourCC("hvc1"), AV_CODEC_ID_HEVC, MVFourCC("hvcC") },
    { MVFourCC("hev1"), AV_CODEC_ID_HEVC, MVFourCC("hvcC") },
    { MVFourCC("av01"), AV_CODEC_ID_AV1, MVFourCC("av1C") }, { MVFourCC("vp09"), AV_CODEC_ID_VP9, 0 },
    { MVFourCC("vp08"), AV_CODEC_ID_VP8, 0 }, { MVFourCC("jpeg"), AV_CODEC_ID_MJPEG, 0 },
    { MVFourCC("mjpa"), AV_CODEC_ID_MJPEG, 0 }, { MVFourCC("AVDJ"), AV_CODEC_ID_MJPEG, 0 },
    { MVFourCC("dmb1"), AV_CODEC_ID_MJPEG, 0 }, { MVFourCC("mjpb"), AV_CODEC_ID_MJPEGB, 0 },
    { MVFourCC("png "), AV_CODEC_ID_PNG, 0 }, { MVFourCC("tiff"), AV_CODEC_ID_TIFF, 0 },
    { MVFourCC("gif "), AV_CODEC_ID_GIF, 0 }, { MVFourCC("rle "), AV_CODEC_ID_QTRLE, 0 },
    { MVFourCC("h263"), AV_CODEC_ID_H263, 0 }, { MVFourCC("s263"), AV_CODEC_ID_H263, 0 },
    { MVFourCC("apcn"), AV_CODEC_ID_PRORES, 0 }, { MVFourCC("apch"), AV_CODEC_ID_PRORES, 0 },
    { MVFourCC("apcs"), AV_CODEC_ID_PRORES, 0 }, { MVFourCC("apco"), AV_CODEC_ID_PRORES, 0 },
    { MVFourCC("ap4h"), AV_CODEC_ID_PRORES, 0 }, { MVFourCC("SVQ1"), AV_CODEC_ID_SVQ1, 0 },
    { MVFourCC("cvid"), AV_CODEC_ID_CINEPAK, 0 },
    { MVFourCC("mp4v"), AV_CODEC_ID_MPEG4, 0 }, // configuration from 'esds', below
};

struct SoundFormat {
    uint32_t format;
    AVCodecID codec;
    uint32_t configAtom;
};

const SoundFormat kSoundFormats[] = {
    { MVFourCC("mp4a"), AV_CODEC_ID_AAC, 0 }, // 'esds' decides, below
    { MVFourCC(".mp3"), AV_CODEC_ID_MP3, 0 }, { MVFourCC("ac-3"), AV_CODEC_ID_AC3, 0 },
    { MVFourCC("ec-3"), AV_CODEC_ID_EAC3, 0 }, { MVFourCC("alac"), AV_CODEC_ID_ALAC, MVFourCC("alac") },
    { MVFourCC("ima4"), AV_CODEC_ID_ADPCM_IMA_QT, 0 }, { MVFourCC("ulaw"), AV_CODEC_ID_PCM_MULAW, 0 },
    { MVFourCC("alaw"), AV_CODEC_ID_PCM_ALAW, 0 }, { MVFourCC("Opus"), AV_CODEC_ID_OPUS, 0 }, // 'dOps', below
    { MVFourCC("fLaC"), AV_CODEC_ID_FLAC, 0 }, // 'dfLa', below
};

// Object types of an 'esds' and the codecs they name.
struct ObjectType {
    uint8_t type;
    AVCodecID codec;
};

const ObjectType kObjectTypes[] = {
    { 0x20, AV_CODEC_ID_MPEG4 },
    { 0x21, AV_CODEC_ID_H264 },
    { 0x23, AV_CODEC_ID_HEVC },
    { 0x40, AV_CODEC_ID_AAC },
    { 0x60, AV_CODEC_ID_MPEG2VIDEO },
    { 0x61, AV_CODEC_ID_MPEG2VIDEO },
    { 0x62, AV_CODEC_ID_MPEG2VIDEO },
    { 0x63, AV_CODEC_ID_MPEG2VIDEO },
    { 0x64, AV_CODEC_ID_MPEG2VIDEO },
    { 0x65, AV_CODEC_ID_MPEG2VIDEO },
    { 0x66, AV_CODEC_ID_AAC },
    { 0x67, AV_CODEC_ID_AAC },
    { 0x68, AV_CODEC_ID_AAC },
    { 0x69, AV_CODEC_ID_MP3 },
    { 0x6A, AV_CODEC_ID_MPEG1VIDEO },
    { 0x6B, AV_CODEC_ID_MP3 },
    { 0x6C, AV_CODEC_ID_MJPEG },
    { 0x6D, AV_CODEC_ID_PNG },
    { 0xA3, AV_CODEC_ID_VC1 },
    { 0xA4, AV_CODEC_ID_DIRAC },
    { 0xA5, AV_CODEC_ID_AC3 },
    { 0xA6, AV_CODEC_ID_EAC3 },
    { 0xA9, AV_CODEC_ID_DTS },
    { 0xAD, AV_CODEC_ID_OPUS },
    { 0xB1, AV_CODEC_ID_VP9 },
    { 0xC1, AV_CODEC_ID_FLAC },
    { 0xDD, AV_CODEC_ID_VORBIS },
};

AVCodecID codecForObjectType(uint8_t type)
{
    for (const auto& o : kObjectTypes)
        if (o.type == type)
            return o.codec;
    return AV_CODEC_ID_NONE;
}

// Codes the movie muxer writes for codecs our tables do not list: libavformat's own tables of movie
// codes, and the Windows codes it falls back on ('ms' and a sound format number for sound).
AVCodecID codecForCode(uint32_t format, bool video)
{
    uint32_t tag = (format >> 24) | ((format >> 8) & 0xFF00) | ((format << 8) & 0xFF0000) | (format << 24);
    const AVCodecTag* const mov[]
        = { video ? avformat_get_mov_video_tags() : avformat_get_mov_audio_tags(), nullptr };
    if (AVCodecID id = av_codec_get_id(mov, tag); id != AV_CODEC_ID_NONE)
        return id;
    if (video) {
        const AVCodecTag* const riff[] = { avformat_get_riff_video_tags(), nullptr };
        return av_codec_get_id(riff, tag);
    }
    if ((format >> 16) == (uint32_t('m') << 8 | 's')) {
        const AVCodecTag* const riff[] = { avformat_get_riff_audio_tags(), nullptr };
        return av_codec_get_id(riff, format & 0xFFFF);
    }
    return AV_CODEC_ID_NONE;
}

// 'dOps' (big-endian, without the magic) as the Ogg identification header the Opus decoder takes.
std::optional<MVBytes> opusHead(const MVBytes& dops)
{
    if (dops.size() < 11)
        return std::nullopt;
    MVBytes head = { 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, dops[1] };
    head.push_back(dops[3]); // pre-skip, little-endian
    head.push_back(dops[2]);
    head.push_back(dops[7]); // input sample rate
    head.push_back(dops[6]);
    head.push_back(dops[5]);
    head.push_back(dops[4]);
    head.push_back(dops[9]); // output gain
    head.push_back(dops[8]);
    head.push_back(dops[10]); // channel mapping family
    if (dops[10] != 0) {
        size_t tableSize = 2 + size_t(dops[1]);
        if (dops.size() < 11 + tableSize)
            return std::nullopt;
        head.insert(head.end(), dops.begin() + 11, dops.begin() + 11 + ptrdiff_t(tableSize));
    }
    return head;
}

// 'dfLa': version and flags, then FLAC metadata blocks, the first being STREAMINFO, which is what the
// FLAC decoder takes.
std::optional<MVBytes> flacStreamInfo(const MVBytes& dfla)
{
    if (dfla.size() < 8 + 34 || (dfla[4] & 0x7F) != 0)
        return std::nullopt;
    size_t length = size_t(dfla[5]) << 16 | size_t(dfla[6]) << 8 | dfla[7];
    if (length < 34 || dfla.size() < 8 + length)
        return std::nullopt;
    return MVBytes(dfla.begin() + 8, dfla.begin() + 8 + 34);
}

// MPEG-4 descriptor length: up to four bytes of seven bits each.
bool readDescriptorHeader(std::span<const uint8_t>& bytes, uint8_t* tag, size_t* length)
{
    if (bytes.empty())
        return false;
    *tag = bytes[0];
    size_t pos = 1;
    size_t len = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= bytes.size())
            return false;
        uint8_t b = bytes[pos++];
        len = (len << 7) | (b & 0x7F);
        if (!(b & 0x80))
            break;
    }
    if (len > bytes.size() - pos)
        return false;
    *length = len;
    bytes = bytes.subspan(pos);
    return true;
}

std::optional<MVDecoderConfiguration> pcmConfiguration(
    uint32_t format, const MVSoundSampleDescription& sound, const MVSampleDescription& description)
{
    bool littleEndian = false;
    if (auto enda = MVSampleDescriptionExtension(description, MVFourCC("enda")); enda && enda->size() >= 2)
        littleEndian = (*enda)[1] != 0;
    int bits = sound.sampleSize;
    AVCodecID codec = AV_CODEC_ID_NONE;
    if (format == MVFourCC("lpcm")) {
        // Version 2 flags: float, big-endian, signed integer.
        uint32_t flags = sound.formatSpecificFlags;
        bool isFloat = flags & 0x1, bigEndian = flags & 0x2, isSigned = flags & 0x4;
        if (isFloat)
            codec = bits == 64 ? (bigEndian ? AV_CODEC_ID_PCM_F64BE : AV_CODEC_ID_PCM_F64LE)
                               : (bigEndian ? AV_CODEC_ID_PCM_F32BE : AV_CODEC_ID_PCM_F32LE);
        else if (bits == 8)
            codec = isSigned ? AV_CODEC_ID_PCM_S8 : AV_CODEC_ID_PCM_U8;
        else if (bits == 16)
            codec = bigEndian ? AV_CODEC_ID_PCM_S16BE : AV_CODEC_ID_PCM_S16LE;
        else if (bits == 24)
            codec = bigEndian ? AV_CODEC_ID_PCM_S24BE : AV_CODEC_ID_PCM_S24LE;
        else if (bits == 32)
            codec = bigEndian ? AV_CODEC_ID_PCM_S32BE : AV_CODEC_ID_PCM_S32LE;
    } else if (format == MVFourCC("sowt")) {
        bits = bits == 8 ? 8 : 16;
        codec = bits == 8 ? AV_CODEC_ID_PCM_S8 : AV_CODEC_ID_PCM_S16LE;
    } else if (format == MVFourCC("twos")) {
        bits = bits == 8 ? 8 : 16;
        codec = bits == 8 ? AV_CODEC_ID_PCM_S8 : AV_CODEC_ID_PCM_S16BE;
    } else if (format == MVFourCC("raw ") || format == 0) {
        bits = 8;
        codec = AV_CODEC_ID_PCM_U8;
    } else if (format == MVFourCC("in24")) {
        bits = 24;
        codec = littleEndian ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S24BE;
    } else if (format == MVFourCC("in32")) {
        bits = 32;
        codec = littleEndian ? AV_CODEC_ID_PCM_S32LE : AV_CODEC_ID_PCM_S32BE;
    } else if (format == MVFourCC("fl32")) {
        bits = 32;
        codec = littleEndian ? AV_CODEC_ID_PCM_F32LE : AV_CODEC_ID_PCM_F32BE;
    } else if (format == MVFourCC("fl64")) {
        bits = 64;
        codec = littleEndian ? AV_CODEC_ID_PCM_F64LE : AV_CODEC_ID_PCM_F64BE;
    }
    if (codec == AV_CODEC_ID_NONE)
        return std::nullopt;
    MVDecoderConfiguration c;
    c.codecID = codec;
    c.sampleRate = int(sound.sampleRate + 0.5);
    c.channelCount = sound.channelCount;
    c.bitsPerSample = bits;
    c.blockAlign = sound.channelCount * bits / 8;
    c.isPCM = true;
    return c;
}

// This program's own description: the codec by libavcodec's name, and the stream's parameters.
std::optional<MVDecoderConfiguration> codecParametersConfiguration(
    const MVSampleDescription& description, uint32_t mediaType)
{
    auto parameters = MVCodecParametersOfDescription(description, mediaType);
    if (!parameters)
        return std::nullopt;
    const AVCodecDescriptor* codec = avcodec_descriptor_get_by_name(parameters->codecName.c_str());
    if (!codec || codec->type != (parameters->isVideo ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO))
        return std::nullopt;
    MVDecoderConfiguration c;
    c.codecID = codec->id;
    c.extradata = parameters->extradata;
    c.isVideo = parameters->isVideo;
    c.codecTag = parameters->codecTag;
    c.bitRate = parameters->bitRate;
    c.bitsPerSample = parameters->bitsPerCodedSample;
    auto field = [](uint32_t v) { return int(std::min<uint32_t>(v, INT32_MAX)); };
    if (c.isVideo) {
        c.width = field(parameters->width);
        c.height = field(parameters->height);
    } else {
        c.sampleRate = field(parameters->sampleRate);
        c.channelCount = field(parameters->channelCount);
        c.blockAlign = field(parameters->blockAlign);
    }
    c.parameters = std::move(parameters);
    return c;
}

} // namespace

std::optional<MVElementaryStreamDescriptor> MVParseElementaryStreamDescriptor(const MVBytes& esdsPayload)
{
    if (esdsPayload.size() < 4)
        return std::nullopt;
    std::span<const uint8_t> bytes(esdsPayload);
    bytes = bytes.subspan(4); // version and flags
    uint8_t tag = 0;
    size_t length = 0;
    if (!readDescriptorHeader(bytes, &tag, &length) || tag != 0x03 || length < 3)
        return std::nullopt;
    bytes = bytes.first(length);
    uint8_t flags = bytes[2];
    size_t skip = 3;
    if (flags & 0x80)
        skip += 2; // depends-on ES ID
    if (flags & 0x40) {
        if (skip >= bytes.size())
            return std::nullopt;
        skip += 1 + bytes[skip]; // URL
    }
    if (flags & 0x20)
        skip += 2; // OCR ES ID
    if (skip > bytes.size())
        return std::nullopt;
    bytes = bytes.subspan(skip);
    if (!readDescriptorHeader(bytes, &tag, &length) || tag != 0x04 || length < 13)
        return std::nullopt;
    MVElementaryStreamDescriptor result;
    result.objectTypeIndication = bytes[0];
    std::span<const uint8_t> inner = bytes.first(length).subspan(13);
    if (readDescriptorHeader(inner, &tag, &length) && tag == 0x05)
        result.decoderSpecificInfo.assign(inner.begin(), inner.begin() + ptrdiff_t(length));
    return result;
}

std::optional<MVDecoderConfiguration> MVDecoderConfigurationForDescription(
    const MVSampleDescription& description, uint32_t mediaType, HXError* outError)
{
    const uint32_t format = description.format;
    auto fail = [&]() -> std::optional<MVDecoderConfiguration> {
        if (outError)
            *outError = noCodec(format);
        return std::nullopt;
    };
    auto esds = [&]() { return MVSampleDescriptionExtension(description, MVFourCC("esds")); };
    if (MVIsCodecParametersDescription(description)) {
        auto own = codecParametersConfiguration(description, mediaType);
        if (!own && outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, MVStatusNoCodec,
                "No decoder for the codec this track was imported with.");
        return own;
    }

    if (mediaType == MVFourCC("vide")) {
        auto video = MVParseVideoSampleDescription(description);
        if (!video)
            return fail();
        MVDecoderConfiguration c;
        c.isVideo = true;
        c.width = video->width;
        c.height = video->height;
        c.bitsPerSample = video->depth;
        c.palette = MVVideoSampleDescriptionPalette(*video);
        c.codecTag = (format >> 24) | ((format >> 8) & 0xFF00) | ((format << 8) & 0xFF0000) | (format << 24);
        for (const auto& f : kVideoFormats) {
            if (f.format != format)
                continue;
            c.codecID = f.codec;
            if (f.configAtom)
                if (auto atom = MVSampleDescriptionExtension(description, f.configAtom))
                    c.extradata = *atom;
            if (format == MVFourCC("mp4v"))
                if (auto payload = esds())
                    if (auto es = MVParseElementaryStreamDescriptor(*payload)) {
                        c.extradata = es->decoderSpecificInfo;
                        if (AVCodecID id = codecForObjectType(es->objectTypeIndication);
                            id != AV_CODEC_ID_NONE && avcodec_get_type(id) == AVMEDIA_TYPE_VIDEO)
                            c.codecID = id;
                    }
            return c;
        }
        if (format == MVFourCC("raw ")) {
            c.codecID = AV_CODEC_ID_RAWVIDEO;
            // Uncompressed gray (34, 36, 40) is indexed by its gray ramp.
            if (c.bitsPerSample > 32 && !c.palette.empty())
                c.bitsPerSample -= 32;
            return c;
        }
        if (AVCodecID id = codecForCode(format, true); id != AV_CODEC_ID_NONE) {
            c.codecID = id;
            if (auto global = MVSampleDescriptionExtension(description, MVFourCC("glbl")))
                c.extradata = *global;
            return c;
        }
        return fail();
    }

    if (mediaType != MVFourCC("soun"))
        return fail();
    auto sound = MVParseSoundSampleDescription(description);
    if (!sound)
        return fail();
    if (auto pcm = pcmConfiguration(format, *sound, description))
        return pcm;
    for (const auto& f : kSoundFormats) {
        if (f.format != format)
            continue;
        MVDecoderConfiguration c;
        c.codecID = f.codec;
        c.sampleRate = int(sound->sampleRate + 0.5);
        c.channelCount = sound->channelCount;
        c.bitsPerSample = sound->sampleSize;
        if (f.configAtom) {
            if (auto atom = MVSampleDescriptionExtension(description, f.configAtom)) {
                // The ALAC decoder wants its atom with the atom header in front.
                MVBytes whole = { 0, 0, 0, 0, 'a', 'l', 'a', 'c' };
                uint32_t size = uint32_t(atom->size() + 8);
                whole[0] = uint8_t(size >> 24), whole[1] = uint8_t(size >> 16), whole[2] = uint8_t(size >> 8),
                whole[3] = uint8_t(size);
                whole.insert(whole.end(), atom->begin(), atom->end());
                c.extradata = std::move(whole);
            }
        }
        if (format == MVFourCC("ima4"))
            c.blockAlign = 34 * std::max(1, int(sound->channelCount));
        if (format == MVFourCC("mp4a")) {
            auto payload = esds();
            if (!payload)
                return fail();
            auto es = MVParseElementaryStreamDescriptor(*payload);
            if (!es)
                return fail();
            c.codecID = codecForObjectType(es->objectTypeIndication);
            if (c.codecID == AV_CODEC_ID_NONE || avcodec_get_type(AVCodecID(c.codecID)) != AVMEDIA_TYPE_AUDIO)
                return fail();
            c.extradata = es->decoderSpecificInfo;
        }
        if (format == MVFourCC("Opus")) {
            auto dops = MVSampleDescriptionExtension(description, MVFourCC("dOps"));
            auto head = dops ? opusHead(*dops) : std::nullopt;
            if (!head)
                return fail();
            c.extradata = *head;
        }
        if (format == MVFourCC("fLaC")) {
            auto dfla = MVSampleDescriptionExtension(description, MVFourCC("dfLa"));
            auto info = dfla ? flacStreamInfo(*dfla) : std::nullopt;
            if (!info)
                return fail();
            c.extradata = *info;
        }
        return c;
    }
    if (AVCodecID id = codecForCode(format, false); id != AV_CODEC_ID_NONE) {
        MVDecoderConfiguration c;
        c.codecID = id;
        c.sampleRate = int(sound->sampleRate + 0.5);
        c.channelCount = sound->channelCount;
        c.bitsPerSample = sound->sampleSize;
        // Windows codecs keep their stream header ('wfex', little-endian): packet size, bit rate and
        // setup data.
        if (auto wfex = MVSampleDescriptionExtension(description, MVFourCC("wfex"));
            wfex && wfex->size() >= 18) {
            auto le = [&](size_t at, int n) {
                uint32_t v = 0;
                for (int i = n - 1; i >= 0; --i)
                    v = v << 8 | (*wfex)[at + size_t(i)];
                return v;
            };
            c.bitRate = int64_t(le(8, 4)) * 8;
            c.blockAlign = int(le(12, 2));
            if (le(14, 2) > 0)
                c.bitsPerSample = int(le(14, 2));
            size_t extra = std::min<size_t>(le(16, 2), wfex->size() - 18);
            c.extradata.assign(wfex->begin() + 18, wfex->begin() + 18 + long(extra));
        }
        if (auto global = MVSampleDescriptionExtension(description, MVFourCC("glbl")))
            c.extradata = *global;
        return c;
    }
    return fail();
}
