#include "player/controls/movie_fast_rate_player.h"
#include "player/controls/movie_jog_shuttle.h"

#include "document/movie_additions.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

namespace {

// A picture-only movie at time scale `scale`: `count` samples of `sampleDuration` units each, the sync
// samples every `syncEvery` samples, shown from `start` on (empty time before it).
std::shared_ptr<MVMovie> keyFrameMovie(
    int32_t scale, int count, uint32_t sampleDuration, int syncEvery, int64_t start = 0)
{
    auto movie = MVMovie::movie();
    movie->setTimeScale(scale);
    auto track = movie->newTrack(MVFourCC("vide"), scale, 160, 120);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    auto description = MVSampleDescriptionBytes(d);
    for (int i = 0; i < count; ++i)
        track->media()->addSample(
            { uint8_t(i) }, sampleDuration, 1, description, i % syncEvery ? MVMediaSampleNotSync : 0);
    if (start > 0)
        track->insertEmptySegment(0, start);
    track->insertMedia(start, 0, int64_t(count) * sampleDuration);
    return movie;
}

int64_t timeValue(const MVMovie& movie)
{
    return MVTimeInScale(movie.currentTime(), movie.timeScale()).timeValue;
}

class JogShuttleTest : public ::testing::Test {
protected:
    void SetUp() override { loop.setClock(clock); }
    void TearDown() override { loop.setClock(nullptr); }

    bool forced() const { return MVPMovieAdditions::isForcedToAppearToBePlaying(movie); }

