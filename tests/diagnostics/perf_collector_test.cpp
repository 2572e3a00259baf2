// Profiling collectors exist only when their switch is set, and write their results as a property list.
#include "diagnostics/perf_collector.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

const HXPropertyList::Dictionary& dictionaryOf(const std::optional<HXPropertyList>& list)
{
    static const HXPropertyList::Dictionary none;
    return list && list->isDictionary() ? list->dictionaryValue() : none;
}

TEST(PerfCollector, ExistsOnlyWhenItsVariableIsSetAndWritesItsResults)
{
    unsetenv("MOVARA_TEST_PROFILE");
    EXPECT_FALSE(MVPerfCollector::initTestingEnvVar("MOVARA_TEST_PROFILE"));

    movara::test::TempDir dir;
    std::string results = (dir.path() / "results.plist").string();
    setenv("MOVARA_TEST_PROFILE", "1", 1);
    setenv("MOVARA_TEST_RESULTS", results.c_str(), 1);
    setenv("MOVARA_TEST_BEFORE", "not a number", 1);
    auto collector = MVPerfCollector::initTestingEnvVar("MOVARA_TEST_PROFILE");
    ASSERT_TRUE(collector);
    collector->setResultsPathFromEnvVar("MOVARA_TEST_RESULTS");
    MVPerfCollector::setCollectorForTest(collector, "MOVARA_TEST_PROFILE");
    EXPECT_EQ(MVPerfCollector::collectorForTest("MOVARA_TEST_PROFILE"), collector);
    testing::internal::CaptureStderr();
    collector->startMeasurementOfMainTaskFromEnvVar("MOVARA_TEST_BEFORE");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("MOVARA_TEST_BEFORE"), std::string::npos);
    collector->stopMeasurementOfMainTask();
    collector->collectMemoryUsageWithLabel("resident_memory_showWindows");
    ASSERT_TRUE(collector->writeResults());

    auto list = HXPropertyList::readFromFile(results);
    ASSERT_TRUE(list && list->isDictionary());
    EXPECT_GE((*list)["MVTestWallClockTime"].integerValue(), 0);
    EXPECT_LT((*list)["MVTestWallClockTime"].integerValue(), 60000000)
        << "an unreadable start time means now";
    EXPECT_GT((*list)["resident_memory_showWindows"].integerValue(), 0);

    // A null collector neither registers nor removes.
    MVPerfCollector::setCollectorForTest(nullptr, "MOVARA_TEST_PROFILE");
    EXPECT_EQ(MVPerfCollector::collectorForTest("MOVARA_TEST_PROFILE"), collector);
    auto later = std::make_shared<MVPerfCollector>();
    MVPerfCollector::setCollectorForTest(later, "MOVARA_TEST_PROFILE");
    EXPECT_EQ(MVPerfCollector::collectorForTest("MOVARA_TEST_PROFILE"), later)
        << "the later registration wins";
    EXPECT_FALSE(MVPerfCollector::collectorForTest("MOVARA_NEVER_REGISTERED"));
    unsetenv("MOVARA_TEST_PROFILE");
    unsetenv("MOVARA_TEST_RESULTS");
    unsetenv("MOVARA_TEST_BEFORE");
}

TEST(PerfCollector, ResultsPathsAreTakenTrimmedAndOnlyWhenSet)
{
    struct Case {
        const char* value; // null: unset
        const char* path;
    };
    const Case cases[] = {
        { "/tmp/r.plist", "/tmp/r.plist" },
        { "/tmp/r.plist\n", "/tmp/r.plist" },
        { "  \t/tmp/with space.plist \r\n", "/tmp/with space.plist" },
        { "   ", "" },
        { nullptr, "/earlier" },
    };
    for (const auto& c : cases) {
        MVPerfCollector collector;
        collector.setResultsPath("/earlier");
        if (c.value)
            setenv("MOVARA_TEST_PATH", c.value, 1);
        else
            unsetenv("MOVARA_TEST_PATH");
        collector.setResultsPathFromEnvVar("MOVARA_TEST_PATH");
        EXPECT_EQ(collector.resultsPath(), c.path) << (c.value ? c.value : "(unset)");
    }
    unsetenv("MOVARA_TEST_PATH");
}

