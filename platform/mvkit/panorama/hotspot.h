#pragma once
// MVHotspot: an area of a panorama node that does something when clicked: it takes the viewer to another
// node (a link, optionally with the view to open there), or opens a web address.
#include "platform/mvkit/panorama/panorama_atoms.h"

#include <memory>
#include <string>

class MVNode;

class MVHotspot {
public:
    MVHotspot(const std::shared_ptr<MVNode>& node, int index, const MVHotspotRecord& record);

    // The node holding it (null once it is gone).
    std::shared_ptr<MVNode> parent() const { return _node.lock(); }
    // 1-based position among the node's hot spots.
    int index() const { return _index; }
    // The value of its pixels in the node's hot-spot pictures.
    uint32_t hotspotID() const { return _record.hotspotID; }
    // The type as its four characters ("link", "url ", "undf").
    std::string type() const;
    const std::string& name() const { return _record.name; }
    const MVHotspotRecord& record() const { return _record; }

    // Does what the hot spot says: a link goes to its node (with its view, when it gives one) in the
    // node's movie; a web address goes to the movie's delegate to open. False when nothing could be done
    // (no such node, no delegate that took the address, the movie gone).
    bool triggerHotspot();

private:
    std::weak_ptr<MVNode> _node;
    int _index = 0;
    MVHotspotRecord _record;
};
