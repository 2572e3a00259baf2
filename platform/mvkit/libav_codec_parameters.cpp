#include "platform/mvkit/libav_codec_parameters.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cstring>

namespace {

uint32_t unsignedField(int64_t value)
{
    return uint32_t(std::clamp<int64_t>(value, 0, UINT32_MAX));
}

} // namespace

MVCodecParameters MVCodecParametersOfStream(
    const AVCodecParameters& par, int aspectNumerator, int aspectDenominator)
{
    MVCodecParameters p;
    p.isVideo = par.codec_type == AVMEDIA_TYPE_VIDEO;
    p.codecName = avcodec_get_name(par.codec_id);
    p.codecTag = par.codec_tag;
    p.bitRate = std::max<int64_t>(par.bit_rate, 0);
    p.bitsPerCodedSample = par.bits_per_coded_sample;
    p.bitsPerRawSample = par.bits_per_raw_sample;
    p.profile = par.profile;
    p.level = par.level;
    if (par.extradata && par.extradata_size > 0)
        p.extradata.assign(par.extradata, par.extradata + par.extradata_size);
    if (p.isVideo) {
        if (const char* name = av_get_pix_fmt_name(AVPixelFormat(par.format)))
            p.formatName = name;
        p.width = unsignedField(par.width);
        p.height = unsignedField(par.height);
        AVRational shape = aspectNumerator > 0 && aspectDenominator > 0
            ? AVRational { aspectNumerator, aspectDenominator }
            : par.sample_aspect_ratio;
        if (shape.num > 0 && shape.den > 0) {
            p.aspectNumerator = shape.num;
            p.aspectDenominator = shape.den;
        }
        p.fieldOrder = unsignedField(par.field_order);
        p.colorRange = unsignedField(par.color_range);
        p.colorPrimaries = unsignedField(par.color_primaries);
        p.colorTransfer = unsignedField(par.color_trc);
        p.colorSpace = unsignedField(par.color_space);
        p.chromaLocation = unsignedField(par.chroma_location);
        p.videoDelay = par.video_delay;
    } else {
        if (const char* name = av_get_sample_fmt_name(AVSampleFormat(par.format)))
            p.formatName = name;
        p.sampleRate = unsignedField(par.sample_rate);
        p.channelCount = unsignedField(par.ch_layout.nb_channels);
        if (par.ch_layout.order == AV_CHANNEL_ORDER_NATIVE) {
            p.channelOrder = AV_CHANNEL_ORDER_NATIVE;
            p.channelMask = par.ch_layout.u.mask;
        }
        p.blockAlign = unsignedField(par.block_align);
        p.frameSize = unsignedField(par.frame_size);
        p.initialPadding = unsignedField(par.initial_padding);
        p.trailingPadding = unsignedField(par.trailing_padding);
        p.seekPreroll = unsignedField(par.seek_preroll);
    }
    return p;
}

bool MVFillAVCodecParameters(const MVCodecParameters& p, AVCodecParameters* out)
{
    const AVCodecDescriptor* codec = avcodec_descriptor_get_by_name(p.codecName.c_str());
    const AVMediaType type = p.isVideo ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
    if (!codec || codec->type != type)
        return false;
    out->codec_type = type;
    out->codec_id = codec->id;
    out->codec_tag = p.codecTag;
    out->bit_rate = p.bitRate;
    out->bits_per_coded_sample = p.bitsPerCodedSample;
    out->bits_per_raw_sample = p.bitsPerRawSample;
    out->profile = p.profile;
    out->level = p.level;
    av_freep(&out->extradata);
    out->extradata_size = 0;
    if (!p.extradata.empty()) {
        out->extradata = static_cast<uint8_t*>(av_mallocz(p.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!out->extradata)
            return false;
        std::memcpy(out->extradata, p.extradata.data(), p.extradata.size());
        out->extradata_size = int(p.extradata.size());
    }
    auto field = [](uint32_t v) { return int(std::min<uint32_t>(v, INT32_MAX)); };
    if (p.isVideo) {
        out->format = p.formatName.empty() ? AV_PIX_FMT_NONE : av_get_pix_fmt(p.formatName.c_str());
        out->width = field(p.width);
        out->height = field(p.height);
        if (p.aspectNumerator > 0 && p.aspectDenominator > 0)
            out->sample_aspect_ratio = AVRational { p.aspectNumerator, p.aspectDenominator };
        out->field_order = AVFieldOrder(std::min<uint32_t>(p.fieldOrder, AV_FIELD_BT));
        out->color_range = AVColorRange(p.colorRange < AVCOL_RANGE_NB ? p.colorRange : 0);
        out->color_primaries = AVColorPrimaries(p.colorPrimaries < AVCOL_PRI_NB ? p.colorPrimaries : 2);
        out->color_trc = AVColorTransferCharacteristic(p.colorTransfer < AVCOL_TRC_NB ? p.colorTransfer : 2);
        out->color_space = AVColorSpace(p.colorSpace < AVCOL_SPC_NB ? p.colorSpace : 2);
        out->chroma_location = AVChromaLocation(p.chromaLocation < AVCHROMA_LOC_NB ? p.chromaLocation : 0);
        out->video_delay = std::max(p.videoDelay, 0);
    } else {
        out->format = p.formatName.empty() ? AV_SAMPLE_FMT_NONE : av_get_sample_fmt(p.formatName.c_str());
        out->sample_rate = field(p.sampleRate);
        av_channel_layout_uninit(&out->ch_layout);
        const int channels = field(std::min<uint32_t>(p.channelCount, 64));
        if (p.channelOrder == AV_CHANNEL_ORDER_NATIVE && p.channelMask != 0
            && av_popcount64(p.channelMask) == channels)
            av_channel_layout_from_mask(&out->ch_layout, p.channelMask);
        else if (channels > 0)
            av_channel_layout_default(&out->ch_layout, channels);
        out->block_align = field(p.blockAlign);
        out->frame_size = field(p.frameSize);
        out->initial_padding = field(p.initialPadding);
        out->trailing_padding = field(p.trailingPadding);
        out->seek_preroll = field(p.seekPreroll);
    }
    return true;
}
