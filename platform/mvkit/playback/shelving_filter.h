#pragma once
// MVShelvingFilter: the bass and treble controls — a low shelf and a high shelf (second-order
// sections after the audio cookbook's shelving formulas, slope 1), one state per channel.
//
// Gains are in decibels, limited to ±24 dB; at 0 dB a shelf is bypassed, so neutral settings leave
// the samples exactly as they were.
#include <vector>

class MVShelvingFilter {
public:
    enum class Kind { Low, High };
    static constexpr double kBassFrequency = 250.0;
    static constexpr double kTrebleFrequency = 4000.0;
    static constexpr float kMaximumGain = 24.0f;

    MVShelvingFilter(Kind kind, double cornerFrequency, int sampleRate, int channelCount);

    float gain() const { return _gain; }
    // Changes the gain; the running state is kept so a slider moves without clicks.
    void setGain(float decibels);
    // Filters `frames` interleaved frames in place.
    void process(float* samples, int frames);
    void reset();

private:
    struct State {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    Kind _kind;
    double _frequency;
    int _sampleRate;
    int _channels;
    float _gain = 0;
    double _b0 = 1, _b1 = 0, _b2 = 0, _a1 = 0, _a2 = 0;
    std::vector<State> _state;
};
