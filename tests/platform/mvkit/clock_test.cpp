// The movie clock against a manual clock: rates, ends, looping, selection-only play, stepping.
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/playback/movie_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// A clock at 600 units per second over a 10 s movie, recording what it reports.
struct ClockFixture {
    std::shared_ptr<HXManualClock> host = std::make_shared<HXManualClock>(500.0);
    MVMovieClock clock { 600, [h = host] { return h->now(); } };
    std::vector<std::string> events;

    ClockFixture()
    {
        clock.setDuration(6000);
        clock.onRateChange
            = [this](double rate) { events.push_back("rate " + std::to_string(int(rate * 100))); };
        clock.onTimeJump = [this] { events.push_back("jump"); };
        clock.onDidEnd = [this] { events.push_back("end"); };
    }
    // Runs the host clock for `seconds`, updating every 1/60 s like the presentation timer.
    void run(double seconds)
    {
        for (double done = 0; done < seconds - 1e-9; done += 1.0 / 60) {
            host->advance(1.0 / 60);
            clock.update();
        }
    }
};

} // namespace

TEST(ClockTest, RatesMoveTimeAtTheirSpeed)
{
    struct Case {
        double rate;
        int64_t start;
        double seconds;
        int64_t expected;
    };
    const Case cases[] = {
        { 1, 0, 2, 1200 },
        { 2, 0, 1.5, 1800 },
        { 0.5, 600, 2, 1200 },
        { 0.25, 0, 1, 150 },
        { -1, 3000, 1, 2400 },
        { -2, 3000, 1, 1800 },
        { 0, 100, 5, 100 },
    };
    for (const auto& c : cases) {
        ClockFixture f;
        f.clock.setCurrentTime(c.start);
        f.clock.setRate(c.rate);
        f.run(c.seconds);
        EXPECT_NEAR(double(f.clock.currentTime()), double(c.expected), 1.0) << c.rate;
    }
}

TEST(ClockTest, PlayingIntoAnEndStopsThereOnce)
{
    struct Case {
        double rate;
        int64_t start;
        int64_t end;
    };
    for (const Case& c : { Case { 1, 5400, 6000 }, Case { -1, 600, 0 }, Case { 3, 5000, 6000 } }) {
        ClockFixture f;
        f.clock.setCurrentTime(c.start);
        f.events.clear();
        f.clock.setRate(c.rate);
        f.run(3);
        EXPECT_EQ(f.clock.currentTime(), c.end);
        EXPECT_EQ(f.clock.rate(), 0);
        EXPECT_TRUE(f.clock.isDone() || c.rate < 0);
        ASSERT_EQ(f.events.size(), 3u) << c.rate;
        EXPECT_EQ(f.events[1], "rate 0");
        EXPECT_EQ(f.events[2], "end");
    }
}

TEST(ClockTest, LoopingWrapsAndBackAndForthTurns)
{
    {
        ClockFixture f;
        f.clock.setLoopMode(MVLoopMode::Loop);
        f.clock.setCurrentTime(5400);
        f.clock.setRate(1);
        f.events.clear();
        f.run(1.5); // 1 s to the end, then 0.5 s from the start
        EXPECT_NEAR(double(f.clock.currentTime()), 300, 11);
        EXPECT_EQ(f.clock.rate(), 1);
        EXPECT_EQ(f.events, (std::vector<std::string> { "jump" }));
    }
    {
        ClockFixture f;
        f.clock.setLoopMode(MVLoopMode::Loop);
        f.clock.setCurrentTime(300);
        f.clock.setRate(-1);
        f.run(1); // back through the start to the end
        EXPECT_NEAR(double(f.clock.currentTime()), 5700, 11);
        EXPECT_EQ(f.clock.rate(), -1);
    }
    {
        ClockFixture f;
        f.clock.setLoopMode(MVLoopMode::BackAndForth);
        f.clock.setCurrentTime(5400);
        f.clock.setRate(2);
        f.events.clear();
        f.run(1); // 0.5 s up to the end, 0.5 s back down at rate −2
        EXPECT_NEAR(double(f.clock.currentTime()), 5400, 21);
        EXPECT_EQ(f.clock.rate(), -2);
        EXPECT_EQ(f.events, (std::vector<std::string> { "rate -200" }));
        f.run(5); // down to the start and up again
        EXPECT_EQ(f.clock.rate(), 2);
        EXPECT_NEAR(double(f.clock.currentTime()), 600, 21);
    }
}

TEST(ClockTest, SelectionOnlyPlaysTheSelection)
{
    ClockFixture f;
    f.clock.setSelection(1200, 600);
    f.clock.setPlaysSelectionOnly(true);
    f.clock.setCurrentTime(4000); // outside: play starts at the selection
    f.events.clear();
    f.clock.setRate(1);
    EXPECT_EQ(f.clock.currentTime(), 1200);
    f.run(2);
    EXPECT_EQ(f.clock.currentTime(), 1800);
    EXPECT_EQ(f.clock.rate(), 0);
    EXPECT_TRUE(f.clock.isDone(true));
    EXPECT_FALSE(f.clock.isDone(false));
    EXPECT_EQ(f.events, (std::vector<std::string> { "jump", "rate 100", "rate 0", "end" }));

    // Looping inside the selection; an empty selection means the whole movie.
    f.clock.setLoopMode(MVLoopMode::Loop);
    f.clock.setRate(1);
    EXPECT_EQ(f.clock.currentTime(), 1200);
    f.run(1.25);
    EXPECT_NEAR(double(f.clock.currentTime()), 1350, 11);
    f.clock.setRate(0);
    f.clock.setSelection(1200, 0);
    EXPECT_EQ(f.clock.rangeStart(), 0);
    EXPECT_EQ(f.clock.rangeEnd(), 6000);
    f.clock.gotoEnd();
    EXPECT_EQ(f.clock.currentTime(), 6000);
}

