// A collector's result file, with a child process's statistics, as python's plistlib reads it.
#include "diagnostics/perf_collector.h"

#include "test_support.h"
#include "program_runner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

TEST(PerfCollectorPeer, ResultFileHoldsTimesTasksMemoryAndChildren)
{
    if (!movara::test::haveProgram("python3"))
        GTEST_SKIP() << "python3 is not installed";
    movara::test::TempDir dir;
    char sleep[] = "sleep";
    char seconds[] = "60";
    char* argv[] = { sleep, seconds, nullptr };
    pid_t child = 0;
    ASSERT_EQ(posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
    for (int i = 0; i < 200; ++i) {
        auto comm = movara::test::readFile("/proc/" + std::to_string(child) + "/comm");
        if (comm == "sleep\n")
            break;
        usleep(10000);
    }

    MVPerfCollector collector;
    collector.setResultsPath((dir / "results.plist").string());
    collector.startMeasurementOfMainTask();
    collector.startMeasurementOfTask("total_launch");
    collector.stopMeasurementOfTask("total_launch");
    collector.stopMeasurementOfMainTask();
    collector.collectMemoryUsageWithLabel("launch_resident_memory");
    collector.setDoubleTestValue(24.5, "playback_avg_framerate");
    bool written = collector.writeResults();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(written);

    auto entries = movara::test::readWithPlistlib((dir / "results.plist").string());
    const char* timeKeys[] = { "MVTestWallClockTime", "MVTestAccumulatedWallClockTime", "MVTestUserCPUTime",
        "MVTestAccumulatedUserCPUTime", "MVTestSystemCPUTime", "MVTestAccumulatedSystemCPUTime" };
    for (const char* key : timeKeys) {
        EXPECT_EQ(entries[key].type, "int") << key;
        EXPECT_EQ(entries[std::string("total_launch.") + key].type, "int") << key;
    }
    EXPECT_EQ(entries["launch_resident_memory"].type, "int");
    EXPECT_GT(std::stoll(entries["launch_resident_memory"].value), 0);
    EXPECT_EQ(entries["playback_avg_framerate"], (movara::test::PlistlibEntry { "float", "24.5" }));

    struct Child {
        const char* suffix;
        const char* type;
    };
    const Child childKeys[]
        = { { "_#TH", "int" }, { "_#PRTS", "int" }, { "_#MREGS", "int" }, { "_RPRVT", "int" },
              { "_RSHRD", "int" }, { "_RSIZE", "int" }, { "_VSIZE", "int" }, { "_CPU", "float" } };
    for (const auto& k : childKeys) {
        EXPECT_EQ(entries[std::string("sleep") + k.suffix].type, k.type) << k.suffix;
        EXPECT_EQ(entries[std::string("SubProcesses") + k.suffix].type, k.type) << k.suffix;
    }
    EXPECT_EQ(entries["sleep_#TH"].value, "1");
    EXPECT_EQ(entries["SubProcesses_#TH"].value, "1");
    EXPECT_GT(std::stoll(entries["sleep_RSIZE"].value), 0);
    EXPECT_EQ(entries["SubProcesses_VSIZE"].value, entries["sleep_VSIZE"].value);
}

} // namespace
