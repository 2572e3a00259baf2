// The exporters as the saved settings find them, and the picture size an export writes.
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/export/movie_transcoder.h"

#include <gtest/gtest.h>

namespace {

TEST(Exporter, FoundByComponentDescription)
{
    struct Case {
        const char* name;
        uint32_t type, subType, manufacturer, flags, mask;
        const char* extension; // nullptr: none found
    } cases[] = {
        { "mpeg-4", MVFourCC("spit"), MVFourCC("mpg4"), MVFourCC("zntl"), 0, 0, "mp4" },
        { "movie, any maker", MVFourCC("spit"), MVFourCC("MooV"), 0, 0, 0, "mov" },
        { "phone, flags under mask", MVFourCC("spit"), MVFourCC("M4V "), MVFourCC("zntl"), 0x10, 0x10,
            "m4v" },
        { "flags that no exporter has", MVFourCC("spit"), MVFourCC("M4V "), MVFourCC("zntl"), 0x80000,
            0x80000, nullptr },
        { "other maker", MVFourCC("spit"), MVFourCC("mpg4"), MVFourCC("appl"), 0, 0, nullptr },
        { "not an exporter", MVFourCC("eat "), MVFourCC("mpg4"), 0, 0, 0, nullptr },
        { "image sequence", MVFourCC("spit"), MVFourCC("grex"), 0, 0, 0, "png" },
        { "first of all", 0, 0, 0, 0, 0, "mov" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto found = MVExporter::findExporter(c.type, c.subType, c.manufacturer, c.flags, c.mask);
        ASSERT_EQ(bool(found), c.extension != nullptr);
        if (found) {
            EXPECT_EQ(found->fileNameExtension(), c.extension);
        }
    }
}

TEST(Exporter, PictureSizeFitsTheBoxKeepingTheAspectRatio)
{
    struct Case {
        int w, h;
        HXPropertyList::Dictionary settings;
        std::pair<int, int> size;
    } cases[] = {
        { 1920, 1080, { { "MVExpWidth", 640 }, { "MVExpHeight", 480 } }, { 640, 360 } },
        { 160, 120, { { "MVExpWidth", 640 }, { "MVExpHeight", 480 } }, { 160, 120 } }, // never enlarged
        { 160, 120, {}, { 160, 120 } },
        { 161, 121, {}, { 162, 122 } }, // even for the encoders
        { 1000, 2000, { { "MVExpWidth", 320 }, { "MVExpHeight", 240 } }, { 120, 240 } },
        { 640, 480, { { "MVExpWidth", 0 }, { "MVExpHeight", 240 } }, { 640, 480 } }, // no box
        { 640, 480, { { "MVExpWidth", "wide" }, { "MVExpHeight", 240 } }, { 640, 480 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVExportPictureSize(c.w, c.h, c.settings), c.size) << c.w << "x" << c.h;
}

} // namespace
