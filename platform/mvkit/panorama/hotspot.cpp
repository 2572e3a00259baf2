#include "platform/mvkit/panorama/hotspot.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/panorama/node.h"
#include "platform/mvkit/panorama/panorama_controller.h"

MVHotspot::MVHotspot(const std::shared_ptr<MVNode>& node, int index, const MVHotspotRecord& record)
    : _node(node)
    , _index(index)
    , _record(record)
{
}

std::string MVHotspot::type() const
{
    return MVStringForOSType(_record.type);
}

bool MVHotspot::triggerHotspot()
{
    auto node = parent();
    auto movie = node ? node->parent() : nullptr;
    auto controller = movie ? movie->panoramaController() : nullptr;
    return controller && controller->triggerHotspot(*this);
}
