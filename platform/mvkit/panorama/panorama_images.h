#pragma once
// The pictures of a panorama node, decoded from the movie's image and hot-spot tracks into the form the
// renderer reads (panorama_renderer.h).
#include "platform/basekit/error.h"
#include "platform/mvkit/panorama/panorama_renderer.h"

#include <memory>

class MVMovie;
class MVNode;

// The decoded pictures of `node`: the frames its image track shows during the node's time, put together
// by the node's grid (and cut into the six faces of a cube); the hot-spot maps likewise from the hot-spot
// track when the node has one (a node whose hot-spot pictures are missing or damaged just has no maps).
// Null, with `outError` (MVStatusBadPanorama, or the decoder's), when the pictures are missing, damaged or
// do not fit the node's layout.
std::shared_ptr<MVPanoramaSource> MVLoadPanoramaSource(
    const MVMovie& movie, const MVNode& node, HXError* outError);

// Status of a panorama whose stored parts do not fit together (HXOSStatusErrorDomain).
inline constexpr int64_t MVStatusBadPanorama = -5001;
