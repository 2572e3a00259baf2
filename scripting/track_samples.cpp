#include "scripting/track_samples.h"

#include "platform/mvkit/media.h"
#include "platform/mvkit/model_math.h"

#include <algorithm>
#include <map>
#include <memory>

namespace MVPTrackSamples {

namespace {

using mvmodel::mulDivCeil;

// A movie duration in the media's units (at least one unit for a positive duration).
int64_t toMediaUnits(const MVTrack& track, int64_t duration)
{
    if (!track.media() || duration <= 0)
        return 0;
    int64_t units
        = MVTimeInScale(MVMakeTime(duration, track.timeScale()), track.media()->timeScale()).timeValue;
    return std::max<int64_t>(1, units);
}

// One walk of a track's frames, and what it depended on: a later lookup reuses it until one of these
// changes (scripts ask for frame after frame; walking again for each would cost the square of the count).
struct Walk {
    std::weak_ptr<const MVTrack> track;
    const MVMedia* media = nullptr;
    std::vector<MVTrackEdit> edits;
    const void* samples = nullptr;
    size_t sampleCount = 0;
    int64_t mediaDuration = 0;
    int32_t movieScale = 0;
    int32_t mediaScale = 0;
    std::vector<MVPTrackFrame> frames;

    bool describes(const MVTrack& t) const
    {
        const auto& m = t.media();
        return track.lock().get() == &t && m.get() == media && m && &m->samples() == samples
            && m->samples().size() == sampleCount && m->duration() == mediaDuration
            && m->timeScale() == mediaScale && t.timeScale() == movieScale && t.edits() == edits;
    }
};

std::vector<MVPTrackFrame> walk(const MVTrack& track)
{
    std::vector<MVPTrackFrame> frames;
    const auto& mediaPtr = track.media();
    if (track.duration() <= 0 || !mediaPtr || mediaPtr->sampleCount() == 0)
        return frames;
    const MVMedia& media = *mediaPtr;
    const auto& records = media.samples();
    // The samples in display order: (display time, index).
    std::vector<std::pair<int64_t, int64_t>> shown;
    shown.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i)
        shown.emplace_back(media.sampleTime(int64_t(i)) + records[i].compositionOffset, int64_t(i));
    std::sort(shown.begin(), shown.end());

    const int64_t movieFixed = int64_t(track.timeScale()) * 0x10000;
    const int64_t mediaScale = media.timeScale();
    int64_t start = 0;
    for (const auto& e : track.edits()) {
        const int64_t end = start + e.duration;
        if (e.mediaTime >= 0 && e.duration > 0) {
            if (e.mediaRate <= 0) {
                // A still: one picture for the whole segment.
                auto it = std::upper_bound(shown.begin(), shown.end(), std::pair { e.mediaTime, INT64_MAX });
                if (it != shown.begin())
                    frames.push_back({ start, e.duration, std::prev(it)->second });
            } else {
                const int64_t windowEnd
                    = e.mediaTime + mulDivCeil(e.duration, mediaScale * e.mediaRate, movieFixed);
                auto toTrack = [&](int64_t mediaTime) {
                    return start + mulDivCeil(mediaTime - e.mediaTime, movieFixed, mediaScale * e.mediaRate);
                };
                // From the last sample showing at the segment's start to the last one starting in it.
                auto first
                    = std::upper_bound(shown.begin(), shown.end(), std::pair { e.mediaTime, INT64_MAX });
                if (first != shown.begin())
                    --first;
                for (auto it = first; it != shown.end() && it->first < windowEnd; ++it) {
                    int64_t from = std::max(start, toTrack(it->first));
                    // A picture shows until the next one in display order does.
                    int64_t next = std::next(it) != shown.end()
                        ? std::next(it)->first
                        : it->first + records[size_t(it->second)].duration;
                    int64_t to = std::min(end, toTrack(next));
                    if (to > from)
                        frames.push_back({ from, to - from, it->second });
                }
            }
        }
        start = end;
    }
    return frames;
}

} // namespace

const std::vector<MVPTrackFrame>& frames(const MVTrack& track)
{
    static std::map<const MVTrack*, Walk> walks;
    auto it = walks.find(&track);
    if (it != walks.end() && it->second.describes(track))
        return it->second.frames;
    if (walks.size() > 16)
        std::erase_if(walks, [](const auto& entry) { return entry.second.track.expired(); });
    Walk w;
    w.track = track.weak_from_this();
    w.media = track.media().get();
    w.edits = track.edits();
    if (track.media()) {
        w.samples = &track.media()->samples();
        w.sampleCount = track.media()->samples().size();
        w.mediaDuration = track.media()->duration();
        w.mediaScale = track.media()->timeScale();
    }
    w.movieScale = track.timeScale();
    w.frames = walk(track);
    if (w.track.expired()) {
        // A track nobody shares (being built): nothing to key a kept walk on.
        static std::vector<MVPTrackFrame> once;
        once = std::move(w.frames);
        return once;
    }
    return (walks[&track] = std::move(w)).frames;
}

int64_t frameCount(const MVTrack& track)
{
    return int64_t(frames(track).size());
}

int64_t timeToIndex(const MVTrack& track, int64_t time)
{
    if (time < 0)
        return 0;
    const auto& list = frames(track);
    auto after = std::upper_bound(
        list.begin(), list.end(), time, [](int64_t t, const MVPTrackFrame& frame) { return t < frame.time; });
    return int64_t(after - list.begin());
}

