// The job queue with real worker processes and loopback sockets: final states from exit statuses and
// signals, misbehaving workers, the concurrency limit, resources, cancel, kill and registered files.
#include "job_test_support.h"
#include "test_support.h"

#include "platform/basekit/message_framing.h"
#include "platform/basekit/process_info.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

class JobManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        suddenTerminationCount = HXProcessInfo::processInfo().suddenTerminationDisableCount();
        manager = std::make_unique<JobManager>(INT_MAX, scriptedWorker);
        // Generous bounds, so that a loaded machine does not fail well-behaved workers; the tests of
        // misbehaving ones shorten the bound they test.
        manager->setConnectTimeout(20);
        manager->setExitTimeout(10);
        manager->setStallTimeout(10);
        manager->setCancelTimeout(10);
        delegate = std::make_shared<RecordingDelegate>();
    }

    void TearDown() override
    {
        manager.reset();
        // Every disable made for a job was balanced by one enable.
        EXPECT_EQ(HXProcessInfo::processInfo().suddenTerminationDisableCount(), suddenTerminationCount);
    }

    std::shared_ptr<Job> start(Steps steps, bool force = false)
    {
        auto job = manager->newJobWithParams(scriptParams(std::move(steps)), delegate);
        manager->startJob(job, force);
        return job;
    }

    // A shell script written into the temporary folder, to stand in for the worker.
    std::string script(const std::string& name, const std::string& body)
    {
        auto path = temp / name;
        writeFile(path, "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    int suddenTerminationCount = 0;
    TempDir temp;
    std::unique_ptr<JobManager> manager;
    std::shared_ptr<RecordingDelegate> delegate;
};

TEST(JobManagerLimit, MaxConcurrentJobsReadsLikeAtoiAndIsAtLeastOne)
{
    struct Case {
        const char* text;
        int limit;
    };
    const Case cases[] = {
        { nullptr, INT_MAX },
        { "0", 1 },
        { "-5", 1 },
        { "abc", 1 },
        { "", 1 },
        { "2", 2 },
        { " 3", 3 },
        { "4jobs", 4 },
        { "99999999999999", INT_MAX },
    };
    for (const auto& c : cases)
        EXPECT_EQ(JobManager::maxConcurrentJobsFromString(c.text), c.limit) << (c.text ? c.text : "(unset)");
}

TEST_F(JobManagerTest, WorkerEndingDecidesTheFinalState)
{
    struct Case {
        const char* name;
        Steps steps;
        JobState state;
        int exitCode;
        int termSig;
        int64_t errorCode;
    };
    const Case cases[] = {
        { "exit 0", { step("exit", 0) }, JobState::Complete, 0, 0, 0 },
        { "exit 3", { step("exit", 3) }, JobState::Errored, 3, 0, 0 },
        { "SIGSEGV", { step("crash", true) }, JobState::Errored, 0, SIGSEGV, 0 },
        { "errorCode 0 then exit 0", { send({ { "errorCode", 0 } }), step("exit", 0) }, JobState::Complete, 0,
            0, 0 },
        { "errorCode -36 then exit 0",
            { send({ { "errorCode", -36 }, { "errorMessage", "I/O error" } }), step("exit", 0) },
            JobState::Errored, 0, 0, -36 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto job = start(c.steps);
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
        EXPECT_EQ(job->state(), c.state);
        EXPECT_EQ(job->exitCode(), c.exitCode);
        EXPECT_EQ(job->termSig(), c.termSig);
        EXPECT_EQ(job->errorCode(), c.errorCode);
        EXPECT_EQ(job->socket(), -1);
        EXPECT_EQ(job->pid(), 0);
    }
    EXPECT_EQ(manager->runningJobs(), 0);
    EXPECT_FALSE(manager->hasTimer());
}

TEST_F(JobManagerTest, MisbehavingWorkersFailWithinBoundedTime)
{
    auto garbled = HXMessageFraming::frame("this is not a property list");
    std::string oversized = "\xff\xff\xff\xf0";
    std::string stalled = std::string("\0\0\0\x64", 4) + "<?xml";
    struct Case {
        const char* name;
        Steps steps;
    };
    const Case cases[] = {
        { "garbled frame", { step("raw", HXData(garbled)), step("sleep", 30.0) } },
        { "oversized frame", { step("raw", HXData(oversized)), step("sleep", 30.0) } },
        { "stalls mid-frame", { step("raw", HXData(stalled)), step("sleep", 30.0) } },
        { "closes its socket but keeps running", { step("closeAndHang", 30.0) } },
    };
    manager->setStallTimeout(1);
    manager->setExitTimeout(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto began = std::chrono::steady_clock::now();
        auto job = start(c.steps);
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }, 10));
        EXPECT_EQ(job->state(), JobState::Errored);
        EXPECT_TRUE(job->hasErrorMessage());
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(8));
    }
}

