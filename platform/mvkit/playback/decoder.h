#pragma once
// MVDecoder: one libavcodec decoder for the samples of one sample description.
//
// Samples go in with their decode and presentation times (media units); frames come out in
// presentation order, carrying the presentation time of their sample. After a seek, reset() drops
// everything buffered so decoding can start again at a sync sample.
#include "platform/basekit/error.h"
#include "platform/mvkit/playback/decoder_configuration.h"

#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// A decoded picture or block of sound, as the decoder made it (before any conversion).
class MVDecodedFrame {
public:
    explicit MVDecodedFrame(AVFrame* frame); // takes ownership
    ~MVDecodedFrame();
    MVDecodedFrame(const MVDecodedFrame&) = delete;
    MVDecodedFrame& operator=(const MVDecodedFrame&) = delete;

    const AVFrame* avFrame() const { return _frame; }
    // A number no other frame of the process has: tells pictures apart where addresses are reused.
    uint64_t serial() const { return _serial; }
    // Presentation time in media units (INT64_MIN when the decoder gave none).
    int64_t time() const;
    // Duration in media units (0 when unknown).
    int64_t duration() const;
    // Pictures: size and pixel format (an AVPixelFormat); sound: sample count and format (AVSampleFormat).
    int width() const;
    int height() const;
    int format() const;
    int sampleCount() const;

private:
    AVFrame* _frame;
    uint64_t _serial;
};

// The threads a decoder of pictures of `width` × `height` uses when left to choose. Each thread holds a
// picture of its own in flight: pictures so large that libavcodec's choice (the processors plus one, up to
// 16) would hold more than some 64 MB get fewer threads, never fewer than two; for others, and for an
// unknown size, 0 leaves the choice to libavcodec.
int MVDecoderThreadCountForPicture(int width, int height, unsigned processors);

class MVDecoder {
public:
    // A decoder for `configuration`, whose samples are timed in `timeScale` units per second.
    // `threadCount` 0 chooses by the picture size (MVDecoderThreadCountForPicture).
    static std::unique_ptr<MVDecoder> decoderWithConfiguration(const MVDecoderConfiguration& configuration,
        int32_t timeScale, HXError* outError, int threadCount = 0);
    ~MVDecoder();
    MVDecoder(const MVDecoder&) = delete;
    MVDecoder& operator=(const MVDecoder&) = delete;

    const MVDecoderConfiguration& configuration() const { return _configuration; }
    int32_t timeScale() const { return _timeScale; }

    // Decodes one sample and answers the frames that became ready. Damaged sample data is skipped
    // (counted in damagedSampleCount()); false with `outError` only when the decoder cannot go on. A sample
    // that is no sync sample (`sync` false) may build on the ones before it.
    bool decode(const uint8_t* data, size_t size, int64_t decodeTime, int64_t presentationTime,
        int64_t duration, std::vector<std::shared_ptr<MVDecodedFrame>>& outFrames, HXError* outError,
        bool sync = true);
    // Answers the frames still held back (end of the samples); the decoder is then reset.
    void drain(std::vector<std::shared_ptr<MVDecodedFrame>>& outFrames);
    // Forgets every buffered sample and frame (before decoding from another place).
    void reset();

    int damagedSampleCount() const { return _damagedSamples; }

private:
    MVDecoder() = default;
    void receive(std::vector<std::shared_ptr<MVDecodedFrame>>& outFrames);

    MVDecoderConfiguration _configuration;
    int32_t _timeScale = 0;
    AVCodecContext* _context = nullptr;
    AVPacket* _packet = nullptr;
    int _damagedSamples = 0;
};
