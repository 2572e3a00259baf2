#include "platform/drawing/geometry.h"

#include "pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace {

void expectRectNear(const HXRect& a, const HXRect& b, double eps = 1e-9)
{
    EXPECT_NEAR(a.origin.x, b.origin.x, eps) << a << " vs " << b;
    EXPECT_NEAR(a.origin.y, b.origin.y, eps) << a << " vs " << b;
    EXPECT_NEAR(a.size.width, b.size.width, eps) << a << " vs " << b;
    EXPECT_NEAR(a.size.height, b.size.height, eps) << a << " vs " << b;
}

TEST(Geometry, RectStringFormsRoundTrip)
{
    const HXRect cases[] = {
        HXMakeRect(0, 0, 0, 0),
        HXMakeRect(10, 20, 300, 400),
        HXMakeRect(-5.5, 0.25, 1e-3, 12345.678),
        HXMakeRect(0.1, 0.2, 0.3, 1.0 / 3.0), // needs every digit to come back exactly
        HXMakeRect(-1e9, 1e9, 1e-9, 2.5e15),
    };
    for (const auto& r : cases) {
        std::string s = HXStringFromRect(r);
        EXPECT_EQ(HXRectFromString(s), r) << s;
    }
    EXPECT_EQ(HXStringFromRect(HXMakeRect(10, 20, 300.5, -0.0)), "{{10, 20}, {300.5, 0}}");
    EXPECT_EQ(HXStringFromPoint(HXMakePoint(-3, 4.25)), "{-3, 4.25}");
    EXPECT_EQ(HXPointFromString(HXStringFromPoint(HXMakePoint(0.1, -7))), HXMakePoint(0.1, -7));
    EXPECT_EQ(HXSizeFromString(HXStringFromSize(HXMakeSize(640, 480))), HXMakeSize(640, 480));
}

TEST(Geometry, RectFromStringIsTolerant)
{
    const struct {
        const char* text;
        HXRect expected;
    } cases[] = {
        { "{{1, 2}, {3, 4}}", HXMakeRect(1, 2, 3, 4) },
        { "{{1,2},{3,4}}", HXMakeRect(1, 2, 3, 4) },
        { "  {{ -1.5 , +2 } , { 3e2, .5 }}  ", HXMakeRect(-1.5, 2, 300, 0.5) },
        { "1 2 3 4", HXMakeRect(1, 2, 3, 4) },
        { "{{1, 2}, {3", HXMakeRect(1, 2, 3, 0) }, // truncated: the rest is 0
        { "", HXZeroRect },
        { "garbage", HXZeroRect },
        { "{{a-b, c}, {-, .}}", HXZeroRect },
        { "{{1e999, 2}, {3, nan}}", HXMakeRect(0, 2, 3, 0) }, // out of range: 0, never infinity
        { "{{1, 2}, {3, 4}, {5, 6}}", HXMakeRect(1, 2, 3, 4) },
    };
    for (const auto& c : cases) {
        HXRect r = HXRectFromString(c.text);
        EXPECT_EQ(r, c.expected) << '"' << c.text << '"';
        EXPECT_TRUE(std::isfinite(r.size.width) && std::isfinite(r.origin.x)) << c.text;
    }
}

