#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/time.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();

MVTime T(int64_t v, int32_t s)
{
    return MVMakeTime(v, s);
}
MVTime PosInf()
{
    return MVTime { 1, 0, 0 };
}
MVTime NegInf()
{
    return MVTime { -1, 0, 0 };
}

void expectFields(MVTime actual, MVTime expected)
{
    EXPECT_EQ(actual.timeValue, expected.timeValue);
    EXPECT_EQ(actual.timeScale, expected.timeScale);
    EXPECT_EQ(actual.flags, expected.flags);
}

TEST(MVTime, CompareAcrossScales)
{
    struct Case {
        MVTime a, b;
        int expected;
    };
    const Case cases[] = {
        { T(1, 2), T(300, 600), 0 },
        { T(1001, 30000), T(1, 30), 1 },
        { T(-1, 3), T(-2, 6), 0 },
        { T(-1, 3), T(0, 1), -1 },
        // Products of extreme values and scales need more than 64 bits.
        { T(kMax64, kMax32), T(kMax64 - 1, kMax32), 1 },
        { T(kMax64, 1), T(kMax64, kMax32), 1 },
        { T(kMin64, 1), T(kMin64, 2), -1 },
        { T(kMax64, kMax32 - 1), T(kMax64, kMax32), 1 },
        // A negative scale flips the sign.
        { T(1, -2), T(-1, 2), 0 },
        // Scale 0: infinities by sign, and the undefined time equals zero.
        { PosInf(), T(kMax64, 1), 1 },
        { NegInf(), T(kMin64, 1), -1 },
        { MVTime { 0, 0, 0 }, MVZeroTime, 0 },
        // Indefinite is later than everything, even +∞, and equals itself.
        { MVIndefiniteTime, PosInf(), 1 },
        { T(5, 1), MVIndefiniteTime, -1 },
        { MVIndefiniteTime, MVTime { 7, 600, MVTimeFlagIndefinite }, 0 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MVTimeCompare(c.a, c.b), c.expected)
            << MVStringFromTime(c.a) << " vs " << MVStringFromTime(c.b);
        EXPECT_EQ(MVTimeCompare(c.b, c.a), -c.expected);
    }
}

TEST(MVTime, IncrementAndDecrementInFirstScale)
{
    struct Case {
        MVTime a, b;
        MVTime sum, difference;
    };
    const Case cases[] = {
        { T(600, 600), T(1, 2), T(900, 600), T(300, 600) },
        // b rounds to the nearest unit of a's scale, halves away from zero: 1/4 s at scale 2 is 0.5 → 1.
        { T(0, 2), T(1, 4), T(1, 2), T(-1, 2) },
        { T(10, 30), T(1001, 30000), T(11, 30), T(9, 30) },
        // The undefined time takes the other operand's scale.
        { MVTime { 0, 0, 0 }, T(7, 600), T(7, 600), T(-7, 600) },
        // Results beyond 64 bits clamp instead of wrapping.
        { T(kMax64, 1), T(1, 1), T(kMax64, 1), T(kMax64 - 1, 1) },
        { T(kMin64, 1), T(1, 1), T(kMin64 + 1, 1), T(kMin64, 1) },
        // Infinities and indefinite.
        { PosInf(), T(1, 1), PosInf(), PosInf() },
        { PosInf(), PosInf(), PosInf(), MVIndefiniteTime },
        { T(1, 1), MVIndefiniteTime, MVIndefiniteTime, MVIndefiniteTime },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(MVStringFromTime(c.a) + " ± " + MVStringFromTime(c.b));
        expectFields(MVTimeIncrement(c.a, c.b), c.sum);
        expectFields(MVTimeDecrement(c.a, c.b), c.difference);
    }
}

TEST(MVTime, ExactAdditionUsesCommonScale)
{
    expectFields(MVTimeAdd(MVZeroTime, T(1001, 30000)), T(1001, 30000));
    expectFields(MVTimeAdd(T(1, 3), T(1, 2)), T(5, 6));
    // The common multiple of two large coprime scales does not fit: the larger scale, rounded.
    expectFields(MVTimeAdd(T(1, kMax32), T(1, kMax32 - 1)), T(2, kMax32));
}

