#include "player/timeline/fake_frame_formatter.h"
#include "player/timeline/formatter_factory.h"
#include "player/timeline/frame_formatter.h"
#include "player/timeline/time_code_formatter.h"
#include "player/timeline/time_formatter.h"

#include "timeline_test_movies.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

using namespace movara::test;

namespace {

void typeKeys(GenericFormatter& formatter, const std::string& keys)
{
    for (char key : keys)
        formatter.doKeyDown(key == '<' ? char(8) : key);
}

int64_t movieTimeAt(const MVMovie& movie, int32_t scale)
{
    return MVTimeInScaleFloor(movie.currentTime(), scale).timeValue;
}

// 30 fps pictures for a minute, at time scale 600.
std::shared_ptr<MVMovie> thirtyFpsMovie()
{
    return pictureMovie(600, 20, 1800);
}

TEST(TimeFormatterTest, ShowsHoursMinutesAndSecondsOfThe64BitTime)
{
    const struct {
        const char* name;
        int32_t scale;
        int64_t time;
        int64_t origin;
        const char* text;
    } cases[] = {
        { "zero", 600, 0, 0, "00:00:00" },
        { "a minute and a half", 600, 90 * 600 + 599, 0, "00:01:30" },
        { "after the origin", 600, 100 * 600, 10 * 600, "00:01:30" },
        { "before the origin", 600, 0, 61 * 600, "-00:01:01" },
        { "100 hours are not wrapped", 600, int64_t(100) * 3600 * 600, 0, "100:00:00" },
        { "7 hours at 90 kHz (beyond 32 bits)", 90000, int64_t(7) * 3600 * 90000, 0, "07:00:00" },
        { "30 hours at 90 kHz", 90000, int64_t(30) * 3600 * 90000 + 1, 0, "30:00:00" },
    };
    for (const auto& c : cases) {
        auto movie = pictureMovie(c.scale, c.scale / 30, 60);
        TimeFormatter formatter(1);
        formatter.setMovie(movie);
        formatter.setOrigin(c.origin);
        movie->setCurrentTime(MVMakeTime(c.time, c.scale));
        EXPECT_EQ(formatter.timeString(), c.text) << c.name;
    }
    EXPECT_EQ(TimeFormatter::textForTime(600, 0), "00:00:00");
}

TEST(TimeFormatterTest, LongestTimeIsTheLastUnitOfTheMovie)
{
    // Two hours at 90 kHz, asked before the text was ever shown.
    auto movie = pictureMovie(90000, 3000, 2 * 3600 * 30);
    TimeFormatter hms(1);
    hms.setMovie(movie);
    EXPECT_EQ(hms.maxTimeString(), "01:59:59");
    FakeFrameFormatter frames(5);
    frames.setMovie(movie);
    EXPECT_EQ(frames.maxTimeString(), "216000 F");
    EXPECT_EQ(frames.timeString(), "0 F");
}

TEST(TimeFormatterTest, MinutesFieldTypedAsInTheWorkedExample)
{
    auto movie = thirtyFpsMovie();
    TimeFormatter formatter(1);
    formatter.setMovie(movie);
    formatter.setOrigin(600 * 10);
    movie->setCurrentTime(MVMakeTime(600 * 100, 600));
    ASSERT_EQ(formatter.timeString(), "00:01:30");
    formatter.select(3, false);
    const struct {
        char key;
        const char* text;
    } steps[] = { { '2', "00:12:30" }, { '3', "00:23:30" }, { '4', "00:34:30" }, { '7', "00:47:30" },
        { '9', "00:09:30" } };
    for (const auto& s : steps) {
        formatter.doKeyDown(s.key);
        EXPECT_EQ(formatter.timeString(), s.text) << s.key;
    }
    EXPECT_EQ(formatter.editState(), GenericFormatter::FieldEdit);
    formatter.applyEdit();
    EXPECT_EQ(movieTimeAt(*movie, 600), (9 * 60 + 30) * 600 + 600 * 10);
    EXPECT_EQ(formatter.editState(), GenericFormatter::NoEdit);
    EXPECT_EQ(formatter.selectionMode(), 0);
    EXPECT_EQ(formatter.timeString(), "00:09:30");
}

TEST(TimeFormatterTest, KeysOnASelectedField)
{
    const struct {
        const char* name;
        int selectAt;
        const char* keys; // '<' is backspace
        const char* text;
    } cases[] = {
        { "backspace divides by ten", 3, "<", "00:00:30" },
        { "point, sign and letters are ignored", 3, ".+-a", "00:01:30" },
        { "seconds field is not limited", 6, "75", "00:01:75" },
        { "minutes above 59 keep the last digit", 3, "7", "00:17:30" },
        { "minutes 17 then 5 keeps 5", 3, "75", "00:05:30" },
    };
    for (const auto& c : cases) {
        auto movie = thirtyFpsMovie();
        movie->setCurrentTime(MVMakeTime(90 * 600, 600));
        TimeFormatter formatter(1);
        formatter.setMovie(movie);
        formatter.timeString();
        formatter.select(c.selectAt, false);
        typeKeys(formatter, c.keys);
        EXPECT_EQ(formatter.timeString(), c.text) << c.name;
    }
}

TEST(TimeFormatterTest, SelectingAndMovingFields)
{
    auto movie = thirtyFpsMovie();
    TimeFormatter formatter(1);
    formatter.setMovie(movie);
    movie->setCurrentTime(MVMakeTime(90 * 600, 600));
    ASSERT_EQ(formatter.timeString(), "00:01:30");
    const struct {
        const char* name;
        int index;
        bool doubleClick;
        int start, end, mode;
    } selections[] = {
        { "a separator selects nothing", 2, false, -1, -1, 0 },
        { "first character of a field", 3, false, 3, 4, 1 },
        { "second character of a field", 4, false, 3, 4, 1 },
        { "last character", 7, false, 6, 7, 1 },
        { "past the end", 100, false, 6, 7, 1 },
        { "double click selects all", 4, true, 0, -1, -1 },
        { "double click with all selected selects a field", 0, true, 0, 1, 1 },
    };
    for (const auto& s : selections) {
        EXPECT_TRUE(formatter.select(s.index, s.doubleClick));
        EXPECT_EQ(formatter.selectionStart(), s.start) << s.name;
        EXPECT_EQ(formatter.selectionEnd(), s.end) << s.name;
        EXPECT_EQ(formatter.selectionMode(), s.mode) << s.name;
    }
    formatter.select(3, false);
    EXPECT_TRUE(formatter.moveField(1));
    EXPECT_EQ(formatter.selectionStart(), 6);
    EXPECT_FALSE(formatter.moveField(1));
    EXPECT_EQ(formatter.selectionStart(), 6);
    EXPECT_TRUE(formatter.moveField(-2));
    EXPECT_EQ(formatter.selectionStart(), 0);
    EXPECT_FALSE(formatter.moveField(-1));
    formatter.select(2, false);
    EXPECT_FALSE(formatter.moveField(1));
    EXPECT_FALSE(formatter.incrementField(1));
}

TEST(TimeFormatterTest, ArrowsWrapAField)
{
    const struct {
        int64_t seconds;
        int selectAt;
        int step;
        const char* text;
    } cases[] = {
        { 59 * 60, 3, 1, "00:00:00" },
        { 0, 3, -1, "00:59:00" },
        { 0, 3, -61, "00:59:00" },
        { 58, 6, 3, "00:00:01" },
    };
    for (const auto& c : cases) {
        auto movie = thirtyFpsMovie();
        movie->setCurrentTime(MVMakeTime(c.seconds * 600, 600));
        TimeFormatter formatter(1);
        formatter.setMovie(movie);
        formatter.timeString();
        formatter.select(c.selectAt, false);
        EXPECT_TRUE(formatter.incrementField(c.step));
        EXPECT_EQ(formatter.timeString(), c.text) << c.seconds << " " << c.step;
        EXPECT_TRUE(formatter.isModified());
    }
}

TEST(TimeFormatterTest, TypedEntriesCommit)
{
    struct Case {
        const char* name;
        const char* typed; // '<' is backspace
        int64_t now; // seconds
        int64_t origin; // seconds
        int64_t maximum; // seconds, 0 none
        bool pictures; // 30 fps pictures, else no frame rate
        int64_t expected; // units at 600
    };
    const Case cases[] = {
        { "+1. is a second later", "+1.", 100, 0, 0, true, 101 * 600 },
        { "-1. is a second earlier", "-1.", 100, 0, 0, true, 99 * 600 },
        { "1. is a second after the origin", "1.", 100, 10, 0, true, 11 * 600 },
        { "relative ignores the origin", "+1.", 100, 10, 0, true, 101 * 600 },
        { "minutes and seconds", "2.30.", 0, 0, 0, true, 150 * 600 },
        { "frames at the frame rate", "120", 0, 0, 0, true, 4 * 600 },
        { "seconds and frames", "1.15", 0, 0, 0, true, 600 + 300 },
        { "relative frames", "-15", 10, 0, 0, true, 10 * 600 - 300 },
        { "backspace takes the last key", "35<.", 0, 0, 0, true, 3 * 600 },
        { "beyond the maximum lands on it", "5.0.", 0, 0, 120, true, 120 * 600 },
        { "a negative result lands on the start", "-200.", 100, 0, 0, true, 0 },
        { "without a frame rate frames add nothing", "120", 5, 0, 0, false, 0 },
        { "without a frame rate seconds still count", "3.45", 5, 0, 0, false, 3 * 600 },
        { "typed hours", "1.0.0.0", 0, 0, 0, true, 3600 * 600 },
    };
    for (const auto& c : cases) {
        auto movie = c.pictures ? thirtyFpsMovie() : timeCodeMovie(kNonDrop25, 0, 600, 600 * 60);
        movie->setCurrentTime(MVMakeTime(c.now * 600, 600));
        TimeFormatter formatter(1);
        formatter.setMovie(movie);
        formatter.setOrigin(c.origin * 600);
        formatter.setMaximum(c.maximum * 600);
        formatter.timeString();
        formatter.select(0, true);
        typeKeys(formatter, c.typed);
        EXPECT_EQ(formatter.editState(), GenericFormatter::FreeEntry) << c.name;
        formatter.applyEdit();
        EXPECT_EQ(movieTimeAt(*movie, 600), c.expected) << c.name;
    }
}

TEST(TimeFormatterTest, LongTimesCommitWithout32BitOverflow)
{
    // 30 hours at 90 kHz is about 9.7 billion units.
    auto movie = pictureMovie(90000, 3000, 60);
    TimeFormatter formatter(1);
    formatter.setMovie(movie);
    formatter.timeString();
    formatter.select(0, true);
    typeKeys(formatter, "30.0.0.0");
    formatter.applyEdit();
    EXPECT_EQ(movie->currentTime().timeValue, int64_t(30) * 3600 * 90000);
    EXPECT_EQ(movie->currentTime().timeScale, 90000);
}

TEST(TimeFormatterTest, KeysWithoutAFieldOrWholeSelectionAreIgnored)
{
    auto movie = thirtyFpsMovie();
    TimeFormatter formatter(1);
    formatter.setMovie(movie);
    EXPECT_EQ(formatter.timeString(), "00:00:00");
    EXPECT_FALSE(formatter.doKeyDown('5'));
    EXPECT_FALSE(formatter.isModified());
    formatter.applyEdit(); // nothing edited: the movie stays
    EXPECT_EQ(movieTimeAt(*movie, 600), 0);
    formatter.select(0, true);
    typeKeys(formatter, "7.");
    formatter.cancelEdit();
    EXPECT_EQ(movieTimeAt(*movie, 600), 0);
    EXPECT_EQ(formatter.timeString(), "00:00:00");
}

TEST(GenericFormatterTest, DotParse)
{
    using V = std::vector<int64_t>;
    const struct {
        const char* text;
        std::optional<V> parsed;
    } cases[] = {
        { "", std::nullopt },
        { "+1.30", V { 1, 30, 1 } },
        { "-1.", V { -1, 0, 1 } },
        { "1.", V { 0, 0, 1 } },
        { "120", V { 0, 120 } },
        { "+", V { 1, 0 } },
        { "1..2", V { 0, 2, 0, 1 } },
        { "99999999999999999999", V { 0, 1'000'000'000'000LL } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(GenericFormatter::dotParse(c.text), c.parsed) << c.text;
}

TEST(FakeFrameFormatterTest, FramesFromTheFrameRate)
{
    const struct {
        int64_t time;
        double rate;
        const char* text;
    } cases[] = {
        { 4 * 600, 30, "120 F" },
        { 10, 30, "0 F" }, // half a frame rounds to even
        { 30, 30, "2 F" }, // one and a half frames round to even
        { 4 * 600, 0, "0 F" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FakeFrameFormatter::textForFrames(c.time, 600, c.rate), c.text) << c.time << " " << c.rate;
    EXPECT_EQ(FakeFrameFormatter::textForFrames(600, 0, 30), "0 F");
}

TEST(FakeFrameFormatterTest, ArrowsStepWholeFramesAndTheTextIsReplacedWhole)
{
    auto movie = thirtyFpsMovie();
    movie->setCurrentTime(MVMakeTime(600, 600));
    FakeFrameFormatter formatter(5);
    formatter.setMovie(movie);
    ASSERT_EQ(formatter.timeString(), "30 F");
    formatter.select(1, false);
    EXPECT_EQ(formatter.selectionMode(), -1);
    EXPECT_FALSE(formatter.moveField(1));
    formatter.incrementField(1);
    formatter.incrementField(1);
    EXPECT_EQ(formatter.timeString(), "32 F");
    formatter.incrementField(-100);
    EXPECT_EQ(formatter.timeString(), "0 F");
    formatter.incrementField(3);
    formatter.applyEdit();
    EXPECT_EQ(movieTimeAt(*movie, 600), 60);
    // A typed number is a frame count.
    formatter.select(0, true);
    typeKeys(formatter, "120");
    formatter.applyEdit();
    EXPECT_EQ(movieTimeAt(*movie, 600), 4 * 600);
}

TEST(FakeFrameFormatterTest, NoFrameRateNeverMovesByGarbage)
{
    auto movie = timeCodeMovie(kNonDrop25, 0, 600, 600 * 60); // no pictures: no frame rate
    movie->setCurrentTime(MVMakeTime(600, 600));
    FakeFrameFormatter formatter(5);
    formatter.setMovie(movie);
    EXPECT_EQ(formatter.timeString(), "0 F");
    formatter.incrementField(1);
    formatter.applyEdit();
    EXPECT_EQ(movieTimeAt(*movie, 600), 600);
}

// One hour of 29.97 drop-frame code from 01:00:00;00 in a movie at 30000.
class TimeCodeFormatterTest : public ::testing::Test {
protected:
    static constexpr int64_t kStart = 107892;
    static constexpr int64_t kFrame = 1001;
    std::shared_ptr<MVMovie> movie = timeCodeMovie(kDropFrame2997, kStart, 30000, kFrame * 107892);

    void at(int64_t frame) { movie->setCurrentTime(MVMakeTime(frame * kFrame, 30000)); }
    int64_t frameNow() const { return movieTimeAt(*movie, 30000) / kFrame; }
};

TEST_F(TimeCodeFormatterTest, ShowsTheTrackTimeCode)
{
    DropFrameFormatter drop(3);
    drop.setMovie(movie);
    // The same frames labelled without dropping: the track's start, frame 107892, is 00:59:56:12.
    TimeCodeFormatter plain(2);
    plain.setMovie(movie);
    const struct {
        int64_t frame;
        const char* dropText;
        const char* plainText;
    } cases[] = {
        { 0, "01:00:00;00", "00:59:56:12" },
        { 1800, "01:01:00;02", "01:00:56:12" },
        { 17982, "01:10:00;00", "01:09:55:24" },
    };
    for (const auto& c : cases) {
        at(c.frame);
        EXPECT_EQ(drop.timeString(), c.dropText) << c.frame;
        EXPECT_EQ(plain.timeString(), c.plainText) << c.frame;
    }
    EXPECT_EQ(drop.maxTimeString(), "01:59:59;29");
    EXPECT_EQ(drop.maxValueForField(0), 29);
    EXPECT_EQ(drop.maxValueForField(1), 59);
    EXPECT_EQ(drop.maxValueForField(3), 99);

    // A 25 fps track from 10:00:00:00 in a movie at 600.
    auto tape = timeCodeMovie(kNonDrop25, 10 * 3600 * 25, 600, 600 * 60);
    TimeCodeFormatter formatter(2);
    formatter.setMovie(tape);
    tape->setCurrentTime(MVMakeTime(600 * 30 + 48, 600));
    EXPECT_EQ(formatter.timeString(), "10:00:30:02");
    EXPECT_EQ(formatter.maxTimeString(), "10:00:59:24");
    EXPECT_EQ(formatter.maxValueForField(0), 24);
}

TEST_F(TimeCodeFormatterTest, NoTimeCodeTrackIsNotAvailable)
{
    auto pictures = thirtyFpsMovie();
    for (int mode : { 2, 3, 4 }) {
        auto formatter = FormatterFactory::formatterOfType(mode);
        formatter->setMovie(pictures);
        EXPECT_EQ(formatter->timeString(), "----N/A----") << mode;
        formatter->select(0, true);
        typeKeys(*formatter, "12");
        formatter->applyEdit();
        EXPECT_EQ(movieTimeAt(*pictures, 600), 0) << mode;
    }
}

TEST_F(TimeCodeFormatterTest, ARemovedTrackIsNoLongerAvailable)
{
    DropFrameFormatter formatter(3);
    formatter.setMovie(movie);
    EXPECT_EQ(formatter.timeString(), "01:00:00;00");
    movie->removeTrack(MVTimeCodeMedia::timeCodeTrack(*movie));
    EXPECT_EQ(formatter.timeString(), "----N/A----");
    formatter.select(0, true);
    typeKeys(formatter, "1.0.0.0");
    formatter.applyEdit();
    EXPECT_EQ(frameNow(), 0);
}

TEST_F(TimeCodeFormatterTest, Commits)
{
    const struct {
        const char* name;
        int64_t from;
        int selectAt; // −1: type over the whole text
        const char* keys;
        int64_t frame;
    } cases[] = {
        { "fields: seconds", 0, 6, "10", 300 },
        { "fields: frames wrap at the rate", 0, 9, "", 29 },
        { "absolute entry", 0, -1, "1.0.10.0", 300 },
        { "relative seconds carry into minutes", 45 * 30, -1, "+30.", 75 * 30 - 2 },
        { "relative frames back", 100, -1, "-10", 90 },
        { "before the track's start lands on it", 100, -1, "-2.0.0.", 0 },
        { "beyond the end lands on the last frame", 0, -1, "5.0.0.0", 107891 },
    };
    for (const auto& c : cases) {
        at(c.from);
        DropFrameFormatter formatter(3);
        formatter.setMovie(movie);
        formatter.timeString();
        if (c.selectAt >= 0) {
            formatter.select(c.selectAt, false);
            if (!*c.keys)
                formatter.incrementField(-1);
        } else {
            formatter.select(0, true);
        }
        typeKeys(formatter, c.keys);
        formatter.applyEdit();
        EXPECT_EQ(frameNow(), c.frame) << c.name;
    }
}

TEST_F(TimeCodeFormatterTest, FrameArrowsWrapAtTheFrameRate)
{
    at(29);
    DropFrameFormatter formatter(3);
    formatter.setMovie(movie);
    ASSERT_EQ(formatter.timeString(), "01:00:00;29");
    formatter.select(10, false);
    formatter.incrementField(1);
    EXPECT_EQ(formatter.timeString(), "01:00:00;00");
    formatter.incrementField(-1);
    EXPECT_EQ(formatter.timeString(), "01:00:00;29");
}

TEST_F(TimeCodeFormatterTest, FrameNumbers)
{
    FrameFormatter relative(4);
    relative.setMovie(movie);
    FrameFormatter absolute(4);
    absolute.setMovie(movie);
    absolute.applyAbsoluteFrameNumberMode();
    at(1800);
    EXPECT_EQ(relative.timeString(), "1800 F");
    EXPECT_EQ(absolute.timeString(), "109692 F");
    EXPECT_EQ(relative.maxTimeString(), "215783 F");
    relative.select(1, false);
    EXPECT_EQ(relative.selectionMode(), -1);

    const struct {
        const char* name;
        bool absoluteMode;
        const char* keys;
        int64_t frame;
    } cases[] = {
        { "beyond 16 bits", false, "40000", 40000 },
        { "absolute numbers", true, "107992", 100 },
        { "step forward", false, "+10", 1810 },
        { "step back", false, "-10", 1790 },
        { "far back lands on the start", false, "-50000", 0 },
    };
    for (const auto& c : cases) {
        at(1800);
        FrameFormatter formatter(4);
        formatter.setMovie(movie);
        if (c.absoluteMode)
            formatter.applyAbsoluteFrameNumberMode();
        formatter.timeString();
        formatter.select(0, true);
        typeKeys(formatter, c.keys);
        formatter.applyEdit();
        EXPECT_EQ(frameNow(), c.frame) << c.name;
    }
    // The arrows step frames, and Return on an unedited field stays.
    at(1800);
    FrameFormatter formatter(4);
    formatter.setMovie(movie);
    formatter.timeString();
    formatter.incrementField(5);
    EXPECT_EQ(formatter.timeString(), "1805 F");
    formatter.applyEdit();
    EXPECT_EQ(frameNow(), 1805);
    formatter.applyEdit();
    EXPECT_EQ(frameNow(), 1805);
}

TEST(FormatterFactoryTest, ModesMakeTheirFormatters)
{
    const struct {
        int mode;
        const std::type_info* type;
    } cases[] = {
        { 1, &typeid(TimeFormatter) },
        { 2, &typeid(TimeCodeFormatter) },
        { 3, &typeid(DropFrameFormatter) },
        { 4, &typeid(FrameFormatter) },
        { 5, &typeid(FakeFrameFormatter) },
    };
    for (const auto& c : cases) {
        auto formatter = FormatterFactory::formatterOfType(c.mode);
        ASSERT_NE(formatter, nullptr) << c.mode;
        EXPECT_EQ(typeid(*formatter), *c.type) << c.mode;
    }
    EXPECT_EQ(FormatterFactory::formatterOfType(0), nullptr);
    EXPECT_EQ(FormatterFactory::formatterOfType(6), nullptr);
}

TEST(FormatterObjectValueTest, MovieTimesToTextAndBack)
{
    auto pictures = thirtyFpsMovie();
    auto code = timeCodeMovie(kDropFrame2997, 107892, 30000, int64_t(1001) * 107892);
    auto tape = timeCodeMovie(kNonDrop25, 10 * 3600 * 25, 600, 600 * 60);
    const struct {
        int mode;
        std::shared_ptr<MVMovie> movie;
        int64_t time;
        const char* text;
        int64_t readBack;
    } cases[] = {
        { 1, pictures, 90 * 600 + 10, "00:01:30", 90 * 600 },
        { 5, pictures, 4 * 600, "120 F", 4 * 600 },
        { 2, tape, 600 * 30 + 50, "10:00:30:02", 600 * 30 + 48 },
        { 3, code, 1800 * 1001 + 7, "01:01:00;02", 1800 * 1001 },
        { 4, code, 1800 * 1001, "1800 F", 1800 * 1001 },
    };
    for (const auto& c : cases) {
        auto formatter = FormatterFactory::formatterOfType(c.mode);
        formatter->setMovie(c.movie);
        EXPECT_EQ(formatter->stringForObjectValue(HXPropertyList(c.time)), c.text) << c.mode;
        HXPropertyList value;
        std::string error;
        ASSERT_TRUE(formatter->getObjectValue(value, c.text, &error)) << c.mode << " " << error;
        EXPECT_EQ(value.integerValue(), c.readBack) << c.mode;
        EXPECT_FALSE(formatter->getObjectValue(value, "", &error)) << c.mode;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(formatter->stringForObjectValue(HXPropertyList("x")), "") << c.mode;
    }
}

} // namespace
