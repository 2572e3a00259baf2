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

// A sound output that plays like a sound device, on the main run loop's clock: it renders buffers of
// `bufferFrames` frames whenever it has room for one, holding the buffer being heard and the next one,
// and hears them at `pace` times real speed (a device's clock never quite keeps the computer's). Each
// reading of its clock costs `readCost` seconds of its time, as on a busy machine where time passes
// between any two readings. Paused, it plays out what it holds and then stands. It renders when its
// clock is read or pumped, as a device's own thread would have by then, and keeps every frame.
class DeviceOutput : public MVAudioOutput {
public:
    struct Settings {
        int bufferFrames = 1024;
        double pace = 1.0;
        double readCost = 0;
    };
    DeviceOutput(MVAudioFormat format, RenderCallback render, Settings settings)
        : _format(format)
        , _render(std::move(render))
        , _settings(settings)
    {
    }
    MVAudioFormat format() const override { return _format; }
    void setRunning(bool running) override
    {
        if (running == _running)
            return;
        _heardFrom = heardFrame();
        _since = deviceNow();
        _running = running;
        catchUp();
    }
    bool isRunning() const override { return _running; }
    double playedTime() const override
    {
        ++_reads;
        catchUp();
        return heardFrame() / _format.sampleRate;
    }
    int bufferedFrames() const override { return 2 * _settings.bufferFrames; }
    void pump() override { catchUp(); }

    // The frame being heard now (a fraction between frames), without counting as a reading.
    double heardFrame() const
    {
        const double elapsed = (deviceNow() - _since) * _format.sampleRate * _settings.pace;
        // Paused, what it holds plays out.
        return _running ? _heardFrom + elapsed : std::min(double(_rendered), _heardFrom + elapsed);
    }
    const std::vector<float>& samples() const { return _samples; } // interleaved frames of format()

private:
    double deviceNow() const { return HXRunLoop::main().now() + double(_reads) * _settings.readCost; }
    void catchUp() const
    {
        if (!_running)
            return;
        const int64_t size = _settings.bufferFrames;
        const size_t channels = size_t(_format.channelCount);
        while (_rendered < (int64_t(heardFrame()) / size + 2) * size) {
            _buffer.assign(size_t(size) * channels, 0.0f);
            _render(_buffer.data(), int(size));
            _samples.insert(_samples.end(), _buffer.begin(), _buffer.end());
            _rendered += size;
        }
    }

    MVAudioFormat _format;
    RenderCallback _render;
    Settings _settings;
    bool _running = false;
    double _heardFrom = 0; // the frame heard at _since
    double _since = 0; // device time
    // What a reading changes: the device renders as its time passes.
    mutable int64_t _reads = 0;
    mutable int64_t _rendered = 0;
    mutable std::vector<float> _buffer;
    mutable std::vector<float> _samples;
};

// The frames at which clicks start in channel `channel` of interleaved `samples`: where the sound rises
// above `threshold` after at least `quiet` frames below it.
inline std::vector<int64_t> clickFrames(
    const std::vector<float>& samples, int channels, float threshold, int64_t quiet, int channel = 0)
{
    std::vector<int64_t> clicks;
    int64_t last = -quiet - 1;
    const int64_t frames = int64_t(samples.size()) / channels;
    for (int64_t i = 0; i < frames; ++i)
        if (std::abs(samples[size_t(i * channels + channel)]) > threshold) {
            if (i - last > quiet)
                clicks.push_back(i);
            last = i;
        }
    return clicks;
}

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
