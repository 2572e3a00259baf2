// The panoramic stretch: the per-axis mapping against its formula, its guard against folding back for any
// screen and movie shape, the region of interest, the attributes, and frames remapped through it.
#include "fullscreen/panoramic_stretch_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const double kRoot2 = MVPPanoramicStretchDefaultIntensity;

TEST(PanoramicStretch, MappingFollowsTheFormula)
{
    struct Case {
        MVPPanoramicStretchAxis axis;
        double p;
        double expected;
    };
    const MVPPanoramicStretchAxis axis { 0, 100, 2, 1 };
    const Case cases[] = {
        { axis, 0, 0 },
        { axis, 50, 75 },
        { axis, 100, 100 },
        { axis, 150, 150 },
        { axis, -50, -75 },
        { axis, -250, -250 },
        { { 0, 100, 1.5, kRoot2 }, 50, 65.61964416146932 },
        { { 0, 100, 1.5, kRoot2 }, -30, -42.26706653492175 },
        { { 0, 100, 0.5, kRoot2 }, 80, 69.17484376005027 },
        { { 320, 320, 1.2, kRoot2 }, 420, 436.1395311053638 },
        { { 320, 320, 1.2, kRoot2 }, 20, 14.766205287964453 },
        { { 320, 320, 1, kRoot2 }, 123.25, 123.25 },
    };
    for (const auto& c : cases)
        EXPECT_NEAR(c.axis.map(c.p), c.expected, 1e-9) << "s " << c.axis.scale << " p " << c.p;
}

TEST(PanoramicStretch, MappingStaysMonotonicForEveryShape)
{
    // s is the display's aspect over the movie's: 4:3 on 16:9 is 1.33, 1:1 on 16:9 1.78, 4:3 on 21:9
    // 1.75, a tall portrait movie much more; below 1 the movie is the wider one.
    const double scales[] = { 0.25, 0.75, 1.2, 1.33, 1 + 1 / kRoot2, 1.75, 1.78, 2.37, 4, 10, 100 };
    for (double s : scales) {
        const MVPPanoramicStretchAxis axis { 960, 960, s, kRoot2 };
        EXPECT_DOUBLE_EQ(axis.map(960), 960) << s;
        EXPECT_DOUBLE_EQ(axis.map(0), 0) << s << ": the edges stay";
        EXPECT_DOUBLE_EQ(axis.map(1920), 1920) << s;
        if (s <= 4) {
            // (A lowered exponent lets the factor leave s sooner; it is s only in the limit.)
            EXPECT_NEAR((axis.map(960.001) - axis.map(959.999)) / 0.002, s, 1e-2 * s)
                << s << ": s at the centre";
        }
        double previous = -std::numeric_limits<double>::infinity();
        for (double p = -100; p <= 2020; p += 0.25) {
            double f = axis.map(p);
            ASSERT_GE(f, previous) << "s " << s << " folds back at " << p;
            previous = f;
        }
        if (s <= 1 + 1 / kRoot2) {
            double u = 0.7;
            double formula = 960 + 960 * u * (s + (1 - s) * std::pow(u, kRoot2));
            EXPECT_NEAR(axis.map(960 + 960 * u), formula, 1e-9) << s << ": the formula itself where it holds";
        }
    }
}

TEST(PanoramicStretch, AxesThatDescribeNoMappingAreLeftAlone)
{
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    const MVPPanoramicStretchAxis axes[] = {
        { 0, 0, 2, kRoot2 },
        { 0, -10, 2, kRoot2 },
        { 0, 100, 0, kRoot2 },
        { 0, 100, -2, kRoot2 },
        { 0, 100, 2, 0 },
        { 0, 100, nan, kRoot2 },
        { 0, 100, inf, kRoot2 },
        { nan, 100, 2, kRoot2 },
        { 0, 100, 1, kRoot2 },
    };
    for (const auto& axis : axes) {
        EXPECT_TRUE(axis.isIdentity());
        EXPECT_EQ(axis.map(37.5), 37.5);
    }
}

