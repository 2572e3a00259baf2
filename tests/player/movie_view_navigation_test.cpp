#include "player/window/movie_view_navigation.h"

#include "platform/winkit/event.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

MVTime seconds(double s)
{
    return MVMakeTime(int64_t(std::llround(s * 600)), 600);
}

double inSeconds(MVTime t)
{
    double s = 0;
    MVGetTimeInterval(t, &s);
    return s;
}

// A 40-second movie; chapters (when given) start at the listed seconds. Everything done is logged.
class FakeMovie : public MVPMovieViewNavigationTarget {
public:
    MVTime now = seconds(0);
    float movieRate = 0;
    MVTimeRange range = { seconds(0), seconds(0) };
    bool timeCode = false;
    std::vector<double> chapterStarts;
    std::vector<std::string> log;

    MVTime currentTime() const override { return now; }
    void setCurrentTime(MVTime time) override { now = time; }
    MVTime duration() const override { return seconds(40); }
    float rate() const override { return movieRate; }
    void setRate(float rate) override { movieRate = rate; }
    MVTimeRange selection() const override { return range; }
    void setSelection(MVTimeRange selection) override { range = selection; }
    bool hasTimeCodeTrack() const override { return timeCode; }
    void stepForward() override { log.push_back("stepForward"); }
    void stepBackward() override { log.push_back("stepBackward"); }
    void stepFrameForward() override { log.push_back("stepFrameForward"); }
    void stepFrameBackward() override { log.push_back("stepFrameBackward"); }
    void step(int frames) override { log.push_back("step " + std::to_string(frames)); }
    bool hasChapters() const override { return !chapterStarts.empty(); }
    int chapterCount() const override { return int(chapterStarts.size()); }
    int chapterIndexForTime(MVTime time) const override
    {
        int index = 0;
        for (size_t i = 0; i < chapterStarts.size(); ++i) {
            if (MVTimeCompare(seconds(chapterStarts[i]), time) <= 0)
                index = int(i);
        }
        return index;
    }
    MVTime startTimeOfChapter(int index) const override { return seconds(chapterStarts.at(size_t(index))); }
    void gotoBeginning() override
    {
        log.push_back("gotoBeginning");
        now = seconds(0);
    }
    void gotoEnd() override
    {
        log.push_back("gotoEnd");
        now = seconds(40);
    }
    void deleteSelectedSegment() override { log.push_back("delete"); }
};

HXEvent key(const std::string& characters, uint32_t modifiers = 0, HXEventType type = HXKeyDown)
{
    return HXEvent::keyEvent(
        type, HXZeroPoint, modifiers, 0, 0, characters, characters, false, HXKeyCodeUnknown);
}

TEST(MovieViewNavigation, JAndLChangeTheRateWithinThree)
{
    FakeMovie movie;
    MVPMovieViewNavigation nav(movie);
    std::vector<float> rates;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(nav.handleKeyDown(key("l")));
        rates.push_back(movie.movieRate);
    }
    EXPECT_EQ(rates, (std::vector<float> { 1, 2, 3, 3, 3 }));
    rates.clear();
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(nav.handleKeyDown(key("j")));
        rates.push_back(movie.movieRate);
    }
    EXPECT_EQ(rates, (std::vector<float> { 2, 1, 0, -1, -2, -3, -3 }));
}

TEST(MovieViewNavigation, KHeldStepsFramesUntilItsKeyUp)
{
    const struct {
        bool timeCode;
        const char* forward;
        const char* backward;
    } cases[]
        = { { true, "stepFrameForward", "stepFrameBackward" }, { false, "stepForward", "stepBackward" } };
    for (const auto& c : cases) {
        FakeMovie movie;
        movie.timeCode = c.timeCode;
        movie.movieRate = 2;
        MVPMovieViewNavigation nav(movie);
        EXPECT_TRUE(nav.handleKeyDown(key("k")));
        EXPECT_EQ(movie.movieRate, 0);
        EXPECT_FALSE(nav.holdKeyReleased());
        nav.handleKeyDown(key("l"));
        nav.handleKeyDown(key("l")); // a key repeat is one more step
        nav.handleKeyDown(key("j"));
        EXPECT_EQ(movie.log, (std::vector<std::string> { c.forward, c.forward, c.backward }));
        EXPECT_EQ(movie.movieRate, 0);

        // Other key-ups do not end the hold; K's does, wherever the keyboard was.
        nav.keyEventNotification(key("l", 0, HXKeyUp));
        nav.keyEventNotification(key("k", 0, HXKeyDown));
        EXPECT_FALSE(nav.holdKeyReleased());
        nav.keyEventNotification(key("k", 0, HXKeyUp));
        EXPECT_TRUE(nav.holdKeyReleased());
        nav.handleKeyDown(key("l"));
        EXPECT_EQ(movie.movieRate, 1);
    }
}

