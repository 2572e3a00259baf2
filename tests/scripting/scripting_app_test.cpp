// The real movara-player, started headless with its own user folders, driven by the real movara-script.
#include "player_process.h"

#include "app/request_server.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using movara::scriptingtest::kPlayer;
using movara::scriptingtest::kScript;

class ScriptingAppTest : public movara::scriptingtest::PlayerProcessTest { };

TEST_F(ScriptingAppTest, TheScriptCommandDrivesTheRunningPlayer)
{
    pid_t player = startPlayer({ movie("first.mov") });
    ASSERT_TRUE(waitForMovies(1));

    struct Step {
        std::vector<std::string> args;
        int status;
        std::string output; // "*": anything
    };
    const Step steps[] = {
        { { "get", "movies[1].naturalDimensions" }, 0, "[48, 64]\n" }, // height, width
        { { "set", "movies[1].currentTime", "200" }, 0, "" },
        { { "get", "movies[1].currentTime" }, 0, "200\n" },
        { { "set", "movies[1].looping", "true" }, 0, "" },
        { { "get", "movies[-1].looping" }, 0, "true\n" },
        { { "set", "movies[1].presentationSize", "'doub'" }, 0, "" },
        { { "get", "movies[1].presentationSize" }, 0, "'doub'\n" },
        { { "set", "movies[1].soundVolume", "128" }, 0, "" },
        { { "get", "movies[1].soundVolume" }, 0, "128\n" },
        { { "do", "selectAll", "movies[1]" }, 0, "" },
        { { "do", "select", "movies[1]", "At=100", "To=300" }, 0, "" },
        { { "get", "movies[1].selectionDuration" }, 0, "200\n" },
        { { "get", "displays[1].name" }, 0, "my screen\n" },
        { { "get", "MovaraLanguage" }, 0, "English\n" },
        { { "get", "movies[1]" }, 0, "*" },
        // Errors: a movie that is not there, a read-only property, a command nobody knows, bad usage.
        { { "get", "movies[5].name" }, 1, "" },
        { { "set", "movies[1].duration", "3" }, 1, "" },
        { { "do", "fly", "movies[1]" }, 1, "" },
        { { "get", "movies[0]" }, 2, "" },
        { { "frobnicate" }, 2, "" },
    };
    for (const auto& s : steps) {
        std::string line;
        for (const auto& a : s.args)
            line += a + " ";
        SCOPED_TRACE(line);
        auto r = script(s.args);
        EXPECT_EQ(r.status, s.status);
        if (s.output != "*") {
            EXPECT_EQ(r.output, s.output);
        }
    }

    // A whole request read from standard input, answered as XML.
    auto xml = movara::test::runCommand({ kScript, "--xml", "--request" },
        HXPropertyList(HXPropertyList::Dictionary { { "event", HXPropertyList("count") },
                           { "target", HXPropertyList(HXPropertyList::Dictionary { { "form", HXPropertyList("every") },
                                           { "key", HXPropertyList("movies") } }) } })
            .toXML());
    EXPECT_EQ(xml.status, 0);
    auto reply = HXPropertyList::fromXML(xml.output);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["result"].integerValue(), 1);

    // Files opened by a script, then by a second start of the program: both reach this player.
    EXPECT_EQ(script({ "open", movie("second.mov") }).status, 0);
    ASSERT_TRUE(waitForMovies(2));
    pid_t again = startPlayer({ movie("third.mov") });
    EXPECT_EQ(waitForExit(again, 30), 0);
    ASSERT_TRUE(waitForMovies(3));
    auto names = script({ "get", "movies[*].name" });
    EXPECT_NE(names.output.find("third"), std::string::npos) << names.output;

    // A script quits the player: it has its answer first.
    EXPECT_EQ(script({ "do", "quit" }).status, 0);
    EXPECT_EQ(waitForExit(player, 30), 0);
}

