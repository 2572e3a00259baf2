#include "platform/basekit/process_info.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/utsname.h>
#include <unistd.h>

namespace {

TEST(ProcessInfoTest, SuddenTerminationCounterStaysBalancedAndNeverNegative)
{
    HXProcessInfo& info = HXProcessInfo::processInfo();
    int base = info.suddenTerminationDisableCount();
    info.disableSuddenTermination();
    info.disableSuddenTermination();
    EXPECT_EQ(info.suddenTerminationDisableCount(), base + 2);
    EXPECT_FALSE(info.isSuddenTerminationEnabled());
    info.enableSuddenTermination();
    info.enableSuddenTermination();
    EXPECT_EQ(info.suddenTerminationDisableCount(), base);
    // One enable too many (a job canceled twice): ignored instead of going below zero.
    for (int i = 0; i <= base; ++i)
        info.enableSuddenTermination();
    EXPECT_EQ(info.suddenTerminationDisableCount(), 0);
    EXPECT_TRUE(info.isSuddenTerminationEnabled());
    info.disableSuddenTermination();
    EXPECT_FALSE(info.isSuddenTerminationEnabled());
    info.enableSuddenTermination();
}

TEST(ProcessInfoTest, EnvironmentFollowsSetenv)
{
    HXProcessInfo& info = HXProcessInfo::processInfo();
    ::setenv("MAXCONCURRENTJOBS", "3=three", 1);
    EXPECT_EQ(info.environment()["MAXCONCURRENTJOBS"], "3=three");
    ::unsetenv("MAXCONCURRENTJOBS");
    EXPECT_EQ(info.environment().count("MAXCONCURRENTJOBS"), 0u);
}

TEST(ProcessInfoTest, ProcessFacts)
{
    HXProcessInfo& info = HXProcessInfo::processInfo();
    EXPECT_EQ(info.processIdentifier(), int(getpid()));
    auto args = info.arguments();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("basekit_tests"), std::string::npos);
    EXPECT_EQ(info.processName(), "platform_basekit_tests");
    info.setProcessName("Movara Player");
    EXPECT_EQ(info.processName(), "Movara Player");
    info.setProcessName("");
    EXPECT_FALSE(info.hostName().empty());
    EXPECT_GT(info.physicalMemory(), 16u * 1024 * 1024);
    EXPECT_GE(info.processorCount(), info.activeProcessorCount());
    EXPECT_GE(info.activeProcessorCount(), 1u);
    EXPECT_EQ(info.operatingSystemVersionString().rfind("Version ", 0), 0u);
    EXPECT_GE(info.operatingSystemVersion().majorVersion, 3);
    EXPECT_GT(info.systemUptime(), 0.0);
}

TEST(ProcessInfoTest, OperatingSystemVersionRecord)
{
    auto record = HXProcessInfo::processInfo().operatingSystemVersionDictionary();
    for (const char* key : { "ProductName", "ProductVersion", "ProductBuildVersion" }) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(record.count(key));
        EXPECT_TRUE(record[key].isString());
        EXPECT_FALSE(record[key].stringValue().empty());
    }
    utsname u {};
    uname(&u);
    EXPECT_EQ(record["ProductBuildVersion"].stringValue(), u.release);
}

} // namespace
