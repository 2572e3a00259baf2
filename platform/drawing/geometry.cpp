#include "platform/drawing/geometry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

namespace {

// Numbers in their shortest form that reads back to the same double ("10", "0.5", "-3.25").
std::string formatNumber(double v)
{
    if (v == 0)
        v = 0; // no "-0"
    std::array<char, 64> buf {};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return std::string(buf.data(), res.ptr);
}

// Reads up to N numbers from `s`, skipping whatever stands between them; missing ones stay 0.
template<size_t N> std::array<double, N> scanNumbers(std::string_view s)
{
    std::array<double, N> out {};
    size_t found = 0;
    const char* p = s.data();
    const char* end = s.data() + s.size();
    while (p < end && found < N) {
        char c = *p;
        bool startsNumber = (c >= '0' && c <= '9') || c == '.'
            || ((c == '-' || c == '+') && p + 1 < end && ((p[1] >= '0' && p[1] <= '9') || p[1] == '.'));
        if (!startsNumber) {
            ++p;
            continue;
        }
        const char* q = (c == '+') ? p + 1 : p;
        double v = 0;
        auto res = std::from_chars(q, end, v);
        if (res.ec == std::errc() && res.ptr != q) {
            out[found++] = std::isfinite(v) ? v : 0;
            p = res.ptr;
        } else if (res.ec == std::errc::result_out_of_range && res.ptr != q) {
            out[found++] = 0; // too large to hold: a garbled value, not a huge rectangle
            p = res.ptr;
        } else {
            ++p;
        }
    }
    return out;
}

HXAffineTransformStruct multiply(const HXAffineTransformStruct& a, const HXAffineTransformStruct& b)
{
    // a then b: row vector [x y 1] · A · B.
    return {
        a.m11 * b.m11 + a.m12 * b.m21,
        a.m11 * b.m12 + a.m12 * b.m22,
        a.m21 * b.m11 + a.m22 * b.m21,
        a.m21 * b.m12 + a.m22 * b.m22,
        a.tX * b.m11 + a.tY * b.m21 + b.tX,
        a.tX * b.m12 + a.tY * b.m22 + b.tY,
    };
}

HXRect standardized(const HXRect& r)
{
    HXRect s = r;
    if (s.size.width < 0) {
        s.origin.x += s.size.width;
        s.size.width = -s.size.width;
    }
    if (s.size.height < 0) {
        s.origin.y += s.size.height;
        s.size.height = -s.size.height;
    }
    return s;
}

} // namespace

bool HXIsEmptyRect(const HXRect& r)
{
    return !(r.size.width > 0 && r.size.height > 0);
}

bool HXEqualPoints(const HXPoint& a, const HXPoint& b)
{
    return a == b;
}
bool HXEqualSizes(const HXSize& a, const HXSize& b)
{
    return a == b;
}
bool HXEqualRects(const HXRect& a, const HXRect& b)
{
    return a == b;
}

HXRect HXIntegralRect(const HXRect& r)
{
    return HXIntegralRectWithScale(r, 1);
}

HXRect HXIntegralRectWithScale(const HXRect& r, double scale)
{
    if (HXIsEmptyRect(r))
        return HXZeroRect;
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1;
    // Edges within a millionth of a pixel of a grid line are taken as on it, so that a rectangle that went
    // through arithmetic (1.9999999999 wide) does not grow a whole pixel.
    constexpr double slack = 1e-6;
    double minX = std::floor(HXMinX(r) * scale + slack) / scale;
    double minY = std::floor(HXMinY(r) * scale + slack) / scale;
    double maxX = std::ceil(HXMaxX(r) * scale - slack) / scale;
    double maxY = std::ceil(HXMaxY(r) * scale - slack) / scale;
    if (maxX <= minX || maxY <= minY)
        return HXZeroRect;
    return { { minX, minY }, { maxX - minX, maxY - minY } };
}

HXRect HXInsetRect(const HXRect& r, double dx, double dy)
{
    return { { r.origin.x + dx, r.origin.y + dy }, { r.size.width - 2 * dx, r.size.height - 2 * dy } };
}

