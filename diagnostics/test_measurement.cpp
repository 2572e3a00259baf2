#include "diagnostics/test_measurement.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>

namespace {

uint64_t upTimeNow()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

rusage usageNow()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

// Each difference is taken as a signed 32-bit value, as the start times handed over in the environment
// carry them.
int64_t cpuDuration(const timeval& start, const timeval& end)
{
    double seconds = double(int32_t(end.tv_sec - start.tv_sec));
    double micros = double(int32_t(end.tv_usec - start.tv_usec));
    return int64_t(seconds * 1000000.0 + micros);
}

HXPropertyList::Dictionary& results(MVTestInfo* info)
{
    if (!info->results)
        info->results = std::make_unique<HXPropertyList::Dictionary>();
    return *info->results;
}

const HXPropertyList* lookup(const HXPropertyList::Dictionary* dictionary, const char* key)
{
    if (!dictionary || !key)
        return nullptr;
    auto it = dictionary->find(key);
    return it == dictionary->end() ? nullptr : &it->second;
}

// A whole number held as a real converts to an integer type only when nothing is lost.
template<typename Int> bool integerOf(const HXPropertyList* value, Int* out)
{
    if (!value || !out || !value->isNumber())
        return false;
    if (value->isInteger()) {
        int64_t i = value->integerValue();
        if (i < int64_t(std::numeric_limits<Int>::min()) || i > int64_t(std::numeric_limits<Int>::max()))
            return false;
        *out = Int(i);
        return true;
    }
    double d = value->realValue();
    if (!std::isfinite(d) || std::trunc(d) != d || d < double(std::numeric_limits<Int>::min())
        || d >= -double(std::numeric_limits<Int>::min()))
        return false;
    *out = Int(d);
    return true;
}

bool doubleOf(const HXPropertyList* value, double* out)
{
    if (!value || !out || !value->isNumber())
        return false;
    *out = value->realValue();
    return true;
}

uint64_t kilobytes(const std::string& rest)
{
    return std::strtoull(rest.c_str(), nullptr, 10) * 1024u;
}

bool isSharedLibraryPath(const std::string& path)
{
    auto at = path.rfind(".so");
    return at != std::string::npos && (at + 3 == path.size() || path[at + 3] == '.');
}

} // namespace

// ---- Test records ----

int MVTestInfoNew(MVTestInfo** outInfo)
{
    if (!outInfo)
        return kMVTestParamErr;
    *outInfo = nullptr;
    auto* info = new (std::nothrow) MVTestInfo;
    if (!info)
        return kMVTestMemFullErr;
    int status = MVTestTimeNew(&info->time);
    if (status == kMVTestNoErr)
        status = MVTestMemoryNew(&info->memory);
    if (status != kMVTestNoErr) {
        MVTestInfoFree(info);
        return status;
    }
    *outInfo = info;
    return kMVTestNoErr;
}

void MVTestInfoFree(MVTestInfo* info)
{
    if (!info)
        return;
    MVTestTimeFree(info->time);
    MVTestMemoryFree(info->memory);
    delete info;
}

MVTestTime* MVTestGetTestTime(MVTestInfo* info)
{
    return info ? info->time : nullptr;
}

MVTestMemory* MVTestGetTestMemory(MVTestInfo* info)
{
    return info ? info->memory : nullptr;
}

int MVTestSetCommonDictionaryValues(MVTestInfo* info)
{
    if (!info)
        return kMVTestParamErr;
    for (auto& [key, value] : MVTestTimeCreateDictionaryWithCommmonTimeValues(info->time))
        results(info)[key] = value;
    return kMVTestNoErr;
}

// ---- Time records ----

int MVTestTimeNew(MVTestTime** outTime)
{
    if (!outTime)
        return kMVTestParamErr;
    *outTime = new (std::nothrow) MVTestTime {};
    return *outTime ? kMVTestNoErr : kMVTestMemFullErr;
}

void MVTestTimeFree(MVTestTime* time)
{
    delete time;
}

void MVTestTimeBegin(MVTestTime* time)
{
    if (!time)
        return;
    time->startUpTime = upTimeNow();
    time->startUsage = usageNow();
}

void MVTestTimeBeginWithResetting(MVTestTime* time)
{
    if (!time)
        return;
    time->startUpTime = upTimeNow();
    time->startUsage.ru_utime = {};
    time->startUsage.ru_stime = {};
    time->endUsage.ru_utime = {};
    time->endUsage.ru_stime = {};
}

