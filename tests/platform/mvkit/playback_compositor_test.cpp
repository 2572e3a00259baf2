// Composing track pictures into the movie's picture: boxes under track matrices, and the graphics
// modes, checked at known pixels.
#include "platform/mvkit/playback/picture_compositor.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

namespace {

using BGRA = std::array<int, 4>;

MVImageBuffer solid(int width, int height, BGRA color)
{
    MVImageBuffer image;
    image.width = width;
    image.height = height;
    image.bytesPerRow = width * 4;
    image.pixels.resize(size_t(width * height * 4));
    for (size_t i = 0; i < image.pixels.size(); i += 4)
        for (size_t c = 0; c < 4; ++c)
            image.pixels[i + c] = uint8_t(color[c]);
    return image;
}

struct Canvas {
    explicit Canvas(int w, int h)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h), cairo_surface_destroy)
    {
    }
    BGRA at(int x, int y) const
    {
        cairo_surface_flush(surface.get());
        const unsigned char* p = cairo_image_surface_get_data(surface.get())
            + size_t(y) * size_t(cairo_image_surface_get_stride(surface.get())) + size_t(x) * 4;
        return { p[0], p[1], p[2], p[3] };
    }
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;
};

MVAffine translate(double x, double y)
{
    return { 1, 0, 0, 1, x, y };
}

void expectNear(BGRA actual, BGRA expected, int tolerance, const std::string& what)
{
    for (size_t c = 0; c < 4; ++c)
        EXPECT_NEAR(actual[c], expected[c], tolerance) << what << " channel " << c;
}

const BGRA kRed { 0, 0, 255, 255 };
const BGRA kBlue { 255, 0, 0, 255 };
const BGRA kClear { 0, 0, 0, 0 };

} // namespace

