#pragma once
// The capture graph: device inputs feed a session, the session feeds its outputs (the sound preview, which
// measures levels, and the movie file output, which encodes and writes a movie file).
//
// Each running input reads its device on a thread of its own (the media library's input format for the
// device), decodes, paces generated sources to real time, and hands every picture and sound buffer to the
// session's outputs on that thread. Delegate callbacks of the movie file output come on a capture thread;
// whoever listens moves interface work to the main thread.
#include "platform/basekit/error.h"
#include "platform/drawing/geometry.h"
#include "recording/capture_device.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct AVFrame;
class HXImage;

inline constexpr const char* MVCaptureSessionRuntimeErrorNotification = "MVCaptureSessionRuntimeErrorNotification";
inline constexpr const char* MVCaptureSessionErrorKey = "MVCaptureSessionErrorKey";
inline constexpr const char* MVCaptureConnectionFormatDescriptionDidChangeNotification
    = "MVCaptureConnectionFormatDescriptionDidChangeNotification";
// In the user info of a recording error: NO when the file is not usable, absent or YES when it is.
inline constexpr const char* MVErrorRecordingSuccesfullyFinishedKey = "MVErrorRecordingSuccesfullyFinishedKey";

// The format of the buffers a connection carries.
struct MVCaptureFormatDescription {
    uint32_t mediaType = 0;
    std::string codecName; // the device's own coding ("rawvideo", "mjpeg", "pcm_s16le" ...)
    int width = 0, height = 0; // pictures
    int sampleRate = 0, channels = 0; // sound

    bool isValid() const { return mediaType != 0; }
    HXSize cleanApertureDisplaySize() const { return { double(width), double(height) }; }
    // "320 x 240, rawvideo" / "44.1 kHz, 2 channels, pcm_s16le".
    std::string localizedFormatSummary() const;
    bool operator==(const MVCaptureFormatDescription&) const = default;
};

// What the movie file output makes of a connection's buffers.
struct MVCaptureCompressionOptions {
    // Pictures: the codec ("h264", "mpeg4", "mjpeg"; empty: the best there is), the size (0: the device's
    // own size), the bit rate (0: one that suits the size) and a key frame every so many pictures (0: 30).
    std::string videoCodec;
    int width = 0, height = 0;
    int64_t bitRate = 0;
    int keyFrameInterval = 0;
    // Sound: AAC at the device's rate with this many channels.
    bool aac = false;
    int channels = 2;
    bool operator==(const MVCaptureCompressionOptions&) const = default;
};

class MVCaptureConnection {
public:
    explicit MVCaptureConnection(uint32_t mediaType)
        : _mediaType(mediaType)
    {
    }
    uint32_t mediaType() const { return _mediaType; }
    bool isEnabled() const { return _enabled; }
    void setEnabled(bool enabled) { _enabled = enabled; }

    // Thread-safe snapshots: the capture thread updates them.
    MVCaptureFormatDescription formatDescription() const;
    void setFormatDescription(const MVCaptureFormatDescription& format);
    // Average power of the last sound buffer, per channel, in decibels (empty for pictures or before one).
    std::vector<float> averagePowerLevels() const;
    void setAveragePowerLevels(std::vector<float> levels);
    std::optional<MVCaptureCompressionOptions> compressionOptions() const;
    void setCompressionOptions(std::optional<MVCaptureCompressionOptions> options);
    // The size the compression options give pictures of `size`.
    HXSize compressedSizeForDisplaySize(HXSize size) const;

private:
    uint32_t _mediaType;
    std::atomic<bool> _enabled { true };
    mutable std::mutex _mutex;
    MVCaptureFormatDescription _format;
    std::vector<float> _levels;
    std::optional<MVCaptureCompressionOptions> _compression;
};

using MVCaptureConnections = std::vector<std::shared_ptr<MVCaptureConnection>>;

// The first connection of `connections` with the media type, or null.
std::shared_ptr<MVCaptureConnection> MVCaptureDefaultConnectionForMediaType(
    const MVCaptureConnections& connections, uint32_t mediaType);

class MVCaptureDeviceInput {
public:
    // An input for an opened device: one connection per media type it carries (two for a muxed device).
    static std::shared_ptr<MVCaptureDeviceInput> deviceInputWithDevice(
        const std::shared_ptr<MVCaptureDevice>& device, HXError* outError);
    explicit MVCaptureDeviceInput(std::shared_ptr<MVCaptureDevice> device);

    const std::shared_ptr<MVCaptureDevice>& device() const { return _device; }
    const MVCaptureConnections& connections() const { return _connections; }
    std::shared_ptr<MVCaptureConnection> defaultConnectionForMediaType(uint32_t mediaType) const
    {
        return MVCaptureDefaultConnectionForMediaType(_connections, mediaType);
    }

private:
    std::shared_ptr<MVCaptureDevice> _device;
    MVCaptureConnections _connections;
};

class MVCaptureSession;

class MVCaptureOutput {
public:
    virtual ~MVCaptureOutput() = default;
    // The session's enabled input connections, once the output is added.
    MVCaptureConnections connections() const;
    std::shared_ptr<MVCaptureConnection> defaultConnectionForMediaType(uint32_t mediaType) const
    {
        return MVCaptureDefaultConnectionForMediaType(connections(), mediaType);
    }
    // A buffer from a connection (capture thread). `time` is its capture time in microseconds of the
    // steady clock.
    virtual void outputFrame(const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame,
        int64_t time)
        = 0;

private:
    friend class MVCaptureSession;
    std::weak_ptr<MVCaptureSession> _session;
};

