#include "platform/mvkit/playback/audio_output.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

double hostSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

// ---- Silent output

MVSilentAudioOutput::MVSilentAudioOutput(
    MVAudioFormat format, RenderCallback render, std::function<double()> timeSource)
    : _format(format)
    , _render(std::move(render))
    , _timeSource(std::move(timeSource))
{
}

void MVSilentAudioOutput::setRunning(bool running)
{
    if (running == _running)
        return;
    if (running) {
        _startHost = _timeSource();
        _startFrames = _rendered;
    }
    _running = running;
}

double MVSilentAudioOutput::playedTime() const
{
    return double(_rendered) / _format.sampleRate;
}

void MVSilentAudioOutput::pump()
{
    if (!_running)
        return;
    const int64_t due
        = _startFrames + int64_t(std::floor((_timeSource() - _startHost) * _format.sampleRate + 1e-6));
    while (_rendered < due) {
        int frames = int(std::min<int64_t>(due - _rendered, 4096));
        _buffer.resize(size_t(frames) * size_t(_format.channelCount));
        if (_render)
            _render(_buffer.data(), frames);
        _rendered += frames;
    }
}

// ---- SDL output

std::unique_ptr<MVSDLAudioOutput> MVSDLAudioOutput::output(
    MVAudioFormat format, RenderCallback render, HXError* outError)
{
    auto fail = [&](const std::string& text) -> std::unique_ptr<MVSDLAudioOutput> {
        if (outError)
            *outError = HXError::withDescription(HXOSStatusErrorDomain, -2005, text);
        return nullptr;
    };
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return fail(std::string("No sound output: ") + SDL_GetError());
    std::unique_ptr<MVSDLAudioOutput> output(new MVSDLAudioOutput);
    output->_render = std::move(render);
    SDL_AudioSpec wanted {};
    wanted.freq = format.sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = uint8_t(format.channelCount);
    wanted.samples = 1024;
    wanted.callback = &MVSDLAudioOutput::callback;
    wanted.userdata = output.get();
    SDL_AudioSpec obtained {};
    output->_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output->_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(std::string("No sound output: ") + SDL_GetError());
    }
    output->_format = { obtained.freq, obtained.channels };
    output->_deviceFrames = obtained.samples;
    // SDL mixes down to what we asked for; the device itself may have more speakers.
    output->_deviceChannels = obtained.channels;
    char* name = nullptr;
    SDL_AudioSpec device {};
    if (SDL_GetDefaultAudioInfo(&name, &device, 0) == 0 && device.channels > 0)
        output->_deviceChannels = device.channels;
    SDL_free(name);
    return output;
}

int MVDefaultAudioDeviceChannelCount()
{
    if (std::getenv("MOVARA_SILENT_AUDIO") || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 0;
    char* name = nullptr;
    SDL_AudioSpec device {};
    int channels = SDL_GetDefaultAudioInfo(&name, &device, 0) == 0 ? device.channels : 0;
    SDL_free(name);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return channels;
}

MVSDLAudioOutput::~MVSDLAudioOutput()
{
    if (_device) {
        SDL_CloseAudioDevice(_device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void MVSDLAudioOutput::callback(void* self, uint8_t* stream, int length)
{
    auto* output = static_cast<MVSDLAudioOutput*>(self);
    const int frames = length / int(sizeof(float)) / output->_format.channelCount;
    float* out = reinterpret_cast<float*>(stream);
    if (output->_render)
        output->_render(out, frames);
    else
        std::memset(stream, 0, size_t(length));
    // The device clips; keep samples in range so it does not wrap.
    for (int i = 0; i < frames * output->_format.channelCount; ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    // The buffer goes to the device now: it is heard from here on.
    std::lock_guard lock(output->_playedMutex);
    output->_rendered += frames;
    output->_lastCallbackHost = hostSeconds();
}

void MVSDLAudioOutput::setRunning(bool running)
{
    if (running == _running)
        return;
    _running = running;
    SDL_PauseAudioDevice(_device, running ? 0 : 1);
}

double MVSDLAudioOutput::playedTime() const
{
    // What was rendered, less what still waits in the device, plus the time since the last callback
    // (at most one buffer): smooth between callbacks, never backwards.
    const double rate = _format.sampleRate;
    const double buffer = _deviceFrames / rate;
    std::lock_guard lock(_playedMutex);
    const double rendered = double(_rendered) / rate;
    const double since = _running ? std::clamp(hostSeconds() - _lastCallbackHost, 0.0, buffer) : 0.0;
    _lastAnswer = std::max({ _lastAnswer, 0.0, rendered - buffer + since });
    return _lastAnswer;
}

std::unique_ptr<MVAudioOutput> MVMakeAudioOutput(
    MVAudioFormat format, MVAudioOutput::RenderCallback render, std::function<double()> timeSource)
{
    if (!std::getenv("MOVARA_SILENT_AUDIO")) {
        if (auto device = MVSDLAudioOutput::output(format, render, nullptr))
            return device;
    }
    return std::make_unique<MVSilentAudioOutput>(format, std::move(render), std::move(timeSource));
}
