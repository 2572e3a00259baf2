#pragma once
// The player's operations on every track.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"
#include "platform/mvkit/data_reference.h"
#include "platform/mvkit/track.h"

#include <cstdint>
#include <memory>
#include <string>

namespace MVPTrackAdditions {

// The bytes of the track's samples, and their rate over the media's duration (0 without duration), as the
// movie's texts write them.
uint64_t dataSize(const MVTrack& track);
int64_t dataRate(const MVTrack& track);
std::string dataSizeString(const MVTrack& track);
std::string dataRateString(const MVTrack& track);

// The number of samples of the track's media (0 without media).
int64_t sampleCount(const MVTrack& track);
// Whole frames per second of the track's media (its samples over its duration, rounded); 0 without media
// or duration.
double framesPerSecond(const MVTrack& track);
// Writes a movie holding only this track, with its data copied in, to the file `dataRef` names. Only file
// references can be written; a track outside a movie, another kind of reference or a failed write answer
// false with the error.
bool convertToDataRef(
    const std::shared_ptr<MVTrack>& track, const MVDataReference& dataRef, HXError* outError);

// Key-value reads of a key the track does not have log one line and answer nothing; writes are ignored.
HXPropertyList valueForUndefinedKey(const MVTrack& track, const std::string& key);
inline void setValueForUndefinedKey(MVTrack&, const HXPropertyList&, const std::string&)
{
}

} // namespace MVPTrackAdditions
