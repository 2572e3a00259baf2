// Picture conversion: crop and scale, adjustments, apertures.
#include "platform/mvkit/atoms/sample_description.h"
#include "platform/mvkit/playback/frame_converter.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <array>
#include <cstring>

namespace {

// A 4:2:0 picture whose left half is black and right half white (studio range).
std::shared_ptr<MVDecodedFrame> halfWhiteFrame(int width, int height)
{
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame->data[0][y * frame->linesize[0] + x] = x < width / 2 ? 16 : 235;
    for (int y = 0; y < height / 2; ++y) {
        std::memset(frame->data[1] + y * frame->linesize[1], 128, size_t(width / 2));
        std::memset(frame->data[2] + y * frame->linesize[2], 128, size_t(width / 2));
    }
    return std::make_shared<MVDecodedFrame>(frame);
}

// A 4:2:0 picture whose even lines are white and odd lines black: two very different fields.
std::shared_ptr<MVDecodedFrame> stripedFrame(int width, int height)
{
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    frame->interlaced_frame = 1;
    av_frame_get_buffer(frame, 0);
    for (int y = 0; y < height; ++y)
        std::memset(frame->data[0] + y * frame->linesize[0], y % 2 ? 16 : 235, size_t(width));
    for (int y = 0; y < height / 2; ++y) {
        std::memset(frame->data[1] + y * frame->linesize[1], 128, size_t(width / 2));
        std::memset(frame->data[2] + y * frame->linesize[2], 128, size_t(width / 2));
    }
    return std::make_shared<MVDecodedFrame>(frame);
}

MVImageBuffer onePixel(uint8_t r, uint8_t g, uint8_t b)
{
    MVImageBuffer image;
    image.width = image.height = 1;
    image.bytesPerRow = 4;
    image.pixels = { b, g, r, 255 };
    return image;
}

MVSampleDescription describedVideo(std::vector<MVRawAtom> extensions)
{
    MVVideoSampleDescription v;
    v.width = 720;
    v.height = 480;
    v.extensions = std::move(extensions);
    MVSampleDescription d;
    d.format = MVFourCC("avc1");
    d.data = MVSerializeVideoSampleDescription(v);
    return d;
}

MVBytes be32s(std::initializer_list<int32_t> values)
{
    MVBytes out;
    for (int32_t v : values)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(uint8_t(uint32_t(v) >> shift));
    return out;
}

} // namespace

TEST(FrameConverterTest, CropsAndScales)
{
    auto frame = halfWhiteFrame(64, 48);
    MVFrameConverter converter;
    MVImageBuffer image;
    ASSERT_TRUE(converter.convert(*frame, image));
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.bytesPerRow, 256);
    EXPECT_EQ(image.pixels[(10 * 64 + 5) * 4 + 1], 0); // black on the left
    EXPECT_EQ(image.pixels[(10 * 64 + 60) * 4 + 1], 255); // white on the right
    EXPECT_EQ(image.pixels[3], 255); // opaque

    // The right half only, at half its size: all white.
    MVApertureGeometry right { 32, 0, 32, 48, 32, 48 };
    for (bool quality : { false, true }) {
        converter.setHighQuality(quality);
        ASSERT_TRUE(converter.convert(*frame, right, 16, 24, image));
        ASSERT_EQ(image.pixels.size(), 16u * 24u * 4u);
        for (size_t i = 0; i < image.pixels.size(); ++i)
            ASSERT_GE(image.pixels[i], 250) << i;
    }
    EXPECT_FALSE(converter.convert(*frame, right, 0, 24, image));
}

