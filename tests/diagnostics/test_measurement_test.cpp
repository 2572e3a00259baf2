// The measurement layer: time records, start times handed over in the environment, memory readings,
// result values and result files.
#include "diagnostics/test_measurement.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

struct InfoDeleter {
    void operator()(MVTestInfo* info) const { MVTestInfoFree(info); }
};
using Info = std::unique_ptr<MVTestInfo, InfoDeleter>;

Info newInfo()
{
    MVTestInfo* info = nullptr;
    EXPECT_EQ(MVTestInfoNew(&info), kMVTestNoErr);
    return Info(info);
}

TEST(TestMeasurement, BadParametersGiveTheParameterError)
{
    auto info = newInfo();
    MVTestTime time {};
    movara::test::TempDir dir;
    std::string file = (dir / "r.plist").string();
    struct Case {
        const char* what;
        int status;
    };
    const Case cases[] = {
        { "info out missing", MVTestInfoNew(nullptr) },
        { "time out missing", MVTestTimeNew(nullptr) },
        { "memory out missing", MVTestMemoryNew(nullptr) },
        { "common values without info", MVTestSetCommonDictionaryValues(nullptr) },
        { "value without info", MVTestSetSInt32ValueForKey(nullptr, "k", 1) },
        { "value without key", MVTestSetDoubleValueForKey(info.get(), nullptr, 1.0) },
        { "null value", MVTestSetValueForKey(info.get(), "k", HXPropertyList()) },
        { "start time without record", MVTestWriteStartTimeToEnvVar(nullptr, "MOVARA_TM_START") },
        { "start time without name", MVTestWriteStartTimeToEnvVar(&time, nullptr) },
        { "start time with empty name", MVTestWriteStartTimeToEnvVar(&time, "") },
        { "read start without record", MVTestReadStartTimeFromEnvVar(nullptr, "PATH") },
        { "read file without info", MVTestReadDictionaryFromFile(nullptr, file.c_str()) },
        { "read file without path", MVTestReadDictionaryFromFile(info.get(), nullptr) },
        { "write without values", MVTestWriteDictionaryToFile(info.get(), file.c_str()) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, kMVTestParamErr) << c.what;
    EXPECT_FALSE(std::filesystem::exists(file)) << "writing with no value set creates no file";
}

TEST(TestMeasurement, EndingTwiceAddsTheSecondDurationToTheTotals)
{
    MVTestTime* time = nullptr;
    ASSERT_EQ(MVTestTimeNew(&time), kMVTestNoErr);
    MVTestTimeBegin(time);
    MVTestSleep(20);
    MVTestTimeEnd(time);
    int64_t first = MVTestTimeGetDurationWallClock(time);
    EXPECT_GE(first, 20000);
    EXPECT_LT(first, 5000000);
    EXPECT_EQ(MVTestTimeGetAccumulatedWallClock(time), first);
    MVTestSleep(5);
    MVTestTimeEnd(time);
    int64_t second = MVTestTimeGetDurationWallClock(time);
    EXPECT_GE(second, first + 5000) << "the second end measures from the same begin";
    EXPECT_EQ(MVTestTimeGetAccumulatedWallClock(time), first + second);

    auto values = MVTestTimeCreateDictionaryWithCommmonTimeValues(time);
    EXPECT_EQ(values.size(), 6u);
    EXPECT_EQ(values[kMVTestAccumulatedWallClockTimeKey].integerValue(), first + second);
    EXPECT_EQ(values[kMVTestWallClockTimeKey].integerValue(), second);
    MVTestTimeFree(time);
}

TEST(TestMeasurement, BeginningWithResettingCountsTheProcessorTimeSinceTheProcessBegan)
{
    volatile double sink = 0;
    for (int i = 0; i < 3000000; ++i)
        sink = sink + i * 0.5; // some user time of our own
    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    MVTestTime time {};
    MVTestTimeBeginWithResetting(&time);
    MVTestTimeEnd(&time);
    int64_t userBefore = int64_t(before.ru_utime.tv_sec) * 1000000 + before.ru_utime.tv_usec;
    EXPECT_GE(MVTestTimeGetDurationCPUUser(&time), userBefore);
    EXPECT_GT(MVTestTimeGetDurationCPUUser(&time), 0);
}

TEST(TestMeasurement, StartTimesTravelThroughTheEnvironment)
{
    MVTestTime start {};
    MVTestTimeBegin(&start);
    start.startUsage.ru_utime = { 12, 345678 };
    start.startUsage.ru_stime = { 3, 4 };
    ASSERT_EQ(MVTestWriteStartTimeToEnvVar(&start, "MOVARA_TM_START"), kMVTestNoErr);
    std::string text = std::getenv("MOVARA_TM_START");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find(" 12 345678 3 4\n"), std::string::npos) << text;

    MVTestTime child {};
    child.accumulatedWallClock = 77;
    ASSERT_EQ(MVTestReadStartTimeFromEnvVar(&child, "MOVARA_TM_START"), kMVTestNoErr);
    EXPECT_EQ(child.startUpTime, start.startUpTime);
    EXPECT_EQ(child.startUsage.ru_utime.tv_sec, 12);
    EXPECT_EQ(child.startUsage.ru_utime.tv_usec, 345678);
    EXPECT_EQ(child.startUsage.ru_stime.tv_sec, 3);
    EXPECT_EQ(child.startUsage.ru_stime.tv_usec, 4);
    EXPECT_EQ(child.accumulatedWallClock, 77) << "reading touches only the start";
    unsetenv("MOVARA_TM_START");
}

