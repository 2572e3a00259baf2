#include "core/time_strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

MVTime T(int64_t value, int32_t scale, uint32_t flags = 0)
{
    return MVTime { value, scale, flags };
}

struct DurationCase {
    const char* name;
    MVTime time;
    MVTime duration;
    bool leadingZero;
    const char* expected;
};

TEST(TimeStrings, StringForTimeAndDurationForms)
{
    const DurationCase cases[] = {
        { "minutes form", T(835, 10), T(100, 1), false, "1:23.50" },
        { "seconds form", T(725, 100), T(30, 1), false, "7.25" },
        { "seconds form with leading zero", T(725, 100), T(30, 1), true, "0:07.25" },
        { "hours form", T(372304, 100), T(7200, 1), false, "1:02:03.04" },
        { "sixty seconds against itself", T(60, 1), T(60, 1), false, "1:00.00" },
        { "just under a minute", T(5999, 100), T(5999, 100), false, "59.99" },
        { "3600 s duration picks hours", T(5, 1), T(3600, 1), false, "0:00:05.00" },
        { "3599 s duration picks minutes", T(5, 1), T(3599, 1), false, "0:05.00" },
        { "86399 s duration picks hours", T(86399, 1), T(86399, 1), false, "23:59:59.00" },
        { "86400 s duration picks days", T(86400, 1), T(86400, 1), false, "1:00:00:00.00" },
        { "fields left out are dropped", T(25 * 3600, 1), T(7200, 1), false, "1:00:00.00" },
        { "negative duration picks days", T(90, 1), T(-1, 1), false, "0:00:01:30.00" },
        { "negative time prints signs", T(-150, 100), T(30, 1), false, "-1.-50" },
        { "leading zero only changes the seconds form", T(835, 10), T(100, 1), true, "1:23.50" },
        { "duration at another scale", T(600, 600), T(60 * 600, 600), false, "0:01.00" },
        { "indefinite time", T(5, 1, MVTimeFlagIndefinite), T(30, 1), false, "--:--" },
        { "time scale zero", T(5, 0), T(30, 1), false, "--:--" },
        { "negative time scale", T(5, -1), T(30, 1), false, "--:--" },
        { "duration scale zero does not divide", T(5, 1), T(30, 0), false, "--:--" },
        { "negative duration scale", T(5, 1), T(30, -2), false, "--:--" },
        { "huge value keeps exact hundredths", T(std::numeric_limits<int64_t>::max(), 1000000000),
            T(std::numeric_limits<int64_t>::max(), 1000000000), false, "106751:23:47:16.85" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPStringForTimeAndDurationWithLeadingZero(c.time, c.duration, c.leadingZero), c.expected)
            << c.name;
}

TEST(TimeStrings, ShortFormsUseTheTimeAsItsOwnDurationWithoutLeadingZero)
{
    EXPECT_EQ(MVPStringForTimeAndDuration(T(725, 100), T(30, 1)), "7.25");
    EXPECT_EQ(MVPStringForTime(T(3723, 1)), "1:02:03.00");
    EXPECT_EQ(MVPStringForTime(T(7, 1)), "7.00");
    EXPECT_EQ(MVPStringForTime(T(0, 0)), "--:--");
}

struct InfoCase {
    const char* name;
    MVTime time;
    float frameRate;
    const char* expected;
};

TEST(TimeStrings, TimeInfoString)
{
    const InfoCase cases[] = {
        { "no frame rate", T(835, 10), 0.0f, "0:00:01:23.50" },
        { "negative frame rate", T(835, 10), -25.0f, "0:00:01:23.50" },
        { "not a number", T(835, 10), std::nanf(""), "0:00:01:23.50" },
        { "infinite rate", T(835, 10), std::numeric_limits<float>::infinity(), "0:00:01:23.50" },
        { "whole rate", T(50100, 600), 25.0f, "0:00:01:23.12/25" },
        { "fractional rate", T(50100, 600), 29.97f, "0:00:01:23.14/29.97" },
        { "rate rounded to hundredths", T(50100, 600), 23.976f, "0:00:01:23.11/23.98" },
        { "whole rate of thirty", T(50100, 600), 30.0f, "0:00:01:23.15/30" },
        { "fraction that rounds to a whole rate", T(0, 600), 59.996f, "0:00:00:00.00/60" },
        { "across a day", T(90061, 1), 0.0f, "1:01:01:01.00" },
        { "indefinite", T(1, 1, MVTimeFlagIndefinite), 25.0f, "--:--" },
        { "scale zero", T(1, 0), 25.0f, "--:--" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPTimeInfoString(c.time, c.frameRate), c.expected) << c.name;
}

TEST(TimeStrings, CrackTimeFields)
{
    int64_t d = -1, h = -1, m = -1, s = -1, c = -1;
    ASSERT_TRUE(MVPCrackTime(T(9000061 * 100 + 42, 100), &d, &h, &m, &s, &c));
    EXPECT_EQ(d, 104);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(m, 1);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(c, 42);

    EXPECT_TRUE(MVPCrackTime(T(1, 1))) << "no out-pointers";

    d = h = m = s = c = 77;
    EXPECT_FALSE(MVPCrackTime(T(1, 1, MVTimeFlagIndefinite), &d, &h, &m, &s, &c));
    EXPECT_FALSE(MVPCrackTime(T(1, 0), &d, &h, &m, &s, &c));
    EXPECT_FALSE(MVPCrackTime(T(1, -5), &d, &h, &m, &s, &c));
    EXPECT_EQ(d + h + m + s + c, 5 * 77) << "nothing written on failure";

    ASSERT_TRUE(MVPCrackTime(T(-3725, 1), &d, &h, &m, &s, &c));
    EXPECT_EQ(d, 0);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(m, -2);
    EXPECT_EQ(s, -5);
    EXPECT_EQ(c, 0);
}

TEST(TimeStrings, PredicatesTruthTable)
{
    struct Row {
        MVTime time;
        bool defined, undefined, definite, indefinite, finite, infinite, positiveInfinity, negativeInfinity;
    };
    const uint32_t I = MVTimeFlagIndefinite;
    const Row rows[] = {
        // time          def    undef  defin  indef  finite infin  +inf   -inf
        { T(0, 0), false, true, true, false, false, true, false, false },
        { T(5, 0), true, false, true, false, false, true, true, false },
        { T(-5, 0), true, false, true, false, false, true, false, true },
        { T(0, 1), true, false, true, false, true, false, false, false },
        { T(-7, 600), true, false, true, false, true, false, false, false },
        { T(0, 0, I), true, false, false, true, false, false, false, false },
        { T(5, 0, I), true, false, false, true, false, false, false, false },
        { T(5, 600, I), true, false, false, true, false, false, false, false },
        { T(0, -1), true, false, true, false, false, false, false, false },
        { T(3, -1), true, false, true, false, false, false, false, false },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
            << "value " << r.time.timeValue << " scale " << r.time.timeScale << " flags " << r.time.flags);
        EXPECT_EQ(MVPTimeIsDefined(r.time), r.defined);
        EXPECT_EQ(MVPTimeIsUndefined(r.time), r.undefined);
        EXPECT_EQ(MVPTimeIsDefinite(r.time), r.definite);
        EXPECT_EQ(MVPTimeIsIndefinite(r.time), r.indefinite);
        EXPECT_EQ(MVPTimeIsFinite(r.time), r.finite);
        EXPECT_EQ(MVPTimeIsInfinite(r.time), r.infinite);
        EXPECT_EQ(MVPTimeIsPositiveInfinity(r.time), r.positiveInfinity);
        EXPECT_EQ(MVPTimeIsNegativeInfinity(r.time), r.negativeInfinity);
    }
}

} // namespace
