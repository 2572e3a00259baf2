#include "platform/drawing/image.h"

#include "pixels.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using movara::test::TempDir;

const HXRGBAPixel red { 255, 0, 0, 255 };
const HXRGBAPixel blue { 0, 0, 255, 255 };
const HXRGBAPixel clear {};

// An image from pixel rows given top row first.
std::shared_ptr<HXImage> imageOfRows(const std::vector<std::vector<HXRGBAPixel>>& rows)
{
    int h = int(rows.size()), w = int(rows[0].size());
    std::vector<uint8_t> rgba;
    for (const auto& row : rows)
        for (const auto& p : row)
            rgba.insert(rgba.end(), { p.r, p.g, p.b, p.a });
    return HXImage::initWithBitmapImageRep(
        HXBitmapImageRep::initWithRGBAData(rgba.data(), w, h, size_t(w) * 4));
}

TEST(Image, DrawnWithHalfOpacity)
{
    auto image = imageOfRows({ { red } });
    CurrentContext px(2, 1);
    HXColor::whiteColor().set();
    HXRectFill(HXMakeRect(1, 0, 1, 1));
    image->drawInRect(HXMakeRect(0, 0, 2, 1), HXZeroRect, HXCompositeSourceOver, 0.5);
    EXPECT_TRUE(near(px(0, 0), { 255, 0, 0, 128 })) << px(0, 0);
    EXPECT_TRUE(near(px(1, 0), { 255, 128, 128, 255 })) << px(1, 0);
}

TEST(Image, SubRectangleAndScaling)
{
    auto image = imageOfRows({ { red, blue } });
    CurrentContext px(10, 4);
    image->drawInRect(HXMakeRect(0, 0, 10, 4), HXMakeRect(1, 0, 1, 1), HXCompositeSourceOver, 1);
    EXPECT_EQ(px(0, 0), blue);
    EXPECT_EQ(px(9, 3), blue);
    // A source reaching past the image is cut, and the destination with it: the right half stays empty.
    CurrentContext cut(10, 2);
    image->drawInRect(HXMakeRect(0, 0, 10, 2), HXMakeRect(1, 0, 2, 1), HXCompositeSourceOver, 1);
    EXPECT_EQ(cut(2, 1), blue);
    EXPECT_EQ(cut(7, 1), clear);
}

TEST(Image, FlippedImagesAndContexts)
{
    const struct {
        bool contextFlipped, imageFlipped;
        HXRGBAPixel topOnScreen;
    } cases[] = {
        { false, false, red }, // upright
        { true, false, blue }, // an unflipped image in a flipped view comes out upside down ...
        { true, true, red }, // ... unless the image is flipped to match
        { false, true, blue },
    };
    for (const auto& c : cases) {
        auto image = imageOfRows({ { red }, { blue } }); // red on top
        image->setFlipped(c.imageFlipped);
        CurrentContext px(1, 2, c.contextFlipped);
        image->drawInRect(HXMakeRect(0, 0, 1, 2));
        EXPECT_EQ(px(0, 0), c.topOnScreen) << "context " << c.contextFlipped << " image " << c.imageFlipped;
    }
}

TEST(Image, CompositeToPointIsUprightAndIgnoresScaling)
{
    auto image = imageOfRows({ { red }, { blue } });
    CurrentContext px(4, 8, true);
    HXAffineTransform zoom;
    zoom.scaleBy(2);
    zoom.concat();
    // The point is mapped (to device 2, 6), the image is not: 1 × 2 pixels upright, bottom at row 6.
    image->compositeToPoint({ 1, 3 }, HXCompositeSourceOver);
    EXPECT_EQ(px(2, 4), red);
    EXPECT_EQ(px(2, 5), blue);
    EXPECT_EQ(px(2, 6), clear);
    EXPECT_EQ(px(3, 4), clear);
}

TEST(Image, TilingCutsTheLastTileAndSkipsEmptyImages)
{
    auto image = imageOfRows({ { red, red, blue } });
    CurrentContext px(10, 1);
    image->drawTiledInRect(HXMakeRect(0, 0, 10, 1), HXCompositeSourceOver);
    const HXRGBAPixel expected[] = { red, red, blue, red, red, blue, red, red, blue, red };
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(px(x, 0), expected[x]) << "column " << x;
    // No area: nothing drawn and, above all, no endless loop.
    HXImage::initWithSize(HXZeroSize)->drawTiledInRect(HXMakeRect(0, 0, 10, 1), HXCompositeCopy);
    HXImage::initByReferencingFile("/nonexistent/x.png")
        ->drawTiledInRect(HXMakeRect(0, 0, 10, 1), HXCompositeCopy);
    EXPECT_EQ(px(9, 0), red);
}