TEST(TestMeasurement, MalformedStartTimesAreRefusedAndTheStartIsKept)
{
    struct Case {
        const char* value; // null: unset
        const char* diagnostic;
    };
    const Case cases[] = {
        { "1 2 3 4 5",
            "Failed to scan all data from environment variable MOVARA_TM_BAD (expected 6, got 5)\n" },
        { "", "Failed to scan all data from environment variable MOVARA_TM_BAD (expected 6, got 0)\n" },
        { "soon", "Failed to scan all data from environment variable MOVARA_TM_BAD (expected 6, got 0)\n" },
        { nullptr, "Environment variable MOVARA_TM_BAD not set\n" },
    };
    for (const auto& c : cases) {
        if (c.value)
            setenv("MOVARA_TM_BAD", c.value, 1);
        else
            unsetenv("MOVARA_TM_BAD");
        MVTestTime time {};
        time.startUpTime = 42;
        time.startUsage.ru_utime = { 7, 8 };
        testing::internal::CaptureStderr();
        EXPECT_EQ(MVTestReadStartTimeFromEnvVar(&time, "MOVARA_TM_BAD"), kMVTestParamErr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.diagnostic);
        EXPECT_EQ(time.startUpTime, 42u);
        EXPECT_EQ(time.startUsage.ru_utime.tv_sec, 7);
    }
    unsetenv("MOVARA_TM_BAD");
}

TEST(TestMeasurement, EnvironmentValuesAreCopiedIntoTheCallersBuffer)
{
    setenv("MOVARA_TM_VALUE", "abc", 1);
    unsetenv("MOVARA_TM_UNSET");
    struct Case {
        const char* name;
        size_t room;
        bool fitted;
        size_t length;
        const char* copied; // null: nothing copied
    };
    const Case cases[] = {
        { "MOVARA_TM_VALUE", 10, true, 4, "abc" },
        { "MOVARA_TM_VALUE", 4, true, 4, "abc" },
        { "MOVARA_TM_VALUE", 3, false, 4, "ab" },
        { "MOVARA_TM_VALUE", 1, false, 4, "" },
        { "MOVARA_TM_VALUE", 0, false, 4, nullptr },
        { "MOVARA_TM_UNSET", 10, false, 1, "" },
    };
    for (const auto& c : cases) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        size_t length = c.room;
        EXPECT_EQ(MVTestGetEnvironmentVariable(c.name, buffer, &length), c.fitted) << c.name << " " << c.room;
        EXPECT_EQ(length, c.length) << c.room;
        if (c.copied)
            EXPECT_STREQ(buffer, c.copied) << c.room;
        else
            EXPECT_EQ(buffer[0], 'x');
    }
    EXPECT_EQ(MVTestSetEnvironmentVariable("MOVARA_TM_VALUE", "d e"), 0);
    EXPECT_STREQ(std::getenv("MOVARA_TM_VALUE"), "d e");
    EXPECT_EQ(MVTestClearEnvironmentVariable("MOVARA_TM_VALUE"), 0);
    EXPECT_EQ(std::getenv("MOVARA_TM_VALUE"), nullptr);
    EXPECT_EQ(MVTestSetEnvironmentVariable(nullptr, "x"), -1);
}

