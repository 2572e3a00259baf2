// The launch profile of the application delegate.
#include "app/application_delegate.h"
#include "app/self_test.h"

#include "diagnostics/perf_collector.h"
#include "platform/basekit/run_loop.h"

namespace {

// How long the program idles after launching before its memory is read.
constexpr double kLaunchSettleTime = 15.0;

void collectMemoryUsageAndTerminateApp(
    const std::shared_ptr<MVPerfCollector>& collector, const std::string& label)
{
    collector->collectMemoryUsageWithLabel(label);
    collector->writeResults();
    collector->terminateApp();
}

} // namespace

void MVPApplicationDelegate::reportLaunchTestResults()
{
    if (auto collector = MVPerfCollector::initTestingEnvVar("MOVIEPLAYERLAUNCHPROFILE")) {
        collector->setResultsPathFromEnvVar("MOVIEPLAYERRESULTSPATH");
        // The main task runs from the launcher's start to now.
        collector->startMeasurementOfMainTaskFromEnvVar("MOVIEPLAYERBEFORETIME");
        collector->stopMeasurementOfMainTask();
        HXRunLoop::main().performAfterDelay(this, "reportLaunchTestResults", kLaunchSettleTime,
            [collector] { collectMemoryUsageAndTerminateApp(collector, "launch_resident_memory"); });
    } else if (auto open = MVPerfCollector::collectorForTest("MOVIEPLAYEROPENPROFILE")) {
        open->stopMeasurementOfTask("total_launch");
        HXRunLoop::main().performAfterDelay(this, "reportLaunchTestResults", kLaunchSettleTime,
            [open] { collectMemoryUsageAndTerminateApp(open, "resident_memory_didLaunch"); });
    }
    // A self-test asked for in the environment runs once launching is over.
    MVPSelfTest::scheduleFromEnvironment(*this);
}
