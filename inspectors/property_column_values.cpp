#include "inspectors/property_column_values.h"

#include "document/movie_additions.h"
#include "core/time_strings.h"
#include "document/track_additions.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/fourcc.h"
#include "platform/basekit/strings.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"
#include "platform/mvkit/user_data.h"
#include "document/time_code_media.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <map>

namespace {

constexpr uint32_t kFullNameType = 0xA96E616D; // '©nam'

std::string withFullName(const std::string& name, const std::string& fullName)
{
    return fullName.empty() ? name : HXString::format("%@ (%@)", std::vector<std::string> { name, fullName });
}

std::string timeCodeAt(const MVTrack& track, int64_t movieTime)
{
    auto movie = track.movie();
    if (!movie)
        return {};
    auto timeCodeTrack = MVTimeCodeMedia::timeCodeTrack(*movie);
    if (!timeCodeTrack)
        return {};
    MVTimeCodeMedia media(timeCodeTrack);
    if (!media.definition())
        return {};
    int64_t mediaTime = media.mediaTimeForTrackTime(movieTime);
    if (mediaTime < 0)
        return {};
    return media.timeCodeAtTime(mediaTime).stringValue();
}

// Where the track first shows something, to its end (leading empty time is not part of it).
MVTimeRange rangeInMovie(const MVTrack& track)
{
    int64_t start = 0;
    for (const MVTrackEdit& edit : track.edits()) {
        if (edit.mediaTime >= 0)
            break;
        start += edit.duration;
    }
    int64_t total = track.duration();
    start = std::min(start, total);
    return MVMakeTimeRange(
        MVMakeTime(start, track.timeScale()), MVMakeTime(total - start, track.timeScale()));
}

MVTime movieDuration(const MVTrack& track)
{
    auto movie = track.movie();
    return movie ? movie->duration() : MVMakeTime(0, track.timeScale());
}

} // namespace

double MVPSecondsForTime(MVTime time)
{
    double seconds = std::numeric_limits<double>::infinity();
    if (!MVGetTimeInterval(time, &seconds))
        return std::numeric_limits<double>::infinity();
    return seconds;
}

// ---- The movie ----

namespace MVPMovieAdditions {

std::string stringForList(const MVMovie& movie)
{
    std::string name = movie.displayName();
    return name.empty() ? HXLocalizedString("mvpMovie") : name;
}

void setStringForList(MVMovie& movie, const std::string& name)
{
    movie.setDisplayName(name);
}

std::string fullName(const MVMovie& movie)
{
    return MVUserDataGetText(movie.userData(), kFullNameType).value_or(std::string());
}

std::string verboseStringForList(const MVMovie& movie)
{
    return withFullName(stringForList(movie), fullName(movie));
}

std::string startTimeString(const MVMovie& movie)
{
    return MVPStringForTimeAndDuration(MVMakeTime(0, movie.duration().timeScale), movie.duration());
}

std::string durationString(const MVMovie& movie)
{
    return MVPStringForTimeAndDuration(movie.duration(), movie.duration());
}

std::string stopTimeString(const MVMovie& movie)
{
    return durationString(movie);
}

double startTimeInSeconds(const MVMovie&)
{
    return 0.0;
}

double durationInSeconds(const MVMovie& movie)
{
    return MVPSecondsForTime(movie.duration());
}

double stopTimeInSeconds(const MVMovie& movie)
{
    return MVPSecondsForTime(movie.duration());
}

} // namespace MVPMovieAdditions

// ---- Tracks ----

