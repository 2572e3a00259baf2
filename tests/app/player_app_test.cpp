// The real movara-player program, started headless with its own user folders.
#include "app/recent_documents.h"
#include "app/request_server.h"

#include "platform/basekit/property_list.h"
#include "platform/basekit/user_defaults.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using movara::test::TempDir;
using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

extern "C" char** environ;

const std::string kProgram = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player";

void makeMovie(const fs::path& path)
{
    auto result = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=0.4", "-c:v", "libx264", "-pix_fmt", "yuv420p",
        path.string() });
    ASSERT_EQ(result.status, 0);
}

// One user: configuration and runtime folders of its own, and the player programs it starts.
class PlayerUser {
public:
    PlayerUser()
    {
        fs::create_directories(config());
        setenv("XDG_RUNTIME_DIR", (_home / "runtime").c_str(), 1);
        fs::create_directories(_home / "runtime");
        fs::permissions(_home / "runtime", fs::perms::owner_all);
    }
    ~PlayerUser()
    {
        for (pid_t pid : _running) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    fs::path config() const { return _home / "config" / "movara-player"; }
    fs::path folder() const { return _home.path(); }

    // The user defaults as the player last wrote them (empty before the first write).
    HXPropertyList storedDefaults() const
    {
        auto stored = HXPropertyList::readFromFile(
            (config() / (std::string(HXUserDefaults::defaultIdentifier) + ".plist")).string());
        return stored ? *stored : HXPropertyList();
    }
    // Whether the stored recent items name `file`.
    bool recentItemsName(const std::string& file) const
    {
        auto recent = storedDefaults()[MVPRecentDocumentsUserDefault];
        return recent.isArray() && recent.toXML().find(file) != std::string::npos;
    }

    void setPreferences(const Dict& values)
    {
        std::string path = (config() / (std::string(HXUserDefaults::defaultIdentifier) + ".plist")).string();
        ASSERT_TRUE(HXPropertyList(values).writeToFile(path));
    }
    void setMediaKeys(const Dict& keys)
    {
        ASSERT_TRUE(HXPropertyList(keys).writeToFile((config() / "MediaKeys.plist").string()));
    }

    // Starts the program with `args`; without a display it runs headless.
    pid_t start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {})
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0
                || entry.rfind("XDG_CONFIG_HOME=", 0) == 0 || entry.rfind("MOVARA_BUNDLE_DIR=", 0) == 0)
                continue;
            env.push_back(entry);
        }
        env.push_back("XDG_CONFIG_HOME=" + (_home / "config").string());
        env.push_back(std::string("MOVARA_BUNDLE_DIR=") + MOVARA_BUNDLE_DIR);
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<std::string> argv { kProgram };
        argv.insert(argv.end(), args.begin(), args.end());

        pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> a, e;
            for (auto& s : argv)
                a.push_back(s.data());
            a.push_back(nullptr);
            for (auto& s : env)
                e.push_back(s.data());
            e.push_back(nullptr);
            execve(a[0], a.data(), e.data());
            _exit(127);
        }
        _running.push_back(pid);
        return pid;
    }

    // The exit status of `pid`, waiting at most `seconds`; -1 when it is still running.
    int waitForExit(pid_t pid, double seconds)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(_running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::optional<HXPropertyList> request(const std::string& command, Dict extra = {})
    {
        extra[MVPRequestCommandKey] = HXPropertyList(command);
        return MVPRequestServer::sendRequest(HXPropertyList(std::move(extra)), 10);
    }

    // The player's documents once `ready` holds for them (or the last list after 30 seconds).
    Array documentsWhen(const std::function<bool(const Array&)>& ready)
    {
        Array last;
        for (int i = 0; i < 300; ++i) {
            if (auto reply = request("documents")) {
                last = (*reply)["documents"].arrayValue();
                if (ready(last))
                    return last;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return last;
    }
    Array documentsOnceRunning()
    {
        return documentsWhen([](const Array&) { return true; });
    }

    void quit(pid_t pid)
    {
        ASSERT_TRUE(request("quit"));
        EXPECT_EQ(waitForExit(pid, 30), 0);
    }

private:
    TempDir _home;
    std::vector<pid_t> _running;
};

std::vector<std::string> names(const Array& docs, const char* key = "movieFileName")
{
    std::vector<std::string> result;
    for (auto& d : docs)
        result.push_back(fs::path(d[key].stringValue()).filename().string());
    return result;
}

TEST(PlayerAppTest, WhatOpensAtLaunchWithNothingToOpen)
{
    struct Case {
        const char* name;
        Dict preferences;
        Dict mediaKeys;
        int documents;
        bool featured;
    };
    const Case cases[] = {
        { "first launch", {}, {}, 1, true },
        { "preference off", { { "GeneralPreferenceShowReelspotMovieAutomatically", HXPropertyList(false) } },
            {}, 0, false },
        { "featured movie disabled", {},
            { { "MVPlayerReelspot", HXPropertyList(Array { HXPropertyList("disable") }) } }, 0, false },
        { "empty window", {},
            { { "MVPlayerLaunchWithEmptyWindow", HXPropertyList(Array { HXPropertyList("enable") }) },
                { "MVPlayerReelspot", HXPropertyList(Array { HXPropertyList("enable") }) } },
            1, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlayerUser user;
        if (!c.preferences.empty())
            user.setPreferences(c.preferences);
        if (!c.mediaKeys.empty())
            user.setMediaKeys(c.mediaKeys);
        pid_t pid = user.start({});
        auto docs = user.documentsOnceRunning();
        ASSERT_EQ(int(docs.size()), c.documents);
        if (c.documents) {
            EXPECT_EQ(docs[0]["reelspot"].boolValue(), c.featured);
            if (c.featured) {
                EXPECT_EQ(names(docs)[0], "tvbutton.mov");
            }
        }
        user.quit(pid);
    }
}

TEST(PlayerAppTest, ASecondStartHandsItsFilesToTheFirst)
{
    PlayerUser user;
    for (auto n : { "a.mov", "b.mov", "c.mov" })
        makeMovie(user.folder() / n);
    pid_t first = user.start({ (user.folder() / "a.mov").string() });
    EXPECT_EQ(names(user.documentsWhen([](const Array& d) { return d.size() == 1; })),
        (std::vector<std::string> { "a.mov" }));

    // New players by default; a relative path is resolved in the second program's folder.
    auto cwd = fs::current_path();
    fs::current_path(user.folder());
    pid_t second = user.start({ "b.mov" });
    fs::current_path(cwd);
    EXPECT_EQ(user.waitForExit(second, 30), 0);
    EXPECT_EQ(names(user.documentsWhen([](const Array& d) { return d.size() == 2; })),
        (std::vector<std::string> { "a.mov", "b.mov" }));

    // A file that is already open opens nothing more.
    pid_t again = user.start({ (user.folder() / "a.mov").string() });
    EXPECT_EQ(user.waitForExit(again, 30), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(user.documentsOnceRunning().size(), 2u);

    // Replacing instead of a new player: the front player shows the new file.
    ASSERT_TRUE(user.request("open",
        { { "items", HXPropertyList(Array { HXPropertyList((user.folder() / "c.mov").string()) }) },
            { "newPlayer", HXPropertyList(false) } }));
    auto docs = user.documentsWhen([](const Array& d) {
        return std::any_of(d.begin(), d.end(), [](const HXPropertyList& x) {
            return fs::path(x["movieFileName"].stringValue()).filename() == "c.mov";
        });
    });
    EXPECT_EQ(docs.size(), 2u);
    auto shown = names(docs);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "c.mov"), 1);
    user.quit(first);
}

// An export-session file that flattens a movie that does not exist: a job that runs and then fails.
bool writeFlattenSession(PlayerUser& user, const std::filesystem::path& session)
{
    return HXPropertyList(Dict { { "MVExpType", HXPropertyList("Flatten") },
                              { "MVExpMovieIn", HXPropertyList((user.folder() / "missing.mov").string()) },
                              { "MVExpNameOut", HXPropertyList((user.folder() / "out.mov").string()) },
                              { "description", HXPropertyList("Flattening") } })
        .writeToFile(session.string());
}

TEST(PlayerAppTest, ExportSessionFilesBecomeJobs)
{
    PlayerUser user;
    auto session = user.folder() / "job.exportSession";
    ASSERT_TRUE(writeFlattenSession(user, session));
    auto broken = user.folder() / "broken.exportSession";
    movara::test::writeFile(broken, "<plist><dict><key>MVExpType");

    pid_t pid = user.start({ session.string() });
    auto docs = user.documentsWhen([](const Array& d) { return d.size() == 1; });
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]["kind"].stringValue(), "processing");
    EXPECT_EQ(docs[0]["jobCount"].integerValue(), 1);

    // A broken one is reported in an alert and queues nothing.
    ASSERT_TRUE(
        user.request("open", { { "items", HXPropertyList(Array { HXPropertyList(broken.string()) }) } }));
    std::optional<HXPropertyList> answered;
    for (int i = 0; i < 100; ++i) {
        answered = user.request("answerAlert", { { "button", HXPropertyList("OK") } });
        if (answered && !answered->contains(MVPRequestErrorKey))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(answered);
    EXPECT_FALSE(answered->contains(MVPRequestErrorKey));
    docs = user.documentsOnceRunning();
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0]["jobCount"].integerValue(), 1);
    // Quitting while the job may still run asks first; answering "Quit" ends its worker with the player.
    ASSERT_TRUE(user.request("quit"));
    int status = -1;
    for (int i = 0; i < 300 && status == -1; ++i) {
        user.request("answerAlert", { { "button", HXPropertyList("Quit") } });
        status = user.waitForExit(pid, 0.1);
    }
    EXPECT_EQ(status, 0);
}

