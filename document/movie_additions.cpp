#include "document/movie_additions.h"

#include "document/media_attributes.h"
#include "core/time_strings.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/undo_manager.h"
#include "document/time_code_media.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace MVPMovieAdditions {

namespace {

constexpr const char* kMovieInfoTable = "MovieInfo";

std::string movieInfoString(const std::string& key)
{
    return HXLocalizedStringFromTable(key, kMovieInfoTable);
}

std::string printNumber(const char* format, double value)
{
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n < 0)
        return {};
    return std::string(buffer, std::min(size_t(n), sizeof buffer - 1));
}

// The template of `key` with its "^0" marker replaced by the number. The template itself is never used
// as a format, so a translation holding '%' prints as it stands.
std::string fillTemplate(const std::string& key, const char* numberFormat, double value)
{
    std::string text = movieInfoString(key);
    size_t at = text.find("^0");
    if (at != std::string::npos)
        text.replace(at, 2, printNumber(numberFormat, value));
    return text;
}

std::vector<std::weak_ptr<MVMovie>>& forcedPlayingMovies()
{
    static std::vector<std::weak_ptr<MVMovie>> movies;
    return movies;
}

bool sameMovie(const std::weak_ptr<MVMovie>& entry, const std::shared_ptr<MVMovie>& movie)
{
    return !entry.owner_before(movie) && !movie.owner_before(entry);
}

void dropFreedMovies(std::vector<std::weak_ptr<MVMovie>>& movies)
{
    std::erase_if(movies, [](const std::weak_ptr<MVMovie>& entry) { return entry.expired(); });
}

} // namespace

std::string dataSizeStringForSize(double bytes)
{
    if (bytes < 1024)
        return fillTemplate("bytes", "%3.0lf", bytes);
    static const char* const units[]
        = { "kiloBytes", "megaBytes", "gigaBytes", "teraBytes", "petaBytes", "exaBytes" };
    double unit = 1024;
    size_t index = 0;
    while (index + 1 < std::size(units) && bytes >= unit * 1024) {
        unit *= 1024;
        ++index;
    }
    return fillTemplate(units[index], "%3.2lf", bytes / unit);
}

std::string dataRateStringForRate(int64_t bytesPerSecond)
{
    const char* key = "gbitsPerSec";
    double divisor = 1e9;
    if (bytesPerSecond < 1000) {
        key = "bitsPerSec";
        divisor = 1;
    } else if (bytesPerSecond < 1000000) {
        key = "kbitsPerSec";
        divisor = 1e3;
    } else if (bytesPerSecond < 1000000000) {
        key = "mbitsPerSec";
        divisor = 1e6;
    }
    return fillTemplate(key, "%3.2lf", double(bytesPerSecond) * 8.0 / divisor);
}

std::string dataSizeString(const MVMovie& movie)
{
    return dataSizeStringForSize(double(movie.dataSize()));
}

int64_t dataRate(const MVMovie& movie)
{
    const int64_t duration = movie.durationValue();
    if (duration <= 0 || movie.timeScale() <= 0)
        return 0;
    return int64_t(double(movie.dataSize()) * movie.timeScale() / double(duration));
}

std::string dataRateString(const MVMovie& movie)
{
    return dataRateStringForRate(dataRate(movie));
}

std::string bitRateString(const MVMovie& movie)
{
    if (!movie.isPlaying())
        return movieInfoString("playingFPS");
    // The first streaming track that receives anything.
    double bitsPerSecond = 0;
    for (const auto& track : movie.tracksOfMediaType(MVMediaTypeStream)) {
        double rate = track->attributeForKey(MVTrackStreamingBitsPerSecondAttribute).realValue();
        if (rate > 0) {
            bitsPerSecond = rate;
            break;
        }
    }
    return fillTemplate("kbitsPerSec", "%.2f", bitsPerSecond / 1024.0);
}

std::string durationStringForInfoPanel(const MVMovie& movie)
{
    return MVPTimeInfoString(movie.duration(), 0);
}

std::string currentTimeStringForInfoPanel(const MVMovie& movie)
{
    return MVPTimeInfoString(movie.currentTime(), 0);
}

std::string durationStringForInfoPanel(const MVMovie& movie, bool timeCode)
{
    if (timeCode) {
        if (auto track = MVTimeCodeMedia::timeCodeTrack(movie)) {
            MVTimeCodeMedia media(track);
            auto definition = media.definition();
            MVTime duration = movie.duration();
            if (definition && definition->frameDuration > 0 && definition->timeScale > 0
                && duration.timeScale > 0) {
                // Whole frames of the time code in the duration.
                double frames = double(duration.timeValue) / duration.timeScale * definition->timeScale
                    / definition->frameDuration;
                return MVTimeCode(*definition, int64_t(std::floor(frames + 1e-9))).stringValue();
            }
        }
    }
    return durationStringForInfoPanel(movie);
}

std::string currentTimeStringForInfoPanel(const MVMovie& movie, bool timeCode)
{
    if (timeCode) {
        if (auto track = MVTimeCodeMedia::timeCodeTrack(movie)) {
            MVTimeCodeMedia media(track);
            if (media.definition())
                return media.currentTimeCode().stringValue();
        }
    }
    return currentTimeStringForInfoPanel(movie);
}

std::string chapterFormatString()
{
    return movieInfoString("Chapter");
}

std::optional<std::string> normalSizeString(const MVMovie& movie)
{
    auto [width, height] = movie.naturalSize();
    if (width == 0 && height == 0)
        return std::nullopt;
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%d x %d pixels", int(width), int(height));
    return std::string(buffer);
}

bool isTrackOfInterest(const MVMovie&, const MVTrack& track)
{
    const uint32_t type = track.mediaType();
    return type == MVFourCC("strm") || type == MVFourCC("vide") || type == MVFourCC("soun")
        || hasMPEGCharacteristic(track);
}

