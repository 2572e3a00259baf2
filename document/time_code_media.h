#pragma once
// MVTimeCodeMedia: reading and placing time code through a movie's time-code track ('tmcd').
//
// Each sample of a time-code media holds a big-endian 32-bit frame number: the number of the frame shown
// at the sample's start. Frames then follow one every `frameDuration` media units of the sample's
// description. The track's edit list maps movie time to those media times.
#include "platform/mvkit/movie.h"
#include "document/time_code.h"

#include <cstdint>
#include <memory>
#include <optional>

inline constexpr uint32_t MVMediaTypeTimeCode = 0x746D6364; // 'tmcd'

class MVTimeCodeMedia {
public:
    explicit MVTimeCodeMedia(std::shared_ptr<MVTrack> track);

    // The movie's first track of media type 'tmcd'; null when it has none.
    static std::shared_ptr<MVTrack> timeCodeTrack(const MVMovie& movie);
    // Adds a time-code track that counts from frame `startFrame` for `duration` movie units, with one
    // sample. Movies made in code (and tests) use it.
    static std::shared_ptr<MVTrack> addTimeCodeTrack(
        MVMovie& movie, const MVTimeCodeDefinition& definition, int64_t startFrame, int64_t duration);

    const std::shared_ptr<MVTrack>& track() const { return _track; }
    // The definition of the first sample description; nothing when it cannot be read.
    std::optional<MVTimeCodeDefinition> definition() const { return _definition; }

    // The time code shown at the movie's current time (at the track's nearest end outside it).
    MVTimeCode currentTimeCode() const;
    // The time code at a media time (clamped into the media).
    MVTimeCode timeCodeAtTime(int64_t mediaTime) const;
    // The media time shown at a track time (movie units), clamped into the track; −1 in an empty segment.
    int64_t mediaTimeForTrackTime(int64_t trackTime) const;
    // The movie time at which the frame of `timeCode` is shown (its first unit); nothing when the track
    // never shows it.
    std::optional<MVTime> movieTimeForTimeCode(const MVTimeCode& timeCode) const;

private:
    std::optional<int64_t> counterOfSample(int64_t index) const;

    std::shared_ptr<MVTrack> _track;
    std::optional<MVTimeCodeDefinition> _definition;
};
