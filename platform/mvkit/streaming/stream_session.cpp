#include "platform/mvkit/streaming/stream_session.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/url.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/streaming/rtp_relay.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace {

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

constexpr int64_t kStreamErrorCode = -2010;

HXError streamError(const std::string& text, const std::string& url)
{
    HXError e = HXError::withDescription(HXOSStatusErrorDomain, kStreamErrorCode, text);
    e.userInfo()[HXURLErrorKey] = url;
    return e;
}

// The RTP receiver inside the demuxer reports the packets it gave up waiting for in its log; those
// reports, counted per demuxer, are the packet loss of RTSP over UDP.
std::mutex missedMutex;
std::map<const void*, std::atomic<int64_t>*>& missedTargets()
{
    static auto* targets = new std::map<const void*, std::atomic<int64_t>*>;
    return *targets;
}

void logCallback(void* context, int level, const char* format, va_list arguments)
{
    static const char kMissed[] = "RTP: missed %d packets";
    if (format && level <= AV_LOG_WARNING && std::strncmp(format, kMissed, sizeof kMissed - 1) == 0) {
        va_list copy;
        va_copy(copy, arguments);
        int missed = va_arg(copy, int);
        va_end(copy);
        std::lock_guard lock(missedMutex);
        if (auto it = missedTargets().find(context); it != missedTargets().end() && missed > 0)
            *it->second += missed;
    }
    av_log_default_callback(context, level, format, arguments);
}

void installLogCallback()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(logCallback); });
}

// What a stream of ours reads through a reading context of its own (AVFMT_FLAG_CUSTOM_IO).
struct CustomInput {
    virtual ~CustomInput() = default;
    virtual int read(uint8_t* buffer, int size) = 0;
    static int readPacket(void* opaque, uint8_t* buffer, int size)
    {
        return static_cast<CustomInput*>(opaque)->read(buffer, size);
    }
};

// An SDP text read from a file or a network location (a few kilobytes at most).
struct SDPReader : CustomInput {
    std::string text;
    size_t position = 0;
    explicit SDPReader(std::string description)
        : text(std::move(description))
    {
    }
    int read(uint8_t* buffer, int size) override
    {
        size_t n = std::min(size_t(size), text.size() - position);
        if (n == 0)
            return AVERROR_EOF;
        std::memcpy(buffer, text.data() + position, n);
        position += n;
        return int(n);
    }
};

// A transport stream received over UDP (libavformat's receiver, with its queue), its packets counted
// on the way to the demuxer: over UDP the continuity counters are what tells of packets lost.
struct UDPReader : CustomInput {
    AVIOContext* socket = nullptr;
    std::shared_ptr<MVStreamSession::TransportCounts> counts;
    ~UDPReader() override { avio_closep(&socket); }
    int read(uint8_t* buffer, int size) override
    {
        int n = avio_read_partial(socket, buffer, size);
        if (n > 0) {
            std::lock_guard lock(counts->mutex);
            counts->counter.receive(buffer, size_t(n));
        }
        return n == 0 ? AVERROR_EOF : n;
    }
};

AVIOContext* customIO(CustomInput* input)
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(32768));
    AVIOContext* io = buffer
        ? avio_alloc_context(buffer, 32768, 0, input, &CustomInput::readPacket, nullptr, nullptr)
        : nullptr;
    if (!io) {
        av_free(buffer);
        delete input;
    }
    return io;
}

// A reading context of ours, freed with what it reads.
void freeCustomIO(AVIOContext* io)
{
    if (!io)
        return;
    delete static_cast<CustomInput*>(io->opaque);
    av_freep(&io->buffer);
    avio_context_free(&io);
}

// Whether `host` is a multicast group (which the receiver joins) rather than an address of this machine.
bool isMulticast(const std::string& host)
{
    in_addr v4 {};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 28) == 0xE;
    in6_addr v6 {};
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && v6.s6_addr[0] == 0xFF;
}

std::string schemeOf(const std::string& url)
{
    auto colon = url.find(':');
    return colon == std::string::npos ? std::string() : lowercase(url.substr(0, colon));
}

std::string extensionOf(const std::string& url)
{
    std::string path = url;
    path = path.substr(0, path.find_first_of("?#"));
    auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return lowercase(path.substr(dot + 1));
}

std::string codecDisplayName(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264:
        return "H.264";
    case AV_CODEC_ID_HEVC:
        return "HEVC";
    case AV_CODEC_ID_MPEG4:
        return "MPEG-4 Video";
    case AV_CODEC_ID_MJPEG:
        return "Photo - JPEG";
    case AV_CODEC_ID_AAC:
        return "AAC";
    case AV_CODEC_ID_MP3:
        return "MPEG Layer 3";
    case AV_CODEC_ID_AC3:
        return "AC3";
    default:
        break;
    }
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    if (!descriptor)
        return "Unknown";
    if (std::strncmp(descriptor->name, "pcm_", 4) == 0)
        return "Linear PCM";
    return descriptor->long_name ? descriptor->long_name : descriptor->name;
}

constexpr int64_t kLiveDuration = INT64_MAX / 4;

// Whether the stream is read from the segments a playlist or a manifest lists (HLS, DASH).
bool readsAPlaylist(const AVFormatContext* context)
{
    return context->iformat
        && (std::strcmp(context->iformat->name, "hls") == 0 || std::strcmp(context->iformat->name, "dash") == 0);
}

} // namespace

// ---- Starting and ending

bool MVStreamSession::isStreamURL(const std::string& url)
{
    const std::string scheme = schemeOf(url);
    const std::string extension = extensionOf(url);
    if (scheme == "rtsp" || scheme == "rtp" || scheme == "udp")
        return true;
    if (extension == "m3u8" || extension == "m3u" || extension == "mpd" || extension == "sdp")
        return scheme == "http" || scheme == "https" || scheme == "file";
    return false;
}

std::shared_ptr<MVStreamSession> MVStreamSession::start(const std::string& url, Options options, Delegate delegate)
{
    std::shared_ptr<MVStreamSession> session(new MVStreamSession(url, options, std::move(delegate)));
    session->_statistics = std::make_shared<MVStreamingStatistics>();
    session->_reader = std::thread([raw = session.get()] { raw->run(); });
    return session;
}

MVStreamSession::MVStreamSession(std::string url, Options options, Delegate delegate)
    : _url(std::move(url))
    , _options(options)
    , _delegate(std::move(delegate))
    , _sound(2, 4800)
{
}

MVStreamSession::~MVStreamSession()
{
    cancel();
}

