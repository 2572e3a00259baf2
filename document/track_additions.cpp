#include "document/track_additions.h"

#include "document/movie_additions.h"
#include "platform/basekit/error.h"

namespace MVPTrackAdditions {

uint64_t dataSize(const MVTrack& track)
{
    return track.media() ? track.media()->dataSize() : 0;
}

int64_t dataRate(const MVTrack& track)
{
    const auto& media = track.media();
    if (!media || media->duration() <= 0 || media->timeScale() <= 0)
        return 0;
    return int64_t(double(media->dataSize()) * media->timeScale() / double(media->duration()));
}

std::string dataSizeString(const MVTrack& track)
{
    return MVPMovieAdditions::dataSizeStringForSize(double(dataSize(track)));
}

std::string dataRateString(const MVTrack& track)
{
    return MVPMovieAdditions::dataRateStringForRate(dataRate(track));
}

int64_t sampleCount(const MVTrack& track)
{
    return track.media() ? track.media()->sampleCount() : 0;
}

HXPropertyList valueForUndefinedKey(const MVTrack&, const std::string& key)
{
    HXLog("MVPTrackAdditions: Undefined Key: " + key);
    return {};
}

} // namespace MVPTrackAdditions