    HXRunLoop& loop = HXRunLoop::main();
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    // One second at 600: ten frames of 0.1 s, key frames at 0, 180, 360 and 540.
    std::shared_ptr<MVMovie> movie = keyFrameMovie(600, 10, 60, 3);
};

TEST_F(JogShuttleTest, SpeedsPickTheWayOfPlaying)
{
    const struct {
        float requested;
        float movieRate;
        bool fastRate;
    } cases[] = {
        { 0.1f, 0.25f, false },
        { -0.1f, -0.25f, false },
        { 0.25f, 0.25f, false },
        { 1, 1, false },
        { -2.5f, -2.5f, false },
        { 3.0f, 3.0f, false },
        { -3.0f, -3.0f, false },
        // Above 3×: the movie stands still and only looks as if it played.
        { 3.01f, 0, true },
        { -8, 0, true },
    };
    for (const auto& c : cases) {
        movie->setRate(0);
        movie->setCurrentTime(MVMakeTime(300, 600));
        MVPMovieJogShuttle shuttle(movie);
        shuttle.setRate(c.requested);
        EXPECT_FLOAT_EQ(movie->rate(), c.movieRate) << c.requested;
        EXPECT_EQ(forced(), c.fastRate) << c.requested;
        EXPECT_FLOAT_EQ(shuttle.rate(), c.requested) << c.requested;
        EXPECT_TRUE(shuttle.isInUse());
        shuttle.reset();
        EXPECT_FALSE(forced()) << c.requested;
    }
}

TEST_F(JogShuttleTest, AnEndTheMovieIsAtStopsTheShuttleTowardsIt)
{
    const struct {
        int64_t time;
        float requested;
        float movieRate;
    } cases[] = {
        { 600, 2, 0 },
        { 600, 0.1f, 0 },
        { 600, 10, 0 },
        { 600, -2, -2 },
        { 0, -2, 0 },
        { 0, -10, 0 },
        { 0, 2, 2 },
        { 300, 0, 0 },
    };
    for (const auto& c : cases) {
        movie->setRate(0);
        movie->setCurrentTime(MVMakeTime(c.time, 600));
        MVPMovieJogShuttle shuttle(movie);
        shuttle.setRate(c.requested);
        EXPECT_FLOAT_EQ(movie->rate(), c.movieRate) << c.time << " " << c.requested;
        EXPECT_FALSE(forced()) << c.time << " " << c.requested;
        shuttle.reset();
    }
}

TEST_F(JogShuttleTest, ResetGivesBackTheFormerRate)
{
    const struct {
        const char* what;
        float before;
        int64_t timeAtReset;
        float after;
    } cases[] = {
        { "paused", 0, 300, 0 },
        { "playing", 1, 300, 1 },
        { "playing backward", -1, 300, -1 },
        { "playing forward, shuttled into the end", 1, 600, 0 },
        { "playing backward, shuttled to the start", -1, 0, 0 },
        { "playing backward, at the end", -1, 600, -1 },
    };
    for (const auto& c : cases) {
        movie->setCurrentTime(MVMakeTime(300, 600));
        movie->setRate(c.before);
        MVPMovieJogShuttle shuttle(movie);
        shuttle.setRate(2);
        shuttle.setRate(-2); // the rate from before the shuttle is taken only once
        movie->setCurrentTime(MVMakeTime(c.timeAtReset, 600));
        shuttle.reset();
        EXPECT_FLOAT_EQ(movie->rate(), c.after) << c.what;
        EXPECT_FLOAT_EQ(shuttle.rate(), c.after) << c.what;
        EXPECT_FALSE(shuttle.isInUse());
    }
}

TEST_F(JogShuttleTest, FastRateStepsFromKeyFrameToKeyFrameAndStopsAtTheEnd)
{
    MVPMovieFastRatePlayer player(movie);
    player.setRate(6);
    movie->setCurrentTime(MVMakeTime(0, 600));
    movie->setRate(1);
    player.start();
    EXPECT_TRUE(player.isRunning());
    EXPECT_TRUE(forced());
    EXPECT_FLOAT_EQ(movie->rate(), 0);

    // Each step is the media time to the next key frame at six times the speed: 180 units, 0.05 s.
    const struct {
        double advance;
        int64_t time;
    } steps[] = { { 0.045, 0 }, { 0.01, 180 }, { 0.05, 360 }, { 0.05, 540 },
        // After the last key frame there is none: the step goes to the end, 60 units (1/60 s) later.
        { 0.01, 540 }, { 0.005, 600 } };
    for (const auto& s : steps) {
        clock->advance(s.advance);
        EXPECT_EQ(timeValue(*movie), s.time);
    }
    EXPECT_FALSE(player.isRunning());
    EXPECT_FALSE(forced());
    clock->advance(1);
    EXPECT_EQ(timeValue(*movie), 600);
}

TEST_F(JogShuttleTest, FastRateBackwardStopsAtTimeZero)
{
    // The picture starts at 100: before it there is no key frame, and the player ends at 0.
    movie = keyFrameMovie(600, 10, 60, 3, 100);
    MVPMovieFastRatePlayer player(movie);
    player.setRate(-6);
    movie->setCurrentTime(MVMakeTime(500, 600));
    player.start();
    const struct {
        double advance;
        int64_t time;
    } steps[] = { { 0, 500 }, { 0.0112, 460 }, { 0.05, 280 }, { 0.05, 100 }, { 0.0278, 0 } };
    for (const auto& s : steps) {
        clock->advance(s.advance);
        EXPECT_EQ(timeValue(*movie), s.time) << s.advance;
    }
    EXPECT_FALSE(player.isRunning());
    EXPECT_FALSE(forced());
}

TEST_F(JogShuttleTest, StoppingLeavesTheMovieWhereThePictureWouldBe)
{
    MVPMovieFastRatePlayer player(movie);
    player.setRate(6);
    player.start();
    clock->advance(0.02); // 0.03 s before the step to 180: 6 × 0.03 s = 108 units short of it
    player.stop();
    EXPECT_EQ(timeValue(*movie), 72);
    EXPECT_FALSE(player.isRunning());
    EXPECT_FALSE(forced());
    clock->advance(1);
    EXPECT_EQ(timeValue(*movie), 72);
}

TEST_F(JogShuttleTest, ANewRateRestartsFromWhereTheMovieIs)
{
    MVPMovieFastRatePlayer player(movie);
    player.setRate(6);
    player.start();
    clock->advance(0.05);
    ASSERT_EQ(timeValue(*movie), 180);
    player.setRate(-6);
    EXPECT_TRUE(player.isRunning());
    clock->advance(0.05); // back to the key frame at 0
    EXPECT_EQ(timeValue(*movie), 0);
    EXPECT_FALSE(player.isRunning());
}

TEST_F(JogShuttleTest, RateZeroStopsFastPlay)
{
    MVPMovieJogShuttle shuttle(movie);
    shuttle.setRate(12);
    ASSERT_TRUE(forced());
    clock->advance(0.025); // the step to 180 is due at 0.025 s
    ASSERT_EQ(timeValue(*movie), 180);
    shuttle.setRate(0);
    EXPECT_FALSE(forced());
    EXPECT_FLOAT_EQ(movie->rate(), 0);
    clock->advance(1);
    EXPECT_EQ(timeValue(*movie), 180);
}

TEST_F(JogShuttleTest, LongMoviesKeepTheirTimesPastThirtyTwoBits)
{
    // Eight hours at 90000 units a second, a key frame every hour: 2 592 000 000 units in all.
    const int64_t hour = 90000LL * 3600;
    movie = keyFrameMovie(90000, 8, uint32_t(hour), 1);
    movie->setCurrentTime(MVMakeTime(hour * 6 + hour / 2, 90000)); // 6.5 h, below 2^31
    MVPMovieFastRatePlayer player(movie);
    player.setRate(3600); // an hour of movie a second
    player.start();
    clock->advance(0.5);
    EXPECT_EQ(timeValue(*movie), hour * 7); // 2 268 000 000, above 2^31
    clock->advance(1);
    EXPECT_EQ(timeValue(*movie), hour * 8);
    EXPECT_FALSE(player.isRunning());
}

TEST_F(JogShuttleTest, DestroyingARunningPlayerCancelsItsStep)
{
    {
        MVPMovieFastRatePlayer player(movie);
        player.setRate(6);
        player.start();
        ASSERT_TRUE(forced());
    }
    EXPECT_FALSE(forced());
    clock->advance(1); // the step must not run into the freed player
    EXPECT_EQ(timeValue(*movie), 0);
}

TEST_F(JogShuttleTest, WithoutAMovieNothingHappens)
{
    MVPMovieJogShuttle shuttle(nullptr);
    shuttle.setRate(10);
    EXPECT_FALSE(shuttle.isInUse());
    shuttle.reset();
    MVPMovieFastRatePlayer player(nullptr);
    player.setRate(10);
    player.start();
    EXPECT_FALSE(player.isRunning());
    player.stop();
}

} // namespace
