#include "platform/drawing/region.h"

#include "pixels.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Region, SetOperations)
{
    HXRegion a = HXRegion::regionWithRect(HXMakeRect(0, 0, 10, 10));
    HXRegion b = HXRegion::regionWithRect(HXMakeRect(5, 5, 10, 10));
    const struct {
        const char* name;
        HXRegion result;
        HXRect bounds;
        std::vector<HXPoint> inside, outside;
    } cases[] = {
        { "union", a.unionWith(b), HXMakeRect(0, 0, 15, 15), { { 1, 1 }, { 14, 14 }, { 7, 7 } },
            { { 14, 1 }, { 1, 14 } } },
        { "intersection", a.intersectWith(b), HXMakeRect(5, 5, 5, 5), { { 5, 5 }, { 9.9, 9.9 } },
            { { 4.9, 5 }, { 10, 10 } } },
        { "difference", a.subtract(b), HXMakeRect(0, 0, 10, 10), { { 1, 1 }, { 9, 4 }, { 4, 9 } },
            { { 7, 7 } } },
        { "xor", a.xorWith(b), HXMakeRect(0, 0, 15, 15), { { 1, 1 }, { 14, 14 } }, { { 7, 7 } } },
        { "apart", a.intersectWith(HXRegion::regionWithRect(HXMakeRect(20, 20, 1, 1))), HXZeroRect, {},
            { { 1, 1 } } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result.bounds(), c.bounds) << c.name;
        for (const auto& p : c.inside)
            EXPECT_TRUE(c.result.containsPoint(p)) << c.name << " " << p.x << "," << p.y;
        for (const auto& p : c.outside)
            EXPECT_FALSE(c.result.containsPoint(p)) << c.name << " " << p.x << "," << p.y;
        // The rectangles never overlap and together make the region.
        double area = 0;
        for (const auto& r : c.result.rects())
            area += r.size.width * r.size.height;
        HXRegion rebuilt = HXRegion::regionWithRects(c.result.rects());
        EXPECT_EQ(rebuilt, c.result) << c.name;
        if (std::string(c.name) == "union") {
            EXPECT_EQ(area, 100 + 100 - 25);
        }
    }
    EXPECT_TRUE(HXRegion().isEmpty());
    EXPECT_EQ(HXRegion().bounds(), HXZeroRect);
    EXPECT_TRUE(a.containsRect(HXMakeRect(1, 1, 8, 8)));
    EXPECT_FALSE(a.containsRect(HXMakeRect(1, 1, 10, 8)));
}

TEST(Region, RectanglesAreTakenOutwardsAndBadOnesSkipped)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    HXRegion r = HXRegion::regionWithRects({
        HXMakeRect(0.5, 0.5, 1, 1),
        HXMakeRect(nan, 0, 5, 5),
        HXMakeRect(0, 0, -5, 5),
        HXMakeRect(0, 0, 0, 0),
    });
    EXPECT_EQ(r.rects(), (std::vector<HXRect> { HXMakeRect(0, 0, 2, 2) }));
    // Huge coordinates are clamped rather than overflowing.
    HXRegion huge = HXRegion::regionWithRect(HXMakeRect(-1e300, -1e300, 1e301, 1e301));
    EXPECT_TRUE(huge.containsPoint({ 0, 0 }));
    EXPECT_FALSE(huge.containsPoint({ nan, 0 }));
    EXPECT_FALSE(huge.containsPoint({ 1e300, 0 }));
}

TEST(Region, Transform)
{
    HXRegion r = HXRegion::regionWithRects({ HXMakeRect(0, 0, 2, 1), HXMakeRect(4, 4, 1, 1) });
    HXRegion doubled = r.scaledBy(2, 2);
    EXPECT_EQ(doubled.bounds(), HXMakeRect(0, 0, 10, 10));
    EXPECT_TRUE(doubled.containsPoint({ 3.5, 1.5 }));
    EXPECT_FALSE(doubled.containsPoint({ 5, 5 }));
    EXPECT_EQ(r.offsetBy(10, -1).bounds(), HXMakeRect(10, -1, 5, 5));
    EXPECT_EQ(r.transformedBy(HXAffineTransform()), r);
    // A fractional scale is taken outwards, so nothing of the area is lost.
    EXPECT_EQ(
        HXRegion::regionWithRect(HXMakeRect(1, 1, 1, 1)).scaledBy(1.5, 1.5).bounds(), HXMakeRect(1, 1, 2, 2));

    // Regions of many rectangles are transformed completely.
    std::vector<HXRect> checker;
    for (int y = 0; y < 40; ++y)
        for (int x = y % 2; x < 40; x += 2)
            checker.push_back(HXMakeRect(x, y, 1, 1));
    HXRegion board = HXRegion::regionWithRects(checker);
    ASSERT_GT(board.rectCount(), 512);
    HXRegion big = board.scaledBy(3, 3);
    EXPECT_EQ(big.rectCount(), board.rectCount());
    EXPECT_TRUE(big.containsPoint({ 118, 118 })); // square (39, 39)
    EXPECT_FALSE(big.containsPoint({ 115, 118 })); // square (38, 39)
}

TEST(Region, ClipsDrawing)
{
    CurrentContext px(10, 10, true);
    HXRegion::regionWithRects({ HXMakeRect(0, 0, 2, 2), HXMakeRect(8, 8, 2, 2) }).addClip();
    HXColor::redColor().set();
    HXRectFill(HXMakeRect(0, 0, 10, 10));
    EXPECT_EQ(px(1, 1).a, 255);
    EXPECT_EQ(px(9, 9).a, 255);
    EXPECT_EQ(px(5, 5).a, 0);
}

} // namespace
