#include "platform/drawing/bezier_path.h"

#include "pixels.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(BezierPath, ContainsPoint)
{
    HXRect box = HXMakeRect(0, 0, 100, 50);
    HXBezierPath rect = HXBezierPath::bezierPathWithRect(box);
    HXBezierPath oval = HXBezierPath::bezierPathWithOvalInRect(box);
    HXBezierPath rounded = HXBezierPath::bezierPathWithRoundedRect(box, 20, 10);
    const struct {
        const char* name;
        const HXBezierPath& path;
        HXPoint p;
        bool inside;
    } cases[] = {
        { "rect centre", rect, { 50, 25 }, true },
        { "rect corner area", rect, { 1, 1 }, true },
        { "rect outside", rect, { 101, 25 }, false },
        { "rect below", rect, { 50, -0.5 }, false },
        { "oval centre", oval, { 50, 25 }, true },
        { "oval corner is outside", oval, { 3, 3 }, false },
        { "oval near right end", oval, { 98, 25 }, true },
        { "oval just beyond top", oval, { 50, 50.5 }, false },
        { "rounded centre", rounded, { 50, 25 }, true },
        { "rounded corner cut away", rounded, { 1, 1 }, false },
        { "rounded corner cut away top right", rounded, { 99, 49 }, false },
        { "rounded straight edge", rounded, { 50, 1 }, true },
        { "rounded side", rounded, { 1, 25 }, true },
        { "not a number", rect, { std::numeric_limits<double>::quiet_NaN(), 1 }, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.path.containsPoint(c.p), c.inside) << c.name;
    EXPECT_FALSE(HXBezierPath().containsPoint({ 0, 0 }));
}

TEST(BezierPath, WindingRules)
{
    // Two squares drawn the same way round, one inside the other: the hole exists only with even-odd.
    HXBezierPath p;
    p.appendBezierPathWithRect(HXMakeRect(0, 0, 30, 30));
    p.appendBezierPathWithRect(HXMakeRect(10, 10, 10, 10));
    EXPECT_TRUE(p.containsPoint({ 15, 15 }));
    p.setWindingRule(HXEvenOddWindingRule);
    EXPECT_FALSE(p.containsPoint({ 15, 15 }));
    EXPECT_TRUE(p.containsPoint({ 5, 5 }));
    // An open subpath is closed for filling.
    HXBezierPath triangle;
    triangle.moveToPoint({ 0, 0 });
    triangle.lineToPoint({ 10, 0 });
    triangle.lineToPoint({ 0, 10 });
    EXPECT_TRUE(triangle.containsPoint({ 2, 2 }));
    EXPECT_FALSE(triangle.containsPoint({ 8, 8 }));
}

TEST(BezierPath, Bounds)
{
    const struct {
        const char* name;
        HXBezierPath path;
        HXRect bounds;
    } cases[] = {
        { "empty", HXBezierPath(), HXZeroRect },
        { "rect", HXBezierPath::bezierPathWithRect(HXMakeRect(-5, 10, 20, 30)), HXMakeRect(-5, 10, 20, 30) },
        { "oval", HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(0, 0, 40, 20)),
            HXMakeRect(0, 0, 40, 20) },
        { "rounded", HXBezierPath::bezierPathWithRoundedRect(HXMakeRect(1, 2, 30, 40), 100, 100),
            HXMakeRect(1, 2, 30, 40) },
    };
    for (const auto& c : cases) {
        HXRect b = c.path.bounds();
        EXPECT_NEAR(b.origin.x, c.bounds.origin.x, 1e-9) << c.name;
        EXPECT_NEAR(b.origin.y, c.bounds.origin.y, 1e-9) << c.name;
        EXPECT_NEAR(b.size.width, c.bounds.size.width, 1e-9) << c.name;
        EXPECT_NEAR(b.size.height, c.bounds.size.height, 1e-9) << c.name;
    }
    // A curve is bounded by the curve, not by its control points.
    HXBezierPath arch;
    arch.moveToPoint({ 0, 0 });
    arch.curveToPoint({ 10, 0 }, { 0, 10 }, { 10, 10 });
    EXPECT_NEAR(arch.bounds().size.height, 7.5, 1e-9);
    EXPECT_EQ(arch.controlPointBounds(), HXMakeRect(0, 0, 10, 10));
}

