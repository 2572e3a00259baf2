// The player of a movie still arriving: it waits where the data ends, goes on when enough arrived, and
// moves on past what a live stream no longer holds.
#include "audio_capture.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/playback/movie_player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using movara::test::silentOptions;

namespace {

class ManualClockScope {
public:
    ManualClockScope() { HXRunLoop::main().setClock(clock); }
    ~ManualClockScope() { HXRunLoop::main().setClock(nullptr); }
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
};

// Data up to `until`, nothing before `oldest`.
class FakeSupply : public MVPlaybackSupply {
public:
    int64_t until = 0;
    int64_t oldest = 0;
    bool finished = false;
    std::vector<int64_t> wanted;
    std::vector<bool> stalls;

    int64_t availableUntil(int64_t time) override { return time < oldest ? time : std::max(time, until); }
    bool isFinished() const override { return finished; }
    void want(int64_t time) override { wanted.push_back(time); }
    double resumeAhead() const override { return 1.0; }
    int64_t resumeTime(int64_t time) override { return std::max(time, oldest); }
    void stalled(bool stalled) override { stalls.push_back(stalled); }
};

struct SupplyFixture {
    ManualClockScope scope;
    std::shared_ptr<MVMoviePlayer> player = MVMoviePlayer::player(600, silentOptions());
    std::shared_ptr<FakeSupply> supply = std::make_shared<FakeSupply>();
    SupplyFixture()
    {
        player->setTracks({}, 6000, nullptr);
        player->setSupply(supply);
    }
    void run(double seconds)
    {
        for (double done = 0; done < seconds - 1e-9; done += 0.05)
            scope.clock->advance(0.05);
    }
};

} // namespace

TEST(StreamingSupplyTest, PlayingWaitsWhereTheDataEndsAndGoesOnWhenEnoughArrived)
{
    SupplyFixture f;
    f.supply->until = 600; // one second arrived
    f.player->setRate(1);
    f.run(0.5);
    EXPECT_NEAR(double(f.player->currentTime()), 300, 40);
    EXPECT_FALSE(f.player->isStalled());
    f.run(2);
    // Held just before the end of the data, the rate kept.
    EXPECT_TRUE(f.player->isStalled());
    EXPECT_EQ(f.player->rate(), 1);
    int64_t held = f.player->currentTime();
    EXPECT_LE(held, 600);
    EXPECT_GE(held, 540);
    EXPECT_EQ(f.supply->stalls, std::vector<bool> { true });
    ASSERT_FALSE(f.supply->wanted.empty());
    // A little more is not enough to go on.
    f.supply->until = held + 300;
    f.run(0.5);
    EXPECT_EQ(f.player->currentTime(), held);
    // Enough: it goes on from where it stood, without a jump.
    f.supply->until = 6000;
    f.run(0.1);
    EXPECT_FALSE(f.player->isStalled());
    EXPECT_EQ(f.supply->stalls, (std::vector<bool> { true, false }));
    EXPECT_NEAR(double(f.player->currentTime()), double(held) + 60, 40);
}

TEST(StreamingSupplyTest, NothingMoreComingPlaysToTheEnd)
{
    SupplyFixture f;
    f.supply->until = 600;
    f.player->setRate(1);
    f.run(2);
    ASSERT_TRUE(f.player->isStalled());
    f.supply->finished = true;
    f.run(10);
    EXPECT_FALSE(f.player->isStalled());
    EXPECT_EQ(f.player->rate(), 0);
    EXPECT_EQ(f.player->currentTime(), 6000);
}

TEST(StreamingSupplyTest, StoppingEndsTheWaitAndASeekAsksForItsData)
{
    SupplyFixture f;
    f.player->setRate(1); // nothing arrived yet: it waits at once
    EXPECT_TRUE(f.player->isStalled());
    f.player->setRate(0);
    EXPECT_FALSE(f.player->isStalled());
    f.player->setCurrentTime(3000);
    ASSERT_FALSE(f.supply->wanted.empty());
    EXPECT_EQ(f.supply->wanted.back(), 3000);
}

TEST(StreamingSupplyTest, APlayheadLeftBehindMovesOnToWhatIsHeld)
{
    SupplyFixture f;
    f.supply->until = 3000;
    f.supply->oldest = 1200; // a live stream dropped what came before
    f.player->setRate(1);
    f.run(0.2);
    EXPECT_FALSE(f.player->isStalled());
    EXPECT_GE(f.player->currentTime(), 1200);
}