void MVStreamSession::cancel()
{
    if (_network.cancelled())
        return;
    _network.cancel();
    {
        std::lock_guard lock(_mutex);
        _stop = true;
    }
    _wake.notify_all();
    _pictures.stop();
    if (_reader.joinable())
        _reader.join();
    if (_pictureThread.joinable())
        _pictureThread.join();
    closeAll();
    _delegate = {};
    if (_statisticsTimer)
        _statisticsTimer->invalidate();
    if (_playingStatusTimer)
        _playingStatusTimer->invalidate();
}

void MVStreamSession::closeAll()
{
    closeInput();
    for (auto& p : _videoPackets)
        av_packet_free(&p.packet);
    _videoPackets.clear();
    avcodec_free_context(&_videoCodec);
    avcodec_free_context(&_audioCodec);
    swr_free(&_resampler);
    _relay.reset();
}

void MVStreamSession::closeInput()
{
    {
        std::lock_guard lock(missedMutex);
        missedTargets().erase(_context);
    }
    if (!_context)
        return;
    // What the closed connection brought still counts (nested resources count as they close).
    if (_context->pb) {
        _closedIOBytes += _context->pb->bytes_read;
        std::erase(_openIO, _context->pb);
    }
    AVIOContext* custom = (_context->flags & AVFMT_FLAG_CUSTOM_IO) ? _context->pb : nullptr;
    avformat_close_input(&_context);
    _openIO.clear();
    freeCustomIO(custom);
}

// ---- The main thread's side

void MVStreamSession::onMain(std::function<void(MVStreamSession&)> fn)
{
    std::weak_ptr<MVStreamSession> weak = weak_from_this();
    HXRunLoop::performOnMainThread([weak, fn = std::move(fn)] {
        auto self = weak.lock();
        if (self && !self->_network.cancelled())
            fn(*self);
    });
}

void MVStreamSession::postStatus(long code, const std::string& text)
{
    if (code == _lastStatus && text == _lastStatusText && code != MVMovieStreamingStatusPlaying)
        return;
    _lastStatus = code;
    _lastStatusText = text;
    if (_delegate.status)
        _delegate.status(code, text);
}

void MVStreamSession::fail(const HXError& error)
{
    {
        std::lock_guard lock(_mutex);
        if (_failed)
            return;
        _error = error;
        _failed = true;
    }
    onMain([error](MVStreamSession& s) {
        if (s._playingStatusTimer)
            s._playingStatusTimer->invalidate();
        s.sampleStatistics();
        if (s._statisticsTimer)
            s._statisticsTimer->invalidate();
        if (s._delegate.failed)
            s._delegate.failed(error);
    });
}

void MVStreamSession::setPlaying(bool playing)
{
    if (playing == _playing)
        return;
    _playing = playing;
    if (_prerolled && !_failed && !_waiting)
        showPlayingOrReady();
}

void MVStreamSession::showPlayingOrReady()
{
    if (_playingStatusTimer)
        _playingStatusTimer->invalidate();
    if (!_playing) {
        // Nothing to tell while stopped: the display shows its own (the time line, or the live text).
        postStatus(MVMovieStreamingStatusReady, "");
        return;
    }
    postStatus(MVMovieStreamingStatusPlaying, "Playing");
    std::weak_ptr<MVStreamSession> weak = weak_from_this();
    // The word stays a moment, then the display gets its time line back.
    _playingStatusTimer = HXTimer::scheduledTimer(
        2.0, false,
        [weak](HXTimer&) {
            if (auto self = weak.lock(); self && !self->_network.cancelled() && !self->_waiting && !self->_failed)
                self->postStatus(MVMovieStreamingStatusReady, "");
        },
        { HXRunLoopCommonModes });
}

void MVStreamSession::stalled(bool stalled)
{
    _waiting = stalled;
    if (_failed)
        return;
    if (_playingStatusTimer)
        _playingStatusTimer->invalidate();
    if (stalled && !_reconnectingText.empty())
        postStatus(MVMovieStreamingStatusReconnecting, _reconnectingText);
    else if (stalled)
        postStatus(_prerolled ? MVMovieStreamingStatusWaiting : MVMovieStreamingStatusBuffering,
            _prerolled ? "Waiting for data\u2026" : "Buffering\u2026");
    else if (_prerolled)
        showPlayingOrReady();
}

void MVStreamSession::checkPreroll()
{
    if (_prerolled || _failed)
        return;
    const int64_t need = unitsFromSeconds(_options.prerollSeconds);
    const int64_t from = _playhead;
    if (!(isFinished() || availableUntil(from) >= from + need))
        return;
    _prerolled = true;
    if (_delegate.prerolled)
        _delegate.prerolled();
    if (!_waiting)
        showPlayingOrReady();
}

void MVStreamSession::checkCaughtUp(bool reached)
{
    if (!_seekPending || _failed)
        return;
    if (reached)
        _seekPending = false;
    if (_delegate.caughtUp)
        _delegate.caughtUp();
}

void MVStreamSession::sampleStatistics()
{
    const double now = steadyNow();
    const double elapsed = _lastSampleTime > 0 ? now - _lastSampleTime : 1.0;
    _lastSampleTime = now;
    int64_t bytes = _bytes;
    int64_t expected = 0, lost = 0;
    if (_relay) {
        auto counts = _relay->counts();
        bytes = counts.bytes;
        expected = counts.expected;
        lost = counts.lost;
    } else if (_rtsp) {
        std::lock_guard lock(_mutex);
        lost = _missedPackets;
        expected = _estimatedRTPPackets + lost;
    } else if (_transportCounts) {
        // A transport stream over UDP: its continuity counters tell. Over TCP nothing is lost.
        std::lock_guard lock(_transportCounts->mutex);
        lost = _transportCounts->counter.lost();
        expected = _transportCounts->counter.expected();
    }
    MVStreamingStatistics& s = *_statistics;
    s.bitsPerSecond = elapsed > 0 ? double(bytes - _lastBytes) * 8.0 / elapsed : 0;
    const int64_t expectedNow = expected - _lastExpected;
    const int64_t lostNow = lost - _lastLost;
    s.percentLost = expectedNow > 0 ? 100.0 * double(std::max<int64_t>(0, lostNow)) / double(expectedNow) : 0;
    const int64_t playhead = _playhead;
    s.bufferDuration = double(std::max<int64_t>(0, availableUntil(playhead) - playhead)) / _options.timeScale;
    _playhead = playhead;
    s.bytesReceived = bytes;
    s.packetsExpected = expected;
    s.packetsLost = lost;
    _lastBytes = bytes;
    _lastExpected = expected;
    _lastLost = lost;
    if (_delegate.statisticsChanged)
        _delegate.statisticsChanged();
}

// ---- The reading thread

