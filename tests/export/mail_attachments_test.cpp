// The folders of the mail program's attachments in the cache folder: made for the user alone, removed one
// job at a time without ever reaching outside them, and swept at start-up once they are old.
#include "test_support.h"

#include "export/mail_attachments.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

using namespace movara::test;
namespace fs = std::filesystem;

namespace {

class MailAttachmentsTest : public ::testing::Test {
protected:
    void SetUp() override { env.set("XDG_CACHE_HOME", (temp / "cache").string()); }
    fs::path mail() const { return MVPMailAttachments::directory(); }
    // A job's folder with its attachment, last changed `daysAgo` days before `now`.
    fs::path attachment(const std::string& folder, double daysAgo = 0)
    {
        fs::create_directories(mail() / folder);
        writeFile(mail() / folder / "Trip.mov", "movie");
        age(mail() / folder, daysAgo);
        return mail() / folder / "Trip.mov";
    }
    void age(const fs::path& path, double daysAgo)
    {
        timeval times[2] = {};
        times[0].tv_sec = times[1].tv_sec = now - time_t(daysAgo * 24 * 60 * 60);
        ::lutimes(path.c_str(), times);
    }

    TempDir temp;
    EnvironmentGuard env;
    const std::time_t now = std::time(nullptr);
};

TEST_F(MailAttachmentsTest, FoldersAreTheUsersAndOnePerJob)
{
    EXPECT_EQ(mail(), temp / "cache" / "movara-player" / "Mail");
    std::string why;
    fs::path first = MVPMailAttachments::makeFolder(&why);
    fs::path second = MVPMailAttachments::makeFolder(&why);
    ASSERT_FALSE(first.empty()) << why;
    EXPECT_EQ(first.parent_path(), mail());
    EXPECT_NE(first, second);
    for (const auto& folder : { mail(), first }) {
        struct stat st { };
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }

    // A cache folder that cannot be made: no folder, and the reason.
    fs::remove_all(temp / "cache");
    writeFile(temp / "cache", "not a folder");
    EXPECT_EQ(MVPMailAttachments::makeFolder(&why), "");
    EXPECT_NE(why.find("cache"), std::string::npos) << why;
}

TEST_F(MailAttachmentsTest, RemovesOnlyAFolderOfOneJob)
{
    fs::create_directories(temp / "elsewhere");
    writeFile(temp / "elsewhere" / "Trip.mov", "keep");
    struct Case {
        const char* name;
        fs::path path;
        bool removed;
    };
    const Case cases[] = {
        { "a job's attachment", attachment("aB3dE9"), true },
        { "a file right in the mail folder", mail() / "Trip.mov", false },
        { "a folder deeper down", mail() / "aB3dE9" / "inner" / "Trip.mov", false },
        { "outside the mail folder", temp / "elsewhere" / "Trip.mov", false },
        { "out through ..", mail() / ".." / "elsewhere" / "Trip.mov", false },
        { "a folder named like it", temp / "cache" / "movara-player" / "Mail2" / "x" / "Trip.mov", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(c.path.parent_path());
        if (!fs::exists(c.path))
            writeFile(c.path, "movie");
        MVPMailAttachments::remove(c.path.string());
        EXPECT_EQ(!fs::exists(c.path), c.removed);
        EXPECT_EQ(!fs::exists(c.path.parent_path()), c.removed);
    }
    EXPECT_EQ(readFile(temp / "elsewhere" / "Trip.mov"), "keep");

    // What the worker left beside the attachment goes with the folder; what a link points to stays.
    auto path = attachment("Fg7hJ2");
    writeFile(path.parent_path() / ".Trip.mov.partial-42", "half");
    fs::create_symlink(temp / "elsewhere", path.parent_path() / "link");
    MVPMailAttachments::remove(path.string());
    EXPECT_FALSE(fs::exists(path.parent_path()));
    EXPECT_EQ(readFile(temp / "elsewhere" / "Trip.mov"), "keep");
}

TEST_F(MailAttachmentsTest, StartUpSweepsWhatIsOld)
{
    MVPMailAttachments::removeOld(now); // no mail folder yet: nothing to do
    fs::create_directories(temp / "elsewhere");
    writeFile(temp / "elsewhere" / "Trip.mov", "keep");

    auto recent = attachment("recent", 1);
    auto almost = attachment("almost", MVPMailAttachments::maximumAgeDays - 0.1);
    auto old = attachment("old", MVPMailAttachments::maximumAgeDays + 0.1);
    auto ancient = attachment("ancient", 400);
    writeFile(mail() / "stray", "x");
    age(mail() / "stray", 10);
    fs::create_directory_symlink(temp / "elsewhere", mail() / "old-link");
    age(mail() / "old-link", 10);

    MVPMailAttachments::removeOld(now);
    EXPECT_TRUE(fs::exists(recent));
    EXPECT_TRUE(fs::exists(almost));
    EXPECT_FALSE(fs::exists(old.parent_path()));
    EXPECT_FALSE(fs::exists(ancient.parent_path()));
    EXPECT_FALSE(fs::exists(mail() / "stray"));
    EXPECT_FALSE(fs::is_symlink(mail() / "old-link"));
    EXPECT_EQ(readFile(temp / "elsewhere" / "Trip.mov"), "keep");
}

} // namespace