TEST_F(JobManagerTest, WorkersThatNeverProveThemselvesFail)
{
    struct Case {
        const char* name;
        std::string path;
        int exitCode;
    };
    const Case cases[] = {
        { "exec fails in the child", script("exit42", "exit 42"), 42 },
        { "ends at once with status 0", script("exit0", "exit 0"), 0 },
        { "never connects", script("sleeper", "exec sleep 30"), 0 },
        { "no such program", (temp / "missing").string(), 0 },
    };
    manager->setConnectTimeout(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager->setHelperPath(c.path);
        auto job = start({});
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }, 10));
        EXPECT_EQ(job->state(), JobState::Errored);
        EXPECT_EQ(job->exitCode(), c.exitCode);
        EXPECT_TRUE(job->hasErrorMessage());
        EXPECT_EQ(delegate->count("started"), 0);
    }
}

TEST_F(JobManagerTest, ConcurrencyLimitKeepsTheThirdJobPendingUntilASlotFrees)
{
    manager = std::make_unique<JobManager>(JobManager::maxConcurrentJobsFromString("2"), scriptedWorker);
    int mostRunning = 0;
    delegate->onEvent = [&](const std::string&, const std::shared_ptr<Job>&) {
        mostRunning = std::max(mostRunning, manager->runningJobs());
    };
    auto first = start({ step("sleep", 0.5) });
    auto second = start({ step("sleep", 0.5) });
    auto third = start({ step("exit", 0) });
    EXPECT_EQ(third->state(), JobState::Pending);
    EXPECT_EQ(manager->runningJobs(), 2);
    ASSERT_TRUE(runUntil([&] { return isFinal(first) && isFinal(second) && isFinal(third); }));
    for (const auto& job : { first, second, third })
        EXPECT_EQ(job->state(), JobState::Complete);
    EXPECT_EQ(mostRunning, 2);
    EXPECT_FALSE(manager->queueRunning());
}

TEST_F(JobManagerTest, ForcedStartRunsBeyondTheLimit)
{
    manager = std::make_unique<JobManager>(JobManager::maxConcurrentJobsFromString("0"), scriptedWorker);
    auto running = start({ step("sleep", 0.5) });
    auto queued = start({ step("exit", 0) });
    EXPECT_EQ(queued->state(), JobState::Pending);
    auto forced = start({ step("exit", 0) }, true);
    EXPECT_EQ(forced->state(), JobState::Starting);
    EXPECT_EQ(manager->runningJobs(), 2);
    ASSERT_TRUE(runUntil([&] { return isFinal(running) && isFinal(queued) && isFinal(forced); }));
    EXPECT_EQ(queued->state(), JobState::Complete);
}

