#pragma once
// MVStreamSession: a network stream that plays as it arrives — an HLS playlist (on demand or live), an
// RTSP session (over UDP, or over TCP when UDP is refused), RTP described by SDP or received at an
// rtp:// location, a transport stream received at a udp:// location, or any other stream libavformat
// reads from a network location.
//
// A reading thread connects (libavformat, with an interrupt callback that ends every wait at a
// deadline, so nothing waits on the network without end), reads the stream's packets and keeps them
// for a picture thread; sound is decoded as it comes. The player takes pictures and sound through the
// feed interface. While it works the session tells its owner, on the main thread, what it is doing
// (connecting, negotiating, buffering, playing, waiting, reconnecting, failing), when the streams are
// known and when enough is held to start; once a second it measures what arrives (data rate, packet
// loss, buffer). A stream that drops is connected again a few times, waiting longer each time; it plays
// on from where it stopped, or fails saying why.
//
// Times are movie units from the first media time received (an on-demand stream: from its start).
#include "platform/basekit/error.h"
#include "platform/mvkit/playback/playback_supply.h"
#include "platform/mvkit/stream.h"
#include "platform/mvkit/streaming/network_deadline.h"
#include "platform/mvkit/streaming/stream_buffers.h"
#include "platform/mvkit/streaming/ts_continuity_counter.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class HXTimer;
class MVRTPRelay;
struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct SwrContext;

class MVStreamSession : public MVPlaybackFeed, public std::enable_shared_from_this<MVStreamSession> {
public:
    struct Options {
        int32_t timeScale = 600;
        double connectTimeout = 15; // to connect and learn the streams
        double stallTimeout = 10; // no data this long while receiving: the stream is lost
        double prerollSeconds = 1.0; // held before the stream counts as ready to play
        double maxBufferSeconds = 30; // held ahead of the playhead at most
        // A stream that drops (its server stops, the connection is reset) is connected again this many
        // times, after waiting reconnectDelay, then twice as long each time, before it fails.
        int reconnectAttempts = 4;
        double reconnectDelay = 0.5;
    };
    // The transport packets of a stream received over UDP: counted as they arrive (reading thread),
    // read for the statistics (main thread).
    struct TransportCounts {
        std::mutex mutex;
        MVTSContinuityCounter counter;
    };
    // What the session found, told once on the main thread.
    struct Layout {
        std::vector<MVStream::Description> streams;
        int64_t duration = 0; // movie units; 0 for a live stream
        bool live = false;
        int width = 0, height = 0; // the picture, when there is one
    };
    // The owner's side, called on the main thread (never after cancel()).
    struct Delegate {
        std::function<void(long code, const std::string& text)> status;
        std::function<void(const Layout& layout)> ready;
        std::function<void()> prerolled;
        // After a seek, a picture arrived (the one of the new time, or one before it that lets the
        // player show what is nearest): a player at rest shows the picture of its time again.
        std::function<void()> caughtUp;
        std::function<void(const HXError& error)> failed;
        std::function<void()> statisticsChanged;
    };

    static std::shared_ptr<MVStreamSession> start(const std::string& url, Options options, Delegate delegate);
    // Whether `url` is one of the streams this session plays as a stream (not a movie file to download).
    static bool isStreamURL(const std::string& url);
    ~MVStreamSession() override;

    // Stops reading and forgets the delegate; waits for the threads.
    void cancel();

    bool isLive() const { return _live; }
    bool hasFailed() const { return _failed; }
    const HXError& error() const { return _error; }
    // The duration for the movie: the stream's, or for a live stream how far it has arrived.
    int64_t durationValue() const;
    std::shared_ptr<const MVStreamingStatistics> statistics() const { return _statistics; }

