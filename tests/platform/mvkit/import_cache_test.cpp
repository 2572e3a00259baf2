// The folder of rewritten import samples stays bounded: unfinished files of ended runs and entries
// unused for a month go, the least recently used go first when room is needed, and no entry a movie
// still reads is ever removed.
#include "test_support.h"

#include "platform/mvkit/import/import_cache.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class ImportCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(MVImportCache::directory());
        fs::create_directories(MVImportCache::directory());
    }
    void TearDown() override { fs::remove_all(MVImportCache::directory()); }

    // An entry of `kilobytes` last used `daysAgo` days ago.
    static fs::path entry(const std::string& name, int kilobytes, double daysAgo)
    {
        fs::path path = MVImportCache::directory() / name;
        movara::test::writeFile(path, std::string(size_t(kilobytes) * 1024, 'x'));
        auto when = fs::file_time_type::clock::now()
            - std::chrono::duration_cast<fs::file_time_type::duration>(std::chrono::duration<double>(daysAgo * 86400));
        fs::last_write_time(path, when);
        return path;
    }
};

TEST_F(ImportCacheTest, CleaningRemovesWhatNoRunNeeds)
{
    struct Case {
        std::string name;
        double daysAgo;
        bool kept;
    };
    // A process id that no process has (pid_max is at most 2^22).
    const std::string gone = std::to_string(1 << 23);
    const std::string mine = std::to_string(::getpid());
    const Case cases[] = {
        { "recent-0.mov", 1, true },
        { "month-old-0.mov", MVImportCache::maximumAgeDays + 1, false },
        { "unfinished-0.mov.part" + gone, 0, false }, // its writer has ended
        { "writing-0.mov.part" + mine, 0, true }, // its writer is still at work
        { "stuck-0.mov.part" + mine, 2, false }, // nobody finished it in a day
    };
    for (const auto& c : cases)
        entry(c.name, 1, c.daysAgo);
    std::string why;
    EXPECT_TRUE(MVImportCache::makeRoom(0, &why)) << why;
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(MVImportCache::directory() / c.name), c.kept) << c.name;
}

TEST_F(ImportCacheTest, RoomIsMadeLeastRecentlyUsedFirstAndLeasedEntriesStay)
{
    auto oldest = entry("a-0.mov", 40, 3);
    auto leased = entry("b-0.mov", 40, 2);
    auto newer = entry("c-0.mov", 40, 1);
    auto newest = entry("d-0.mov", 40, 0);
    auto lease = MVImportCache::lease(leased.string());
    ASSERT_TRUE(lease);
    // A lease marks its entry used now.
    EXPECT_GT(fs::last_write_time(leased), fs::last_write_time(newer));

    // 160 KB held, 100 KB wanted within 200 KB: the two least recently used that are free to go.
    std::string why;
    EXPECT_TRUE(MVImportCache::makeRoom(100 * 1024, &why, 200 * 1024)) << why;
    EXPECT_FALSE(fs::exists(oldest));
    EXPECT_TRUE(fs::exists(leased));
    EXPECT_FALSE(fs::exists(newer));
    EXPECT_TRUE(fs::exists(newest));
    EXPECT_EQ(MVImportCache::size(), 80u * 1024);

    // More than the budget alone: everything free goes, the leased entry stays.
    EXPECT_TRUE(MVImportCache::makeRoom(500 * 1024, &why, 200 * 1024)) << why;
    EXPECT_TRUE(fs::exists(leased));
    EXPECT_FALSE(fs::exists(newest));
    lease.reset();
    EXPECT_TRUE(MVImportCache::makeRoom(0, &why, 0)) << why;
    EXPECT_FALSE(fs::exists(leased));
}

TEST_F(ImportCacheTest, AGoneEntryCannotBeLeasedAndNoRoomIsSaid)
{
    EXPECT_FALSE(MVImportCache::lease((MVImportCache::directory() / "missing-0.mov").string()));
    // More than any disk has free: refused with the reason, nothing written.
    std::string why;
    EXPECT_FALSE(MVImportCache::makeRoom(uint64_t(1) << 62, &why));
    EXPECT_NE(why.find("no room"), std::string::npos) << why;
    EXPECT_NE(why.find(MVImportCache::directory().string()), std::string::npos) << why;
}

} // namespace
