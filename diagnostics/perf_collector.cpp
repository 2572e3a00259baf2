#include "diagnostics/perf_collector.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

std::map<std::string, std::shared_ptr<MVPerfCollector>>& liveCollectors()
{
    static auto* table = new std::map<std::string, std::shared_ptr<MVPerfCollector>>;
    return *table;
}

double now()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

int64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long long size = 0, resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return int64_t(resident) * int64_t(sysconf(_SC_PAGESIZE));
}

} // namespace

std::shared_ptr<MVPerfCollector> MVPerfCollector::initTestingEnvVar(const char* name)
{
    if (!name || !std::getenv(name))
        return nullptr;
    return std::make_shared<MVPerfCollector>();
}

void MVPerfCollector::setCollectorForTest(
    const std::shared_ptr<MVPerfCollector>& collector, const std::string& test)
{
    if (collector)
        liveCollectors()[test] = collector;
    else
        liveCollectors().erase(test);
}

std::shared_ptr<MVPerfCollector> MVPerfCollector::collectorForTest(const std::string& test)
{
    auto it = liveCollectors().find(test);
    return it == liveCollectors().end() ? nullptr : it->second;
}

void MVPerfCollector::setResultsPathFromEnvVar(const char* name)
{
    const char* value = name ? std::getenv(name) : nullptr;
    _resultsPath = value ? value : "";
}

double MVPerfCollector::startTimeFromEnvVar(const char* name)
{
    const char* value = name ? std::getenv(name) : nullptr;
    if (value) {
        char* end = nullptr;
        double seconds = std::strtod(value, &end);
        if (end != value)
            return seconds;
    }
    return now();
}

void MVPerfCollector::startMeasurementOfMainTaskFromEnvVar(const char* name)
{
    _mainTaskStart = startTimeFromEnvVar(name);
}

void MVPerfCollector::stopMeasurementOfMainTask()
{
    if (_mainTaskStart < 0)
        return;
    _results["main_task"] = now() - _mainTaskStart;
    _mainTaskStart = -1;
}

void MVPerfCollector::startMeasurementOfTaskFromEnvVar(const std::string& task, const char* name)
{
    _taskStarts[task] = startTimeFromEnvVar(name);
}

void MVPerfCollector::stopMeasurementOfTask(const std::string& task)
{
    auto it = _taskStarts.find(task);
    if (it == _taskStarts.end())
        return;
    _results[task] = now() - it->second;
    _taskStarts.erase(it);
}

void MVPerfCollector::collectMemoryUsageWithLabel(const std::string& label)
{
    _results[label] = residentBytes();
}

bool MVPerfCollector::writeResults() const
{
    if (_resultsPath.empty())
        return false;
    return HXPropertyList(_results).writeToFile(_resultsPath);
}
