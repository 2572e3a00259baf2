// The movie file output: encodes the session's pictures and sound and writes them with the media library's
// movie muxer, so that any reader of movie files reads what we record.
#include "recording/capture_session.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

namespace {

// How long a recording waits for every device to know its format before it starts without the late ones.
constexpr int64_t kDeviceOpeningWait = 3'000'000; // microseconds

int64_t steadyNow()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

HXError recordingError(const std::string& text, bool fileUsable)
{
    HXError error = HXError::withDescription(MVCaptureErrorDomain, MVCaptureErrorRecordingFailed, text);
    error.userInfo()[MVErrorRecordingSuccesfullyFinishedKey] = HXPropertyList(fileUsable);
    return error;
}

const AVCodec* videoEncoder(const std::optional<MVCaptureCompressionOptions>& options)
{
    if (options && !options->videoCodec.empty()) {
        if (auto* codec = avcodec_find_encoder_by_name(options->videoCodec == "h264" ? "libx264" : options->videoCodec.c_str()))
            return codec;
    }
    if (auto* codec = avcodec_find_encoder_by_name("libx264"))
        return codec;
    return avcodec_find_encoder(AV_CODEC_ID_MPEG4);
}

} // namespace

struct MVCaptureMovieFileOutput::Writer {
    struct Track {
        AVStream* stream = nullptr;
        AVCodecContext* encoder = nullptr;
        SwsContext* scaler = nullptr;
        SwrContext* resampler = nullptr;
        AVAudioFifo* fifo = nullptr;
        AVFrame* frame = nullptr;
        int64_t nextPts = AV_NOPTS_VALUE; // sound: in samples; pictures: the last one given, in microseconds
    };
    AVFormatContext* format = nullptr;
    std::map<MVCaptureConnection*, Track> tracks;
    AVPacket* packet = av_packet_alloc();
    std::string error;

