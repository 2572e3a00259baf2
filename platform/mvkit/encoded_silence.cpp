#include "platform/mvkit/encoded_silence.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/playback/decoder_configuration.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>

namespace {

struct ContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// The byte of a silent PCM sample: the middle of the range for unsigned and companded formats.
uint8_t silentByte(int codecID)
{
    switch (codecID) {
    case AV_CODEC_ID_PCM_U8:
        return 0x80;
    case AV_CODEC_ID_PCM_MULAW:
        return 0xFF;
    case AV_CODEC_ID_PCM_ALAW:
        return 0xD5;
    default:
        return 0;
    }
}

bool addPCMSilence(MVMedia& out, const MVMedia& source, uint32_t index, const MVBytes& description,
    int codecID, int64_t length)
{
    const auto& samples = source.samples();
    auto model = std::find_if(samples.begin(), samples.end(),
        [index](const MVSampleRecord& r) { return r.descriptionIndex == index; });
    if (model == samples.end() || model->duration == 0 || model->size == 0)
        return false;
    int64_t count = (length + model->duration - 1) / model->duration;
    if (count > INT32_MAX || count * int64_t(model->size) > (int64_t(1) << 30))
        return false;
    MVBytes bytes(size_t(count) * model->size, silentByte(codecID));
    return out.addSample(bytes, model->duration, int32_t(count), description, 0) >= 0;
}

bool addEncodedSilence(
    MVMedia& out, const MVDecoderConfiguration& setup, const MVBytes& description, int64_t length)
{
    const AVCodec* codec = avcodec_find_encoder(AVCodecID(setup.codecID));
    if (!codec || setup.sampleRate <= 0 || setup.channelCount <= 0 || !codec->sample_fmts)
        return false;
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(codec));
    if (!context)
        return false;
    context->sample_rate = setup.sampleRate;
    av_channel_layout_default(&context->ch_layout, setup.channelCount);
    context->sample_fmt = codec->sample_fmts[0];
    context->time_base = { 1, setup.sampleRate };
    if (!setup.extradata.empty())
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(context.get(), codec, nullptr) < 0 || context->frame_size <= 0)
        return false;
    // The track's decoder is set up once from its own description: the encoder's setup must say the same
    // (for AAC the object type, rate and channels of its first two bytes; the rest may differ).
    MVBytes own(context->extradata, context->extradata + context->extradata_size);
    size_t compared = setup.codecID == AV_CODEC_ID_AAC ? 2 : setup.extradata.size();
    if (own.size() < compared || setup.extradata.size() < compared
        || !std::equal(setup.extradata.begin(), setup.extradata.begin() + long(compared), own.begin()))
        return false;
    const int64_t scale = out.timeScale();
    if ((int64_t(context->frame_size) * scale) % setup.sampleRate != 0)
        return false;
    const int64_t packetDuration = int64_t(context->frame_size) * scale / setup.sampleRate;
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!frame || !packet)
        return false;
    frame->format = context->sample_fmt;
    frame->nb_samples = context->frame_size;
    frame->sample_rate = context->sample_rate;
    if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0
        || av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    av_samples_set_silence(
        frame->extended_data, 0, frame->nb_samples, setup.channelCount, context->sample_fmt);
    int64_t made = 0;
    for (int64_t pts = 0; made < length; pts += context->frame_size) {
        frame->pts = pts;
        if (avcodec_send_frame(context.get(), frame.get()) < 0)
            return false;
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            MVBytes bytes(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
            if (out.addSample(bytes, packetDuration, 1, description, 0) < 0)
                return false;
            made += packetDuration;
        }
        if (pts > int64_t(setup.sampleRate) * 3600)
            return false; // an encoder that gives nothing back
    }
    // What the encoder still holds is silence too.
    if (avcodec_send_frame(context.get(), nullptr) == 0)
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            MVBytes bytes(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
            if (out.addSample(bytes, packetDuration, 1, description, 0) < 0)
                return false;
        }
    return true;
}

} // namespace

std::shared_ptr<MVMedia> MVEncodedSilence(const MVMedia& source, uint32_t descriptionIndex, int64_t length)
{
    if (length <= 0 || descriptionIndex < 1 || descriptionIndex > source.sampleDescriptions().size())
        return nullptr;
    const uint32_t type = source.mediaType();
    if (type == MVFourCC("text") || type == MVFourCC("sbtl") || type == MVFourCC("subt")) {
        // A text of no characters (its 16-bit length alone) shows nothing.
        auto out = MVMedia::media(type, source.timeScale());
        if (out->addSample({ 0, 0 }, length, 1, source.sampleDescription(int32_t(descriptionIndex)), 0) < 0)
            return nullptr;
        return out;
    }
    auto setup = MVDecoderConfigurationForDescription(
        source.sampleDescriptions()[descriptionIndex - 1], source.mediaType(), nullptr);
    if (!setup || setup->isVideo || setup->parameters)
        return nullptr;
    auto out = MVMedia::media(source.mediaType(), source.timeScale());
    MVBytes description = source.sampleDescription(int32_t(descriptionIndex));
    bool made = setup->isPCM
        ? addPCMSilence(*out, source, descriptionIndex, description, setup->codecID, length)
        : addEncodedSilence(*out, *setup, description, length);
    return made && out->duration() >= length ? out : nullptr;
}