TEST(Geometry, IntersectionAndUnion)
{
    const struct {
        HXRect a, b, intersection, unionRect;
        bool intersects;
    } cases[] = {
        { HXMakeRect(0, 0, 10, 10), HXMakeRect(5, 5, 10, 10), HXMakeRect(5, 5, 5, 5),
            HXMakeRect(0, 0, 15, 15), true },
        // Touching edges do not overlap.
        { HXMakeRect(0, 0, 10, 10), HXMakeRect(10, 0, 5, 10), HXZeroRect, HXMakeRect(0, 0, 15, 10), false },
        // Contained.
        { HXMakeRect(0, 0, 10, 10), HXMakeRect(2, 3, 4, 5), HXMakeRect(2, 3, 4, 5), HXMakeRect(0, 0, 10, 10),
            true },
        // Apart.
        { HXMakeRect(0, 0, 1, 1), HXMakeRect(5, 5, 1, 1), HXZeroRect, HXMakeRect(0, 0, 6, 6), false },
        // An empty rectangle adds nothing to a union, wherever it lies, and meets nothing.
        { HXMakeRect(100, 100, 0, 50), HXMakeRect(1, 2, 3, 4), HXZeroRect, HXMakeRect(1, 2, 3, 4), false },
        { HXMakeRect(1, 2, 3, 4), HXMakeRect(-50, -50, 10, -1), HXZeroRect, HXMakeRect(1, 2, 3, 4), false },
        { HXMakeRect(5, 5, 0, 0), HXMakeRect(9, 9, 0, 0), HXZeroRect, HXZeroRect, false },
        // Negative coordinates.
        { HXMakeRect(-10, -10, 5, 5), HXMakeRect(-7, -20, 2, 30), HXMakeRect(-7, -10, 2, 5),
            HXMakeRect(-10, -20, 5, 30), true },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HXIntersectionRect(c.a, c.b), c.intersection) << c.a << " ∩ " << c.b;
        EXPECT_EQ(HXIntersectionRect(c.b, c.a), c.intersection) << c.b << " ∩ " << c.a;
        EXPECT_EQ(HXUnionRect(c.a, c.b), c.unionRect) << c.a << " ∪ " << c.b;
        EXPECT_EQ(HXIntersectsRect(c.a, c.b), c.intersects) << c.a << " meets " << c.b;
    }
}

TEST(Geometry, IntegralRect)
{
    const struct {
        HXRect in;
        double scale;
        HXRect out;
    } cases[] = {
        { HXMakeRect(0.5, 0.5, 1, 1), 1, HXMakeRect(0, 0, 2, 2) },
        { HXMakeRect(-0.5, -1.25, 2, 2), 1, HXMakeRect(-1, -2, 3, 3) },
        { HXMakeRect(1, 2, 3, 4), 1, HXMakeRect(1, 2, 3, 4) },
        // Arithmetic noise does not grow a whole pixel.
        { HXMakeRect(0.1 + 0.2 - 0.3, 0, 0.1 * 3 * 10, 1), 1, HXMakeRect(0, 0, 3, 1) },
        { HXMakeRect(0, 0, 0, 5), 1, HXZeroRect }, { HXMakeRect(3, 3, -2, 5), 1, HXZeroRect },
        // On a half-point grid at backing scale 2.
        { HXMakeRect(0.3, 0.6, 1, 1), 2, HXMakeRect(0, 0.5, 1.5, 1.5) },
        { HXMakeRect(0.5, 0.5, 1, 1), 2, HXMakeRect(0.5, 0.5, 1, 1) },
        { HXMakeRect(0.25, 0, 1, 1), 0, HXMakeRect(0, 0, 2, 1) }, // scale 0 counts as 1
    };
    for (const auto& c : cases)
        EXPECT_EQ(HXIntegralRectWithScale(c.in, c.scale), c.out) << c.in << " at " << c.scale;
    EXPECT_EQ(HXIntegralRect(HXMakeRect(0.5, 0.5, 1, 1)), HXMakeRect(0, 0, 2, 2));
}

TEST(Geometry, ContainmentIsHalfOpen)
{
    HXRect r = HXMakeRect(10, 20, 30, 40);
    const struct {
        HXPoint p;
        bool in, inFlipped;
    } cases[] = {
        { { 10, 20 }, true, false }, // min corner: in; in a flipped view the min-Y row belongs above
        { { 39.9, 59.9 }, true, true },
        { { 40, 30 }, false, false }, // max X edge
        { { 20, 60 }, false, true }, // max Y edge
        { { 9.99, 30 }, false, false },
        { { 20, 30 }, true, true },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HXPointInRect(c.p, r), c.in) << c.p.x << "," << c.p.y;
        EXPECT_EQ(HXMouseInRect(c.p, r, false), c.in) << c.p.x << "," << c.p.y;
        EXPECT_EQ(HXMouseInRect(c.p, r, true), c.inFlipped) << c.p.x << "," << c.p.y;
    }
    EXPECT_FALSE(HXPointInRect({ 0, 0 }, HXZeroRect));
    EXPECT_TRUE(HXContainsRect(r, r));
    EXPECT_TRUE(HXContainsRect(r, HXMakeRect(11, 21, 1, 1)));
    EXPECT_FALSE(HXContainsRect(r, HXMakeRect(11, 21, 30, 1)));
    EXPECT_FALSE(HXContainsRect(r, HXMakeRect(11, 21, 0, 0))); // an empty rectangle is in nothing
}

