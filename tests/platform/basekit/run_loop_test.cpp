#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Every test runs the main loop on a manual clock of its own.
class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override { loop.setClock(clock); }
    void TearDown() override
    {
        loop.cancelPerformRequests(this);
        loop.setClock(nullptr);
    }

    HXRunLoop& loop = HXRunLoop::main();
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
};

TEST_F(RunLoopTest, DelayedPerformRunsOnceAtItsTime)
{
    int runs = 0;
    loop.performAfterDelay(this, 0.5, [&] { ++runs; });
    clock->advance(0.49);
    EXPECT_EQ(runs, 0);
    clock->advance(0.01);
    EXPECT_EQ(runs, 1);
    clock->advance(10);
    EXPECT_EQ(runs, 1);
}

TEST_F(RunLoopTest, ZeroDelayPerformWaitsForAPass)
{
    int runs = 0;
    loop.performAfterDelay(this, 0, [&] { ++runs; });
    EXPECT_EQ(runs, 0); // never inline
    clock->advance(0);
    EXPECT_EQ(runs, 1);
}

TEST_F(RunLoopTest, DelayedPerformsRunInDateOrderWithTheClockAtTheirDates)
{
    std::vector<std::pair<std::string, double>> ran;
    double start = clock->now();
    loop.performAfterDelay(this, 0.3, [&] { ran.push_back({ "c", clock->now() - start }); });
    loop.performAfterDelay(this, 0.1, [&] { ran.push_back({ "a", clock->now() - start }); });
    loop.performAfterDelay(this, 0.2, [&] { ran.push_back({ "b", clock->now() - start }); });
    clock->advance(1);
    ASSERT_EQ(ran.size(), 3u);
    EXPECT_EQ(ran[0].first, "a");
    EXPECT_EQ(ran[1].first, "b");
    EXPECT_EQ(ran[2].first, "c");
    EXPECT_NEAR(ran[0].second, 0.1, 1e-9);
    EXPECT_NEAR(ran[2].second, 0.3, 1e-9);
    EXPECT_NEAR(clock->now() - start, 1.0, 1e-9);
}