TEST(MovieViewNavigation, ModifiedAndUnknownKeysAreLeftToOthers)
{
    const struct {
        const char* what;
        HXEvent event;
    } cases[] = {
        { "shift L", key("L", HXShiftKeyMask) },
        { "command J", key("j", HXCommandKeyMask) },
        { "l with caps lock on", key("l", HXAlphaShiftKeyMask) },
        { "option K", key("k", HXAlternateKeyMask) },
        { "control I", key("i", HXControlKeyMask) },
        { "function-key flag", key("o", HXFunctionKeyMask) },
        { "an unknown letter", key("x") },
        { "no characters", key("") },
    };
    for (const auto& c : cases) {
        FakeMovie movie;
        movie.movieRate = 1;
        MVPMovieViewNavigation nav(movie);
        EXPECT_FALSE(nav.handleKeyDown(c.event)) << c.what;
        EXPECT_EQ(movie.movieRate, 1) << c.what;
        EXPECT_TRUE(nav.holdKeyReleased()) << c.what;
        EXPECT_TRUE(movie.log.empty()) << c.what;
    }
}

TEST(MovieViewNavigation, SelectionKeys)
{
    const struct {
        const char* key;
        double now;
        MVTimeRange before;
        double start, duration;
    } cases[] = {
        // I before the end keeps the end; after it, an empty selection at the current time.
        { "i", 2, { seconds(5), seconds(10) }, 2, 13 },
        { "i", 15, { seconds(5), seconds(10) }, 15, 10 - 10 },
        { "i", 20, { seconds(5), seconds(10) }, 20, 0 },
        // O after the start keeps the start; before it, an empty selection at the current time.
        { "o", 12, { seconds(5), seconds(10) }, 5, 7 },
        { "o", 5, { seconds(5), seconds(10) }, 5, 0 },
        { "o", 3, { seconds(5), seconds(10) }, 3, 0 },
    };
    for (const auto& c : cases) {
        FakeMovie movie;
        movie.now = seconds(c.now);
        movie.range = c.before;
        MVPMovieViewNavigation nav(movie);
        EXPECT_TRUE(nav.handleKeyDown(key(c.key)));
        EXPECT_DOUBLE_EQ(inSeconds(movie.range.time), c.start) << c.key << " at " << c.now;
        EXPECT_DOUBLE_EQ(inSeconds(movie.range.duration), c.duration) << c.key << " at " << c.now;
    }
}

TEST(MovieViewNavigation, DeleteOnlyWithASelection)
{
    FakeMovie movie;
    MVPMovieViewNavigation nav(movie);
    EXPECT_TRUE(nav.handleKeyDown(key("\x7f")));
    EXPECT_TRUE(movie.log.empty());
    movie.range = { seconds(1), seconds(2) };
    EXPECT_TRUE(nav.handleKeyDown(key("\x7f")));
    EXPECT_EQ(movie.log, (std::vector<std::string> { "delete" }));
}

TEST(MovieViewNavigation, PreviousChapterGoesBackOneWithinTwoSeconds)
{
    const struct {
        double now;
        double target;
    } cases[] = {
        { 31, 20 }, { 31.99, 20 }, { 32, 30 }, { 35, 30 }, // chapter 3
        { 10, 0 }, // the very start of chapter 1
        { 0, 0 }, { 1, 0 }, { 5, 0 }, // chapter 0 has none before it
    };
    for (const auto& c : cases) {
        FakeMovie movie;
        movie.chapterStarts = { 0, 10, 20, 30 };
        movie.now = seconds(c.now);
        MVPMovieViewNavigation nav(movie);
        nav.gotoPreviousChapter();
        EXPECT_DOUBLE_EQ(inSeconds(movie.now), c.target) << c.now;
        EXPECT_DOUBLE_EQ(inSeconds(nav.lastTimeBeforeChapterChange()), c.now);
    }
}