TEST(PerfCollector, WithoutAResultsPathNothingIsWritten)
{
    movara::test::TempDir dir;
    MVPerfCollector collector;
    collector.startMeasurementOfMainTask();
    collector.stopMeasurementOfMainTask();
    EXPECT_FALSE(collector.writeResults());
    EXPECT_TRUE(collector.results().empty()) << "not even the time values or child entries are gathered";
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(PerfCollector, TasksAreTimedFromTheLaunchersStartAndAccumulate)
{
    movara::test::TempDir dir;
    MVTestTime launcher {};
    MVTestTimeBegin(&launcher);
    ASSERT_EQ(MVTestWriteStartTimeToEnvVar(&launcher, "MOVARA_TEST_LAUNCHED"), kMVTestNoErr);
    MVTestSleep(60);

    MVPerfCollector collector;
    collector.setResultsPath((dir / "r.plist").string());
    collector.startMeasurementOfMainTaskFromEnvVar("MOVARA_TEST_LAUNCHED");
    EXPECT_TRUE(collector.isCollecting());
    collector.stopMeasurementOfMainTask();
    for (int i = 0; i < 2; ++i) {
        collector.startMeasurementOfTask("step");
        MVTestSleep(10);
        collector.stopMeasurementOfTask("step");
    }
    collector.stopMeasurementOfTask("never_started");
    collector.setLongTestValue(-3, "long");
    collector.setLongLongTestValue(int64_t(1) << 40, "long long");
    collector.setDoubleTestValue(0.25, "double");
    collector.setTestValue(HXPropertyList("text"), "object");
    ASSERT_TRUE(collector.writeResults());

    auto list = HXPropertyList::readFromFile((dir / "r.plist").string());
    const auto& results = dictionaryOf(list);
    ASSERT_FALSE(results.empty());
    EXPECT_GE(results.at("MVTestWallClockTime").integerValue(), 60000)
        << "measured from the launcher's start";
    const auto& step = results.at("step");
    ASSERT_TRUE(step.isDictionary());
    EXPECT_GE(step["MVTestAccumulatedWallClockTime"].integerValue(), 20000);
    EXPECT_GE(step["MVTestAccumulatedWallClockTime"].integerValue(),
        step["MVTestWallClockTime"].integerValue() + 10000);
    // A task stopped without a start counts from zero: its processor time is the process's whole.
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    int64_t userSoFar = int64_t(usage.ru_utime.tv_sec) * 1000000 + usage.ru_utime.tv_usec;
    int64_t neverStarted = results.at("never_started")["MVTestUserCPUTime"].integerValue();
    EXPECT_GT(neverStarted, 0);
    EXPECT_LE(neverStarted, userSoFar);
    EXPECT_EQ(results.at("long").integerValue(), -3);
    EXPECT_EQ(results.at("long long").integerValue(), int64_t(1) << 40);
    EXPECT_EQ(results.at("double").realValue(), 0.25);
    EXPECT_EQ(results.at("object").stringValue(), "text");
    // No children: the sums are there and zero.
    EXPECT_EQ(results.at("SubProcesses_#TH").integerValue(), 0);
    EXPECT_EQ(results.at("SubProcesses_RSIZE").integerValue(), 0);
    EXPECT_EQ(results.at("SubProcesses_CPU").realValue(), 0.0);
    unsetenv("MOVARA_TEST_LAUNCHED");
}

TEST(PerfCollector, WithoutACollectorTheChildrenArePrinted)
{
    testing::internal::CaptureStdout();
    MVPerfCollector::collectSubProcessResourceUsageForPerfCollector(nullptr);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Subprocesses_CPU: 0.000000\nSubprocesses_#TH: 0\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Subprocesses_VSIZE: 0\n"), std::string::npos);
}

} // namespace
