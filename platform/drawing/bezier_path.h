#pragma once
// HXBezierPath: a path of straight lines and cubic curves, with the settings it is filled and stroked
// with, drawn into the current graphics context. A value: copies are independent.
#include "platform/drawing/geometry.h"

#include <cairo.h>

#include <optional>
#include <vector>

enum HXBezierPathElement : int {
    HXMoveToBezierPathElement = 0,
    HXLineToBezierPathElement = 1,
    HXCurveToBezierPathElement = 2, // points: control 1, control 2, end
    HXClosePathBezierPathElement = 3,
};

enum HXWindingRule : int {
    HXNonZeroWindingRule = 0,
    HXEvenOddWindingRule = 1,
};

enum HXLineCapStyle : int {
    HXButtLineCapStyle = 0,
    HXRoundLineCapStyle = 1,
    HXSquareLineCapStyle = 2,
};

enum HXLineJoinStyle : int {
    HXMiterLineJoinStyle = 0,
    HXRoundLineJoinStyle = 1,
    HXBevelLineJoinStyle = 2,
};

class HXBezierPath {
public:
    HXBezierPath() = default;
    static HXBezierPath bezierPath() { return {}; }
    static HXBezierPath bezierPathWithRect(const HXRect& rect);
    static HXBezierPath bezierPathWithOvalInRect(const HXRect& rect);
    // Corner radii are clamped to half the width and half the height.
    static HXBezierPath bezierPathWithRoundedRect(const HXRect& rect, double xRadius, double yRadius);

    // Immediate drawing in the current context with the default settings (line width 1).
    static void fillRect(const HXRect& rect);
    static void strokeRect(const HXRect& rect);
    static void strokeLineFromPoint(const HXPoint& from, const HXPoint& to);
    static void clipRect(const HXRect& rect);

    // Construction. A line or curve without a current point starts a subpath there; relative moves
    // without one count from (0, 0).
    void moveToPoint(const HXPoint& p);
    void lineToPoint(const HXPoint& p);
    void curveToPoint(const HXPoint& end, const HXPoint& controlPoint1, const HXPoint& controlPoint2);
    void closePath();
    void relativeMoveToPoint(const HXPoint& d);
    void relativeLineToPoint(const HXPoint& d);
    void relativeCurveToPoint(const HXPoint& end, const HXPoint& controlPoint1, const HXPoint& controlPoint2);
    void appendBezierPath(const HXBezierPath& other);
    void appendBezierPathWithRect(const HXRect& rect);
    void appendBezierPathWithOvalInRect(const HXRect& rect);
    void appendBezierPathWithRoundedRect(const HXRect& rect, double xRadius, double yRadius);
    // An arc around `center` from startAngle to endAngle (degrees, counter-clockwise in an unflipped
    // space unless `clockwise`); joined to the current point by a line when there is one.
    void appendBezierPathWithArcWithCenter(
        const HXPoint& center, double radius, double startAngle, double endAngle, bool clockwise = false);
    void removeAllPoints();

    bool isEmpty() const { return _elements.empty(); }
    // The current point, or nullopt when the path has none.
    std::optional<HXPoint> currentPoint() const;
    int elementCount() const { return int(_elements.size()); }
    // The element's kind, and its points (1, or 3 for a curve) copied into `points` when given.
    HXBezierPathElement elementAtIndex(int index, HXPoint* points = nullptr) const;

    void transformUsingAffineTransform(const HXAffineTransform& t);
    // The smallest rectangle around the drawn path (curves by their extremes, not their control points);
    // HXZeroRect for an empty path.
    HXRect bounds() const;
    HXRect controlPointBounds() const;
    // Whether filling the path (with its winding rule; open subpaths closed) covers the point.
    bool containsPoint(const HXPoint& p) const;

    HXWindingRule windingRule() const { return _windingRule; }
    void setWindingRule(HXWindingRule rule) { _windingRule = rule; }
    double lineWidth() const { return _lineWidth; }
    void setLineWidth(double width); // 0 draws the thinnest line the device can show
    HXLineCapStyle lineCapStyle() const { return _lineCap; }
    void setLineCapStyle(HXLineCapStyle style) { _lineCap = style; }
    HXLineJoinStyle lineJoinStyle() const { return _lineJoin; }
    void setLineJoinStyle(HXLineJoinStyle style) { _lineJoin = style; }
    double miterLimit() const { return _miterLimit; }
    void setMiterLimit(double limit);
    // Dash lengths (on, off, on ...) and the offset into them; an empty, negative or all-zero pattern
    // draws solid lines.
    void setLineDash(const std::vector<double>& pattern, double phase);
    const std::vector<double>& lineDash() const { return _dash; }
    double lineDashPhase() const { return _dashPhase; }

    // Drawing in the current context, with its fill or stroke colour and compositing operation.
    void fill() const;
    void stroke() const;
    // Intersects the current context's clip with the path's interior.
    void addClip() const;

    // Puts the path into `cr` as its current path; false (and nothing added) when a coordinate is not a
    // number or infinite.
    bool appendToCairo(cairo_t* cr) const;

private:
    struct Element {
        HXBezierPathElement kind;
        HXPoint points[3];
    };
    void ensureCurrentPoint();
    void applyStrokeSettings(cairo_t* cr) const;

    std::vector<Element> _elements;
    std::optional<HXPoint> _current;
    std::optional<HXPoint> _subpathStart;
    HXWindingRule _windingRule = HXNonZeroWindingRule;
    double _lineWidth = 1;
    HXLineCapStyle _lineCap = HXButtLineCapStyle;
    HXLineJoinStyle _lineJoin = HXMiterLineJoinStyle;
    double _miterLimit = 10;
    std::vector<double> _dash;
    double _dashPhase = 0;
};
