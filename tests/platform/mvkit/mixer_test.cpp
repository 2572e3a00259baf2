// The mixer's levels, balance and shelves, and the level meter's bands.
#include "platform/mvkit/playback/audio_level_meter.h"
#include "platform/mvkit/playback/audio_mixer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<float> constant(int frames, int channels, float value)
{
    return std::vector<float>(size_t(frames) * size_t(channels), value);
}

std::vector<float> sine(
    int frames, int channels, int rate, double frequency, double amplitude, int channel = -1)
{
    std::vector<float> out(size_t(frames) * size_t(channels), 0.0f);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            if (channel < 0 || channel == c)
                out[size_t(i * channels + c)] = float(amplitude * std::sin(2 * M_PI * frequency * i / rate));
    return out;
}

} // namespace

TEST(MixerTest, NeutralSettingsKeepEverySampleExactly)
{
    MVAudioMixer mixer({ 44100, 2 });
    auto in = sine(1000, 2, 44100, 440, 0.7);
    std::vector<float> out(in.size());
    MVAudioMixer::Input input { 1, in.data(), {} };
    mixer.mix({ &input, 1 }, 1000, out.data());
    EXPECT_EQ(out, in);
}

TEST(MixerTest, LevelsBalanceAndMute)
{
    struct Case {
        const char* name;
        MVAudioMixSettings track;
        MVAudioMixSettings movie;
        float left; // the output of a constant 0.5 input on both channels
        float right;
    };
    const Case cases[] = {
        { "track volume", { .volume = 0.5f }, {}, 0.25f, 0.25f },
        { "track gain", { .gain = 1.5f }, {}, 0.75f, 0.75f },
        { "track muted", { .muted = true }, {}, 0, 0 },
        { "track balance left", { .balance = -1 }, {}, 0.5f, 0 },
        { "track balance half right", { .balance = 0.5f }, {}, 0.25f, 0.5f },
        { "balance beyond the range", { .balance = 4 }, {}, 0, 0.5f },
        { "balance not a number", { .balance = NAN }, {}, 0.5f, 0.5f },
        { "negative volume", { .volume = -1 }, {}, 0, 0 },
        { "movie volume", {}, { .volume = 0.5f }, 0.25f, 0.25f },
        { "movie muted", {}, { .muted = true }, 0, 0 },
        { "movie balance right", {}, { .balance = 1 }, 0, 0.5f },
        { "track and movie", { .volume = 0.5f, .balance = -0.5f }, { .volume = 0.5f, .balance = 0.5f },
            0.0625f, 0.0625f },
    };
    for (const auto& c : cases) {
        MVAudioMixer mixer({ 48000, 2 });
        mixer.setMovieSettings(c.movie);
        auto in = constant(64, 2, 0.5f);
        std::vector<float> out(in.size());
        MVAudioMixer::Input input { 7, in.data(), c.track };
        mixer.mix({ &input, 1 }, 64, out.data());
        EXPECT_FLOAT_EQ(out[10], c.left) << c.name;
        EXPECT_FLOAT_EQ(out[11], c.right) << c.name;
    }
}

TEST(MixerTest, TracksAreSummedAndAMonoMixHasNoBalance)
{
    MVAudioMixer stereo({ 48000, 2 });
    auto a = constant(16, 2, 0.25f);
    auto b = constant(16, 2, 0.5f);
    std::vector<float> out(a.size());
    MVAudioMixer::Input inputs[]
        = { { 1, a.data(), {} }, { 2, b.data(), { .volume = 0.5f } }, { 3, nullptr, {} } };
    stereo.mix(inputs, 16, out.data());
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);

    MVAudioMixer mono({ 48000, 1 });
    auto m = constant(16, 1, 0.5f);
    std::vector<float> monoOut(m.size());
    MVAudioMixer::Input input { 1, m.data(), { .balance = -1 } };
    mono.mix({ &input, 1 }, 16, monoOut.data());
    EXPECT_FLOAT_EQ(monoOut[5], 0.5f);
}

