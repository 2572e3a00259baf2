#pragma once
// The player's operations on every track.
#include "platform/basekit/property_list.h"
#include "platform/mvkit/track.h"

#include <cstdint>
#include <string>

namespace MVPTrackAdditions {

// The number of samples of the track's media (0 without media).
int64_t sampleCount(const MVTrack& track);

// Key-value reads of a key the track does not have log one line and answer nothing; writes are ignored.
HXPropertyList valueForUndefinedKey(const MVTrack& track, const std::string& key);
inline void setValueForUndefinedKey(MVTrack&, const HXPropertyList&, const std::string&)
{
}

} // namespace MVPTrackAdditions
