#include "platform/basekit/timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override { loop.setClock(clock); }
    void TearDown() override
    {
        for (auto& t : timers)
            t->invalidate();
        loop.setClock(nullptr);
    }
    std::shared_ptr<HXTimer> keep(std::shared_ptr<HXTimer> t)
    {
        timers.push_back(t);
        return t;
    }
    double elapsed() const { return clock->now() - start; }

    HXRunLoop& loop = HXRunLoop::main();
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    double start = clock->now();
    std::vector<std::shared_ptr<HXTimer>> timers;
};

TEST_F(TimerTest, RepeatingTimerFiresEachIntervalAtItsDate)
{
    std::vector<double> fired;
    keep(HXTimer::scheduledTimer(1.0, true, [&](HXTimer&) { fired.push_back(elapsed()); }));
    clock->advance(3.5);
    ASSERT_EQ(fired.size(), 3u);
    for (size_t i = 0; i < fired.size(); ++i)
        EXPECT_NEAR(fired[i], double(i + 1), 1e-9);
}

TEST_F(TimerTest, OneShotTimerFiresOnceAndInvalidatesItself)
{
    int fired = 0;
    auto t = keep(HXTimer::scheduledTimer(0.5, false, [&](HXTimer&) { ++fired; }));
    EXPECT_TRUE(t->isValid());
    clock->advance(2);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(t->isValid());
}

TEST_F(TimerTest, LoopKeepsAScheduledTimerAliveUntilInvalidated)
{
    int fired = 0;
    std::weak_ptr<HXTimer> weak = HXTimer::scheduledTimer(0.1, true, [&](HXTimer&) { ++fired; });
    clock->advance(0.35);
    EXPECT_EQ(fired, 3);
    ASSERT_FALSE(weak.expired());
    weak.lock()->invalidate();
    EXPECT_TRUE(weak.expired());
    clock->advance(1);
    EXPECT_EQ(fired, 3);
}

TEST_F(TimerTest, InvalidatingItselfWhileFiring)
{
    int fired = 0;
    keep(HXTimer::scheduledTimer(0.1, true, [&](HXTimer& t) {
        if (++fired == 2)
            t.invalidate();
    }));
    clock->advance(1);
    EXPECT_EQ(fired, 2);
}

TEST_F(TimerTest, CallbackCapturesStayAliveUntilTheCallbackReturns)
{
    // The timer holds the only reference to the state its callback uses, and invalidates itself first.
    auto state = std::make_shared<std::vector<int>>();
    std::weak_ptr<std::vector<int>> watch = state;
    int seen = 0;
    HXTimer::scheduledTimer(0.1, true, [state, &seen](HXTimer& t) {
        t.invalidate();
        state->push_back(1); // would touch freed memory if invalidate() destroyed the running callback
        seen = int(state->size());
    });
    state.reset();
    clock->advance(1);
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(watch.expired());
}

TEST_F(TimerTest, InvalidatingAnotherTimerDueInTheSamePass)
{
    int b = 0;
    std::shared_ptr<HXTimer> second;
    keep(HXTimer::scheduledTimer(0.5, false, [&](HXTimer&) { second->invalidate(); }));
    second = keep(HXTimer::scheduledTimer(0.5, false, [&](HXTimer&) { ++b; }));
    clock->advance(1);
    EXPECT_EQ(b, 0);
}

TEST_F(TimerTest, TimersDueTogetherFireInDateThenSchedulingOrder)
{
    std::string order;
    keep(HXTimer::scheduledTimer(0.2, false, [&](HXTimer&) { order += "b"; }));
    keep(HXTimer::scheduledTimer(0.1, false, [&](HXTimer&) { order += "a"; }));
    keep(HXTimer::scheduledTimer(0.2, false, [&](HXTimer&) { order += "c"; }));
    loop.runInMode(HXDefaultRunLoopMode, 0); // nothing due yet
    clock->setNow(clock->now() + 1); // jump past all of them at once
    clock->advance(0);
    EXPECT_EQ(order, "abc");
}

TEST_F(TimerTest, MissedFiringsAreSkippedNotCaughtUp)
{
    int fired = 0;
    auto t = keep(HXTimer::scheduledTimer(1.0, true, [&](HXTimer&) { ++fired; }));
    clock->setNow(clock->now() + 10.5); // the loop did not run for ten intervals
    clock->advance(0);
    EXPECT_EQ(fired, 1);
    EXPECT_NEAR(t->fireDate() - start, 11.0, 1e-9);
}

