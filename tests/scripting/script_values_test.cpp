// The value mappings of scripting that do not need a document.
#include "scripting/app_scripting.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/script_values.h"

#include <gtest/gtest.h>

namespace {

using MVPScriptValues::fourCC;
using Array = HXPropertyList::Array;

TEST(ScriptValuesTest, EnumerationCodes)
{
    struct Case {
        int64_t value;
        const char code[5];
    };
    const Case loadStates[] = { { -1, "lder" }, { 1000, "ldng" }, { 2000, "lded" }, { 10000, "ldpl" }, { 20000, "ldpt" },
        { 100000, "ldcm" }, { 5, "lduk" } };
    for (const auto& c : loadStates)
        EXPECT_EQ(MVPMovieDocScripting::loadStateCode(c.value), fourCC(c.code)) << c.value;
    const Case sizes[] = { { 0, "norm" }, { 1, "doub" }, { 2, "half" }, { 3, "fits" }, { 4, "cust" }, { 16, "fits" },
        { 17, "fits" }, { 18, "fits" }, { 19, "fits" }, { 99, "norm" } };
    for (const auto& c : sizes)
        EXPECT_EQ(MVPMovieDocScripting::presentationSizeCode(c.value), fourCC(c.code)) << c.value;
    const Case written[] = { { 0, "norm" }, { 1, "doub" }, { 2, "half" }, { 3, "fits" }, { 4, "abcd" }, { 4, "cust" } };
    for (const auto& c : written)
        EXPECT_EQ(MVPMovieDocScripting::presentationSizeForCode(fourCC(c.code)), c.value) << c.code;
    EXPECT_EQ(MVPMovieDocScripting::controllerTypeCode(0x00737464), fourCC("stan"));
    EXPECT_EQ(MVPMovieDocScripting::controllerTypeForCode(fourCC("stan")), 0x00737464u);
    EXPECT_EQ(MVPMovieDocScripting::controllerTypeForCode(fourCC("none")), fourCC("none"));
    const Case speeds[] = { { 1400, "144 " }, { 2800, "288 " }, { 5600, "56K " }, { 11200, "112K" }, { 25600, "DSL1" },
        { 76800, "DSL4" }, { 100000, "Cabl" }, { 150000, "T1  " }, { 2147483647, "LAN " }, { 3000, "288 " } };
    for (const auto& c : speeds)
        EXPECT_EQ(MVPAppScripting::connectionSpeedCode(c.value), fourCC(c.code)) << c.value;
}

TEST(ScriptValuesTest, ScaleOfTheWindow)
{
    using In = MVPMovieDocScripting::ScaleInputs;
    struct Case {
        const char* name;
        In in;
        const char code[5];
    };
    std::pair<double, double> screen { 1280, 778 };
    const Case cases[] = {
        { "natural", { 320, 240, 320, 240, 0, screen }, "norm" },
        { "half", { 160, 120, 320, 240, 0, screen }, "half" },
        { "double", { 640, 480, 320, 240, 0, screen }, "doub" },
        // Odd sizes scale to whole pixels, by rounding.
        { "odd, half", { 81, 61, 161, 121, 0, screen }, "half" },
        { "odd, half, as the window gives it back", { 80.99999999, 61, 161, 121, 0, screen }, "half" },
        { "odd, natural", { 161, 121, 161, 121, 0, screen }, "norm" },
        { "odd, double", { 322, 242, 161, 121, 0, screen }, "doub" },
        { "a pixel off half", { 82, 61, 161, 121, 0, screen }, "cust" },
        { "as wide as the screen", { 1200, 900, 320, 240, 0, screen }, "fits" },
        { "as tall as the screen", { 900, 700, 320, 240, 0, screen }, "fits" },
        { "some other size", { 500, 300, 320, 240, 0, screen }, "cust" },
        { "no screen", { 500, 300, 320, 240, 0, std::nullopt }, "cust" },
        { "full screen, letterboxed", { 500, 300, 320, 240, fourCC("fits"), std::nullopt }, "fits" },
        { "full screen at the current size, doubled", { 640, 480, 320, 240, fourCC("cust"), std::nullopt },
            "doub" },
        { "full screen at the current size", { 1200, 900, 320, 240, fourCC("cust"), screen }, "cust" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPMovieDocScripting::scaleCode(c.in), fourCC(c.code)) << c.name;
}

TEST(ScriptValuesTest, ImageSequenceTiming)
{
    struct Case {
        std::optional<double> fps, spf;
        std::optional<std::pair<int64_t, int32_t>> timing;
    };
    const Case cases[] = {
        { 12.5, std::nullopt, std::pair { 100, 1250 } },
        { 30, std::nullopt, std::pair { 20, 600 } },
        { 30, 2, std::pair { 20, 600 } }, // the rate wins
        { std::nullopt, 2.5, std::pair { 1200, 600 } },
        { std::nullopt, std::nullopt, std::pair { 40, 600 } },
        // Rates that would give no duration at all, or none that makes sense, are refused or kept exact.
        { 0, std::nullopt, std::nullopt },
        { -5, std::nullopt, std::nullopt },
        { 1000, std::nullopt, std::pair { 100, 100000 } },
        { std::nullopt, 0.5, std::pair { 300, 600 } },
        { std::nullopt, 0, std::nullopt },
    };
    for (const auto& c : cases) {
        auto t = MVPAppScripting::imageSequenceTiming(c.fps, c.spf);
        ASSERT_EQ(t.has_value(), c.timing.has_value()) << c.fps.value_or(-1) << " " << c.spf.value_or(-1);
        if (t) {
            EXPECT_EQ(t->duration, c.timing->first);
            EXPECT_EQ(t->timeScale, c.timing->second);
        }
    }
}

TEST(ScriptValuesTest, RecordsAndVersions)
{
    // Records are host-order 16-bit pairs, vertical first, held to the 16-bit range.
    auto r = MVPScriptValues::record(100, -50);
    ASSERT_EQ(r.dataValue().size(), 4u);
    EXPECT_EQ(MVPScriptValues::pointFromValue(HXScriptValue(r)), (std::pair<int16_t, int16_t> { 100, -50 }));
    EXPECT_EQ(MVPScriptValues::pointFromValue(HXScriptValue(MVPScriptValues::record(1e9, -1e9))),
        (std::pair<int16_t, int16_t> { 32767, -32768 }));
    EXPECT_EQ(MVPScriptValues::pointFromValue(HXScriptValue(HXPropertyList(Array { HXPropertyList(3), HXPropertyList(4.9) }))),
        (std::pair<int16_t, int16_t> { 3, 4 }));
    EXPECT_FALSE(MVPScriptValues::pointFromValue(HXScriptValue(HXPropertyList(HXData(std::string("abc"))))));
    EXPECT_FALSE(MVPScriptValues::pointFromValue(HXScriptValue(HXPropertyList("3,4"))));

    auto black = MVPScriptValues::colorFromValue(HXScriptValue(HXPropertyList("red")));
    EXPECT_EQ(MVPScriptValues::colorRecord(black), HXPropertyList(HXData(std::vector<uint8_t>(6, 0))));

    EXPECT_DOUBLE_EQ(MVPAppScripting::versionNumber("7.6.2"), 7.6);
    EXPECT_DOUBLE_EQ(MVPAppScripting::versionNumber("10"), 10);
    EXPECT_DOUBLE_EQ(MVPAppScripting::versionNumber("beta"), 0);
}

} // namespace
