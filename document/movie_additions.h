#pragma once
// The player's operations on every movie: texts for the info rows, edit states with undo, clearing the
// stored metadata, and a process-wide mark that makes a movie appear to be playing.
#include "platform/basekit/property_list.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/stream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A snapshot of a movie's edits to return to, with undo.
class MVPMovieEditState {
public:
    explicit MVPMovieEditState(MVMovieEditState state)
        : _state(std::move(state))
    {
    }
    const MVMovieEditState& state() const { return _state; }

private:
    MVMovieEditState _state;
};

namespace MVPMovieAdditions {

// The lowest 16-bit layer: the movie sits behind every track.
inline constexpr int16_t kMovieLayer = -32768;

// A byte count in powers of 1024 from the "MovieInfo" templates: "bytes" below 1024 (no decimals), else
// "kiloBytes" ... "exaBytes" with two decimals.
std::string dataSizeStringForSize(double bytes);
// A data rate in bytes per second as bits per second: the unit is chosen on the byte count ("bitsPerSec"
// below 1000, "kbitsPerSec" below a million, "mbitsPerSec" below a billion, else "gbitsPerSec") and the
// value printed is rate × 8 / unit.
std::string dataRateStringForRate(int64_t bytesPerSecond);

std::string dataSizeString(const MVMovie& movie);
// The bytes per second of the movie's data over its duration (0 for a movie without duration).
int64_t dataRate(const MVMovie& movie);
std::string dataRateString(const MVMovie& movie);
// While the movie is not playing, the "playingFPS" text; while it plays, its streaming bit rate in
// kilobits ("kbitsPerSec").
std::string bitRateString(const MVMovie& movie);
// The duration and the current time as MVPTimeInfoString writes them without a frame rate.
std::string durationStringForInfoPanel(const MVMovie& movie);
std::string currentTimeStringForInfoPanel(const MVMovie& movie);
// With `timeCode`, the same as time code of the movie's time-code track ("HH:MM:SS:FF"): the duration as
// a count of its frames, the current time as the label shown then. A movie without a readable time-code
// track answers the forms above.
std::string durationStringForInfoPanel(const MVMovie& movie, bool timeCode);
std::string currentTimeStringForInfoPanel(const MVMovie& movie, bool timeCode);
// The format summary: one line per enabled video, sound or MPEG track (and the chapter text for a text
// track when the movie has chapters), in track order; handler, time-code, hint and other non-media tracks
// add nothing, and neither do tracks without a format.
std::string formatString(const MVMovie& movie);

} // namespace MVPMovieAdditions

// The player's operations on a streaming track's streams.
namespace MVPStreamAdditions {
std::string codecName(const MVStream& stream);
bool isVideo(const MVStream& stream);
bool isAudio(const MVStream& stream);
// The audio format of a sound stream, the video format of a picture stream; none for others.
std::optional<std::string> formatSummary(const MVStream& stream);
} // namespace MVPStreamAdditions

namespace MVPMovieAdditions {

// Language and subtitle choice through the movie's own language switching.
void setLanguageTrack(MVMovie& movie, const std::shared_ptr<MVTrack>& track);
void setSubtitlesLanguageTrack(MVMovie& movie, const std::shared_ptr<MVTrack>& track);
void setSubtitlesLanguage(MVMovie& movie, int64_t language);
std::string chapterFormatString();
// "W x H pixels" of the natural size; none for a zero size.
std::optional<std::string> normalSizeString(const MVMovie& movie);
// Tracks whose media the info window describes: streaming, video and sound, and MPEG media.
bool isTrackOfInterest(const MVMovie& movie, const MVTrack& track);
// A muxed MPEG media, or MPEG-1/2 video samples.
bool hasMPEGCharacteristic(const MVTrack& track);
// The sum of the tracks' sample counts.
int64_t sampleCount(const MVMovie& movie);

// Empties the movie's user data and removes its reverse-DNS, user-data and key-value metadata items
// (used when a movie is built from extracted tracks).
void clearMetaData(MVMovie& movie);

MVPMovieEditState editState(const MVMovie& movie);
// Applies `state`, registering with the movie's undo manager an undo that returns to the current state,
// and marks the movie changed.
void useEditState(const std::shared_ptr<MVMovie>& movie, const MVPMovieEditState& state);

void movieChanged(MVMovie& movie);
inline int16_t layer(const MVMovie&)
{
    return kMovieLayer;
}

// The process-wide set of movies that appear to be playing. It does not keep a movie alive: a movie
// that is freed simply drops out of it.
void setForcedToAppearToBePlaying(const std::shared_ptr<MVMovie>& movie, bool forced);
bool isForcedToAppearToBePlaying(const std::shared_ptr<MVMovie>& movie);

// Key-value reads of a key the movie does not have answer nothing; writes are ignored.
inline HXPropertyList valueForUndefinedKey(const MVMovie&, const std::string&)
{
    return {};
}
inline void setValueForUndefinedKey(MVMovie&, const HXPropertyList&, const std::string&)
{
}

} // namespace MVPMovieAdditions