TEST(BezierPath, RelativeMovesAndTransform)
{
    HXBezierPath p;
    p.moveToPoint({ 10, 10 });
    p.relativeLineToPoint({ 5, 0 });
    p.relativeLineToPoint({ 0, 5 });
    p.closePath();
    EXPECT_EQ(p.currentPoint(), HXMakePoint(10, 10)); // closing returns to the subpath's start
    p.relativeMoveToPoint({ 1, 1 });
    p.relativeCurveToPoint({ 4, 0 }, { 1, 1 }, { 3, 1 });
    EXPECT_EQ(p.currentPoint(), HXMakePoint(15, 11));
    HXPoint pts[3];
    ASSERT_EQ(p.elementAtIndex(p.elementCount() - 1, pts), HXCurveToBezierPathElement);
    EXPECT_EQ(pts[0], HXMakePoint(12, 12));
    EXPECT_EQ(pts[2], HXMakePoint(15, 11));

    HXAffineTransform t;
    t.translateXBy(100, 0);
    t.scaleBy(2);
    p.transformUsingAffineTransform(t);
    EXPECT_EQ(p.currentPoint(), HXMakePoint(130, 22));
    HXPoint first;
    p.elementAtIndex(0, &first);
    EXPECT_EQ(first, HXMakePoint(120, 20));

    // Without a current point, relative moves count from the origin and a line starts a subpath.
    HXBezierPath fresh;
    fresh.relativeLineToPoint({ 3, 4 });
    EXPECT_EQ(fresh.currentPoint(), HXMakePoint(3, 4));
    EXPECT_FALSE(HXBezierPath().currentPoint());
}

TEST(BezierPath, FillAndStrokeDraw)
{
    CurrentContext px(40, 40);
    HXColor::redColor().set();
    HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(0, 0, 20, 20)).fill();
    EXPECT_EQ(px(10, 30), (HXRGBAPixel { 255, 0, 0, 255 })); // the oval's centre (row 30 from the top)
    EXPECT_EQ(px(1, 39), HXRGBAPixel {}); // its bounding box corner stays empty

    HXBezierPath line;
    line.moveToPoint({ 0, 35.5 }); // 3 points wide around y = 35.5: rows 3 to 5 from the top
    line.lineToPoint({ 40, 35.5 });
    line.setLineWidth(3);
    HXColor::blueColor().setStroke();
    line.stroke();
    EXPECT_EQ(px(30, 3), (HXRGBAPixel { 0, 0, 255, 255 }));
    EXPECT_EQ(px(30, 5), (HXRGBAPixel { 0, 0, 255, 255 }));
    EXPECT_EQ(px(30, 2), HXRGBAPixel {});
    EXPECT_EQ(px(30, 6), HXRGBAPixel {});
}

TEST(BezierPath, BadSettingsDoNotBreakTheContext)
{
    CurrentContext px(10, 10);
    HXColor::greenColor().set();
    HXBezierPath bad = HXBezierPath::bezierPathWithRect(HXMakeRect(0, 0, 10, 10));
    bad.setLineDash({ -1, 2 }, 0); // refused: solid
    EXPECT_TRUE(bad.lineDash().empty());
    bad.setLineWidth(std::numeric_limits<double>::quiet_NaN());
    bad.stroke();
    HXBezierPath nan;
    nan.moveToPoint({ 0, 0 });
    nan.lineToPoint({ std::numeric_limits<double>::infinity(), 5 });
    nan.fill();
    nan.stroke();
    // The context still draws afterwards.
    HXRectFill(HXMakeRect(4, 4, 2, 2));
    EXPECT_EQ(px(5, 5), (HXRGBAPixel { 0, 255, 0, 255 }));
    EXPECT_EQ(cairo_status(px.context->cairo()), CAIRO_STATUS_SUCCESS);
}

TEST(BezierPath, DashedStrokeLeavesGaps)
{
    CurrentContext px(40, 4, true);
    HXColor::blackColor().set();
    HXBezierPath line;
    line.moveToPoint({ 0, 2 });
    line.lineToPoint({ 40, 2 });
    line.setLineWidth(2);
    line.setLineDash({ 5, 5 }, 0);
    line.stroke();
    EXPECT_EQ(px(2, 2).a, 255);
    EXPECT_EQ(px(7, 2).a, 0);
    EXPECT_EQ(px(12, 2).a, 255);
}

} // namespace