    // MVPlaybackFeed.
    int64_t availableUntil(int64_t time) override;
    bool isFinished() const override;
    double resumeAhead() const override { return _options.prerollSeconds * 2; }
    int64_t resumeTime(int64_t time) override;
    void stalled(bool stalled) override;
    bool hasPictures() const override { return _videoIndex >= 0; }
    bool hasSound() const override { return _audioIndex >= 0; }
    std::optional<MVVideoDecodeWorker::Picture> pictureAt(int64_t time) override;
    void readSound(int64_t position, int count, float* out) override;
    void setSoundFormat(MVAudioFormat format) override;
    int64_t seek(int64_t time) override;
    int64_t playableDuration() const override;

    // Told by the owner when the movie starts or stops playing (for the playing status).
    void setPlaying(bool playing);

private:
    MVStreamSession(std::string url, Options options, Delegate delegate);
    struct Packet {
        AVPacket* packet = nullptr;
        int64_t time = 0;
        bool key = false;
        bool restart = false; // the first after the stream was connected again: decoding starts afresh
    };

    // Reading thread.
    void run();
    // Connects and learns the streams; `outReason` is the bare reason it could not.
    bool openInput(HXError* outError, std::string* outReason = nullptr);
    void closeInput();
    // The first time: the streams to play, the duration, live or not.
    bool chooseStreams(HXError* outError);
    bool openDecoders(HXError* outError);
    // After the stream dropped for `reason`: connects again (a few times, waiting longer each time) and
    // answers whether it plays on; when not, the session failed.
    bool recover(std::string reason);
    bool reopen(HXError* outError, std::string* outReason, bool* outFinal);
    // Brings a packet of the input onto the times of the first connection.
    void retime(AVPacket* packet);
    // The seconds a packet of stream `kind` (0 pictures, 1 sound) at `seconds` is moved by to go on from
    // where that stream was, when its times jumped; `length` is how long it lasts.
    double followJumps(int kind, double seconds, double length);
    // Starts the streams' clocks afresh: the next packets belong at `target` (source seconds), when
    // given; a connection made again forgets the jumps seen.
    void forgetJumps(bool connectedAgain, std::optional<double> target);
    void readPackets();
    void handlePacket(AVPacket* packet);
    void decodeSound(AVPacket* packet);
    void dropOldData();
    void performSeek(int64_t time);
    // Forgets what is held and reads again from `time`.
    void restartAt(int64_t time);
    // Whether the stream's server still answers (after a live stream ended); `outReason` says why not.
    bool sourceAnswers(std::string* outReason);
    void closeAll();
    // Once the stream failed (reading thread): its connection and ports go.
    void releaseNetwork();
    // Picture thread.
    void decodePictures();

    // Hops to the main thread; nothing runs after cancel().
    void onMain(std::function<void(MVStreamSession&)> fn);
    void postStatus(long code, const std::string& text);
    void fail(const HXError& error);
    void checkPreroll();
    void checkCaughtUp(bool reached); // `reached`: the picture of the time sought came
    void showPlayingOrReady();
    void sampleStatistics();
    int64_t unitsFromSeconds(double seconds) const;
    int64_t knownEnd() const; // the end of what arrived, in movie units

    const std::string _url;
    const Options _options;
    Delegate _delegate;
    MVNetworkDeadline _network; // every libavformat wait ends at its limit or when the session is cancelled

