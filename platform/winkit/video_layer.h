#pragma once
// Video layers: moving pictures a window shows under the pixels its views draw.
//
// A view that shows video (the movie view) does not draw its pictures with Cairo. It answers
// HXView::videoLayer with the picture it shows, in the pixel format it was decoded in, and the
// rectangle it goes in; it leaves that rectangle transparent in its drawing, so whatever the views draw
// there (texts over the picture) lies on top. The window gives its drawn pixels (only the parts that
// changed) and its layers to the backend, which composes them: the SDL backend through SDL's renderer
// (textures scaled on the GPU where there is one), the headless one not at all. Where no renderer
// composes, and for the window's rendered image, the window composes in software through
// HXVideoLayer::rgbPicture.
#include "platform/drawing/geometry.h"

#include <cstdint>
#include <functional>
#include <memory>

enum class HXVideoPixelFormat : uint8_t {
    I420, // 8-bit Y, U and V planes, chroma halved both ways
    NV12, // 8-bit Y plane, then U and V interleaved, chroma halved both ways
    BGRA, // 8-bit B, G, R, A in memory order, premultiplied: a Cairo ARGB32 image on a little-endian machine
};

// One picture as the producer holds it. The planes stay valid as long as `owner` lives.
struct HXVideoPicture {
    HXVideoPixelFormat format = HXVideoPixelFormat::BGRA;
    int width = 0;
    int height = 0;
    const uint8_t* planes[3] {};
    int strides[3] {};
    // YUV only: the matrix (BT.709 or BT.601) and full (0…255) or video (16…235) range.
    bool bt709 = false;
    bool fullRange = false;
    std::shared_ptr<const void> owner;
    // Changes whenever the pixels do, so a renderer uploads each picture once.
    uint64_t serial = 0;

    bool isValid() const { return width > 0 && height > 0 && planes[0] != nullptr; }
    bool isYUV() const { return format != HXVideoPixelFormat::BGRA; }
};

// What the backend composing a window can do with a picture; producers pick their format by it.
struct HXVideoLayerSupport {
    // YUV pictures are shown as they are (else BGRA is wanted).
    bool yuv = true;
    // Pictures of any size are scaled to their rectangle (else they should come at its size in pixels).
    bool scales = true;
};

struct HXVideoLayer {
    // Where the picture goes, in the coordinates of the view that answers it (the window converts).
    HXRect rect = HXZeroRect;
    HXVideoPicture picture;
    // The picture's pixels as BGRA at a given size (the software composition); an invalid picture when
    // it cannot be made.
    std::function<HXVideoPicture(int width, int height)> rgbPicture;
};

// Pixels of a window's client area (menu bar and content): from its top-left corner, y down.
struct HXPixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool operator==(const HXPixelRect&) const = default;
};
HXPixelRect HXIntersectionPixelRect(const HXPixelRect& a, const HXPixelRect& b);
HXPixelRect HXUnionPixelRect(const HXPixelRect& a, const HXPixelRect& b);

// A layer placed in a window's pixels: the whole picture covers `rect`, of which `visible` shows (the
// part inside the client area and the view's visible rectangle).
struct HXPlacedVideoLayer {
    HXPixelRect rect;
    HXPixelRect visible;
    const HXVideoLayer* layer = nullptr;
};
