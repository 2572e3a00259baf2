#pragma once
// HXImage: a picture that knows its size in points and how to draw itself into the current graphics
// context. Its pixels are one HXBitmapImageRep, read from a file (PNG) when first needed, or drawn with
// lockFocus / drawInto.
//
// An image has its own coordinate system with the origin at the bottom left; a flipped image has it at
// the top left. Drawing maps that system onto the destination rectangle in the context's user space, so
// an unflipped image drawn into a flipped context comes out upside down: set the image flipped to match
// the view before drawing it there.
#include "platform/basekit/error.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/geometry.h"
#include "platform/drawing/graphics_context.h"

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class HXImage : public std::enable_shared_from_this<HXImage> {
public:
    // The image of that name: one registered with setName, else a resource of the main bundle found by
    // base name (any extension given is dropped, so "Play.tif" finds "Play.png"). Loaded lazily, cached by
    // name; the same object every time. Null when there is no such resource.
    static std::shared_ptr<HXImage> imageNamed(const std::string& name);
    // File name extensions that can be read.
    static std::vector<std::string> imageUnfilteredFileTypes();

    // Reads the file now; null and an error when it cannot be read.
    static std::shared_ptr<HXImage> initWithContentsOfFile(const std::string& path, HXError* error = nullptr);
    // Reads the file when first needed; an unreadable file gives an invalid image (size zero, draws nothing).
    static std::shared_ptr<HXImage> initByReferencingFile(const std::string& path);
    // PNG bytes; null when they cannot be decoded.
    static std::shared_ptr<HXImage> initWithData(const HXData& data, HXError* error = nullptr);
    // An empty image of that size in points, to be drawn into with lockFocus or drawInto.
    static std::shared_ptr<HXImage> initWithSize(const HXSize& size);
    // An image showing these pixels (shared, not copied); its size is the representation's.
    static std::shared_ptr<HXImage> initWithBitmapImageRep(std::shared_ptr<HXBitmapImageRep> rep);

    std::shared_ptr<HXImage> copy() const;

    // Registers the image under `name` for imageNamed (replacing none already there: false when the
    // name is taken by another image). An empty name unregisters it.
    bool setName(const std::string& name);
    const std::string& name() const { return _name; }

    // Size in points: as set, else the representation's. Loads a referenced file.
    HXSize size() const;
    void setSize(const HXSize& size);
    bool isFlipped() const { return _flipped; }
    void setFlipped(bool flipped) { _flipped = flipped; }
    // False for a referenced file that cannot be read, or an image with no pixels and no size.
    bool isValid() const;

    // The pixels (created on demand for an image made with a size). Null for an invalid image.
    std::shared_ptr<HXBitmapImageRep> bitmapImageRep() const;
    void setBitmapImageRep(std::shared_ptr<HXBitmapImageRep> rep);
    cairo_surface_t* cairoSurface() const; // null for an invalid image

    // Makes a context drawing into the image current (unflipped, unless the image is flipped); unlockFocus
    // restores the previous one. Nested pairs are fine. An image of zero size gives a context that draws
    // nothing.
    void lockFocus();
    void unlockFocus();
    // lockFocus, `draw`, unlockFocus (also when `draw` throws).
    void drawInto(const std::function<void()>& draw);

    // Draws the part `fromRect` of the image (in image points; HXZeroRect means all of it) scaled into
    // `dstRect` of the current context, with the operation and opacity `fraction` (0 ... 1). A source rect
    // reaching outside the image is cut to it, and the destination in proportion.
    void drawInRect(
        const HXRect& dstRect, const HXRect& fromRect, HXCompositingOperation op, double fraction) const;
    void drawInRect(const HXRect& dstRect) const
    {
        drawInRect(dstRect, HXZeroRect, HXCompositeSourceOver, 1);
    }
    // The same at natural size with the image's origin at `point`.
    void drawAtPoint(
        const HXPoint& point, const HXRect& fromRect, HXCompositingOperation op, double fraction) const;
    // Copies the image (or its part `fromRect`) with its bottom-left corner at `point`, upright and at
    // natural size whatever the context's scale, rotation or flipping: only the position is transformed.
    void compositeToPoint(const HXPoint& point, HXCompositingOperation op, double fraction = 1) const;
    void compositeToPoint(
        const HXPoint& point, const HXRect& fromRect, HXCompositingOperation op, double fraction = 1) const;
    // Repeats the image at natural size across `rect` starting at its origin; the last row and column are
    // cut. Draws nothing for an image without area.
    void drawTiledInRect(const HXRect& rect, HXCompositingOperation op, double fraction = 1) const;

    // Internal; use the factory functions.
    HXImage() = default;

private:
    void load() const;

    std::string _name;
    std::string _path; // referenced file, read on first use
    mutable bool _loaded = true;
    mutable std::shared_ptr<HXBitmapImageRep> _rep;
    std::optional<HXSize> _size; // set explicitly
    bool _flipped = false;
    struct Focus {
        std::shared_ptr<HXGraphicsContext> previous;
        bool pushed = false;
    };
    std::vector<Focus> _focus;
};
