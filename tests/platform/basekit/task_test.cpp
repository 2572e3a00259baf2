#include "platform/basekit/task.h"

#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using movara::test::TempDir;

// Real child processes on the real clock. Every task a test starts is killed and reaped at the end.
class TaskTest : public ::testing::Test {
protected:
    void SetUp() override { HXRunLoop::main().setClock(nullptr); }
    void TearDown() override
    {
        for (auto& task : tasks) {
            if (task->isRunning()) {
                task->kill();
                EXPECT_TRUE(task->waitUntilExit(10));
            }
        }
        HXNotificationCenter::defaultCenter().removeObserver(this);
    }
    std::shared_ptr<HXTask> shell(const std::string& script)
    {
        auto task = HXTask::task();
        task->setLaunchPath("/bin/sh");
        task->setArguments({ "-c", script });
        tasks.push_back(task);
        return task;
    }

    std::vector<std::shared_ptr<HXTask>> tasks;
};

TEST_F(TaskTest, HowAChildEndedIsReported)
{
    struct Case {
        const char* script;
        HXTaskTerminationReason reason;
        int status;
    };
    const Case cases[] = {
        { "exit 0", HXTaskTerminationReason::Exit, 0 },
        { "exit 3", HXTaskTerminationReason::Exit, 3 },
        { "exit 42", HXTaskTerminationReason::Exit, 42 },
        { "kill -SEGV $$", HXTaskTerminationReason::UncaughtSignal, SIGSEGV },
        { "kill -KILL $$", HXTaskTerminationReason::UncaughtSignal, SIGKILL },
        // The parent's ignored SIGPIPE must not leak into the child.
        { "kill -PIPE $$", HXTaskTerminationReason::UncaughtSignal, SIGPIPE },
    };
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous { };
    sigaction(SIGPIPE, &ignore, &previous);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        auto task = shell(c.script);
        HXError error;
        ASSERT_TRUE(task->launch(&error)) << error.localizedDescription();
        EXPECT_GT(task->processIdentifier(), 0);
        ASSERT_TRUE(task->waitUntilExit(20));
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->terminationReason(), c.reason);
        EXPECT_EQ(task->terminationStatus(), c.status);
    }
    sigaction(SIGPIPE, &previous, nullptr);
}

TEST_F(TaskTest, TerminationArrivesThroughTheRunLoop)
{
    auto task = shell("exit 7");
    std::vector<std::string> events;
    HXNotificationCenter::defaultCenter().addObserver(
        this, HXTaskDidTerminateNotification, task.get(), [&](const HXNotification& n) {
            events.push_back("notification");
            EXPECT_EQ(n.objectAs<HXTask>(), task);
            EXPECT_EQ(n.objectAs<HXTask>()->terminationStatus(), 7);
        });
    task->setTerminationHandler([&](HXTask& t) {
        events.push_back("handler");
        EXPECT_FALSE(t.isRunning());
    });
    ASSERT_TRUE(task->launch());
    // The child is long gone, but nothing is reported until the loop runs.
    usleep(200 * 1000);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(task->isRunning());
    HXMonotonicClock real;
    double deadline = real.now() + 20;
    while (events.size() < 2 && real.now() < deadline)
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 1.0, true);
    EXPECT_EQ(events, (std::vector<std::string> { "handler", "notification" }));
}

TEST_F(TaskTest, TaskIsKeptAliveWhileItsChildRuns)
{
    std::weak_ptr<HXTask> weak;
    int status = -1;
    HXNotificationCenter::defaultCenter().addObserver(
        this, HXTaskDidTerminateNotification, nullptr, [&](const HXNotification& n) {
            if (auto task = n.objectAs<HXTask>(); task && task == weak.lock())
                status = task->terminationStatus();
        });
    {
        auto task = HXTask::task();
        task->setLaunchPath("/bin/sh");
        task->setArguments({ "-c", "exit 5" });
        ASSERT_TRUE(task->launch());
        weak = task;
    }
    EXPECT_FALSE(weak.expired());
    HXMonotonicClock real;
    double deadline = real.now() + 20;
    while (status < 0 && real.now() < deadline)
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 1.0, true);
    EXPECT_EQ(status, 5);
    EXPECT_TRUE(weak.expired());
}

