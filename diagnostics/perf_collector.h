#pragma once
// MVPerfCollector: the timing and memory measurements of a profiling run, switched on by environment
// variables. A collector exists only when its variable is set; its results are written as a property
// list to the path another variable names.
#include "platform/basekit/property_list.h"

#include <map>
#include <memory>
#include <string>

class MVPerfCollector {
public:
    // A collector when the environment variable `name` is set; null otherwise.
    static std::shared_ptr<MVPerfCollector> initTestingEnvVar(const char* name);
    // The table of live collectors, by test name.
    static void setCollectorForTest(
        const std::shared_ptr<MVPerfCollector>& collector, const std::string& test);
    static std::shared_ptr<MVPerfCollector> collectorForTest(const std::string& test);

    void setResultsPathFromEnvVar(const char* name);
    const std::string& resultsPath() const { return _resultsPath; }

    // Times are seconds since the Unix epoch; a start time comes from the named variable (now when the
    // variable is missing or not a number).
    void startMeasurementOfMainTaskFromEnvVar(const char* name);
    void stopMeasurementOfMainTask();
    void startMeasurementOfTaskFromEnvVar(const std::string& task, const char* name);
    void stopMeasurementOfTask(const std::string& task);
    // The resident memory of the process, in bytes, under `label`.
    void collectMemoryUsageWithLabel(const std::string& label);
    void setResultForKey(const HXPropertyList& value, const std::string& key) { _results[key] = value; }

    const HXPropertyList::Dictionary& results() const { return _results; }
    // Writes the results to the results path; false when there is none or writing failed.
    bool writeResults() const;

private:
    static double startTimeFromEnvVar(const char* name);
    std::string _resultsPath;
    HXPropertyList::Dictionary _results;
    double _mainTaskStart = -1;
    std::map<std::string, double> _taskStarts;
};
