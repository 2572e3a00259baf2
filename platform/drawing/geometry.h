#pragma once
// Points, sizes and rectangles in points (doubles), the functions that work on them, their string forms,
// and HXAffineTransform. Windows and screens have their origin at the bottom left with y growing upwards;
// a view may be flipped (origin top left, y growing downwards). Nothing here knows which: "min Y" is the
// smaller y, whatever the direction of the axis.
#include <optional>
#include <string>
#include <string_view>

struct HXPoint {
    double x = 0;
    double y = 0;
    bool operator==(const HXPoint&) const = default;
};

struct HXSize {
    double width = 0;
    double height = 0;
    bool operator==(const HXSize&) const = default;
};

struct HXRect {
    HXPoint origin;
    HXSize size;
    bool operator==(const HXRect&) const = default;
};

// Insets from each edge, as a view's content margins; top and bottom follow the y axis of whoever uses them
// (top is the max-Y edge in an unflipped space).
struct HXEdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    bool operator==(const HXEdgeInsets&) const = default;
};

// Edges of a rectangle, numbered as stored and passed around: 0 left, 1 bottom (min y), 2 right, 3 top.
enum HXRectEdge : int {
    HXMinXEdge = 0,
    HXMinYEdge = 1,
    HXMaxXEdge = 2,
    HXMaxYEdge = 3,
};

inline constexpr HXPoint HXZeroPoint {};
inline constexpr HXSize HXZeroSize {};
inline constexpr HXRect HXZeroRect {};

constexpr HXPoint HXMakePoint(double x, double y)
{
    return { x, y };
}
constexpr HXSize HXMakeSize(double w, double h)
{
    return { w, h };
}
constexpr HXRect HXMakeRect(double x, double y, double w, double h)
{
    return { { x, y }, { w, h } };
}
constexpr HXEdgeInsets HXEdgeInsetsMake(double top, double left, double bottom, double right)
{
    return { top, left, bottom, right };
}

// Edges and centre. A rectangle with a negative width or height is taken as it stands (max X < min X).
constexpr double HXMinX(const HXRect& r)
{
    return r.origin.x;
}
constexpr double HXMinY(const HXRect& r)
{
    return r.origin.y;
}
constexpr double HXMaxX(const HXRect& r)
{
    return r.origin.x + r.size.width;
}
constexpr double HXMaxY(const HXRect& r)
{
    return r.origin.y + r.size.height;
}
constexpr double HXMidX(const HXRect& r)
{
    return r.origin.x + r.size.width / 2;
}
constexpr double HXMidY(const HXRect& r)
{
    return r.origin.y + r.size.height / 2;
}
constexpr double HXWidth(const HXRect& r)
{
    return r.size.width;
}
constexpr double HXHeight(const HXRect& r)
{
    return r.size.height;
}

// Empty: no area (width or height zero or negative, or not a number).
bool HXIsEmptyRect(const HXRect& r);
bool HXEqualPoints(const HXPoint& a, const HXPoint& b);
bool HXEqualSizes(const HXSize& a, const HXSize& b);
bool HXEqualRects(const HXRect& a, const HXRect& b);