HXPropertyList info(HXPoint c, HXPoint d, HXPoint s, HXPoint e)
{
    MVPPanoramicStretchFilter filter;
    filter.setValueForKey(c, MVPPanoramicStretchFilterInputCenterKey);
    filter.setValueForKey(d, MVPPanoramicStretchFilterInputDistanceKey);
    filter.setValueForKey(s, MVPPanoramicStretchFilterInputScaleKey);
    filter.setValueForKey(e, MVPPanoramicStretchFilterInputIntensityKey);
    return filter.userInfo();
}

TEST(PanoramicStretch, RegionOfInterest)
{
    struct Case {
        const char* name;
        HXPropertyList userInfo;
        HXRect dest;
        HXRect expected;
    };
    const Case cases[] = {
        { "identity scale", info({ 320, 240 }, { 320, 240 }, { 1, 1 }, { kRoot2, kRoot2 }),
            { { 10, 20 }, { 300, 200 } }, { { 10, 20 }, { 300, 200 } } },
        { "x squeezed", info({ 0, 0 }, { 100, 100 }, { 2, 1 }, { 1, 1 }), { { -50, 5 }, { 200, 10 } },
            { { -75, 5 }, { 225, 10 } } },
        { "both axes", info({ 0, 0 }, { 100, 100 }, { 2, 2 }, { 1, 1 }), { { 0, 0 }, { 50, 50 } },
            { { 0, 0 }, { 75, 75 } } },
        { "no user information: as it stands", HXPropertyList(), { { 1, 2 }, { 3, 4 } },
            { { 1, 2 }, { 3, 4 } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPPanoramicStretchFilter::regionOf(0, c.dest, c.userInfo), c.expected) << c.name;
}

TEST(PanoramicStretch, DefaultAttributes)
{
    auto attributes = MVPPanoramicStretchFilter::customAttributes();
    struct Case {
        const char* key;
        const char* type;
        std::optional<HXPoint> identity;
        HXPoint fallback;
    };
    const Case cases[] = {
        { "inputCenter", "HIAttributeTypePosition", std::nullopt, { 150, 150 } },
        { "inputDistance", "HIAttributeTypeOffset", HXPoint { 0, 0 }, { 150, 150 } },
        { "inputScale", "HIAttributeTypeOffset", HXPoint { 1, 1 }, { 1, 1 } },
        { "inputIntensity", "HIAttributeTypeOffset", HXPoint { 1, 1 }, { kRoot2, kRoot2 } },
    };
    MVPPanoramicStretchFilter filter;
    const HXPoint inputs[]
        = { filter.inputCenter(), filter.inputDistance(), filter.inputScale(), filter.inputIntensity() };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const auto& entry = attributes[c.key];
        EXPECT_EQ(entry["HIAttributeType"].stringValue(), c.type) << c.key;
        EXPECT_EQ(entry["HIAttributeDefault"][0].realValue(), c.fallback.x) << c.key;
        EXPECT_EQ(entry["HIAttributeDefault"][1].realValue(), c.fallback.y) << c.key;
        EXPECT_EQ(entry.contains("HIAttributeIdentity"), bool(c.identity)) << c.key;
        if (c.identity) {
            EXPECT_EQ(entry["HIAttributeIdentity"][0].realValue(), c.identity->x) << c.key;
        }
        EXPECT_EQ(inputs[i], c.fallback) << c.key << ": the filter starts at the default";
    }
    EXPECT_FLOAT_EQ(float(kRoot2), std::sqrt(2.0f));
}

// A frame whose red channel counts the columns and green the rows from the top.
std::vector<uint8_t> rampFrame(int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    for (int r = 0; r < height; ++r) {
        for (int i = 0; i < width; ++i) {
            uint8_t* p = &pixels[(size_t(r) * size_t(width) + size_t(i)) * 4];
            p[0] = uint8_t(i);
            p[1] = uint8_t(r);
            p[2] = 77;
            p[3] = 255;
        }
    }
    return pixels;
}

TEST(PanoramicStretch, FramesSampleTheSourceAtTheMappedPosition)
{
    const int w = 200, h = 4;
    auto source = rampFrame(w, h);
    std::vector<uint8_t> out(source.size());
    const MVPPanoramicStretchAxis x { 100, 100, 2, 1 };
    MVPPanoramicStretchApply(source.data(), w * 4, out.data(), w * 4, w, h, x, {});
    for (int r = 0; r < h; ++r) {
        for (int i = 0; i < w; ++i) {
            const uint8_t* p = &out[(size_t(r) * w + size_t(i)) * 4];
            double expected = std::clamp(x.map(i + 0.5) - 0.5, 0.0, double(w - 1));
            ASSERT_NEAR(p[0], expected, 1.0) << "column " << i;
            ASSERT_EQ(p[1], r) << "rows stay";
            ASSERT_EQ(p[2], 77);
            ASSERT_EQ(p[3], 255);
        }
    }
    EXPECT_EQ(out[0], 0) << "the left edge stays";
    EXPECT_EQ(out[(w - 1) * 4], w - 1) << "the right edge stays";
}

TEST(PanoramicStretch, TheVerticalAxisCountsFromTheBottom)
{
    // Centre at the bottom edge: rows near the bottom take the source from twice as high up.
    const int w = 2, h = 200;
    auto source = rampFrame(w, h);
    std::vector<uint8_t> out(source.size());
    const MVPPanoramicStretchAxis y { 0, 200, 2, 1 };
    MVPPanoramicStretchApply(source.data(), w * 4, out.data(), w * 4, w, h, {}, y);
    for (int r = 0; r < h; ++r) {
        double fromBottom = y.map(h - (r + 0.5));
        double expectedRow = std::clamp(h - fromBottom - 0.5, 0.0, double(h - 1));
        ASSERT_NEAR(out[size_t(r) * w * 4 + 1], expectedRow, 1.0) << "row " << r;
    }
    EXPECT_NEAR(out[size_t(h - 1) * w * 4 + 1], 198.5, 0.5) << "the bottom row comes from one row up";
}

TEST(PanoramicStretch, FilterOutputKeepsTheSizeAndIdentityKeepsThePixels)
{
    MVPPanoramicStretchFilter filter;
    EXPECT_EQ(filter.outputImage(), nullptr) << "no image in, none out";
    auto pixels = rampFrame(64, 8);
    auto image = HXBitmapImageRep::initWithRGBAData(pixels.data(), 64, 8, 64 * 4);
    ASSERT_TRUE(image);
    filter.setValueForKey(image, MVPPanoramicStretchFilterInputImageKey);
    MVPPanoramicStretchSetInputsForFrame(filter, { 64, 8 }, { 640, 480 }, { 640, 480 });
    auto same = filter.outputImage();
    ASSERT_TRUE(same);
    EXPECT_EQ(same->RGBAData(), image->RGBAData());

    MVPPanoramicStretchSetInputsForFrame(filter, { 64, 8 }, { 1440, 900 }, { 640, 480 });
    EXPECT_DOUBLE_EQ(filter.inputScale().x, 1.2);
    EXPECT_EQ(filter.inputScale().y, 1);
    EXPECT_EQ(filter.inputCenter(), (HXPoint { 32, 4 }));
    EXPECT_EQ(filter.inputDistance(), (HXPoint { 32, 4 }));
    auto squeezed = filter.outputImage();
    ASSERT_TRUE(squeezed);
    EXPECT_EQ(squeezed->pixelsWide(), 64);
    EXPECT_EQ(squeezed->pixelsHigh(), 8);
    // Left of the centre the picture comes from further out.
    EXPECT_LT(squeezed->pixelAt(20, 3).r, image->pixelAt(20, 3).r);
    EXPECT_GT(squeezed->pixelAt(44, 3).r, image->pixelAt(44, 3).r);
    EXPECT_EQ(squeezed->pixelAt(0, 3), image->pixelAt(0, 3));

    MVPPanoramicStretchSetInputsForFrame(filter, { 64, 8 }, { 1440, 900 }, { 0, 0 });
    EXPECT_EQ(filter.inputScale().x, 1) << "a movie without a size is not stretched";
}

} // namespace