void MVTestTimeEnd(MVTestTime* time)
{
    if (!time)
        return;
    time->endUpTime = upTimeNow();
    time->endUsage = usageNow();
    time->durationCPUUser = cpuDuration(time->startUsage.ru_utime, time->endUsage.ru_utime);
    time->accumulatedCPUUser += time->durationCPUUser;
    time->durationCPUSystem = cpuDuration(time->startUsage.ru_stime, time->endUsage.ru_stime);
    time->accumulatedCPUSystem += time->durationCPUSystem;
    // A start handed over from a clock that is ahead (another boot) measures nothing rather than an
    // unsigned wrap-around.
    uint64_t elapsed = time->endUpTime > time->startUpTime ? time->endUpTime - time->startUpTime : 0;
    time->durationWallClock = int64_t(uint64_t(double(elapsed) * 0.001));
    time->accumulatedWallClock += time->durationWallClock;
}

int64_t MVTestTimeGetDurationWallClock(const MVTestTime* time)
{
    return time ? time->durationWallClock : 0;
}

int64_t MVTestTimeGetAccumulatedWallClock(const MVTestTime* time)
{
    return time ? time->accumulatedWallClock : 0;
}

int64_t MVTestTimeGetDurationCPUUser(const MVTestTime* time)
{
    return time ? time->durationCPUUser : 0;
}

int64_t MVTestTimeGetAccumulatedCPUUser(const MVTestTime* time)
{
    return time ? time->accumulatedCPUUser : 0;
}

int64_t MVTestTimeGetDurationCPUSystem(const MVTestTime* time)
{
    return time ? time->durationCPUSystem : 0;
}

int64_t MVTestTimeGetAccumulatedCPUSystem(const MVTestTime* time)
{
    return time ? time->accumulatedCPUSystem : 0;
}

HXPropertyList::Dictionary MVTestTimeCreateDictionaryWithCommmonTimeValues(const MVTestTime* time)
{
    if (!time)
        return {};
    return {
        { kMVTestWallClockTimeKey, HXPropertyList(time->durationWallClock) },
        { kMVTestAccumulatedWallClockTimeKey, HXPropertyList(time->accumulatedWallClock) },
        { kMVTestUserCPUTimeKey, HXPropertyList(time->durationCPUUser) },
        { kMVTestAccumulatedUserCPUTimeKey, HXPropertyList(time->accumulatedCPUUser) },
        { kMVTestSystemCPUTimeKey, HXPropertyList(time->durationCPUSystem) },
        { kMVTestAccumulatedSystemCPUTimeKey, HXPropertyList(time->accumulatedCPUSystem) },
    };
}

// ---- Start times in the environment ----

int MVTestWriteStartTimeToEnvVar(const MVTestTime* time, const char* name)
{
    if (!time || !name || !*name)
        return kMVTestParamErr;
    char* text = nullptr;
    if (asprintf(&text, "%lu %lu %ld %d %ld %d\n", (unsigned long)(time->startUpTime >> 32),
            (unsigned long)(time->startUpTime & 0xFFFFFFFFu), long(time->startUsage.ru_utime.tv_sec),
            int(time->startUsage.ru_utime.tv_usec), long(time->startUsage.ru_stime.tv_sec),
            int(time->startUsage.ru_stime.tv_usec))
            < 0
        || !text) {
        std::fputs("asprintf returned null buffer\n", stderr);
        return kMVTestParamErr;
    }
    int status = setenv(name, text, 1);
    if (status != 0)
        std::perror("setenv");
    std::free(text);
    return status == 0 ? kMVTestNoErr : kMVTestParamErr;
}