TEST(Geometry, DivideRect)
{
    HXRect r = HXMakeRect(10, 20, 100, 50);
    const struct {
        double amount;
        HXRectEdge edge;
        HXRect slice, remainder;
    } cases[] = {
        { 30, HXMinXEdge, HXMakeRect(10, 20, 30, 50), HXMakeRect(40, 20, 70, 50) },
        { 30, HXMaxXEdge, HXMakeRect(80, 20, 30, 50), HXMakeRect(10, 20, 70, 50) },
        { 10, HXMinYEdge, HXMakeRect(10, 20, 100, 10), HXMakeRect(10, 30, 100, 40) },
        { 10, HXMaxYEdge, HXMakeRect(10, 60, 100, 10), HXMakeRect(10, 20, 100, 40) },
        // The amount is kept within the rectangle.
        { 500, HXMinXEdge, HXMakeRect(10, 20, 100, 50), HXMakeRect(110, 20, 0, 50) },
        { -5, HXMaxYEdge, HXMakeRect(10, 70, 100, 0), HXMakeRect(10, 20, 100, 50) },
    };
    for (const auto& c : cases) {
        HXRect slice, remainder;
        HXDivideRect(r, &slice, &remainder, c.amount, c.edge);
        EXPECT_EQ(slice, c.slice) << c.amount << " from edge " << c.edge;
        EXPECT_EQ(remainder, c.remainder) << c.amount << " from edge " << c.edge;
    }
    HXRect only;
    HXDivideRect(r, &only, nullptr, 5, HXMinXEdge); // either output may be left out
    EXPECT_EQ(only, HXMakeRect(10, 20, 5, 50));
}

TEST(Geometry, InsetAndOffset)
{
    EXPECT_EQ(HXInsetRect(HXMakeRect(0, 0, 10, 10), 2, 3), HXMakeRect(2, 3, 6, 4));
    EXPECT_EQ(HXInsetRect(HXMakeRect(0, 0, 10, 10), -1, -1), HXMakeRect(-1, -1, 12, 12));
    EXPECT_EQ(HXOffsetRect(HXMakeRect(1, 2, 3, 4), -1, 10), HXMakeRect(0, 12, 3, 4));
    EXPECT_EQ(HXInsetRectWithEdgeInsets(HXMakeRect(0, 0, 100, 100), HXEdgeInsetsMake(1, 2, 3, 4)),
        HXMakeRect(2, 3, 94, 96));
}

