#pragma once
// Printing drawing values in test messages, and reading back what a drawing test drew: pixels of a
// context's image surface, straight RGBA, row 0 at the top of the image.
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/graphics_context.h"

#include <cairo.h>

#include <memory>
#include <ostream>

inline std::ostream& operator<<(std::ostream& os, const HXRect& r)
{
    return os << HXStringFromRect(r);
}
inline std::ostream& operator<<(std::ostream& os, const HXPoint& p)
{
    return os << HXStringFromPoint(p);
}
inline std::ostream& operator<<(std::ostream& os, const HXSize& s)
{
    return os << HXStringFromSize(s);
}

inline std::ostream& operator<<(std::ostream& os, const HXRGBAPixel& p)
{
    return os << "rgba(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
}

// The pixel at device column x, row y (row 0 at the top of the surface).
inline HXRGBAPixel pixelAt(HXGraphicsContext& context, int x, int y)
{
    context.flushGraphics();
    auto rep = HXBitmapImageRep::imageRepWithCairoSurface(context.surface());
    return rep ? rep->pixelAt(x, y) : HXRGBAPixel {};
}

// Whether two pixels differ by at most `tolerance` in every sample.
inline bool near(const HXRGBAPixel& a, const HXRGBAPixel& b, int tolerance = 2)
{
    auto close = [tolerance](int u, int v) { return u - v <= tolerance && v - u <= tolerance; };
    return close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b) && close(a.a, b.a);
}

// A transparent context of w × h points at scale 1, made current for the life of the object.
struct CurrentContext {
    std::shared_ptr<HXGraphicsContext> context;
    HXGraphicsContextScope scope;
    CurrentContext(int w, int h, bool flipped = false)
        : context(HXGraphicsContext::graphicsContextWithImageSize(w, h, 1, flipped))
        , scope(context)
    {
    }
    HXRGBAPixel operator()(int x, int y) const { return pixelAt(*context, x, y); }
};
