// The real movara-player program, started headless with its own user folders.
#include "player_user.h"

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
using namespace movara::apptest;
using movara::test::TempDir;
using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

void makeMovie(const fs::path& path)
{
    makeTestMovie(path);
}

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

TEST(PlayerAppTest, ASignalQuitsWhileAnAlertWaitsForAnAnswer)
{
    // A movie whose chunk table claims more than its atom holds opens with a warning nobody answers.
    PlayerUser user;
    makeMovie(user.folder() / "good.mov");
    std::string bytes = movara::test::readFile(user.folder() / "good.mov");
    size_t stco = bytes.find("stco");
    ASSERT_NE(stco, std::string::npos);
    bytes[stco + 8] = 0x40;
    movara::test::writeFile(user.folder() / "damaged.mov", bytes);
    pid_t pid = user.start({ (user.folder() / "damaged.mov").string() });
    std::optional<HXPropertyList> shown;
    for (int i = 0; i < 300; ++i) {
        // An alert is up when it answers that it has no such button.
        shown = user.request("answerAlert", { { "button", HXPropertyList("-") } });
        if (shown && (*shown)[MVPRequestErrorKey].stringValue().find("has no button") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(shown);
    ASSERT_NE((*shown)[MVPRequestErrorKey].stringValue().find("might not play smoothly"), std::string::npos)
        << shown->toXML();
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(user.waitForExit(pid, 30), 0);
    EXPECT_TRUE(user.recentItemsName("damaged.mov"));
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
    // The change is on disk within about a second.
    std::this_thread::sleep_for(std::chrono::seconds(1));
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
