#include "platform/basekit/run_loop.h"
#include "platform/basekit/signal_watcher.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace {

TEST(SignalWatcherTest, SignalsBecomeCallsOnTheRunLoop)
{
    std::vector<int> seen;
    ASSERT_TRUE(HXSignalWatcher::start({ SIGUSR1, SIGUSR2 }, [&](int number) { seen.push_back(number); }));
    raise(SIGUSR1);
    raise(SIGUSR2);
    raise(SIGUSR1);
    EXPECT_TRUE(seen.empty()); // nothing runs inside the handler
    for (int i = 0; i < 50 && seen.size() < 3; ++i)
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.02);
    EXPECT_EQ(seen, (std::vector<int> { SIGUSR1, SIGUSR2, SIGUSR1 }));

    // Stopped: the default action is back (ignored here so that the test survives it).
    HXSignalWatcher::stop();
    EXPECT_FALSE(HXSignalWatcher::isWatching());
    struct sigaction current { };
    sigaction(SIGUSR1, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

} // namespace
