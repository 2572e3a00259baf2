#include "platform/drawing/image.h"

#include "platform/basekit/bundle.h"
#include "platform/drawing/drawing_internal.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace {

std::mutex namedImagesMutex;
std::map<std::string, std::shared_ptr<HXImage>>& namedImages()
{
    static std::map<std::string, std::shared_ptr<HXImage>> images;
    return images;
}

std::string stripExtension(const std::string& name)
{
    auto slash = name.find_last_of('/');
    auto dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash))
        return name;
    return name.substr(0, dot);
}

// Draws the pixels `src` (pixel coordinates, row 0 at the top) of `surface` into `dst` in user space,
// row 0 at the min-Y edge of `dst` when `topDown`, else at its max-Y edge.
void paintPixels(HXGraphicsContext& context, cairo_surface_t* surface, const HXRect& src, const HXRect& dst,
    bool topDown, HXCompositingOperation op, double fraction)
{
    if (HXIsEmptyRect(src) || HXIsEmptyRect(dst) || !std::isfinite(dst.origin.x)
        || !std::isfinite(dst.origin.y))
        return;
    double fx = dst.size.width / src.size.width, fy = dst.size.height / src.size.height;
    cairo_matrix_t toUser;
    if (topDown)
        cairo_matrix_init(
            &toUser, fx, 0, 0, fy, dst.origin.x - src.origin.x * fx, dst.origin.y - src.origin.y * fy);
    else
        cairo_matrix_init(
            &toUser, fx, 0, 0, -fy, dst.origin.x - src.origin.x * fx, HXMaxY(dst) + src.origin.y * fy);
    if (cairo_matrix_invert(&toUser) != CAIRO_STATUS_SUCCESS)
        return;
    // Sample only the pixels of the source rectangle (taken outwards to whole pixels): when a part of an
    // image is scaled, its neighbours in the image must not bleed in at the edges.
    int imageW = cairo_image_surface_get_width(surface), imageH = cairo_image_surface_get_height(surface);
    double x0 = std::clamp(std::floor(src.origin.x + 1e-6), 0.0, double(imageW));
    double y0 = std::clamp(std::floor(src.origin.y + 1e-6), 0.0, double(imageH));
    double x1 = std::clamp(std::ceil(HXMaxX(src) - 1e-6), 0.0, double(imageW));
    double y1 = std::clamp(std::ceil(HXMaxY(src) - 1e-6), 0.0, double(imageH));
    if (x1 <= x0 || y1 <= y0)
        return;
    cairo_surface_t* part = cairo_surface_create_for_rectangle(surface, x0, y0, x1 - x0, y1 - y0);
    cairo_matrix_t userToImage = toUser, shift, userToPart; // inverted above
    cairo_matrix_init_translate(&shift, -x0, -y0);
    cairo_matrix_multiply(&userToPart, &userToImage, &shift);
    cairo_t* cr = context.cairo();
    cairo_save(cr);
    context.clipToRect(dst);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
    cairo_pattern_set_matrix(pattern, &userToPart);
    cairo_pattern_set_filter(pattern, hx_drawing::cairoFilter(context.imageInterpolation()));
    // Pad rather than fade to transparent at the image's own edges when scaling.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_set_source(cr, pattern);
    hx_drawing::paintWithOperation(cr, op, fraction);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(part);
    cairo_restore(cr);
}

} // namespace

std::shared_ptr<HXImage> HXImage::imageNamed(const std::string& name)
{
    if (name.empty())
        return nullptr;
    std::string base = stripExtension(name);
    {
        std::lock_guard lock(namedImagesMutex);
        auto& images = namedImages();
        if (auto it = images.find(name); it != images.end())
            return it->second;
        if (auto it = images.find(base); it != images.end())
            return it->second;
    }
    auto bundle = HXBundle::mainBundle();
    if (!bundle)
        return nullptr;
    std::string path;
    for (const auto& type : imageUnfilteredFileTypes()) {
        path = bundle->pathForResource(base, type);
        if (!path.empty())
            break;
    }
    if (path.empty())
        return nullptr;
    auto image = initByReferencingFile(path);
    std::lock_guard lock(namedImagesMutex);
    auto& images = namedImages();
    // Another thread may have registered the name meanwhile: keep one object per name.
    auto [it, inserted] = images.emplace(base, image);
    if (inserted)
        image->_name = base;
    if (name != base)
        images.emplace(name, it->second);
    return it->second;
}

std::vector<std::string> HXImage::imageUnfilteredFileTypes()
{
    return { "png" };
}

