#pragma once
// MVAudioLevelMeter: per-channel levels of frequency bands of the sound being played, for the level
// bars.
//
// It keeps the most recent window of mixed frames; levels() transforms each channel (Hann window,
// real DFT through libavutil's av_tx) and reports, per band, the strongest partial's amplitude on a
// 60 dB scale: 1.0 for a full-scale sine, 0 at −60 dB and below. Bands are spaced evenly in pitch
// from 50 Hz to 16 kHz (or the Nyquist frequency when lower). push() and levels() may be called from
// different threads.
#include "platform/mvkit/playback/audio_format.h"

#include <cstdint>
#include <mutex>
#include <vector>

// Levels of `numberOfBandLevels` bands for each of `numberOfChannels` channels, channel by channel,
// each 0…1.
struct MVAudioFrequencyLevels {
    uint32_t numberOfChannels = 0;
    uint32_t numberOfBandLevels = 0;
    std::vector<float> levels;
    float level(uint32_t channel, uint32_t band) const { return levels[channel * numberOfBandLevels + band]; }
};

struct AVTXContext;

class MVAudioLevelMeter {
public:
    static constexpr int kDefaultBandCount = 7;
    static constexpr int kWindowSize = 2048;
    static constexpr float kFloorDecibels = -60.0f;

    explicit MVAudioLevelMeter(MVAudioFormat format, int bandCount = kDefaultBandCount);
    ~MVAudioLevelMeter();
    MVAudioLevelMeter(const MVAudioLevelMeter&) = delete;
    MVAudioLevelMeter& operator=(const MVAudioLevelMeter&) = delete;

    int numberOfBandLevels() const;
    void setNumberOfBandLevels(int bands); // 1…32
    int numberOfChannels() const { return _format.channelCount; }

    // Takes interleaved frames of the format; keeps the last kWindowSize.
    void push(const float* samples, int frames);
    // Forgets the frames held (levels fall to 0).
    void clear();
    MVAudioFrequencyLevels levels();

    // The lower edge of band `band` of `bands`, in Hz, at `sampleRate` (band == bands: the top edge).
    static double bandEdge(int band, int bands, int sampleRate);

private:
    MVAudioFormat _format;
    mutable std::mutex _mutex;
    int _bands;
    std::vector<float> _ring; // kWindowSize frames, interleaved
    size_t _write = 0; // next frame to write
    AVTXContext* _tx = nullptr;
    void (*_transform)(AVTXContext*, void*, void*, ptrdiff_t) = nullptr;
    std::vector<float> _window;
};