TEST(ClockTest, SteppingStopsAndStaysInsideTheMovie)
{
    struct Case {
        int64_t start;
        int frames;
        int64_t expected;
    };
    // Frames every 24 units (25 fps at 600) starting at 0.
    auto stepper = [](int64_t t, int direction) -> int64_t {
        int64_t frame = t / 24;
        int64_t next = direction > 0 ? (frame + 1) * 24 : (t % 24 ? frame * 24 : (frame - 1) * 24);
        return std::clamp<int64_t>(next, 0, 6000);
    };
    const Case cases[] = { { 0, 1, 24 }, { 30, 1, 48 }, { 30, -1, 24 }, { 48, -1, 24 }, { 0, -1, 0 },
        { 5990, 3, 6000 }, { 100, 10, 336 }, { 100, -10, 0 } };
    for (const auto& c : cases) {
        ClockFixture f;
        f.clock.setFrameStepper(stepper);
        f.clock.setCurrentTime(c.start);
        f.clock.setRate(1);
        f.clock.step(c.frames, 0);
        EXPECT_EQ(f.clock.currentTime(), c.expected) << c.start << " " << c.frames;
        EXPECT_EQ(f.clock.rate(), 0);
    }
    ClockFixture f;
    f.clock.step(3, 20); // no frames: fixed steps
    EXPECT_EQ(f.clock.currentTime(), 60);
    f.clock.stepByTime(-600);
    EXPECT_EQ(f.clock.currentTime(), 0);
    f.clock.stepByTime(601);
    EXPECT_EQ(f.clock.currentTime(), 601);
}

TEST(ClockTest, AllFramesNeverSkipsAFrame)
{
    ClockFixture f;
    std::vector<int64_t> seen;
    f.clock.setFrameStepper([](int64_t t, int direction) { return direction > 0 ? (t / 24 + 1) * 24 : t; });
    f.clock.setPlaysAllFrames(true);
    f.clock.setRate(4); // 100 frames a second, presented 60 times a second
    for (int i = 0; i < 30; ++i) {
        f.host->advance(1.0 / 60);
        f.clock.update();
        seen.push_back(f.clock.currentTime());
    }
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], int64_t(i + 1) * 24);
}

TEST(ClockTest, ChangingTheSourceDoesNotJump)
{
    ClockFixture f;
    f.clock.setRate(1);
    f.run(1);
    int64_t before = f.clock.currentTime();
    double audio = 77.0;
    f.clock.setTimeSource([&audio] { return audio; });
    f.clock.update();
    EXPECT_EQ(f.clock.currentTime(), before);
    audio += 0.5;
    f.clock.update();
    EXPECT_NEAR(double(f.clock.currentTime()), double(before + 300), 1);
}

TEST(ClockTest, ABadRateStopsAndTimesStayInRange)
{
    ClockFixture f;
    f.clock.setRate(1);
    f.clock.setRate(std::nan(""));
    EXPECT_EQ(f.clock.rate(), 0);
    f.clock.setCurrentTime(-50);
    EXPECT_EQ(f.clock.currentTime(), 0);
    f.clock.setCurrentTime(999999);
    EXPECT_EQ(f.clock.currentTime(), 6000);
    f.clock.setDuration(1200);
    EXPECT_EQ(f.clock.currentTime(), 1200);
}

TEST(ClockTest, AHeldClockStandsStillAndGoesOnWithoutAJump)
{
    ClockFixture f;
    f.clock.setRate(1);
    f.run(1);
    f.clock.setHeld(true);
    f.run(2);
    EXPECT_EQ(f.clock.currentTime(), 600);
    EXPECT_EQ(f.clock.rate(), 1);
    EXPECT_NEAR(f.clock.presentTime(), 600, 1e-6);
    f.clock.setHeld(false);
    f.run(0.5);
    EXPECT_EQ(f.clock.currentTime(), 900);
    // Only the rate change was reported: no jumps.
    EXPECT_EQ(f.events, std::vector<std::string> { "rate 100" });
}

TEST(ClockTest, TimeThatPassesBetweenReadingsOfTheSourceIsNotLost)
{
    // On a busy machine (or with a sound device whose clock jumps by a buffer) the source moves on
    // between any two readings of it: every one of those moments still counts.
    double source = 0;
    MVMovieClock clock(600, [&source] { return source += 0.003; });
    clock.setDuration(60000);
    clock.setRate(1);
    const double start = source;
    for (int i = 0; i < 600; ++i)
        clock.update();
    EXPECT_NEAR(double(clock.currentTime()), (source - start) * 600, 3);
}

TEST(ClockTest, AClockFollowingTheSoundStopsRightAtTheSelectionsEnd)
{
    ClockFixture f;
    f.clock.setSelection(600, 600);
    f.clock.setPlaysSelectionOnly(true);
    double heard = 600;
    f.clock.setRate(1);
    f.clock.setFollower([&heard] { return heard; });
    heard = 900;
    f.clock.update();
    EXPECT_EQ(f.clock.currentTime(), 900);
    heard = 1234; // the sound ran past the end before the clock looked
    f.clock.update();
    EXPECT_EQ(f.clock.rate(), 0);
    EXPECT_EQ(f.clock.currentTime(), 1200);
    f.clock.setFollower(nullptr);
    EXPECT_EQ(f.clock.currentTime(), 1200);
}
