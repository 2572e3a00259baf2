#include "platform/drawing/color.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

TEST(Color, ConversionIntoCalibratedRGB)
{
    const struct {
        const char* name;
        HXColor color;
        double r, g, b, a;
    } cases[] = {
        { "black", HXColor::blackColor(), 0, 0, 0, 1 },
        { "white", HXColor::whiteColor(), 1, 1, 1, 1 },
        { "clear", HXColor::clearColor(), 0, 0, 0, 0 },
        { "gray", HXColor::colorWithCalibratedWhite(0.4, 0.6), 0.4, 0.4, 0.4, 0.6 },
        { "device gray", HXColor::colorWithDeviceWhite(0.25, 1), 0.25, 0.25, 0.25, 1 },
        { "device rgb", HXColor::colorWithDeviceRed(0.1, 0.2, 0.3, 0.4), 0.1, 0.2, 0.3, 0.4 },
        { "clamped", HXColor::colorWithCalibratedRed(-1, 2, std::numeric_limits<double>::quiet_NaN(), 7), 0,
            1, 0, 1 },
    };
    for (const auto& c : cases) {
        auto rgb = c.color.colorUsingColorSpaceName(HXCalibratedRGBColorSpace);
        ASSERT_TRUE(rgb) << c.name;
        EXPECT_EQ(rgb->colorSpaceName(), HXCalibratedRGBColorSpace) << c.name;
        double r, g, b, a;
        rgb->getRed(&r, &g, &b, &a);
        EXPECT_DOUBLE_EQ(r, c.r) << c.name;
        EXPECT_DOUBLE_EQ(g, c.g) << c.name;
        EXPECT_DOUBLE_EQ(b, c.b) << c.name;
        EXPECT_DOUBLE_EQ(a, c.a) << c.name;
    }
    EXPECT_FALSE(HXColor::redColor().colorUsingColorSpaceName("HXPatternColorSpace"));
    EXPECT_FALSE(HXColor::redColor().colorUsingColorSpaceName(""));
}

TEST(Color, WhiteFromRGBIsLuminance)
{
    auto gray
        = HXColor::colorWithCalibratedRed(1, 0, 0, 0.5).colorUsingColorSpaceName(HXCalibratedWhiteColorSpace);
    ASSERT_TRUE(gray);
    EXPECT_NEAR(gray->whiteComponent(), 0.299, 1e-12);
    EXPECT_DOUBLE_EQ(gray->alphaComponent(), 0.5);
    EXPECT_NEAR(HXColor::colorWithCalibratedRed(1, 1, 1).whiteComponent(), 1, 1e-12);
}

TEST(Color, AlphaAndBlend)
{
    HXColor half = HXColor::redColor().colorWithAlphaComponent(0.5);
    EXPECT_DOUBLE_EQ(half.alphaComponent(), 0.5);
    EXPECT_DOUBLE_EQ(half.redComponent(), 1);
    EXPECT_EQ(half.colorSpaceName(), HXCalibratedRGBColorSpace);

    HXColor mix = HXColor::blackColor().blendedColorWithFraction(
        0.25, HXColor::whiteColor().colorWithAlphaComponent(0));
    EXPECT_DOUBLE_EQ(mix.redComponent(), 0.25);
    EXPECT_DOUBLE_EQ(mix.blueComponent(), 0.25);
    EXPECT_DOUBLE_EQ(mix.alphaComponent(), 0.75);
    EXPECT_EQ(HXColor::blueColor().blendedColorWithFraction(5, HXColor::redColor()),
        HXColor::colorWithCalibratedRed(1, 0, 0, 1)); // fraction clamped to 1
    EXPECT_EQ(
        HXColor::colorWithDeviceWhite(1).blendedColorWithFraction(0, HXColor::blackColor()).colorSpaceName(),
        HXDeviceRGBColorSpace);
}

TEST(Color, ArchiveRoundTrip)
{
    const HXColor colors[] = {
        HXColor::blackColor(),
        HXColor::clearColor(),
        HXColor::colorWithCalibratedRed(0.1, 0.2, 0.3, 0.4),
        HXColor::colorWithDeviceRed(1, 0.5, 1.0 / 3.0, 1),
        HXColor::colorWithDeviceWhite(0.282353, 0.85),
        HXColor::alternateSelectedControlColor(),
    };
    for (const auto& c : colors) {
        HXData data = c.archivedData();
        auto back = HXColor::colorWithArchivedData(data);
        ASSERT_TRUE(back) << c.colorSpaceName();
        EXPECT_EQ(*back, c) << c.colorSpaceName();
        EXPECT_EQ(back->colorSpaceName(), c.colorSpaceName());
    }
}

TEST(Color, GarbageArchiveRefused)
{
    HXData good = HXColor::colorWithCalibratedRed(0.1, 0.2, 0.3, 0.4).archivedData();
    auto changed = [&](auto edit) {
        HXData d = good;
        edit(d.bytes);
        return d;
    };
    auto withComponent = [&](size_t index, double v) {
        return changed([&](std::vector<uint8_t>& b) {
            uint64_t bits;
            std::memcpy(&bits, &v, 8);
            for (int i = 0; i < 8; ++i)
                b[7 + 8 * index + size_t(i)] = uint8_t(bits >> (56 - 8 * i));
        });
    };
    const struct {
        const char* name;
        HXData data;
    } cases[] = {
        { "empty", HXData() },
        { "text", HXData(std::string_view("not a colour at all")) },
        { "wrong magic", changed([](auto& b) { b[0] = 'X'; }) },
        { "future version", changed([](auto& b) { b[4] = 2; }) },
        { "unknown space", changed([](auto& b) { b[5] = 9; }) },
        { "count not matching space", changed([](auto& b) { b[6] = 2; }) },
        { "truncated", changed([](auto& b) { b.pop_back(); }) },
        { "trailing bytes", changed([](auto& b) { b.push_back(0); }) },
        { "header only", changed([](auto& b) { b.resize(7); }) },
        { "NaN component", withComponent(1, std::numeric_limits<double>::quiet_NaN()) },
        { "infinite alpha", withComponent(3, std::numeric_limits<double>::infinity()) },
        { "component above 1", withComponent(0, 1.5) },
        { "negative component", withComponent(2, -0.25) },
    };
    for (const auto& c : cases)
        EXPECT_FALSE(HXColor::colorWithArchivedData(c.data)) << c.name;
    EXPECT_TRUE(HXColor::colorWithArchivedData(withComponent(0, 1.0))); // the edit itself is sound
}

} // namespace
