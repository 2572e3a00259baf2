#pragma once
// The measurement layer under the performance collector: time records (wall clock, user and system
// processor time between a begin and an end, with running totals), memory readings of the own process,
// test records bundling both with a result dictionary, start times handed to a child process in an
// environment variable, and result dictionaries read from and written to property-list files.
//
// Procedural on purpose: a launching script or a helper program can use it without the collector.
// Status results: kMVTestNoErr, kMVTestParamErr (a bad or missing parameter, value or file) and
// kMVTestMemFullErr (an allocation failed). Diagnostics go to the standard error.
#include "platform/basekit/property_list.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

inline constexpr int kMVTestNoErr = 0;
inline constexpr int kMVTestParamErr = -50;
inline constexpr int kMVTestMemFullErr = -108;

// Keys of the six time values.
inline constexpr const char* kMVTestWallClockTimeKey = "MVTestWallClockTime";
inline constexpr const char* kMVTestAccumulatedWallClockTimeKey = "MVTestAccumulatedWallClockTime";
inline constexpr const char* kMVTestUserCPUTimeKey = "MVTestUserCPUTime";
inline constexpr const char* kMVTestAccumulatedUserCPUTimeKey = "MVTestAccumulatedUserCPUTime";
inline constexpr const char* kMVTestSystemCPUTimeKey = "MVTestSystemCPUTime";
inline constexpr const char* kMVTestAccumulatedSystemCPUTimeKey = "MVTestAccumulatedSystemCPUTime";

// A time record. Up-times are CLOCK_MONOTONIC nanoseconds (one clock for every process of the machine, so
// a start time can cross from a parent to its child); durations and totals are microseconds.
struct MVTestTime {
    rusage startUsage {};
    rusage endUsage {};
    uint64_t startUpTime = 0;
    uint64_t endUpTime = 0;
    int64_t durationWallClock = 0;
    int64_t accumulatedWallClock = 0;
    int64_t durationCPUUser = 0;
    int64_t accumulatedCPUUser = 0;
    int64_t durationCPUSystem = 0;
    int64_t accumulatedCPUSystem = 0;
};

// A memory reading of the own process, in bytes.
struct MVTestMemory {
    uint64_t privateVirtualSize = 0;
    uint64_t residentPrivateSize = 0;
    uint64_t sharedLibraryResidentPrivate = 0;
    uint64_t sharedVirtualSize = 0;
    uint64_t residentSharedSize = 0;
    uint64_t copyOnWriteVirtualSize = 0;
    uint64_t copyOnWriteResidentShared = 0;
    int32_t processID = 0;
};

// A test record: the main task's time record, a memory record and the result dictionary (made when the
// first value is set).
struct MVTestInfo {
    MVTestTime* time = nullptr;
    MVTestMemory* memory = nullptr;
    std::unique_ptr<HXPropertyList::Dictionary> results;
};

// ---- Test records ----
int MVTestInfoNew(MVTestInfo** outInfo);
void MVTestInfoFree(MVTestInfo* info);
MVTestTime* MVTestGetTestTime(MVTestInfo* info);
MVTestMemory* MVTestGetTestMemory(MVTestInfo* info);
// Stores the main time record's six values under the six time keys.
int MVTestSetCommonDictionaryValues(MVTestInfo* info);

// ---- Time records ----
int MVTestTimeNew(MVTestTime** outTime);
void MVTestTimeFree(MVTestTime* time);
void MVTestTimeBegin(MVTestTime* time);
// Begins now, with the processor times counted from the process's own beginning.
void MVTestTimeBeginWithResetting(MVTestTime* time);
// Ends the measurement: the durations become those since the begin, and are added to the totals.
void MVTestTimeEnd(MVTestTime* time);
int64_t MVTestTimeGetDurationWallClock(const MVTestTime* time);
int64_t MVTestTimeGetAccumulatedWallClock(const MVTestTime* time);
int64_t MVTestTimeGetDurationCPUUser(const MVTestTime* time);
int64_t MVTestTimeGetAccumulatedCPUUser(const MVTestTime* time);
int64_t MVTestTimeGetDurationCPUSystem(const MVTestTime* time);
int64_t MVTestTimeGetAccumulatedCPUSystem(const MVTestTime* time);
// The six values under the six time keys (an empty dictionary for no record).
HXPropertyList::Dictionary MVTestTimeCreateDictionaryWithCommmonTimeValues(const MVTestTime* time);

