#include "diagnostics/perf_collector.h"

#include "diagnostics/libtop.h"
#include "platform/winkit/application.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace {

std::map<std::string, std::shared_ptr<MVPerfCollector>>& liveCollectors()
{
    // Registered collectors live until the process ends.
    static auto* table = new std::map<std::string, std::shared_ptr<MVPerfCollector>>;
    return *table;
}

// Starts a time record now, then moves its start to the moment the environment variable holds. A variable
// that is missing or malformed leaves the start at now (the reader says why on the standard error), so a
// run never reports the time since the machine booted.
void beginFromEnvVar(MVTestTime* time, const char* name)
{
    MVTestTimeBegin(time);
    MVTestReadStartTimeFromEnvVar(time, name);
}

bool printError(void*, const char* format, ...)
{
    std::fputs("<Error>", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputs("</Error>\n", stderr);
    return true;
}

struct ChildUsage {
    double cpu = 0;
    uint32_t threads = 0, ports = 0, regions = 0;
    uint64_t residentPrivate = 0, residentShared = 0, residentSize = 0, virtualSize = 0;

    void add(const ChildUsage& other)
    {
        cpu += other.cpu;
        threads += other.threads;
        ports += other.ports;
        regions += other.regions;
        residentPrivate += other.residentPrivate;
        residentShared += other.residentShared;
        residentSize += other.residentSize;
        virtualSize += other.virtualSize;
    }
    void store(MVPerfCollector& collector, const std::string& name) const
    {
        collector.setLongTestValue(int32_t(threads), name + "_#TH");
        collector.setLongTestValue(int32_t(ports), name + "_#PRTS");
        collector.setLongTestValue(int32_t(regions), name + "_#MREGS");
        collector.setLongLongTestValue(int64_t(residentPrivate), name + "_RPRVT");
        collector.setLongLongTestValue(int64_t(residentShared), name + "_RSHRD");
        collector.setLongLongTestValue(int64_t(residentSize), name + "_RSIZE");
        collector.setLongLongTestValue(int64_t(virtualSize), name + "_VSIZE");
        collector.setDoubleTestValue(cpu, name + "_CPU");
    }
    void print(const char* n) const
    {
        std::printf("%s_CPU: %lf\n%s_#TH: %u\n%s_#PRTS: %u\n%s_#MREGS: %u\n%s_RPRVT: %llu\n%s_RSHRD: %llu\n"
                    "%s_RSIZE: %llu\n%s_VSIZE: %llu\n",
            n, cpu, n, threads, n, ports, n, regions, n, (unsigned long long)residentPrivate, n,
            (unsigned long long)residentShared, n, (unsigned long long)residentSize, n,
            (unsigned long long)virtualSize);
    }
};

} // namespace

// ---- MVPerfTaskTime ----

std::shared_ptr<MVPerfTaskTime> MVPerfTaskTime::taskTime()
{
    MVTestTime* time = nullptr;
    if (MVTestTimeNew(&time) != kMVTestNoErr)
        return nullptr;
    return std::make_shared<MVPerfTaskTime>(time);
}

HXPropertyList::Dictionary MVPerfTaskTime::values() const
{
    return MVTestTimeCreateDictionaryWithCommmonTimeValues(_testTime);
}

void MVPerfTaskTime::stop()
{
    MVTestTimeEnd(_testTime);
    _collecting = false;
}

void MVPerfTaskTime::startFromEnvVar(const char* name)
{
    beginFromEnvVar(_testTime, name);
    _collecting = true;
}

void MVPerfTaskTime::start()
{
    MVTestTimeBegin(_testTime);
    _collecting = true;
}

// ---- The table and the child processes ----

std::shared_ptr<MVPerfCollector> MVPerfCollector::collectorForTest(const std::string& test)
{
    auto it = liveCollectors().find(test);
    return it == liveCollectors().end() ? nullptr : it->second;
}

void MVPerfCollector::setCollectorForTest(
    const std::shared_ptr<MVPerfCollector>& collector, const std::string& test)
{
    if (collector)
        liveCollectors()[test] = collector;
}

void MVPerfCollector::collectSubProcessResourceUsageForPerfCollector(MVPerfCollector* collector)
{
    if (collector) {
        if (libtop_init(nullptr, nullptr) != 0)
            return;
        if (libtop_sample(true, true) != 0) {
            libtop_fini();
            return;
        }
    } else {
        if (libtop_init(printError, nullptr) != 0)
            std::fputs("error: could not initialize libtop...\n", stderr);
        if (libtop_sample(true, true) != 0)
            std::fputs("error: libtop could not sample...\n", stderr);
    }
    ChildUsage sums;
    pid_t self = getpid();
    while (const libtop_pinfo_t* process = libtop_piterate()) {
        if (process->ppid != self)
            continue;
        ChildUsage child;
        child.cpu = double(process->total_time.tv_sec) + double(process->total_time.tv_usec) / 1000000.0;
        child.threads = process->th;
        child.ports = process->prt;
        child.regions = process->reg;
        child.residentPrivate = process->rprvt;
        child.residentShared = process->rshrd;
        child.residentSize = process->rsize;
        child.virtualSize = process->vsize;
        sums.add(child);
        if (collector)
            child.store(*collector, process->command);
        else
            child.print(process->command.c_str());
    }
    if (collector)
        sums.store(*collector, "SubProcesses");
    else
        sums.print("Subprocesses");
    libtop_fini();
}

