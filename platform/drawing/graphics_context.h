#pragma once
// HXGraphicsContext: where drawing goes. It wraps a cairo_t over some cairo surface (an image in memory,
// or a window's surface handed over by the window toolkit) and keeps the per-thread stack of current
// contexts that colours, paths, images and text draw into.
//
// Coordinates: a context's user space is in points. Unflipped, the origin is at the bottom left and y
// grows upwards; flipped, the origin is at the top left and y grows downwards. The base transform that
// does this (and the scale from points to device pixels) is set up at creation; drawing code adds its own
// transforms on top with concat.
#include "platform/drawing/color.h"
#include "platform/drawing/geometry.h"

#include <cairo.h>

#include <memory>
#include <optional>
#include <vector>

// How the colour drawn (source S) combines with what is there (destination D). Numbered as stored.
enum HXCompositingOperation : int {
    HXCompositeClear = 0,
    HXCompositeCopy = 1,
    HXCompositeSourceOver = 2,
    HXCompositeSourceIn = 3,
    HXCompositeSourceOut = 4,
    HXCompositeSourceAtop = 5,
    HXCompositeDestinationOver = 6,
    HXCompositeDestinationIn = 7,
    HXCompositeDestinationOut = 8,
    HXCompositeDestinationAtop = 9,
    HXCompositeXOR = 10,
    HXCompositePlusLighter = 11, // S + D, clamped
    HXCompositePlusDarker = 12, // S + D − 1, clamped at 0 (on the colour; alpha as source-over)
};

enum HXImageInterpolation : int {
    HXImageInterpolationDefault = 0,
    HXImageInterpolationNone = 1,
    HXImageInterpolationLow = 2,
    HXImageInterpolationHigh = 3,
};

class HXGraphicsContext : public std::enable_shared_from_this<HXGraphicsContext> {
public:
    // A context over a new transparent ARGB image of pixelWidth × pixelHeight device pixels, at `scale`
    // pixels per point (so its size in points is the pixel size divided by the scale). Null when the size
    // is not positive or too large for an image, or the scale is not positive.
    static std::shared_ptr<HXGraphicsContext> graphicsContextWithImageSize(
        int pixelWidth, int pixelHeight, double scale = 1, bool flipped = false);
    // A context over an existing cairo surface (referenced, not copied; kept alive by the context). The
    // size in points is that of the surface (image surfaces: their pixel size) divided by the scale; for
    // surfaces without a size pass it in `pointSize`. Null for a surface in an error state.
    static std::shared_ptr<HXGraphicsContext> graphicsContextWithSurface(cairo_surface_t* surface,
        double scale = 1, bool flipped = false, std::optional<HXSize> pointSize = {});

    ~HXGraphicsContext();
    HXGraphicsContext(const HXGraphicsContext&) = delete;
    HXGraphicsContext& operator=(const HXGraphicsContext&) = delete;

    // The current context of this thread, or null. setCurrentContext(nullptr) leaves none.
    static std::shared_ptr<HXGraphicsContext> currentContext();
    static void setCurrentContext(std::shared_ptr<HXGraphicsContext> context);
    // Class-level state saving: pushes the current context together with its graphics state (transform,
    // clip, colours, line settings, operation, antialiasing); restore pops both, making the saved context
    // current again. Unbalanced restores do nothing.
    static void saveGraphicsState();
    static void restoreGraphicsState();
    // The same on this context only (cairo_save / cairo_restore and our settings).
    void saveState();
    void restoreState();

    cairo_t* cairo() const { return _cr; } // the graphics port
    cairo_surface_t* surface() const { return _surface; }
    bool isFlipped() const { return _flipped; }
    double scale() const { return _scale; }
    HXSize size() const { return _size; } // in points
    // False while drawing goes to paper (a PDF or PostScript surface being printed): views that show
    // something other than their own drawing on screen (a movie's pictures) draw it themselves then.
    bool isDrawingToScreen() const;
    HXRect bounds() const { return { {}, _size }; }

    HXCompositingOperation compositingOperation() const;
    void setCompositingOperation(HXCompositingOperation op);
    HXImageInterpolation imageInterpolation() const;
    void setImageInterpolation(HXImageInterpolation interpolation);
    bool shouldAntialias() const;
    void setShouldAntialias(bool antialias);
    // Text rendering: smoothing off gives grayscale-free (aliased) glyphs.
    bool shouldSmoothFonts() const;
    void setShouldSmoothFonts(bool smooth);

    // Colours for fills and strokes (HXColor::set sets both).
    const HXColor& fillColor() const;
    const HXColor& strokeColor() const;
    void setFillColor(const HXColor& color);
    void setStrokeColor(const HXColor& color);

    // The user transform (the part added on top of the base transform) and changing it.
    HXAffineTransform transform() const;
    void setTransform(const HXAffineTransform& t);
    void concatTransform(const HXAffineTransform& t);

    // Intersects the clip with a rectangle in user space; the clip's bounding box in user space
    // (the whole context when nothing clips).
    void clipToRect(const HXRect& rect);
    HXRect clipBoundingBox() const;

    // Fills or frames in the current fill colour with the current operation (or the one given).
    void fillRect(const HXRect& rect);
    void fillRect(const HXRect& rect, HXCompositingOperation op);
    void frameRect(const HXRect& rect, double width, HXCompositingOperation op);

    // Makes pending drawing visible in the surface's memory (before reading pixels or presenting).
    void flushGraphics();

    // Internal: selects the source, operation and antialiasing for the next fill or stroke.
    void prepareFill(HXCompositingOperation op);
    void prepareStroke(HXCompositingOperation op);
    // Internal: the settings kept beside cairo's own state.
    struct State {
        HXCompositingOperation operation = HXCompositeSourceOver;
        HXImageInterpolation interpolation = HXImageInterpolationDefault;
        bool antialias = true;
        bool smoothFonts = true;
        HXColor fill = HXColor::blackColor();
        HXColor stroke = HXColor::blackColor();
    };
    // Internal: cairo's transform for user space without the user transform.
    const cairo_matrix_t& baseMatrix() const { return _base; }

private:
    HXGraphicsContext(cairo_surface_t* surface, double scale, bool flipped, HXSize size);

    cairo_surface_t* _surface = nullptr;
    cairo_t* _cr = nullptr;
    double _scale = 1;
    bool _flipped = false;
    HXSize _size;
    cairo_matrix_t _base {};
    State _state;
    std::vector<State> _saved;
};

// Makes `context` current for the life of the scope and restores the previous current context after.
class HXGraphicsContextScope {
public:
    explicit HXGraphicsContextScope(std::shared_ptr<HXGraphicsContext> context);
    ~HXGraphicsContextScope();
    HXGraphicsContextScope(const HXGraphicsContextScope&) = delete;
    HXGraphicsContextScope& operator=(const HXGraphicsContextScope&) = delete;

private:
    std::shared_ptr<HXGraphicsContext> _previous;
};

// Drawing in the current context; each does nothing when there is none.
void HXRectFill(const HXRect& rect);
void HXRectFillUsingOperation(const HXRect& rect, HXCompositingOperation op);
void HXRectFillList(const std::vector<HXRect>& rects);
void HXFrameRect(const HXRect& rect); // 1 point wide, inside the rectangle
void HXFrameRectWithWidth(const HXRect& rect, double width);
void HXFrameRectWithWidthUsingOperation(const HXRect& rect, double width, HXCompositingOperation op);
void HXRectClip(const HXRect& rect);
// A focus ring: a soft ring in the keyboard-focus colour drawn just outside the rectangle.
void HXDrawFocusRingAroundRect(const HXRect& rect);