MVInterestingTime getIndInterestingTimeRange(const MVTrack& track, int64_t index)
{
    const auto& list = frames(track);
    if (index < 1 || index > int64_t(list.size()))
        return {};
    const auto& f = list[size_t(index - 1)];
    return { f.time, f.duration };
}

std::optional<MVPTrackFrame> frameAt(const MVTrack& track, int64_t trackTime)
{
    const auto& list = frames(track);
    auto it = std::lower_bound(list.begin(), list.end(), trackTime,
        [](const MVPTrackFrame& frame, int64_t t) { return frame.time < t; });
    if (it == list.end() || it->time != trackTime)
        return std::nullopt;
    return *it;
}

int64_t timeToMediaTime(const MVTrack& track, int64_t trackTime)
{
    return track.trackTimeToMediaTime(trackTime);
}

MVBytes makeEmptySample()
{
    return {};
}

MVBytes makeDefaultSampleDescription()
{
    MVSampleDescription none;
    return MVSampleDescriptionBytes(none);
}

std::optional<MVSample> getSample(const MVTrack& track, int64_t trackTime)
{
    if (!track.media())
        return std::nullopt;
    const MVMedia& media = *track.media();
    if (auto frame = frameAt(track, trackTime)) {
        auto sample = media.getSampleReference(media.sampleTime(frame->sample));
        auto bytes = media.sampleBytes(frame->sample);
        if (!sample || !bytes)
            return std::nullopt;
        sample->bytes = std::move(*bytes);
        return sample;
    }
    int64_t mediaTime = timeToMediaTime(track, trackTime);
    if (mediaTime < 0)
        return std::nullopt;
    return media.getSample(mediaTime);
}

int64_t addSample(MVTrack& track, const MVBytes& data, int64_t durationPerSample, int32_t count,
    const MVBytes* description, int16_t flags)
{
    if (!track.media())
        return -1;
    MVBytes fallback = makeDefaultSampleDescription();
    return track.media()->addSample(
        data, durationPerSample, count, description ? *description : fallback, flags);
}

bool insertSample(MVTrack& track, int64_t trackTime, int64_t mediaTime, int64_t mediaDuration, double rate)
{
    return track.insertMedia(trackTime, mediaTime, mediaDuration, rate);
}

bool deleteSegment(MVTrack& track, int64_t trackTime, int64_t duration)
{
    return track.deleteSegment(trackTime, duration);
}

int64_t replaceSample(MVTrack& track, int64_t trackTime, const MVBytes& data, int64_t sourceDurationPerSample,
    const MVBytes& description, int32_t count, int16_t flags, int64_t newTime, int64_t newDurationPerSample)
{
    if (newTime == -1)
        newTime = trackTime;
    if (newDurationPerSample == -1)
        newDurationPerSample = sourceDurationPerSample;
    // Everything is checked before the old samples go: a replacement that cannot be made changes nothing.
    if (!track.media() || trackTime < 0 || newTime < 0 || count < 1 || sourceDurationPerSample <= 0
        || newDurationPerSample <= 0 || data.size() % size_t(count) != 0
        || !MVSampleDescriptionFromBytes(description))
        return -1;
    MVMedia& media = *track.media();
    media.beginEdits();
    track.deleteSegment(trackTime, sourceDurationPerSample * count);
    int64_t m = toMediaUnits(track, newDurationPerSample);
    int64_t r = media.addSample(data, m, count, description, flags);
    if (r >= 0)
        track.insertMedia(newTime, r, m * count, 1.0);
    media.endEdits();
    return r;
}

int64_t replaceOneSample(MVTrack& track, int64_t trackTime, const MVBytes& data, int64_t sourceDuration,
    const MVBytes& description, int16_t flags, int64_t newTime, int64_t newDuration)
{
    return replaceSample(track, trackTime, data, sourceDuration, description, 1, flags, newTime, newDuration);
}

int64_t replaceOneSampleReference(MVTrack& track, int64_t trackTime, int64_t newTime, int64_t newDuration)
{
    if (!track.media() || trackTime < 0)
        return -1;
    MVMedia& media = *track.media();
    auto shown = frameAt(track, trackTime);
    if (!shown || shown->duration <= 0)
        return -1;
    if (newTime == -1)
        newTime = trackTime;
    if (newDuration == -1)
        newDuration = shown->duration;
    if (newTime < 0 || newDuration <= 0)
        return -1;
    // The same bytes again as a new sample at the end of the media. Its display time is put past every
    // other sample's, so the new segment shows it alone even where pictures display later than they decode.
    const auto& records = media.samples();
    int64_t displayEnd = media.duration();
    for (size_t i = 0; i < records.size(); ++i)
        displayEnd = std::max(
            displayEnd, media.sampleTime(int64_t(i)) + records[i].compositionOffset + records[i].duration);
    MVSampleRecord again = records[size_t(shown->sample)];
    int64_t m = toMediaUnits(track, newDuration);
    if (displayEnd - media.duration() > INT32_MAX || m > UINT32_MAX)
        return -1;
    again.duration = uint32_t(m);
    again.compositionOffset = int32_t(displayEnd - media.duration());
    media.beginEdits();
    track.deleteSegment(trackTime, shown->duration);
    media.appendRecords({ again });
    track.insertMedia(newTime, displayEnd, m, 1.0);
    media.endEdits();
    return displayEnd;
}

} // namespace MVPTrackSamples