HXRect HXInsetRectWithEdgeInsets(const HXRect& r, const HXEdgeInsets& e)
{
    return { { r.origin.x + e.left, r.origin.y + e.bottom },
        { r.size.width - e.left - e.right, r.size.height - e.top - e.bottom } };
}

HXRect HXOffsetRect(const HXRect& r, double dx, double dy)
{
    return { { r.origin.x + dx, r.origin.y + dy }, r.size };
}

HXRect HXUnionRect(const HXRect& a, const HXRect& b)
{
    bool ea = HXIsEmptyRect(a), eb = HXIsEmptyRect(b);
    if (ea && eb)
        return HXZeroRect;
    if (ea)
        return b;
    if (eb)
        return a;
    double minX = std::min(HXMinX(a), HXMinX(b));
    double minY = std::min(HXMinY(a), HXMinY(b));
    double maxX = std::max(HXMaxX(a), HXMaxX(b));
    double maxY = std::max(HXMaxY(a), HXMaxY(b));
    return { { minX, minY }, { maxX - minX, maxY - minY } };
}

HXRect HXIntersectionRect(const HXRect& a, const HXRect& b)
{
    if (HXIsEmptyRect(a) || HXIsEmptyRect(b))
        return HXZeroRect;
    double minX = std::max(HXMinX(a), HXMinX(b));
    double minY = std::max(HXMinY(a), HXMinY(b));
    double maxX = std::min(HXMaxX(a), HXMaxX(b));
    double maxY = std::min(HXMaxY(a), HXMaxY(b));
    if (!(maxX > minX && maxY > minY))
        return HXZeroRect;
    return { { minX, minY }, { maxX - minX, maxY - minY } };
}

bool HXIntersectsRect(const HXRect& a, const HXRect& b)
{
    return !HXIsEmptyRect(HXIntersectionRect(a, b));
}

bool HXPointInRect(const HXPoint& p, const HXRect& r)
{
    return !HXIsEmptyRect(r) && p.x >= HXMinX(r) && p.x < HXMaxX(r) && p.y >= HXMinY(r) && p.y < HXMaxY(r);
}

bool HXMouseInRect(const HXPoint& p, const HXRect& r, bool flipped)
{
    if (HXIsEmptyRect(r) || p.x < HXMinX(r) || p.x >= HXMaxX(r))
        return false;
    if (flipped)
        return p.y > HXMinY(r) && p.y <= HXMaxY(r);
    return p.y >= HXMinY(r) && p.y < HXMaxY(r);
}

bool HXContainsRect(const HXRect& outer, const HXRect& inner)
{
    return !HXIsEmptyRect(inner) && !HXIsEmptyRect(outer) && HXMinX(inner) >= HXMinX(outer)
        && HXMinY(inner) >= HXMinY(outer) && HXMaxX(inner) <= HXMaxX(outer) && HXMaxY(inner) <= HXMaxY(outer);
}

void HXDivideRect(const HXRect& r, HXRect* slice, HXRect* remainder, double amount, HXRectEdge edge)
{
    HXRect s = r, rem = r;
    bool horizontal = edge == HXMinXEdge || edge == HXMaxXEdge;
    double extent = std::max(0.0, horizontal ? r.size.width : r.size.height);
    double a = std::isnan(amount) ? 0 : std::clamp(amount, 0.0, extent);
    switch (edge) {
    case HXMinXEdge:
        s.size.width = a;
        rem.origin.x += a;
        rem.size.width = extent - a;
        break;
    case HXMaxXEdge:
        s.origin.x = HXMinX(r) + extent - a;
        s.size.width = a;
        rem.size.width = extent - a;
        break;
    case HXMinYEdge:
        s.size.height = a;
        rem.origin.y += a;
        rem.size.height = extent - a;
        break;
    case HXMaxYEdge:
        s.origin.y = HXMinY(r) + extent - a;
        s.size.height = a;
        rem.size.height = extent - a;
        break;
    }
    if (slice)
        *slice = s;
    if (remainder)
        *remainder = rem;
}

std::string HXStringFromPoint(const HXPoint& p)
{
    return "{" + formatNumber(p.x) + ", " + formatNumber(p.y) + "}";
}