TEST_F(JobManagerTest, SingleSlotResourceIsNeverHeldByTwoJobs)
{
    // Each holds the slot until the test says go (a second "Result").
    Steps steps = { send({ { "requestResource", "ZantrelScript" } }), step("waitFor", "Result"),
        step("waitFor", "Result"), send({ { "releaseResource", "ZantrelScript" } }), step("exit", 0) };
    size_t mostHolders = 0;
    delegate->onEvent = [&](const std::string&, const std::shared_ptr<Job>&) {
        mostHolders = std::max(mostHolders, manager->resourceAllocation("ZantrelScript").size());
    };
    auto first = start(steps);
    ASSERT_TRUE(runUntil([&] { return manager->resourceAllocation("ZantrelScript").size() == 1; }));
    auto second = start(steps);
    ASSERT_TRUE(runUntil([&] { return second->blockingResource() == "ZantrelScript"; }));
    EXPECT_EQ(delegate->count("blocked:ZantrelScript"), 1);
    EXPECT_EQ(manager->resourceQueue("ZantrelScript").size(), 1u);
    manager->sendDictionary(HXPropertyList::Dictionary { { "Result", true } }, first);
    ASSERT_TRUE(
        runUntil([&] { return manager->resourceAllocation("ZantrelScript") == std::vector { second }; }));
    manager->sendDictionary(HXPropertyList::Dictionary { { "Result", true } }, second);
    ASSERT_TRUE(runUntil([&] { return isFinal(first) && isFinal(second); }));
    EXPECT_EQ(first->state(), JobState::Complete);
    EXPECT_EQ(second->state(), JobState::Complete);
    EXPECT_EQ(delegate->count("unblocked:ZantrelScript"), 1);
    EXPECT_EQ(mostHolders, 1u);
    EXPECT_EQ(manager->resourceAvailability("ZantrelScript"), 1);
}

TEST_F(JobManagerTest, ResourceRequestsThatChangeNothing)
{
    struct Case {
        const char* name;
        Steps steps;
    };
    const Case cases[] = {
        { "unknown resource is granted at once",
            { send({ { "requestResource", "Teleporter" } }), step("waitFor", "Result"),
                send({ { "releaseResource", "Teleporter" } }), step("exit", 0) } },
        { "releasing a slot it does not hold",
            { send({ { "releaseResource", "ZantrelScript" } }), send({ { "releaseResource", "CPU" } }),
                step("exit", 0) } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto job = start(c.steps);
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
        EXPECT_EQ(job->state(), JobState::Complete);
        EXPECT_EQ(manager->resourceAvailability("Teleporter"), std::nullopt);
        EXPECT_EQ(manager->resourceAvailability("ZantrelScript"), 1);
        EXPECT_EQ(manager->resourceAvailability("CPU"), 0x7fffffff);
    }
}

TEST_F(JobManagerTest, BlessedJobGetsTheNextSlotWithoutOvergranting)
{
    // The holder keeps the slot until the test says go (a second "Result").
    Steps holder = { send({ { "requestResource", "Bluetooth" } }), step("waitFor", "Result"),
        step("waitFor", "Result"), step("exit", 0) };
    Steps waiter
        = { send({ { "requestResource", "Bluetooth" } }), step("waitFor", "Result"), step("exit", 0) };
    std::vector<std::shared_ptr<Job>> unblockedOrder;
    delegate->onEvent = [&](const std::string& event, const std::shared_ptr<Job>& job) {
        if (event == "unblocked:Bluetooth")
            unblockedOrder.push_back(job);
    };
    auto first = start(holder);
    ASSERT_TRUE(runUntil([&] { return manager->resourceAllocation("Bluetooth").size() == 1; }));
    auto older = start(waiter);
    ASSERT_TRUE(runUntil([&] { return !older->blockingResource().empty(); }));
    auto blessed = start(waiter);
    ASSERT_TRUE(runUntil([&] { return !blessed->blockingResource().empty(); }));

    manager->blessJob(blessed);
    EXPECT_EQ(manager->resourceAllocation("Bluetooth").size(), 1u);
    EXPECT_EQ(manager->resourceAvailability("Bluetooth"), 0);
    ASSERT_EQ(manager->resourceQueue("Bluetooth").size(), 2u);
    EXPECT_EQ(manager->resourceQueue("Bluetooth").front(), blessed);
    manager->sendDictionary(HXPropertyList::Dictionary { { "Result", true } }, first);

    ASSERT_TRUE(runUntil([&] { return isFinal(first) && isFinal(older) && isFinal(blessed); }));
    ASSERT_EQ(unblockedOrder.size(), 2u);
    EXPECT_EQ(unblockedOrder[0], blessed);
    EXPECT_EQ(unblockedOrder[1], older);
    EXPECT_EQ(manager->resourceAvailability("Bluetooth"), 1);
}

TEST_F(JobManagerTest, CancelingAPendingJobTakesItOutOfTheQueue)
{
    manager = std::make_unique<JobManager>(1, scriptedWorker);
    auto running = start({ step("sleep", 0.3) });
    auto pending = start({ step("exit", 0) });
    manager->cancelJob(pending);
    EXPECT_EQ(pending->state(), JobState::Canceled);
    ASSERT_TRUE(runUntil([&] { return isFinal(running); }));
    runUntil([] { return false; }, 0.3);
    EXPECT_EQ(pending->state(), JobState::Canceled);
    EXPECT_EQ(delegate->count("starting"), 1);
    EXPECT_EQ(manager->runningJobs(), 0);
}

TEST_F(JobManagerTest, CancelEndsTheWorkerAndDeletesItsRegisteredFiles)
{
    struct Case {
        const char* name;
        const char* lastStep; // what the worker does after registering its file
    };
    const Case cases[] = {
        { "worker stops when told", "waitFor" },
        { "worker ignores the cancel", "sleep" },
    };
    manager->setCancelTimeout(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto partial = temp / (std::string(c.lastStep) + ".partial");
        Steps steps = { step("writeFile", partial.string()), send({ { "registerFile", partial.string() } }),
            std::string(c.lastStep) == "waitFor" ? step("waitFor", "Cancel") : step("sleep", 30.0),
            step("exit", 0) };
        auto job = start(steps);
        ASSERT_TRUE(runUntil([&] { return job->registeredFiles().size() == 1; }));
        ASSERT_TRUE(fs::exists(partial));
        manager->cancelJob(job);
        EXPECT_EQ(job->state(), JobState::Canceling);
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }, 8));
        EXPECT_EQ(job->state(), JobState::Canceled);
        EXPECT_FALSE(fs::exists(partial));
    }
}

