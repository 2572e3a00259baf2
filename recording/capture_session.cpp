#include "recording/capture_session.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/image.h"
#include "platform/mvkit/playback/audio_output.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>

namespace {

int64_t steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

// ---- Formats and connections ----------------------------------------------------------------------------

std::string MVCaptureFormatDescription::localizedFormatSummary() const
{
    char text[160];
    if (mediaType == MVMediaTypeVideo)
        std::snprintf(text, sizeof text, "%d x %d, %s", width, height, codecName.c_str());
    else if (channels == 1)
        std::snprintf(text, sizeof text, "%.1f kHz, Mono, %s", sampleRate / 1000.0, codecName.c_str());
    else if (channels == 2)
        std::snprintf(text, sizeof text, "%.1f kHz, Stereo, %s", sampleRate / 1000.0, codecName.c_str());
    else
        std::snprintf(text, sizeof text, "%.1f kHz, %d channels, %s", sampleRate / 1000.0, channels, codecName.c_str());
    return text;
}

MVCaptureFormatDescription MVCaptureConnection::formatDescription() const
{
    std::lock_guard lock(_mutex);
    return _format;
}

void MVCaptureConnection::setFormatDescription(const MVCaptureFormatDescription& format)
{
    std::lock_guard lock(_mutex);
    _format = format;
}

std::vector<float> MVCaptureConnection::averagePowerLevels() const
{
    std::lock_guard lock(_mutex);
    return _levels;
}

void MVCaptureConnection::setAveragePowerLevels(std::vector<float> levels)
{
    std::lock_guard lock(_mutex);
    _levels = std::move(levels);
}

std::optional<MVCaptureCompressionOptions> MVCaptureConnection::compressionOptions() const
{
    std::lock_guard lock(_mutex);
    return _compression;
}

void MVCaptureConnection::setCompressionOptions(std::optional<MVCaptureCompressionOptions> options)
{
    std::lock_guard lock(_mutex);
    _compression = std::move(options);
}

HXSize MVCaptureConnection::compressedSizeForDisplaySize(HXSize size) const
{
    auto options = compressionOptions();
    if (options && options->width > 0 && options->height > 0)
        return { double(options->width), double(options->height) };
    return size;
}

std::shared_ptr<MVCaptureConnection> MVCaptureDefaultConnectionForMediaType(
    const MVCaptureConnections& connections, uint32_t mediaType)
{
    for (auto& connection : connections) {
        if (connection->mediaType() == mediaType)
            return connection;
    }
    return nullptr;
}

// ---- Inputs and outputs ----------------------------------------------------------------------------------

std::shared_ptr<MVCaptureDeviceInput> MVCaptureDeviceInput::deviceInputWithDevice(
    const std::shared_ptr<MVCaptureDevice>& device, HXError* outError)
{
    if (!device || !device->isOpen()) {
        if (outError)
            *outError = HXError::withDescription(
                MVCaptureErrorDomain, MVCaptureErrorDeviceNotOpened, "The capture device is not open.");
        return nullptr;
    }
    return std::make_shared<MVCaptureDeviceInput>(device);
}

MVCaptureDeviceInput::MVCaptureDeviceInput(std::shared_ptr<MVCaptureDevice> device)
    : _device(std::move(device))
{
    if (_device->hasMediaType(MVMediaTypeVideo))
        _connections.push_back(std::make_shared<MVCaptureConnection>(MVMediaTypeVideo));
    if (_device->hasMediaType(MVMediaTypeSound))
        _connections.push_back(std::make_shared<MVCaptureConnection>(MVMediaTypeSound));
}

MVCaptureConnections MVCaptureOutput::connections() const
{
    auto session = _session.lock();
    return session ? session->enabledConnections() : MVCaptureConnections {};
}

// The monitor: captured sound converted to the output's format, queued, and pulled by the output's thread.
struct MVCaptureAudioPreviewOutput::Monitor {
    std::mutex mutex;
    std::deque<float> queue;
    SwrContext* converter = nullptr;
    MVAudioFormat format;
    std::unique_ptr<MVAudioOutput> output;
    std::atomic<float>* volume = nullptr;

    ~Monitor()
    {
        output.reset(); // stops the device's thread before the queue goes
        swr_free(&converter);
    }

