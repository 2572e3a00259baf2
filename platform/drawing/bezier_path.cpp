#include "platform/drawing/bezier_path.h"

#include "platform/drawing/drawing_internal.h"
#include "platform/drawing/graphics_context.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Control-point distance for a quarter ellipse drawn with one cubic curve.
constexpr double kappa = 0.5522847498307936;

bool finite(const HXPoint& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

HXPoint add(const HXPoint& a, const HXPoint& b)
{
    return { a.x + b.x, a.y + b.y };
}

// Extremes of one coordinate of a cubic curve over 0 ≤ t ≤ 1.
void cubicExtremes(double p0, double p1, double p2, double p3, double& lo, double& hi)
{
    auto at = [&](double t) {
        double u = 1 - t;
        return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
    };
    auto consider = [&](double t) {
        if (t > 0 && t < 1) {
            double v = at(t);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    lo = std::min(lo, std::min(p0, p3));
    hi = std::max(hi, std::max(p0, p3));
    // The derivative over 3 is a·t² + b·t + c.
    double a = -p0 + 3 * p1 - 3 * p2 + p3;
    double b = 2 * (p0 - 2 * p1 + p2);
    double c = p1 - p0;
    if (std::abs(a) < 1e-12) {
        if (std::abs(b) > 1e-12)
            consider(-c / b);
        return;
    }
    double disc = b * b - 4 * a * c;
    if (disc < 0)
        return;
    double sq = std::sqrt(disc);
    consider((-b + sq) / (2 * a));
    consider((-b - sq) / (2 * a));
}

} // namespace

HXBezierPath HXBezierPath::bezierPathWithRect(const HXRect& rect)
{
    HXBezierPath p;
    p.appendBezierPathWithRect(rect);
    return p;
}

HXBezierPath HXBezierPath::bezierPathWithOvalInRect(const HXRect& rect)
{
    HXBezierPath p;
    p.appendBezierPathWithOvalInRect(rect);
    return p;
}

HXBezierPath HXBezierPath::bezierPathWithRoundedRect(const HXRect& rect, double xRadius, double yRadius)
{
    HXBezierPath p;
    p.appendBezierPathWithRoundedRect(rect, xRadius, yRadius);
    return p;
}

void HXBezierPath::fillRect(const HXRect& rect)
{
    bezierPathWithRect(rect).fill();
}
void HXBezierPath::strokeRect(const HXRect& rect)
{
    bezierPathWithRect(rect).stroke();
}

void HXBezierPath::strokeLineFromPoint(const HXPoint& from, const HXPoint& to)
{
    HXBezierPath p;
    p.moveToPoint(from);
    p.lineToPoint(to);
    p.stroke();
}

void HXBezierPath::clipRect(const HXRect& rect)
{
    HXRectClip(rect);
}

void HXBezierPath::moveToPoint(const HXPoint& p)
{
    // Two moves in a row: the second replaces the first, which would draw nothing.
    if (!_elements.empty() && _elements.back().kind == HXMoveToBezierPathElement)
        _elements.back().points[0] = p;
    else
        _elements.push_back({ HXMoveToBezierPathElement, { p } });
    _current = p;
    _subpathStart = p;
}

void HXBezierPath::ensureCurrentPoint()
{
    if (!_current)
        moveToPoint(HXZeroPoint);
}

void HXBezierPath::lineToPoint(const HXPoint& p)
{
    if (!_current) {
        moveToPoint(p);
        return;
    }
    if (_elements.back().kind == HXClosePathBezierPathElement)
        _elements.push_back({ HXMoveToBezierPathElement, { *_current } });
    _elements.push_back({ HXLineToBezierPathElement, { p } });
    _current = p;
}

void HXBezierPath::curveToPoint(const HXPoint& end, const HXPoint& cp1, const HXPoint& cp2)
{
    if (!_current)
        moveToPoint(cp1);
    if (_elements.back().kind == HXClosePathBezierPathElement)
        _elements.push_back({ HXMoveToBezierPathElement, { *_current } });
    _elements.push_back({ HXCurveToBezierPathElement, { cp1, cp2, end } });
    _current = end;
}

void HXBezierPath::closePath()
{
    if (!_current || _elements.back().kind == HXClosePathBezierPathElement)
        return;
    _elements.push_back({ HXClosePathBezierPathElement, {} });
    _current = _subpathStart;
}

void HXBezierPath::relativeMoveToPoint(const HXPoint& d)
{
    moveToPoint(add(_current.value_or(HXZeroPoint), d));
}

void HXBezierPath::relativeLineToPoint(const HXPoint& d)
{
    ensureCurrentPoint();
    lineToPoint(add(*_current, d));
}

void HXBezierPath::relativeCurveToPoint(const HXPoint& end, const HXPoint& cp1, const HXPoint& cp2)
{
    ensureCurrentPoint();
    HXPoint o = *_current;
    curveToPoint(add(o, end), add(o, cp1), add(o, cp2));
}

void HXBezierPath::appendBezierPath(const HXBezierPath& other)
{
    for (const auto& e : other._elements) {
        switch (e.kind) {
        case HXMoveToBezierPathElement:
            moveToPoint(e.points[0]);
            break;
        case HXLineToBezierPathElement:
            lineToPoint(e.points[0]);
            break;
        case HXCurveToBezierPathElement:
            curveToPoint(e.points[2], e.points[0], e.points[1]);
            break;
        case HXClosePathBezierPathElement:
            closePath();
            break;
        }
    }
}

void HXBezierPath::appendBezierPathWithRect(const HXRect& r)
{
    moveToPoint(r.origin);
    lineToPoint({ HXMaxX(r), HXMinY(r) });
    lineToPoint({ HXMaxX(r), HXMaxY(r) });
    lineToPoint({ HXMinX(r), HXMaxY(r) });
    closePath();
}

void HXBezierPath::appendBezierPathWithOvalInRect(const HXRect& r)
{
    double cx = HXMidX(r), cy = HXMidY(r), rx = r.size.width / 2, ry = r.size.height / 2;
    double kx = rx * kappa, ky = ry * kappa;
    moveToPoint({ cx + rx, cy });
    curveToPoint({ cx, cy + ry }, { cx + rx, cy + ky }, { cx + kx, cy + ry });
    curveToPoint({ cx - rx, cy }, { cx - kx, cy + ry }, { cx - rx, cy + ky });
    curveToPoint({ cx, cy - ry }, { cx - rx, cy - ky }, { cx - kx, cy - ry });
    curveToPoint({ cx + rx, cy }, { cx + kx, cy - ry }, { cx + rx, cy - ky });
    closePath();
}

void HXBezierPath::appendBezierPathWithRoundedRect(const HXRect& r, double xRadius, double yRadius)
{
    double w = std::abs(r.size.width), h = std::abs(r.size.height);
    double rx = std::isnan(xRadius) ? 0 : std::clamp(xRadius, 0.0, w / 2);
    double ry = std::isnan(yRadius) ? 0 : std::clamp(yRadius, 0.0, h / 2);
    if (rx == 0 || ry == 0) {
        appendBezierPathWithRect(r);
        return;
    }
    double x0 = std::min(HXMinX(r), HXMaxX(r)), y0 = std::min(HXMinY(r), HXMaxY(r));
    double x1 = x0 + w, y1 = y0 + h;
    double kx = rx * kappa, ky = ry * kappa;
    moveToPoint({ x0 + rx, y0 });
    lineToPoint({ x1 - rx, y0 });
    curveToPoint({ x1, y0 + ry }, { x1 - rx + kx, y0 }, { x1, y0 + ry - ky });
    lineToPoint({ x1, y1 - ry });
    curveToPoint({ x1 - rx, y1 }, { x1, y1 - ry + ky }, { x1 - rx + kx, y1 });
    lineToPoint({ x0 + rx, y1 });
    curveToPoint({ x0, y1 - ry }, { x0 + rx - kx, y1 }, { x0, y1 - ry + ky });
    lineToPoint({ x0, y0 + ry });
    curveToPoint({ x0 + rx, y0 }, { x0, y0 + ry - ky }, { x0 + rx - kx, y0 });
    closePath();
}

void HXBezierPath::appendBezierPathWithArcWithCenter(
    const HXPoint& center, double radius, double startAngle, double endAngle, bool clockwise)
{
    if (!std::isfinite(startAngle) || !std::isfinite(endAngle) || !std::isfinite(radius))
        return;
    double start = startAngle, end = endAngle;
    if (!clockwise) {
        while (end < start)
            end += 360;
        end = std::min(end, start + 360);
    } else {
        while (end > start)
            end -= 360;
        end = std::max(end, start - 360);
    }
    auto pointAt = [&](double degrees) {
        double a = degrees * std::numbers::pi / 180;
        return HXPoint { center.x + radius * std::cos(a), center.y + radius * std::sin(a) };
    };
    HXPoint first = pointAt(start);
    if (_current)
        lineToPoint(first);
    else
        moveToPoint(first);
    double sweep = end - start;
    int segments = std::max(1, int(std::ceil(std::abs(sweep) / 90.0 - 1e-9)));
    double step = sweep / segments;
    for (int i = 0; i < segments; ++i) {
        double a0 = (start + step * i) * std::numbers::pi / 180;
        double a1 = (start + step * (i + 1)) * std::numbers::pi / 180;
        double k = 4.0 / 3.0 * std::tan((a1 - a0) / 4) * radius;
        HXPoint p0 = { center.x + radius * std::cos(a0), center.y + radius * std::sin(a0) };
        HXPoint p3 = { center.x + radius * std::cos(a1), center.y + radius * std::sin(a1) };
        HXPoint c1 = { p0.x - k * std::sin(a0), p0.y + k * std::cos(a0) };
        HXPoint c2 = { p3.x + k * std::sin(a1), p3.y - k * std::cos(a1) };
        curveToPoint(p3, c1, c2);
    }
}

void HXBezierPath::removeAllPoints()
{
    _elements.clear();
    _current.reset();
    _subpathStart.reset();
}

std::optional<HXPoint> HXBezierPath::currentPoint() const
{
    return _current;
}

HXBezierPathElement HXBezierPath::elementAtIndex(int index, HXPoint* points) const
{
    if (index < 0 || index >= int(_elements.size()))
        return HXClosePathBezierPathElement;
    const auto& e = _elements[size_t(index)];
    if (points) {
        int n = e.kind == HXCurveToBezierPathElement ? 3 : (e.kind == HXClosePathBezierPathElement ? 0 : 1);
        std::copy(e.points, e.points + n, points);
    }
    return e.kind;
}

void HXBezierPath::transformUsingAffineTransform(const HXAffineTransform& t)
{
    for (auto& e : _elements) {
        for (auto& p : e.points)
            p = t.transformPoint(p);
    }
    if (_current)
        _current = t.transformPoint(*_current);
    if (_subpathStart)
        _subpathStart = t.transformPoint(*_subpathStart);
}

HXRect HXBezierPath::bounds() const
{
    if (_elements.empty())
        return HXZeroRect;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    auto include = [&](const HXPoint& p) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    };
    HXPoint last {};
    for (const auto& e : _elements) {
        switch (e.kind) {
        case HXMoveToBezierPathElement:
        case HXLineToBezierPathElement:
            include(e.points[0]);
            last = e.points[0];
            break;
        case HXCurveToBezierPathElement:
            cubicExtremes(last.x, e.points[0].x, e.points[1].x, e.points[2].x, minX, maxX);
            cubicExtremes(last.y, e.points[0].y, e.points[1].y, e.points[2].y, minY, maxY);
            last = e.points[2];
            break;
        case HXClosePathBezierPathElement:
            break;
        }
    }
    return { { minX, minY }, { maxX - minX, maxY - minY } };
}

HXRect HXBezierPath::controlPointBounds() const
{
    if (_elements.empty())
        return HXZeroRect;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const auto& e : _elements) {
        int n = e.kind == HXCurveToBezierPathElement ? 3 : (e.kind == HXClosePathBezierPathElement ? 0 : 1);
        for (int i = 0; i < n; ++i) {
            minX = std::min(minX, e.points[i].x);
            maxX = std::max(maxX, e.points[i].x);
            minY = std::min(minY, e.points[i].y);
            maxY = std::max(maxY, e.points[i].y);
        }
    }
    return { { minX, minY }, { maxX - minX, maxY - minY } };
}