std::string HXStringFromSize(const HXSize& s)
{
    return "{" + formatNumber(s.width) + ", " + formatNumber(s.height) + "}";
}

std::string HXStringFromRect(const HXRect& r)
{
    return "{" + HXStringFromPoint(r.origin) + ", " + HXStringFromSize(r.size) + "}";
}

HXPoint HXPointFromString(std::string_view s)
{
    auto n = scanNumbers<2>(s);
    return { n[0], n[1] };
}

HXSize HXSizeFromString(std::string_view s)
{
    auto n = scanNumbers<2>(s);
    return { n[0], n[1] };
}

HXRect HXRectFromString(std::string_view s)
{
    auto n = scanNumbers<4>(s);
    return { { n[0], n[1] }, { n[2], n[3] } };
}

// MARK: - HXAffineTransform

void HXAffineTransform::translateXBy(double dx, double dy)
{
    _m = multiply({ 1, 0, 0, 1, dx, dy }, _m);
}

void HXAffineTransform::scaleXBy(double sx, double sy)
{
    _m = multiply({ sx, 0, 0, sy, 0, 0 }, _m);
}

void HXAffineTransform::rotateByDegrees(double degrees)
{
    // Quarter turns come out exact, so that rotated rectangles keep whole-number edges.
    double d = std::fmod(degrees, 360.0);
    if (d < 0)
        d += 360;
    if (d == 0 || d == 90 || d == 180 || d == 270) {
        static constexpr double c[] = { 1, 0, -1, 0 }, s[] = { 0, 1, 0, -1 };
        int q = int(d / 90);
        _m = multiply({ c[q], s[q], -s[q], c[q], 0, 0 }, _m);
        return;
    }
    rotateByRadians(degrees * std::numbers::pi / 180.0);
}

void HXAffineTransform::rotateByRadians(double radians)
{
    double c = std::cos(radians), s = std::sin(radians);
    _m = multiply({ c, s, -s, c, 0, 0 }, _m);
}

bool HXAffineTransform::invert()
{
    double det = _m.m11 * _m.m22 - _m.m12 * _m.m21;
    if (det == 0 || !std::isfinite(det))
        return false;
    HXAffineTransformStruct inv;
    inv.m11 = _m.m22 / det;
    inv.m12 = -_m.m12 / det;
    inv.m21 = -_m.m21 / det;
    inv.m22 = _m.m11 / det;
    inv.tX = (_m.m21 * _m.tY - _m.m22 * _m.tX) / det;
    inv.tY = (_m.m12 * _m.tX - _m.m11 * _m.tY) / det;
    _m = inv;
    return true;
}

void HXAffineTransform::appendTransform(const HXAffineTransform& other)
{
    _m = multiply(_m, other._m);
}

void HXAffineTransform::prependTransform(const HXAffineTransform& other)
{
    _m = multiply(other._m, _m);
}

HXPoint HXAffineTransform::transformPoint(const HXPoint& p) const
{
    return { _m.m11 * p.x + _m.m21 * p.y + _m.tX, _m.m12 * p.x + _m.m22 * p.y + _m.tY };
}

HXSize HXAffineTransform::transformSize(const HXSize& s) const
{
    return { _m.m11 * s.width + _m.m21 * s.height, _m.m12 * s.width + _m.m22 * s.height };
}

HXRect HXAffineTransform::transformRect(const HXRect& r) const
{
    HXRect s = standardized(r);
    HXPoint c[4] = {
        transformPoint(s.origin),
        transformPoint({ HXMaxX(s), HXMinY(s) }),
        transformPoint({ HXMinX(s), HXMaxY(s) }),
        transformPoint({ HXMaxX(s), HXMaxY(s) }),
    };
    double minX = c[0].x, maxX = c[0].x, minY = c[0].y, maxY = c[0].y;
    for (const auto& p : c) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return { { minX, minY }, { maxX - minX, maxY - minY } };
}

HXRect HXRectApplyAffineTransform(const HXRect& r, const HXAffineTransform& t)
{
    return t.transformRect(r);
}