TEST(Image, DrawingIntoAnImage)
{
    auto outer = HXGraphicsContext::graphicsContextWithImageSize(1, 1);
    HXGraphicsContextScope scope(outer);
    auto image = HXImage::initWithSize(HXMakeSize(4, 2));
    image->drawInto([] {
        HXColor::blueColor().set();
        HXRectFill(HXMakeRect(0, 0, 4, 1)); // the bottom row
    });
    EXPECT_EQ(HXGraphicsContext::currentContext(), outer);
    auto rep = image->bitmapImageRep();
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 4);
    EXPECT_EQ(rep->pixelAt(0, 1), blue);
    EXPECT_EQ(rep->pixelAt(0, 0), clear);

    // A throwing body still gives the context back.
    EXPECT_THROW(image->drawInto([] { throw std::runtime_error("stop"); }), std::runtime_error);
    EXPECT_EQ(HXGraphicsContext::currentContext(), outer);

    // An image without area can be focused; drawing goes nowhere.
    auto empty = HXImage::initWithSize(HXZeroSize);
    empty->lockFocus();
    HXRectFill(HXMakeRect(0, 0, 10, 10));
    empty->unlockFocus();
    EXPECT_EQ(HXGraphicsContext::currentContext(), outer);
    EXPECT_FALSE(empty->isValid());
}

TEST(BitmapImageRep, PixelDataInAndOut)
{
    const uint8_t straight[] = { 255, 0, 0, 128, 0, 255, 0, 255, /* row padding */ 9, 9 };
    auto rep = HXBitmapImageRep::initWithRGBAData(straight, 2, 1, sizeof straight);
    ASSERT_TRUE(rep);
    EXPECT_TRUE(near(rep->pixelAt(0, 0), { 255, 0, 0, 128 }, 1));
    EXPECT_EQ(rep->pixelAt(1, 0), (HXRGBAPixel { 0, 255, 0, 255 }));
    EXPECT_EQ(rep->pixelAt(2, 0), clear); // out of range
    EXPECT_FALSE(rep->colorAtX(-1, 0));
    auto color = rep->colorAtX(1, 0);
    ASSERT_TRUE(color);
    EXPECT_EQ(color->colorSpaceName(), HXDeviceRGBColorSpace);
    EXPECT_DOUBLE_EQ(color->greenComponent(), 1);
    rep->setColor(HXColor::blueColor(), 0, 0);
    EXPECT_EQ(rep->pixelAt(0, 0), blue);
    rep->setPixel(red, 5, 5); // out of range: ignored

    const uint8_t premultiplied[] = { 100, 0, 0, 128 };
    auto pre = HXBitmapImageRep::initWithRGBAData(premultiplied, 1, 1, 4, true);
    EXPECT_TRUE(near(pre->pixelAt(0, 0), { 199, 0, 0, 128 }, 1));

    EXPECT_FALSE(HXBitmapImageRep::initWithRGBAData(nullptr, 1, 1, 4));
    EXPECT_FALSE(HXBitmapImageRep::initWithRGBAData(straight, 2, 1, 7)); // rows shorter than the width
    EXPECT_FALSE(HXBitmapImageRep::initWithRGBAData(straight, 0, 1, 8));
    EXPECT_FALSE(HXBitmapImageRep::initWithSize(1, HXBitmapImageRep::maximumPixelExtent + 1));
}