TEST(PlayerAppTest, QuitWritesTheUserDefaults)
{
    PlayerUser user;
    pid_t pid = user.start({});
    user.documentsOnceRunning();
    user.quit(pid);
    auto stored = HXPropertyList::readFromFile(
        (user.config() / (std::string(HXUserDefaults::defaultIdentifier) + ".plist")).string());
    ASSERT_TRUE(stored);
    // The preferences' first-launch values were stored.
    EXPECT_TRUE((*stored)["GeneralPreferenceOpenMoviesInNewPlayers"].isBoolean());
}

TEST(PlayerAppTest, QuitSignalsRunTheQuitAndKeepTheRecentItems)
{
    for (int number : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(strsignal(number));
        PlayerUser user;
        makeMovie(user.folder() / "a.mov");
        pid_t pid = user.start({ (user.folder() / "a.mov").string() });
        ASSERT_EQ(user.documentsWhen([](const Array& d) { return d.size() == 1; }).size(), 1u);
        ASSERT_EQ(kill(pid, number), 0);
        EXPECT_EQ(user.waitForExit(pid, 30), 0); // the program's own quit, not death by the signal
        EXPECT_TRUE(user.recentItemsName("a.mov"));
    }
}

TEST(PlayerAppTest, ASignalQuitWithoutADisplayAnswersWhatTheQuitAsks)
{
    // A job that may still run makes the quit ask whether to stop it; nobody can answer without a display.
    PlayerUser user;
    auto session = user.folder() / "job.exportSession";
    ASSERT_TRUE(writeFlattenSession(user, session));
    pid_t pid = user.start({ session.string() });
    ASSERT_EQ(user.documentsWhen([](const Array& d) { return d.size() == 1; }).size(), 1u);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(user.waitForExit(pid, 30), 0);
    EXPECT_TRUE(user.storedDefaults().isDictionary());
}