    ~Writer()
    {
        for (auto& [connection, track] : tracks) {
            avcodec_free_context(&track.encoder);
            sws_freeContext(track.scaler);
            swr_free(&track.resampler);
            if (track.fifo)
                av_audio_fifo_free(track.fifo);
            av_frame_free(&track.frame);
        }
        if (format) {
            if (format->pb)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
        av_packet_free(&packet);
    }

    bool addVideo(MVCaptureConnection& connection, const MVCaptureFormatDescription& source)
    {
        auto options = connection.compressionOptions();
        const AVCodec* codec = videoEncoder(options);
        if (!codec)
            return false;
        Track track;
        track.encoder = avcodec_alloc_context3(codec);
        int width = options && options->width > 0 ? options->width : source.width;
        int height = options && options->height > 0 ? options->height : source.height;
        track.encoder->width = (width + 1) & ~1;
        track.encoder->height = (height + 1) & ~1;
        track.encoder->pix_fmt = codec->id == AV_CODEC_ID_MJPEG ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
        track.encoder->time_base = { 1, 1000 };
        track.encoder->framerate = { 30, 1 };
        track.encoder->gop_size = options && options->keyFrameInterval > 0 ? options->keyFrameInterval : 30;
        track.encoder->bit_rate = options && options->bitRate > 0
            ? options->bitRate
            : int64_t(track.encoder->width) * track.encoder->height * 4;
        if (codec->id == AV_CODEC_ID_H264)
            av_opt_set(track.encoder->priv_data, "preset", "veryfast", 0);
        return open(connection, track, codec);
    }

    bool addSound(MVCaptureConnection& connection, const MVCaptureFormatDescription& source)
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec || source.sampleRate <= 0)
            return false;
        auto options = connection.compressionOptions();
        Track track;
        track.encoder = avcodec_alloc_context3(codec);
        track.encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
        track.encoder->sample_rate = source.sampleRate;
        int channels = options && options->channels > 0 ? options->channels : std::min(std::max(source.channels, 1), 2);
        av_channel_layout_default(&track.encoder->ch_layout, channels);
        track.encoder->bit_rate = 64000 * channels;
        track.encoder->time_base = { 1, source.sampleRate };
        if (!open(connection, track, codec))
            return false;
        track.fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, track.encoder->frame_size * 4);
        tracks[&connection] = track;
        return track.fifo != nullptr;
    }

    bool open(MVCaptureConnection& connection, Track& track, const AVCodec* codec)
    {
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            track.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(track.encoder, codec, nullptr) < 0) {
            avcodec_free_context(&track.encoder);
            return false;
        }
        track.stream = avformat_new_stream(format, nullptr);
        track.stream->time_base = track.encoder->time_base;
        avcodec_parameters_from_context(track.stream->codecpar, track.encoder);
        track.frame = av_frame_alloc();
        tracks[&connection] = track;
        return true;
    }

    bool write(Track& track, AVFrame* frame)
    {
        if (avcodec_send_frame(track.encoder, frame) < 0)
            return false;
        while (avcodec_receive_packet(track.encoder, packet) == 0) {
            av_packet_rescale_ts(packet, track.encoder->time_base, track.stream->time_base);
            packet->stream_index = track.stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) {
                error = "The movie file could not be written.";
                return false;
            }
        }
        return true;
    }

    void video(Track& track, const AVFrame& source, int64_t time)
    {
        int64_t pts = time / 1000;
        if (track.nextPts != AV_NOPTS_VALUE && pts <= track.nextPts)
            return; // two pictures in one millisecond: keep the first
        track.nextPts = pts;
        AVCodecContext* e = track.encoder;
        track.scaler = sws_getCachedContext(track.scaler, source.width, source.height, AVPixelFormat(source.format),
            e->width, e->height, e->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
        AVFrame* frame = track.frame;
        av_frame_unref(frame);
        frame->format = e->pix_fmt;
        frame->width = e->width;
        frame->height = e->height;
        if (!track.scaler || av_frame_get_buffer(frame, 0) < 0)
            return;
        sws_scale(track.scaler, source.data, source.linesize, 0, source.height, frame->data, frame->linesize);
        frame->pts = pts;
        write(track, frame);
    }

    void sound(Track& track, const AVFrame& source, int64_t time)
    {
        AVCodecContext* e = track.encoder;
        if (!track.resampler) {
            swr_alloc_set_opts2(&track.resampler, &e->ch_layout, e->sample_fmt, e->sample_rate, const_cast<AVChannelLayout*>(&source.ch_layout),
                AVSampleFormat(source.format), source.sample_rate, 0, nullptr);
            if (!track.resampler || swr_init(track.resampler) < 0)
                return;
            // Sound that starts after the pictures starts at its own time.
            track.nextPts = av_rescale(time, e->sample_rate, 1000000);
        }
        int capacity = swr_get_out_samples(track.resampler, source.nb_samples);
        uint8_t** planes = nullptr;
        if (av_samples_alloc_array_and_samples(&planes, nullptr, e->ch_layout.nb_channels, capacity, e->sample_fmt, 0) < 0)
            return;
        int converted = swr_convert(track.resampler, planes, capacity,
            const_cast<const uint8_t**>(source.extended_data), source.nb_samples);
        if (converted > 0)
            av_audio_fifo_write(track.fifo, reinterpret_cast<void**>(planes), converted);
        av_freep(&planes[0]);
        av_freep(&planes);
        drain(track, false);
    }

    void drain(Track& track, bool all)
    {
        AVCodecContext* e = track.encoder;
        while (av_audio_fifo_size(track.fifo) >= e->frame_size || (all && av_audio_fifo_size(track.fifo) > 0)) {
            int count = std::min(av_audio_fifo_size(track.fifo), e->frame_size);
            AVFrame* frame = track.frame;
            av_frame_unref(frame);
            frame->nb_samples = e->frame_size;
            frame->format = e->sample_fmt;
            frame->sample_rate = e->sample_rate;
            av_channel_layout_copy(&frame->ch_layout, &e->ch_layout);
            if (av_frame_get_buffer(frame, 0) < 0)
                return;
            av_samples_set_silence(frame->extended_data, 0, e->frame_size, e->ch_layout.nb_channels, e->sample_fmt);
            av_audio_fifo_read(track.fifo, reinterpret_cast<void**>(frame->extended_data), count);
            frame->pts = track.nextPts;
            track.nextPts += e->frame_size;
            if (!write(track, frame))
                return;
        }
    }

    // Flushes the encoders and completes the file; false with `error` set when that fails.
    bool finish()
    {
        for (auto& [connection, track] : tracks) {
            if (track.fifo)
                drain(track, true);
            write(track, nullptr);
        }
        if (av_write_trailer(format) < 0 && error.empty())
            error = "The movie file could not be completed.";
        if (avio_closep(&format->pb) < 0 && error.empty())
            error = "The movie file could not be closed.";
        return error.empty();
    }
};

MVCaptureMovieFileOutput::MVCaptureMovieFileOutput() = default;

MVCaptureMovieFileOutput::~MVCaptureMovieFileOutput()
{
    waitUntilFinished();
}

void MVCaptureMovieFileOutput::setDelegate(std::weak_ptr<MVCaptureFileOutputDelegate> delegate)
{
    std::lock_guard lock(_mutex);
    _delegate = std::move(delegate);
}

std::shared_ptr<MVCaptureFileOutputDelegate> MVCaptureMovieFileOutput::delegate() const
{
    std::lock_guard lock(_mutex);
    return _delegate.lock();
}

std::string MVCaptureMovieFileOutput::outputFileURL() const
{
    std::lock_guard lock(_mutex);
    return _recording ? _path : std::string();
}

