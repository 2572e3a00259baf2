// The player-chooser program, started as a user's desktop would: players found through desktop entries
// (fake players on PATH that record their arguments), or the movara-player beside it; and its lifetime.
#include "test_support.h"
#include "program_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using movara::test::TempDir;

const std::string kProgram = std::string(MOVARA_BUNDLE_DIR) + "/bin/player-chooser";

class Desktop {
public:
    Desktop()
    {
        fs::create_directories(_root / "data" / "applications");
        fs::create_directories(_root / "bin");
        fs::create_directories(_root / "runtime");
        fs::permissions(_root / "runtime", fs::perms::owner_all);
    }
    fs::path path(const std::string& name) const { return _root / name; }

    // A program on PATH that writes its arguments, one a line, to <name>.args.
    void addFakePlayer(const std::string& name)
    {
        fs::path script = _root / "bin" / name;
        movara::test::writeFile(script,
            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                + (_root / (name + ".args")).string() + ".tmp\"\nmv \"" + (_root / (name + ".args")).string()
                + ".tmp\" \"" + (_root / (name + ".args")).string() + "\"\n");
        fs::permissions(script, fs::perms::owner_all);
    }
    void addDesktopEntry(const std::string& identifier, const std::string& exec, const std::string& version)
    {
        std::string entry = "[Desktop Entry]\nType=Application\nName=" + identifier + "\nExec=" + exec + "\n";
        if (!version.empty())
            entry += "X-HFBundleVersion=" + version + "\n";
        movara::test::writeFile(_root / "data" / "applications" / (identifier + ".desktop"), entry);
    }
    // The arguments a fake player was given, once it has run (empty after `seconds`).
    std::vector<std::string> argumentsOf(const std::string& name, double seconds = 20)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        fs::path file = _root / (name + ".args");
        while (std::chrono::steady_clock::now() < deadline) {
            if (fs::exists(file)) {
                std::vector<std::string> lines;
                std::istringstream in(movara::test::readFile(file));
                for (std::string line; std::getline(in, line);)
                    lines.push_back(line);
                return lines;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

    // Starts the launcher with the files, in a session whose players are the ones this test installs.
    movara::test::StartedProgram& start(const std::vector<std::string>& files)
    {
        const char* path = std::getenv("PATH");
        auto env = movara::test::environmentWith(
            { "DISPLAY=", "WAYLAND_DISPLAY=", "PATH=", "XDG_DATA_HOME=", "XDG_DATA_DIRS=", "XDG_CONFIG_HOME=",
                "XDG_RUNTIME_DIR=", "MOVARA_BUNDLE_DIR=" },
            { "PATH=" + (_root / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"),
                "XDG_DATA_HOME=" + (_root / "data").string(), "XDG_DATA_DIRS=" + (_root / "nowhere").string(),
                "XDG_CONFIG_HOME=" + (_root / "config").string(),
                "XDG_RUNTIME_DIR=" + (_root / "runtime").string() });
        std::vector<std::string> argv { kProgram };
        argv.insert(argv.end(), files.begin(), files.end());
        _chooser.start(argv, env);
        return _chooser;
    }

private:
    TempDir _root;
    movara::test::StartedProgram _chooser;
};

std::string makeMovie(const fs::path& path, int pictureTracks)
{
    std::vector<std::string> argv { "ffmpeg", "-hide_banner", "-loglevel", "error", "-y" };
    for (int i = 0; i < pictureTracks; ++i) {
        argv.insert(argv.end(), { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1" });
    }
    for (int i = 0; i < pictureTracks; ++i)
        argv.insert(argv.end(), { "-map", std::to_string(i) + ":v" });
    // Every picture track enabled (the file format's default enables only the first of a kind).
    for (int i = 0; i < pictureTracks; ++i)
        argv.insert(argv.end(), { "-disposition:v:" + std::to_string(i), "default" });
    argv.insert(argv.end(), { "-c:v", "mpeg4", path.string() });
    EXPECT_EQ(movara::test::runCommand(argv).status, 0);
    return path.string();
}

// The processes whose parent is `parent`.
std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        pid_t pid = pid_t(std::atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::string stat = movara::test::readFile("/proc/" + std::to_string(pid) + "/stat");
        auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent)
            children.push_back(pid);
    }
    if (proc)
        closedir(proc);
    return children;
}

// The movara-player the launcher `chooser` started (its pid and command line, arguments separated by NULs);
// pid 0 when none came within ten seconds.
std::pair<pid_t, std::string> startedMovaraPlayer(pid_t chooser)
{
    for (int i = 0; i < 500; ++i) {
        for (pid_t child : childrenOf(chooser)) {
            std::string line = movara::test::readFile("/proc/" + std::to_string(child) + "/cmdline");
            if (line.find("movara-player") != std::string::npos)
                return { child, line };
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return { 0, {} };
}

TEST(PlayerChooserApp, EachFileGoesToThePlayerItSuits)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    Desktop desktop;
    std::string simple = makeMovie(desktop.path("simple.mov"), 1);
    std::string rich = makeMovie(desktop.path("two pictures.mov"), 2);
    desktop.addFakePlayer("fake-newer");
    desktop.addFakePlayer("fake-movara");
    desktop.addDesktopEntry("com.zantrel.MovaraPlayerX", "fake-newer --from-chooser %F", "");
    desktop.addDesktopEntry("com.zantrel.movaraplayer", "fake-movara %F", "7.6.1");

    auto& chooser = desktop.start({ rich, simple });
    EXPECT_EQ(desktop.argumentsOf("fake-newer"), (std::vector<std::string> { "--from-chooser", simple }));
    EXPECT_EQ(desktop.argumentsOf("fake-movara"), (std::vector<std::string> { rich }));
    EXPECT_EQ(chooser.waitForExit(0.5), -1) << "it stays for further requests";
}

TEST(PlayerChooserApp, ATooOldMovaraPlayerIsPassedOver)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    Desktop desktop;
    std::string rich = makeMovie(desktop.path("rich.mov"), 2);
    desktop.addFakePlayer("fake-newer");
    desktop.addFakePlayer("fake-movara");
    desktop.addDesktopEntry("com.zantrel.MovaraPlayerX", "fake-newer %U", "");
    desktop.addDesktopEntry("com.zantrel.movaraplayer", "fake-movara %F", "7.5.2");
    desktop.start({ rich });
    auto given = desktop.argumentsOf("fake-newer");
    ASSERT_EQ(given.size(), 1u);
    EXPECT_EQ(given[0].rfind("file://", 0), 0u);
    EXPECT_NE(given[0].find("/rich.mov"), std::string::npos);
    EXPECT_TRUE(desktop.argumentsOf("fake-movara", 0.5).empty());
}

TEST(PlayerChooserApp, WithoutEntriesTheMovaraPlayerBesideItOpensTheFiles)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    Desktop desktop;
    std::string rich = makeMovie(desktop.path("rich.mov"), 2);
    pid_t chooser = desktop.start({ rich }).pid();
    auto [player, commandLine] = startedMovaraPlayer(chooser);
    ASSERT_GT(player, 0) << "no movara-player was started";
    EXPECT_EQ(commandLine, std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player" + '\0' + rich + '\0');
    kill(player, SIGKILL); // started by the launcher for this test
}

TEST(PlayerChooserApp, TheEntryInstalledWithItNeedsNoVersion)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    Desktop desktop;
    std::string rich = makeMovie(desktop.path("rich.mov"), 2);
    desktop.addFakePlayer("fake-newer");
    desktop.addDesktopEntry("com.zantrel.MovaraPlayerX", "fake-newer %F", "");
    // The package's entry states no version: it starts the movara-player beside the launcher.
    desktop.addDesktopEntry("com.zantrel.movaraplayer", std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player %F", "");
    pid_t chooser = desktop.start({ rich }).pid();
    auto [player, commandLine] = startedMovaraPlayer(chooser);
    ASSERT_GT(player, 0) << "no movara-player was started";
    EXPECT_EQ(commandLine, std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player" + '\0' + rich + '\0');
    kill(player, SIGKILL); // started by the launcher for this test
    EXPECT_TRUE(desktop.argumentsOf("fake-newer", 0.5).empty());
}

TEST(PlayerChooserApp, AnotherEntryWithoutAVersionIsPassedOver)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    Desktop desktop;
    std::string rich = makeMovie(desktop.path("rich.mov"), 2);
    desktop.addFakePlayer("fake-newer");
    desktop.addFakePlayer("fake-movara");
    desktop.addDesktopEntry("com.zantrel.MovaraPlayerX", "fake-newer %F", "");
    desktop.addDesktopEntry("com.zantrel.movaraplayer", "fake-movara %F", "");
    desktop.start({ rich });
    EXPECT_EQ(desktop.argumentsOf("fake-newer"), (std::vector<std::string> { rich }));
    EXPECT_TRUE(desktop.argumentsOf("fake-movara", 0.5).empty());
}

TEST(PlayerChooserApp, WithNoRequestItQuitsAfterTenSeconds)
{
    Desktop desktop;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(desktop.start({}).waitForExit(30), 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 9.5);
    EXPECT_LT(seconds, 20);
}

} // namespace
