// The panorama renderer on pictures made here: which face or column of the pictures each view shows, which
// way up, what the view cannot see, the hot spot under a point and the outlines. (How closely the
// projection matches an independent one is the peer test's.)
#include "platform/mvkit/panorama/panorama_renderer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

using RGB = std::array<int, 3>;

MVImageBuffer solid(int width, int height, RGB colour)
{
    MVImageBuffer b;
    b.width = width;
    b.height = height;
    b.bytesPerRow = width * 4;
    b.pixels.resize(size_t(b.bytesPerRow) * height);
    for (size_t i = 0; i < b.pixels.size(); i += 4) {
        b.pixels[i] = uint8_t(colour[2]);
        b.pixels[i + 1] = uint8_t(colour[1]);
        b.pixels[i + 2] = uint8_t(colour[0]);
        b.pixels[i + 3] = 255;
    }
    return b;
}

void paint(MVImageBuffer& b, int x0, int y0, int x1, int y1, RGB colour)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = b.pixels.data() + size_t(y) * b.bytesPerRow + size_t(x) * 4;
            p[0] = uint8_t(colour[2]), p[1] = uint8_t(colour[1]), p[2] = uint8_t(colour[0]);
        }
}

RGB pixel(const MVImageBuffer& b, int x, int y)
{
    const uint8_t* p = b.pixels.data() + size_t(y) * b.bytesPerRow + size_t(x) * 4;
    return { p[2], p[1], p[0] };
}

constexpr RGB kFront { 200, 0, 0 }, kFrontRight { 100, 0, 0 }, kRight { 0, 200, 0 }, kBack { 0, 0, 200 },
    kLeft { 200, 200, 0 }, kTopUpper { 0, 200, 200 }, kTopLower { 200, 0, 200 }, kBottom { 90, 90, 90 };

// A cube of 16 × 16 faces, each its own colour; the front's right half and the top's lower half differ, so
// that the tests see which way round the faces lie.
MVPanoramaSource cube()
{
    MVPanoramaSource s;
    s.cubic = true;
    s.faces = { solid(16, 16, kFront), solid(16, 16, kRight), solid(16, 16, kBack), solid(16, 16, kLeft),
        solid(16, 16, kTopUpper), solid(16, 16, kBottom) };
    paint(s.faces[0], 8, 0, 16, 16, kFrontRight);
    paint(s.faces[4], 0, 8, 16, 16, kTopLower);
    return s;
}

// A cylinder 360 columns round and 100 rows high: red is half the column, green the row.
MVPanoramaSource cylinder(MVAngleRange pan = { 0, 360 })
{
    MVPanoramaSource s;
    s.pan = pan;
    s.tilt = { -45, 45 };
    MVImageBuffer b = solid(360, 100, { 0, 0, 0 });
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 360; ++x)
            paint(b, x, y, x + 1, y + 1, { x / 2, y * 2, 0 });
    s.faces = { b };
    return s;
}

MVImageBuffer render(
    const MVPanoramaSource& s, MVPanoramaView view, int w = 40, int h = 30, bool outline = false)
{
    MVImageBuffer out;
    EXPECT_TRUE(MVPanoramaRenderer::render(s, view, w, h, out, outline));
    return out;
}

TEST(PanoramaRenderer, EachDirectionOfACubeShowsItsFace)
{
    const MVPanoramaSource s = cube();
    struct Case {
        float pan, tilt;
        RGB centre;
    };
    // Pan turns left: 90 is the left face, 270 (or −90) the right one.
    const Case cases[] = { { -10, 0, kFrontRight }, { 10, 0, kFront }, { 90, 0, kLeft }, { 180, 0, kBack },
        { 270, 0, kRight }, { -90, 0, kRight }, { 0, 80, kTopLower }, { 0, -80, kBottom } };
    for (const auto& c : cases) {
        auto out = render(s, { c.pan, c.tilt, 40 });
        EXPECT_EQ(pixel(out, 20, 15), c.centre) << c.pan << " " << c.tilt;
    }
}

TEST(PanoramaRenderer, FacesAreTheRightWayRound)
{
    const MVPanoramaSource s = cube();
    // Looking ahead, the front's right half is on the right.
    auto ahead = render(s, { 0, 0, 60 });
    EXPECT_EQ(pixel(ahead, 5, 15), kFront);
    EXPECT_EQ(pixel(ahead, 34, 15), kFrontRight);
    // Looking up from the front, the top face's lower half (towards the front) is at the bottom of the view.
    auto up = render(s, { 0, 90, 60 });
    EXPECT_EQ(pixel(up, 20, 3), kTopUpper);
    EXPECT_EQ(pixel(up, 20, 26), kTopLower);
    // Looking straight ahead with a wide view the top face shows above the front, the bottom below it.
    auto wide = render(s, { 0, 0, 120 });
    EXPECT_EQ(pixel(wide, 20, 0), kTopLower);
    EXPECT_EQ(pixel(wide, 20, 29), kBottom);
}