TEST(ShelvingFilterTest, ShelvesLiftTheirEndOfTheSpectrumOnly)
{
    // Steady-state gain at 0 Hz (a constant) and at the Nyquist frequency (alternating signs).
    struct Case {
        MVShelvingFilter::Kind kind;
        float decibels;
        double dcGain;
        double nyquistGain;
    };
    auto dB = [](double d) { return std::pow(10.0, d / 20.0); };
    const Case cases[] = {
        { MVShelvingFilter::Kind::Low, 6, dB(6), 1 }, { MVShelvingFilter::Kind::Low, -12, dB(-12), 1 },
        { MVShelvingFilter::Kind::High, 6, 1, dB(6) }, { MVShelvingFilter::Kind::High, -12, 1, dB(-12) },
        { MVShelvingFilter::Kind::Low, 40, dB(24), 1 }, // limited to 24 dB
    };
    for (const auto& c : cases) {
        for (bool nyquist : { false, true }) {
            MVShelvingFilter filter(c.kind,
                c.kind == MVShelvingFilter::Kind::Low ? MVShelvingFilter::kBassFrequency
                                                      : MVShelvingFilter::kTrebleFrequency,
                48000, 1);
            filter.setGain(c.decibels);
            std::vector<float> signal(48000);
            for (size_t i = 0; i < signal.size(); ++i)
                signal[i] = nyquist && (i % 2) ? -0.1f : 0.1f;
            filter.process(signal.data(), int(signal.size()));
            double measured = std::abs(signal.back()) / 0.1;
            EXPECT_NEAR(measured, nyquist ? c.nyquistGain : c.dcGain, 0.01)
                << c.decibels << (nyquist ? " nyquist" : " dc");
        }
    }
}

TEST(MixerTest, MovieBassLiftsLowFrequencies)
{
    MVAudioMixer mixer({ 48000, 2 });
    mixer.setMovieSettings({ .bass = 6 });
    auto in = constant(48000, 2, 0.1f);
    std::vector<float> out(in.size());
    MVAudioMixer::Input input { 1, in.data(), {} };
    mixer.mix({ &input, 1 }, 48000, out.data());
    EXPECT_NEAR(out.back(), 0.1 * std::pow(10.0, 6.0 / 20.0), 1e-3);
}

namespace {

int bandOf(double frequency, int bands, int rate)
{
    for (int b = 0; b < bands; ++b)
        if (frequency < MVAudioLevelMeter::bandEdge(b + 1, bands, rate))
            return b;
    return bands - 1;
}

} // namespace

TEST(LevelMeterTest, SinesLightTheirBand)
{
    struct Case {
        double frequency;
        double amplitude;
        float expectedLevel;
    };
    const Case cases[] = { { 1000, 1.0, 1.0f }, { 1000, 0.1, 2.0f / 3.0f }, { 120, 0.5, 0.9f },
        { 8000, 1.0, 1.0f }, { 1000, 0.0005, 0.0f } };
    for (const auto& c : cases) {
        MVAudioLevelMeter meter({ 44100, 1 });
        auto in = sine(4096, 1, 44100, c.frequency, c.amplitude);
        meter.push(in.data(), 4096);
        auto levels = meter.levels();
        ASSERT_EQ(levels.numberOfChannels, 1u);
        ASSERT_EQ(levels.numberOfBandLevels, 7u);
        int band = bandOf(c.frequency, 7, 44100);
        EXPECT_NEAR(levels.level(0, uint32_t(band)), c.expectedLevel, 0.05)
            << c.frequency << " " << c.amplitude;
        for (int b = 0; b < 7; ++b)
            if (std::abs(b - band) > 1) {
                EXPECT_LT(levels.level(0, uint32_t(b)), 0.4f) << c.frequency << " band " << b;
            }
    }
}

TEST(LevelMeterTest, ChannelsAreSeparateAndClearingSilences)
{
    MVAudioLevelMeter meter({ 48000, 2 }, 10);
    auto left = sine(3000, 2, 48000, 100, 1.0, 0);
    auto right = sine(3000, 2, 48000, 6000, 1.0, 1);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] += right[i];
    meter.push(left.data(), 3000);
    auto levels = meter.levels();
    ASSERT_EQ(levels.levels.size(), 20u);
    int low = bandOf(100, 10, 48000), high = bandOf(6000, 10, 48000);
    EXPECT_GT(levels.level(0, uint32_t(low)), 0.9f);
    EXPECT_LT(levels.level(0, uint32_t(high)), 0.3f);
    EXPECT_GT(levels.level(1, uint32_t(high)), 0.9f);
    EXPECT_LT(levels.level(1, uint32_t(low)), 0.3f);

    meter.clear();
    for (float v : meter.levels().levels)
        EXPECT_EQ(v, 0.0f);
    meter.setNumberOfBandLevels(0);
    EXPECT_EQ(meter.numberOfBandLevels(), 1);
}