std::shared_ptr<HXImage> HXImage::initWithContentsOfFile(const std::string& path, HXError* error)
{
    auto rep = HXBitmapImageRep::imageRepWithContentsOfFile(path, error);
    if (!rep)
        return nullptr;
    return initWithBitmapImageRep(std::move(rep));
}

std::shared_ptr<HXImage> HXImage::initByReferencingFile(const std::string& path)
{
    auto image = std::make_shared<HXImage>();
    image->_path = path;
    image->_loaded = false;
    return image;
}

std::shared_ptr<HXImage> HXImage::initWithData(const HXData& data, HXError* error)
{
    auto rep = HXBitmapImageRep::imageRepWithData(data, error);
    if (!rep)
        return nullptr;
    return initWithBitmapImageRep(std::move(rep));
}

std::shared_ptr<HXImage> HXImage::initWithSize(const HXSize& size)
{
    auto image = std::make_shared<HXImage>();
    image->_size = HXSize { std::isfinite(size.width) ? std::max(0.0, size.width) : 0,
        std::isfinite(size.height) ? std::max(0.0, size.height) : 0 };
    return image;
}

std::shared_ptr<HXImage> HXImage::initWithBitmapImageRep(std::shared_ptr<HXBitmapImageRep> rep)
{
    if (!rep)
        return nullptr;
    auto image = std::make_shared<HXImage>();
    image->_rep = std::move(rep);
    return image;
}

std::shared_ptr<HXImage> HXImage::copy() const
{
    load();
    auto image = std::make_shared<HXImage>();
    image->_rep = _rep ? _rep->copy() : nullptr;
    image->_size = _size;
    image->_flipped = _flipped;
    return image;
}

bool HXImage::setName(const std::string& name)
{
    std::lock_guard lock(namedImagesMutex);
    auto& images = namedImages();
    if (!name.empty()) {
        auto it = images.find(name);
        if (it != images.end() && it->second.get() != this)
            return false;
    }
    // Drop the old registrations of this image (under its name and any alias pointing at it).
    for (auto it = images.begin(); it != images.end();) {
        if (it->second.get() == this && it->first != name)
            it = images.erase(it);
        else
            ++it;
    }
    _name = name;
    if (!name.empty())
        images[name] = shared_from_this();
    return true;
}

void HXImage::load() const
{
    if (_loaded)
        return;
    _loaded = true;
    _rep = HXBitmapImageRep::imageRepWithContentsOfFile(_path);
}

HXSize HXImage::size() const
{
    if (_size)
        return *_size;
    load();
    return _rep ? _rep->size() : HXZeroSize;
}

void HXImage::setSize(const HXSize& size)
{
    _size = size;
}

bool HXImage::isValid() const
{
    load();
    return _rep || (_size && _size->width > 0 && _size->height > 0);
}

std::shared_ptr<HXBitmapImageRep> HXImage::bitmapImageRep() const
{
    load();
    if (!_rep && _size && _size->width > 0 && _size->height > 0) {
        _rep = HXBitmapImageRep::initWithSize(int(std::ceil(_size->width)), int(std::ceil(_size->height)));
        if (_rep)
            _rep->setSize(*_size);
    }
    return _rep;
}

void HXImage::setBitmapImageRep(std::shared_ptr<HXBitmapImageRep> rep)
{
    _loaded = true;
    _rep = std::move(rep);
}

cairo_surface_t* HXImage::cairoSurface() const
{
    auto rep = bitmapImageRep();
    return rep ? rep->cairoSurface() : nullptr;
}

void HXImage::lockFocus()
{
    Focus focus { HXGraphicsContext::currentContext(), true };
    std::shared_ptr<HXGraphicsContext> context;
    HXSize s = size();
    if (auto rep = bitmapImageRep(); rep && s.width > 0 && s.height > 0) {
        double scale = rep->pixelsWide() / s.width;
        context = HXGraphicsContext::graphicsContextWithSurface(rep->cairoSurface(), scale, _flipped, s);
    }
    if (!context) {
        // Nothing to draw into: a one-pixel scratch context clipped to nothing keeps callers simple.
        context = HXGraphicsContext::graphicsContextWithImageSize(1, 1);
        if (context)
            context->clipToRect(HXZeroRect);
    }
    _focus.push_back(std::move(focus));
    HXGraphicsContext::setCurrentContext(std::move(context));
}

void HXImage::unlockFocus()
{
    if (_focus.empty())
        return;
    Focus focus = std::move(_focus.back());
    _focus.pop_back();
    if (auto current = HXGraphicsContext::currentContext())
        current->flushGraphics();
    HXGraphicsContext::setCurrentContext(std::move(focus.previous));
}

void HXImage::drawInto(const std::function<void()>& draw)
{
    lockFocus();
    try {
        if (draw)
            draw();
    } catch (...) {
        unlockFocus();
        throw;
    }
    unlockFocus();
}

