#include "platform/mvkit/playback/shelving_filter.h"

#include <algorithm>
#include <cmath>

MVShelvingFilter::MVShelvingFilter(Kind kind, double cornerFrequency, int sampleRate, int channelCount)
    : _kind(kind)
    , _frequency(cornerFrequency)
    , _sampleRate(std::max(1, sampleRate))
    , _channels(std::max(1, channelCount))
    , _state(size_t(_channels))
{
}

void MVShelvingFilter::setGain(float decibels)
{
    if (!std::isfinite(decibels))
        decibels = 0;
    _gain = std::clamp(decibels, -kMaximumGain, kMaximumGain);
    const double a = std::pow(10.0, _gain / 40.0);
    const double w0 = 2.0 * M_PI * std::min(_frequency, _sampleRate * 0.45) / _sampleRate;
    const double cosw = std::cos(w0);
    const double alpha = std::sin(w0) / 2.0 * std::sqrt(2.0); // slope 1
    const double root = 2.0 * std::sqrt(a) * alpha;
    double b0, b1, b2, a0, a1, a2;
    if (_kind == Kind::Low) {
        b0 = a * ((a + 1) - (a - 1) * cosw + root);
        b1 = 2 * a * ((a - 1) - (a + 1) * cosw);
        b2 = a * ((a + 1) - (a - 1) * cosw - root);
        a0 = (a + 1) + (a - 1) * cosw + root;
        a1 = -2 * ((a - 1) + (a + 1) * cosw);
        a2 = (a + 1) + (a - 1) * cosw - root;
    } else {
        b0 = a * ((a + 1) + (a - 1) * cosw + root);
        b1 = -2 * a * ((a - 1) + (a + 1) * cosw);
        b2 = a * ((a + 1) + (a - 1) * cosw - root);
        a0 = (a + 1) - (a - 1) * cosw + root;
        a1 = 2 * ((a - 1) - (a + 1) * cosw);
        a2 = (a + 1) - (a - 1) * cosw - root;
    }
    _b0 = b0 / a0, _b1 = b1 / a0, _b2 = b2 / a0, _a1 = a1 / a0, _a2 = a2 / a0;
}

void MVShelvingFilter::reset()
{
    std::fill(_state.begin(), _state.end(), State {});
}

void MVShelvingFilter::process(float* samples, int frames)
{
    if (_gain == 0)
        return;
    for (int c = 0; c < _channels; ++c) {
        State s = _state[size_t(c)];
        float* p = samples + c;
        for (int i = 0; i < frames; ++i, p += _channels) {
            double x = *p;
            double y = _b0 * x + _b1 * s.x1 + _b2 * s.x2 - _a1 * s.y1 - _a2 * s.y2;
            s.x2 = s.x1, s.x1 = x, s.y2 = s.y1, s.y1 = y;
            *p = float(y);
        }
        _state[size_t(c)] = s;
    }
}