void MVStreamSession::run()
{
    onMain([](MVStreamSession& s) { s.postStatus(MVMovieStreamingStatusConnecting, "Connecting\u2026"); });
    HXError error;
    if (!openInput(&error) || !chooseStreams(&error) || !openDecoders(&error)) {
        if (!_network.cancelled()) {
            fail(error);
            releaseNetwork();
        }
        return;
    }
    Layout layout;
    for (int index : { _videoIndex.load(), _audioIndex.load() }) {
        if (index < 0)
            continue;
        const AVCodecParameters* p = _context->streams[index]->codecpar;
        MVStream::Description d;
        d.codecName = codecDisplayName(p->codec_id);
        d.bitRate = p->bit_rate;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            d.mediaType = MVFourCC("vide");
            d.width = p->width;
            d.height = p->height;
            AVRational rate = _context->streams[index]->avg_frame_rate;
            d.frameRate = rate.den > 0 ? av_q2d(rate) : 0;
            layout.width = p->width;
            layout.height = p->height;
        } else {
            d.mediaType = MVFourCC("soun");
            d.sampleRate = p->sample_rate;
            d.channelCount = p->ch_layout.nb_channels;
        }
        layout.streams.push_back(d);
    }
    layout.live = _live;
    layout.duration = _streamDuration;
    onMain([layout](MVStreamSession& s) {
        s.postStatus(MVMovieStreamingStatusBuffering, "Buffering\u2026");
        if (s._delegate.ready)
            s._delegate.ready(layout);
        s._lastSampleTime = steadyNow();
        std::weak_ptr<MVStreamSession> weak = s.weak_from_this();
        s._statisticsTimer = HXTimer::scheduledTimer(
            1.0, true,
            [weak](HXTimer&) {
                if (auto self = weak.lock(); self && !self->_network.cancelled()) {
                    self->sampleStatistics();
                    self->checkPreroll();
                }
            },
            { HXRunLoopCommonModes });
    });
    if (_videoIndex >= 0)
        _pictureThread = std::thread([this] { decodePictures(); });
    readPackets();
    if (_failed && !_network.cancelled())
        releaseNetwork();
}

void MVStreamSession::releaseNetwork()
{
    // A stream that failed holds no connection and no port, however long its movie stays open: the
    // same location opens again at once.
    closeInput();
    if (_relay)
        _relay->stop();
}

