#include "platform/mvkit/playback/audio_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

MVAudioMixer::MVAudioMixer(MVAudioFormat format)
    : _format(format)
    , _movieFilters(makeFilters())
{
}

MVAudioMixer::Filters MVAudioMixer::makeFilters() const
{
    return { MVShelvingFilter(MVShelvingFilter::Kind::Low, MVShelvingFilter::kBassFrequency,
                 _format.sampleRate, _format.channelCount),
        MVShelvingFilter(MVShelvingFilter::Kind::High, MVShelvingFilter::kTrebleFrequency, _format.sampleRate,
            _format.channelCount) };
}

void MVAudioMixer::setMovieSettings(const MVAudioMixSettings& settings)
{
    _movie = settings;
}

void MVAudioMixer::balanceFactors(float balance, float* left, float* right)
{
    if (!std::isfinite(balance))
        balance = 0;
    balance = std::clamp(balance, -1.0f, 1.0f);
    *left = std::min(1.0f, 1.0f - balance);
    *right = std::min(1.0f, 1.0f + balance);
}

void MVAudioMixer::applyFilters(
    Filters& filters, const MVAudioMixSettings& settings, float* samples, int frames)
{
    if (filters.bass.gain() != settings.bass)
        filters.bass.setGain(settings.bass);
    if (filters.treble.gain() != settings.treble)
        filters.treble.setGain(settings.treble);
    filters.bass.process(samples, frames);
    filters.treble.process(samples, frames);
}

void MVAudioMixer::applyLevel(const MVAudioMixSettings& settings, float* samples, int frames) const
{
    const size_t channels = size_t(_format.channelCount);
    const size_t count = size_t(frames) * channels;
    float level = settings.muted ? 0.0f : settings.volume * settings.gain;
    if (!std::isfinite(level) || level < 0)
        level = 0;
    float left = 1, right = 1;
    if (channels >= 2)
        balanceFactors(settings.balance, &left, &right);
    if (level == 1.0f && left == 1.0f && right == 1.0f)
        return;
    if (channels < 2) {
        for (size_t i = 0; i < count; ++i)
            samples[i] *= level;
        return;
    }
    const float l = level * left, r = level * right;
    for (size_t i = 0; i < count; i += channels) {
        samples[i] *= l;
        samples[i + 1] *= r;
        for (size_t c = 2; c < channels; ++c)
            samples[i + c] *= level;
    }
}

void MVAudioMixer::mix(std::span<const Input> inputs, int frames, float* out)
{
    const size_t count = size_t(std::max(0, frames)) * size_t(_format.channelCount);
    std::memset(out, 0, count * sizeof(float));
    _scratch.resize(count);
    for (const auto& input : inputs) {
        if (!input.samples || input.settings.muted)
            continue;
        auto it = _trackFilters.find(input.trackID);
        if (it == _trackFilters.end())
            it = _trackFilters.emplace(input.trackID, makeFilters()).first;
        std::memcpy(_scratch.data(), input.samples, count * sizeof(float));
        applyFilters(it->second, input.settings, _scratch.data(), frames);
        applyLevel(input.settings, _scratch.data(), frames);
        for (size_t i = 0; i < count; ++i)
            out[i] += _scratch[i];
    }
    applyFilters(_movieFilters, _movie, out, frames);
    applyLevel(_movie, out, frames);
}

void MVAudioMixer::reset()
{
    _movieFilters.bass.reset();
    _movieFilters.treble.reset();
    for (auto& [id, filters] : _trackFilters) {
        filters.bass.reset();
        filters.treble.reset();
    }
}

void MVAudioMixer::retainTracks(const std::vector<uint32_t>& trackIDs)
{
    std::erase_if(_trackFilters, [&](const auto& entry) {
        return std::find(trackIDs.begin(), trackIDs.end(), entry.first) == trackIDs.end();
    });
}
