#include "platform/mvkit/export/movie_transcoder.h"
#include "platform/mvkit/atoms/codec_parameters_description.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/libav_codec_parameters.h"
#include "platform/mvkit/libav_limits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

struct Failure {
    int status;
    std::string message;
};

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void check(int result, int status, const std::string& what)
{
    if (result < 0)
        throw Failure { status, what + ": " + avErrorText(result) };
}

double setting(const HXPropertyList::Dictionary& settings, const char* key, double fallback)
{
    auto found = settings.find(key);
    if (found == settings.end() || !found->second.isNumber())
        return fallback;
    double value = found->second.realValue();
    return std::isfinite(value) && value > 0 ? value : fallback;
}

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// One stream being re-encoded.
struct Lane {
    int inIndex = -1;
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* outStream = nullptr;
    // video
    SwsContext* scaler = nullptr;
    int64_t lastFrameIndex = -1;
    // audio
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    int64_t nextSample = 0;
    double expectedTime = 0; // seconds: where the next sound decoded follows on without a gap

    ~Lane()
    {
        avcodec_free_context(&decoder);
        avcodec_free_context(&encoder);
        sws_freeContext(scaler);
        swr_free(&resampler);
        if (fifo)
            av_audio_fifo_free(fifo);
    }
};

class Transcoder {
public:
    Transcoder(const MVExporterDescription& exporter, const HXPropertyList::Dictionary& settings,
        const std::function<int(double)>& progress)
        : _exporter(exporter)
        , _settings(settings)
        , _progress(progress)
    {
    }
    ~Transcoder()
    {
        if (_out) {
            if (_out->pb)
                avio_closep(&_out->pb);
            avformat_free_context(_out);
        }
        avformat_close_input(&_in);
    }

    void run(const std::string& source, const std::string& destination, MVTranscodeResult& result);

private:
    bool wantsVideo() const
    {
        return _exporter.kind == MVExporterKind::MPEG4 || _exporter.kind == MVExporterKind::Phone
            || _exporter.kind == MVExporterKind::ImageSequence;
    }
    bool wantsAudio() const { return _exporter.kind != MVExporterKind::ImageSequence; }
    bool isImageSequence() const { return _exporter.kind == MVExporterKind::ImageSequence; }

    void openInput(const std::string& source);
    void describeOwnCodecs(const std::string& source);
    void openVideo(int index);
    void openAudio(int index);
    AVCodecContext* openDecoder(int index);
    void openOutput(const std::string& destination);
    void decodePacket(Lane& lane, AVPacket* packet);
    void videoFrame(AVFrame* frame);
    void audioFrame(AVFrame* frame);
    void drainAudio(bool final);
    void encode(Lane& lane, AVFrame* frame);
    void writeImage(AVPacket* packet);
    void reportProgress(double seconds);

    const MVExporterDescription& _exporter;
    const HXPropertyList::Dictionary& _settings;
    const std::function<int(double)>& _progress;
    AVFormatContext* _in = nullptr;
    AVFormatContext* _out = nullptr;
    std::unique_ptr<Lane> _video;
    std::unique_ptr<Lane> _audio;
    double _duration = 0;
    double _reported = 0;
    AVRational _frameRate { 0, 1 };
    std::string _imageBase; // image sequences: destination without its extension
    MVTranscodeResult* _result = nullptr;
};