TEST(BitmapImageRep, PNGWrittenAndReadBackEqual)
{
    TempDir dir;
    auto rep = HXBitmapImageRep::initWithSize(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            rep->setPixel(
                { uint8_t(x * 40), uint8_t(y * 60), uint8_t(x * y * 9), uint8_t(255 - x * 30 - y * 5) }, x,
                y);
    std::string path = (dir / "out.png").string();
    HXError error;
    ASSERT_TRUE(rep->writeToFile(path, &error)) << error.localizedDescription();
    auto back = HXBitmapImageRep::imageRepWithContentsOfFile(path, &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    ASSERT_EQ(back->pixelsWide(), 7);
    ASSERT_EQ(back->pixelsHigh(), 5);
    EXPECT_EQ(back->RGBAData(), rep->RGBAData());
    auto data = rep->representationUsingType(HXBitmapImageFileType::PNG);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->view(), movara::test::readFile(path));
    // Only the finished file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(BitmapImageRep, WriteFailureLeavesNothingBehind)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "taken"); // renaming a file over a folder fails
    auto rep = HXBitmapImageRep::initWithSize(2, 2);
    HXError error;
    EXPECT_FALSE(rep->writeToFile((dir / "taken").string(), &error));
    EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_FALSE(rep->writeToFile((dir / "missing" / "x.png").string(), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

TEST(BitmapImageRep, GarbageRefused)
{
    TempDir dir;
    auto png
        = HXBitmapImageRep::initWithSize(3, 3)->representationUsingType(HXBitmapImageFileType::PNG)->bytes;
    auto edited = [&](auto edit) {
        auto b = png;
        edit(b);
        return HXData(std::move(b));
    };
    const struct {
        const char* name;
        HXData data;
    } cases[] = {
        { "empty", HXData() },
        { "text", HXData(std::string_view("GIF89a and then some")) },
        { "signature only", edited([](auto& b) { b.resize(8); }) },
        { "truncated", edited([](auto& b) { b.resize(b.size() / 2); }) },
        // The header claims 100000 × 100000: refused before anything is allocated.
        { "absurd size", edited([](auto& b) {
             b[17] = 0x01, b[18] = 0x86, b[19] = 0xA0;
             b[21] = 0x01, b[22] = 0x86, b[23] = 0xA0;
         }) },
        { "zero width", edited([](auto& b) { b[16] = b[17] = b[18] = b[19] = 0; }) },
        { "damaged data", edited([](auto& b) {
             for (size_t i = 41; i < b.size() - 12; ++i)
                 b[i] ^= 0x5A;
         }) },
    };
    for (const auto& c : cases) {
        HXError error;
        EXPECT_FALSE(HXBitmapImageRep::imageRepWithData(c.data, &error)) << c.name;
        EXPECT_EQ(error.code(), HXFileReadCorruptFileError) << c.name;
        EXPECT_FALSE(HXImage::initWithData(c.data)) << c.name;
    }
    HXError missing;
    EXPECT_FALSE(HXImage::initWithContentsOfFile((dir / "none.png").string(), &missing));
    EXPECT_EQ(missing.domain(), HXPOSIXErrorDomain);
    EXPECT_EQ(missing.code(), ENOENT);
    auto lazy = HXImage::initByReferencingFile((dir / "none.png").string());
    EXPECT_FALSE(lazy->isValid());
    EXPECT_EQ(lazy->size(), HXZeroSize);
}

TEST(Image, NamedImagesFromTheBundleResources)
{
    TempDir bundle;
    std::filesystem::create_directories(bundle / "Resources");
    auto rep = HXBitmapImageRep::initWithSize(3, 2);
    ASSERT_TRUE(rep->writeToFile((bundle / "Resources" / "Play.png").string()));
    ::setenv("MOVARA_BUNDLE_DIR", bundle.path().c_str(), 1);

    auto image = HXImage::imageNamed("Play.tif"); // the stored name's extension does not matter
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), HXMakeSize(3, 2));
    EXPECT_EQ(HXImage::imageNamed("Play"), image); // cached: the same object
    EXPECT_EQ(HXImage::imageNamed("Play.png"), image);
    EXPECT_FALSE(HXImage::imageNamed("Pause.tif"));
    EXPECT_FALSE(HXImage::imageNamed(""));

    // An image registered under a name is found by it; a taken name is refused.
    auto mine = HXImage::initWithSize(HXMakeSize(1, 1));
    EXPECT_TRUE(mine->setName("Custom"));
    EXPECT_EQ(HXImage::imageNamed("Custom"), mine);
    EXPECT_FALSE(HXImage::initWithSize(HXMakeSize(1, 1))->setName("Custom"));
    EXPECT_TRUE(mine->setName(""));
    EXPECT_FALSE(HXImage::imageNamed("Custom"));
}

} // namespace