TEST_F(RunLoopTest, CancelByTargetAndByName)
{
    int a = 0, b = 0, other = 0;
    int otherTarget = 0;
    loop.performAfterDelay(this, "hide", 0.2, [&] { ++a; });
    loop.performAfterDelay(this, "fade", 0.2, [&] { ++b; });
    loop.performAfterDelay(&otherTarget, 0.2, [&] { ++other; });

    loop.cancelPerformRequests(this, "hide");
    clock->advance(0.1);
    loop.performAfterDelay(this, "hide", 0.2, [&] { ++a; });
    loop.cancelPerformRequests(this); // every request of this target, named or not
    clock->advance(1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(other, 1);
}

TEST_F(RunLoopTest, PerformCanCancelItsTargetsOtherRequestsWhileRunning)
{
    int later = 0;
    loop.performAfterDelay(this, 0.1, [&] { loop.cancelPerformRequests(this); });
    loop.performAfterDelay(this, 0.1, [&] { ++later; }); // due in the same pass
    clock->advance(1);
    EXPECT_EQ(later, 0);
}

TEST_F(RunLoopTest, DelayedPerformModes)
{
    struct Case {
        HXRunLoopModes modes;
        const char* runMode;
        bool runs;
    };
    const Case cases[] = {
        { { HXDefaultRunLoopMode }, HXDefaultRunLoopMode, true },
        { { HXDefaultRunLoopMode }, HXEventTrackingRunLoopMode, false },
        { { HXRunLoopCommonModes }, HXEventTrackingRunLoopMode, true },
        { { HXRunLoopCommonModes }, HXModalPanelRunLoopMode, true },
        { { HXModalPanelRunLoopMode }, HXEventTrackingRunLoopMode, false },
        { { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode }, HXEventTrackingRunLoopMode, true },
        { { HXRunLoopCommonModes }, "SomePrivateMode", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.runMode);
        bool ran = false;
        loop.performAfterDelay(
            this, 0.1, [&] { ran = true; }, c.modes);
        loop.runInMode(c.runMode, 0.5);
        EXPECT_EQ(ran, c.runs);
        loop.cancelPerformRequests(this);
    }
}

TEST_F(RunLoopTest, AddedCommonModeServesCommonSources)
{
    bool ran = false;
    loop.addCommonMode("MVPZoomAnimationMode");
    loop.performAfterDelay(this, 0.1, [&] { ran = true; }, { HXRunLoopCommonModes });
    loop.runInMode("MVPZoomAnimationMode", 0.2);
    EXPECT_TRUE(ran);
}

TEST_F(RunLoopTest, PerformOrderThenQueueingOrder)
{
    std::string ran;
    loop.perform([&] { ran += "c"; }, 5);
    loop.perform([&] { ran += "a"; }, 0);
    loop.perform([&] { ran += "d"; }, 5);
    loop.perform([&] { ran += "b"; }, 1);
    clock->advance(0);
    EXPECT_EQ(ran, "abcd");
}

TEST_F(RunLoopTest, PerformQueuedDuringAPerformWaitsForTheNextPass)
{
    int passes = 0;
    auto observer = loop.addObserver(HXRunLoopPassEnd, [&](HXRunLoopActivity) { ++passes; });
    std::vector<int> ranInPass;
    loop.perform([&] {
        ranInPass.push_back(passes);
        loop.perform([&] { ranInPass.push_back(passes); });
    });
    clock->advance(0);
    clock->advance(0);
    loop.removeSource(observer);
    ASSERT_EQ(ranInPass.size(), 2u);
    EXPECT_EQ(ranInPass[1], ranInPass[0] + 1);
}

TEST_F(RunLoopTest, NestedRunInAnotherModeFromACallback)
{
    // A tracking loop run from a timer: only tracking-mode work happens inside it.
    std::string ran;
    loop.performAfterDelay(this, 0.1, [&] {
        ran += "[";
        loop.runInMode(HXEventTrackingRunLoopMode, 1.0);
        ran += "]";
    });
    loop.performAfterDelay(this, 0.5, [&] { ran += "d"; }, { HXDefaultRunLoopMode });
    loop.performAfterDelay(this, 0.5, [&] { ran += "t"; }, { HXEventTrackingRunLoopMode });
    clock->advance(2);
    EXPECT_EQ(ran, "[t]d");
}

TEST_F(RunLoopTest, StopEndsTheInnermostRun)
{
    loop.performAfterDelay(this, 0.25, [&] { loop.stop(); });
    double start = clock->now();
    EXPECT_EQ(loop.runInMode(HXDefaultRunLoopMode, 100), HXRunLoopRunResult::Stopped);
    EXPECT_NEAR(clock->now() - start, 0.25, 1e-9);
    EXPECT_EQ(loop.runDepth(), 0);
}

TEST_F(RunLoopTest, RunModeReturnsAfterHandlingSomething)
{
    bool ran = false;
    loop.performAfterDelay(this, 0.2, [&] { ran = true; });
    double start = clock->now();
    EXPECT_TRUE(loop.runMode(HXDefaultRunLoopMode, start + 5));
    EXPECT_TRUE(ran);
    EXPECT_NEAR(clock->now() - start, 0.2, 1e-9);
    EXPECT_FALSE(loop.runMode(HXDefaultRunLoopMode, clock->now() + 1));
}

TEST_F(RunLoopTest, CurrentModeFollowsNestedRuns)
{
    std::vector<std::string> modes;
    loop.performAfterDelay(this, 0.1, [&] {
        modes.push_back(loop.currentMode());
        loop.performAfterDelay(
            this, 0.1, [&] { modes.push_back(loop.currentMode()); }, { HXModalPanelRunLoopMode });
        loop.runInMode(HXModalPanelRunLoopMode, 0.5);
        modes.push_back(loop.currentMode());
    });
    clock->advance(1);
    EXPECT_EQ(modes,
        (std::vector<std::string> { HXDefaultRunLoopMode, HXModalPanelRunLoopMode, HXDefaultRunLoopMode }));
    EXPECT_EQ(loop.currentMode(), "");
}

TEST_F(RunLoopTest, FileDescriptorSourceReadableAndRemovable)
{
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    std::string got;
    auto source = loop.addFileDescriptor(fds[0], HXFileDescriptorReadable, [&](int fd, uint32_t events) {
        EXPECT_TRUE(events & HXFileDescriptorReadable);
        char buffer[64];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, size_t(n));
    });
    clock->advance(0);
    EXPECT_EQ(got, "");
    ASSERT_EQ(write(fds[1], "abc", 3), 3);
    clock->advance(0);
    EXPECT_EQ(got, "abc");

    loop.removeSource(source);
    ASSERT_EQ(write(fds[1], "def", 3), 3);
    clock->advance(0);
    EXPECT_EQ(got, "abc");
    close(fds[0]);
    close(fds[1]);
}

