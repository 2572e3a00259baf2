#include "platform/mvkit/panorama/panorama_controller.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_links.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/panorama/panorama_images.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kDegrees = std::numbers::pi / 180.0;
// A panorama has a few hundred nodes at most; more is a damaged table.
constexpr size_t kMaximumNodes = 4096;
constexpr double kZoomInterval = 1.0 / 30.0;
// Way back through at most this many node changes.
constexpr size_t kMaximumHistory = 256;

std::shared_ptr<MVTrack> firstTrack(const MVMovie& movie, uint32_t mediaType)
{
    auto tracks = movie.tracksOfMediaType(mediaType);
    return tracks.empty() ? nullptr : tracks.front();
}

// The sample `track` shows at movie time `time`, and its bytes.
std::optional<MVBytes> sampleAt(const MVTrack& track, int64_t time)
{
    const auto& media = track.media();
    int64_t mediaTime = track.trackTimeToMediaTime(time);
    if (!media || mediaTime < 0)
        return std::nullopt;
    int64_t index = media->sampleIndexAtTime(mediaTime);
    if (index < 0)
        return std::nullopt;
    return media->sampleBytes(index);
}

float finiteOr(float value, float fallback)
{
    return std::isfinite(value) ? value : fallback;
}

// Sane extents for a node whose stored ones are damaged (reversed, not numbers).
MVPanoramaSampleData repaired(MVPanoramaSampleData d)
{
    d.minPan = finiteOr(d.minPan, 0);
    d.maxPan = finiteOr(d.maxPan, 360);
    if (!(d.maxPan > d.minPan))
        d.minPan = 0, d.maxPan = 360;
    const bool cubic = d.panoramaType == MVPanoramaTypeCube;
    d.minTilt = std::clamp(finiteOr(d.minTilt, cubic ? -90.0f : -45.0f), -90.0f, 90.0f);
    d.maxTilt = std::clamp(finiteOr(d.maxTilt, cubic ? 90.0f : 45.0f), -90.0f, 90.0f);
    if (!(d.maxTilt > d.minTilt))
        d.minTilt = cubic ? -90.0f : -45.0f, d.maxTilt = cubic ? 90.0f : 45.0f;
    d.minFieldOfView = std::clamp(finiteOr(d.minFieldOfView, 5), 1.0f, 170.0f);
    d.maxFieldOfView = std::clamp(finiteOr(d.maxFieldOfView, 90), 1.0f, 170.0f);
    if (!(d.maxFieldOfView >= d.minFieldOfView))
        d.minFieldOfView = 5, d.maxFieldOfView = 90;
    d.defaultPan = finiteOr(d.defaultPan, d.minPan);
    d.defaultTilt = finiteOr(d.defaultTilt, 0);
    d.defaultFieldOfView = finiteOr(d.defaultFieldOfView, d.maxFieldOfView);
    return d;
}

} // namespace