// ---- Start times in the environment ----
// "%lu %lu %ld %d %ld %d\n": the start up-time's high and low 32 bits, then the start user and system
// times as seconds and microseconds.
int MVTestWriteStartTimeToEnvVar(const MVTestTime* time, const char* name);
// Fills the six start fields from the variable; the record is untouched unless all six were read.
int MVTestReadStartTimeFromEnvVar(MVTestTime* time, const char* name);

// ---- Memory records ----
int MVTestMemoryNew(MVTestMemory** outMemory);
void MVTestMemoryFree(MVTestMemory* memory);
void MVTestMemorySetProcessID(MVTestMemory* memory, int32_t pid);
// Reads the own process's memory map; false when it cannot be read.
bool MVTestMemoryGatherMemoryData(MVTestMemory* memory);
uint64_t MVTestMemoryGetResidentPrivate(const MVTestMemory* memory);

// One mapping of a memory map, as the reading classifies it.
enum class MVTestShareMode { Private, Shared, CopyOnWrite, Other };
struct MVTestRegion {
    uint64_t size = 0; // virtual size
    uint64_t residentPrivate = 0; // private resident bytes
    uint64_t residentSharedPortion = 0; // this process's portion of resident shared bytes
    MVTestShareMode mode = MVTestShareMode::Private;
    bool inSharedLibrary = false; // the mapping belongs to a shared library
};
// The regions of a memory map in the text form of /proc/<pid>/smaps.
std::vector<MVTestRegion> MVTestParseMemoryMap(const std::string& smaps);
// Adds the regions into the seven counts (zeroed first).
void MVTestMemoryAddRegions(MVTestMemory* memory, const std::vector<MVTestRegion>& regions);

// ---- Environment ----
// Copies the value into `buffer` (at most *length bytes, the buffer's last byte always 0) and sets *length
// to the value's length + 1; true when it fitted. An unset variable reads as empty, with *length 1 and false.
bool MVTestGetEnvironmentVariable(const char* name, char* buffer, size_t* length);
int MVTestSetEnvironmentVariable(const char* name, const char* value);
int MVTestClearEnvironmentVariable(const char* name);
void MVTestSleep(uint32_t milliseconds);

// ---- Result values ----
int MVTestSetValueForKey(MVTestInfo* info, const char* key, const HXPropertyList& value);
int MVTestSetDoubleValueForKey(MVTestInfo* info, const char* key, double value);
int MVTestSetSInt64ValueForKey(MVTestInfo* info, const char* key, int64_t value);
int MVTestSetSInt32ValueForKey(MVTestInfo* info, const char* key, int32_t value);
// The value under the key, or null.
const HXPropertyList* MVTestValueForKey(const MVTestInfo* info, const char* key);
// True only when the value exists, is a number and converts to the type asked without loss.
bool MVTestDoubleValueForKey(const MVTestInfo* info, const char* key, double* outValue);
bool MVTestSInt64ValueForKey(const MVTestInfo* info, const char* key, int64_t* outValue);
bool MVTestSInt32ValueForKey(const MVTestInfo* info, const char* key, int32_t* outValue);
bool MVTestDoubleDictionaryValueForKey(
    const HXPropertyList::Dictionary* dictionary, const char* key, double* outValue);
bool MVTestSInt64DictionaryValueForKey(
    const HXPropertyList::Dictionary* dictionary, const char* key, int64_t* outValue);
bool MVTestSInt32DictionaryValueForKey(
    const HXPropertyList::Dictionary* dictionary, const char* key, int32_t* outValue);

// ---- Result files ----
// Replaces the result dictionary with the file's; a file whose top level is no dictionary leaves none.
int MVTestReadDictionaryFromFile(MVTestInfo* info, const char* path);
// Writes the result dictionary as an XML property list (atomically: a failed write leaves no file).
int MVTestWriteDictionaryToFile(const MVTestInfo* info, const char* path);
