// The launcher as the file manager's default opener: its entry is found where the desktop looks, its types
// are read from it, and the real xdg-mime writes them into the user's mimeapps.list.
#include "app/default_opener.h"

#include "platform/basekit/run_loop.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using movara::test::EnvironmentGuard;
using movara::test::haveProgram;
using movara::test::readFile;
using movara::test::TempDir;
using movara::test::writeFile;

namespace {

const char* kEntry
    = "[Desktop Entry]\nType=Application\nName=PlayerChooser\nExec=player-chooser %F\n"
      "MimeType=video/webm;video/mp4; audio/mpeg ;\n\n[Desktop Action Other]\nMimeType=text/plain;\n";

class DefaultOpenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.set("XDG_DATA_HOME", (dir / "data").string());
        env.set("XDG_DATA_DIRS", (dir / "system").string() + ":" + (dir / "other").string());
        env.set("XDG_CONFIG_HOME", (dir / "config").string());
        env.set("HOME", dir.path().string());
        env.unset("XDG_CURRENT_DESKTOP");
        env.unset("DESKTOP_SESSION");
        env.unset("KDE_FULL_SESSION");
        env.unset("GNOME_DESKTOP_SESSION_ID");
        fs::create_directories(dir / "config");
    }

    void install(const std::string& folder, const std::string& text = kEntry)
    {
        fs::create_directories(dir / folder / "applications");
        writeFile(dir / folder / "applications" / MVPDefaultOpener::kLauncherDesktopEntry, text);
    }

    MVPDefaultOpener::Result run(const std::string& xdgMime = "xdg-mime")
    {
        std::optional<MVPDefaultOpener::Result> answer;
        MVPDefaultOpener::makeLauncherDefault([&](MVPDefaultOpener::Result r) { answer = r; }, xdgMime);
        for (int i = 0; i < 600 && !answer; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
        return answer.value_or(MVPDefaultOpener::Result { false, "no answer" });
    }

    TempDir dir;
    EnvironmentGuard env;
};

} // namespace

TEST_F(DefaultOpenerTest, TheEntryIsFoundWhereTheDesktopLooks)
{
    EXPECT_EQ(MVPDefaultOpener::launcherDesktopEntryPath(), "");
    install("other");
    EXPECT_EQ(MVPDefaultOpener::launcherDesktopEntryPath(),
        (dir / "other/applications/com.zantrel.playerchooser.desktop").string());
    install("system");
    EXPECT_EQ(MVPDefaultOpener::launcherDesktopEntryPath(),
        (dir / "system/applications/com.zantrel.playerchooser.desktop").string());
    install("data");
    EXPECT_EQ(MVPDefaultOpener::launcherDesktopEntryPath(),
        (dir / "data/applications/com.zantrel.playerchooser.desktop").string());
    // Only the entry's own group counts, and blanks around the types do not.
    EXPECT_EQ(MVPDefaultOpener::mimeTypesOfDesktopEntry(MVPDefaultOpener::launcherDesktopEntryPath()),
        (std::vector<std::string> { "video/webm", "video/mp4", "audio/mpeg" }));
    EXPECT_TRUE(MVPDefaultOpener::mimeTypesOfDesktopEntry((dir / "missing.desktop").string()).empty());
}

TEST_F(DefaultOpenerTest, XdgMimeWritesTheUsersChoice)
{
    if (!haveProgram("xdg-mime"))
        GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    install("system");
    auto result = run();
    EXPECT_TRUE(result.succeeded) << result.message;
    std::string list = readFile(dir / "config" / "mimeapps.list");
    for (const char* type : { "video/webm", "video/mp4", "audio/mpeg" })
        EXPECT_NE(list.find(std::string(type) + "=com.zantrel.playerchooser.desktop"), std::string::npos)
            << list;
    EXPECT_EQ(list.find("text/plain"), std::string::npos);
}

TEST_F(DefaultOpenerTest, FailuresAreToldNotHidden)
{
    // No entry installed: nothing runs.
    auto missing = run("/bin/false");
    EXPECT_FALSE(missing.succeeded);
    EXPECT_FALSE(missing.message.empty());
    install("system");
    auto failed = run("/bin/false");
    EXPECT_FALSE(failed.succeeded);
    EXPECT_FALSE(failed.message.empty());
    auto absent = run((dir / "no-such-program").string());
    EXPECT_FALSE(absent.succeeded);
    EXPECT_NE(absent.message, failed.message);
}