TEST(TestMeasurement, TypedReadsSucceedOnlyForNumbersThatConvert)
{
    auto info = newInfo();
    EXPECT_EQ(MVTestValueForKey(info.get(), "anything"), nullptr) << "no dictionary before the first value";
    ASSERT_EQ(MVTestSetSInt32ValueForKey(info.get(), "int", 5), kMVTestNoErr);
    ASSERT_EQ(MVTestSetDoubleValueForKey(info.get(), "half", 2.5), kMVTestNoErr);
    ASSERT_EQ(MVTestSetDoubleValueForKey(info.get(), "whole", 3.0), kMVTestNoErr);
    ASSERT_EQ(MVTestSetSInt64ValueForKey(info.get(), "big", int64_t(1) << 40), kMVTestNoErr);
    ASSERT_EQ(MVTestSetValueForKey(info.get(), "text", HXPropertyList("5")), kMVTestNoErr);
    ASSERT_EQ(MVTestSetValueForKey(info.get(), "flag", HXPropertyList(true)), kMVTestNoErr);
    struct Case {
        const char* key;
        bool asDouble, asInt64, asInt32;
    };
    const Case cases[] = {
        { "int", true, true, true },
        { "half", true, false, false },
        { "whole", true, true, true },
        { "big", true, true, false },
        { "text", false, false, false },
        { "flag", false, false, false },
        { "missing", false, false, false },
    };
    for (const auto& c : cases) {
        double d = 0;
        int64_t l = 0;
        int32_t i = 0;
        EXPECT_EQ(MVTestDoubleValueForKey(info.get(), c.key, &d), c.asDouble) << c.key;
        EXPECT_EQ(MVTestSInt64ValueForKey(info.get(), c.key, &l), c.asInt64) << c.key;
        EXPECT_EQ(MVTestSInt32ValueForKey(info.get(), c.key, &i), c.asInt32) << c.key;
        EXPECT_EQ(MVTestSInt32DictionaryValueForKey(info->results.get(), c.key, &i), c.asInt32) << c.key;
    }
    double d = 0;
    EXPECT_TRUE(MVTestDoubleValueForKey(info.get(), "half", &d));
    EXPECT_EQ(d, 2.5);
    int64_t l = 0;
    EXPECT_TRUE(MVTestSInt64DictionaryValueForKey(info->results.get(), "big", &l));
    EXPECT_EQ(l, int64_t(1) << 40);
    EXPECT_FALSE(MVTestDoubleDictionaryValueForKey(nullptr, "int", &d));
}