TEST_F(JobManagerTest, KillEndsAJobAtOnce)
{
    auto partial = temp / "killed.partial";
    auto job = start({ step("writeFile", partial.string()), send({ { "registerFile", partial.string() } }),
        step("sleep", 30.0) });
    ASSERT_TRUE(runUntil([&] { return job->registeredFiles().size() == 1; }));
    int pid = job->pid();
    ASSERT_GT(pid, 0);
    manager->killJob(job);
    EXPECT_EQ(job->state(), JobState::Canceled);
    EXPECT_EQ(delegate->count("canceled"), 1);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_EQ(manager->runningJobs(), 0);
    EXPECT_FALSE(manager->hasTimer());
    // The worker is gone (reaped by the run loop).
    EXPECT_TRUE(runUntil([&] { return ::kill(pid, 0) != 0; }, 5));
}

TEST_F(JobManagerTest, QuittingCancelsPendingAndKillsRunningJobs)
{
    manager = std::make_unique<JobManager>(1, scriptedWorker);
    auto partial = temp / "quit.partial";
    auto running = start({ step("writeFile", partial.string()),
        send({ { "registerFile", partial.string() } }), step("sleep", 30.0) });
    auto pending = start({ step("exit", 0) });
    ASSERT_TRUE(runUntil([&] { return running->registeredFiles().size() == 1; }));
    manager->killAllJobs();
    EXPECT_EQ(running->state(), JobState::Canceled);
    EXPECT_EQ(pending->state(), JobState::Canceled);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_EQ(manager->runningJobs(), 0);
}

