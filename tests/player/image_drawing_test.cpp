#include "player/controls/bevel_line_view.h"
#include "player/controls/image_drawing.h"

#include "platform/drawing/image.h"
#include "tests/platform/drawing/pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const HXRGBAPixel red { 255, 0, 0, 255 };
const HXRGBAPixel blue { 0, 0, 255, 255 };
const HXRGBAPixel green { 0, 255, 0, 255 };
const HXRGBAPixel clear {};

// An image `w` points wide and one high: its left half red, its right half blue.
std::shared_ptr<HXImage> twoColourImage(int w)
{
    std::vector<uint8_t> rgba;
    for (int x = 0; x < w; ++x) {
        HXRGBAPixel p = x < w / 2 ? red : blue;
        rgba.insert(rgba.end(), { p.r, p.g, p.b, p.a });
    }
    return HXImage::initWithBitmapImageRep(
        HXBitmapImageRep::initWithRGBAData(rgba.data(), w, 1, size_t(w) * 4));
}

std::shared_ptr<HXImage> solidImage(int w, int h, HXRGBAPixel p)
{
    std::vector<uint8_t> rgba;
    for (int i = 0; i < w * h; ++i)
        rgba.insert(rgba.end(), { p.r, p.g, p.b, p.a });
    return HXImage::initWithBitmapImageRep(
        HXBitmapImageRep::initWithRGBAData(rgba.data(), w, h, size_t(w) * 4));
}

// Registers `image` under `name` for the helpers' lookups, for the life of the object.
struct NamedImage {
    std::shared_ptr<HXImage> image;
    NamedImage(const std::string& name, std::shared_ptr<HXImage> i)
        : image(std::move(i))
    {
        image->setName(name);
    }
    ~NamedImage() { image->setName(""); }
};

const HXRect everywhere = HXMakeRect(-1e6, -1e6, 2e6, 2e6);

TEST(ImageDrawing, TilesAcrossTwoAndAHalfWidths)
{
    using Op = MVPImageDrawOperation;
    const HXRect row = HXMakeRect(5, 7, 25, 30);
    const HXSize tile = HXMakeSize(10, 4);
    const struct {
        bool fromRight;
        std::vector<Op> expected;
    } cases[] = {
        { false,
            { { HXMakeRect(0, 0, 10, 4), HXMakeRect(5, 7, 10, 4) },
                { HXMakeRect(0, 0, 10, 4), HXMakeRect(15, 7, 10, 4) },
                { HXMakeRect(0, 0, 5, 4), HXMakeRect(25, 7, 5, 4) } } },
        { true,
            { { HXMakeRect(0, 0, 10, 4), HXMakeRect(20, 7, 10, 4) },
                { HXMakeRect(0, 0, 10, 4), HXMakeRect(10, 7, 10, 4) },
                { HXMakeRect(5, 0, 5, 4), HXMakeRect(5, 7, 5, 4) } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPHorizontalTileLayout(row, tile, c.fromRight, everywhere), c.expected) << c.fromRight;
}

TEST(ImageDrawing, TilingAlwaysEnds)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        HXRect rect;
        HXSize tile;
    } nothing[] = {
        { "zero-width tile", HXMakeRect(0, 0, 100, 5), HXMakeSize(0, 5) },
        { "negative tile", HXMakeRect(0, 0, 100, 5), HXMakeSize(-3, 5) },
        { "tile width not a number", HXMakeRect(0, 0, 100, 5), HXMakeSize(nan, 5) },
        { "row width not a number", HXMakeRect(0, 0, nan, 5), HXMakeSize(4, 5) },
        { "endless row", HXMakeRect(0, 0, inf, 5), HXMakeSize(4, 5) },
        { "empty row", HXMakeRect(0, 0, 0, 5), HXMakeSize(4, 5) },
    };
    for (const auto& c : nothing) {
        for (bool fromRight : { false, true })
            EXPECT_TRUE(MVPHorizontalTileLayout(c.rect, c.tile, fromRight, everywhere).empty()) << c.what;
    }
    // A very long row seen through a narrow clip lists only the tiles that show.
    for (bool fromRight : { false, true }) {
        auto tiles = MVPHorizontalTileLayout(
            HXMakeRect(-1e9, 0, 2e9 + 0.5, 5), HXMakeSize(1, 5), fromRight, HXMakeRect(0, 0, 8, 5));
        EXPECT_LE(tiles.size(), 10u) << fromRight;
        EXPECT_GE(tiles.size(), 8u) << fromRight;
        for (const auto& t : tiles)
            EXPECT_TRUE(HXMaxX(t.destination) > 0 && HXMinX(t.destination) < 8)
                << HXStringFromRect(t.destination);
    }
}