bool hasMPEGCharacteristic(const MVTrack& track)
{
    const auto& media = track.media();
    if (!media)
        return false;
    if (media->mediaType() == MVFourCC("MPEG"))
        return true;
    static const uint32_t formats[] = { MVFourCC("MPEG"), MVFourCC("mpeg"), MVFourCC("m1v "),
        MVFourCC("m2v "), MVFourCC("mp1v"), MVFourCC("mp2v") };
    const auto& descriptions = media->sampleDescriptions();
    return !descriptions.empty()
        && std::find(std::begin(formats), std::end(formats), descriptions.front().format)
        != std::end(formats);
}

std::string formatString(const MVMovie& movie)
{
    // Tracks that describe no media of their own.
    static const uint32_t silent[] = { MVFourCC("hndl"), MVFourCC("crng"), MVFourCC("hint"), MVFourCC("rsrc"),
        MVFourCC("twen"), MVFourCC("tmcd"), MVFourCC("wire"), MVFourCC("url ") };
    std::string text;
    auto addLine = [&text](const std::string& line) {
        if (line.empty())
            return;
        if (!text.empty())
            text += "\n";
        text += line;
    };
    for (const auto& track : movie.tracks()) {
        if (!track || !track->isEnabled())
            continue;
        const uint32_t type = track->mediaType();
        if (type == MVFourCC("text")) {
            addLine(MVPMediaAttributes::trackFormatString(movie, *track));
            continue;
        }
        if (type == MVMediaTypeStream) {
            // Streaming tracks list their streams.
            for (const auto& stream : track->streams())
                addLine(MVPStreamAdditions::formatSummary(*stream).value_or(stream->name()));
            continue;
        }
        if (!isTrackOfInterest(movie, *track))
            continue;
        if (std::find(std::begin(silent), std::end(silent), type) != std::end(silent))
            continue;
        std::string line = MVPMediaAttributes::trackFormatString(movie, *track);
        if (type != MVFourCC("vide") && type != MVFourCC("soun") && track->isVisual() && !line.empty())
            if (auto size = normalSizeString(movie))
                line += ", " + *size;
        addLine(line);
    }
    return text;
}

void setLanguageTrack(MVMovie& movie, const std::shared_ptr<MVTrack>& track)
{
    movie.setMovieLanguage(track);
}

void setSubtitlesLanguageTrack(MVMovie& movie, const std::shared_ptr<MVTrack>& track)
{
    movie.setSubtitles(track);
}

void setSubtitlesLanguage(MVMovie& movie, int64_t language)
{
    movie.setSubtitlesLanguage(language);
}

int64_t sampleCount(const MVMovie& movie)
{
    int64_t count = 0;
    for (const auto& track : movie.tracks()) {
        if (track && track->media())
            count += track->media()->sampleCount();
    }
    return count;
}

void clearMetaData(MVMovie& movie)
{
    movie.userData() = MVUserData {};
    const uint32_t cleared[] = { MVFourCC("mdta"), MVFourCC("udta"), MVFourCC("kvst") };
    auto isCleared = [&](const MVMetadataKey& key) {
        return std::find(std::begin(cleared), std::end(cleared), key.keyNamespace) != std::end(cleared);
    };
    MVMetadata& metadata = movie.metadata();
    std::erase_if(metadata.items, [&](const MVMetadataItem& item) { return isCleared(item.key); });
    std::erase_if(metadata.keys, isCleared);
}

MVPMovieEditState editState(const MVMovie& movie)
{
    return MVPMovieEditState(movie.newEditState());
}

void useEditState(const std::shared_ptr<MVMovie>& movie, const MVPMovieEditState& state)
{
    if (!movie)
        return;
    if (HXUndoManager* undoManager = movie->undoManager()) {
        std::weak_ptr<MVMovie> weak = movie;
        undoManager->registerUndo(movie.get(), [weak, previous = editState(*movie)] {
            if (auto m = weak.lock())
                useEditState(m, previous);
        });
    }
    movie->useEditState(state.state());
    movieChanged(*movie);
}

void movieChanged(MVMovie& movie)
{
    movie.setChanged(true);
}

void setForcedToAppearToBePlaying(const std::shared_ptr<MVMovie>& movie, bool forced)
{
    if (!movie)
        return;
    auto& movies = forcedPlayingMovies();
    dropFreedMovies(movies);
    auto it = std::find_if(movies.begin(), movies.end(),
        [&](const std::weak_ptr<MVMovie>& entry) { return sameMovie(entry, movie); });
    if (forced && it == movies.end())
        movies.push_back(movie);
    else if (!forced && it != movies.end())
        movies.erase(it);
}

bool isForcedToAppearToBePlaying(const std::shared_ptr<MVMovie>& movie)
{
    if (!movie)
        return false;
    auto& movies = forcedPlayingMovies();
    dropFreedMovies(movies);
    return std::any_of(movies.begin(), movies.end(),
        [&](const std::weak_ptr<MVMovie>& entry) { return sameMovie(entry, movie); });
}

} // namespace MVPMovieAdditions

namespace MVPStreamAdditions {

std::string codecName(const MVStream& stream)
{
    return stream.name();
}

bool isVideo(const MVStream& stream)
{
    return stream.mediaType() == MVFourCC("vide");
}

bool isAudio(const MVStream& stream)
{
    return stream.mediaType() == MVFourCC("soun");
}

std::optional<std::string> formatSummary(const MVStream& stream)
{
    if (isAudio(stream))
        return stream.audioFormatString();
    if (isVideo(stream))
        return stream.videoFormatString();
    return std::nullopt;
}

} // namespace MVPStreamAdditions