TEST(PictureCompositorTest, TrackBoxesUnderTheirMatrices)
{
    MVMatrixRecord record;
    record.values = { 2 << 16, 0, 0, 0, 1 << 16, 0, 10 << 16, -(5 << 16), 1 << 30 };
    EXPECT_EQ(MVAffineForMatrixRecord(record), (MVAffine { 2, 0, 0, 1, 10, -5 }));

    struct Case {
        const char* name;
        MVAffine matrix;
        MVPictureBox box;
    };
    const Case cases[] = {
        { "identity", {}, { 0, 0, 160, 120 } },
        { "moved", translate(40, 30), { 40, 30, 160, 120 } },
        { "doubled", { 2, 0, 0, 2, 0, 0 }, { 0, 0, 320, 240 } },
        // A quarter turn: the portrait phone picture.
        { "turned", { 0, 1, -1, 0, 120, 0 }, { 0, 0, 120, 160 } },
        { "flipped", { -1, 0, 0, 1, 160, 0 }, { 0, 0, 160, 120 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPictureBoxForTrack(160, 120, c.matrix), c.box) << c.name;
    EXPECT_TRUE(MVPictureBoxForTrack(0, 120, {}).isEmpty());
    EXPECT_EQ(MVPictureBoxUnion({ 0, 0, 160, 120 }, { 100, 80, 80, 60 }), (MVPictureBox { 0, 0, 180, 140 }));
    EXPECT_EQ(MVPictureBoxUnion({}, { 1, 2, 3, 4 }), (MVPictureBox { 1, 2, 3, 4 }));
}

TEST(PictureCompositorTest, GraphicsModesOverAPictureBehind)
{
    // Behind: red filling the 160×120 movie; in front: an 80×60 blue picture moved to (40, 30).
    const auto red = solid(16, 12, kRed); // any size: stretched over its box
    const auto blue = solid(8, 6, kBlue);
    struct Case {
        const char* name;
        uint16_t mode;
        std::array<uint16_t, 3> opColor;
        BGRA inside; // at (80, 60)
    };
    const Case cases[] = {
        { "copy", MVGraphicsModeCopy, { 0x8000, 0x8000, 0x8000 }, kBlue },
        { "dither copy", MVGraphicsModeDitherCopy, { 0x8000, 0x8000, 0x8000 }, kBlue },
        { "blend half", MVGraphicsModeBlend, { 0x8000, 0x8000, 0x8000 }, { 128, 0, 127, 255 } },
        // Blend weighs each channel on its own: all of the blue channel, none of the red.
        { "blend by channel", MVGraphicsModeBlend, { 0, 0, 0xFFFF }, { 255, 0, 255, 255 } },
        { "transparent other key", MVGraphicsModeTransparent, { 0, 0xFFFF, 0 }, kBlue },
        { "transparent blue key", MVGraphicsModeTransparent, { 0, 0, 0xFFFF }, kRed },
        { "straight alpha blend", MVGraphicsModeStraightAlphaBlend, { 0x8000, 0x8000, 0x8000 },
            { 128, 0, 127, 255 } },
        { "straight alpha", MVGraphicsModeStraightAlpha, { 0, 0, 0 }, kBlue },
    };
    for (const auto& c : cases) {
        Canvas canvas(160, 120);
        const MVCompositedPicture pictures[] = {
            { &red, 160, 120, {}, MVGraphicsModeCopy, { 0x8000, 0x8000, 0x8000 } },
            { &blue, 80, 60, translate(40, 30), c.mode, c.opColor },
        };
        MVComposePictures(canvas.surface.get(), { 0, 0, 160, 120 }, pictures);
        expectNear(canvas.at(80, 60), c.inside, 2, c.name);
        expectNear(canvas.at(10, 10), kRed, 0, std::string(c.name) + " outside");
        expectNear(canvas.at(150, 110), kRed, 0, std::string(c.name) + " outside");
    }
}

TEST(PictureCompositorTest, PlacesPicturesByTheMovieBoxAndCanvasScale)
{
    // The movie box starts where the pictures start; the canvas is half the movie's size.
    const auto red = solid(4, 4, kRed);
    const auto blue = solid(4, 4, kBlue);
    Canvas canvas(100, 50);
    const MVCompositedPicture pictures[] = {
        { &red, 100, 100, translate(-100, 0), MVGraphicsModeCopy, {} },
        { &blue, 100, 100, translate(0, 0), MVGraphicsModeCopy, {} },
    };
    MVComposePictures(canvas.surface.get(), { -100, 0, 200, 100 }, pictures);
    expectNear(canvas.at(25, 25), kRed, 0, "left half");
    expectNear(canvas.at(75, 25), kBlue, 0, "right half");

    // A quarter turn of a picture whose left column is red and the rest blue: the red lands on top.
    MVImageBuffer split = solid(4, 4, kBlue);
    for (int y = 0; y < 4; ++y)
        for (int c = 0; c < 4; ++c)
            split.pixels[size_t(y * split.bytesPerRow + c)] = uint8_t(kRed[size_t(c)]);
    Canvas turned(40, 40);
    const MVCompositedPicture turnedPicture[] = { { &split, 40, 40, { 0, 1, -1, 0, 40, 0 }, 0, {} } };
    MVComposePictures(turned.surface.get(), { 0, 0, 40, 40 }, turnedPicture);
    expectNear(turned.at(20, 2), kRed, 0, "turned top");
    expectNear(turned.at(20, 30), kBlue, 0, "turned bottom");

    // A blended picture reaching past the canvas's corner is combined where it lands, and only there.
    Canvas corner(40, 40);
    const MVCompositedPicture cornerPictures[] = {
        { &red, 40, 40, {}, MVGraphicsModeCopy, {} },
        { &blue, 20, 20, translate(-10, -10), MVGraphicsModeBlend, { 0x8000, 0x8000, 0x8000 } },
        { &blue, 20, 20, { NAN, 0, 0, 1, 0, 0 }, MVGraphicsModeBlend, { 0x8000, 0x8000, 0x8000 } },
    };
    MVComposePictures(corner.surface.get(), { 0, 0, 40, 40 }, cornerPictures);
    expectNear(corner.at(4, 4), { 128, 0, 127, 255 }, 2, "corner blended");
    expectNear(corner.at(20, 20), kRed, 0, "past the corner picture");

    // Nothing to draw on, or nothing to draw: the canvas stays as it was.
    Canvas untouched(10, 10);
    const MVCompositedPicture broken[] = { { nullptr, 10, 10, {}, 0, {} }, { &red, 0, 10, {}, 0, {} } };
    MVComposePictures(untouched.surface.get(), { 0, 0, 10, 10 }, broken);
    MVComposePictures(untouched.surface.get(), {}, pictures);
    MVComposePictures(nullptr, { 0, 0, 10, 10 }, pictures);
    expectNear(untouched.at(5, 5), kClear, 0, "untouched");
}

TEST(PictureCompositorTest, AMaskShowsThePictureWhereItIsLight)
{
    // Red behind; blue in front over the whole movie, masked by an image whose left half is white, right
    // quarter black and the quarter between mid-grey. The mask stretches over the picture's box.
    const auto red = solid(8, 8, kRed);
    const auto blue = solid(8, 8, kBlue);
    MVImageBuffer mask = solid(8, 1, { 255, 255, 255, 255 });
    for (size_t c = 0; c < 3; ++c)
        for (size_t x : { 4, 5, 6, 7 })
            mask.pixels[x * 4 + c] = x < 6 ? 128 : 0;
    struct Case {
        const char* name;
        uint16_t mode;
        BGRA left, between, right;
    };
    const Case cases[] = {
        { "copy", MVGraphicsModeCopy, kBlue, { 128, 0, 127, 255 }, kRed },
        // Blending at half weight, and only where the mask lets the picture through.
        { "blend", MVGraphicsModeBlend, { 128, 0, 127, 255 }, { 64, 0, 191, 255 }, kRed },
    };
    for (const auto& c : cases) {
        Canvas canvas(160, 40);
        const MVCompositedPicture pictures[] = {
            { &red, 160, 40, {}, MVGraphicsModeCopy, {} },
            { &blue, 160, 40, {}, c.mode, { 0x8000, 0x8000, 0x8000 }, &mask },
        };
        MVComposePictures(canvas.surface.get(), { 0, 0, 160, 40 }, pictures);
        expectNear(canvas.at(20, 20), c.left, 3, std::string(c.name) + " under white");
        expectNear(canvas.at(100, 20), c.between, 3, std::string(c.name) + " under grey");
        expectNear(canvas.at(150, 20), c.right, 3, std::string(c.name) + " under black");
    }
    // A mask that is no image leaves the picture whole.
    MVImageBuffer broken;
    broken.width = 3;
    Canvas canvas(16, 16);
    const MVCompositedPicture pictures[] = { { &blue, 16, 16, {}, MVGraphicsModeCopy, {}, &broken } };
    MVComposePictures(canvas.surface.get(), { 0, 0, 16, 16 }, pictures);
    expectNear(canvas.at(8, 8), kBlue, 0, "broken mask");
}