TEST_F(TimerTest, SetFireDateMovesACountdown)
{
    int fired = 0;
    auto t = keep(HXTimer::scheduledTimer(1.0, false, [&](HXTimer&) { ++fired; }));
    clock->advance(0.8);
    t->setFireDate(clock->now() + 1.0); // restart the count-down
    clock->advance(0.8);
    EXPECT_EQ(fired, 0);
    clock->advance(0.3);
    EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, OneShotTimerRescheduledFromItsCallbackFiresAgain)
{
    int fired = 0;
    keep(HXTimer::scheduledTimer(1.0, false, [&](HXTimer& t) {
        if (++fired < 3)
            t.setFireDate(clock->now() + 1.0);
    }));
    clock->advance(10);
    EXPECT_EQ(fired, 3);
}

TEST_F(TimerTest, OneShotTimerIsNotFiredAgainByANestedLoopInItsCallback)
{
    int fired = 0;
    keep(HXTimer::scheduledTimer(1.0, false, [&](HXTimer&) {
        ++fired;
        // A modal loop or tracking loop inside the callback runs the same mode again.
        loop.runInMode(HXDefaultRunLoopMode, 0.5);
    }));
    clock->advance(3);
    EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, ManualFireKeepsTheSchedule)
{
    int fired = 0;
    auto repeating = keep(HXTimer::scheduledTimer(1.0, true, [&](HXTimer&) { ++fired; }));
    repeating->fire();
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(repeating->isValid());
    EXPECT_NEAR(repeating->fireDate() - start, 1.0, 1e-9);

    auto once = keep(HXTimer::scheduledTimer(1.0, false, [&](HXTimer&) { fired += 10; }));
    once->fire();
    EXPECT_EQ(fired, 11);
    EXPECT_FALSE(once->isValid());
    clock->advance(1.5);
    EXPECT_EQ(fired, 12); // only the repeating one fires on schedule
}

TEST_F(TimerTest, ModesDecideWhereATimerFires)
{
    struct Case {
        const char* name;
        HXRunLoopModes timerModes;
        const char* runMode;
        int expected;
    };
    const Case cases[] = {
        { "default timer, default run", { HXDefaultRunLoopMode }, HXDefaultRunLoopMode, 2 },
        { "default timer, tracking run", { HXDefaultRunLoopMode }, HXEventTrackingRunLoopMode, 0 },
        { "common timer, tracking run", { HXRunLoopCommonModes }, HXEventTrackingRunLoopMode, 2 },
        { "common timer, modal run", { HXRunLoopCommonModes }, HXModalPanelRunLoopMode, 2 },
        { "default and tracking, tracking run", { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode },
            HXEventTrackingRunLoopMode, 2 },
        { "tracking timer, modal run", { HXEventTrackingRunLoopMode }, HXModalPanelRunLoopMode, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int fired = 0;
        auto t = keep(HXTimer::timer(1.0, true, [&](HXTimer&) { ++fired; }));
        loop.addTimer(t, c.timerModes);
        loop.runInMode(c.runMode, 2.5);
        EXPECT_EQ(fired, c.expected);
        t->invalidate();
    }
}

TEST_F(TimerTest, DefaultTimerWaitsOutATrackingLoopThenFiresOnce)
{
    int fired = 0;
    keep(HXTimer::scheduledTimer(0.5, true, [&](HXTimer&) { ++fired; }));
    loop.performAfterDelay(this, 0.1, [&] { loop.runInMode(HXEventTrackingRunLoopMode, 3.0); });
    clock->advance(3.2); // back in the default mode at 3.1: one late firing, not six
    EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, AddingATimerToMoreModesLater)
{
    int fired = 0;
    auto t = keep(HXTimer::timer(1.0, true, [&](HXTimer&) { ++fired; }));
    loop.addTimer(t, HXDefaultRunLoopMode);
    loop.addTimer(t, HXEventTrackingRunLoopMode);
    loop.runInMode(HXEventTrackingRunLoopMode, 1.5);
    loop.runInMode(HXDefaultRunLoopMode, 1.0);
    EXPECT_EQ(fired, 2);
}

TEST_F(TimerTest, InvalidTimerIsNotScheduled)
{
    int fired = 0;
    auto t = keep(HXTimer::timer(0.1, false, [&](HXTimer&) { ++fired; }));
    t->invalidate();
    loop.addTimer(t, HXDefaultRunLoopMode);
    clock->advance(1);
    EXPECT_EQ(fired, 0);
}

TEST_F(TimerTest, NextFireDateOfAMode)
{
    auto t = keep(HXTimer::timer(2.0, false, [](HXTimer&) {}));
    loop.addTimer(t, HXEventTrackingRunLoopMode);
    EXPECT_NEAR(loop.nextFireDate(HXEventTrackingRunLoopMode) - start, 2.0, 1e-9);
    EXPECT_TRUE(std::isinf(loop.nextFireDate(HXModalPanelRunLoopMode)));
}

} // namespace