std::shared_ptr<MVPanoramaController> MVPanoramaController::controllerForMovie(
    const std::shared_ptr<MVMovie>& movie)
{
    if (!movie)
        return nullptr;
    auto nodeTrack = firstTrack(*movie, MVNodeMediaType);
    auto panoTrack = firstTrack(*movie, MVPanoramaMediaType);
    if (!nodeTrack || !panoTrack || !nodeTrack->media())
        return nullptr;
    const auto& media = *nodeTrack->media();

    std::shared_ptr<MVPanoramaController> c(new MVPanoramaController());
    c->_movie = movie;
    std::optional<MVPanoramaWorld> world;
    if (!media.sampleDescriptions().empty())
        world = MVParsePanoramaWorld(media.sampleDescriptions().front().data);
    if (world)
        c->_defaultNodeID = world->defaultNodeID;

    // One node per node-track sample the track shows, in movie-time order; a node whose information or
    // panorama data is damaged is left out.
    struct Found {
        int64_t time, duration;
        MVNodeInformation information;
        MVPanoramaSampleData panorama;
    };
    std::vector<Found> found;
    const int32_t mediaScale = std::max(media.timeScale(), 1);
    const int32_t movieScale = std::max(movie->timeScale(), 1);
    for (int64_t i = 0; i < media.sampleCount() && found.size() < kMaximumNodes; ++i) {
        int64_t time = nodeTrack->mediaTimeToTrackTime(media.sampleTime(i));
        if (time < 0)
            continue;
        auto bytes = media.sampleBytes(i);
        auto information = bytes ? MVParseNodeInformation(*bytes) : std::nullopt;
        auto panoBytes = sampleAt(*panoTrack, time);
        auto panorama = panoBytes ? MVParsePanoramaSample(*panoBytes) : std::nullopt;
        if (!information || !panorama || panorama->majorVersion != 2)
            continue;
        if (std::any_of(found.begin(), found.end(),
                [&](const Found& f) { return f.information.nodeID == information->nodeID; }))
            continue;
        if (information->name.empty() && world)
            for (const auto& entry : world->nodes)
                if (entry.nodeID == information->nodeID)
                    information->name = entry.name;
        int64_t duration = int64_t(media.samples()[size_t(i)].duration) * movieScale / mediaScale;
        found.push_back(
            { time, std::max<int64_t>(duration, 1), std::move(*information), repaired(*panorama) });
    }
    if (found.empty())
        return nullptr;
    std::stable_sort(
        found.begin(), found.end(), [](const Found& a, const Found& b) { return a.time < b.time; });
    int index = 0;
    for (auto& f : found) {
        auto node = std::make_shared<MVNode>(movie, ++index, f.information, f.panorama, f.time, f.duration);
        node->makeHotspots();
        c->_nodes.push_back(std::move(node));
    }
    auto [w, h] = movie->naturalSize();
    if (w > 0 && h > 0)
        c->_aspect = w / h;
    c->enter(c->defaultNode(), {}, {}, {});
    return c;
}

MVPanoramaController::~MVPanoramaController()
{
    if (_zoomTimer)
        _zoomTimer->invalidate();
}

std::shared_ptr<MVNode> MVPanoramaController::nodeWithID(uint32_t nodeID) const
{
    for (const auto& n : _nodes)
        if (n->uniqueID() == nodeID)
            return n;
    return nullptr;
}

std::shared_ptr<MVNode> MVPanoramaController::defaultNode() const
{
    if (auto n = nodeWithID(_defaultNodeID))
        return n;
    return _nodes.empty() ? nullptr : _nodes.front();
}

void MVPanoramaController::enter(const std::shared_ptr<MVNode>& node, std::optional<float> pan,
    std::optional<float> tilt, std::optional<float> fieldOfView)
{
    if (node != _current) {
        _current = node;
        _source.reset();
        _sourceTried = false;
        _sourceError = {};
    }
    const auto& d = node->panorama();
    _fieldOfView = fieldOfView && std::isfinite(*fieldOfView) ? *fieldOfView : d.defaultFieldOfView;
    _pan = pan && std::isfinite(*pan) ? *pan : d.defaultPan;
    _tilt = tilt && std::isfinite(*tilt) ? *tilt : d.defaultTilt;
    constrain();
}

bool MVPanoramaController::goToNode(
    uint32_t nodeID, std::optional<float> pan, std::optional<float> tilt, std::optional<float> fieldOfView)
{
    auto node = nodeWithID(nodeID);
    if (!node)
        return false;
    if (node != _current && _current) {
        if (_history.size() >= kMaximumHistory)
            _history.erase(_history.begin());
        _history.push_back({ _current->uniqueID(), _pan, _tilt, _fieldOfView });
    }
    arrive(node, pan, tilt, fieldOfView);
    return true;
}

bool MVPanoramaController::gotoPreviousNode()
{
    while (!_history.empty()) {
        Place place = _history.back();
        _history.pop_back();
        if (auto node = nodeWithID(place.nodeID)) {
            arrive(node, place.pan, place.tilt, place.fieldOfView);
            return true;
        }
    }
    return false;
}

void MVPanoramaController::arrive(const std::shared_ptr<MVNode>& node, std::optional<float> pan,
    std::optional<float> tilt, std::optional<float> fieldOfView)
{
    const bool otherNode = node != _current;
    enter(node, pan, tilt, fieldOfView);
    changed();
    // The time display names the node in view.
    if (otherNode)
        if (auto movie = _movie.lock())
            HXNotificationCenter::defaultCenter().postNotification(
                HXNotification(MVMovieStatusStringPostedNotification, movie,
                    { { MVMovieStatusStringNotificationParameter, node->name() } }));
}

