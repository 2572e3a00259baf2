#pragma once
// MVPanoramaController: the panorama of a movie and the viewer's place in it — the nodes read from the
// movie's node and panorama tracks, the current node, the view (pan, tilt, field of view) kept inside
// the node's extents, the way back to earlier nodes, zooming and nudging, and the hot spots.
//
// Every change of the view, the node or the hot spots' visibility posts
// MVMoviePanoramaViewDidChangeNotification with the movie as object; going to a node also posts the
// node's name as the movie's status string (what the time display shows for a panorama).
//
// Angles are degrees (panorama_atoms.h): pan counter-clockwise, tilt up, the field of view vertical.
// The pictures of the current node are decoded on first use and kept until the node changes.
#include "platform/basekit/error.h"
#include "platform/mvkit/panorama/hotspot.h"
#include "platform/mvkit/panorama/node.h"
#include "platform/mvkit/panorama/panorama_renderer.h"

#include <memory>
#include <optional>
#include <vector>

class HXTimer;
class MVMovie;

// The kinds of constraints(): pan, tilt, field of view.
enum class MVPanoramaConstraint { Pan = 0, Tilt = 1, FieldOfView = 2 };

class MVPanoramaController {
public:
    // The panorama of `movie`'s tracks, at its default node; null when the movie has no node and
    // panorama tracks that make at least one node.
    static std::shared_ptr<MVPanoramaController> controllerForMovie(const std::shared_ptr<MVMovie>& movie);
    ~MVPanoramaController();
    MVPanoramaController(const MVPanoramaController&) = delete;
    MVPanoramaController& operator=(const MVPanoramaController&) = delete;

    // Nodes.
    const std::vector<std::shared_ptr<MVNode>>& nodes() const { return _nodes; }
    std::shared_ptr<MVNode> nodeWithID(uint32_t nodeID) const;
    std::shared_ptr<MVNode> currentNode() const { return _current; }
    // The node the world names as the one to start at (the first node when it names none that exists).
    std::shared_ptr<MVNode> defaultNode() const;
    // Goes to the node with its default view, or with the angles given. False when there is no such node.
    bool goToNode(uint32_t nodeID, std::optional<float> pan = {}, std::optional<float> tilt = {},
        std::optional<float> fieldOfView = {});
    // Back to the node (and the view) before the last node change; false when there is none.
    bool gotoPreviousNode();

    // The view. Setting an angle keeps it inside the current node's extents: the field of view within
    // its range (and, for a cylinder, no taller than the picture), the tilt so that the view stays on the
    // picture, the pan round the full circle or, for a partial panorama, within it.
    float panAngle() const { return _pan; }
    void setPanAngle(float degrees);
    float tiltAngle() const { return _tilt; }
    void setTiltAngle(float degrees);
    float fieldOfView() const { return _fieldOfView; }
    void setFieldOfView(float degrees);
    // The width of the view over its height (the movie's natural shape); the pan of a partial panorama
    // keeps the whole width of the view on the picture.
    double viewAspect() const { return _aspect; }
    void setViewAspect(double aspect);
    // The range of angles kind `kind` may take at the current node: [minimum, maximum].
    MVAngleRange constraints(MVPanoramaConstraint kind) const;

    // Speeds, 1 (slow) … 10 (fast), 5 at first: how far a nudge moves and how fast a zoom goes.
    float zoomRate() const { return _zoomRate; }
    void setZoomRate(float rate);
    float panTiltSpeed() const { return _panTiltSpeed; }
    void setPanTiltSpeed(float speed);

    // Zooming: a positive `direction` widens the field of view (out), a negative one narrows it (in).
    // It takes one step at once and goes on, at zoomRate, until zoom(0) or a limit of the field of view.
    void zoom(float direction);
    float zoomDirection() const { return _zoomDirection; }
    // Moves the view one step (a tenth of the field of view at speed 5) towards `angle` degrees: 0 right,
    // 90 up, 180 left, 270 down.
    void nudge(float angle);

    // Hot spots of the current node.
    bool hotspotsVisible() const { return _hotspotsVisible; }
    void setHotspotsVisible(bool visible);
    int hotspotCount() const;
    // Triggers `hotspot` (a hot spot of one of the nodes): see MVHotspot::triggerHotspot.
    bool triggerHotspot(const MVHotspot& hotspot);

    // The current view drawn `width` × `height` pixels large, the hot spots outlined while they are
    // visible. False (with `outError`) when the node's pictures cannot be decoded.
    bool renderView(int width, int height, MVImageBuffer& out, HXError* outError = nullptr);
    // The hot spot under point (x, y) of such a view (pixels from its top-left corner); null for none.
    std::shared_ptr<MVHotspot> hotspotAtPoint(int width, int height, double x, double y);
    // The decoded pictures of the current node (decoded now when not yet); null when they cannot be.
    std::shared_ptr<const MVPanoramaSource> currentSource(HXError* outError = nullptr);

private:
    MVPanoramaController() = default;
    struct Place {
        uint32_t nodeID;
        float pan, tilt, fieldOfView;
    };
    void enter(const std::shared_ptr<MVNode>& node, std::optional<float> pan, std::optional<float> tilt,
        std::optional<float> fieldOfView);
    // Enters the node and tells whoever follows the view (and, for another node, its name).
    void arrive(const std::shared_ptr<MVNode>& node, std::optional<float> pan, std::optional<float> tilt,
        std::optional<float> fieldOfView);
    void setAngle(float MVPanoramaController::*angle, float degrees);
    // Keeps the view inside the node's extents.
    void constrain();
    void changed();
    void zoomStep(double factor);
    void zoomTimerFired();
    MVPanoramaView view() const { return { _pan, _tilt, _fieldOfView }; }

    std::weak_ptr<MVMovie> _movie;
    std::vector<std::shared_ptr<MVNode>> _nodes;
    uint32_t _defaultNodeID = 0;
    std::shared_ptr<MVNode> _current;
    std::vector<Place> _history;
    float _pan = 0, _tilt = 0, _fieldOfView = 60;
    double _aspect = 4.0 / 3.0;
    float _zoomRate = 5, _panTiltSpeed = 5;
    float _zoomDirection = 0;
    double _lastZoomTime = 0;
    std::shared_ptr<HXTimer> _zoomTimer;
    bool _hotspotsVisible = false;
    std::shared_ptr<const MVPanoramaSource> _source; // of _current
    HXError _sourceError;
    bool _sourceTried = false;
};
