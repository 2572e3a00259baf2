#include "player/timeline/slider_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace MVPSliderGeometry;

TEST(SliderGeometry, KnobsSitOnTheirPercents)
{
    const struct {
        double width;
        double p;
        HXPoint playhead0, playhead1, start, end;
    } cases[] = {
        { 300, 0, { 2, 6 }, { 2, 2 }, { 0, 1 }, { 8, 1 } },
        { 300, 1, { 285, 6 }, { 289, 2 }, { 283, 1 }, { 291, 1 } },
        { 300, 0.5, { 144, 6 }, { 146, 2 }, { 142, 1 }, { 150, 1 } }, // 141.5 rounds away from zero
        { 117, 0.25, { 27, 6 }, { 28, 2 }, { 25, 1 }, { 33, 1 } },
        { 17, 0.5, { 2, 6 }, { 4, 2 }, { 0, 1 }, { 8, 1 } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(playheadOrigin(c.width, kPlayerStyle, c.p), c.playhead0) << c.width << " " << c.p;
        EXPECT_EQ(playheadOrigin(c.width, kFullScreenStyle, c.p), c.playhead1) << c.width << " " << c.p;
        EXPECT_EQ(startMarkerOrigin(c.width, c.p), c.start) << c.width << " " << c.p;
        EXPECT_EQ(endMarkerOrigin(c.width, c.p), c.end) << c.width << " " << c.p;
        // The markers' facing edges lie half a point either side of the playhead's centre.
        HXPoint playhead = playheadOrigin(c.width, kPlayerStyle, c.p);
        double centre = playhead.x + playheadSize(kPlayerStyle).width / 2;
        EXPECT_EQ(startMarkerOrigin(c.width, c.p).x + kMarkerSize.width, centre + 0.5);
        EXPECT_EQ(endMarkerOrigin(c.width, c.p).x, centre - 0.5);
    }
}

TEST(SliderGeometry, PartsFramesPerStyle)
{
    EXPECT_EQ(trackFrame(300, kPlayerStyle), HXMakeRect(8, 6, 284, 8));
    EXPECT_EQ(trackFrame(300, kFullScreenStyle), HXMakeRect(0, 0, 300, 13));
    EXPECT_EQ(ticksFrame(300), HXMakeRect(8, 1, 284, 7));
    EXPECT_EQ(playheadSize(kPlayerStyle), (HXSize { 13, 12 }));
    EXPECT_EQ(playheadSize(kFullScreenStyle), (HXSize { 9, 9 }));
}

TEST(SliderGeometry, KnobDragMapsTheTravel)
{
    const struct {
        double x, width, percent;
    } cases[] = {
        { 8.5, 300, 0 },
        { 0, 300, 0 },
        { -40, 300, 0 },
        { 291.5, 300, 1 },
        { 400, 300, 1 },
        { 150, 300, 141.5 / 283 },
        // Too narrow for the margins: every position is the start, never a division by zero.
        { 10, 17, 0 },
        { 10, 12, 0 },
        { 10, 0, 0 },
        { 10, -5, 0 },
        { NAN, 300, 0 },
    };
    for (const auto& c : cases) {
        double p = knobDragPercent(c.x, c.width);
        EXPECT_FALSE(std::isnan(p));
        EXPECT_DOUBLE_EQ(p, c.percent) << c.x << " in " << c.width;
    }
}

TEST(SliderGeometry, StripClicksMapTheWidth)
{
    const struct {
        double x, width, percent;
    } cases[] = {
        { 0, 284, 0 },
        { -3, 284, 0 },
        { 71, 284, 0.25 },
        { 284, 284, 1 },
        { 500, 284, 1 },
        { 5, 0, 0 },
        { 5, -8, 0 },
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(stripPercent(c.x, c.width), c.percent) << c.x << " in " << c.width;
}

TEST(SliderGeometry, SelectionBand)
{
    HXRect bounds = HXMakeRect(0, 0, 284, 8);
    const struct {
        double s, d;
        bool inset;
        HXRect band;
    } cases[] = {
        { 0.25, 0.5, false, HXMakeRect(71, 0, 142, 8) },
        { 0.25, 0.5, true, HXMakeRect(71, 1, 142, 6) },
        { 0, 0, false, HXMakeRect(0, 0, 0, 8) },
        { 0.1, 0.1, false, HXMakeRect(28, 0, 29, 8) }, // 28.4 → 28; 56.8 → 57
        { 0.5, 0.5, false, HXMakeRect(142, 0, 142, 8) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(selectionRect(bounds, c.s, c.d, c.inset), c.band) << c.s << " + " << c.d;
    EXPECT_EQ(selectionInvalidationRect(bounds, 0.25, 0.5), HXMakeRect(70, 0, 144, 8));
}

TEST(SliderGeometry, DropSnapsToTheNearestCandidate)
{
    // Track start 8, playhead at 100 (+6), start marker at 150 (+8), end marker at 200, track end 291.
    std::vector<DropCandidate> all { { 8, 0 }, { 106, 0.35 }, { 158, 0.5 }, { 200, 0.7 }, { 291, 1 } };
    const struct {
        double x, percent;
    } cases[] = {
        { 0, 0 },
        { 60, 0.35 },
        { 57, 0 }, // exactly between the start and the playhead: the start wins
        { 105, 0.35 },
        { 160, 0.5 },
        { 179, 0.5 }, // tie between the markers: the earlier wins
        { 190, 0.7 },
        { 290, 1 },
        { 900, 1 },
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(nearestDropCandidate(all, c.x).percent, c.percent) << c.x;
}
