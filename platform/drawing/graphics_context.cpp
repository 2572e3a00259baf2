#include "platform/drawing/graphics_context.h"

#include "platform/drawing/bitmap_image_rep.h"
#include "platform/drawing/drawing_internal.h"

#include <cmath>

namespace {

struct SavedCurrent {
    std::shared_ptr<HXGraphicsContext> context;
};

thread_local std::shared_ptr<HXGraphicsContext> currentGraphicsContext;
thread_local std::vector<SavedCurrent> savedCurrentContexts;

HXAffineTransformStruct structFromCairo(const cairo_matrix_t& m)
{
    return { m.xx, m.yx, m.xy, m.yy, m.x0, m.y0 };
}

cairo_matrix_t cairoFromStruct(const HXAffineTransformStruct& s)
{
    cairo_matrix_t m;
    cairo_matrix_init(&m, s.m11, s.m12, s.m21, s.m22, s.tX, s.tY);
    return m;
}

} // namespace

HXGraphicsContext::HXGraphicsContext(cairo_surface_t* surface, double scale, bool flipped, HXSize size)
    : _surface(cairo_surface_reference(surface))
    , _cr(cairo_create(surface))
    , _scale(scale)
    , _flipped(flipped)
    , _size(size)
{
    if (flipped)
        cairo_matrix_init_scale(&_base, scale, scale);
    else
        cairo_matrix_init(&_base, scale, 0, 0, -scale, 0, size.height * scale);
    cairo_set_matrix(_cr, &_base);
}

HXGraphicsContext::~HXGraphicsContext()
{
    cairo_destroy(_cr);
    cairo_surface_flush(_surface);
    cairo_surface_destroy(_surface);
}

std::shared_ptr<HXGraphicsContext> HXGraphicsContext::graphicsContextWithImageSize(
    int pixelWidth, int pixelHeight, double scale, bool flipped)
{
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > HXBitmapImageRep::maximumPixelExtent
        || pixelHeight > HXBitmapImageRep::maximumPixelExtent || !(scale > 0) || !std::isfinite(scale))
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    auto context = graphicsContextWithSurface(surface, scale, flipped);
    cairo_surface_destroy(surface);
    return context;
}

std::shared_ptr<HXGraphicsContext> HXGraphicsContext::graphicsContextWithSurface(
    cairo_surface_t* surface, double scale, bool flipped, std::optional<HXSize> pointSize)
{
    if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || !(scale > 0)
        || !std::isfinite(scale))
        return nullptr;
    HXSize size;
    if (pointSize) {
        size = *pointSize;
    } else if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE) {
        size = { cairo_image_surface_get_width(surface) / scale,
            cairo_image_surface_get_height(surface) / scale };
    } else {
        return nullptr;
    }
    auto context = std::shared_ptr<HXGraphicsContext>(new HXGraphicsContext(surface, scale, flipped, size));
    if (cairo_status(context->_cr) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    return context;
}

std::shared_ptr<HXGraphicsContext> HXGraphicsContext::currentContext()
{
    return currentGraphicsContext;
}

void HXGraphicsContext::setCurrentContext(std::shared_ptr<HXGraphicsContext> context)
{
    currentGraphicsContext = std::move(context);
}

void HXGraphicsContext::saveGraphicsState()
{
    savedCurrentContexts.push_back({ currentGraphicsContext });
    if (currentGraphicsContext)
        currentGraphicsContext->saveState();
}

void HXGraphicsContext::restoreGraphicsState()
{
    if (savedCurrentContexts.empty())
        return;
    auto saved = std::move(savedCurrentContexts.back());
    savedCurrentContexts.pop_back();
    if (saved.context)
        saved.context->restoreState();
    currentGraphicsContext = std::move(saved.context);
}

void HXGraphicsContext::saveState()
{
    _saved.push_back(_state);
    cairo_save(_cr);
}

void HXGraphicsContext::restoreState()
{
    // An unbalanced cairo_restore would put the cairo_t in an error state for good; ignore it instead.
    if (_saved.empty())
        return;
    _state = std::move(_saved.back());
    _saved.pop_back();
    cairo_restore(_cr);
}