void Transcoder::openInput(const std::string& source)
{
    MVLimitLibavAllocations();
    if (avformat_open_input(&_in, source.c_str(), nullptr, nullptr) < 0)
        throw Failure { MVExportInvalidMovieErr, "The movie cannot be read." };
    describeOwnCodecs(source);
    check(avformat_find_stream_info(_in, nullptr), MVExportInvalidMovieErr, "The movie cannot be read");
    _duration = _in->duration > 0 ? double(_in->duration) / AV_TIME_BASE : 0;
    int video = av_find_best_stream(_in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int audio = av_find_best_stream(_in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (wantsVideo() && video >= 0)
        openVideo(video);
    if (wantsAudio() && audio >= 0)
        openAudio(audio);
    if (!_video && !_audio)
        throw Failure { MVExportInvalidMovieErr,
            isImageSequence() || _exporter.needsVideo ? "The movie has no pictures to export."
                                                      : "The movie has nothing to export." };
    if (_exporter.needsVideo && !_video)
        throw Failure { MVExportInvalidMovieErr, "The movie has no pictures to export." };
    if (_exporter.needsAudio && !_audio)
        throw Failure { MVExportInvalidMovieErr, "The movie has no sound to export." };
}

// Tracks of codecs no movie-file description names come with the program's own description, which
// libavformat does not know: their codec and parameters are read from it here (libavformat numbers a
// movie's streams by their track IDs).
void Transcoder::describeOwnCodecs(const std::string& source)
{
    std::optional<MVMovieFileDescription> file;
    for (unsigned i = 0; i < _in->nb_streams; ++i) {
        AVCodecParameters* par = _in->streams[i]->codecpar;
        if (par->codec_id != AV_CODEC_ID_NONE || par->codec_tag != MKTAG('M', 'V', 'a', 'v'))
            continue;
        if (!file && !(file = MVReadMovieFile(source, nullptr)))
            return;
        for (const auto& track : file->movie.tracks) {
            const auto& descriptions = track.media.information.sampleTable.sampleDescriptions;
            if (track.header.trackID != uint32_t(_in->streams[i]->id) || descriptions.empty())
                continue;
            if (auto own
                = MVCodecParametersOfDescription(descriptions.front(), track.media.handler.componentSubtype))
                MVFillAVCodecParameters(*own, par);
        }
    }
}

AVCodecContext* Transcoder::openDecoder(int index)
{
    auto* params = _in->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(params->codec_id);
    if (!codec)
        throw Failure { MVExportCodecErr, "The movie's media cannot be decoded." };
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        throw Failure { MVExportCodecErr, "Out of memory." };
    if (avcodec_parameters_to_context(context, params) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        throw Failure { MVExportCodecErr, "The movie's media cannot be decoded." };
    }
    context->pkt_timebase = _in->streams[index]->time_base;
    return context;
}

void Transcoder::openVideo(int index)
{
    _video = std::make_unique<Lane>();
    _video->inIndex = index;
    _video->decoder = openDecoder(index);
    auto* stream = _in->streams[index];
    // The movie's own rate when the caller knows it: an edited movie's file holds samples that are only
    // decoded (at each cut, from the key picture before it), which the stream's rates count in.
    double sourceRate = setting(_settings, "MVExpSourceFrameRate", 0);
    if (sourceRate <= 0) {
        AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        sourceRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
    }
    double wanted = setting(_settings, "MVExpFrameRate", sourceRate);
    _frameRate = av_d2q(std::min(wanted, sourceRate), 1001000);
    if (_frameRate.num <= 0)
        _frameRate = { 25, 1 };
}

void Transcoder::openAudio(int index)
{
    _audio = std::make_unique<Lane>();
    _audio->inIndex = index;
    _audio->decoder = openDecoder(index);
}

void Transcoder::openOutput(const std::string& destination)
{
    const char* format = nullptr;
    switch (_exporter.kind) {
    case MVExporterKind::MPEG4:
        format = "mp4";
        break;
    case MVExporterKind::Phone:
    case MVExporterKind::AudioOnly:
        format = "mp4";
        break;
    case MVExporterKind::Wave:
        format = "wav";
        break;
    case MVExporterKind::ImageSequence:
    case MVExporterKind::Movie:
        break;
    }
    if (format) {
        check(avformat_alloc_output_context2(&_out, nullptr, format, destination.c_str()), MVExportIOErr,
            "The file cannot be made");
    }

    if (_video) {
        const AVCodec* codec = nullptr;
        if (isImageSequence())
            codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
        else if (!(codec = avcodec_find_encoder_by_name("libx264")))
            codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!codec)
            throw Failure { MVExportCodecErr, "No encoder for the pictures is available." };
        auto* enc = _video->encoder = avcodec_alloc_context3(codec);
        auto [w, h] = MVExportPictureSize(_video->decoder->width, _video->decoder->height, _settings);
        enc->width = w;
        enc->height = h;
        enc->sample_aspect_ratio = { 1, 1 };
        enc->pix_fmt = isImageSequence() ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_YUV420P;
        enc->time_base = av_inv_q(_frameRate);
        enc->framerate = _frameRate;
        double rate = setting(_settings, "MVExpVideoDataRate", 0);
        if (rate > 0 && !isImageSequence()) {
            enc->bit_rate = int64_t(rate * 8);
            enc->rc_max_rate = enc->bit_rate * 2;
            enc->rc_buffer_size = int(std::min<int64_t>(enc->bit_rate * 2, INT32_MAX));
        }
        if (!isImageSequence()) {
            av_opt_set(enc->priv_data, "preset", "veryfast", 0);
            if (_exporter.kind == MVExporterKind::Phone)
                av_opt_set(enc->priv_data, "profile", "baseline", 0);
        }
        if (_out && (_out->oformat->flags & AVFMT_GLOBALHEADER))
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(enc, codec, nullptr), MVExportCodecErr, "The picture encoder cannot start");
        if (_out) {
            _video->outStream = avformat_new_stream(_out, nullptr);
            check(avcodec_parameters_from_context(_video->outStream->codecpar, enc), MVExportCodecErr,
                "The picture encoder cannot start");
            _video->outStream->time_base = enc->time_base;
        }
        _video->scaler = sws_getContext(_video->decoder->width, _video->decoder->height,
            _video->decoder->pix_fmt, w, h, enc->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!_video->scaler)
            throw Failure { MVExportCodecErr, "The pictures cannot be converted." };
    }

    if (_audio && _out) {
        bool wave = _exporter.kind == MVExporterKind::Wave;
        const AVCodec* codec = avcodec_find_encoder(wave ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_AAC);
        if (!codec)
            throw Failure { MVExportCodecErr, "No encoder for the sound is available." };
        auto* enc = _audio->encoder = avcodec_alloc_context3(codec);
        int channels = int(setting(_settings, "MVExpAudioNumChannels", 2)) == 1 ? 1 : 2;
        av_channel_layout_default(&enc->ch_layout, channels);
        enc->sample_rate = int(setting(_settings, "MVExpAudioSampleRate", 44100));
        enc->sample_fmt = wave ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
        enc->time_base = { 1, enc->sample_rate };
        double rate = setting(_settings, "MVExpAudioDataRate", 0);
        if (!wave)
            enc->bit_rate = rate > 0 ? int64_t(rate * 8) : 128000;
        if (_out->oformat->flags & AVFMT_GLOBALHEADER)
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(enc, codec, nullptr), MVExportCodecErr, "The sound encoder cannot start");
        _audio->outStream = avformat_new_stream(_out, nullptr);
        check(avcodec_parameters_from_context(_audio->outStream->codecpar, enc), MVExportCodecErr,
            "The sound encoder cannot start");
        _audio->outStream->time_base = enc->time_base;
        auto* dec = _audio->decoder;
        check(swr_alloc_set_opts2(&_audio->resampler, &enc->ch_layout, enc->sample_fmt, enc->sample_rate,
                  &dec->ch_layout, dec->sample_fmt, dec->sample_rate, 0, nullptr),
            MVExportCodecErr, "The sound cannot be converted");
        check(swr_init(_audio->resampler), MVExportCodecErr, "The sound cannot be converted");
        _audio->fifo = av_audio_fifo_alloc(enc->sample_fmt, channels, 4096);
        if (!_audio->fifo)
            throw Failure { MVExportCodecErr, "Out of memory." };
    }

    if (_out) {
        check(avio_open(&_out->pb, destination.c_str(), AVIO_FLAG_WRITE), MVExportIOErr,
            "The file cannot be made");
        AVDictionary* options = nullptr;
        if (_exporter.kind == MVExporterKind::MPEG4 || _exporter.kind == MVExporterKind::Phone)
            av_dict_set(&options, "movflags", "+faststart", 0); // playable while it downloads
        int result = avformat_write_header(_out, &options);
        av_dict_free(&options);
        check(result, MVExportIOErr, "The file cannot be written");
    }
}