TEST(MVTime, ScaleConversionRounding)
{
    struct Case {
        MVTime time;
        int32_t scale;
        MVTime nearest, truncating, floor;
    };
    const Case cases[] = {
        { T(1, 3), 2, T(1, 2), T(0, 2), T(0, 2) },
        { T(-1, 4), 2, T(-1, 2), T(0, 2), T(-1, 2) },
        { T(1, 4), 2, T(1, 2), T(0, 2), T(0, 2) },
        { T(1001, 30000), 600, T(20, 600), T(20, 600), T(20, 600) },
        { T(kMax64, 1), kMax32, T(kMax64, kMax32), T(kMax64, kMax32), T(kMax64, kMax32) },
        { T(5, 1), 0, MVIndefiniteTime, MVIndefiniteTime, MVIndefiniteTime },
        { MVIndefiniteTime, 600, MVIndefiniteTime, MVIndefiniteTime, MVIndefiniteTime },
        { NegInf(), 600, NegInf(), NegInf(), NegInf() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(MVStringFromTime(c.time) + " in " + std::to_string(c.scale));
        expectFields(MVTimeInScale(c.time, c.scale), c.nearest);
        expectFields(MVTimeInScaleTruncating(c.time, c.scale), c.truncating);
        expectFields(MVTimeInScaleFloor(c.time, c.scale), c.floor);
    }
}

TEST(MVTime, TimeIntervals)
{
    double s = -1;
    EXPECT_TRUE(MVGetTimeInterval(T(1001, 30000), &s));
    EXPECT_DOUBLE_EQ(s, 1001.0 / 30000.0);
    for (MVTime bad : { MVIndefiniteTime, T(5, 0), T(5, -1) }) {
        s = -1;
        EXPECT_FALSE(MVGetTimeInterval(bad, &s));
        EXPECT_EQ(s, 0.0);
    }
    expectFields(MVMakeTimeWithTimeInterval(1.5), T(1500000, MVTimeIntervalTimeScale));
    expectFields(MVMakeTimeWithTimeInterval(-0.0000005), T(-1, MVTimeIntervalTimeScale));
    EXPECT_TRUE(MVTimeIsIndefinite(MVMakeTimeWithTimeInterval(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(MVTimeIsIndefinite(MVMakeTimeWithTimeInterval(1e300)));
    EXPECT_TRUE(MVTimeIsIndefinite(MVMakeTimeWithTimeInterval(-std::numeric_limits<double>::infinity())));
}

TEST(MVTime, StringRoundTrip)
{
    struct Case {
        MVTime time;
        const char* text;
    };
    const Case cases[] = {
        { T(50100, 600), "0:00:01:23.300/600" },
        { T(0, 1), "0:00:00:00.0/1" },
        { T(-1, 30000), "-0:00:00:00.1/30000" },
        { T(90061LL * 1000 + 5, 1000), "1:01:01:01.5/1000" },
        { T(kMin64, 1), "-106751991167300:15:30:08.0/1" },
        { T(kMax64, kMax32), "49710:06:28:18.1/2147483647" },
        { MVIndefiniteTime, "indefinite" },
        { PosInf(), "1/0" },
        { T(-3, -2), "-3/-2" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MVStringFromTime(c.time), c.text);
        auto back = MVTimeFromString(c.text);
        ASSERT_TRUE(back.has_value()) << c.text;
        expectFields(*back, c.time);
    }
}

TEST(MVTime, StringParsingShortFormsAndErrors)
{
    expectFields(*MVTimeFromString("1:23.300/600"), T(50100, 600));
    expectFields(*MVTimeFromString("83.300/600"), T(50100, 600));
    expectFields(*MVTimeFromString("42/600"), T(42, 600));
    for (const char* bad : { "", "1:00", "0:60.0/600", "0:00:00.600/600", "1:2:3:4:5.0/1", "a.0/1", "1.0/0",
             "1.0/-5", "99999999999999999999/1", "0:00:00:00.0/3000000000", "106751991167301:00:00:00.0/1",
             "-/1", "1.0/", "1.0/x" }) {
        EXPECT_FALSE(MVTimeFromString(bad).has_value()) << bad;
    }
}

TEST(MVTimeRange, Queries)
{
    MVTimeRange r = MVMakeTimeRange(T(1, 1), T(600, 600)); // [1 s, 2 s)
    struct Case {
        MVTime time;
        bool inside;
    };
    const Case cases[] = {
        { T(599, 600), false },
        { T(600, 600), true },
        { T(1199, 600), true },
        { T(2, 1), false },
        { MVIndefiniteTime, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVTimeInTimeRange(c.time, r), c.inside) << MVStringFromTime(c.time);
    EXPECT_FALSE(MVTimeInTimeRange(T(1, 1), MVMakeTimeRange(T(1, 1), MVZeroTime)));
    EXPECT_TRUE(MVTimeInTimeRange(T(kMax64, 1), MVMakeTimeRange(T(1, 1), MVIndefiniteTime)));

    // A range from the zero time (scale 1) keeps the duration's precision at its end.
    expectFields(MVTimeRangeEnd(MVMakeTimeRange(MVZeroTime, T(1001, 30000))), T(1001, 30000));
}

TEST(MVTimeRange, UnionAndIntersection)
{
    struct Case {
        MVTimeRange a, b;
        MVTimeRange unionRange, intersection;
    };
    const Case cases[] = {
        // Overlapping, different scales.
        { { T(0, 1), T(2, 1) }, { T(600, 600), T(1800, 600) }, { T(0, 1), T(4, 1) },
            { T(600, 600), T(600, 600) } },
        // Disjoint: union spans the gap, intersection is empty at the later start.
        { { T(0, 1), T(1, 1) }, { T(5, 1), T(1, 1) }, { T(0, 1), T(6, 1) }, { T(5, 1), T(0, 1) } },
        // An empty range adds nothing to a union.
        { { T(3, 1), T(0, 1) }, { T(5, 1), T(1, 1) }, { T(5, 1), T(1, 1) }, { T(5, 1), T(0, 1) } },
        // Containment.
        { { T(0, 1), T(10, 1) }, { T(2, 1), T(3, 1) }, { T(0, 1), T(10, 1) }, { T(2, 1), T(3, 1) } },
        // An indefinite duration reaches forever.
        { { T(0, 1), MVIndefiniteTime }, { T(2, 1), T(3, 1) }, { T(0, 1), MVIndefiniteTime },
            { T(2, 1), T(3, 1) } },
    };
    for (const auto& c : cases) {
        auto u = MVUnionTimeRange(c.a, c.b);
        auto i = MVIntersectionTimeRange(c.a, c.b);
        EXPECT_TRUE(MVEqualTimeRanges(u, c.unionRange))
            << MVStringFromTime(u.time) << " + " << MVStringFromTime(u.duration);
        EXPECT_TRUE(MVEqualTimeRanges(i, c.intersection))
            << MVStringFromTime(i.time) << " + " << MVStringFromTime(i.duration);
        EXPECT_TRUE(MVEqualTimeRanges(MVUnionTimeRange(c.b, c.a), u) || MVTimeRangeIsEmpty(c.a));
    }
}

TEST(FourCharCode, TextForms)
{
    struct Case {
        uint32_t code;
        std::string text;
    };
    const Case cases[] = {
        { 0x6D6F6F76, "moov" }, { 0xA96E616D, "\xC2\xA9nam" }, // ©nam
        { 0x00737464, std::string("\0std", 4) }, // the standard controller's code keeps its NUL
        { 0x75726C20, "url " }, { 0x8EA8AA20, "\xC3\xA9\xC2\xAE\xE2\x84\xA2 " }, // é ® ™ and a blank
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MVStringForOSType(c.code), c.text);
        EXPECT_EQ(MVOSTypeForString(c.text), c.code);
    }
    EXPECT_EQ(MVOSTypeForString("ab"), 0x61622020u);
    EXPECT_EQ(MVOSTypeForString(""), 0u);
    EXPECT_EQ(MVOSTypeForString("\xE4\xB8\xADxyz"), MVFourCC("?xyz")); // not in the Roman table
    EXPECT_EQ(MVOSTypeForString("\xFFxyz"), MVFourCC("?xyz")); // malformed UTF-8
    EXPECT_EQ(MVFourCC("moov"), 0x6D6F6F76u);
}

} // namespace