bool HXBezierPath::containsPoint(const HXPoint& p) const
{
    if (_elements.empty() || !finite(p))
        return false;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    bool inside = false;
    if (appendToCairo(cr)) {
        cairo_set_fill_rule(
            cr, _windingRule == HXEvenOddWindingRule ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        inside = cairo_in_fill(cr, p.x, p.y);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return inside;
}

void HXBezierPath::setLineWidth(double width)
{
    _lineWidth = std::isfinite(width) ? std::max(0.0, width) : 1;
}

void HXBezierPath::setMiterLimit(double limit)
{
    _miterLimit = std::isfinite(limit) ? std::max(1.0, limit) : 10;
}

void HXBezierPath::setLineDash(const std::vector<double>& pattern, double phase)
{
    bool usable = !pattern.empty();
    bool anyPositive = false;
    for (double d : pattern) {
        if (!std::isfinite(d) || d < 0)
            usable = false;
        anyPositive = anyPositive || d > 0;
    }
    if (usable && anyPositive) {
        _dash = pattern;
        _dashPhase = std::isfinite(phase) ? phase : 0;
    } else {
        _dash.clear();
        _dashPhase = 0;
    }
}

bool HXBezierPath::appendToCairo(cairo_t* cr) const
{
    for (const auto& e : _elements) {
        int n = e.kind == HXCurveToBezierPathElement ? 3 : (e.kind == HXClosePathBezierPathElement ? 0 : 1);
        for (int i = 0; i < n; ++i) {
            if (!finite(e.points[i]))
                return false;
        }
    }
    cairo_new_path(cr);
    for (const auto& e : _elements) {
        switch (e.kind) {
        case HXMoveToBezierPathElement:
            cairo_move_to(cr, e.points[0].x, e.points[0].y);
            break;
        case HXLineToBezierPathElement:
            cairo_line_to(cr, e.points[0].x, e.points[0].y);
            break;
        case HXCurveToBezierPathElement:
            cairo_curve_to(
                cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
            break;
        case HXClosePathBezierPathElement:
            cairo_close_path(cr);
            break;
        }
    }
    return true;
}

void HXBezierPath::applyStrokeSettings(cairo_t* cr) const
{
    double width = _lineWidth;
    if (width == 0) {
        // The thinnest visible line: one device pixel.
        double dx = 1, dy = 0;
        cairo_device_to_user_distance(cr, &dx, &dy);
        width = std::hypot(dx, dy);
    }
    cairo_set_line_width(cr, width);
    static constexpr cairo_line_cap_t caps[]
        = { CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE };
    static constexpr cairo_line_join_t joins[]
        = { CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL };
    cairo_set_line_cap(cr, caps[std::clamp(int(_lineCap), 0, 2)]);
    cairo_set_line_join(cr, joins[std::clamp(int(_lineJoin), 0, 2)]);
    cairo_set_miter_limit(cr, _miterLimit);
    cairo_set_dash(cr, _dash.data(), int(_dash.size()), _dashPhase);
}

void HXBezierPath::fill() const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context || _elements.empty())
        return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    if (appendToCairo(cr)) {
        cairo_set_fill_rule(
            cr, _windingRule == HXEvenOddWindingRule ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_clip(cr);
        context->prepareFill(context->compositingOperation());
        hx_drawing::paintWithOperation(cr, context->compositingOperation());
    }
    cairo_restore(cr);
}

void HXBezierPath::stroke() const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context || _elements.empty())
        return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    context->prepareStroke(context->compositingOperation());
    hx_drawing::drawWithOperation(cr, context->compositingOperation(), [this](cairo_t* c) {
        if (appendToCairo(c)) {
            applyStrokeSettings(c);
            cairo_stroke(c);
        }
    });
    cairo_restore(cr);
}

void HXBezierPath::addClip() const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    cairo_t* cr = context->cairo();
    cairo_fill_rule_t previousRule = cairo_get_fill_rule(cr);
    if (!appendToCairo(cr)) {
        // A path that cannot be drawn clips everything away rather than nothing.
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, 0, 0, 0);
    }
    cairo_set_fill_rule(
        cr, _windingRule == HXEvenOddWindingRule ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr);
    cairo_set_fill_rule(cr, previousRule);
}