TEST(MovieViewNavigation, TheOppositeChapterCommandReturnsToTheTimeLeft)
{
    // Each row: a start time and the commands, with the time after each.
    struct Step {
        char command; // 'n' next, 'p' previous
        double after;
    };
    const struct {
        const char* what;
        double start;
        std::vector<Step> steps;
    } cases[] = {
        { "previous then next", 15, { { 'p', 10 }, { 'n', 15 }, { 'n', 20 } } },
        { "next then previous", 15, { { 'n', 20 }, { 'p', 15 }, { 'p', 10 } } },
        // The time left lies beyond the next chapter's start: next goes to that chapter instead.
        { "back over two chapters", 25, { { 'p', 20 }, { 'p', 10 }, { 'n', 20 } } },
        // In the last chapter next returns to the time left when it lies before the end.
        { "last chapter", 33, { { 'p', 30 }, { 'n', 33 }, { 'n', 40 } } },
    };
    for (const auto& c : cases) {
        FakeMovie movie;
        movie.chapterStarts = { 0, 10, 20, 30 };
        movie.now = seconds(c.start);
        MVPMovieViewNavigation nav(movie);
        for (const auto& s : c.steps) {
            if (s.command == 'n')
                nav.gotoNextChapter();
            else
                nav.gotoPreviousChapter();
            EXPECT_DOUBLE_EQ(inSeconds(movie.now), s.after) << c.what << " " << s.command;
        }
    }
}

TEST(MovieViewNavigation, WithoutChaptersTheEndsAndBack)
{
    FakeMovie movie;
    movie.now = seconds(12);
    MVPMovieViewNavigation nav(movie);
    nav.gotoNextChapter();
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 40);
    nav.gotoPreviousChapter(); // back to where the jump left
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 12);
    EXPECT_TRUE(MVTimeIsIndefinite(nav.lastTimeBeforeChapterChange()));
    nav.gotoPreviousChapter();
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 0);
    nav.gotoNextChapter(); // back to 12, before the end
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 12);
    EXPECT_EQ(movie.log, (std::vector<std::string> { "gotoEnd", "gotoBeginning" }));

    // Swipes: left is next, right is previous, none is nothing.
    movie.now = seconds(12);
    nav.swipe(0);
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 12);
    nav.swipe(-1);
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 40);
    nav.swipe(0.5);
    EXPECT_DOUBLE_EQ(inSeconds(movie.now), 12);
}

TEST(MovieViewNavigation, WheelSteps)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double dx, dy;
        std::vector<std::string> steps;
    } cases[] = {
        { 0.3, 0, { "step -1" } }, // the horizontal delta is negated
        { 0, -2.6, { "step -3" } },
        { -2.4, 1, { "step 2" } },
        { 1.5, 1.5, { "step -2" } }, // equal sizes: the horizontal one
        { 0.01, -0.02, { "step -1" } }, // a tiny scroll still steps a frame
        { 0, 0, {} },
        { nan, 0, {} },
        { 1e30, 0, { "step -1000000000" } },
    };
    for (const auto& c : cases) {
        FakeMovie movie;
        MVPMovieViewNavigation nav(movie);
        nav.scrollWheel(c.dx, c.dy);
        EXPECT_EQ(movie.log, c.steps) << c.dx << ", " << c.dy;
    }
}

TEST(MovieViewNavigation, JogGestureArithmetic)
{
    EXPECT_EQ(MVPJogScrubStepCount(12), 2);
    EXPECT_EQ(MVPJogScrubStepCount(-12), -2);
    EXPECT_EQ(MVPJogScrubStepCount(0.5f), 1);
    EXPECT_EQ(MVPJogScrubStepCount(0), 0);

    EXPECT_EQ(MVPRelativeXTranslation(3, 4), 0);
    EXPECT_EQ(MVPRelativeXTranslation(4, 4), -4);
    EXPECT_EQ(MVPRelativeXTranslation(-5, 1), 5);

    // Shuttle: the travel builds up by a hundredth of each sum, the rate doubles per unit of travel.
    const struct {
        float sum;
        float travel;
        float rate;
    } steps[] = { { 0, 0, 1 }, { 100, 1, 2 }, { 200, 3, 8 }, { 1000, 5, 32 }, { -1000, -5, -32 },
        { 900, 4, 16 }, { std::numeric_limits<float>::quiet_NaN(), -5, -32 } };
    float travel = 0;
    for (const auto& s : steps) {
        float rate = MVPJogShuttleRate(travel, s.sum);
        EXPECT_FLOAT_EQ(travel, s.travel) << s.sum;
        EXPECT_FLOAT_EQ(rate, s.rate) << s.sum;
        EXPECT_LE(std::fabs(rate), 32);
    }
}

} // namespace
