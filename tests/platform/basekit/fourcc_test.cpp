#include "platform/basekit/fourcc.h"

#include <gtest/gtest.h>

TEST(FourCharCode, TextAndCodeBothWays)
{
    struct Case {
        const char* text;
        uint32_t code;
        const char* backToText;
    };
    const Case cases[] = {
        { "moov", 0x6D6F6F76, "moov" }, { "url ", 0x75726C20, "url " },
        { "url", 0x75726C20, "url " }, // padded with blanks
        { "", 0x20202020, "    " }, { "trakXYZ", 0x7472616B, "trak" }, // first four only
        { "©day", 0xA9646179, "©day" }, // Halvern Roman byte for ©
        { "日本", 0x3F3F2020, "??  " }, // no byte for these
        { "0x00000001", 0x00000001, "0x00000001" }, { "0x6D6F6F76", 0x6D6F6F76, "moov" },
        { "0x6D6F6F7", 0x30783644, "0x6D" }, // not the hex form: taken as text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(HXFourCharCode(c.text), c.code);
        EXPECT_EQ(HXStringFromFourCharCode(c.code), c.backToText);
    }
}

TEST(FourCharCode, UnprintableCodesGiveReadableTextThatReadsBack)
{
    for (uint32_t code : { 0x00000000u, 0x7F414141u, 0x4141410Au, 0xFFFFFFFFu, 0x80818283u }) {
        std::string text = HXStringFromFourCharCode(code);
        for (char c : text)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << text;
        EXPECT_EQ(HXFourCharCode(text), code) << text;
    }
}
