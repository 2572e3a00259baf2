#include "document/time_code.h"
#include "document/time_code_media.h"

#include "timeline_test_movies.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

TEST(TimeCodeTest, LabelsOfFrameNumbers)
{
    const MVTimeCodeDefinition plain30 { 0, 30000, 1001, 30 };
    const MVTimeCodeDefinition drop60 { MVTimeCodeDropFrameFlag, 60000, 1001, 60 };
    const struct {
        const char* name;
        MVTimeCodeDefinition definition;
        int64_t frame;
        const char* text;
    } cases[] = {
        { "zero", kDropFrame2997, 0, "00:00:00;00" },
        { "last frame of minute 0", kDropFrame2997, 1799, "00:00:59;29" },
        { "minute 1 skips ;00 and ;01", kDropFrame2997, 1800, "00:01:00;02" },
        { "minute 2", kDropFrame2997, 1800 + 1798, "00:02:00;02" },
        { "tenth minute keeps ;00", kDropFrame2997, 17982, "00:10:00;00" },
        { "one hour", kDropFrame2997, 107892, "01:00:00;00" },
        { "24-hour wrap", kDropFrame2997, 24 * 107892 + 5, "00:00:00;05" },
        { "60 fps skips four", drop60, 3600, "00:01:00;04" },
        { "non-drop 30", plain30, 1800, "00:01:00:00" },
        { "non-drop 25", kNonDrop25, 25 * 3600 + 24, "01:00:00:24" },
        { "hours past 99 without wrap", plain30, int64_t(100) * 3600 * 30, "100:00:00:00" },
        { "hours beyond 32 bits of frames", plain30, int64_t(20000) * 3600 * 30, "20000:00:00:00" },
        { "negative", plain30, -31, "-00:00:01:01" },
    };
    for (const auto& c : cases) {
        MVTimeCode code(c.definition, c.frame);
        EXPECT_EQ(code.stringValue(), c.text) << c.name;
        if (!(c.definition.flags & MVTimeCode24HourMaxFlag) && c.frame >= 0) {
            EXPECT_EQ(MVTimeCode::sampleNumberForLabel(
                          c.definition, code.hours(), code.minutes(), code.seconds(), code.frames()),
                c.frame)
                << c.name;
        }
    }
}

TEST(TimeCodeTest, SettingFieldsCarriesAndSkipsDroppedLabels)
{
    const struct {
        const char* name;
        int64_t h, m, s, f;
        const char* text;
    } cases[] = {
        { "in range", 1, 2, 3, 4, "01:02:03;04" },
        { "seconds carry into minutes", 0, 0, 75, 0, "00:01:15;00" },
        { "frames carry into seconds", 0, 0, 0, 45, "00:00:01;15" },
        { "a dropped label names the next frame", 0, 1, 0, 0, "00:01:00;02" },
        { "minutes carry into hours", 0, 61, 0, 0, "01:01:00;02" },
    };
    for (const auto& c : cases) {
        MVTimeCode code(kDropFrame2997);
        code.setLabel(c.h, c.m, c.s, c.f);
        EXPECT_EQ(code.stringValue(), c.text) << c.name;
    }
    MVTimeCode code(kDropFrame2997, 1800);
    code.setDropFrame(false);
    EXPECT_EQ(code.sampleNumber(), 1800);
    EXPECT_EQ(code.stringValue(), "00:01:00:00");
}

TEST(TimeCodeTest, DescriptionData)
{
    auto data = MVTimeCodeDescriptionData(kDropFrame2997);
    EXPECT_EQ(MVTimeCodeDefinitionFromDescriptionData(data), kDropFrame2997);
    EXPECT_FALSE(MVTimeCodeDefinitionFromDescriptionData({ data.begin(), data.begin() + 10 }));
    auto noFrames = data;
    noFrames[16] = 0;
    EXPECT_FALSE(MVTimeCodeDefinitionFromDescriptionData(noFrames));
    auto noDuration = MVTimeCodeDescriptionData({ 0, 30000, 0, 30 });
    EXPECT_FALSE(MVTimeCodeDefinitionFromDescriptionData(noDuration));
}

TEST(TimeCodeMediaTest, TimeCodeAtMovieTimesAndBack)
{
    // One hour of 29.97 drop-frame time code from 01:00:00;00, movie at the frames' own scale.
    const int64_t start = 107892;
    auto movie = timeCodeMovie(kDropFrame2997, start, 30000, int64_t(1001) * 107892);
    MVTimeCodeMedia media(MVTimeCodeMedia::timeCodeTrack(*movie));
    ASSERT_TRUE(media.definition());
    const struct {
        int64_t movieTime;
        const char* text;
    } cases[] = {
        { 0, "01:00:00;00" }, { 1000, "01:00:00;00" }, { 1001, "01:00:00;01" },
        { 1001 * 1800, "01:01:00;02" }, { int64_t(1001) * 107891, "01:59:59;29" },
        { int64_t(1001) * 200000, "01:59:59;29" }, // past the end: the last frame
    };
    for (const auto& c : cases) {
        movie->setCurrentTime(MVMakeTime(c.movieTime, 30000));
        MVTimeCode code = media.currentTimeCode();
        EXPECT_EQ(code.stringValue(), c.text) << c.movieTime;
    }
    MVTimeCode code(kDropFrame2997, start + 1800);
    auto back = media.movieTimeForTimeCode(code);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->timeValue, 1001 * 1800);
    EXPECT_FALSE(media.movieTimeForTimeCode(MVTimeCode(kDropFrame2997, start - 1)));
    EXPECT_FALSE(media.movieTimeForTimeCode(MVTimeCode(kDropFrame2997, start + 107892)));
}

TEST(TimeCodeMediaTest, EditsMoveWhereTheTrackShowsAFrame)
{
    // 25 fps code in a 600-scale movie, shown from 10 s on.
    auto movie = timeCodeMovie(kNonDrop25, 0, 600, 600 * 60);
    auto track = MVTimeCodeMedia::timeCodeTrack(*movie);
    track->insertEmptySegment(0, 6000);
    MVTimeCodeMedia media(track);
    auto at = media.movieTimeForTimeCode(MVTimeCode(kNonDrop25, 25));
    ASSERT_TRUE(at);
    EXPECT_EQ(at->timeValue, 6000 + 600);
    EXPECT_EQ(at->timeScale, 600);
    movie->setCurrentTime(MVMakeTime(6000 + 612, 600));
    EXPECT_EQ(media.currentTimeCode().stringValue(), "00:00:01:00");
}

TEST(TimeCodeMediaTest, MoviesWithoutUsableTimeCode)
{
    auto movie = pictureMovie(600, 20, 60);
    EXPECT_EQ(MVTimeCodeMedia::timeCodeTrack(*movie), nullptr);
    // A time-code track whose description is cut short reads as none.
    auto track = movie->newTrack(MVMediaTypeTimeCode, 600);
    MVSampleDescription d;
    d.format = MVMediaTypeTimeCode;
    d.data = { 0, 0, 0, 0 };
    track->media()->addSample({ 0, 0, 0, 0 }, 600, 1, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, 600);
    MVTimeCodeMedia media(MVTimeCodeMedia::timeCodeTrack(*movie));
    EXPECT_FALSE(media.definition());
    EXPECT_EQ(media.currentTimeCode().sampleNumber(), 0);
    EXPECT_FALSE(media.movieTimeForTimeCode(MVTimeCode(kNonDrop25, 0)));
}

} // namespace