TEST(TestMeasurement, ResultFilesRoundTripAndOnlyDictionariesAreKept)
{
    movara::test::TempDir dir;
    auto info = newInfo();
    MVTestTimeBegin(MVTestGetTestTime(info.get()));
    MVTestTimeEnd(MVTestGetTestTime(info.get()));
    ASSERT_EQ(MVTestSetCommonDictionaryValues(info.get()), kMVTestNoErr);
    MVTestSetDoubleValueForKey(info.get(), "rate", 29.97);
    std::string file = (dir / "results.plist").string();
    ASSERT_EQ(MVTestWriteDictionaryToFile(info.get(), file.c_str()), kMVTestNoErr);
    EXPECT_NE(movara::test::readFile(file).find("<key>MVTestWallClockTime</key>"), std::string::npos);

    auto other = newInfo();
    ASSERT_EQ(MVTestReadDictionaryFromFile(other.get(), file.c_str()), kMVTestNoErr);
    double rate = 0;
    EXPECT_TRUE(MVTestDoubleValueForKey(other.get(), "rate", &rate));
    EXPECT_EQ(rate, 29.97);
    EXPECT_EQ(other->results->size(), 7u);

    std::string array = (dir / "array.plist").string();
    ASSERT_TRUE(HXPropertyList(HXPropertyList::Array { HXPropertyList(1) }).writeToFile(array));
    std::string truncated = (dir / "truncated.plist").string();
    movara::test::writeFile(truncated, movara::test::readFile(file).substr(0, 80));
    for (const std::string& bad : { array, truncated, (dir / "missing.plist").string() }) {
        ASSERT_EQ(MVTestReadDictionaryFromFile(other.get(), file.c_str()), kMVTestNoErr);
        EXPECT_EQ(MVTestReadDictionaryFromFile(other.get(), bad.c_str()), kMVTestParamErr) << bad;
        EXPECT_EQ(other->results, nullptr) << "the old dictionary is dropped: " << bad;
    }
    std::string nowhere = (dir / "no-such-folder" / "r.plist").string();
    EXPECT_EQ(MVTestWriteDictionaryToFile(info.get(), nowhere.c_str()), kMVTestParamErr);
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// A memory map with one mapping of each kind, as /proc/<pid>/smaps shows it.
const char* kMemoryMap = "55d0c0000000-55d0c0100000 rw-p 00000000 00:00 0 \n"
                         "Size:               1024 kB\n"
                         "Rss:                 512 kB\n"
                         "Pss:                 512 kB\n"
                         "Private_Clean:         0 kB\n"
                         "Private_Dirty:       512 kB\n"
                         "VmFlags: rd wr mr mw me ac\n"
                         "7f0000000000-7f0000040000 r-xp 00000000 08:01 1234   /usr/lib/libfoo.so.1\n"
                         "Size:                256 kB\n"
                         "Pss:                  40 kB\n"
                         "Shared_Clean:        120 kB\n"
                         "Private_Clean:        16 kB\n"
                         "Private_Dirty:         0 kB\n"
                         "7f0000100000-7f0000110000 rw-s 00000000 00:05 99     /dev/shm/pool\n"
                         "Size:                 64 kB\n"
                         "Pss:                  16 kB\n"
                         "Shared_Dirty:         32 kB\n"
                         "Private_Dirty:         0 kB\n"
                         "7f0000200000-7f0000220000 rw-p 00001000 08:01 555    /usr/share/data.bin\n"
                         "Size:                128 kB\n"
                         "Pss:                  40 kB\n"
                         "Shared_Clean:         64 kB\n"
                         "Private_Dirty:         8 kB\n";

TEST(TestMeasurement, MemoryMapsAreClassifiedByShareMode)
{
    auto regions = MVTestParseMemoryMap(kMemoryMap);
    ASSERT_EQ(regions.size(), 4u);
    EXPECT_EQ(regions[0].mode, MVTestShareMode::Private);
    EXPECT_EQ(regions[1].mode, MVTestShareMode::CopyOnWrite);
    EXPECT_TRUE(regions[1].inSharedLibrary);
    EXPECT_EQ(regions[2].mode, MVTestShareMode::Shared);
    EXPECT_EQ(regions[3].mode, MVTestShareMode::CopyOnWrite);
    EXPECT_FALSE(regions[3].inSharedLibrary);
    EXPECT_EQ(regions[3].residentSharedPortion, 32u * 1024)
        << "the proportional share less the private pages";

    MVTestMemory memory {};
    memory.processID = 9;
    memory.residentPrivateSize = 123; // a reading starts from zero
    MVTestMemoryAddRegions(&memory, regions);
    const uint64_t k = 1024;
    EXPECT_EQ(memory.sharedLibraryResidentPrivate, 16 * k);
    EXPECT_EQ(memory.residentPrivateSize, (512 + 8) * k);
    EXPECT_EQ(memory.privateVirtualSize, (1024 + 8) * k);
    EXPECT_EQ(memory.sharedVirtualSize, 64 * k);
    EXPECT_EQ(memory.residentSharedSize, (16 + 32) * k);
    EXPECT_EQ(memory.copyOnWriteVirtualSize, 128 * k);
    EXPECT_EQ(memory.copyOnWriteResidentShared, 32 * k);
    EXPECT_EQ(memory.processID, 9);
    EXPECT_TRUE(MVTestParseMemoryMap("").empty());
    EXPECT_TRUE(MVTestParseMemoryMap("Size: 4 kB\nnot a header\n").empty());
}

TEST(TestMeasurement, TheOwnResidentMemoryGrowsWithWhatTheProcessTouches)
{
    auto info = newInfo();
    MVTestMemory* memory = MVTestGetTestMemory(info.get());
    ASSERT_TRUE(MVTestMemoryGatherMemoryData(memory));
    uint64_t before = MVTestMemoryGetResidentPrivate(memory);
    EXPECT_GT(before, 0u);
    std::vector<char> block(16 << 20);
    std::memset(block.data(), 1, block.size());
    ASSERT_TRUE(MVTestMemoryGatherMemoryData(memory));
    EXPECT_GE(MVTestMemoryGetResidentPrivate(memory), before + (8u << 20));
    EXPECT_EQ(block[block.size() - 1], 1);
}

} // namespace