TEST(AffineTransform, MapsPointsSizesAndRects)
{
    const double s2 = std::sqrt(0.5);
    auto make = [](auto build) {
        HXAffineTransform t;
        build(t);
        return t;
    };
    const struct {
        const char* name;
        HXAffineTransform t;
        HXPoint p, expectedPoint;
        HXSize s, expectedSize;
    } cases[] = {
        { "identity", HXAffineTransform(), { 3, 4 }, { 3, 4 }, { 5, 6 }, { 5, 6 } },
        { "translate", make([](auto& t) { t.translateXBy(10, -5); }), { 1, 1 }, { 11, -4 }, { 2, 3 },
            { 2, 3 } },
        { "scale", make([](auto& t) { t.scaleXBy(2, -3); }), { 1, 1 }, { 2, -3 }, { 2, 3 }, { 4, -9 } },
        { "rotate 90°", make([](auto& t) { t.rotateByDegrees(90); }), { 1, 0 }, { 0, 1 }, { 2, 0 },
            { 0, 2 } },
        { "rotate -270°", make([](auto& t) { t.rotateByDegrees(-270); }), { 1, 0 }, { 0, 1 }, { 0, 1 },
            { -1, 0 } },
        { "rotate 45° in radians", make([](auto& t) { t.rotateByRadians(std::numbers::pi / 4); }), { 1, 0 },
            { s2, s2 }, { 0, 0 }, { 0, 0 } },
        // Operations apply first to the given coordinates: scale, then translate.
        { "translate then scale", make([](auto& t) {
             t.translateXBy(10, 0);
             t.scaleBy(2);
         }),
            { 1, 0 }, { 12, 0 }, { 1, 1 }, { 2, 2 } },
    };
    for (const auto& c : cases) {
        HXPoint p = c.t.transformPoint(c.p);
        EXPECT_NEAR(p.x, c.expectedPoint.x, 1e-12) << c.name;
        EXPECT_NEAR(p.y, c.expectedPoint.y, 1e-12) << c.name;
        HXSize s = c.t.transformSize(c.s);
        EXPECT_NEAR(s.width, c.expectedSize.width, 1e-12) << c.name;
        EXPECT_NEAR(s.height, c.expectedSize.height, 1e-12) << c.name;
    }
    // Quarter turns are exact, so whole-number rectangles stay whole.
    HXAffineTransform quarter;
    quarter.rotateByDegrees(90);
    EXPECT_EQ(quarter.transformRect(HXMakeRect(1, 2, 3, 4)), HXMakeRect(-6, 1, 4, 3));
    // A rotated rectangle gives the box around its corners.
    HXAffineTransform eighth;
    eighth.rotateByDegrees(45);
    expectRectNear(eighth.transformRect(HXMakeRect(0, 0, 1, 1)), HXMakeRect(-s2, 0, 2 * s2, 2 * s2), 1e-12);
    // A mirrored rectangle still has a positive size.
    HXAffineTransform mirror;
    mirror.scaleXBy(-1, 1);
    EXPECT_EQ(HXRectApplyAffineTransform(HXMakeRect(1, 0, 2, 2), mirror), HXMakeRect(-3, 0, 2, 2));
}

TEST(AffineTransform, InvertAppendPrepend)
{
    HXAffineTransform t;
    t.translateXBy(5, 7);
    t.rotateByDegrees(30);
    t.scaleXBy(2, 0.5);
    HXAffineTransform inverse = t;
    ASSERT_TRUE(inverse.invert());
    HXPoint p { 3, -4 };
    HXPoint back = inverse.transformPoint(t.transformPoint(p));
    EXPECT_NEAR(back.x, p.x, 1e-12);
    EXPECT_NEAR(back.y, p.y, 1e-12);
    HXAffineTransform both = t;
    both.appendTransform(inverse);
    for (double v : { both.transformStruct().m11 - 1, both.transformStruct().m12, both.transformStruct().m21,
             both.transformStruct().m22 - 1, both.transformStruct().tX, both.transformStruct().tY })
        EXPECT_NEAR(v, 0, 1e-12);

    // A singular transform refuses to invert and stays as it was.
    HXAffineTransform flat;
    flat.scaleXBy(0, 1);
    HXAffineTransform before = flat;
    EXPECT_FALSE(flat.invert());
    EXPECT_EQ(flat, before);

    // append: applied after; prepend: applied before.
    HXAffineTransform scale, shift;
    scale.scaleBy(2);
    shift.translateXBy(1, 0);
    HXAffineTransform appended = scale, prepended = scale;
    appended.appendTransform(shift);
    prepended.prependTransform(shift);
    EXPECT_EQ(appended.transformPoint({ 1, 0 }), HXMakePoint(3, 0));
    EXPECT_EQ(prepended.transformPoint({ 1, 0 }), HXMakePoint(4, 0));
}

} // namespace
