// Profiling collectors exist only when their switch is set, and write their results as a property list.
#include "diagnostics/perf_collector.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

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
    collector->startMeasurementOfMainTaskFromEnvVar("MOVARA_TEST_BEFORE");
    collector->stopMeasurementOfMainTask();
    collector->collectMemoryUsageWithLabel("resident_memory_showWindows");
    ASSERT_TRUE(collector->writeResults());

    auto list = HXPropertyList::readFromFile(results);
    ASSERT_TRUE(list && list->isDictionary());
    EXPECT_GE((*list)["main_task"].realValue(), 0.0);
    EXPECT_LT((*list)["main_task"].realValue(), 60.0) << "an unreadable start time means now";
    EXPECT_GT((*list)["resident_memory_showWindows"].integerValue(), 0);

    MVPerfCollector::setCollectorForTest(nullptr, "MOVARA_TEST_PROFILE");
    EXPECT_FALSE(MVPerfCollector::collectorForTest("MOVARA_TEST_PROFILE"));
    unsetenv("MOVARA_TEST_PROFILE");
    unsetenv("MOVARA_TEST_RESULTS");
    unsetenv("MOVARA_TEST_BEFORE");
}

} // namespace
