#pragma once
// Hearing what a player plays, for tests that link mvkit: a silent sound output on the main run loop's
// clock that keeps every frame it renders, player options that make one, and the level of one tone in
// the captured sound.
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/playback/audio_output.h"
#include "platform/mvkit/playback/movie_player.h"

#include "test_support.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace movara::test {

// A silent output that keeps what it was given.
class RecordingOutput : public MVAudioOutput {
public:
    RecordingOutput(MVAudioFormat format, RenderCallback render)
        : _silent(
            format,
            [this, render](float* out, int frames) {
                render(out, frames);
                samples.insert(
                    samples.end(), out, out + size_t(frames) * size_t(_silent.format().channelCount));
            },
            [] { return HXRunLoop::main().now(); })
    {
    }
    MVAudioFormat format() const override { return _silent.format(); }
    void setRunning(bool running) override { _silent.setRunning(running); }
    bool isRunning() const override { return _silent.isRunning(); }
    double playedTime() const override { return _silent.playedTime(); }
    int bufferedFrames() const override { return 0; }
    void pump() override { _silent.pump(); }
    std::vector<float> samples; // interleaved frames of format()

private:
    MVSilentAudioOutput _silent;
};

// The main run loop on a manual clock for the length of a test.
class ManualClockScope {
public:
    ManualClockScope() { HXRunLoop::main().setClock(clock); }
    ~ManualClockScope() { HXRunLoop::main().setClock(nullptr); }
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
};

// Player options with a silent output on the run loop's clock, 44.1 kHz stereo.
inline MVMoviePlayerOptions silentOptions()
{
    MVMoviePlayerOptions options;
    options.audioFormat = { 44100, 2 };
    options.makeAudioOutput = [](MVAudioFormat format, MVAudioOutput::RenderCallback render) {
        return std::make_unique<MVSilentAudioOutput>(
            format, std::move(render), [] { return HXRunLoop::main().now(); });
    };
    // The manual clock runs faster than decoding: presentation waits for every picture.
    options.frameWait = 10.0;
    return options;
}

// Silent options whose output records; `*recording` is set when the player makes it.
inline MVMoviePlayerOptions recordingOptions(RecordingOutput** recording)
{
    auto options = silentOptions();
    options.makeAudioOutput = [recording](MVAudioFormat format, MVAudioOutput::RenderCallback render) {
        auto output = std::make_unique<RecordingOutput>(format, std::move(render));
        *recording = output.get();
        return output;
    };
    return options;
}

// The amplitude of the tone at `frequency` in channel `channel` of interleaved `samples` (Goertzel's
// single-bin transform over the whole buffer); a full-scale sine answers about 1.
inline double toneAmplitude(
    const std::vector<float>& samples, int channels, int sampleRate, double frequency, int channel = 0)
{
    const size_t frames = samples.size() / size_t(channels);
    if (frames == 0)
        return 0;
    const double w = 2 * std::numbers::pi * frequency / sampleRate;
    const double coefficient = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double s0 = samples[i * size_t(channels) + size_t(channel)] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / double(frames);
}

// A .mov at `path` with two enabled 16-bit PCM sound tracks of `seconds`, a sine at `first` Hz in the
// first and at `second` Hz in the second (each at an eighth of full scale); false when ffmpeg fails.
inline bool makeTwoToneMovie(const std::filesystem::path& path, int first, int second, double seconds)
{
    auto sine = [&](int frequency) {
        return "sine=frequency=" + std::to_string(frequency)
            + ":sample_rate=44100:duration=" + std::to_string(seconds);
    };
    auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        sine(first), "-f", "lavfi", "-i", sine(second), "-map", "0:a", "-map", "1:a", "-c:a", "pcm_s16le",
        "-disposition:a:0", "default", "-disposition:a:1", "default", path.string() });
    return result.status == 0 && std::filesystem::exists(path);
}

} // namespace movara::test
