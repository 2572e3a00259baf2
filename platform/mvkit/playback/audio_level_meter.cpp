#include "platform/mvkit/playback/audio_level_meter.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

struct AVFreeDeleter {
    void operator()(void* p) const { av_free(p); }
};

} // namespace

MVAudioLevelMeter::MVAudioLevelMeter(MVAudioFormat format, int bandCount)
    : _format(format)
    , _bands(std::clamp(bandCount, 1, 32))
    , _ring(size_t(kWindowSize) * size_t(std::max(1, format.channelCount)), 0.0f)
    , _window(kWindowSize)
{
    _format.channelCount = std::max(1, _format.channelCount);
    _format.sampleRate = std::max(1, _format.sampleRate);
    float scale = 1.0f;
    av_tx_fn fn = nullptr;
    if (av_tx_init(&_tx, &fn, AV_TX_FLOAT_RDFT, 0, kWindowSize, &scale, 0) < 0)
        _tx = nullptr;
    _transform = fn;
    for (int i = 0; i < kWindowSize; ++i)
        _window[size_t(i)] = float(0.5 - 0.5 * std::cos(2.0 * M_PI * i / kWindowSize));
}

MVAudioLevelMeter::~MVAudioLevelMeter()
{
    av_tx_uninit(&_tx);
}

int MVAudioLevelMeter::numberOfBandLevels() const
{
    std::lock_guard lock(_mutex);
    return _bands;
}

void MVAudioLevelMeter::setNumberOfBandLevels(int bands)
{
    std::lock_guard lock(_mutex);
    _bands = std::clamp(bands, 1, 32);
}

void MVAudioLevelMeter::push(const float* samples, int frames)
{
    if (frames <= 0)
        return;
    std::lock_guard lock(_mutex);
    const size_t channels = size_t(_format.channelCount);
    // Only the last window matters.
    if (frames > kWindowSize) {
        samples += size_t(frames - kWindowSize) * channels;
        frames = kWindowSize;
    }
    for (int i = 0; i < frames; ++i) {
        std::copy_n(samples + size_t(i) * channels, channels, _ring.begin() + ptrdiff_t(_write * channels));
        _write = (_write + 1) % size_t(kWindowSize);
    }
}

void MVAudioLevelMeter::clear()
{
    std::lock_guard lock(_mutex);
    std::fill(_ring.begin(), _ring.end(), 0.0f);
    _write = 0;
}

double MVAudioLevelMeter::bandEdge(int band, int bands, int sampleRate)
{
    const double low = 50.0;
    const double high = std::min(16000.0, sampleRate / 2.0);
    return low * std::pow(high / low, double(band) / bands);
}

MVAudioFrequencyLevels MVAudioLevelMeter::levels()
{
    std::lock_guard lock(_mutex);
    const int channels = _format.channelCount;
    MVAudioFrequencyLevels result;
    result.numberOfChannels = uint32_t(channels);
    result.numberOfBandLevels = uint32_t(_bands);
    result.levels.assign(size_t(channels) * size_t(_bands), 0.0f);
    if (!_tx)
        return result;
    std::unique_ptr<float, AVFreeDeleter> in(
        static_cast<float*>(av_malloc(sizeof(float) * (kWindowSize + 2))));
    std::unique_ptr<AVComplexFloat, AVFreeDeleter> out(
        static_cast<AVComplexFloat*>(av_malloc(sizeof(AVComplexFloat) * (kWindowSize / 2 + 1))));
    if (!in || !out)
        return result;
    const double binWidth = double(_format.sampleRate) / kWindowSize;
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < kWindowSize; ++i) {
            size_t frame = (_write + size_t(i)) % size_t(kWindowSize);
            in.get()[i] = _ring[frame * size_t(channels) + size_t(c)] * _window[size_t(i)];
        }
        _transform(_tx, out.get(), in.get(), sizeof(float));
        for (int b = 0; b < _bands; ++b) {
            int first = std::max(1, int(std::ceil(bandEdge(b, _bands, _format.sampleRate) / binWidth)));
            int last = std::min(
                kWindowSize / 2, int(std::ceil(bandEdge(b + 1, _bands, _format.sampleRate) / binWidth)) - 1);
            if (first > last) {
                // A band narrower than a bin reads the bin at its centre.
                double centre = std::sqrt(
                    bandEdge(b, _bands, _format.sampleRate) * bandEdge(b + 1, _bands, _format.sampleRate));
                first = last = std::clamp(int(std::lround(centre / binWidth)), 1, kWindowSize / 2);
            }
            float peak = 0;
            for (int k = first; k <= last; ++k) {
                const auto& z = out.get()[k];
                peak = std::max(peak, std::sqrt(z.re * z.re + z.im * z.im));
            }
            // A Hann-windowed sine of amplitude A peaks at A·N/4.
            const float amplitude = peak * 4.0f / kWindowSize;
            float level = 0;
            if (amplitude > 0) {
                float decibels = 20.0f * std::log10(amplitude);
                level = std::clamp((decibels - kFloorDecibels) / -kFloorDecibels, 0.0f, 1.0f);
            }
            result.levels[size_t(c) * size_t(_bands) + size_t(b)] = level;
        }
    }
    return result;
}
