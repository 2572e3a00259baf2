#pragma once
// MVEditMap: a track's edit list as segments on the movie's timeline, and the media time each movie
// time shows.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <optional>
#include <vector>

class MVEditMap {
public:
    struct Segment {
        int64_t movieStart = 0; // movie units
        int64_t movieDuration = 0; // movie units
        int64_t mediaTime = -1; // media units; −1: empty
        int32_t mediaRate = 0x10000;
        int64_t movieEnd() const { return movieStart + movieDuration; }
        bool isEmpty() const { return mediaTime < 0; }
    };

    // `edits` in movie units; none plays the whole media (`mediaDuration` media units) from 0.
    MVEditMap(const std::vector<MVEditListEntry>& edits, int32_t movieTimeScale, int32_t mediaTimeScale,
        int64_t mediaDuration);

    const std::vector<Segment>& segments() const { return _segments; }
    int64_t duration() const { return _segments.empty() ? 0 : _segments.back().movieEnd(); }
    int32_t movieTimeScale() const { return _movieScale; }
    int32_t mediaTimeScale() const { return _mediaScale; }

    // The segment holding `movieTime` (0-based), nothing before 0 or at/after the end.
    std::optional<size_t> segmentIndexAt(int64_t movieTime) const;
    // The media time shown at `movieTime`; nothing in an empty segment or outside the track.
    std::optional<int64_t> mediaTimeAt(int64_t movieTime) const;
    // Media units the segment covers.
    int64_t mediaDuration(const Segment& segment) const;
    // The first movie time at which `mediaTime` shows inside `segment` (rounded up, so that mediaTimeAt
    // of the answer is `mediaTime` or later: rounded down, a picture could start at a movie time that
    // still shows the one before it, and at 60 pictures a second in a movie of milliseconds every third
    // picture would never be shown).
    int64_t movieTimeForMediaTime(const Segment& segment, int64_t mediaTime) const;

private:
    std::vector<Segment> _segments;
    int32_t _movieScale;
    int32_t _mediaScale;
};
