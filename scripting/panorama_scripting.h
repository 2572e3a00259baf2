#pragma once
// Panoramas as scripts see them: a movie's view keys (pan, tilt, field of view, speeds, hot spots, the
// ranges, the current and default node), its zoom, nudge and navigate commands, and the node and hot-spot
// objects (MVNode(MVPNodeScripting), MVHotspot(MVPHotspotScripting)), each specified by index under its
// parent: a node under its movie's "nodes", a hot spot under its node's "hotspots".
#include "platform/basekit/scripting_command.h"

#include <cstdint>
#include <memory>

class MVHotspot;
class MVNode;
class MVPMovieDocument;

namespace MVPNodeScripting {

const HXScriptClass<MVNode>& classDescription();
HXScriptReference reference(const std::shared_ptr<MVNode>& node);

} // namespace MVPNodeScripting

namespace MVPHotspotScripting {

const HXScriptClass<MVHotspot>& classDescription();
HXScriptReference reference(const std::shared_ptr<MVHotspot>& hotspot);

} // namespace MVPHotspotScripting

namespace MVPMovieDocScripting {

// The movie's panorama keys and its "nodes" elements, on the movie class.
void addPanoramaProperties(HXScriptClass<MVPMovieDocument>& cls);
// The zoom, nudge and navigate commands, on the movie class.
void addPanoramaCommands(HXScriptClass<MVPMovieDocument>& cls);

// The angle a nudge direction code moves towards ('left' 180, 'uple' 135, 'up  ' 90, 'upri' 45, 'dori'
// 315, 'down' 270, 'dole' 225; anything else 0).
float nudgeAngleForCode(uint32_t code);

} // namespace MVPMovieDocScripting
