#pragma once
// The values the properties window's columns show for the movie and its tracks: names for the list,
// start, stop and duration as text, in seconds and as time code, and whether a track is decoded. They
// are read and written by key, as the column list names them.
#include "inspectors/pane_interface.h"
#include "platform/basekit/property_list.h"

#include <memory>
#include <string>

class MVMovie;
class MVTrack;

namespace MVPMovieAdditions {

// The movie's display name, else the localized "mvpMovie".
std::string stringForList(const MVMovie& movie);
// Renames the movie (no undo).
void setStringForList(MVMovie& movie, const std::string& name);
// stringForList, followed by " (full name)" when the movie has a full name.
std::string verboseStringForList(const MVMovie& movie);
// The movie's full name (its "©nam" annotation), "" when it has none.
std::string fullName(const MVMovie& movie);
std::string startTimeString(const MVMovie& movie);
std::string durationString(const MVMovie& movie);
std::string stopTimeString(const MVMovie& movie);
double startTimeInSeconds(const MVMovie& movie);
double durationInSeconds(const MVMovie& movie);
double stopTimeInSeconds(const MVMovie& movie);

} // namespace MVPMovieAdditions

namespace MVPTrackAdditions {

// The localized name of a media type ("mvTrackVideoTrackName" ...), or the "mvTrackFourCharCodeTrackName"
// format with the code for a type without a name of its own.
std::string mediaTypeName(uint32_t mediaType);
// The track's display name; else its media type's name, numbered ("%@ %d") among the movie's tracks of
// that type when there are two or more.
std::string stringForList(const MVTrack& track);
// Renames the track (no undo).
void setStringForList(MVTrack& track, const std::string& name);
std::string verboseStringForList(const MVTrack& track);
std::string fullName(const MVTrack& track);
// Whether the track is enabled; setDecoded registers its own undo on the movie's undo manager when the
// state changes.
bool decoded(const MVTrack& track);
void setDecoded(const std::shared_ptr<MVTrack>& track, bool flag);
std::string startTimeString(const MVTrack& track);
std::string durationString(const MVTrack& track);
std::string stopTimeString(const MVTrack& track);
// The movie's time code at the start of the track's range, and at its last unit; "" when the movie has
// no readable time-code track.
std::string timeCodeStartString(const MVTrack& track);
std::string timeCodeStopString(const MVTrack& track);
double startTimeInSeconds(const MVTrack& track);
double durationInSeconds(const MVTrack& track);
double stopTimeInSeconds(const MVTrack& track);

} // namespace MVPTrackAdditions

// Seconds of a time; positive infinity when the time cannot be converted.
double MVPSecondsForTime(MVTime time);

// Key-value access of a table row: the keys above by name (and the data size, data rate, frame rate and
// sample count of the movie additions); a null value for a key the object does not answer.
HXPropertyList MVPPropertyValueForKey(const MVPInspectedObject& object, const std::string& key);
// Writes a settable key ("stringForList", "decoded"); false when the key cannot be set on the object.
bool MVPSetPropertyValueForKey(
    const MVPInspectedObject& object, const HXPropertyList& value, const std::string& key);