// ---- A collector ----

std::shared_ptr<MVPerfCollector> MVPerfCollector::initTestingEnvVar(const char* name)
{
    if (!name || !std::getenv(name))
        return nullptr;
    return std::make_shared<MVPerfCollector>();
}

MVPerfCollector::MVPerfCollector()
{
    if (MVTestInfoNew(&_testInfo) != kMVTestNoErr)
        throw std::runtime_error("MVTestTimeNewFailure");
}

MVPerfCollector::~MVPerfCollector()
{
    _taskTimes.clear();
    MVTestInfoFree(_testInfo);
}

void MVPerfCollector::setDoubleTestValue(double value, const std::string& key)
{
    MVTestSetDoubleValueForKey(_testInfo, key.c_str(), value);
}

void MVPerfCollector::setLongLongTestValue(int64_t value, const std::string& key)
{
    MVTestSetSInt64ValueForKey(_testInfo, key.c_str(), value);
}

void MVPerfCollector::setLongTestValue(int32_t value, const std::string& key)
{
    MVTestSetSInt32ValueForKey(_testInfo, key.c_str(), value);
}

void MVPerfCollector::setTestValue(const HXPropertyList& value, const std::string& key)
{
    MVTestSetValueForKey(_testInfo, key.c_str(), value);
}

const HXPropertyList::Dictionary& MVPerfCollector::results() const
{
    static const HXPropertyList::Dictionary none;
    return _testInfo->results ? *_testInfo->results : none;
}

void MVPerfCollector::terminateApp()
{
    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->terminate();
}

bool MVPerfCollector::writeResults()
{
    if (_resultsPath.empty())
        return false;
    MVTestSetCommonDictionaryValues(_testInfo);
    for (auto& [task, time] : _taskTimes)
        setTestValue(HXPropertyList(time->values()), task);
    collectSubProcessResourceUsageForPerfCollector(this);
    return MVTestWriteDictionaryToFile(_testInfo, _resultsPath.c_str()) == kMVTestNoErr;
}

void MVPerfCollector::collectMemoryUsageWithLabel(const std::string& label)
{
    MVTestMemory* memory = MVTestGetTestMemory(_testInfo);
    MVTestMemoryGatherMemoryData(memory);
    setLongLongTestValue(int64_t(MVTestMemoryGetResidentPrivate(memory)), label);
}

std::shared_ptr<MVPerfTaskTime> MVPerfCollector::taskTime(const std::string& task)
{
    auto& slot = _taskTimes[task];
    if (!slot)
        slot = MVPerfTaskTime::taskTime();
    if (!slot)
        _taskTimes.erase(task);
    return slot ? slot : nullptr;
}

void MVPerfCollector::stopMeasurementOfTask(const std::string& task)
{
    if (auto time = taskTime(task))
        time->stop();
}

void MVPerfCollector::startMeasurementOfTaskFromEnvVar(const std::string& task, const char* name)
{
    if (auto time = taskTime(task))
        time->startFromEnvVar(name);
}

void MVPerfCollector::startMeasurementOfTask(const std::string& task)
{
    if (auto time = taskTime(task))
        time->start();
}

void MVPerfCollector::stopMeasurementOfMainTask()
{
    MVTestTimeEnd(MVTestGetTestTime(_testInfo));
}

void MVPerfCollector::startMeasurementOfMainTaskFromEnvVar(const char* name)
{
    beginFromEnvVar(MVTestGetTestTime(_testInfo), name);
    _collecting = true;
}

void MVPerfCollector::startMeasurementOfMainTask()
{
    MVTestTimeBegin(MVTestGetTestTime(_testInfo));
    _collecting = true;
}

void MVPerfCollector::setResultsPathFromEnvVar(const char* name)
{
    const char* value = name ? std::getenv(name) : nullptr;
    if (!value)
        return;
    std::string path = value;
    const char* blanks = " \t\r\n\v\f";
    auto first = path.find_first_not_of(blanks);
    auto last = path.find_last_not_of(blanks);
    _resultsPath = first == std::string::npos ? std::string() : path.substr(first, last - first + 1);
}