TEST(PanoramaRenderer, ACylinderMapsPanToColumnsAndTiltToRows)
{
    const MVPanoramaSource s = cylinder();
    struct Case {
        float pan, tilt;
        int red, green; // at the centre of the view
    };
    // Column (360 − pan), its half in red; row 50 − 50 tan(tilt), twice in green.
    const Case cases[] = { { 180, 0, 90, 99 }, { 90, 0, 135, 99 }, { 300, 0, 30, 99 }, { 180, 20, 90, 63 },
        { 180, -20, 90, 135 } };
    for (const auto& c : cases) {
        auto out = render(s, { c.pan, c.tilt, 30 }, 40, 30);
        // The view's centre lies between four pixels: their mean.
        int red = 0, green = 0;
        for (int dy = 14; dy <= 15; ++dy)
            for (int dx = 19; dx <= 20; ++dx) {
                red += pixel(out, dx, dy)[0];
                green += pixel(out, dx, dy)[1];
            }
        EXPECT_NEAR(red / 4.0, c.red, 1.5) << c.pan << " " << c.tilt;
        EXPECT_NEAR(green / 4.0, c.green, 4) << c.pan << " " << c.tilt;
    }
    // Across pan 0 the picture wraps round instead of stopping at its edge.
    auto seam = render(s, { 0, 0, 30 }, 40, 30);
    EXPECT_GT(pixel(seam, 2, 15)[0], 160) << "left of the seam: the picture's right edge";
    EXPECT_LT(pixel(seam, 37, 15)[0], 20) << "right of the seam: its left edge";
}

TEST(PanoramaRenderer, WhatThePicturesDoNotCoverIsBlack)
{
    // A half cylinder (pan 90 … 270) seen from the back; the sky above a cylinder's top.
    auto behind = render(cylinder({ 90, 270 }), { 0, 0, 30 });
    EXPECT_EQ(pixel(behind, 20, 15), (RGB { 0, 0, 0 }));
    auto sky = render(cylinder(), { 180, 80, 30 });
    EXPECT_EQ(pixel(sky, 20, 2), (RGB { 0, 0, 0 }));
}

TEST(PanoramaRenderer, HotspotsAreFoundAndOutlined)
{
    MVPanoramaSource s = cube();
    // Hot spot 5 on the left half of the front face.
    for (int k = 0; k < 6; ++k) {
        MVPanoramaSource::IDMap map { 16, 16, std::vector<uint8_t>(256, 0) };
        if (k == 0)
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x)
                    map.ids[size_t(y * 16 + x)] = 5;
        s.hotspotMaps.push_back(map);
    }
    const MVPanoramaView ahead { 0, 0, 60 };
    EXPECT_EQ(MVPanoramaRenderer::hotspotAt(s, ahead, 40, 30, 10, 15), 5u);
    EXPECT_EQ(MVPanoramaRenderer::hotspotAt(s, ahead, 40, 30, 30, 15), 0u);
    EXPECT_EQ(MVPanoramaRenderer::hotspotAt(s, { 180, 0, 60 }, 40, 30, 10, 15), 0u) << "behind";
    EXPECT_EQ(MVPanoramaRenderer::hotspotAt(s, ahead, 40, 30, -1, 15), 0u) << "outside the view";

    // Hidden, the picture is as without hot spots; shown, the area is tinted and its edge drawn.
    auto plain = render(s, ahead);
    auto shown = render(s, ahead, 40, 30, true);
    EXPECT_EQ(pixel(plain, 10, 15), kFront);
    EXPECT_NE(pixel(shown, 10, 15), kFront);
    EXPECT_EQ(pixel(shown, 35, 15), kFrontRight) << "outside the hot spot nothing changes";
    EXPECT_EQ(pixel(shown, 20, 15), (RGB { 255, 200, 0 })) << "the edge at the middle of the front";
}

TEST(PanoramaRenderer, ALargeViewIsWholeWhenDrawnInParts)
{
    // Large views are shared out by rows: every row is drawn, and like the same view at a small size.
    const MVPanoramaSource s = cube();
    auto large = render(s, { 30, 20, 100 }, 800, 600);
    auto small = render(s, { 30, 20, 100 }, 8, 6);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            ASSERT_EQ(large.pixels[size_t(y) * large.bytesPerRow + size_t(x) * 4 + 3], 255) << x << " " << y;
    // (The small view's pixel centres fall between two of the large one's: within a few levels.)
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(pixel(large, x * 100 + 50, y * 100 + 50)[c], pixel(small, x, y)[c], 3)
                    << x << " " << y;
}

TEST(PanoramaRenderer, RefusesWhatItCannotDraw)
{
    MVImageBuffer out;
    MVPanoramaSource fiveFaces = cube();
    fiveFaces.faces.pop_back();
    MVPanoramaSource empty;
    MVPanoramaSource shortPixels = cylinder();
    shortPixels.faces[0].pixels.resize(100);
    EXPECT_FALSE(MVPanoramaRenderer::render(fiveFaces, {}, 10, 10, out));
    EXPECT_FALSE(MVPanoramaRenderer::render(empty, {}, 10, 10, out));
    EXPECT_FALSE(MVPanoramaRenderer::render(shortPixels, {}, 10, 10, out));
    EXPECT_FALSE(MVPanoramaRenderer::render(cube(), {}, 0, 10, out));
    // Angles that are not numbers draw something rather than nothing or garbage.
    EXPECT_TRUE(MVPanoramaRenderer::render(cube(), { NAN, 0, NAN }, 10, 10, out));
}

} // namespace
