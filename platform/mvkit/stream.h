#pragma once
// MVStream: one elementary stream of a streaming track — a stream that plays as it arrives (HLS, RTSP,
// RTP, ...) has one streaming track ('strm'), which carries its streams instead of sample tables.
// The stream tells what it holds (its kind, codec and format, as the network session found them) and
// the share of its packets that were lost.
#include <cstdint>
#include <memory>
#include <string>

// The figures of a streaming movie's network session, measured once a second while it receives.
struct MVStreamingStatistics {
    double bitsPerSecond = 0; // data received over the last second
    double percentLost = 0; // packets lost over the last second (0 when the transport loses none)
    double bufferDuration = 0; // seconds of media held ahead of the playhead
    int64_t bytesReceived = 0; // in all
    int64_t packetsExpected = 0; // RTP packets, in all (0 when the transport has none)
    int64_t packetsLost = 0;
};

// "AAC, Stereo, 48.000 kHz": a codec's name with its channels and rate (none when 0).
std::string MVAudioFormatSummary(const std::string& codecName, int channelCount, double sampleRate);

class MVStream {
public:
    struct Description {
        uint32_t mediaType = 0; // 'vide', 'soun', or another media type
        std::string codecName; // "H.264", "AAC", ...
        int width = 0, height = 0; // pictures
        double frameRate = 0;
        int sampleRate = 0, channelCount = 0; // sound
        int64_t bitRate = 0; // as the stream states it (0: not stated)
    };

    MVStream(Description description, std::shared_ptr<const MVStreamingStatistics> statistics);

    const Description& description() const { return _description; }
    uint32_t mediaType() const { return _description.mediaType; }
    const std::string& name() const { return _description.codecName; }
    bool isVideo() const;
    bool isAudio() const;
    // "AAC, Stereo, 48.000 kHz"; "H.264" (the picture's size is the movie's).
    std::string audioFormatString() const;
    std::string videoFormatString() const;
    // Packets lost over the last second in percent, as 16.16 fixed point; −1 before anything arrived.
    int32_t packetsLostPercent() const;

private:
    Description _description;
    std::shared_ptr<const MVStreamingStatistics> _statistics;
};