bool MVStreamSession::openInput(HXError* outError, std::string* outReason)
{
    installLogCallback();
    closeInput();
    _context = avformat_alloc_context();
    if (!_context) {
        *outError = streamError("The stream cannot be opened: out of memory.", _url);
        return false;
    }
    _context->interrupt_callback = _network.callback();
    _context->opaque = this;
    // Nested resources (the segments of a playlist) are counted as they are read.
    _defaultIOOpen = _context->io_open;
    _defaultIOClose = _context->io_close2;
    _context->io_open = [](AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                            AVDictionary** options) -> int {
        auto* self = static_cast<MVStreamSession*>(s->opaque);
        int result = self->_defaultIOOpen(s, pb, url, flags, options);
        if (result >= 0 && *pb)
            self->_openIO.push_back(*pb);
        return result;
    };
    _context->io_close2 = [](AVFormatContext* s, AVIOContext* pb) -> int {
        auto* self = static_cast<MVStreamSession*>(s->opaque);
        if (pb) {
            self->_closedIOBytes += pb->bytes_read;
            std::erase(self->_openIO, pb);
        }
        if (self->_defaultIOClose)
            return self->_defaultIOClose(s, pb);
        avio_close(pb);
        return 0;
    };

    const std::string scheme = schemeOf(_url);
    const std::string extension = extensionOf(_url);
    std::string location = _url;
    const AVInputFormat* format = nullptr;
    AVDictionary* options = nullptr;
    _network.arm(_options.connectTimeout);

    const void* logKey = _context;
    if (scheme == "rtsp") {
        _rtsp = _pushed = true;
        // Packets lost on UDP are waited for this long (0.2 s) before the receiver reports them missed.
        _context->max_delay = 200000;
        std::lock_guard lock(missedMutex);
        missedTargets()[logKey] = &_missedPackets;
    } else if (scheme == "rtp") {
        _pushed = true;
        _context->max_delay = 200000;
        HXURL parsed = HXURL::URLWithString(_url).value_or(HXURL());
        std::string host = parsed.host().empty() ? "0.0.0.0" : parsed.host();
        int port = parsed.port().value_or(0);
        if (port > 0) {
            HXError relayError;
            _relay = MVRTPRelay::start({ { host, port, port + 1 } }, &relayError);
            if (_relay)
                location = "rtp://127.0.0.1:" + std::to_string(_relay->forwardPorts().front());
        }
    } else if (extension == "sdp") {
        _pushed = true;
        _context->max_delay = 200000;
        std::string text;
        if (scheme == "file") {
            std::string path = HXURL::URLWithString(_url).value_or(HXURL()).path();
            std::ifstream in(path, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            text = bytes.str();
            if (!in && text.empty()) {
                *outError = streamError("The stream description cannot be read.", _url);
                return false;
            }
        } else {
            AVIOContext* io = nullptr;
            int result = avio_open2(&io, _url.c_str(), AVIO_FLAG_READ, &_context->interrupt_callback, nullptr);
            if (result < 0) {
                const std::string reason = MVNetworkDeadline::openFailureReason(
                    result, _network.timedOut(), _options.connectTimeout, _url, "stream description");
                if (outReason)
                    *outReason = reason;
                *outError = streamError("The stream description cannot be fetched: " + reason + ".", _url);
                return false;
            }
            std::vector<char> buffer(1 << 16);
            int n = avio_read(io, reinterpret_cast<unsigned char*>(buffer.data()), int(buffer.size()));
            avio_closep(&io);
            if (n > 0)
                text.assign(buffer.data(), size_t(n));
        }
        if (text.size() > (1 << 16) || text.find("m=") == std::string::npos) {
            *outError = streamError("The stream description names no media.", _url);
            return false;
        }
        auto media = MVRTPRelay::mediaOfDescription(text);
        if (!media.empty()) {
            HXError relayError;
            _relay = MVRTPRelay::start(media, &relayError);
            if (!_relay) {
                *outError = streamError(relayError.localizedDescription(), _url);
                return false;
            }
            text = MVRTPRelay::rewriteDescription(text, _relay->forwardPorts());
        }
        AVIOContext* io = customIO(new SDPReader(std::move(text)));
        if (!io) {
            *outError = streamError("The stream cannot be opened: out of memory.", _url);
            return false;
        }
        _context->pb = io;
        _context->flags |= AVFMT_FLAG_CUSTOM_IO;
        format = av_find_input_format("sdp");
        av_dict_set(&options, "protocol_whitelist", "file,udp,rtp,crypto,data", 0);
        location.clear();
    } else if (scheme == "udp") {
        _pushed = true;
        // Received on the address the location names (only there), unless it is a group to join.
        std::string socketLocation = _url;
        HXURL parsed = HXURL::URLWithString(_url).value_or(HXURL());
        if (!parsed.host().empty() && !isMulticast(parsed.host())
            && _url.find("localaddr=") == std::string::npos)
            socketLocation += std::string(_url.find('?') == std::string::npos ? "?" : "&")
                + "localaddr=" + parsed.host();
        AVDictionary* socketOptions = nullptr;
        // A reader that falls behind loses what overflows the queue (counted as lost), and goes on.
        av_dict_set(&socketOptions, "overrun_nonfatal", "1", 0);
        auto reader = std::make_unique<UDPReader>();
        int result = avio_open2(&reader->socket, socketLocation.c_str(), AVIO_FLAG_READ,
            &_context->interrupt_callback, &socketOptions);
        av_dict_free(&socketOptions);
        if (result < 0) {
            avformat_free_context(_context);
            _context = nullptr;
            if (outReason)
                *outReason = MVNetworkDeadline::errorClause(result);
            *outError = streamError(
                "The stream cannot be received: " + MVNetworkDeadline::errorClause(result) + ".", _url);
            return false;
        }
        if (!_transportCounts)
            _transportCounts = std::make_shared<TransportCounts>();
        reader->counts = _transportCounts;
        AVIOContext* io = customIO(reader.release());
        if (!io) {
            avformat_free_context(_context);
            _context = nullptr;
            *outError = streamError("The stream cannot be received: out of memory.", _url);
            return false;
        }
        _context->pb = io;
        _context->flags |= AVFMT_FLAG_CUSTOM_IO;
        // The packets come as they are sent: nothing is waited for that the next ones make useless.
        _context->max_delay = 200000;
    }
    _reconnectable = scheme != "rtp" && scheme != "udp" && extension != "sdp";

    AVIOContext* custom = (_context->flags & AVFMT_FLAG_CUSTOM_IO) ? _context->pb : nullptr;
    int result = avformat_open_input(&_context, location.c_str(), format, &options);
    av_dict_free(&options);
    if (result < 0) {
        // The context is freed by the failed open; a description of ours is not.
        freeCustomIO(custom);
        {
            std::lock_guard lock(missedMutex);
            missedTargets().erase(logKey);
        }
        _context = nullptr;
        if (_network.cancelled())
            return false;
        std::string reason;
        // Pushed packets come from no server that could be named.
        if (_network.timedOut() && _pushed && !_rtsp)
            reason = "nothing arrived within " + MVNetworkDeadline::secondsText(_options.connectTimeout);
        else if (result == AVERROR_INVALIDDATA && _pushed && !_rtsp)
            reason = "what arrives is not a stream the player can play";
        else
            reason = MVNetworkDeadline::openFailureReason(
                result, _network.timedOut(), _options.connectTimeout, _url, "stream");
        if (outReason)
            *outReason = reason;
        *outError = streamError("The stream cannot be opened: " + reason + ".", _url);
        return false;
    }
    onMain([](MVStreamSession& s) { s.postStatus(MVMovieStreamingStatusNegotiating, "Negotiating\u2026"); });
    _network.arm(_options.connectTimeout);
    result = avformat_find_stream_info(_context, nullptr);
    if (result < 0 && !_network.cancelled()) {
        std::string reason = _network.timedOut()
            ? "nothing arrived within " + MVNetworkDeadline::secondsText(_options.connectTimeout)
            : MVNetworkDeadline::errorClause(result);
        if (outReason)
            *outReason = reason;
        *outError = streamError("The stream cannot be played: " + reason + ".", _url);
        return false;
    }
    _followJumps = _context->iformat && (_context->iformat->flags & AVFMT_TS_DISCONT);
    _connectedAt = steadyNow();
    {
        std::lock_guard lock(_mutex);
        _connectedEnd = knownEnd();
    }
    return !_network.cancelled();
}

bool MVStreamSession::chooseStreams(HXError* outError)
{
    _videoIndex = av_find_best_stream(_context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    _audioIndex = av_find_best_stream(_context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (_videoIndex < 0)
        _videoIndex = -1;
    if (_audioIndex < 0)
        _audioIndex = -1;
    if (_videoIndex < 0 && _audioIndex < 0) {
        *outError = streamError("The stream holds nothing that can be played.", _url);
        return false;
    }
    for (unsigned i = 0; i < _context->nb_streams; ++i)
        if (int(i) != _videoIndex && int(i) != _audioIndex)
            _context->streams[i]->discard = AVDISCARD_ALL;
    if (_videoIndex >= 0)
        _videoTimeBase = _context->streams[_videoIndex]->time_base;
    if (_audioIndex >= 0)
        _audioTimeBase = _context->streams[_audioIndex]->time_base;
    if (_context->duration > 0 && _context->duration != AV_NOPTS_VALUE)
        _streamDuration = av_rescale(_context->duration, _options.timeScale, AV_TIME_BASE);
    _live = _streamDuration <= 0;
    if (_context->start_time != AV_NOPTS_VALUE && !_live) {
        _startSeconds = double(_context->start_time) / AV_TIME_BASE;
        _haveStart = true;
    }
    return true;
}

bool MVStreamSession::openDecoders(HXError* outError)
{
    auto openOne = [&](int index) -> AVCodecContext* {
        const AVCodecParameters* p = _context->streams[index]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(p->codec_id);
        AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!c)
            return nullptr;
        if (avcodec_parameters_to_context(c, p) < 0 || avcodec_open2(c, codec, nullptr) < 0) {
            avcodec_free_context(&c);
            return nullptr;
        }
        c->pkt_timebase = _context->streams[index]->time_base;
        return c;
    };
    if (_videoIndex >= 0 && !(_videoCodec = openOne(_videoIndex)))
        _videoIndex = -1;
    if (_audioIndex >= 0 && !(_audioCodec = openOne(_audioIndex)))
        _audioIndex = -1;
    if (_videoIndex < 0 && _audioIndex < 0) {
        *outError = streamError("The stream's pictures and sound are in a format that cannot be played.", _url);
        return false;
    }
    return true;
}

int64_t MVStreamSession::unitsFromSeconds(double seconds) const
{
    return int64_t(std::llround(seconds * _options.timeScale));
}

int64_t MVStreamSession::knownEnd() const
{
    return std::max(_haveVideo ? _videoEnd : 0, _haveSound ? _soundEndUnits : 0);
}

void MVStreamSession::readPackets()
{
    AVPacket* packet = av_packet_alloc();
    for (;;) {
        std::optional<int64_t> seekTo;
        {
            std::unique_lock lock(_mutex);
            auto full = [&] {
                return !_pushed && knownEnd() - _playhead > unitsFromSeconds(_options.maxBufferSeconds);
            };
            // A stream the player pulls waits for room; an ended one waits for a seek back.
            _wake.wait_for(lock, std::chrono::milliseconds(200),
                [&] { return _stop || _seekRequest || !(full() || _endOfStream); });
            if (_stop)
                break;
            seekTo = _seekRequest;
            _seekRequest.reset();
            if (!seekTo && (full() || _endOfStream))
                continue;
        }
        if (seekTo) {
            _resumeFrom = -1;
            performSeek(*seekTo);
            continue;
        }
        _network.arm(_options.stallTimeout);
        int result = av_read_frame(_context, packet);
        if (_network.cancelled())
            break;
        if (result == AVERROR(EAGAIN))
            continue;
        if (result == AVERROR_EOF || (result < 0 && _context->pb && avio_feof(_context->pb) && !_network.timedOut())) {
            // A live stream ends when its broadcast ends, or when its server went away, and a stored
            // one that ends early was cut off. A playlist or an RTSP session that ends while its server
            // still answers ended on purpose; a bare connection that closes early was cut off.
            bool early, fasterThanPlayed;
            {
                std::lock_guard lock(_mutex);
                early = _live || knownEnd() + unitsFromSeconds(1.0) < _streamDuration;
                // A file of no told length (sent at once, far faster than it plays) ends where its data
                // ends: a broadcast comes as it plays. Connecting again would only play it once more.
                const double arrived = double(knownEnd() - _connectedEnd) / _options.timeScale;
                fasterThanPlayed = !_pushed && arrived > 2 && arrived > 3 * (steadyNow() - _connectedAt);
            }
            const bool endsOnPurpose = _rtsp || readsAPlaylist(_context);
            if (early && _live && fasterThanPlayed && !endsOnPurpose)
                early = false;
            if (early) {
                std::string reason = "the server closed the connection";
                if (!endsOnPurpose || !sourceAnswers(&reason)) {
                    if (!recover(reason))
                        break;
                    continue;
                }
            }
            std::lock_guard lock(_mutex);
            _endOfStream = true;
            continue;
        }
        if (result < 0) {
            std::string reason = _network.timedOut()
                ? "no data arrived for " + MVNetworkDeadline::secondsText(_options.stallTimeout)
                : MVNetworkDeadline::errorClause(result);
            if (!recover(reason))
                break;
            continue;
        }
        handlePacket(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
}

bool MVStreamSession::sourceAnswers(std::string* outReason)
{
    if (schemeOf(_url) == "rtp" || extensionOf(_url) == "sdp")
        return true; // nothing to ask: the packets are pushed
    AVFormatContext* probe = avformat_alloc_context();
    if (!probe)
        return true;
    probe->interrupt_callback = _network.callback();
    _network.arm(std::min(5.0, _options.connectTimeout));
    int result = avformat_open_input(&probe, _url.c_str(), nullptr, nullptr);
    if (result >= 0) {
        avformat_close_input(&probe);
        return true;
    }
    *outReason = _network.timedOut()
        ? MVNetworkDeadline::serverOf(_url) + " does not answer any more"
        : MVNetworkDeadline::openFailureReason(result, false, _options.connectTimeout, _url, "stream");
    return false;
}

bool MVStreamSession::recover(std::string reason)
{
    if (!_reconnectable || _options.reconnectAttempts <= 0) {
        fail(streamError("The stream stopped: " + reason + ".", _url));
        return false;
    }
    double delay = _options.reconnectDelay;
    HXError lastError = streamError("The stream stopped: " + reason + ".", _url);
    for (int attempt = 1; attempt <= _options.reconnectAttempts; ++attempt) {
        std::string text = attempt == 1 ? std::string("Reconnecting\u2026")
                                        : "Reconnecting (" + std::to_string(attempt) + " of "
                + std::to_string(_options.reconnectAttempts) + ")\u2026";
        onMain([text](MVStreamSession& s) {
            s._reconnectingText = text;
            if (s._playingStatusTimer)
                s._playingStatusTimer->invalidate();
            s.postStatus(MVMovieStreamingStatusReconnecting, text);
        });
        {
            std::unique_lock lock(_mutex);
            _wake.wait_for(lock, std::chrono::duration<double>(delay), [&] { return _stop; });
            if (_stop)
                return false;
        }
        delay *= 2;
        HXError error;
        std::string failure;
        bool final = false;
        if (reopen(&error, &failure, &final)) {
            onMain([](MVStreamSession& s) {
                s._reconnectingText.clear();
                // Until the player has data again it says it is buffering; one that never ran out plays on.
                if (s._waiting)
                    s.postStatus(MVMovieStreamingStatusBuffering, "Buffering\u2026");
                else if (s._prerolled)
                    s.showPlayingOrReady();
            });
            return true;
        }
        if (_network.cancelled())
            return false;
        if (final) {
            fail(error);
            return false;
        }
        // An error that is a whole sentence of its own (a description gone, no memory) is told as it is.
        lastError = failure.empty() ? error : streamError("The stream stopped: " + failure + ".", _url);
    }
    fail(lastError);
    return false;
}

bool MVStreamSession::reopen(HXError* outError, std::string* outReason, bool* outFinal)
{
    const AVCodecID videoCodec = _videoCodec ? _videoCodec->codec_id : AV_CODEC_ID_NONE;
    const AVCodecID audioCodec = _audioCodec ? _audioCodec->codec_id : AV_CODEC_ID_NONE;
    if (!openInput(outError, outReason))
        return false;
    // The decoders go on: the stream must come back with the same kinds of pictures and sound.
    const int video = av_find_best_stream(_context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(_context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    auto same = [&](int index, AVCodecID codec) {
        return codec == AV_CODEC_ID_NONE
            || (index >= 0 && _context->streams[index]->codecpar->codec_id == codec);
    };
    if (!same(video, videoCodec) || !same(audio, audioCodec)) {
        *outFinal = true;
        *outError = streamError("The stream stopped: it came back with other pictures or sound.", _url);
        return false;
    }
    _videoIndex = videoCodec != AV_CODEC_ID_NONE ? video : -1;
    _audioIndex = audioCodec != AV_CODEC_ID_NONE ? audio : -1;
    for (unsigned i = 0; i < _context->nb_streams; ++i)
        if (int(i) != _videoIndex && int(i) != _audioIndex)
            _context->streams[i]->discard = AVDISCARD_ALL;
    if (_audioCodec)
        avcodec_flush_buffers(_audioCodec);
    _restartPictures = true;
    int64_t end;
    {
        std::lock_guard lock(_mutex);
        end = knownEnd();
    }
    // What arrived before the drop is not taken again. A stored stream goes on from there; a live one
    // from where its broadcast is now.
    _resumeFrom = end;
    if (_live) {
        _rebasePending = true;
        forgetJumps(true, std::nullopt);
    } else {
        performSeek(end);
    }
    return true;
}

void MVStreamSession::retime(AVPacket* packet)
{
    const int index = packet->stream_index;
    const AVRational base = index == _videoIndex ? _videoTimeBase : _audioTimeBase;
    av_packet_rescale_ts(packet, _context->streams[index]->time_base, base);
    const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (_rebasePending && pts != AV_NOPTS_VALUE) {
        _rebasePending = false;
        // The same broadcast, gone on meanwhile, lands after where it stopped (a playlist starts a few
        // segments back: what overlaps is dropped); one that started over goes on from where it stopped.
        const double lands = double(pts) * av_q2d(base) + _timeOffset - _startSeconds;
        const bool playlist = readsAPlaylist(_context);
        double end;
        {
            std::lock_guard lock(_mutex);
            end = double(knownEnd()) / _options.timeScale;
        }
        if (lands < end - (playlist ? 30 : 0) || lands > end + 120)
            _timeOffset += end - lands;
    }
    double offset = _timeOffset;
    const int64_t at = packet->dts != AV_NOPTS_VALUE ? packet->dts : pts;
    if (_followJumps && at != AV_NOPTS_VALUE)
        offset += followJumps(index == _videoIndex ? 0 : 1, double(at) * av_q2d(base) + _timeOffset,
            packet->duration > 0 ? double(packet->duration) * av_q2d(base) : 0);
    if (offset != 0) {
        const int64_t shift = av_rescale_q(std::llround(offset * AV_TIME_BASE), AV_TIME_BASE_Q, base);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += shift;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += shift;
    }
}

double MVStreamSession::followJumps(int kind, double seconds, double length)
{
    // Decoding times only go forward, a packet or two at a time: a step back, or one forward further
    // than a stream ever pauses, is a jump. The segments of a stored playlist follow each other without
    // a pause; a live one may leave out some that went by, and then plays on from the broadcast.
    const double forward = readsAPlaylist(_context) && !_live ? 1.5 : 10;
    constexpr double kBack = 0.5;
    // After a seek the demuxer starts at most a segment before the place asked for.
    constexpr double kNearSeek = 12;
    StreamClock& clock = _clocks[kind];
    // The shift that lands `seconds` at `belongs`: one another stream took there already (streams that
    // jump together stay together), or a new one.
    auto jumpTo = [&](double belongs) {
        auto same = std::find_if(_jumps.begin(), _jumps.end(), [&](const TimeJump& j) {
            return std::abs(j.seconds - seconds) < forward && std::abs(seconds + j.shift - belongs) < forward;
        });
        if (same == _jumps.end()) {
            _jumps.push_back({ seconds, belongs - seconds });
            same = _jumps.end() - 1;
        }
        clock.shift = same->shift;
    };
    if (!std::isnan(clock.last)) {
        const double step = seconds - clock.last;
        if (step > forward || step < -kBack)
            jumpTo(clock.next);
    } else if (_jumpTarget) {
        // The first after a seek: on the shift (none, or one of a jump seen before) that lands it nearest
        // the place asked for; far from it, in a part whose jump was not seen yet, it goes there.
        const double target = *_jumpTarget;
        clock.shift = 0;
        double distance = std::abs(seconds - target);
        for (const auto& j : _jumps)
            if (std::abs(seconds + j.shift - target) < distance) {
                distance = std::abs(seconds + j.shift - target);
                clock.shift = j.shift;
            }
        if (distance > kNearSeek)
            jumpTo(target);
    }
    clock.last = seconds;
    clock.next = seconds + clock.shift + length;
    return clock.shift;
}

void MVStreamSession::forgetJumps(bool connectedAgain, std::optional<double> target)
{
    for (auto& clock : _clocks)
        clock = {};
    // The jumps seen stay valid for the same connection's times (a seek goes back over them).
    if (connectedAgain)
        _jumps.clear();
    _jumpTarget = target;
}

void MVStreamSession::handlePacket(AVPacket* packet)
{
    const int index = packet->stream_index;
    if (index != _videoIndex && index != _audioIndex)
        return;
    retime(packet);
    // What arrived so far: the demuxer's reading of the network, or the packets themselves where the
    // network is not read through it (RTSP).
    int64_t ioBytes = _closedIOBytes + (_context->pb ? _context->pb->bytes_read : 0);
    for (auto* io : _openIO)
        if (io != _context->pb) // the main one was opened through io_open too
            ioBytes += io->bytes_read;
    int64_t payload = _bytes;
    _bytes = ioBytes > 0 && !_rtsp ? ioBytes : payload + packet->size;

    const AVRational timeBase = index == _videoIndex ? _videoTimeBase : _audioTimeBase;
    int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    // A packet without a time (RTP's first, before its time is known) goes where the last one was.
    double seconds
        = pts != AV_NOPTS_VALUE ? double(pts) * av_q2d(timeBase) : (_haveStart ? _lastPacketSeconds : 0);
    if (!_haveStart && pts != AV_NOPTS_VALUE) {
        _startSeconds = seconds;
        _haveStart = true;
    }
    _lastPacketSeconds = seconds;
    const int64_t time = std::max<int64_t>(0, unitsFromSeconds(seconds - _startSeconds));
    if (time < _resumeFrom)
        return; // arrived before the stream dropped
    if (index == _audioIndex) {
        decodeSound(packet);
    } else {
        const int64_t duration
            = packet->duration > 0 ? unitsFromSeconds(double(packet->duration) * av_q2d(timeBase)) : 0;
        Packet p { av_packet_clone(packet), time, (packet->flags & AV_PKT_FLAG_KEY) != 0, _restartPictures };
        _restartPictures = false;
        {
            std::lock_guard lock(_mutex);
            if (_rtsp)
                _estimatedRTPPackets += std::max<int64_t>(1, (packet->size + 1399) / 1400);
            if (_videoPackets.empty() && !_haveVideo)
                _oldestVideo = time;
            _videoPackets.push_back(p);
            _videoEnd = std::max(_videoEnd, time + duration);
            _haveVideo = true;
        }
        _wake.notify_all();
    }
    if (_pushed || _live)
        dropOldData();
    if (!_prerolled)
        onMain([](MVStreamSession& s) { s.checkPreroll(); });
}

void MVStreamSession::decodeSound(AVPacket* packet)
{
    if (_rtsp) {
        std::lock_guard lock(_mutex);
        _estimatedRTPPackets += 1;
    }
    if (avcodec_send_packet(_audioCodec, packet) < 0)
        return;
    AVFrame* frame = av_frame_alloc();
    std::vector<float> converted;
    while (avcodec_receive_frame(_audioCodec, frame) == 0) {
        std::lock_guard writing(_soundWriteMutex);
        MVAudioFormat format;
        {
            std::lock_guard lock(_mutex);
            format = _soundFormat;
        }
        const int channels = frame->ch_layout.nb_channels;
        // Made again when the sound that comes in or the sound the player wants changes.
        if (!_resampler || _resamplerRate != frame->sample_rate || _resamplerFormat != frame->format
            || _resamplerChannels != channels || !(_resamplerOutput == format)) {
            swr_free(&_resampler);
            AVChannelLayout out;
            av_channel_layout_default(&out, format.channelCount);
            AVChannelLayout in;
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&in, channels);
            else
                av_channel_layout_copy(&in, &frame->ch_layout);
            int err = swr_alloc_set_opts2(&_resampler, &out, AV_SAMPLE_FMT_FLT, format.sampleRate, &in,
                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&in);
            av_channel_layout_uninit(&out);
            if (err < 0 || swr_init(_resampler) < 0) {
                swr_free(&_resampler);
                av_frame_unref(frame);
                continue;
            }
            _resamplerRate = frame->sample_rate;
            _resamplerFormat = frame->format;
            _resamplerChannels = channels;
            _resamplerOutput = format;
        }
        const int outCount = swr_get_out_samples(_resampler, frame->nb_samples);
        converted.resize(size_t(std::max(0, outCount)) * size_t(format.channelCount));
        uint8_t* outPlanes[1] = { reinterpret_cast<uint8_t*>(converted.data()) };
        int made = swr_convert(_resampler, outPlanes, outCount, const_cast<const uint8_t**>(frame->extended_data),
            frame->nb_samples);
        int64_t pts = frame->best_effort_timestamp;
        av_frame_unref(frame);
        if (made <= 0 || pts == AV_NOPTS_VALUE)
            continue;
        const double seconds = double(pts) * av_q2d(_audioTimeBase) - _startSeconds;
        int64_t position = int64_t(std::llround(seconds * format.sampleRate));
        int64_t skip = std::max<int64_t>(0, -position); // nothing plays before the start
        if (skip >= made)
            continue;
        position = _sound.write(position + skip, converted.data() + skip * format.channelCount, made - skip);
        const int64_t end = position + made - skip;
        std::lock_guard lock(_mutex);
        if (format == _soundFormat) {
            _soundEndUnits = std::max(_soundEndUnits, int64_t(double(end) * _options.timeScale / format.sampleRate));
            _haveSound = true;
        }
    }
    av_frame_free(&frame);
}

// A stream that pushes keeps only so much ahead of the playhead: the oldest goes, from a key picture
// on, and the playhead follows (resumeTime).
void MVStreamSession::dropOldData()
{
    const int64_t limit = unitsFromSeconds(_options.maxBufferSeconds);
    uint64_t generation = 0;
    int64_t keepFrom = 0;
    {
        std::lock_guard lock(_mutex);
        const int64_t newest = knownEnd();
        if (newest - _playhead <= limit)
            return;
        keepFrom = newest - limit / 2;
        size_t drop = 0;
        for (size_t i = 0; i < _videoPackets.size(); ++i) {
            if (_videoPackets[i].time >= keepFrom && _videoPackets[i].key)
                break;
            drop = i + 1;
        }
        if (drop == _videoPackets.size() && drop > 0)
            drop = 0; // no key picture to start again from yet: keep what is there
        for (size_t i = 0; i < drop; ++i)
            av_packet_free(&_videoPackets[i].packet);
        _videoPackets.erase(_videoPackets.begin(), _videoPackets.begin() + ptrdiff_t(drop));
        if (!_videoPackets.empty())
            _oldestVideo = _videoPackets.front().time;
        if (drop > 0 || _videoIndex < 0)
            generation = ++_packetGeneration;
    }
    if (generation) {
        _pictures.clear(generation);
        _wake.notify_all();
    }
    MVAudioFormat format;
    {
        std::lock_guard lock(_mutex);
        format = _soundFormat;
    }
    _sound.trimBefore(int64_t(double(keepFrom) * format.sampleRate / _options.timeScale));
}

void MVStreamSession::performSeek(int64_t time)
{
    const int64_t target = int64_t((_startSeconds + double(time) / _options.timeScale) * AV_TIME_BASE);
    forgetJumps(false, double(target) / AV_TIME_BASE);
    _network.arm(_options.connectTimeout);
    avformat_seek_file(_context, -1, INT64_MIN, target, target, 0);
    if (_audioCodec)
        avcodec_flush_buffers(_audioCodec);
    swr_free(&_resampler);
}

// ---- The picture thread

void MVStreamSession::decodePictures()
{
    AVFrame* frame = av_frame_alloc();
    const double timeBase = av_q2d(_videoTimeBase);
    uint64_t generation = UINT64_MAX;
    bool needKey = true;
    for (;;) {
        Packet p;
        uint64_t packetGeneration;
        {
            std::unique_lock lock(_mutex);
            _wake.wait(lock, [&] { return _stop || !_videoPackets.empty(); });
            if (_stop)
                break;
            p = _videoPackets.front();
            _videoPackets.pop_front();
            packetGeneration = _packetGeneration;
        }
        _wake.notify_all();
        if (packetGeneration != generation || p.restart) {
            avcodec_flush_buffers(_videoCodec);
            generation = packetGeneration;
            needKey = true;
        }
        if (needKey && !p.key) {
            av_packet_free(&p.packet);
            continue;
        }
        needKey = false;
        int sent = avcodec_send_packet(_videoCodec, p.packet);
        av_packet_free(&p.packet);
        if (sent < 0 && sent != AVERROR(EAGAIN))
            continue;
        while (avcodec_receive_frame(_videoCodec, frame) == 0) {
            int64_t pts = frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE) {
                av_frame_unref(frame);
                continue;
            }
            const int64_t start = unitsFromSeconds(double(pts) * timeBase - _startSeconds);
            const int64_t length
                = frame->pkt_duration > 0 ? unitsFromSeconds(double(frame->pkt_duration) * timeBase) : 1;
            const int64_t end = start + std::max<int64_t>(1, length);
            MVStreamPictureQueue::Picture picture { start, end,
                std::make_shared<MVDecodedFrame>(av_frame_clone(frame)), nullptr, nullptr };
            av_frame_unref(frame);
            // After a seek the pictures from the key picture on arrive; a player at rest asks for the
            // one of its time at each, which lets the earlier ones go, until the one of that time came.
            if (_pictures.push(std::move(picture), generation) && _seekPending) {
                int64_t floor;
                {
                    std::lock_guard lock(_mutex);
                    floor = _seekFloor;
                }
                const bool reached = end > floor;
                onMain([reached](MVStreamSession& s) { s.checkCaughtUp(reached); });
            }
        }
    }
    av_frame_free(&frame);
}

// ---- The feed

int64_t MVStreamSession::availableUntil(int64_t time)
{
    _playhead = time;
    std::lock_guard lock(_mutex);
    const int64_t tolerance = unitsFromSeconds(3.0);
    const bool video = _videoIndex >= 0, sound = _audioIndex >= 0;
    if (!(video && _haveVideo) && !(sound && _haveSound))
        return time;
    if (time < _seekFloor)
        return time;
    // Both kinds must be there, unless one lags far behind the other (a stream that declares sound
    // and sends none).
    const int64_t newest = knownEnd();
    int64_t until = newest;
    if (video && (_haveVideo || newest < tolerance) && !(_videoEnd + tolerance < newest && _haveSound))
        until = std::min(until, _haveVideo ? _videoEnd : time);
    if (sound && (_haveSound || newest < tolerance) && !(_soundEndUnits + tolerance < newest && _haveVideo))
        until = std::min(until, _haveSound ? _soundEndUnits : time);
    return std::max(time, until);
}

bool MVStreamSession::isFinished() const
{
    std::lock_guard lock(_mutex);
    return _endOfStream || _failed;
}

int64_t MVStreamSession::resumeTime(int64_t time)
{
    std::lock_guard lock(_mutex);
    if (_videoIndex >= 0 && !_videoPackets.empty() && _videoPackets.front().time > time) {
        if (auto first = _pictures.firstStart(); !first || *first > time)
            return _videoPackets.front().time;
    }
    if (_videoIndex < 0 && _haveSound) {
        const int64_t start = int64_t(double(_sound.start()) * _options.timeScale / _soundFormat.sampleRate);
        if (start > time)
            return start;
    }
    return time;
}

std::optional<MVVideoDecodeWorker::Picture> MVStreamSession::pictureAt(int64_t time)
{
    _playhead = time;
    return _pictures.pictureAt(time);
}

void MVStreamSession::readSound(int64_t position, int count, float* out)
{
    _sound.read(position, count, out);
}

void MVStreamSession::setSoundFormat(MVAudioFormat format)
{
    // Not while a frame of sound is being stored in the format it was made for.
    std::lock_guard writing(_soundWriteMutex);
    MVAudioFormat old;
    {
        std::lock_guard lock(_mutex);
        if (format == _soundFormat)
            return;
        old = _soundFormat;
        _soundFormat = format;
    }
    // What is held (all of a short stream read before the player asked) is brought into the new
    // format, so that none of it plays silent.
    SwrContext* converter = nullptr;
    AVChannelLayout in, out;
    av_channel_layout_default(&in, old.channelCount);
    av_channel_layout_default(&out, format.channelCount);
    if (swr_alloc_set_opts2(&converter, &out, AV_SAMPLE_FMT_FLT, format.sampleRate, &in, AV_SAMPLE_FMT_FLT,
            old.sampleRate, 0, nullptr)
            < 0
        || swr_init(converter) < 0)
        swr_free(&converter);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    const int inChannels = std::max(1, old.channelCount), outChannels = std::max(1, format.channelCount);
    _sound.convert(outChannels, double(format.sampleRate) / std::max(1, old.sampleRate),
        [&](const std::vector<float>& samples) {
            std::vector<float> result;
            if (!converter)
                return result;
            const int frames = int(samples.size() / size_t(inChannels));
            const int room = swr_get_out_samples(converter, frames) + 64;
            result.resize(size_t(std::max(0, room)) * size_t(outChannels));
            uint8_t* outPlanes[1] = { reinterpret_cast<uint8_t*>(result.data()) };
            const uint8_t* inPlanes[1] = { reinterpret_cast<const uint8_t*>(samples.data()) };
            int made = swr_convert(converter, outPlanes, room, inPlanes, frames);
            int flushed = 0;
            if (made >= 0) {
                // The rest the converter holds back belongs to this block.
                uint8_t* tail[1] = { reinterpret_cast<uint8_t*>(result.data() + size_t(made) * size_t(outChannels)) };
                flushed = std::max(0, swr_convert(converter, tail, room - made, nullptr, 0));
            }
            result.resize(size_t(std::max(0, made) + flushed) * size_t(outChannels));
            swr_init(converter); // the next block starts afresh
            return result;
        });
    swr_free(&converter);
}

int64_t MVStreamSession::seek(int64_t time)
{
    const int64_t playhead = _playhead;
    if (_failed)
        return playhead;
    if (_live) {
        // A live stream plays on where it is, never back in time; it may move on within what it holds
        // (the player goes on from where the data starts, after what it waited for was dropped).
        std::lock_guard lock(_mutex);
        int64_t held = knownEnd();
        if (_haveVideo && _videoIndex >= 0) {
            int64_t first = _videoPackets.empty() ? _videoEnd : _videoPackets.front().time;
            if (auto picture = _pictures.firstStart())
                first = std::min(first, *picture);
            held = std::min(held, first);
        }
        if (_haveSound && _audioIndex >= 0 && _soundFormat.sampleRate > 0)
            held = std::min(held, int64_t(double(_sound.start()) * _options.timeScale / _soundFormat.sampleRate));
        if (time <= playhead || time < held || time > knownEnd())
            return playhead;
        _playhead = time;
        return time;
    }
    if (std::llabs(time - playhead) < unitsFromSeconds(0.1))
        return time;
    restartAt(time);
    return time;
}

void MVStreamSession::restartAt(int64_t time)
{
    uint64_t generation;
    {
        std::lock_guard lock(_mutex);
        for (auto& p : _videoPackets)
            av_packet_free(&p.packet);
        _videoPackets.clear();
        generation = ++_packetGeneration;
        _seekRequest = time;
        _seekFloor = time;
        _videoEnd = time;
        _soundEndUnits = time;
        _haveVideo = _haveSound = false;
        _endOfStream = false;
    }
    _pictures.clear(generation);
    _seekPending = true;
    _sound.clear();
    _playhead = time;
    _wake.notify_all();
}

int64_t MVStreamSession::playableDuration() const
{
    std::lock_guard lock(_mutex);
    if (_endOfStream || _failed)
        return std::max<int64_t>(1, _live ? knownEnd() : std::max(knownEnd(), _streamDuration));
    return _live ? kLiveDuration : std::max<int64_t>(1, _streamDuration);
}

int64_t MVStreamSession::durationValue() const
{
    std::lock_guard lock(_mutex);
    if (_live)
        return knownEnd();
    // The told duration is the playlist's or manifest's sum; what arrived by the end may run a little
    // longer (the last picture, the sound's last packet), and the playhead goes there: the movie lasts
    // as long as what it plays.
    if (_endOfStream || _failed)
        return std::max(knownEnd(), _streamDuration);
    return _streamDuration;
}
