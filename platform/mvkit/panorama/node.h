#pragma once
// MVNode: one node of a panorama movie, a place the viewer stands and looks around from: its identity,
// its name, the pan, tilt and field-of-view extents of its panorama with the view it opens on, the
// stretch of movie time its samples occupy, and its hot spots.
//
// Nodes and their hot spots are made by the movie's panorama controller from the stored tracks
// (panorama_atoms.h) and live as long as it keeps them; each holds its parent weakly (the node its
// movie, the hot spot its node).
#include "platform/mvkit/panorama/panorama_atoms.h"

#include <memory>
#include <string>
#include <vector>

class MVMovie;
class MVHotspot;

// A closed range of angles in degrees.
struct MVAngleRange {
    float minimum = 0;
    float maximum = 0;
    bool operator==(const MVAngleRange&) const = default;
};

class MVNode : public std::enable_shared_from_this<MVNode> {
public:
    MVNode(const std::shared_ptr<MVMovie>& movie, int index, const MVNodeInformation& information,
        const MVPanoramaSampleData& panorama, int64_t time, int64_t duration);

    // The movie the node belongs to (null once it is gone).
    std::shared_ptr<MVMovie> parent() const { return _movie.lock(); }
    // 1-based position in the movie's node list.
    int index() const { return _index; }
    uint32_t uniqueID() const { return _information.nodeID; }
    // The node type as its four characters ("pano").
    std::string type() const;
    uint32_t nodeType() const { return _information.nodeType; }
    const std::string& name() const { return _information.name; }

    const MVPanoramaSampleData& panorama() const { return _panorama; }
    bool isCubic() const { return _panorama.panoramaType == MVPanoramaTypeCube; }
    // The pan angles the panorama covers all the way round.
    bool coversFullCircle() const { return _panorama.maxPan - _panorama.minPan >= 359.999f; }
    MVAngleRange panRange() const { return { _panorama.minPan, _panorama.maxPan }; }
    MVAngleRange tiltRange() const { return { _panorama.minTilt, _panorama.maxTilt }; }
    MVAngleRange fieldOfViewRange() const { return { _panorama.minFieldOfView, _panorama.maxFieldOfView }; }

    // Where its samples lie in the movie, in movie units.
    int64_t time() const { return _time; }
    int64_t duration() const { return _duration; }

    const std::vector<std::shared_ptr<MVHotspot>>& hotspots() const { return _hotspots; }
    std::shared_ptr<MVHotspot> hotspotWithID(uint32_t hotspotID) const;
    const MVNodeInformation& information() const { return _information; }

    // Made by the controller once the node is shared.
    void makeHotspots();

private:
    std::weak_ptr<MVMovie> _movie;
    int _index = 0;
    MVNodeInformation _information;
    MVPanoramaSampleData _panorama;
    int64_t _time = 0;
    int64_t _duration = 0;
    std::vector<std::shared_ptr<MVHotspot>> _hotspots;
};
