// A recording preset's compression settings: read from the atom container a preset carries, made into
// one, and the presets we ship.
#include "recording/compression_settings.h"

#include "platform/mvkit/atoms/four_char_code.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace movara::test;

TEST(CaptureCompressionSettings, ReadBackAsMadeAndRefusedWhenDamaged)
{
    const MVPCaptureCompressionSettings made { MVFourCC("mp4v"), 250000, 29.97, 15 };
    const HXData data = MVPCaptureCompressionData(made);
    auto read = MVPCaptureCompressionSettingsFromData(data);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->codecType, made.codecType);
    EXPECT_EQ(read->dataRate, made.dataRate);
    EXPECT_NEAR(read->frameRate, made.frameRate, 1e-4);
    EXPECT_EQ(read->keyFrameRate, made.keyFrameRate);

    struct Case {
        const char* what;
        HXData data;
    };
    HXData truncated = data;
    truncated.bytes.resize(data.bytes.size() - 5);
    HXData oversized = data;
    oversized.bytes[15] = 0xFF; // the root atom claims more than there is
    const Case cases[] = {
        { "empty", HXData {} },
        { "header only", HXData(std::vector<uint8_t>(12, 0)) },
        { "truncated", truncated },
        { "oversized", oversized },
    };
    for (const auto& c : cases)
        EXPECT_FALSE(MVPCaptureCompressionSettingsFromData(c.data)) << c.what;
}

TEST(CaptureCompressionSettings, EncodersForCodecTypes)
{
    struct Case {
        const char* type;
        const char* encoder;
    };
    const Case cases[] = { { "avc1", "h264" }, { "mp4v", "mpeg4" }, { "jpeg", "mjpeg" }, { "mjpa", "mjpeg" },
        { "rle ", "" } };
    for (const auto& c : cases)
        EXPECT_EQ(MVPCaptureEncoderForCodecType(MVOSTypeForString(c.type)), c.encoder) << c.type;
}

TEST(CaptureCompressionSettings, ShippedPresetsNameTheirCodecAndRate)
{
    for (const char* name : { "captureSettingsCore2.plist", "captureSettingsHighRes.plist" }) {
        SCOPED_TRACE(name);
        auto list = HXPropertyList::readFromFile(std::string(MOVARA_SOURCE_DIR) + "/resources/" + name);
        ASSERT_TRUE(list && list->isArray());
        int compressed = 0;
        for (const auto& preset : list->arrayValue()) {
            const HXPropertyList& video = preset["VideoSettings"];
            if (!video.isDictionary() || video["NativeFormat"].boolValue())
                continue;
            auto settings = MVPCaptureCompressionSettingsFromData(video["CompressionData"].dataValue());
            ASSERT_TRUE(settings) << preset["Identifier"].stringValue();
            EXPECT_EQ(MVPCaptureEncoderForCodecType(settings->codecType), "h264");
            EXPECT_GT(settings->dataRate, 0);
            ++compressed;
        }
        EXPECT_GT(compressed, 0);
    }
}
