#pragma once
// The samples of a track as scripts count and edit them: the frames a track shows in order (one per
// media sample its edits show, counted from 1), the time and duration of each, and the primitives that
// read, add, re-time and replace one sample in place.
//
// Times are track times in the movie's time scale unless a name says media time. Every lookup answers
// from one walk over the track's samples, kept until the track's edits or samples change.
#include "platform/mvkit/track.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace MVPTrackSamples {

// The next-sample flag and the flag that lets a sample starting exactly at the search time count.
inline constexpr uint16_t kNextSample = MVNextTimeMediaSample;
inline constexpr uint16_t kEdgeOK = MVNextTimeEdgeOK;

// One frame the track shows: where it starts and how long it shows (movie units), and the media sample.
struct MVPTrackFrame {
    int64_t time = -1;
    int64_t duration = 0;
    int64_t sample = -1; // index in the media, from 0
};

// Every frame the track shows, in time order: each media sample once for each edit that shows it, placed
// by its display time (a picture decoded ahead of those before it still shows in its turn). Empty when the
// track's duration is not positive.
const std::vector<MVPTrackFrame>& frames(const MVTrack& track);
int64_t frameCount(const MVTrack& track);
// The 1-based index of the frame showing `time` (0 for a time before the first frame or negative).
int64_t timeToIndex(const MVTrack& track, int64_t time);
// The `index`-th (1-based) frame's time and duration; time −1 when the track has fewer frames.
MVInterestingTime getIndInterestingTimeRange(const MVTrack& track, int64_t index);
// The frame that starts at `trackTime`; nothing when none does.
std::optional<MVPTrackFrame> frameAt(const MVTrack& track, int64_t trackTime);

int64_t timeToMediaTime(const MVTrack& track, int64_t trackTime);
MVBytes makeEmptySample();
// A description of no format: what a sample added without one is described by.
MVBytes makeDefaultSampleDescription();
// The sample of the frame starting at `trackTime` (its bytes, description index and flags), else the
// sample the media shows at that time; nothing outside the media.
std::optional<MVSample> getSample(const MVTrack& track, int64_t trackTime);
// `count` samples of `data` (split evenly) lasting `durationPerSample` media units each; a missing
// description is the default one. Answers the media time of the first, or −1.
int64_t addSample(MVTrack& track, const MVBytes& data, int64_t durationPerSample, int32_t count,
    const MVBytes* description, int16_t flags);
bool insertSample(
    MVTrack& track, int64_t trackTime, int64_t mediaTime, int64_t mediaDuration, double rate = 1.0);
bool deleteSegment(MVTrack& track, int64_t trackTime, int64_t duration);

// Replaces the `count` samples shown from `trackTime` (lasting `sourceDurationPerSample` each, in movie
// units) with `data`: the old range goes, the new samples last `newDurationPerSample` movie units each
// and start at `newTime`. −1 for the new time or duration keeps the old one. Answers the media time of
// the added data, or −1 (and nothing changes) when the arguments cannot be used.
int64_t replaceSample(MVTrack& track, int64_t trackTime, const MVBytes& data, int64_t sourceDurationPerSample,
    const MVBytes& description, int32_t count, int16_t flags, int64_t newTime, int64_t newDurationPerSample);
int64_t replaceOneSample(MVTrack& track, int64_t trackTime, const MVBytes& data, int64_t sourceDuration,
    const MVBytes& description, int16_t flags, int64_t newTime, int64_t newDuration);
// The sample of the frame at `trackTime` again, by reference to the same bytes, at `newTime` for
// `newDuration` movie units (−1: unchanged); what follows it moves by the change of duration.
int64_t replaceOneSampleReference(MVTrack& track, int64_t trackTime, int64_t newTime, int64_t newDuration);

} // namespace MVPTrackSamples
