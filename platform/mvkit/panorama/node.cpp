#include "platform/mvkit/panorama/node.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/panorama/hotspot.h"

MVNode::MVNode(const std::shared_ptr<MVMovie>& movie, int index, const MVNodeInformation& information,
    const MVPanoramaSampleData& panorama, int64_t time, int64_t duration)
    : _movie(movie)
    , _index(index)
    , _information(information)
    , _panorama(panorama)
    , _time(time)
    , _duration(duration)
{
}

std::string MVNode::type() const
{
    return MVStringForOSType(_information.nodeType);
}

void MVNode::makeHotspots()
{
    _hotspots.clear();
    auto self = shared_from_this();
    int index = 0;
    for (const auto& record : _information.hotspots)
        _hotspots.push_back(std::make_shared<MVHotspot>(self, ++index, record));
}

std::shared_ptr<MVHotspot> MVNode::hotspotWithID(uint32_t hotspotID) const
{
    if (hotspotID == 0)
        return nullptr;
    for (const auto& h : _hotspots)
        if (h->hotspotID() == hotspotID)
            return h;
    return nullptr;
}
