#pragma once
// MVPanoramaRenderer: the view from a panorama node — its pictures projected to a flat window for a
// pan, a tilt and a vertical field of view — as one picture, with the hot spots outlined on request,
// and the hot spot under a point of that picture.
//
// The picture is an MVImageBuffer (B, G, R, A bytes, opaque), the same frame the movie view draws for
// any other movie, so it goes to the screen by whichever path the pictures of that view take.
// Sampling is bilinear; the hot-spot map is read at the nearest pixel. A large view is drawn by a few
// threads at once, each its own rows; the call returns when the picture is whole.
#include "platform/mvkit/panorama/node.h"
#include "platform/mvkit/playback/frame_converter.h"

#include <cstdint>
#include <vector>

// The pictures of one node, decoded: a cylinder as one image, a cube as its six faces (front, right,
// back, left, top, bottom). The hot-spot maps, when there are any, have one 8-bit ID per pixel, in the
// same layout (possibly at another size).
struct MVPanoramaSource {
    bool cubic = false;
    MVAngleRange pan { 0, 360 }; // what a cylinder covers
    MVAngleRange tilt { -45, 45 };
    std::vector<MVImageBuffer> faces;
    struct IDMap {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> ids;
    };
    std::vector<IDMap> hotspotMaps; // empty, or one per face
};

struct MVPanoramaView {
    float pan = 0;
    float tilt = 0;
    float fieldOfView = 60;
};

class MVPanoramaRenderer {
public:
    // Renders `view` of `source` at `width` × `height`. Directions the pictures do not cover are black.
    // With `outlineHotspots`, hot-spot areas are tinted and their edges drawn. False for a source without
    // pictures or a size below 1.
    static bool render(const MVPanoramaSource& source, const MVPanoramaView& view, int width, int height,
        MVImageBuffer& out, bool outlineHotspots = false);
    // The hot-spot ID seen at (x, y) pixels from the top-left corner of such a view; 0 for none.
    static uint32_t hotspotAt(const MVPanoramaSource& source, const MVPanoramaView& view, int width,
        int height, double x, double y);
};