TEST_F(RunLoopTest, SourceRemovedByAnEarlierCallbackInTheSamePassIsNotCalled)
{
    int a[2], b[2];
    ASSERT_EQ(pipe2(a, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(b, O_CLOEXEC), 0);
    ASSERT_EQ(write(a[1], "x", 1), 1);
    ASSERT_EQ(write(b[1], "x", 1), 1);
    int calls = 0;
    HXRunLoopSourceID first = 0, second = 0;
    auto removeOther = [&](int fd, uint32_t) {
        ++calls;
        char c;
        EXPECT_EQ(read(fd, &c, 1), 1);
        loop.removeSource(fd == a[0] ? second : first);
    };
    first = loop.addFileDescriptor(a[0], HXFileDescriptorReadable, removeOther);
    second = loop.addFileDescriptor(b[0], HXFileDescriptorReadable, removeOther);
    clock->advance(0);
    EXPECT_EQ(calls, 1);
    loop.removeSource(first);
    loop.removeSource(second);
    for (int fd : { a[0], a[1], b[0], b[1] })
        close(fd);
}

TEST_F(RunLoopTest, WritableInterestCanBeSwitched)
{
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    int writable = 0;
    auto source = loop.addFileDescriptor(fds[1], 0, [&](int, uint32_t events) {
        if (events & HXFileDescriptorWritable)
            ++writable;
    });
    clock->advance(0);
    EXPECT_EQ(writable, 0);
    loop.setFileDescriptorEvents(source, HXFileDescriptorWritable);
    clock->advance(0);
    EXPECT_EQ(writable, 1);
    loop.removeSource(source);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(RunLoopTest, EventHookIsCalledEachPassInItsModes)
{
    int calls = 0;
    auto hook = loop.addEventHook(
        [&] {
            ++calls;
            return false;
        },
        0.01, { HXEventTrackingRunLoopMode });
    loop.runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(calls, 0);
    loop.runInMode(HXEventTrackingRunLoopMode, 0);
    EXPECT_EQ(calls, 1);
    // With a 10 ms cap on waits, a tenth of a second is at least ten passes.
    loop.runInMode(HXEventTrackingRunLoopMode, 0.1);
    EXPECT_GE(calls, 10);
    loop.removeSource(hook);
}

TEST_F(RunLoopTest, IdleObserversRunOnlyWhenNothingElseIsReady)
{
    std::vector<std::string> events;
    auto observer
        = loop.addObserver(HXRunLoopBeforeWaiting, [&](HXRunLoopActivity) { events.push_back("idle"); });
    loop.perform([&] { events.push_back("perform"); });
    clock->advance(0); // busy pass: no idle
    EXPECT_EQ(events, (std::vector<std::string> { "perform" }));
    clock->advance(1); // nothing to do: the loop goes idle
    EXPECT_GE(events.size(), 2u);
    EXPECT_EQ(events[1], "idle");
    loop.removeSource(observer);
}

TEST_F(RunLoopTest, PerformOnMainThreadFromOtherThreads)
{
    loop.setClock(nullptr); // real waiting: the work arrives from real threads
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            HXRunLoop::performOnMainThread([&, i] { order.push_back(i); });
        // Blocks until the main thread ran it.
        HXRunLoop::performOnMainThread(
            [&] {
                EXPECT_TRUE(HXRunLoop::isMainThread());
                order.push_back(99);
            },
            true);
    });
    HXMonotonicClock real;
    double deadline = real.now() + 10;
    while (order.size() < 4 && real.now() < deadline)
        loop.runInMode(HXDefaultRunLoopMode, 0.5, true);
    worker.join();
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 99 }));
    bool workerIsMain = true;
    std::thread([&] { workerIsMain = HXRunLoop::isMainThread(); }).join();
    EXPECT_FALSE(workerIsMain);
}

TEST_F(RunLoopTest, PerformOnMainThreadWithWaitFromTheMainThreadRunsAtOnce)
{
    bool ran = false;
    HXRunLoop::performOnMainThread([&] { ran = true; }, true);
    EXPECT_TRUE(ran);
}

TEST_F(RunLoopTest, WakeUpEndsARealWait)
{
    loop.setClock(nullptr);
    HXMonotonicClock real;
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        HXRunLoop::performOnMainThread([] {});
    });
    double start = real.now();
    loop.runInMode(HXDefaultRunLoopMode, 30, true);
    waker.join();
    EXPECT_LT(real.now() - start, 10.0);
}

} // namespace

namespace {

TEST_F(RunLoopTest, ThrowingCallbackLeavesTheLoopUsable)
{
    loop.perform([] { throw std::runtime_error("programming error"); });
    EXPECT_THROW(loop.runInMode(HXEventTrackingRunLoopMode, 1), std::runtime_error);
    EXPECT_EQ(loop.runDepth(), 0);
    EXPECT_EQ(loop.currentMode(), "");
    bool ran = false;
    loop.perform([&] { ran = true; });
    clock->advance(0);
    EXPECT_TRUE(ran);
}

}  // namespace