int MVTestReadStartTimeFromEnvVar(MVTestTime* time, const char* name)
{
    if (!time || !name)
        return kMVTestParamErr;
    const char* value = std::getenv(name);
    if (!value) {
        std::fprintf(stderr, "Environment variable %s not set\n", name);
        return kMVTestParamErr;
    }
    unsigned long high = 0, low = 0;
    long userSeconds = 0, systemSeconds = 0;
    int userMicros = 0, systemMicros = 0;
    int count = std::sscanf(value, "%lu %lu %ld %d %ld %d", &high, &low, &userSeconds, &userMicros,
        &systemSeconds, &systemMicros);
    if (count != 6) {
        std::fprintf(stderr, "Failed to scan all data from environment variable %s (expected %d, got %d)\n",
            name, 6, count < 0 ? 0 : count);
        return kMVTestParamErr;
    }
    time->startUpTime = (uint64_t(high & 0xFFFFFFFFu) << 32) | uint64_t(low & 0xFFFFFFFFu);
    time->startUsage.ru_utime.tv_sec = userSeconds;
    time->startUsage.ru_utime.tv_usec = userMicros;
    time->startUsage.ru_stime.tv_sec = systemSeconds;
    time->startUsage.ru_stime.tv_usec = systemMicros;
    return kMVTestNoErr;
}

// ---- Memory records ----

int MVTestMemoryNew(MVTestMemory** outMemory)
{
    if (!outMemory)
        return kMVTestParamErr;
    *outMemory = new (std::nothrow) MVTestMemory {};
    return *outMemory ? kMVTestNoErr : kMVTestMemFullErr;
}

void MVTestMemoryFree(MVTestMemory* memory)
{
    delete memory;
}

void MVTestMemorySetProcessID(MVTestMemory* memory, int32_t pid)
{
    if (memory)
        memory->processID = pid;
}

std::vector<MVTestRegion> MVTestParseMemoryMap(const std::string& smaps)
{
    std::vector<MVTestRegion> regions;
    uint64_t pss = 0;
    auto finish = [&] {
        if (regions.empty())
            return;
        auto& r = regions.back();
        r.residentSharedPortion = pss > r.residentPrivate ? pss - r.residentPrivate : 0;
    };
    std::istringstream in(smaps);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first))
            continue;
        if (first.back() == ':') {
            if (regions.empty())
                continue;
            std::string rest;
            std::getline(words, rest);
            auto& r = regions.back();
            if (first == "Size:")
                r.size = kilobytes(rest);
            else if (first == "Private_Clean:" || first == "Private_Dirty:")
                r.residentPrivate += kilobytes(rest);
            else if (first == "Pss:")
                pss = kilobytes(rest);
            continue;
        }
        // A mapping's header: range, permissions, offset, device, inode, path.
        if (first.find('-') == std::string::npos)
            continue;
        finish();
        pss = 0;
        std::string perms, offset, device, path;
        unsigned long long inode = 0;
        words >> perms >> offset >> device >> inode;
        std::getline(words >> std::ws, path);
        MVTestRegion region;
        bool fileBacked = inode != 0 || (!path.empty() && path.front() == '/');
        char share = perms.size() >= 4 ? perms[3] : '?';
        if (share == 's')
            region.mode = MVTestShareMode::Shared;
        else if (share == 'p')
            region.mode = fileBacked ? MVTestShareMode::CopyOnWrite : MVTestShareMode::Private;
        else
            region.mode = MVTestShareMode::Other;
        region.inSharedLibrary = fileBacked && isSharedLibraryPath(path);
        regions.push_back(region);
    }
    finish();
    return regions;
}

void MVTestMemoryAddRegions(MVTestMemory* memory, const std::vector<MVTestRegion>& regions)
{
    if (!memory)
        return;
    int32_t pid = memory->processID;
    *memory = MVTestMemory {};
    memory->processID = pid;
    for (const auto& r : regions) {
        if (r.inSharedLibrary) {
            memory->sharedLibraryResidentPrivate += r.residentPrivate;
            if (r.mode != MVTestShareMode::Private)
                continue;
        }
        memory->residentSharedSize += r.residentSharedPortion;
        switch (r.mode) {
        case MVTestShareMode::Private:
            memory->residentPrivateSize += r.residentPrivate;
            memory->privateVirtualSize += r.size;
            break;
        case MVTestShareMode::Shared:
            memory->sharedVirtualSize += r.size;
            break;
        case MVTestShareMode::CopyOnWrite:
            memory->copyOnWriteVirtualSize += r.size;
            memory->copyOnWriteResidentShared += r.residentSharedPortion;
            memory->residentPrivateSize += r.residentPrivate;
            memory->privateVirtualSize += r.residentPrivate;
            break;
        case MVTestShareMode::Other:
            break;
        }
    }
}