HXCompositingOperation HXGraphicsContext::compositingOperation() const
{
    return _state.operation;
}
void HXGraphicsContext::setCompositingOperation(HXCompositingOperation op)
{
    _state.operation = op;
}
HXImageInterpolation HXGraphicsContext::imageInterpolation() const
{
    return _state.interpolation;
}
void HXGraphicsContext::setImageInterpolation(HXImageInterpolation i)
{
    _state.interpolation = i;
}
bool HXGraphicsContext::isDrawingToScreen() const
{
    switch (cairo_surface_get_type(_surface)) {
    case CAIRO_SURFACE_TYPE_PDF:
    case CAIRO_SURFACE_TYPE_PS:
        return false;
    default:
        return true;
    }
}
bool HXGraphicsContext::shouldAntialias() const
{
    return _state.antialias;
}

void HXGraphicsContext::setShouldAntialias(bool antialias)
{
    _state.antialias = antialias;
    cairo_set_antialias(_cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

bool HXGraphicsContext::shouldSmoothFonts() const
{
    return _state.smoothFonts;
}
void HXGraphicsContext::setShouldSmoothFonts(bool smooth)
{
    _state.smoothFonts = smooth;
}

const HXColor& HXGraphicsContext::fillColor() const
{
    return _state.fill;
}
const HXColor& HXGraphicsContext::strokeColor() const
{
    return _state.stroke;
}
void HXGraphicsContext::setFillColor(const HXColor& color)
{
    _state.fill = color;
}
void HXGraphicsContext::setStrokeColor(const HXColor& color)
{
    _state.stroke = color;
}

HXAffineTransform HXGraphicsContext::transform() const
{
    cairo_matrix_t ctm, inverseBase = _base, user;
    cairo_get_matrix(_cr, &ctm);
    cairo_matrix_invert(&inverseBase); // the base is a scale and a flip: never singular
    cairo_matrix_multiply(&user, &ctm, &inverseBase);
    return HXAffineTransform(structFromCairo(user));
}

void HXGraphicsContext::setTransform(const HXAffineTransform& t)
{
    cairo_matrix_t user = cairoFromStruct(t.transformStruct()), ctm;
    if (cairo_matrix_invert(&user) != CAIRO_STATUS_SUCCESS)
        return; // a singular transform would break the context for good
    user = cairoFromStruct(t.transformStruct());
    cairo_matrix_multiply(&ctm, &user, &_base);
    cairo_set_matrix(_cr, &ctm);
}

void HXGraphicsContext::concatTransform(const HXAffineTransform& t)
{
    cairo_matrix_t m = cairoFromStruct(t.transformStruct()), check = m;
    if (cairo_matrix_invert(&check) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_transform(_cr, &m);
}

void HXGraphicsContext::clipToRect(const HXRect& rect)
{
    cairo_new_path(_cr);
    bool finite = std::isfinite(rect.origin.x) && std::isfinite(rect.origin.y)
        && std::isfinite(rect.size.width) && std::isfinite(rect.size.height);
    // An empty or unusable rectangle clips everything away.
    if (finite && !HXIsEmptyRect(rect))
        cairo_rectangle(_cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    else
        cairo_rectangle(_cr, 0, 0, 0, 0);
    cairo_clip(_cr);
}

HXRect HXGraphicsContext::clipBoundingBox() const
{
    double x1, y1, x2, y2;
    cairo_clip_extents(_cr, &x1, &y1, &x2, &y2);
    return { { std::min(x1, x2), std::min(y1, y2) }, { std::abs(x2 - x1), std::abs(y2 - y1) } };
}

void HXGraphicsContext::prepareFill(HXCompositingOperation)
{
    hx_drawing::setSourceColor(_cr, _state.fill);
}

void HXGraphicsContext::prepareStroke(HXCompositingOperation)
{
    hx_drawing::setSourceColor(_cr, _state.stroke);
}

void HXGraphicsContext::fillRect(const HXRect& rect)
{
    fillRect(rect, _state.operation);
}

void HXGraphicsContext::fillRect(const HXRect& rect, HXCompositingOperation op)
{
    if (HXIsEmptyRect(rect))
        return;
    cairo_save(_cr);
    clipToRect(rect);
    prepareFill(op);
    hx_drawing::paintWithOperation(_cr, op);
    cairo_restore(_cr);
}

void HXGraphicsContext::frameRect(const HXRect& rect, double width, HXCompositingOperation op)
{
    if (HXIsEmptyRect(rect) || !(width > 0))
        return;
    // The frame lies inside the rectangle: the rectangle minus its inset, as one even-odd shape.
    cairo_save(_cr);
    cairo_new_path(_cr);
    cairo_rectangle(_cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    HXRect inner = HXInsetRect(rect, width, width);
    if (!HXIsEmptyRect(inner))
        cairo_rectangle(_cr, inner.origin.x, inner.origin.y, inner.size.width, inner.size.height);
    cairo_set_fill_rule(_cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(_cr);
    prepareFill(op);
    hx_drawing::paintWithOperation(_cr, op);
    cairo_restore(_cr);
}

void HXGraphicsContext::flushGraphics()
{
    cairo_surface_flush(_surface);
}

// MARK: - Scope

HXGraphicsContextScope::HXGraphicsContextScope(std::shared_ptr<HXGraphicsContext> context)
    : _previous(HXGraphicsContext::currentContext())
{
    HXGraphicsContext::setCurrentContext(std::move(context));
}

HXGraphicsContextScope::~HXGraphicsContextScope()
{
    HXGraphicsContext::setCurrentContext(std::move(_previous));
}

// MARK: - Functions on the current context

void HXRectFill(const HXRect& rect)
{
    if (auto c = HXGraphicsContext::currentContext())
        c->fillRect(rect);
}

void HXRectFillUsingOperation(const HXRect& rect, HXCompositingOperation op)
{
    if (auto c = HXGraphicsContext::currentContext())
        c->fillRect(rect, op);
}

void HXRectFillList(const std::vector<HXRect>& rects)
{
    if (auto c = HXGraphicsContext::currentContext()) {
        for (const auto& r : rects)
            c->fillRect(r);
    }
}

void HXFrameRect(const HXRect& rect)
{
    HXFrameRectWithWidth(rect, 1);
}

void HXFrameRectWithWidth(const HXRect& rect, double width)
{
    if (auto c = HXGraphicsContext::currentContext())
        c->frameRect(rect, width, c->compositingOperation());
}

void HXFrameRectWithWidthUsingOperation(const HXRect& rect, double width, HXCompositingOperation op)
{
    if (auto c = HXGraphicsContext::currentContext())
        c->frameRect(rect, width, op);
}

void HXRectClip(const HXRect& rect)
{
    if (auto c = HXGraphicsContext::currentContext())
        c->clipToRect(rect);
}

void HXDrawFocusRingAroundRect(const HXRect& rect)
{
    auto c = HXGraphicsContext::currentContext();
    if (!c || HXIsEmptyRect(rect))
        return;
    cairo_t* cr = c->cairo();
    cairo_save(cr);
    cairo_new_path(cr);
    HXRect ring = HXInsetRect(rect, -1.5, -1.5);
    cairo_rectangle(cr, ring.origin.x, ring.origin.y, ring.size.width, ring.size.height);
    cairo_set_line_width(cr, 3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    hx_drawing::setSourceColor(cr, HXColor::keyboardFocusIndicatorColor());
    cairo_stroke(cr);
    cairo_restore(cr);
}

// MARK: - Colours and transforms applied to the current context

void HXColor::set() const
{
    if (auto c = HXGraphicsContext::currentContext()) {
        c->setFillColor(*this);
        c->setStrokeColor(*this);
    }
}

void HXColor::setFill() const
{
    if (auto c = HXGraphicsContext::currentContext())
        c->setFillColor(*this);
}

void HXColor::setStroke() const
{
    if (auto c = HXGraphicsContext::currentContext())
        c->setStrokeColor(*this);
}

void HXAffineTransform::concat() const
{
    if (auto c = HXGraphicsContext::currentContext())
        c->concatTransform(*this);
}

void HXAffineTransform::set() const
{
    if (auto c = HXGraphicsContext::currentContext())
        c->setTransform(*this);
}