    void render(float* out, int frames)
    {
        std::lock_guard lock(mutex);
        float gain = volume ? volume->load() : 0;
        size_t wanted = size_t(frames) * size_t(format.channelCount);
        for (size_t i = 0; i < wanted; ++i) {
            float sample = 0;
            if (!queue.empty()) {
                sample = queue.front() * gain;
                queue.pop_front();
            }
            out[i] = sample;
        }
    }

    void push(const AVFrame& frame)
    {
        std::lock_guard lock(mutex);
        if (!converter) {
            AVChannelLayout layout;
            av_channel_layout_default(&layout, format.channelCount);
            swr_alloc_set_opts2(&converter, &layout, AV_SAMPLE_FMT_FLT, format.sampleRate,
                const_cast<AVChannelLayout*>(&frame.ch_layout), AVSampleFormat(frame.format), frame.sample_rate, 0,
                nullptr);
            if (!converter || swr_init(converter) < 0) {
                swr_free(&converter);
                return;
            }
        }
        int capacity = swr_get_out_samples(converter, frame.nb_samples);
        std::vector<float> converted(size_t(std::max(capacity, 0)) * size_t(format.channelCount));
        uint8_t* planes[1] = { reinterpret_cast<uint8_t*>(converted.data()) };
        int count = swr_convert(converter, planes, capacity, const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
        if (count > 0)
            queue.insert(queue.end(), converted.begin(), converted.begin() + count * format.channelCount);
        // A quarter of a second at most waits: the monitor stays close to the live sound.
        size_t limit = size_t(format.sampleRate / 4) * size_t(format.channelCount);
        while (queue.size() > limit)
            queue.pop_front();
    }
};

MVCaptureAudioPreviewOutput::MVCaptureAudioPreviewOutput() = default;

MVCaptureAudioPreviewOutput::~MVCaptureAudioPreviewOutput()
{
    _playing = nullptr;
}

void MVCaptureAudioPreviewOutput::setVolume(float volume)
{
    _volume = std::clamp(volume, 0.0f, 1.0f);
    if (_volume <= 0 || _monitor)
        return;
    auto monitor = std::make_shared<Monitor>();
    monitor->volume = &_volume;
    Monitor* raw = monitor.get();
    HXError error;
    monitor->output = MVSDLAudioOutput::output(monitor->format, [raw](float* out, int frames) { raw->render(out, frames); }, &error);
    if (!monitor->output)
        return; // no sound device: the meter still works, nothing is heard
    monitor->output->setRunning(true);
    _monitor = monitor;
    _playing = raw;
}

void MVCaptureAudioPreviewOutput::outputFrame(
    const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame, int64_t)
{
    if (connection->mediaType() != MVMediaTypeSound || frame.nb_samples <= 0)
        return;
    if (Monitor* monitor = _playing.load(); monitor && _volume > 0)
        monitor->push(frame);
    int channels = frame.ch_layout.nb_channels;
    if (channels <= 0)
        return;
    auto format = AVSampleFormat(frame.format);
    bool planar = av_sample_fmt_is_planar(format);
    auto sampleAt = [&](int channel, int index) -> double {
        int plane = planar ? channel : 0;
        int position = planar ? index : index * channels + channel;
        const uint8_t* data = frame.extended_data[plane];
        switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8: return (data[position] - 128) / 128.0;
        case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(data)[position] / 32768.0;
        case AV_SAMPLE_FMT_S32: return reinterpret_cast<const int32_t*>(data)[position] / 2147483648.0;
        case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(data)[position];
        case AV_SAMPLE_FMT_DBL: return reinterpret_cast<const double*>(data)[position];
        default: return 0;
        }
    };
    std::vector<float> levels;
    for (int channel = 0; channel < channels; ++channel) {
        double sum = 0;
        for (int i = 0; i < frame.nb_samples; ++i) {
            double s = sampleAt(channel, i);
            sum += s * s;
        }
        double rms = std::sqrt(sum / frame.nb_samples);
        // Silence reads as the meter's floor rather than minus infinity.
        levels.push_back(rms > 1e-8 ? float(20 * std::log10(rms)) : -160.0f);
    }
    connection->setAveragePowerLevels(std::move(levels));
}

// ---- Session --------------------------------------------------------------------------------------------

// Reads one device input on its own thread.
struct MVCaptureSession::Reader {
    MVCaptureSession* session = nullptr; // joins this reader before it goes
    std::shared_ptr<MVCaptureDeviceInput> input;
    std::atomic<bool> stop { false };
    std::mutex mutex;
    std::condition_variable wake;
    std::thread thread;

