#pragma once
// MVAudioOutput: where mixed sound goes, and the clock it keeps.
//
// An output pulls frames of its format from its render callback and answers playedTime(): the
// seconds of sound the listener has heard so far, counted in the frames it rendered (the first frame
// it rendered is heard at 0). The player knows which movie time each rendered frame holds, so while
// sound plays the movie's clock follows the movie time of the frame being heard, and the picture
// keeps to the sound.
//
// MVSDLAudioOutput plays through an SDL2 audio device; the callback runs on SDL's audio thread. SDL
// hands each buffer the callback fills to the device as soon as it is filled and asks for the next
// when the device has played it, so the frames heard are those rendered, less the last buffer, plus
// what of it has played since.
// MVSilentAudioOutput has no device: it consumes frames as its time source advances, when pump() is
// called (the player calls it from its presentation timer), so it keeps the same clock without a
// device and, with a manual time source, without any real time passing.
#include "platform/basekit/error.h"
#include "platform/mvkit/playback/audio_format.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class MVAudioOutput {
public:
    using RenderCallback = std::function<void(float* out, int frames)>;
    virtual ~MVAudioOutput() = default;

    virtual MVAudioFormat format() const = 0;
    // Starts or pauses pulling frames. The played time stands still while paused.
    virtual void setRunning(bool running) = 0;
    virtual bool isRunning() const = 0;
    virtual double playedTime() const = 0;
    // Frames the output may hold between rendering and the listener (its latency).
    virtual int bufferedFrames() const = 0;
    // Renders what has fallen due; nothing for outputs with a thread of their own.
    virtual void pump() { }
    // The channels of the device the sound goes to (the output converts to them); by default those of
    // the output's own format; 0 for an output that plays to no device.
    virtual int deviceChannelCount() const { return format().channelCount; }
};

class MVSilentAudioOutput : public MVAudioOutput {
public:
    MVSilentAudioOutput(MVAudioFormat format, RenderCallback render, std::function<double()> timeSource);

    MVAudioFormat format() const override { return _format; }
    void setRunning(bool running) override;
    bool isRunning() const override { return _running; }
    double playedTime() const override;
    int bufferedFrames() const override { return 0; }
    void pump() override;
    int deviceChannelCount() const override { return 0; } // no device at all

    int64_t framesRendered() const { return _rendered; }

private:
    MVAudioFormat _format;
    RenderCallback _render;
    std::function<double()> _timeSource;
    bool _running = false;
    double _startHost = 0; // host time at which _startFrames were done
    int64_t _startFrames = 0;
    int64_t _rendered = 0;
    std::vector<float> _buffer;
};

class MVSDLAudioOutput : public MVAudioOutput {
public:
    // Opens the default device in `format` (float samples); nothing (with an error) when there is none.
    static std::unique_ptr<MVSDLAudioOutput> output(
        MVAudioFormat format, RenderCallback render, HXError* outError);
    ~MVSDLAudioOutput() override;

    MVAudioFormat format() const override { return _format; }
    void setRunning(bool running) override;
    bool isRunning() const override { return _running; }
    double playedTime() const override;
    int bufferedFrames() const override { return _deviceFrames; }
    int deviceChannelCount() const override { return _deviceChannels; }

private:
    MVSDLAudioOutput() = default;
    static void callback(void* self, uint8_t* stream, int length);

    MVAudioFormat _format;
    RenderCallback _render;
    uint32_t _device = 0;
    int _deviceFrames = 0;
    int _deviceChannels = 0;
    bool _running = false;
    // The frames rendered and when the last of them were handed over: read together, so that a
    // reading never pairs a new count with the time of the buffer before.
    mutable std::mutex _playedMutex;
    int64_t _rendered = 0;
    double _lastCallbackHost = 0;
    mutable double _lastAnswer = 0;
};

// The channels of the default sound device, as the sound system describes it; 0 when there is none (or
// MOVARA_SILENT_AUDIO is set).
int MVDefaultAudioDeviceChannelCount();

// The output for playing a movie: the SDL device when one can be opened and MOVARA_SILENT_AUDIO is
// not set in the environment; otherwise a silent output on `timeSource`.
std::unique_ptr<MVAudioOutput> MVMakeAudioOutput(
    MVAudioFormat format, MVAudioOutput::RenderCallback render, std::function<double()> timeSource);