bool MVTestMemoryGatherMemoryData(MVTestMemory* memory)
{
    if (!memory)
        return false;
    std::ifstream in("/proc/self/smaps");
    if (!in) {
        MVTestMemoryAddRegions(memory, {});
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    MVTestMemoryAddRegions(memory, MVTestParseMemoryMap(text.str()));
    return true;
}

uint64_t MVTestMemoryGetResidentPrivate(const MVTestMemory* memory)
{
    return memory ? memory->residentPrivateSize : 0;
}

// ---- Environment ----

bool MVTestGetEnvironmentVariable(const char* name, char* buffer, size_t* length)
{
    if (!length)
        return false;
    const char* value = name ? std::getenv(name) : nullptr;
    const char* text = value ? value : "";
    size_t needed = std::strlen(text) + 1;
    size_t room = *length;
    *length = needed;
    if (room < 1 || !buffer)
        return false;
    size_t copied = std::min(needed - 1, room - 1);
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    buffer[room - 1] = '\0';
    return value && needed <= room;
}

int MVTestSetEnvironmentVariable(const char* name, const char* value)
{
    if (!name || !value) {
        errno = EINVAL;
        return -1;
    }
    return setenv(name, value, 1);
}

int MVTestClearEnvironmentVariable(const char* name)
{
    if (!name) {
        errno = EINVAL;
        return -1;
    }
    return unsetenv(name);
}

void MVTestSleep(uint32_t milliseconds)
{
    timespec wait { time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L };
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) { }
}

// ---- Result values ----

int MVTestSetValueForKey(MVTestInfo* info, const char* key, const HXPropertyList& value)
{
    if (!info || !key || value.isNull())
        return kMVTestParamErr;
    results(info)[key] = value;
    return kMVTestNoErr;
}

int MVTestSetDoubleValueForKey(MVTestInfo* info, const char* key, double value)
{
    return MVTestSetValueForKey(info, key, HXPropertyList(value));
}

int MVTestSetSInt64ValueForKey(MVTestInfo* info, const char* key, int64_t value)
{
    return MVTestSetValueForKey(info, key, HXPropertyList(value));
}

int MVTestSetSInt32ValueForKey(MVTestInfo* info, const char* key, int32_t value)
{
    return MVTestSetValueForKey(info, key, HXPropertyList(int64_t(value)));
}

const HXPropertyList* MVTestValueForKey(const MVTestInfo* info, const char* key)
{
    return info ? lookup(info->results.get(), key) : nullptr;
}

bool MVTestDoubleValueForKey(const MVTestInfo* info, const char* key, double* outValue)
{
    return doubleOf(MVTestValueForKey(info, key), outValue);
}

bool MVTestSInt64ValueForKey(const MVTestInfo* info, const char* key, int64_t* outValue)
{
    return integerOf(MVTestValueForKey(info, key), outValue);
}

bool MVTestSInt32ValueForKey(const MVTestInfo* info, const char* key, int32_t* outValue)
{
    return integerOf(MVTestValueForKey(info, key), outValue);
}

bool MVTestDoubleDictionaryValueForKey(
    const HXPropertyList::Dictionary* dictionary, const char* key, double* outValue)
{
    return doubleOf(lookup(dictionary, key), outValue);
}

bool MVTestSInt64DictionaryValueForKey(
    const HXPropertyList::Dictionary* dictionary, const char* key, int64_t* outValue)
{
    return integerOf(lookup(dictionary, key), outValue);
}

bool MVTestSInt32DictionaryValueForKey(
    const HXPropertyList::Dictionary* dictionary, const char* key, int32_t* outValue)
{
    return integerOf(lookup(dictionary, key), outValue);
}

// ---- Result files ----

int MVTestReadDictionaryFromFile(MVTestInfo* info, const char* path)
{
    if (!info || !path || !*path)
        return kMVTestParamErr;
    info->results.reset();
    auto list = HXPropertyList::readFromFile(path);
    if (!list || !list->isDictionary())
        return kMVTestParamErr;
    info->results = std::make_unique<HXPropertyList::Dictionary>(list->dictionaryValue());
    return kMVTestNoErr;
}

int MVTestWriteDictionaryToFile(const MVTestInfo* info, const char* path)
{
    if (!info || !info->results || !path || !*path)
        return kMVTestParamErr;
    return HXPropertyList(*info->results).writeToFile(path) ? kMVTestNoErr : kMVTestParamErr;
}