// The smallest rectangle with whole-number edges that contains `r`; an empty rectangle gives HXZeroRect.
HXRect HXIntegralRect(const HXRect& r);
// The same on a grid of 1/scale points (whole device pixels at a backing scale); scale <= 0 counts as 1.
HXRect HXIntegralRectWithScale(const HXRect& r, double scale);
// Shrinks by dx on the left and right and dy at the bottom and top (negative values grow the rectangle).
HXRect HXInsetRect(const HXRect& r, double dx, double dy);
HXRect HXInsetRectWithEdgeInsets(const HXRect& r, const HXEdgeInsets& insets);
HXRect HXOffsetRect(const HXRect& r, double dx, double dy);
// The smallest rectangle containing both; an empty rectangle contributes nothing (two empties give zero).
HXRect HXUnionRect(const HXRect& a, const HXRect& b);
// The common part; HXZeroRect when they do not overlap (rectangles that only touch do not overlap).
HXRect HXIntersectionRect(const HXRect& a, const HXRect& b);
bool HXIntersectsRect(const HXRect& a, const HXRect& b);
// Half-open containment: the min edges belong to the rectangle, the max edges do not.
bool HXPointInRect(const HXPoint& p, const HXRect& r);
// The same for a point in a view's coordinates: in a flipped view the min-Y edge is excluded and the
// max-Y edge included, so the pixel rows a point lies in match what is seen on screen.
bool HXMouseInRect(const HXPoint& p, const HXRect& r, bool flipped);
// True when `inner` is not empty and lies within `outer`.
bool HXContainsRect(const HXRect& outer, const HXRect& inner);
// Cuts `amount` off the `edge` side of `r` into `slice` and leaves the rest in `remainder` (either may be
// null). The amount is clamped to 0 ... the extent of the rectangle along that axis.
void HXDivideRect(const HXRect& r, HXRect* slice, HXRect* remainder, double amount, HXRectEdge edge);

// String forms: "{x, y}", "{w, h}", "{{x, y}, {w, h}}", numbers in their shortest exact form. Parsing is
// tolerant: it reads the numbers in order wherever they stand and takes 0 for any that are missing, so a
// garbled value gives a zero rectangle rather than an error.
std::string HXStringFromPoint(const HXPoint& p);
std::string HXStringFromSize(const HXSize& s);
std::string HXStringFromRect(const HXRect& r);
HXPoint HXPointFromString(std::string_view s);
HXSize HXSizeFromString(std::string_view s);
HXRect HXRectFromString(std::string_view s);

// The six numbers of an affine transform: (x', y') = (m11·x + m21·y + tX, m12·x + m22·y + tY).
struct HXAffineTransformStruct {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, tX = 0, tY = 0;
    bool operator==(const HXAffineTransformStruct&) const = default;
};

// An affine transform as a value. The modifying operations (translate, rotate, scale) act first on the
// coordinates given to the transform, i.e. they are prepended, as a view's drawing code expects: after
// `t.translateXBy(10, 0); t.scaleBy(2);` the point (1, 0) maps to (12, 0).
class HXAffineTransform {
public:
    HXAffineTransform() = default; // identity
    explicit HXAffineTransform(const HXAffineTransformStruct& m)
        : _m(m)
    {
    }
    static HXAffineTransform transform() { return {}; }

    const HXAffineTransformStruct& transformStruct() const { return _m; }
    void setTransformStruct(const HXAffineTransformStruct& m) { _m = m; }
    bool isIdentity() const { return _m == HXAffineTransformStruct {}; }

    void translateXBy(double dx, double dy);
    void scaleBy(double s) { scaleXBy(s, s); }
    void scaleXBy(double sx, double sy);
    void rotateByDegrees(double degrees);
    void rotateByRadians(double radians);
    // Replaces the transform with its inverse; returns false (and leaves it unchanged) when it is singular.
    bool invert();
    // append: `other` is applied after this one; prepend: before it.
    void appendTransform(const HXAffineTransform& other);
    void prependTransform(const HXAffineTransform& other);

    HXPoint transformPoint(const HXPoint& p) const;
    // A size is a difference of points: it gets the linear part only, and may come out negative.
    HXSize transformSize(const HXSize& s) const;
    // The bounding box of the four transformed corners.
    HXRect transformRect(const HXRect& r) const;

    // Applies the transform to the current graphics context (graphics_context.cpp): concat multiplies it
    // into the current transform; set replaces the user transform (the context's base transform, which
    // places the origin and handles flipping and the backing scale, stays).
    void concat() const;
    void set() const;

    bool operator==(const HXAffineTransform&) const = default;

private:
    HXAffineTransformStruct _m;
};

// The bounding box of `r` mapped through `t` (same as t.transformRect(r)).
HXRect HXRectApplyAffineTransform(const HXRect& r, const HXAffineTransform& t);