namespace MVPTrackAdditions {

std::string mediaTypeName(uint32_t mediaType)
{
    static const std::map<uint32_t, const char*> names = {
        { MVFourCC("vide"), "mvTrackVideoTrackName" },
        { MVFourCC("soun"), "mvTrackSoundTrackName" },
        { MVFourCC("sprt"), "mvTrackSpriteTrackName" },
        { MVFourCC("MPEG"), "mvTrackMPEGTrackName" },
        { MVFourCC("flsh"), "mvTrackFlashTrackName" },
        { MVFourCC("musi"), "mvTrackMusicTrackName" },
        { MVFourCC("twen"), "mvTrackTweenTrackName" },
        { MVFourCC("tmcd"), "mvTrackTimeCodeTrackName" },
        { MVFourCC("text"), "mvTrackTextTrackName" },
        { MVFourCC("moov"), "mvTrackMovieTrackName" },
        { MVFourCC("sx3d"), "mvTrackThreeDeeTrackName" },
        { MVFourCC("skin"), "mvTrackSkinTrackName" },
        { MVFourCC("gnrc"), "mvTrackUnknownTrackName" },
    };
    if (auto it = names.find(mediaType); it != names.end())
        return HXLocalizedString(it->second);
    return HXString::format(HXLocalizedString("mvTrackFourCharCodeTrackName"),
        std::vector<std::string> { HXStringFromFourCharCode(mediaType) });
}

std::string stringForList(const MVTrack& track)
{
    std::string name = track.attributeForKey(MVTrackDisplayNameAttribute).stringValue();
    if (!name.empty())
        return name;
    name = mediaTypeName(track.mediaType());
    auto movie = track.movie();
    if (!movie)
        return name;
    int count = 0, position = 0;
    for (const auto& t : movie->tracks()) {
        if (t->mediaType() != track.mediaType())
            continue;
        ++count;
        if (t.get() == &track)
            position = count;
    }
    if (count >= 2 && position > 0)
        name += " " + std::to_string(position);
    return name;
}

void setStringForList(MVTrack& track, const std::string& name)
{
    track.setAttributeForKey(HXPropertyList(name), MVTrackDisplayNameAttribute);
}

std::string fullName(const MVTrack& track)
{
    return MVUserDataGetText(track.userData(), kFullNameType).value_or(std::string());
}

std::string verboseStringForList(const MVTrack& track)
{
    return withFullName(stringForList(track), fullName(track));
}

bool decoded(const MVTrack& track)
{
    return track.isEnabled();
}

void setDecoded(const std::shared_ptr<MVTrack>& track, bool flag)
{
    if (!track || track->isEnabled() == flag)
        return;
    auto movie = track->movie();
    if (HXUndoManager* undo = movie ? movie->undoManager() : nullptr) {
        std::weak_ptr<MVTrack> weak = track;
        bool old = !flag;
        undo->registerUndo(track.get(), [weak, old] {
            if (auto t = weak.lock())
                setDecoded(t, old);
        });
    }
    track->setEnabled(flag);
}

std::string startTimeString(const MVTrack& track)
{
    return MVPStringForTimeAndDuration(rangeInMovie(track).time, movieDuration(track));
}

std::string durationString(const MVTrack& track)
{
    return MVPStringForTimeAndDuration(rangeInMovie(track).duration, movieDuration(track));
}

std::string stopTimeString(const MVTrack& track)
{
    return MVPStringForTimeAndDuration(MVTimeRangeEnd(rangeInMovie(track)), movieDuration(track));
}

std::string timeCodeStartString(const MVTrack& track)
{
    return timeCodeAt(track, MVTimeInScale(rangeInMovie(track).time, track.timeScale()).timeValue);
}

std::string timeCodeStopString(const MVTrack& track)
{
    // The last unit inside the range.
    return timeCodeAt(
        track, MVTimeInScale(MVTimeRangeEnd(rangeInMovie(track)), track.timeScale()).timeValue - 1);
}

double startTimeInSeconds(const MVTrack& track)
{
    return MVPSecondsForTime(rangeInMovie(track).time);
}

double durationInSeconds(const MVTrack& track)
{
    return MVPSecondsForTime(rangeInMovie(track).duration);
}

double stopTimeInSeconds(const MVTrack& track)
{
    return MVPSecondsForTime(MVTimeRangeEnd(rangeInMovie(track)));
}

} // namespace MVPTrackAdditions