    struct Stream {
        int index = -1;
        AVCodecContext* decoder = nullptr;
        std::shared_ptr<MVCaptureConnection> connection;
    };

    ~Reader()
    {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
        if (thread.joinable())
            thread.join();
    }

    static int interrupt(void* opaque) { return static_cast<Reader*>(opaque)->stop ? 1 : 0; }

    // Waits until `until` (steady microseconds) or a stop; false on stop.
    bool sleepUntil(int64_t until)
    {
        std::unique_lock lock(mutex);
        auto deadline = std::chrono::steady_clock::time_point(std::chrono::microseconds(until));
        wake.wait_until(lock, deadline, [this] { return stop.load(); });
        return !stop;
    }

    void fail(const std::string& text)
    {
        if (stop)
            return;
        session->reportRuntimeError(HXError::withDescription(MVCaptureErrorDomain, MVCaptureErrorDeviceNotOpened,
                input->device()->localizedDisplayName() + ": " + text));
    }

    void run()
    {
        MVCaptureDeviceInfo info = input->device()->info();
        const AVInputFormat* format = av_find_input_format(info.inputFormat.c_str());
        if (!format) {
            fail("this machine cannot read " + info.inputFormat + " devices");
            return;
        }
        AVFormatContext* context = avformat_alloc_context();
        context->interrupt_callback = { &Reader::interrupt, this };
        AVDictionary* options = nullptr;
        for (auto& [key, value] : info.options)
            av_dict_set(&options, key.c_str(), value.c_str(), 0);
        std::string source = input->device()->inputSourceIdentifier();
        if (info.inputFormat == "video4linux2" && !source.empty())
            av_dict_set(&options, "channel", source.c_str(), 0);
        int status = avformat_open_input(&context, info.url.c_str(), format, &options);
        av_dict_free(&options);
        if (status < 0) {
            fail(avErrorText(status));
            return;
        }
        std::vector<Stream> streams;
        if (avformat_find_stream_info(context, nullptr) >= 0)
            streams = openStreams(context);
        if (streams.empty())
            fail("the device gives nothing to record");
        else
            readPackets(context, streams);
        for (auto& stream : streams)
            avcodec_free_context(&stream.decoder);
        avformat_close_input(&context);
    }

    std::vector<Stream> openStreams(AVFormatContext* context)
    {
        std::vector<Stream> streams;
        for (auto type : { AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO }) {
            auto connection = input->defaultConnectionForMediaType(
                type == AVMEDIA_TYPE_VIDEO ? MVMediaTypeVideo : MVMediaTypeSound);
            int index = av_find_best_stream(context, type, -1, -1, nullptr, 0);
            if (!connection || index < 0)
                continue;
            AVStream* stream = context->streams[index];
            const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
            AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
            if (!decoder || avcodec_parameters_to_context(decoder, stream->codecpar) < 0
                || avcodec_open2(decoder, codec, nullptr) < 0) {
                avcodec_free_context(&decoder);
                continue;
            }
            MVCaptureFormatDescription description;
            description.mediaType = connection->mediaType();
            description.codecName = codec->name;
            description.width = stream->codecpar->width;
            description.height = stream->codecpar->height;
            description.sampleRate = stream->codecpar->sample_rate;
            description.channels = stream->codecpar->ch_layout.nb_channels;
            connection->setFormatDescription(description);
            streams.push_back({ index, decoder, connection });
        }
        return streams;
    }