TEST(ImageDrawing, ThreePartLayoutKeepsTheCapsWhenNarrow)
{
    auto wide = MVPThreePartHorizontalLayout(HXMakeRect(10, 2, 100, 20), { 6, 20 }, { 1, 18 }, { 8, 20 });
    EXPECT_EQ(wide.left, HXMakeRect(10, 2, 6, 20));
    EXPECT_EQ(wide.center, HXMakeRect(16, 2, 86, 18));
    EXPECT_EQ(wide.right, HXMakeRect(102, 2, 8, 20));

    auto narrow = MVPThreePartHorizontalLayout(HXMakeRect(0, 0, 10, 20), { 6, 20 }, { 1, 20 }, { 6, 20 });
    EXPECT_EQ(narrow.left, HXMakeRect(0, 0, 6, 20));
    EXPECT_EQ(narrow.center.size.width, -2);
    EXPECT_EQ(narrow.right, HXMakeRect(4, 0, 6, 20)); // overlapping the left cap
}

TEST(ImageDrawing, TheCutTileShowsTheNearPartOfTheImage)
{
    NamedImage tile("test-two-colour-tile", twoColourImage(10));
    // From the left the cut tile at the far right shows the image's left (red) half; from the right the
    // cut tile at the far left shows its right (blue) half.
    const struct {
        bool fromRight;
        HXRGBAPixel at2, at7, at22;
    } cases[] = {
        { false, red, blue, red },
        { true, blue, red, blue },
    };
    for (const auto& c : cases) {
        CurrentContext px(25, 1);
        DrawHorizontalTileImage(
            HXMakeRect(0, 0, 25, 1), false, c.fromRight, "test-two-colour-tile", HXCompositeSourceOver, 1);
        EXPECT_EQ(px(2, 0), c.at2) << c.fromRight;
        EXPECT_EQ(px(7, 0), c.at7) << c.fromRight;
        EXPECT_EQ(px(22, 0), c.at22) << c.fromRight;
    }
}

TEST(ImageDrawing, ThreePartBarDrawsOnlyThePiecesThatMeetTheClip)
{
    NamedImage left("test-bar-left", solidImage(4, 2, red));
    NamedImage center("test-bar-center", solidImage(1, 2, green));
    NamedImage right("test-bar-right", solidImage(4, 2, blue));
    {
        CurrentContext px(20, 2);
        DrawThreePartHorizontalImage(HXMakeRect(0, 0, 20, 2), HXMakeRect(0, 0, 20, 2), false, "test-bar-left",
            "test-bar-center", "test-bar-right", HXCompositeSourceOver, 1);
        EXPECT_EQ(px(1, 0), red);
        EXPECT_EQ(px(10, 0), green); // the one-point middle stretched across
        EXPECT_EQ(px(15, 1), green);
        EXPECT_EQ(px(18, 0), blue);
    }
    {
        CurrentContext px(20, 2);
        DrawThreePartHorizontalImage(HXMakeRect(0, 0, 20, 2), HXMakeRect(17, 0, 3, 2), false, "test-bar-left",
            "test-bar-center", "test-bar-right", HXCompositeSourceOver, 1);
        EXPECT_EQ(px(1, 0), clear);
        EXPECT_EQ(px(10, 0), clear);
        EXPECT_EQ(px(18, 0), blue);
    }
    // A missing image leaves its piece empty and draws the others.
    CurrentContext px(20, 2);
    DrawThreePartHorizontalImage(HXMakeRect(0, 0, 20, 2), HXMakeRect(0, 0, 20, 2), false, "test-bar-left",
        "no-such-image", "test-bar-right", HXCompositeSourceOver, 1);
    EXPECT_EQ(px(1, 0), red);
    EXPECT_EQ(px(10, 0), clear);
    EXPECT_EQ(px(18, 0), blue);
}

TEST(ImageDrawing, ScaledImageFillsTheRectangleAtTheOpacityGiven)
{
    NamedImage image("test-scaled", twoColourImage(2));
    CurrentContext px(8, 4);
    DrawScaledImage(HXMakeRect(0, 0, 8, 4), true, "test-scaled", HXCompositeSourceOver, 0.5);
    EXPECT_TRUE(near(px(1, 2), { 255, 0, 0, 128 })) << px(1, 2);
    EXPECT_TRUE(near(px(6, 2), { 0, 0, 255, 128 })) << px(6, 2);
}

TEST(ImageDrawing, BevelLineIsALightLineUnderADarkOne)
{
    auto view = std::make_shared<BevelLineView>(HXMakeRect(0, 0, 20, 4));
    CurrentContext px(20, 4);
    view->drawRect(view->bounds());
    // Rows from the top of the image: the view's bottom row is the last.
    EXPECT_TRUE(near(px(10, 3), { 255, 255, 255, 77 })) << px(10, 3);
    EXPECT_TRUE(near(px(10, 2), { 0, 0, 0, 51 })) << px(10, 2);
    EXPECT_EQ(px(10, 1), clear);
    EXPECT_TRUE(near(px(0, 3), { 255, 255, 255, 77 })) << px(0, 3);
    EXPECT_TRUE(near(px(19, 2), { 0, 0, 0, 51 })) << px(19, 2);
}

} // namespace