TEST_F(TaskTest, ExecFailureIsALaunchErrorNotAnExit)
{
    struct Case {
        const char* name;
        std::string path;
        std::string cwd;
        int code;
    };
    TempDir dir;
    movara::test::writeFile(dir / "not-executable", "#!/bin/sh\nexit 0\n");
    const Case cases[] = {
        { "missing program", "/nonexistent/MVPlayerHelper", "", ENOENT },
        { "not executable", (dir / "not-executable").string(), "", EACCES },
        { "a folder", dir.path().string(), "", EACCES },
        { "missing working folder", "/bin/true", (dir / "gone").string(), ENOENT },
        { "empty path", "", "", ENOENT },
    };
    int notified = 0;
    HXNotificationCenter::defaultCenter().addObserver(
        this, HXTaskDidTerminateNotification, nullptr, [&](const HXNotification&) { ++notified; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto task = HXTask::task();
        task->setLaunchPath(c.path);
        task->setCurrentDirectoryPath(c.cwd);
        HXError error;
        EXPECT_FALSE(task->launch(&error));
        EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
        EXPECT_EQ(error.code(), c.code);
        EXPECT_FALSE(error.localizedDescription().empty());
        EXPECT_FALSE(task->isRunning());
        EXPECT_FALSE(task->hasTerminated());
    }
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
    EXPECT_EQ(notified, 0);
    // No zombie left behind by the failed launches.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(TaskTest, SecondLaunchIsRefused)
{
    auto task = shell("exit 0");
    ASSERT_TRUE(task->launch());
    HXError error;
    EXPECT_FALSE(task->launch(&error));
    EXPECT_EQ(error.code(), EALREADY);
    EXPECT_TRUE(task->waitUntilExit(20));
}

TEST_F(TaskTest, TerminateAndKillEndALongRunningChild)
{
    struct Case {
        void (HXTask::*stop)();
        int signal;
    };
    for (Case c : { Case { &HXTask::terminate, SIGTERM }, Case { &HXTask::kill, SIGKILL },
             Case { &HXTask::interrupt, SIGINT } }) {
        SCOPED_TRACE(c.signal);
        auto task = shell("exec sleep 60");
        ASSERT_TRUE(task->launch());
        EXPECT_FALSE(task->waitUntilExit(0.2)); // still running: the time-out ends the wait
        EXPECT_TRUE(task->isRunning());
        ((*task).*c.stop)();
        ASSERT_TRUE(task->waitUntilExit(20));
        EXPECT_EQ(task->terminationReason(), HXTaskTerminationReason::UncaughtSignal);
        EXPECT_EQ(task->terminationStatus(), c.signal);
    }
}

TEST_F(TaskTest, ArgumentsEnvironmentAndWorkingFolderReachTheChild)
{
    TempDir dir;
    auto task = shell("printf '%s|%s|%s|%s' \"$1\" \"$MVP_TEST\" \"$(pwd)\" \"${HOME-unset}\"");
    task->setArguments({ "-c", "printf '%s|%s|%s|%s' \"$1\" \"$MVP_TEST\" \"$(pwd)\" \"${HOME-unset}\"", "sh",
        "an argument with spaces" });
    task->setEnvironment({ { "MVP_TEST", "value=with=equals" }, { "PATH", "/usr/bin:/bin" } });
    task->setCurrentDirectoryPath(dir.path().string());
    task->setStandardOutput(HXTaskStream::Pipe);
    ASSERT_TRUE(task->launch());
    ASSERT_TRUE(task->waitUntilExit(20));
    EXPECT_EQ(task->standardOutputData(),
        "an argument with spaces|value=with=equals|" + std::filesystem::canonical(dir.path()).string()
            + "|unset");
}

TEST_F(TaskTest, OutputAndErrorPipesAreDrainedWhileTheChildRuns)
{
    // Far more than a pipe holds: a child blocked on a full pipe would never exit.
    auto task = shell("head -c 300000 /dev/zero | tr '\\0' o; echo err >&2; exit 0");
    task->setStandardOutput(HXTaskStream::Pipe);
    task->setStandardError(HXTaskStream::Pipe);
    ASSERT_TRUE(task->launch());
    ASSERT_TRUE(task->waitUntilExit(30));
    EXPECT_EQ(task->terminationStatus(), 0);
    EXPECT_EQ(task->standardOutputData(), std::string(300000, 'o'));
    EXPECT_EQ(task->standardErrorData(), "err\n");
}

TEST_F(TaskTest, OutputStillHeldOpenByAGrandchildDoesNotDelayTheEnd)
{
    auto task = shell("echo early; sleep 30 & echo $!; exit 0");
    task->setStandardOutput(HXTaskStream::Pipe);
    ASSERT_TRUE(task->launch());
    HXMonotonicClock real;
    double start = real.now();
    ASSERT_TRUE(task->waitUntilExit(20));
    EXPECT_LT(real.now() - start, 10.0);
    std::string out = task->standardOutputData();
    ASSERT_EQ(out.rfind("early\n", 0), 0u) << out;
    // The grandchild belongs to no task; end it so that nothing outlives the test.
    int grandchild = std::atoi(out.substr(6).c_str());
    ASSERT_GT(grandchild, 1);
    ::kill(grandchild, SIGKILL);
}

TEST_F(TaskTest, OnlyHandedOverDescriptorsReachTheChild)
{
    int secret[2];
    ASSERT_EQ(pipe(secret), 0); // not close-on-exec: the child must still not see it unless handed over
    int handed[2];
    ASSERT_EQ(pipe2(handed, O_CLOEXEC), 0);
    ASSERT_EQ(write(handed[1], "password", 8), 8);
    ::close(handed[1]);

    auto task = shell("");
    task->setArguments({ "-c",
        "ls /proc/self/fd | sort -n | tr '\\n' ' '; printf '|'; cat <&" + std::to_string(handed[0]) });
    task->addInheritedFileDescriptor(handed[0]);
    task->setStandardOutput(HXTaskStream::Pipe);
    task->setStandardInput(HXTaskStream::Null);
    ASSERT_TRUE(task->launch());
    ASSERT_TRUE(task->waitUntilExit(20));
    ::close(handed[0]);
    ::close(secret[0]);
    ::close(secret[1]);
    std::string out = task->standardOutputData();
    auto bar = out.find('|');
    ASSERT_NE(bar, std::string::npos) << out;
    EXPECT_EQ(out.substr(bar + 1), "password");
    // 0-2, the handed descriptor, and the one ls opens to read the folder; nothing else.
    std::string listing = " " + out.substr(0, bar);
    EXPECT_EQ(listing.find(" " + std::to_string(secret[0]) + " "), std::string::npos) << listing;
    EXPECT_EQ(listing.find(" " + std::to_string(secret[1]) + " "), std::string::npos) << listing;
    EXPECT_NE(listing.find(" " + std::to_string(handed[0]) + " "), std::string::npos) << listing;
}

TEST_F(TaskTest, ClosedDescriptorCannotBeHandedOver)
{
    auto task = shell("exit 0");
    task->addInheritedFileDescriptor(987);
    HXError error;
    EXPECT_FALSE(task->launch(&error));
    EXPECT_EQ(error.code(), EBADF);
}

TEST_F(TaskTest, WaitBeforeLaunchReturnsAtOnce)
{
    auto task = HXTask::task();
    EXPECT_FALSE(task->waitUntilExit(5));
    EXPECT_FALSE(task->isRunning());
}

} // namespace