TEST_F(JobManagerTest, RegisteredFilesAreDeletedWhenTheJobEnds)
{
    auto kept = temp / "kept";
    auto deleted = temp / "deleted";
    auto folder = temp / "folder";
    fs::create_directory(folder);
    auto job = start({ step("writeFile", kept.string()), step("writeFile", deleted.string()),
        send({ { "registerFile", kept.string() }, { "unregisterFile", kept.string() } }),
        send({ { "registerFile", deleted.string() } }), send({ { "registerFile", folder.string() } }),
        send({ { "registerFile", (temp / "never-made").string() } }), step("exit", 0) });
    ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
    EXPECT_EQ(job->state(), JobState::Complete);
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(deleted));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(job->registeredFiles().empty());
}

TEST_F(JobManagerTest, MessagesReachTheDelegateAfterTheQueueHandledThem)
{
    auto job = start({ send({ { "status", "ExportState" }, { "progress", 0.5 }, { "log", "half way" } }),
        send({ { "errorMessage", "kept for the row" } }), step("exit", 0) });
    ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
    ASSERT_EQ(delegate->messages.size(), 2u);
    EXPECT_EQ(delegate->messages[0]["status"].stringValue(), "ExportState");
    EXPECT_DOUBLE_EQ(delegate->messages[0]["progress"].realValue(), 0.5);
    EXPECT_EQ(job->errorMessage(), "kept for the row");
    // A message without an error code does not make the job fail.
    EXPECT_EQ(job->state(), JobState::Complete);
    std::vector<std::string> expected
        = { "pending", "starting", "started", "message", "message", "complete" };
    EXPECT_EQ(delegate->events, expected);
}

TEST_F(JobManagerTest, SecretIsNeitherOnTheCommandLineNorInTheEnvironment)
{
    auto job = start({ step("describeSelf", true), step("exit", 0) });
    ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
    ASSERT_EQ(job->state(), JobState::Complete);
    ASSERT_EQ(delegate->messages.size(), 1u);
    const auto& seen = delegate->messages[0];
    ASSERT_EQ(seen["argv"].count(), 2u);
    EXPECT_EQ(seen["argv"][0].stringValue(), scriptedWorker);
    int port = std::stoi(seen["argv"][1].stringValue());
    EXPECT_GT(port, 0);
    // The environment names only the descriptor the secret came through.
    std::string descriptor = seen["environment"]["MVPLAYERHELPER_SECRET_FD"].stringValue();
    EXPECT_GE(std::stoi(descriptor), 3);
    // The secret is 64 hexadecimal digits: no such run anywhere the worker's command line or environment.
    auto holdsSecret = [](const std::string& text) {
        size_t run = 0;
        for (char c : text) {
            run = std::isxdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
            if (run >= 64)
                return true;
        }
        return false;
    };
    for (const auto& argument : seen["argv"].arrayValue())
        EXPECT_FALSE(holdsSecret(argument.stringValue()));
    for (const auto& [name, value] : seen["environment"].dictionaryValue())
        EXPECT_FALSE(holdsSecret(value.stringValue())) << name;
}

TEST_F(JobManagerTest, PollTimerLivesWhileJobsRun)
{
    EXPECT_FALSE(manager->hasTimer());
    auto first = start({ step("exit", 0) });
    EXPECT_TRUE(manager->hasTimer());
    ASSERT_TRUE(runUntil([&] { return isFinal(first); }));
    EXPECT_FALSE(manager->hasTimer());
    auto second = start({ step("exit", 0) });
    EXPECT_TRUE(manager->hasTimer());
    ASSERT_TRUE(runUntil([&] { return isFinal(second); }));
    EXPECT_FALSE(manager->hasTimer());
}

TEST_F(JobManagerTest, RemovingARunningJobStillEndsItsWorker)
{
    auto partial = temp / "removed.partial";
    auto job = start({ step("writeFile", partial.string()), send({ { "registerFile", partial.string() } }),
        step("waitFor", "Cancel"), step("exit", 0) });
    ASSERT_TRUE(runUntil([&] { return job->registeredFiles().size() == 1; }));
    manager->removeJob(job);
    EXPECT_TRUE(manager->jobs().empty());
    ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
    EXPECT_EQ(job->state(), JobState::Canceled);
    EXPECT_FALSE(fs::exists(partial));
}

} // namespace