void Transcoder::reportProgress(double seconds)
{
    if (!_progress)
        return;
    // Sound and pictures arrive interleaved, a little apart in time: the bar only moves forward.
    double fraction = _duration > 0 ? std::clamp(seconds / _duration, 0.0, 1.0) : 0;
    _reported = std::max(_reported, fraction);
    if (_progress(_reported) != 0)
        throw Failure { MVExportProgressStoppedErr, "The export was stopped." };
}

void Transcoder::decodePacket(Lane& lane, AVPacket* packet)
{
    check(avcodec_send_packet(lane.decoder, packet), MVExportInvalidMovieErr,
        "The movie's media cannot be decoded");
    FramePtr frame(av_frame_alloc());
    while (true) {
        int result = avcodec_receive_frame(lane.decoder, frame.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        check(result, MVExportInvalidMovieErr, "The movie's media cannot be decoded");
        if (&lane == _video.get())
            videoFrame(frame.get());
        else
            audioFrame(frame.get());
        av_frame_unref(frame.get());
    }
}

void Transcoder::videoFrame(AVFrame* frame)
{
    auto& lane = *_video;
    int64_t pts = frame->best_effort_timestamp;
    double seconds = pts == AV_NOPTS_VALUE ? double(lane.lastFrameIndex + 1) / av_q2d(_frameRate)
                                           : pts * av_q2d(_in->streams[lane.inIndex]->time_base);
    reportProgress(seconds);
    // Constant frame rate out: each output slot takes the first frame that reaches it.
    auto index = int64_t(std::floor(seconds * av_q2d(_frameRate) + 1e-3));
    if (index < 0 || index <= lane.lastFrameIndex)
        return;
    lane.lastFrameIndex = index;
    FramePtr out(av_frame_alloc());
    out->format = lane.encoder->pix_fmt;
    out->width = lane.encoder->width;
    out->height = lane.encoder->height;
    check(av_frame_get_buffer(out.get(), 0), MVExportCodecErr, "Out of memory");
    sws_scale(lane.scaler, frame->data, frame->linesize, 0, frame->height, out->data, out->linesize);
    out->pts = isImageSequence() ? int64_t(_result->writtenFiles.size()) : index;
    encode(lane, out.get());
}

void Transcoder::audioFrame(AVFrame* frame)
{
    auto& lane = *_audio;
    if (frame && frame->pts != AV_NOPTS_VALUE && frame->sample_rate > 0) {
        double at = frame->pts * av_q2d(_in->streams[lane.inIndex]->time_base);
        reportProgress(at);
        // The sound keeps its times, so that it stays with the pictures: where the reader leaves a gap
        // (the part of a packet it drops at a seam of the movie's edits, a time with no sound) silence
        // fills it, and sound that comes again over what was written already is left out.
        double gap = at - lane.expectedTime;
        if (gap > 0.002)
            check(swr_inject_silence(lane.resampler, int(std::lround(gap * frame->sample_rate))),
                MVExportCodecErr, "The sound cannot be converted");
        else if (gap < -0.002)
            check(swr_drop_output(lane.resampler, int(std::lround(-gap * lane.encoder->sample_rate))),
                MVExportCodecErr, "The sound cannot be converted");
        lane.expectedTime = at + double(frame->nb_samples) / frame->sample_rate;
    }
    int capacity = swr_get_out_samples(lane.resampler, frame ? frame->nb_samples : 0);
    if (capacity <= 0)
        return;
    FramePtr converted(av_frame_alloc());
    converted->format = lane.encoder->sample_fmt;
    check(av_channel_layout_copy(&converted->ch_layout, &lane.encoder->ch_layout), MVExportCodecErr,
        "Out of memory");
    converted->sample_rate = lane.encoder->sample_rate;
    converted->nb_samples = capacity;
    check(av_frame_get_buffer(converted.get(), 0), MVExportCodecErr, "Out of memory");
    int got = swr_convert(lane.resampler, converted->data, capacity,
        frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, frame ? frame->nb_samples : 0);
    check(got, MVExportCodecErr, "The sound cannot be converted");
    if (got > 0)
        check(av_audio_fifo_write(lane.fifo, reinterpret_cast<void**>(converted->data), got),
            MVExportCodecErr, "Out of memory");
    drainAudio(false);
}

void Transcoder::drainAudio(bool final)
{
    auto& lane = *_audio;
    int frameSize = lane.encoder->frame_size > 0 ? lane.encoder->frame_size : 1024;
    while (av_audio_fifo_size(lane.fifo) >= frameSize || (final && av_audio_fifo_size(lane.fifo) > 0)) {
        int n = std::min(frameSize, av_audio_fifo_size(lane.fifo));
        FramePtr out(av_frame_alloc());
        out->format = lane.encoder->sample_fmt;
        check(av_channel_layout_copy(&out->ch_layout, &lane.encoder->ch_layout), MVExportCodecErr,
            "Out of memory");
        out->sample_rate = lane.encoder->sample_rate;
        out->nb_samples = n;
        check(av_frame_get_buffer(out.get(), 0), MVExportCodecErr, "Out of memory");
        av_audio_fifo_read(lane.fifo, reinterpret_cast<void**>(out->data), n);
        out->pts = lane.nextSample;
        lane.nextSample += n;
        encode(lane, out.get());
    }
}

void Transcoder::encode(Lane& lane, AVFrame* frame)
{
    check(avcodec_send_frame(lane.encoder, frame), MVExportCodecErr, "The media cannot be encoded");
    PacketPtr packet(av_packet_alloc());
    while (true) {
        int result = avcodec_receive_packet(lane.encoder, packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        check(result, MVExportCodecErr, "The media cannot be encoded");
        if (isImageSequence()) {
            writeImage(packet.get());
        } else {
            // A picture lasts one frame of the output rate: without a duration the muxer would end the
            // movie where the last picture begins, and readers would leave that picture out.
            if (&lane == _video.get() && packet->duration <= 0)
                packet->duration = 1;
            av_packet_rescale_ts(packet.get(), lane.encoder->time_base, lane.outStream->time_base);
            packet->stream_index = lane.outStream->index;
            check(
                av_interleaved_write_frame(_out, packet.get()), MVExportIOErr, "The file cannot be written");
        }
        av_packet_unref(packet.get());
    }
}

void Transcoder::writeImage(AVPacket* packet)
{
    char number[16];
    std::snprintf(number, sizeof number, "%04zu", _result->writtenFiles.size() + 1);
    std::string path = _imageBase + number + ".png";
    _result->writtenFiles.push_back(path); // before writing: a half-written image is removed too
    FILE* file = std::fopen(path.c_str(), "wbx");
    if (!file)
        throw Failure { MVExportIOErr, "The image " + path + " cannot be written." };
    bool ok = std::fwrite(packet->data, 1, size_t(packet->size), file) == size_t(packet->size);
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        throw Failure { MVExportIOErr, "The image " + path + " cannot be written." };
}

void Transcoder::run(const std::string& source, const std::string& destination, MVTranscodeResult& result)
{
    _result = &result;
    if (isImageSequence()) {
        auto dot = destination.rfind('.');
        auto slash = destination.rfind('/');
        _imageBase = dot != std::string::npos && (slash == std::string::npos || dot > slash)
            ? destination.substr(0, dot)
            : destination;
    }
    openInput(source);
    openOutput(destination);
    PacketPtr packet(av_packet_alloc());
    while (true) {
        int read = av_read_frame(_in, packet.get());
        if (read == AVERROR_EOF)
            break;
        check(read, MVExportInvalidMovieErr, "The movie cannot be read");
        Lane* lane = _video && packet->stream_index == _video->inIndex ? _video.get()
            : _audio && packet->stream_index == _audio->inIndex        ? _audio.get()
                                                                       : nullptr;
        if (lane)
            decodePacket(*lane, packet.get());
        av_packet_unref(packet.get());
    }
    if (_video) {
        decodePacket(*_video, nullptr);
        encode(*_video, nullptr);
    }
    if (_audio && _audio->encoder) {
        decodePacket(*_audio, nullptr);
        audioFrame(nullptr); // what the resampler still holds
        drainAudio(true);
        encode(*_audio, nullptr);
    }
    if (_out) {
        check(av_write_trailer(_out), MVExportIOErr, "The file cannot be written");
        check(avio_closep(&_out->pb), MVExportIOErr, "The file cannot be written");
    }
    if (isImageSequence() && result.writtenFiles.empty())
        throw Failure { MVExportInvalidMovieErr, "The movie has no pictures to export." };
}

} // namespace

std::pair<int, int> MVExportPictureSize(int width, int height, const HXPropertyList::Dictionary& settings)
{
    double w = width, h = height;
    double boxW = setting(settings, "MVExpWidth", 0), boxH = setting(settings, "MVExpHeight", 0);
    if (boxW > 0 && boxH > 0 && (w > boxW || h > boxH)) {
        double k = std::min(boxW / w, boxH / h);
        w *= k;
        h *= k;
    }
    auto even = [](double v) { return std::max(2, int(std::lround(v / 2)) * 2); };
    return { even(w), even(h) };
}

MVTranscodeResult MVTranscodeMovieFile(const std::string& sourcePath, const std::string& destinationPath,
    const MVExporterDescription& exporter, const HXPropertyList::Dictionary& settings,
    const std::function<int(double fraction)>& progress)
{
    MVTranscodeResult result;
    // The libraries' own chatter stays out of the program's output; failures come back as statuses.
    if (av_log_get_level() > AV_LOG_ERROR)
        av_log_set_level(AV_LOG_ERROR);
    try {
        Transcoder transcoder(exporter, settings, progress);
        transcoder.run(sourcePath, destinationPath, result);
        return result;
    } catch (const Failure& failure) {
        result.status = failure.status;
        result.message = failure.message;
    }
    // Nothing half-made stays behind.
    if (exporter.kind == MVExporterKind::ImageSequence) {
        for (const auto& path : result.writtenFiles)
            ::unlink(path.c_str());
        result.writtenFiles.clear();
    } else {
        ::unlink(destinationPath.c_str());
    }
    return result;
}