    void readPackets(AVFormatContext* context, std::vector<Stream>& streams)
    {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        // Generated sources run as fast as they can: their buffers are held back to their own time.
        int64_t base = AV_NOPTS_VALUE;
        while (!stop) {
            int status = av_read_frame(context, packet);
            if (status == AVERROR(EAGAIN)) {
                sleepUntil(steadyMicroseconds() + 5000);
                continue;
            }
            if (status < 0) {
                if (status != AVERROR_EOF)
                    fail(avErrorText(status));
                break;
            }
            for (auto& stream : streams) {
                if (stream.index != packet->stream_index)
                    continue;
                if (avcodec_send_packet(stream.decoder, packet) < 0)
                    break;
                while (!stop && avcodec_receive_frame(stream.decoder, frame) == 0) {
                    int64_t pts = frame->best_effort_timestamp == AV_NOPTS_VALUE ? 0 : frame->best_effort_timestamp;
                    int64_t micro = av_rescale_q(pts, context->streams[stream.index]->time_base, { 1, 1000000 });
                    int64_t now = steadyMicroseconds();
                    // A source that falls a second behind its clock is taken at its word again.
                    if (base == AV_NOPTS_VALUE || base + micro < now - 1000000)
                        base = now - micro;
                    int64_t due = base + micro;
                    if (due > now && !sleepUntil(due))
                        break;
                    session->outputFrame(stream.connection, *frame, due);
                    av_frame_unref(frame);
                }
            }
            av_packet_unref(packet);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

MVCaptureSession::MVCaptureSession()
{
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

MVCaptureSession::~MVCaptureSession()
{
    _readers.clear();
    sws_freeContext(_imageScaler);
}

bool MVCaptureSession::addInput(const std::shared_ptr<MVCaptureDeviceInput>& input, HXError* outError)
{
    if (!input || _running) {
        if (outError)
            *outError = HXError::withDescription(
                MVCaptureErrorDomain, MVCaptureErrorDeviceNotOpened, "The input cannot be added to the session.");
        return false;
    }
    _inputs.push_back(input);
    return true;
}

bool MVCaptureSession::addOutput(const std::shared_ptr<MVCaptureOutput>& output, HXError* outError)
{
    if (!output || _running) {
        if (outError)
            *outError = HXError::withDescription(
                MVCaptureErrorDomain, MVCaptureErrorRecordingFailed, "The output cannot be added to the session.");
        return false;
    }
    output->_session = weak_from_this();
    _outputs.push_back(output);
    return true;
}

MVCaptureConnections MVCaptureSession::enabledConnections() const
{
    MVCaptureConnections result;
    for (auto& input : _inputs) {
        for (auto& connection : input->connections()) {
            if (connection->isEnabled())
                result.push_back(connection);
        }
    }
    return result;
}

void MVCaptureSession::startRunning()
{
    if (_running)
        return;
    _running = true;
    for (auto& input : _inputs) {
        auto reader = std::make_unique<Reader>();
        reader->session = this;
        reader->input = input;
        Reader* raw = reader.get();
        reader->thread = std::thread([raw] { raw->run(); });
        _readers.push_back(std::move(reader));
    }
}

void MVCaptureSession::stopRunning()
{
    if (!_running)
        return;
    _running = false;
    // Joins the readers: no buffer arrives after this.
    _readers.clear();
}

void MVCaptureSession::outputFrame(
    const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame, int64_t time)
{
    if (!connection->isEnabled())
        return;
    if (connection->mediaType() == MVMediaTypeVideo && time - _lastImageTime >= 30000) {
        // The preview needs no more than about 30 pictures a second.
        _lastImageTime = time;
        int width = frame.width, height = frame.height;
        _imageScaler = sws_getCachedContext(_imageScaler, width, height, AVPixelFormat(frame.format), width, height,
            AV_PIX_FMT_RGBA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (_imageScaler && width > 0 && height > 0) {
            std::vector<uint8_t> pixels(size_t(width) * height * 4);
            uint8_t* planes[1] = { pixels.data() };
            int strides[1] = { width * 4 };
            sws_scale(_imageScaler, frame.data, frame.linesize, 0, height, planes, strides);
            auto image = HXImage::initWithBitmapImageRep(
                HXBitmapImageRep::initWithRGBAData(pixels.data(), width, height, size_t(width) * 4, true));
            std::lock_guard lock(_imageMutex);
            _lastImage = image;
        }
    }
    for (auto& output : _outputs)
        output->outputFrame(connection, frame, time);
}

std::shared_ptr<HXImage> MVCaptureSession::lastImage() const
{
    std::lock_guard lock(_imageMutex);
    return _lastImage;
}

void MVCaptureSession::reportRuntimeError(const HXError& error)
{
    std::weak_ptr<MVCaptureSession> weak = weak_from_this();
    HXRunLoop::performOnMainThread([weak, error] {
        auto session = weak.lock();
        if (!session)
            return;
        HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVCaptureSessionRuntimeErrorNotification,
            session, { { MVCaptureSessionErrorKey, error.archived() } }));
    });
}