void HXImage::drawInRect(
    const HXRect& dstRect, const HXRect& fromRect, HXCompositingOperation op, double fraction) const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    auto rep = bitmapImageRep();
    HXSize s = size();
    if (!rep || s.width <= 0 || s.height <= 0)
        return;
    HXRect whole { {}, s };
    HXRect src = HXEqualRects(fromRect, HXZeroRect) ? whole : fromRect;
    HXRect cut = HXIntersectionRect(src, whole);
    if (HXIsEmptyRect(cut) || HXIsEmptyRect(src))
        return;
    // The destination shrinks with the source.
    double fx = dstRect.size.width / src.size.width, fy = dstRect.size.height / src.size.height;
    HXRect dst { { dstRect.origin.x + (cut.origin.x - src.origin.x) * fx,
                     dstRect.origin.y + (cut.origin.y - src.origin.y) * fy },
        { cut.size.width * fx, cut.size.height * fy } };
    // Image points to pixels: an unflipped image has its y axis upwards, pixel rows run downwards.
    double sx = rep->pixelsWide() / s.width, sy = rep->pixelsHigh() / s.height;
    HXRect pixels { { cut.origin.x * sx, _flipped ? cut.origin.y * sy : (s.height - HXMaxY(cut)) * sy },
        { cut.size.width * sx, cut.size.height * sy } };
    paintPixels(*context, rep->cairoSurface(), pixels, dst, _flipped, op, fraction);
}

void HXImage::drawAtPoint(
    const HXPoint& point, const HXRect& fromRect, HXCompositingOperation op, double fraction) const
{
    HXSize s = size();
    HXRect src = HXEqualRects(fromRect, HXZeroRect) ? HXRect { {}, s } : fromRect;
    drawInRect({ point, src.size }, src, op, fraction);
}

void HXImage::compositeToPoint(const HXPoint& point, HXCompositingOperation op, double fraction) const
{
    compositeToPoint(point, HXZeroRect, op, fraction);
}

void HXImage::compositeToPoint(
    const HXPoint& point, const HXRect& fromRect, HXCompositingOperation op, double fraction) const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    auto rep = bitmapImageRep();
    HXSize s = size();
    if (!rep || s.width <= 0 || s.height <= 0)
        return;
    HXRect whole { {}, s };
    HXRect src = HXEqualRects(fromRect, HXZeroRect) ? whole : HXIntersectionRect(fromRect, whole);
    if (HXIsEmptyRect(src))
        return;
    double sx = rep->pixelsWide() / s.width, sy = rep->pixelsHigh() / s.height;
    HXRect pixels { { src.origin.x * sx, _flipped ? src.origin.y * sy : (s.height - HXMaxY(src)) * sy },
        { src.size.width * sx, src.size.height * sy } };
    // Only the position follows the user transform; the image lands upright in device space.
    cairo_t* cr = context->cairo();
    double dx = point.x, dy = point.y;
    cairo_user_to_device(cr, &dx, &dy);
    double w = src.size.width * context->scale(), h = src.size.height * context->scale();
    cairo_save(cr);
    cairo_identity_matrix(cr);
    paintPixels(*context, rep->cairoSurface(), pixels, { { dx, dy - h }, { w, h } }, true, op, fraction);
    cairo_restore(cr);
}

void HXImage::drawTiledInRect(const HXRect& rect, HXCompositingOperation op, double fraction) const
{
    auto context = HXGraphicsContext::currentContext();
    auto rep = bitmapImageRep();
    HXSize s = size();
    if (!context || !rep || !(s.width > 0) || !(s.height > 0) || HXIsEmptyRect(rect))
        return;
    // One repeating pattern instead of a loop over tiles: no tile count to get wrong.
    double sx = rep->pixelsWide() / s.width, sy = rep->pixelsHigh() / s.height;
    cairo_matrix_t toUser;
    if (_flipped)
        cairo_matrix_init(&toUser, 1 / sx, 0, 0, 1 / sy, rect.origin.x, rect.origin.y);
    else
        cairo_matrix_init(&toUser, 1 / sx, 0, 0, -1 / sy, rect.origin.x, rect.origin.y + s.height);
    if (cairo_matrix_invert(&toUser) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    context->clipToRect(rect);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(rep->cairoSurface());
    cairo_pattern_set_matrix(pattern, &toUser);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, hx_drawing::cairoFilter(context->imageInterpolation()));
    cairo_set_source(cr, pattern);
    hx_drawing::paintWithOperation(cr, op, fraction);
    cairo_pattern_destroy(pattern);
    cairo_restore(cr);
}
