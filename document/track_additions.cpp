#include "document/track_additions.h"

#include "document/movie_additions.h"
#include "platform/basekit/error.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_writer.h"

#include <cerrno>
#include <cmath>

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

double framesPerSecond(const MVTrack& track)
{
    const auto& media = track.media();
    if (!media || media->duration() <= 0 || media->timeScale() <= 0)
        return 0;
    return double(
        std::llround(double(media->sampleCount()) * media->timeScale() / double(media->duration())));
}

bool convertToDataRef(
    const std::shared_ptr<MVTrack>& track, const MVDataReference& dataRef, HXError* outError)
{
    auto fail = [outError](int64_t code, const std::string& text) {
        if (outError)
            *outError = HXError::withDescription(HXPOSIXErrorDomain, code, text);
        return false;
    };
    auto source = track ? track->movie() : nullptr;
    if (!source || !track->media())
        return fail(EINVAL, "The track belongs to no movie.");
    std::string path = dataRef.referenceFilePath();
    if (dataRef.kind() != MVDataReference::Kind::File || path.empty())
        return fail(EINVAL, "Only a file can receive the track.");
    auto movie = MVMovie::movie();
    movie->setTimeScale(source->timeScale());
    movie->insertTrack(track);
    return mvmodel::writeMovie(*movie, path, mvmodel::SaveMode::SelfContained, outError);
}

HXPropertyList valueForUndefinedKey(const MVTrack&, const std::string& key)
{
    HXLog("MVPTrackAdditions: Undefined Key: " + key);
    return {};
}

} // namespace MVPTrackAdditions
