#pragma once
// MVPerfCollector: how a profiling run of the program measures itself. A run is switched on by an
// environment variable named after the test; its collector then times one main task and any number of
// named tasks (wall clock, user and system processor time), takes resident-memory readings under labels,
// accepts result values of any kind, adds the resource usage of the program's child processes, writes
// everything as one XML property list to the path another variable names, and can end the application.
//
// Collectors that must be found again later (the document's open profile, the job queue's export profile)
// are registered in a process-wide table under their test name and stay there for the rest of the process.
//
// A run goes: initTestingEnvVar → setResultsPathFromEnvVar → start of the main task → optional registration
// → named tasks, memory labels and values → stop of the main task → writeResults → terminateApp.
#include "diagnostics/test_measurement.h"
#include "platform/basekit/property_list.h"

#include <map>
#include <memory>
#include <string>

// The time record of one named task; its values accumulate across repeated start/stop pairs.
class MVPerfTaskTime {
public:
    // Null when the time record cannot be made.
    static std::shared_ptr<MVPerfTaskTime> taskTime();
    MVPerfTaskTime(MVTestTime* time)
        : _testTime(time)
    {
    }
    ~MVPerfTaskTime() { MVTestTimeFree(_testTime); }
    MVPerfTaskTime(const MVPerfTaskTime&) = delete;
    MVPerfTaskTime& operator=(const MVPerfTaskTime&) = delete;

    // The six time values under the six time keys.
    HXPropertyList::Dictionary values() const;
    void stop();
    // Starts at the moment written in the environment variable (now when it holds none).
    void startFromEnvVar(const char* name);
    void start();
    bool isCollecting() const { return _collecting; }

private:
    MVTestTime* _testTime = nullptr;
    bool _collecting = false;
};

class MVPerfCollector {
public:
    // ---- The table of live collectors ----
    static std::shared_ptr<MVPerfCollector> collectorForTest(const std::string& test);
    // A null collector is ignored: nothing is registered and nothing removed.
    static void setCollectorForTest(
        const std::shared_ptr<MVPerfCollector>& collector, const std::string& test);
    // Adds the child processes' statistics to the collector's results; with no collector, prints them.
    static void collectSubProcessResourceUsageForPerfCollector(MVPerfCollector* collector);

    // A collector when the environment variable `name` is set; null otherwise.
    static std::shared_ptr<MVPerfCollector> initTestingEnvVar(const char* name);
    // Throws std::runtime_error("MVTestTimeNewFailure") when the test record cannot be made.
    MVPerfCollector();
    ~MVPerfCollector();
    MVPerfCollector(const MVPerfCollector&) = delete;
    MVPerfCollector& operator=(const MVPerfCollector&) = delete;

    // ---- Result values (each replaces an earlier value under its key) ----
    void setDoubleTestValue(double value, const std::string& key);
    void setLongLongTestValue(int64_t value, const std::string& key);
    void setLongTestValue(int32_t value, const std::string& key);
    void setTestValue(const HXPropertyList& value, const std::string& key);
    // The result dictionary as it stands (the time values join it when the results are written).
    const HXPropertyList::Dictionary& results() const;

    // Asks the shared application to terminate (nothing when there is no application).
    void terminateApp();
    // Writes the results to the results path; false when there is none (then nothing at all happens) or
    // the file could not be written.
    bool writeResults();
    // The own process's resident private memory, in bytes, under `label`.
    void collectMemoryUsageWithLabel(const std::string& label);

    // ---- Named tasks (made on first use) ----
    void stopMeasurementOfTask(const std::string& task);
    void startMeasurementOfTaskFromEnvVar(const std::string& task, const char* name);
    void startMeasurementOfTask(const std::string& task);

    // ---- The main task ----
    void stopMeasurementOfMainTask();
    // Starts at the moment written in the environment variable by the launching program (now when the
    // variable holds none).
    void startMeasurementOfMainTaskFromEnvVar(const char* name);
    void startMeasurementOfMainTask();
    bool isCollecting() const { return _collecting; }

    // ---- Where the results go ----
    // When the variable is set, its value with white space trimmed from both ends; else nothing changes.
    void setResultsPathFromEnvVar(const char* name);
    void setResultsPath(const std::string& path) { _resultsPath = path; }
    const std::string& resultsPath() const { return _resultsPath; }

private:
    std::shared_ptr<MVPerfTaskTime> taskTime(const std::string& task);

    MVTestInfo* _testInfo = nullptr;
    bool _collecting = false;
    std::map<std::string, std::shared_ptr<MVPerfTaskTime>> _taskTimes;
    std::string _resultsPath;
};
