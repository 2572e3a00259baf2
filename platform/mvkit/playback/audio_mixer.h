#pragma once
// MVAudioMixer: mixes the sound tracks of a movie into one buffer of the mix format.
//
// Each track is scaled by its volume and gain (nothing when muted), shaped by its bass and treble, and
// placed by its balance; the sum then gets the movie's bass, treble, volume, gain, balance and mute.
// Balance runs from −1 (left only) through 0 (both at full level) to 1 (right only): the far side is
// turned down, the near side stays at unity, so a centred balance changes nothing. It acts on the
// first two channels; a mono mix has no balance. Neutral settings leave the samples bit for bit as
// they are. Samples are not limited here; the output clips.
#include "platform/mvkit/playback/audio_format.h"
#include "platform/mvkit/playback/shelving_filter.h"

#include <cstdint>
#include <map>
#include <span>
#include <vector>

struct MVAudioMixSettings {
    float volume = 1.0f; // linear
    float gain = 1.0f; // linear
    float balance = 0.0f; // −1 … 1
    float bass = 0.0f; // dB
    float treble = 0.0f; // dB
    bool muted = false;
    bool operator==(const MVAudioMixSettings&) const = default;
};

class MVAudioMixer {
public:
    explicit MVAudioMixer(MVAudioFormat format);

    const MVAudioFormat& format() const { return _format; }
    MVAudioMixSettings movieSettings() const { return _movie; }
    void setMovieSettings(const MVAudioMixSettings& settings);

    struct Input {
        uint32_t trackID = 0;
        const float* samples = nullptr; // `frames` interleaved frames of the mix format
        MVAudioMixSettings settings;
    };
    // Mixes `frames` frames of every input into `out` (overwritten). Inputs' samples may be changed.
    void mix(std::span<const Input> inputs, int frames, float* out);
    // Forgets the filters' history (after a jump in time).
    void reset();
    // Drops the state kept for tracks not in `trackIDs`.
    void retainTracks(const std::vector<uint32_t>& trackIDs);

    // The two channel factors a balance gives.
    static void balanceFactors(float balance, float* left, float* right);

private:
    struct Filters {
        MVShelvingFilter bass;
        MVShelvingFilter treble;
    };
    Filters makeFilters() const;
    void applyFilters(Filters& filters, const MVAudioMixSettings& settings, float* samples, int frames);
    void applyLevel(const MVAudioMixSettings& settings, float* samples, int frames) const;

    MVAudioFormat _format;
    MVAudioMixSettings _movie;
    Filters _movieFilters;
    std::map<uint32_t, Filters> _trackFilters;
    std::vector<float> _scratch;
};
