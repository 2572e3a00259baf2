#pragma once
// The format sound is mixed and played in: interleaved 32-bit float samples.

struct MVAudioFormat {
    int sampleRate = 48000;
    int channelCount = 2;
    bool operator==(const MVAudioFormat&) const = default;
};