TEST(FrameConverterTest, AdjustmentsOnPixels)
{
    struct Case {
        const char* name;
        MVPictureAdjustments adjustments;
        std::array<uint8_t, 3> in;
        std::array<uint8_t, 3> expected;
    };
    const Case cases[] = {
        { "brightness up", { .brightness = 0.5f }, { 0, 0, 0 }, { 128, 128, 128 } },
        { "brightness clips", { .brightness = 0.5f }, { 200, 100, 0 }, { 255, 228, 128 } },
        { "brightness down", { .brightness = -1 }, { 200, 100, 50 }, { 0, 0, 0 } },
        { "no contrast", { .contrast = 0 }, { 255, 0, 30 }, { 128, 128, 128 } },
        { "double contrast", { .contrast = 2 }, { 192, 64, 128 }, { 255, 0, 128 } },
        { "no saturation", { .saturation = 0 }, { 255, 0, 0 }, { 54, 54, 54 } },
        { "grey keeps its hue", { .hue = 123 }, { 90, 90, 90 }, { 90, 90, 90 } },
        { "full turn", { .hue = 360 }, { 200, 40, 90 }, { 200, 40, 90 } },
    };
    for (const auto& c : cases) {
        auto image = onePixel(c.in[0], c.in[1], c.in[2]);
        MVFrameConverter::applyAdjustments(c.adjustments, image);
        EXPECT_NEAR(image.pixels[2], c.expected[0], 1) << c.name;
        EXPECT_NEAR(image.pixels[1], c.expected[1], 1) << c.name;
        EXPECT_NEAR(image.pixels[0], c.expected[2], 1) << c.name;
        EXPECT_EQ(image.pixels[3], 255) << c.name;
    }
}

TEST(FrameConverterTest, ApertureModes)
{
    // 720×480 with 10:11 pixels and a clean aperture of 704×480 centred.
    auto description = describedVideo({ { MVFourCC("pasp"), be32s({ 10, 11 }) },
        { MVFourCC("clap"), be32s({ 704, 1, 480, 1, 0, 1, 0, 1 }) } });
    struct Case {
        MVApertureMode mode;
        MVApertureGeometry expected;
    };
    const Case cases[] = {
        { MVApertureMode::Classic, { 0, 0, 720, 480, 720, 480 } },
        { MVApertureMode::EncodedPixels, { 0, 0, 720, 480, 720, 480 } },
        { MVApertureMode::Production, { 0, 0, 720, 480, 720 * 10.0 / 11, 480 } },
        { MVApertureMode::Clean, { 8, 0, 704, 480, 704 * 10.0 / 11, 480 } },
    };
    for (const auto& c : cases) {
        auto g = MVApertureGeometryForDescription(description, 720, 480, c.mode);
        EXPECT_DOUBLE_EQ(g.cropX, c.expected.cropX);
        EXPECT_DOUBLE_EQ(g.cropWidth, c.expected.cropWidth);
        EXPECT_DOUBLE_EQ(g.displayWidth, c.expected.displayWidth);
        EXPECT_DOUBLE_EQ(g.displayHeight, c.expected.displayHeight);
    }
    // Broken atoms are ignored: a zero denominator, an aperture larger than the picture.
    for (const auto& bad : { be32s({ 704, 0, 480, 1, 0, 1, 0, 1 }), be32s({ 800, 1, 480, 1, 0, 1, 0, 1 }),
             be32s({ 704, 1, 480, 1, 100, 1, 0, 1 }) }) {
        auto g = MVApertureGeometryForDescription(
            describedVideo({ { MVFourCC("pasp"), be32s({ 0, 0 }) }, { MVFourCC("clap"), bad } }), 720, 480,
            MVApertureMode::Clean);
        EXPECT_EQ(g.cropWidth, 720);
        EXPECT_EQ(g.displayWidth, 720);
    }
}

TEST(FrameConverterTest, FieldHandling)
{
    auto frame = stripedFrame(32, 32);
    struct Case {
        const char* name;
        bool deinterlace;
        bool singleField;
        int low; // range of the green byte of a middle pixel
        int high;
    };
    const Case cases[] = {
        { "as coded: a black line", false, false, 0, 0 },
        { "fields blended", true, false, 120, 135 },
        { "first field only", false, true, 255, 255 },
        { "single field wins over blending", true, true, 255, 255 },
    };
    for (const auto& c : cases) {
        MVFrameConverter converter;
        converter.setDeinterlace(c.deinterlace);
        converter.setSingleField(c.singleField);
        MVImageBuffer image;
        ASSERT_TRUE(converter.convert(*frame, image)) << c.name;
        int green = image.pixels[size_t((15 * image.width + 16) * 4 + 1)]; // line 15: odd, black as coded
        EXPECT_GE(green, c.low) << c.name;
        EXPECT_LE(green, c.high) << c.name;
    }
}