bool MVCaptureMovieFileOutput::isRecording() const
{
    std::lock_guard lock(_mutex);
    return _recording;
}

bool MVCaptureMovieFileOutput::isRecordingPaused() const
{
    std::lock_guard lock(_mutex);
    return _recording && _paused;
}

void MVCaptureMovieFileOutput::pauseRecording()
{
    std::lock_guard lock(_mutex);
    if (!_recording || _paused)
        return;
    _paused = true;
    _pausedAt = steadyNow();
}

void MVCaptureMovieFileOutput::resumeRecording()
{
    std::lock_guard lock(_mutex);
    if (!_recording || !_paused)
        return;
    _paused = false;
    _pausedTotal += steadyNow() - _pausedAt;
}

void MVCaptureMovieFileOutput::waitUntilFinished()
{
    if (_finisher.joinable())
        _finisher.join();
}

void MVCaptureMovieFileOutput::recordToOutputFileURL(const std::string& path)
{
    std::unique_lock lock(_mutex);
    if (!_recording && path.empty())
        return;
    if (_recording) {
        // A new file or none: the one being written is finished first.
        auto writer = std::move(_writer);
        std::string finished = _path;
        _recording = false;
        lock.unlock();
        waitUntilFinished();
        _finisher = std::thread([this, w = writer.release(), finished]() mutable {
            finish(std::unique_ptr<Writer>(w), finished);
        });
        if (path.empty())
            return;
        waitUntilFinished();
        lock.lock();
    }
    _path = path;
    _recording = true;
    _paused = false;
    _pausedTotal = 0;
    _startTime = steadyNow();
    _recordedFileSize = 0;
    _recordedDuration = 0;
}

void MVCaptureMovieFileOutput::finish(std::unique_ptr<Writer> writer, std::string path)
{
    auto listener = delegate();
    if (listener)
        listener->captureOutputWillFinishRecording(*this, path);
    std::optional<HXError> error;
    if (!writer) {
        error = recordingError("Nothing was recorded: the devices gave no pictures or sound.", false);
    } else if (!writer->error.empty()) {
        error = recordingError(writer->error, false);
    } else if (!writer->finish()) {
        error = recordingError(writer->error, false);
    } else {
        std::error_code ignored;
        _recordedFileSize = uint64_t(std::filesystem::file_size(path, ignored));
    }
    writer.reset();
    if (listener)
        listener->captureOutputDidFinishRecording(*this, path, error);
}

void MVCaptureMovieFileOutput::outputFrame(
    const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame, int64_t time)
{
    auto listener = delegate();
    bool started = false;
    std::string path;
    {
        std::lock_guard lock(_mutex);
        if (!_recording || _paused)
            return;
        int64_t at = time - _startTime - _pausedTotal;
        if (at < 0)
            return;
        path = _path;
        if (!_writer) {
            // The file's tracks are the enabled connections whose format is known by now. A device that
            // opens later than the others (a sound card on a busy machine) is waited for a while, so that
            // the file does not go without its track; the recording then starts with the frame that
            // begins the file.
            auto connected = connections();
            bool allKnown = std::all_of(connected.begin(), connected.end(),
                [](const auto& c) { return c->formatDescription().isValid(); });
            if (!allKnown && steadyNow() - _startTime < kDeviceOpeningWait)
                return;
            _startTime = time - _pausedTotal;
            at = 0;
            auto writer = std::make_unique<Writer>();
            if (avformat_alloc_output_context2(&writer->format, nullptr, "mov", _path.c_str()) < 0 || !writer->format)
                return;
            for (auto& c : connected) {
                auto format = c->formatDescription();
                if (!format.isValid())
                    continue;
                if (c->mediaType() == MVMediaTypeVideo)
                    writer->addVideo(*c, format);
                else
                    writer->addSound(*c, format);
            }
            if (writer->tracks.empty() || avio_open(&writer->format->pb, _path.c_str(), AVIO_FLAG_WRITE) < 0
                || avformat_write_header(writer->format, nullptr) < 0) {
                writer->error = "The movie file could not be started.";
            }
            _writer = std::move(writer);
            started = true;
        }
        if (_writer->error.empty()) {
            auto track = _writer->tracks.find(connection.get());
            if (track != _writer->tracks.end()) {
                if (connection->mediaType() == MVMediaTypeVideo)
                    _writer->video(track->second, frame, at);
                else
                    _writer->sound(track->second, frame, at);
                _recordedDuration = std::max<int64_t>(_recordedDuration, at);
                if (_writer->format->pb)
                    _recordedFileSize = uint64_t(std::max<int64_t>(0, avio_tell(_writer->format->pb)));
            }
        }
    }
    if (listener) {
        if (started)
            listener->captureOutputDidStartRecording(*this, path);
        listener->captureOutputDidOutputSampleBuffer(*this, connection);
    }
}