void MVPanoramaController::constrain()
{
    if (!_current)
        return;
    const auto& d = _current->panorama();
    const bool cubic = _current->isCubic();
    float maxFieldOfView = d.maxFieldOfView;
    if (!cubic)
        maxFieldOfView = std::min(maxFieldOfView, d.maxTilt - d.minTilt);
    const float minFieldOfView = std::min(d.minFieldOfView, maxFieldOfView);
    if (!std::isfinite(_fieldOfView))
        _fieldOfView = d.defaultFieldOfView;
    _fieldOfView = std::clamp(_fieldOfView, minFieldOfView, maxFieldOfView);

    if (!std::isfinite(_tilt))
        _tilt = d.defaultTilt;
    // A cylinder's picture ends above and below: the whole view stays on it. A cube is closed.
    float low = cubic ? d.minTilt : d.minTilt + _fieldOfView / 2;
    float high = cubic ? d.maxTilt : d.maxTilt - _fieldOfView / 2;
    _tilt = low <= high ? std::clamp(_tilt, low, high) : (d.minTilt + d.maxTilt) / 2;

    if (!std::isfinite(_pan))
        _pan = d.defaultPan;
    if (_current->coversFullCircle() || cubic) {
        _pan = float(std::fmod(std::fmod(double(_pan), 360.0) + 360.0, 360.0));
    } else {
        const double halfWidth = std::atan(std::tan(_fieldOfView * 0.5 * kDegrees) * _aspect) / kDegrees;
        double lowPan = d.minPan + halfWidth, highPan = d.maxPan - halfWidth;
        _pan = lowPan <= highPan ? float(std::clamp(double(_pan), lowPan, highPan))
                                 : (d.minPan + d.maxPan) / 2;
    }
}

void MVPanoramaController::changed()
{
    if (auto movie = _movie.lock())
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVMoviePanoramaViewDidChangeNotification, movie));
}

void MVPanoramaController::setAngle(float MVPanoramaController::*angle, float degrees)
{
    if (!std::isfinite(degrees))
        return;
    MVPanoramaView before = view();
    this->*angle = degrees;
    constrain();
    // A changed field of view may move the tilt (and the pan of a partial panorama) with it.
    if (before.pan != _pan || before.tilt != _tilt || before.fieldOfView != _fieldOfView)
        changed();
}

void MVPanoramaController::setPanAngle(float degrees)
{
    setAngle(&MVPanoramaController::_pan, degrees);
}

void MVPanoramaController::setTiltAngle(float degrees)
{
    setAngle(&MVPanoramaController::_tilt, degrees);
}

void MVPanoramaController::setFieldOfView(float degrees)
{
    setAngle(&MVPanoramaController::_fieldOfView, degrees);
}

void MVPanoramaController::setViewAspect(double aspect)
{
    if (!(aspect > 0) || !std::isfinite(aspect) || aspect == _aspect)
        return;
    _aspect = aspect;
    MVPanoramaView before = view();
    constrain();
    if (before.pan != _pan)
        changed();
}

MVAngleRange MVPanoramaController::constraints(MVPanoramaConstraint kind) const
{
    if (!_current)
        return {};
    switch (kind) {
    case MVPanoramaConstraint::Pan:
        return _current->panRange();
    case MVPanoramaConstraint::Tilt:
        return _current->tiltRange();
    case MVPanoramaConstraint::FieldOfView:
        return _current->fieldOfViewRange();
    }
    return {};
}

void MVPanoramaController::setZoomRate(float rate)
{
    if (std::isfinite(rate))
        _zoomRate = std::clamp(rate, 1.0f, 10.0f);
}

void MVPanoramaController::setPanTiltSpeed(float speed)
{
    if (std::isfinite(speed))
        _panTiltSpeed = std::clamp(speed, 1.0f, 10.0f);
}

void MVPanoramaController::zoomStep(double factor)
{
    setFieldOfView(float(_fieldOfView * factor));
}