TEST_F(ScriptingAppTest, AScriptedOpenOfAGarbageFileAnswersWithAnError)
{
    pid_t player = startPlayer({ "--no-featured-movie" });
    ASSERT_TRUE(waitForMovies(0));
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        { "junk.mov", std::string(5000, '\x5a') },
        { "junk.mp4",
            std::string("\0\0\0\x10"
                        "ftypmp42\0\0\0\0"
                        "\xff\xff\xff\xffmoov",
                24) },
        { "junk.bin", "not a movie at all" },
        { "empty.mov", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movara::test::writeFile(home / c.name, c.bytes);
        // The player answers in time (the request gives up after 2 seconds).
        HXError error;
        auto reply = MVPRequestServer::sendRequest(
            HXPropertyList(HXPropertyList::Dictionary { { MVPRequestCommandKey, HXPropertyList("script") },
                { "event", HXPropertyList("open") },
                { "direct",
                    HXPropertyList(HXPropertyList::Array { HXPropertyList((home / c.name).string()) }) } }),
            2, &error);
        ASSERT_TRUE(reply) << error.localizedDescription();
        EXPECT_NE((*reply)["errorNumber"].integerValue(), 0);
        EXPECT_FALSE((*reply)["error"].stringValue().empty());
    }
    // The script command tells why.
    auto r = movara::test::runCommand(
        { "sh", "-c", kScript + " open " + (home / "junk.bin").string() + " 2>&1" });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("could not be opened"), std::string::npos) << r.output;
    // Nothing opened, and no alert waits for anybody.
    EXPECT_TRUE(waitForMovies(0));
    auto alert = MVPRequestServer::sendRequest(
        HXPropertyList(HXPropertyList::Dictionary {
            { MVPRequestCommandKey, HXPropertyList("answerAlert") }, { "button", HXPropertyList("OK") } }),
        10);
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->contains(MVPRequestErrorKey));

    // Replacing the front player's movie: the player's own alert is answered for the script and reported.
    EXPECT_EQ(script({ "open", movie("good.mov") }).status, 0);
    ASSERT_TRUE(waitForMovies(1));
    EXPECT_EQ(script({ "set", "openMovieInNewPlayer", "false" }).status, 0);
    auto replaced = MVPRequestServer::sendRequest(
        HXPropertyList(HXPropertyList::Dictionary { { MVPRequestCommandKey, HXPropertyList("script") },
            { "event", HXPropertyList("open") },
            { "direct",
                HXPropertyList(HXPropertyList::Array { HXPropertyList((home / "junk.mov").string()) }) } }),
        2);
    ASSERT_TRUE(replaced);
    auto alerts = (*replaced)["alerts"].arrayValue();
    ASSERT_EQ(alerts.size(), 1u) << replaced->toXML();
    EXPECT_EQ(alerts[0]["answer"].stringValue(), "OK");
    EXPECT_FALSE(alerts[0]["message"].stringValue().empty());
    EXPECT_EQ(script({ "get", "movies[*].name" }).output.find("junk"), std::string::npos); // kept its movie

    ASSERT_TRUE(MVPRequestServer::sendRequest(
        HXPropertyList(HXPropertyList::Dictionary { { MVPRequestCommandKey, HXPropertyList("quit") } }), 10));
    EXPECT_EQ(waitForExit(player, 30), 0);
}

// A socket whose folder is open to others, or whose listener is another user, gets no request.
TEST_F(ScriptingAppTest, TheClientsRefuseASocketTheyCannotTrust)
{
    auto folder = home / "runtime" / "movara-player";
    auto shell = [&](const std::string& command) {
        return movara::test::runCommand({ "sh", "-c", command + " 2>&1" });
    };
    pid_t player = startPlayer({ "--no-featured-movie" });
    ASSERT_TRUE(waitForMovies(0));
    ASSERT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);

    fs::permissions(folder,
        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
            | fs::perms::others_exec);
    auto r = shell(kScript + " count 'movies[*]'");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("not a private folder"), std::string::npos) << r.output;
    // A second start neither hands its files over nor runs a player of its own.
    r = shell(kPlayer + " " + movie("second.mov"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("not a private folder"), std::string::npos) << r.output;
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(waitForMovies(0));
    ASSERT_TRUE(MVPRequestServer::sendRequest(
        HXPropertyList(HXPropertyList::Dictionary { { MVPRequestCommandKey, HXPropertyList("quit") } }), 10));
    EXPECT_EQ(waitForExit(player, 30), 0);

    // Without XDG_RUNTIME_DIR the folder is the user's own in the temporary folder, and must be private too.
    auto tmp = home / "tmp";
    auto own = tmp / ("movara-player-" + std::to_string(getuid()));
    fs::create_directories(own);
    fs::permissions(own, fs::perms::all);
    r = shell("env -u XDG_RUNTIME_DIR TMPDIR=" + tmp.string() + " " + kScript + " count 'movies[*]'");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("not a private folder"), std::string::npos) << r.output;

    // Another user listening in our own private folder (only root can arrange that here).
    if (getuid() != 0)
        return;
    fs::create_directories(folder);
    pid_t impostor = fork();
    if (impostor == 0) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::string path = (folder / "player.sock").string();
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        unlink(path.c_str());
        // The listener's credentials are those it has when it starts listening.
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || setresuid(65534, 65534, 65534) != 0 || listen(fd, 4) != 0)
            _exit(1);
        for (;;)
            pause();
    }
    running.push_back(impostor);
    for (int i = 0; i < 100 && !fs::exists(folder / "player.sock"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    r = shell(kScript + " count 'movies[*]'");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("belongs to another user (uid 65534)"), std::string::npos) << r.output;
}

TEST_F(ScriptingAppTest, WithoutAPlayerTheScriptCommandSaysSo)
{
    auto r = script({ "get", "movies[*].name" });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.output, "");
}

} // namespace