    AVFormatContext* _context = nullptr;
    int (*_defaultIOOpen)(AVFormatContext*, struct AVIOContext**, const char*, int, struct AVDictionary**)
        = nullptr;
    int (*_defaultIOClose)(AVFormatContext*, struct AVIOContext*) = nullptr;
    std::vector<struct AVIOContext*> _openIO; // nested resources (playlist segments), for the byte count
    int64_t _closedIOBytes = 0;
    std::unique_ptr<MVRTPRelay> _relay;
    std::shared_ptr<TransportCounts> _transportCounts; // a transport stream over UDP
    bool _pushed = false; // the sender pushes (RTSP, RTP, UDP): nothing waits for the player
    bool _rtsp = false;
    bool _reconnectable = false; // a server to connect to again (not RTP or UDP received as sent)
    // The time bases of the first connection's streams: packets of a later one are brought onto them.
    AVRational _videoTimeBase { 0, 1 };
    AVRational _audioTimeBase { 0, 1 };
    double _timeOffset = 0; // seconds added to a later connection's times
    // Times that jump within one connection (a playlist's discontinuity, a transport stream whose
    // encoder started again): each stream goes on from where it was, and streams that jump to about the
    // same place share one shift, so that they stay together.
    struct TimeJump {
        double seconds; // where the times jumped to
        double shift; // what is added from there on
    };
    struct StreamClock {
        double last = NAN; // source seconds of the last packet
        double next = NAN; // where the next one belongs, shift included
        double shift = 0;
    };
    bool _followJumps = false; // the format's times may jump
    StreamClock _clocks[2];
    std::vector<TimeJump> _jumps;
    std::optional<double> _jumpTarget; // after a seek: where the next packets belong
    bool _rebasePending = false; // a live stream connected again: its first time decides the offset
    int64_t _resumeFrom = -1; // movie units: what arrived before this already arrived before the drop
    bool _restartPictures = false;
    std::atomic<int64_t> _missedPackets { 0 }; // RTP packets the demuxer gave up on (RTSP over UDP)
    int64_t _estimatedRTPPackets = 0;

    std::atomic<int> _videoIndex { -1 }; // a connection made again may number its streams anew
    std::atomic<int> _audioIndex { -1 };
    AVCodecContext* _videoCodec = nullptr;
    AVCodecContext* _audioCodec = nullptr;
    SwrContext* _resampler = nullptr;
    int _resamplerRate = 0, _resamplerFormat = -1, _resamplerChannels = 0;
    MVAudioFormat _resamplerOutput;
    std::mutex _soundWriteMutex; // a frame of sound made and stored in one format; held while it changes
    std::atomic<bool> _live { false };
    int64_t _streamDuration = 0;
    double _startSeconds = 0;
    bool _haveStart = false;
    double _lastPacketSeconds = 0; // reading thread
    double _connectedAt = 0; // reading thread: when the last connection was made, and how far the
    int64_t _connectedEnd = 0; // stream had arrived then (movie units)

    // Shared between the threads.
    mutable std::mutex _mutex;
    std::condition_variable _wake; // the picture thread waits for packets, the reader for room
    std::deque<Packet> _videoPackets;
    uint64_t _packetGeneration = 0; // a seek or a dropped stretch restarts the picture decoder
    int64_t _videoEnd = 0; // movie units: how far the pictures arrived
    int64_t _oldestVideo = 0;
    bool _haveVideo = false;
    int64_t _soundEndUnits = 0;
    bool _haveSound = false;
    int64_t _seekFloor = 0; // after a seek: nothing before this counts as arrived
    std::optional<int64_t> _seekRequest;
    bool _endOfStream = false;
    std::atomic<bool> _failed { false };
    HXError _error;
    std::atomic<int64_t> _playhead { 0 };
    std::atomic<int64_t> _bytes { 0 };
    MVAudioFormat _soundFormat;
    MVStreamSoundStore _sound;
    MVStreamPictureQueue _pictures;
    bool _stop = false;
    std::thread _reader;
    std::thread _pictureThread;

    // Main thread.
    std::shared_ptr<MVStreamingStatistics> _statistics;
    std::shared_ptr<HXTimer> _statisticsTimer;
    std::atomic<bool> _prerolled { false };
    std::atomic<bool> _seekPending { false }; // a seek waits for what plays at its time
    bool _playing = false;
    bool _waiting = false;
    std::string _reconnectingText; // while connecting again: what the display says
    long _lastStatus = -1;
    std::string _lastStatusText;
    int64_t _lastBytes = 0;
    int64_t _lastExpected = 0;
    int64_t _lastLost = 0;
    double _lastSampleTime = 0;
    std::shared_ptr<HXTimer> _playingStatusTimer;
};
