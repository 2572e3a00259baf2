#pragma once
// Movies made in memory for the time display's tests: a picture track of a given frame rate, optionally
// with a time-code track.
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "document/time_code_media.h"

#include <memory>

namespace movara::test {

// `frameCount` pictures of `frameDuration` units each at time scale `scale` (the movie's scale too).
inline std::shared_ptr<MVMovie> pictureMovie(int32_t scale, uint32_t frameDuration, int frameCount)
{
    auto movie = MVMovie::movie();
    movie->setTimeScale(scale);
    auto track = movie->newTrack(MVFourCC("vide"), scale, 160, 120);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    track->media()->addSample(
        MVBytes(size_t(frameCount), 0), frameDuration, frameCount, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, int64_t(frameCount) * frameDuration);
    return movie;
}

// A movie of `duration` units at `scale` whose only track is time code counting from `startFrame`.
inline std::shared_ptr<MVMovie> timeCodeMovie(
    const MVTimeCodeDefinition& definition, int64_t startFrame, int32_t scale, int64_t duration)
{
    auto movie = MVMovie::movie();
    movie->setTimeScale(scale);
    MVTimeCodeMedia::addTimeCodeTrack(*movie, definition, startFrame, duration);
    return movie;
}

// 29.97 fps drop-frame and 25 fps time code, with a 24-hour wrap.
inline const MVTimeCodeDefinition kDropFrame2997 { MVTimeCodeDropFrameFlag | MVTimeCode24HourMaxFlag, 30000,
    1001, 30 };
inline const MVTimeCodeDefinition kNonDrop25 { MVTimeCode24HourMaxFlag, 25, 1, 25 };

} // namespace movara::test