TEST(PlayerAppTest, AKilledPlayerKeepsTheChangesOfASecondAgo)
{
    PlayerUser user;
    makeMovie(user.folder() / "b.mov");
    pid_t pid = user.start({});
    user.documentsOnceRunning();
    ASSERT_TRUE(user.request("open",
        { { "items", HXPropertyList(Array { HXPropertyList((user.folder() / "b.mov").string()) }) },
            { "newPlayer", HXPropertyList(true) } }));
    user.documentsWhen([](const Array& d) {
        return std::any_of(d.begin(), d.end(), [](const HXPropertyList& x) {
            return fs::path(x["movieFileName"].stringValue()).filename() == "b.mov";
        });
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    EXPECT_EQ(user.waitForExit(pid, 30), 128 + SIGKILL);
    EXPECT_TRUE(user.recentItemsName("b.mov"));
}

TEST(PlayerAppTest, ScreenshotOfTheFeaturedMovie)
{
    PlayerUser user;
    auto shot = user.folder() / "shot.png";
    pid_t pid = user.start({ "--screenshot", shot.string() });
    ASSERT_EQ(user.waitForExit(pid, 60), 0);
    auto bytes = movara::test::readFile(shot);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto probe = movara::test::runCommand({ "ffprobe", "-v", "error", "-show_entries", "stream=width,height",
        "-of", "csv=p=0", shot.string() });
    EXPECT_EQ(probe.status, 0);
    EXPECT_FALSE(probe.output.empty());
}

TEST(PlayerAppTest, LaunchProfileMeasuresThenQuits)
{
    PlayerUser user;
    auto results = user.folder() / "launch.plist";
    pid_t pid
        = user.start({}, { "MOVIEPLAYERLAUNCHPROFILE=1", "MOVIEPLAYERRESULTSPATH=" + results.string() });
    ASSERT_EQ(user.waitForExit(pid, 60), 0);
    auto written = HXPropertyList::readFromFile(results.string());
    ASSERT_TRUE(written);
    EXPECT_GT((*written)["launch_resident_memory"].integerValue(), 0);
}

TEST(PlayerAppTest, BadCommandLinesAreRefused)
{
    PlayerUser user;
    pid_t pid = user.start({ "--no-such-option" });
    EXPECT_EQ(user.waitForExit(pid, 30), 2);
}

} // namespace