// ---- By key ----

namespace {

using MovieGetter = std::function<HXPropertyList(const MVMovie&)>;
using TrackGetter = std::function<HXPropertyList(const MVTrack&)>;

template<typename F> auto text(F f)
{
    return [f](const auto& object) { return HXPropertyList(f(object)); };
}

const std::map<std::string, MovieGetter>& movieGetters()
{
    namespace M = MVPMovieAdditions;
    static const std::map<std::string, MovieGetter> getters = {
        { "stringForList", text(M::stringForList) },
        { "verboseStringForList", text(M::verboseStringForList) },
        { "startTimeString", text(M::startTimeString) },
        { "durationString", text(M::durationString) },
        { "stopTimeString", text(M::stopTimeString) },
        { "startTimeInSeconds", text(M::startTimeInSeconds) },
        { "durationInSeconds", text(M::durationInSeconds) },
        { "stopTimeInSeconds", text(M::stopTimeInSeconds) },
        { "dataSizeString", text([](const MVMovie& m) { return M::dataSizeString(m); }) },
        { "dataRateString", text([](const MVMovie& m) { return M::dataRateString(m); }) },
        { "sampleCount", text([](const MVMovie& m) { return M::sampleCount(m); }) },
    };
    return getters;
}

const std::map<std::string, TrackGetter>& trackGetters()
{
    namespace T = MVPTrackAdditions;
    static const std::map<std::string, TrackGetter> getters = {
        { "stringForList", text(T::stringForList) },
        { "verboseStringForList", text(T::verboseStringForList) },
        { "decoded", text(T::decoded) },
        { "startTimeString", text(T::startTimeString) },
        { "durationString", text(T::durationString) },
        { "stopTimeString", text(T::stopTimeString) },
        { "timeCodeStartString", text(T::timeCodeStartString) },
        { "timeCodeStopString", text(T::timeCodeStopString) },
        { "startTimeInSeconds", text(T::startTimeInSeconds) },
        { "durationInSeconds", text(T::durationInSeconds) },
        { "stopTimeInSeconds", text(T::stopTimeInSeconds) },
        { "dataSizeString", text([](const MVTrack& t) { return T::dataSizeString(t); }) },
        { "dataRateString", text([](const MVTrack& t) { return T::dataRateString(t); }) },
        { "sampleCount", text([](const MVTrack& t) { return T::sampleCount(t); }) },
        { "framesPerSecond", text([](const MVTrack& t) { return T::framesPerSecond(t); }) },
        { "mediaType", text([](const MVTrack& t) { return HXStringFromFourCharCode(t.mediaType()); }) },
        { "trackID", text([](const MVTrack& t) { return int64_t(t.trackID()); }) },
        { "layer", text([](const MVTrack& t) { return int64_t(t.layer()); }) },
    };
    return getters;
}

} // namespace

HXPropertyList MVPPropertyValueForKey(const MVPInspectedObject& object, const std::string& key)
{
    if (object.isTrack()) {
        auto it = trackGetters().find(key);
        return it == trackGetters().end() ? HXPropertyList() : it->second(*object.track());
    }
    if (object.isMovie()) {
        auto it = movieGetters().find(key);
        return it == movieGetters().end() ? HXPropertyList() : it->second(*object.movie());
    }
    return {};
}

bool MVPSetPropertyValueForKey(
    const MVPInspectedObject& object, const HXPropertyList& value, const std::string& key)
{
    if (key == "stringForList" && value.isString()) {
        if (object.isTrack())
            MVPTrackAdditions::setStringForList(*object.track(), value.stringValue());
        else if (object.isMovie())
            MVPMovieAdditions::setStringForList(*object.movie(), value.stringValue());
        else
            return false;
        return true;
    }
    if (key == "decoded" && object.isTrack()) {
        MVPTrackAdditions::setDecoded(object.track(), value.boolValue());
        return true;
    }
    return false;
}
