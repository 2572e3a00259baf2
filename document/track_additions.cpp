#include "document/track_additions.h"

#include "platform/basekit/error.h"

namespace MVPTrackAdditions {

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
