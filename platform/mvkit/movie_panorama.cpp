// MVMovie's panorama: the controller made from the movie's tracks, and the movie's VR operations, which
// go to it.
#include "platform/mvkit/movie.h"

#include "platform/mvkit/panorama/panorama_controller.h"

namespace {

// No more nodes than this are read (panorama_controller.cpp).
constexpr size_t kKeySamples = 4096;

// What the panorama is made from: the node and panorama tracks, their samples and edits, and the
// tracks they refer to. When any of it changes the panorama is read again.
std::vector<uintptr_t> panoramaKey(const MVMovie& movie)
{
    std::vector<uintptr_t> key;
    for (const auto& t : movie.tracks()) {
        uint32_t type = t->mediaType();
        if (type != MVNodeMediaType && type != MVPanoramaMediaType)
            continue;
        key.push_back(reinterpret_cast<uintptr_t>(t.get()));
        key.push_back(uintptr_t(t->media() ? t->media()->sampleCount() : 0));
        // Where each node's data is (a replaced sample moves): as far as nodes are read.
        if (t->media()) {
            const auto& samples = t->media()->samples();
            for (size_t i = 0; i < samples.size() && i < kKeySamples; ++i) {
                key.push_back(uintptr_t(samples[i].dataOffset));
                key.push_back(uintptr_t(samples[i].size) ^ (uintptr_t(samples[i].descriptionIndex) << 32));
            }
        }
        key.push_back(uintptr_t(t->edits().size()));
        for (const auto& edit : t->edits()) {
            key.push_back(uintptr_t(uint64_t(edit.duration)));
            key.push_back(uintptr_t(uint64_t(edit.mediaTime)));
        }
        for (const auto& r : t->references())
            for (const auto& target : r.tracks)
                key.push_back(reinterpret_cast<uintptr_t>(target.lock().get()));
    }
    return key;
}

} // namespace

std::shared_ptr<MVPanoramaController> MVMovie::panoramaController() const
{
    auto key = panoramaKey(*this);
    if (key.empty()) {
        _panorama.reset();
        _panoramaKey.clear();
        return nullptr;
    }
    if (key == _panoramaKey)
        return _panorama;
    auto self = std::const_pointer_cast<MVMovie>(shared_from_this());
    auto previous = _panorama;
    _panorama = MVPanoramaController::controllerForMovie(self);
    _panoramaKey = std::move(key);
    // Read again after an edit, the viewer stays where they were when that node is still there.
    if (_panorama && previous) {
        if (auto node = previous->currentNode())
            _panorama->goToNode(
                node->uniqueID(), previous->panAngle(), previous->tiltAngle(), previous->fieldOfView());
        _panorama->setHotspotsVisible(previous->hotspotsVisible());
        _panorama->setZoomRate(previous->zoomRate());
        _panorama->setPanTiltSpeed(previous->panTiltSpeed());
    }
    return _panorama;
}

bool MVMovie::hasVRController() const
{
    return _controllerType != MVMovieControllerTypeNone && isVRMovie();
}

std::vector<std::shared_ptr<MVNode>> MVMovie::nodes() const
{
    auto c = panoramaController();
    return c ? c->nodes() : std::vector<std::shared_ptr<MVNode>> {};
}

std::shared_ptr<MVNode> MVMovie::currentNode() const
{
    auto c = panoramaController();
    return c ? c->currentNode() : nullptr;
}

bool MVMovie::goToNode(uint32_t nodeID)
{
    auto c = panoramaController();
    return c && c->goToNode(nodeID);
}

void MVMovie::gotoPreviousNode()
{
    if (auto c = panoramaController())
        c->gotoPreviousNode();
}

float MVMovie::panAngle() const
{
    auto c = panoramaController();
    return c ? c->panAngle() : 0;
}

void MVMovie::setPanAngle(float degrees)
{
    if (auto c = panoramaController())
        c->setPanAngle(degrees);
}

float MVMovie::tiltAngle() const
{
    auto c = panoramaController();
    return c ? c->tiltAngle() : 0;
}

void MVMovie::setTiltAngle(float degrees)
{
    if (auto c = panoramaController())
        c->setTiltAngle(degrees);
}

float MVMovie::fieldOfView() const
{
    auto c = panoramaController();
    return c ? c->fieldOfView() : 0;
}

void MVMovie::setFieldOfView(float degrees)
{
    if (auto c = panoramaController())
        c->setFieldOfView(degrees);
}

float MVMovie::zoomRate() const
{
    auto c = panoramaController();
    return c ? c->zoomRate() : 0;
}

void MVMovie::setZoomRate(float rate)
{
    if (auto c = panoramaController())
        c->setZoomRate(rate);
}

float MVMovie::panTiltSpeed() const
{
    auto c = panoramaController();
    return c ? c->panTiltSpeed() : 0;
}

void MVMovie::setPanTiltSpeed(float speed)
{
    if (auto c = panoramaController())
        c->setPanTiltSpeed(speed);
}

void MVMovie::zoom(float direction)
{
    if (auto c = panoramaController())
        c->zoom(direction);
}

void MVMovie::nudge(float angle)
{
    if (auto c = panoramaController())
        c->nudge(angle);
}

bool MVMovie::hotspotsVisible() const
{
    auto c = panoramaController();
    return c && c->hotspotsVisible();
}

void MVMovie::setHotspotsVisible(bool visible)
{
    if (auto c = panoramaController())
        c->setHotspotsVisible(visible);
}

int MVMovie::hotspotCount() const
{
    auto c = panoramaController();
    return c ? c->hotspotCount() : 0;
}

std::pair<float, float> MVMovie::constraints(int kind) const
{
    auto c = panoramaController();
    if (!c || kind < 0 || kind > 2)
        return { 0, 0 };
    MVAngleRange r = c->constraints(MVPanoramaConstraint(kind));
    return { r.minimum, r.maximum };
}