// Measures the sound it is given, and plays it on the sound output at its volume (the monitor). The
// output device is opened the first time the volume is raised above 0, and never at volume 0.
class MVCaptureAudioPreviewOutput : public MVCaptureOutput {
public:
    MVCaptureAudioPreviewOutput();
    ~MVCaptureAudioPreviewOutput() override;
    float volume() const { return _volume; }
    void setVolume(float volume);
    // Whether sound goes to an output device (there may be none).
    bool isMonitoring() const { return _playing != nullptr; }
    void outputFrame(const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame,
        int64_t time) override;

    struct Monitor;

private:
    std::atomic<float> _volume { 0 };
    std::shared_ptr<Monitor> _monitor; // set on the main thread before any sound is monitored
    std::atomic<Monitor*> _playing { nullptr };
};

class MVCaptureMovieFileOutput;

class MVCaptureFileOutputDelegate {
public:
    virtual ~MVCaptureFileOutputDelegate() = default;
    // All on a capture thread.
    virtual void captureOutputDidStartRecording(MVCaptureMovieFileOutput&, const std::string& path) = 0;
    virtual void captureOutputWillFinishRecording(MVCaptureMovieFileOutput&, const std::string& path) = 0;
    // `error` is set when the recording did not end as asked (see MVErrorRecordingSuccesfullyFinishedKey).
    virtual void captureOutputDidFinishRecording(
        MVCaptureMovieFileOutput&, const std::string& path, const std::optional<HXError>& error)
        = 0;
    virtual void captureOutputDidOutputSampleBuffer(
        MVCaptureMovieFileOutput&, const std::shared_ptr<MVCaptureConnection>& connection)
        = 0;
};

// Writes the enabled connections into a movie file through the media library's encoders and its movie
// muxer. Pictures: H.264 when the library has it, else MPEG-4 part 2, or what the connection's compression
// options name; sound: AAC.
class MVCaptureMovieFileOutput : public MVCaptureOutput {
public:
    MVCaptureMovieFileOutput();
    ~MVCaptureMovieFileOutput() override;

    void setDelegate(std::weak_ptr<MVCaptureFileOutputDelegate> delegate);
    // A path starts recording to that (existing, empty) file; an empty path finishes the file being
    // written: the file is completed on a thread of its own and the delegate hears of it.
    void recordToOutputFileURL(const std::string& path);
    std::string outputFileURL() const;
    bool isRecording() const;
    void pauseRecording();
    void resumeRecording();
    bool isRecordingPaused() const;
    uint64_t recordedFileSize() const { return _recordedFileSize; }
    double recordedDuration() const { return double(_recordedDuration) / 1e6; } // seconds
    // Waits until a file being finished is complete (closing the window, tests).
    void waitUntilFinished();

    void outputFrame(const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame,
        int64_t time) override;

    struct Writer;

private:
    void finish(std::unique_ptr<Writer> writer, std::string path);
    std::shared_ptr<MVCaptureFileOutputDelegate> delegate() const;

    mutable std::mutex _mutex;
    std::weak_ptr<MVCaptureFileOutputDelegate> _delegate;
    std::unique_ptr<Writer> _writer;
    std::string _path;
    bool _recording = false;
    bool _paused = false;
    int64_t _pausedAt = 0, _pausedTotal = 0, _startTime = 0;
    std::atomic<uint64_t> _recordedFileSize { 0 };
    std::atomic<int64_t> _recordedDuration { 0 };
    std::thread _finisher;
};

class MVCaptureSession : public std::enable_shared_from_this<MVCaptureSession> {
public:
    MVCaptureSession();
    ~MVCaptureSession();

    bool addInput(const std::shared_ptr<MVCaptureDeviceInput>& input, HXError* outError);
    bool addOutput(const std::shared_ptr<MVCaptureOutput>& output, HXError* outError);
    const std::vector<std::shared_ptr<MVCaptureDeviceInput>>& inputs() const { return _inputs; }

    // Starts reading every input (each on its own thread). A device that fails to open or to read posts
    // the runtime-error notification on the main thread.
    void startRunning();
    void stopRunning();
    bool isRunning() const { return _running; }

    // The last picture of a video connection, for the capture view (thread-safe).
    std::shared_ptr<HXImage> lastImage() const;

    // Capture thread.
    void outputFrame(const std::shared_ptr<MVCaptureConnection>& connection, const AVFrame& frame, int64_t time);
    void reportRuntimeError(const HXError& error);

    struct Reader;

private:
    friend class MVCaptureOutput;
    MVCaptureConnections enabledConnections() const;

    std::vector<std::shared_ptr<MVCaptureDeviceInput>> _inputs;
    std::vector<std::shared_ptr<MVCaptureOutput>> _outputs;
    std::vector<std::unique_ptr<Reader>> _readers;
    bool _running = false;
    mutable std::mutex _imageMutex;
    std::shared_ptr<HXImage> _lastImage;
    struct SwsContext* _imageScaler = nullptr;
    int64_t _lastImageTime = 0;
};
