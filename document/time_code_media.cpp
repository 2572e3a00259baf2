#include "document/time_code_media.h"

#include "document/lcd_movie_time.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/model_math.h"

#include <algorithm>

using mvmodel::mulDivCeil;

MVTimeCodeMedia::MVTimeCodeMedia(std::shared_ptr<MVTrack> track)
    : _track(std::move(track))
{
    if (!_track || !_track->media() || _track->media()->sampleDescriptions().empty())
        return;
    _definition = MVTimeCodeDefinitionFromDescriptionData(_track->media()->sampleDescriptions().front().data);
}

std::shared_ptr<MVTrack> MVTimeCodeMedia::timeCodeTrack(const MVMovie& movie)
{
    auto tracks = movie.tracksOfMediaType(MVMediaTypeTimeCode);
    return tracks.empty() ? nullptr : tracks.front();
}

std::shared_ptr<MVTrack> MVTimeCodeMedia::addTimeCodeTrack(
    MVMovie& movie, const MVTimeCodeDefinition& definition, int64_t startFrame, int64_t duration)
{
    auto track = movie.newTrack(MVMediaTypeTimeCode, definition.timeScale);
    MVSampleDescription d;
    d.format = MVMediaTypeTimeCode;
    d.data = MVTimeCodeDescriptionData(definition);
    int64_t mediaDuration = mulDivCeil(duration, definition.timeScale, movie.timeScale());
    uint32_t counter = uint32_t(startFrame);
    MVBytes bytes { uint8_t(counter >> 24), uint8_t(counter >> 16), uint8_t(counter >> 8), uint8_t(counter) };
    track->media()->addSample(bytes, mediaDuration, 1, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, mediaDuration);
    return track;
}

std::optional<int64_t> MVTimeCodeMedia::counterOfSample(int64_t index) const
{
    auto bytes = _track->media()->sampleBytes(index);
    if (!bytes || bytes->size() < 4)
        return std::nullopt;
    const auto& b = *bytes;
    // Signed: a counter may start below zero when negative times are allowed.
    return int64_t(
        int32_t(uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3])));
}

MVTimeCode MVTimeCodeMedia::timeCodeAtTime(int64_t mediaTime) const
{
    if (!_definition)
        return {};
    const auto& media = *_track->media();
    if (media.sampleCount() == 0)
        return MVTimeCode(*_definition);
    mediaTime = std::clamp<int64_t>(mediaTime, 0, std::max<int64_t>(0, media.duration() - 1));
    int64_t index = std::max<int64_t>(0, media.sampleIndexAtTime(mediaTime));
    auto counter = counterOfSample(index);
    if (!counter)
        return MVTimeCode(*_definition);
    int64_t frame = (mediaTime - media.sampleTime(index)) / _definition->frameDuration;
    return MVTimeCode(*_definition, *counter + frame);
}

int64_t MVTimeCodeMedia::mediaTimeForTrackTime(int64_t trackTime) const
{
    int64_t duration = _track->duration();
    if (duration <= 0)
        return -1;
    return _track->trackTimeToMediaTime(std::clamp<int64_t>(trackTime, 0, duration - 1));
}

MVTimeCode MVTimeCodeMedia::currentTimeCode() const
{
    auto movie = _track->movie();
    if (!movie || !_definition)
        return _definition ? MVTimeCode(*_definition) : MVTimeCode();
    MVTime now = MVTimeInScaleFloor(MVPLCDMovieCurrentTime(*movie), movie->timeScale());
    int64_t mediaTime = mediaTimeForTrackTime(now.timeValue);
    return timeCodeAtTime(std::max<int64_t>(mediaTime, 0));
}

std::optional<MVTime> MVTimeCodeMedia::movieTimeForTimeCode(const MVTimeCode& timeCode) const
{
    auto movie = _track->movie();
    if (!movie || !_definition)
        return std::nullopt;
    const auto& media = *_track->media();
    int64_t wanted = timeCode.sampleNumber();
    std::optional<int64_t> mediaTime;
    for (int64_t i = 0; i < media.sampleCount() && !mediaTime; ++i) {
        auto counter = counterOfSample(i);
        int64_t frames = int64_t(media.samples()[size_t(i)].duration) / _definition->frameDuration;
        if (counter && wanted >= *counter && wanted - *counter < std::max<int64_t>(frames, 1))
            mediaTime = media.sampleTime(i) + (wanted - *counter) * _definition->frameDuration;
    }
    if (!mediaTime)
        return std::nullopt;
    // The first track time whose media time reaches the frame.
    int64_t movieScale = movie->timeScale();
    int64_t start = 0;
    for (const auto& e : _track->edits()) {
        if (e.mediaTime >= 0 && e.mediaRate > 0) {
            int64_t offset = mulDivCeil(
                *mediaTime - e.mediaTime, movieScale * 0x10000, int64_t(media.timeScale()) * e.mediaRate);
            if (*mediaTime >= e.mediaTime && offset < e.duration)
                return MVMakeTime(start + offset, int32_t(movieScale));
        }
        start += e.duration;
    }
    return std::nullopt;
}
