#include "platform/mvkit/playback/decoder.h"

#include "platform/mvkit/libav_codec_parameters.h"
#include "platform/mvkit/libav_limits.h"

#include <algorithm>
#include <atomic>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cstring>

MVDecodedFrame::MVDecodedFrame(AVFrame* frame)
    : _frame(frame)
{
    static std::atomic<uint64_t> next { 1 };
    _serial = next.fetch_add(1, std::memory_order_relaxed);
}

MVDecodedFrame::~MVDecodedFrame()
{
    av_frame_free(&_frame);
}

int64_t MVDecodedFrame::time() const
{
    return _frame->pts != AV_NOPTS_VALUE ? _frame->pts : _frame->best_effort_timestamp;
}

int64_t MVDecodedFrame::duration() const
{
    return _frame->pkt_duration > 0 ? _frame->pkt_duration : 0;
}
int MVDecodedFrame::width() const
{
    return _frame->width;
}
int MVDecodedFrame::height() const
{
    return _frame->height;
}
int MVDecodedFrame::format() const
{
    return _frame->format;
}
int MVDecodedFrame::sampleCount() const
{
    return _frame->nb_samples;
}

int MVDecoderThreadCountForPicture(int width, int height, unsigned processors)
{
    if (width <= 0 || height <= 0 || processors == 0)
        return 0;
    // 4:2:0 pictures of 8 bits take 1.5 bytes a pixel.
    const size_t bytes = size_t(width) * size_t(height) * 3 / 2;
    const size_t budget = size_t(64) << 20;
    const size_t automatic = std::min<size_t>(size_t(processors) + 1, 16);
    if (budget / bytes >= automatic)
        return 0;
    return int(std::max<size_t>(std::min<size_t>(2, automatic), budget / bytes));
}

std::unique_ptr<MVDecoder> MVDecoder::decoderWithConfiguration(
    const MVDecoderConfiguration& configuration, int32_t timeScale, HXError* outError, int threadCount)
{
    auto fail = [&](const std::string& text) -> std::unique_ptr<MVDecoder> {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, MVStatusCodecError, text);
        return nullptr;
    };
    if (timeScale <= 0)
        return fail("The media has no time scale.");
    const AVCodec* codec = avcodec_find_decoder(AVCodecID(configuration.codecID));
    if (!codec) {
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, MVStatusNoCodec, "This decoder is not available.");
        return nullptr;
    }
    std::unique_ptr<MVDecoder> decoder(new MVDecoder);
    decoder->_configuration = configuration;
    decoder->_timeScale = timeScale;
    decoder->_context = avcodec_alloc_context3(codec);
    decoder->_packet = av_packet_alloc();
    if (!decoder->_context || !decoder->_packet)
        return fail("Out of memory for a decoder.");
    AVCodecContext* c = decoder->_context;
    if (configuration.parameters) {
        // The stream's own parameters, as libavformat gave them when it was imported.
        AVCodecParameters* parameters = avcodec_parameters_alloc();
        bool filled = parameters && MVFillAVCodecParameters(*configuration.parameters, parameters)
            && avcodec_parameters_to_context(c, parameters) >= 0;
        avcodec_parameters_free(&parameters);
        if (!filled)
            return fail("The decoder cannot take the track's parameters.");
    }
    c->pkt_timebase = AVRational { 1, timeScale };
    if (configuration.isVideo) {
        c->thread_count = threadCount > 0 ? threadCount
                                          : MVDecoderThreadCountForPicture(configuration.width,
                                              configuration.height, std::thread::hardware_concurrency());
        c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (!configuration.parameters && !configuration.extradata.empty()) {
        c->extradata = static_cast<uint8_t*>(
            av_mallocz(configuration.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c->extradata)
            return fail("Out of memory for a decoder.");
        std::memcpy(c->extradata, configuration.extradata.data(), configuration.extradata.size());
        c->extradata_size = int(configuration.extradata.size());
    }
    if (configuration.parameters) {
        // Set above, with the rest of the stream's parameters.
    } else if (configuration.isVideo) {
        c->width = configuration.width;
        c->height = configuration.height;
        c->bits_per_coded_sample = configuration.bitsPerSample;
        c->codec_tag = configuration.codecTag;
    } else {
        c->sample_rate = configuration.sampleRate;
        if (configuration.channelCount > 0)
            av_channel_layout_default(&c->ch_layout, configuration.channelCount);
        c->bits_per_coded_sample = configuration.bitsPerSample;
        c->block_align = configuration.blockAlign;
        c->bit_rate = configuration.bitRate;
    }
    MVLimitLibavAllocations();
    if (int err = avcodec_open2(c, codec, nullptr); err < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(err, text, sizeof text);
        return fail(std::string("The decoder cannot be opened: ") + text + ".");
    }
    return decoder;
}

MVDecoder::~MVDecoder()
{
    av_packet_free(&_packet);
    avcodec_free_context(&_context);
}

void MVDecoder::receive(std::vector<std::shared_ptr<MVDecodedFrame>>& outFrames)
{
    for (;;) {
        AVFrame* frame = av_frame_alloc();
        if (!frame)
            return;
        if (avcodec_receive_frame(_context, frame) < 0) {
            av_frame_free(&frame);
            return;
        }
        outFrames.push_back(std::make_shared<MVDecodedFrame>(frame));
    }
}

bool MVDecoder::decode(const uint8_t* data, size_t size, int64_t decodeTime, int64_t presentationTime,
    int64_t duration, std::vector<std::shared_ptr<MVDecodedFrame>>& outFrames, HXError* outError, bool sync)
{
    av_packet_unref(_packet);
    if (av_new_packet(_packet, int(size)) < 0) {
        if (outError)
            *outError = HXError::withDescription(
                HXOSStatusErrorDomain, MVStatusCodecError, "Out of memory for a sample.");
        return false;
    }
    if (size)
        std::memcpy(_packet->data, data, size);
    _packet->dts = decodeTime;
    _packet->pts = presentationTime;
    _packet->duration = duration;
    // Some decoders take a sample not marked as a key frame as a difference to the picture before
    // (PNG movies would pile every picture onto the last one).
    if (sync)
        _packet->flags |= AV_PKT_FLAG_KEY;
    // Pictures of indexed colours: every sample brings the colours, so a decoder opened or reset anywhere
    // has them.
    if (const auto& palette = _configuration.palette; !palette.empty()) {
        if (uint8_t* side = av_packet_new_side_data(_packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE)) {
            std::memset(side, 0, AVPALETTE_SIZE);
            std::memcpy(side, palette.data(), std::min<size_t>(palette.size() * 4, AVPALETTE_SIZE));
        }
    }
    for (;;) {
        int err = avcodec_send_packet(_context, _packet);
        if (err == AVERROR(EAGAIN)) {
            size_t before = outFrames.size();
            receive(outFrames);
            if (outFrames.size() == before) {
                ++_damagedSamples; // neither input nor output moves: give up on this sample
                break;
            }
            continue;
        }
        if (err == AVERROR_EOF) {
            // A drained decoder takes samples again after a reset.
            avcodec_flush_buffers(_context);
            continue;
        }
        if (err < 0)
            ++_damagedSamples;
        break;
    }
    receive(outFrames);
    av_packet_unref(_packet);
    return true;
}

void MVDecoder::drain(std::vector<std::shared_ptr<MVDecodedFrame>>& outFrames)
{
    if (avcodec_send_packet(_context, nullptr) >= 0)
        receive(outFrames);
    avcodec_flush_buffers(_context);
}

void MVDecoder::reset()
{
    avcodec_flush_buffers(_context);
}
