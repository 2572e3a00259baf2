#include "platform/drawing/region.h"

#include "platform/drawing/graphics_context.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double coordinateLimit = double(1 << 30);

// A rectangle of whole numbers around `r`, clamped to the coordinate limit; false when it has no area.
bool toCairoRect(const HXRect& r, cairo_rectangle_int_t* out)
{
    if (HXIsEmptyRect(r) || !std::isfinite(r.origin.x) || !std::isfinite(r.origin.y)
        || !std::isfinite(r.size.width) || !std::isfinite(r.size.height))
        return false;
    double x0 = std::clamp(std::floor(HXMinX(r)), -coordinateLimit, coordinateLimit);
    double y0 = std::clamp(std::floor(HXMinY(r)), -coordinateLimit, coordinateLimit);
    double x1 = std::clamp(std::ceil(HXMaxX(r)), -coordinateLimit, coordinateLimit);
    double y1 = std::clamp(std::ceil(HXMaxY(r)), -coordinateLimit, coordinateLimit);
    if (x1 <= x0 || y1 <= y0)
        return false;
    *out = { int(x0), int(y0), int(x1 - x0), int(y1 - y0) };
    return true;
}

HXRect fromCairoRect(const cairo_rectangle_int_t& r)
{
    return HXMakeRect(r.x, r.y, r.width, r.height);
}

} // namespace

HXRegion::HXRegion()
    : _region(cairo_region_create())
{
}

HXRegion::HXRegion(cairo_region_t* region)
    : _region(region)
{
}

HXRegion::HXRegion(const HXRegion& other)
    : _region(cairo_region_copy(other._region))
{
}

HXRegion::HXRegion(HXRegion&& other) noexcept
    : _region(other._region)
{
    other._region = cairo_region_create();
}

HXRegion& HXRegion::operator=(const HXRegion& other)
{
    if (this != &other) {
        cairo_region_t* copy = cairo_region_copy(other._region);
        cairo_region_destroy(_region);
        _region = copy;
    }
    return *this;
}

HXRegion& HXRegion::operator=(HXRegion&& other) noexcept
{
    std::swap(_region, other._region);
    return *this;
}

HXRegion::~HXRegion()
{
    cairo_region_destroy(_region);
}

HXRegion HXRegion::regionWithRect(const HXRect& rect)
{
    return regionWithRects({ rect });
}

HXRegion HXRegion::regionWithRects(const std::vector<HXRect>& rects)
{
    std::vector<cairo_rectangle_int_t> list;
    list.reserve(rects.size());
    for (const auto& r : rects) {
        cairo_rectangle_int_t c;
        if (toCairoRect(r, &c))
            list.push_back(c);
    }
    if (list.empty())
        return HXRegion();
    return HXRegion(cairo_region_create_rectangles(list.data(), int(list.size())));
}

bool HXRegion::isEmpty() const
{
    return cairo_region_is_empty(_region);
}

HXRect HXRegion::bounds() const
{
    if (isEmpty())
        return HXZeroRect;
    cairo_rectangle_int_t r;
    cairo_region_get_extents(_region, &r);
    return fromCairoRect(r);
}

bool HXRegion::containsPoint(const HXPoint& p) const
{
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::abs(p.x) > coordinateLimit
        || std::abs(p.y) > coordinateLimit)
        return false;
    return cairo_region_contains_point(_region, int(std::floor(p.x)), int(std::floor(p.y)));
}

bool HXRegion::containsRect(const HXRect& r) const
{
    cairo_rectangle_int_t c;
    if (!toCairoRect(r, &c))
        return false;
    return cairo_region_contains_rectangle(_region, &c) == CAIRO_REGION_OVERLAP_IN;
}

std::vector<HXRect> HXRegion::rects() const
{
    std::vector<HXRect> out;
    enumerateRects([&](const HXRect& r) { out.push_back(r); });
    return out;
}

int HXRegion::rectCount() const
{
    return cairo_region_num_rectangles(_region);
}

void HXRegion::enumerateRects(const std::function<void(const HXRect&)>& body) const
{
    int n = cairo_region_num_rectangles(_region);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(_region, i, &r);
        body(fromCairoRect(r));
    }
}

HXRegion HXRegion::unionWith(const HXRegion& other) const
{
    HXRegion result(*this);
    cairo_region_union(result._region, other._region);
    return result;
}

HXRegion HXRegion::intersectWith(const HXRegion& other) const
{
    HXRegion result(*this);
    cairo_region_intersect(result._region, other._region);
    return result;
}

HXRegion HXRegion::subtract(const HXRegion& other) const
{
    HXRegion result(*this);
    cairo_region_subtract(result._region, other._region);
    return result;
}

HXRegion HXRegion::xorWith(const HXRegion& other) const
{
    HXRegion result(*this);
    cairo_region_xor(result._region, other._region);
    return result;
}

HXRegion HXRegion::offsetBy(double dx, double dy) const
{
    HXAffineTransform t;
    t.translateXBy(dx, dy);
    return transformedBy(t);
}

HXRegion HXRegion::scaledBy(double sx, double sy) const
{
    HXAffineTransform t;
    t.scaleXBy(sx, sy);
    return transformedBy(t);
}

HXRegion HXRegion::transformedBy(const HXAffineTransform& t) const
{
    if (t.isIdentity())
        return *this;
    std::vector<HXRect> mapped;
    mapped.reserve(size_t(rectCount()));
    enumerateRects([&](const HXRect& r) { mapped.push_back(t.transformRect(r)); });
    return regionWithRects(mapped);
}

void HXRegion::addClip() const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    cairo_t* cr = context->cairo();
    cairo_new_path(cr);
    enumerateRects(
        [cr](const HXRect& r) { cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height); });
    if (isEmpty())
        cairo_rectangle(cr, 0, 0, 0, 0);
    cairo_fill_rule_t previous = cairo_get_fill_rule(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr);
    cairo_set_fill_rule(cr, previous);
}

bool HXRegion::operator==(const HXRegion& other) const
{
    return cairo_region_equal(_region, other._region);
}