void MVPanoramaController::zoom(float direction)
{
    if (!std::isfinite(direction))
        direction = 0;
    _zoomDirection = direction == 0 ? 0.0f : (direction > 0 ? 1.0f : -1.0f);
    if (_zoomDirection == 0) {
        if (_zoomTimer)
            _zoomTimer->invalidate();
        _zoomTimer.reset();
        return;
    }
    // One step at once (a click zooms), then smoothly while the zoom lasts.
    zoomStep(std::exp(_zoomDirection * 0.04 * _zoomRate));
    _lastZoomTime = HXRunLoop::main().now();
    if (!_zoomTimer || !_zoomTimer->isValid())
        _zoomTimer = HXTimer::scheduledTimer(kZoomInterval, true, [this](HXTimer&) { zoomTimerFired(); },
            { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode, HXModalPanelRunLoopMode });
}

void MVPanoramaController::zoomTimerFired()
{
    double now = HXRunLoop::main().now();
    double elapsed = std::clamp(now - _lastZoomTime, 0.0, 0.25);
    _lastZoomTime = now;
    float before = _fieldOfView;
    zoomStep(std::exp(_zoomDirection * 0.15 * _zoomRate * elapsed));
    // At a limit there is nothing more to do until the next zoom.
    if (_fieldOfView == before && elapsed > 0) {
        if (_zoomTimer)
            _zoomTimer->invalidate();
        _zoomTimer.reset();
    }
}

void MVPanoramaController::nudge(float angle)
{
    if (!std::isfinite(angle) || !_current)
        return;
    const double step = _fieldOfView * _panTiltSpeed / 50.0;
    const double a = angle * kDegrees;
    MVPanoramaView before = view();
    // Right lowers the pan (it turns counter-clockwise); up raises the tilt.
    _pan = float(_pan - std::cos(a) * step);
    _tilt = float(_tilt + std::sin(a) * step);
    constrain();
    if (before.pan != _pan || before.tilt != _tilt)
        changed();
}

void MVPanoramaController::setHotspotsVisible(bool visible)
{
    if (visible == _hotspotsVisible)
        return;
    _hotspotsVisible = visible;
    changed();
}

int MVPanoramaController::hotspotCount() const
{
    return _current ? int(_current->hotspots().size()) : 0;
}

bool MVPanoramaController::triggerHotspot(const MVHotspot& hotspot)
{
    const MVHotspotRecord& r = hotspot.record();
    if (r.type == MVHotspotTypeLink && r.link) {
        const MVHotspotLink& link = *r.link;
        auto given = [&](uint32_t flag, float value) {
            return (link.flags & flag) ? std::optional<float>(value) : std::nullopt;
        };
        return goToNode(link.toNodeID, given(MVHotspotLinkHasPan, link.toPan),
            given(MVHotspotLinkHasTilt, link.toTilt), given(MVHotspotLinkHasFieldOfView, link.toFieldOfView));
    }
    if (r.type == MVHotspotTypeURL && !r.url.empty()) {
        // Followed like any link in a movie: relative to where the movie is.
        auto movie = _movie.lock();
        return movie && MVMovieFollowLink(*movie, MVMovieLink { r.url, {} });
    }
    return false;
}

std::shared_ptr<const MVPanoramaSource> MVPanoramaController::currentSource(HXError* outError)
{
    if (!_current)
        return nullptr;
    if (!_sourceTried) {
        _sourceTried = true;
        auto movie = _movie.lock();
        if (movie)
            _source = MVLoadPanoramaSource(*movie, *_current, &_sourceError);
    }
    if (!_source && outError)
        *outError = _sourceError;
    return _source;
}

bool MVPanoramaController::renderView(int width, int height, MVImageBuffer& out, HXError* outError)
{
    auto source = currentSource(outError);
    return source && MVPanoramaRenderer::render(*source, view(), width, height, out, _hotspotsVisible);
}

std::shared_ptr<MVHotspot> MVPanoramaController::hotspotAtPoint(int width, int height, double x, double y)
{
    auto source = currentSource();
    if (!source || !_current)
        return nullptr;
    return _current->hotspotWithID(MVPanoramaRenderer::hotspotAt(*source, view(), width, height, x, y));
}
