#include "app/player_program.h"
#include "app/request_server.h"

#include "platform/basekit/message_framing.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Dict = HXPropertyList::Dictionary;

HXPropertyList request(const std::string& command, Dict extra = {})
{
    extra[MVPRequestCommandKey] = HXPropertyList(command);
    return HXPropertyList(std::move(extra));
}

// Runs the main run loop until `done` (a client on another thread sets it) or a few seconds pass.
void runUntil(const std::atomic<bool>& done)
{
    for (int i = 0; i < 500 && !done; ++i)
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
}

class RequestServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.setHandler("echo", [](const HXPropertyList& r) {
            return HXPropertyList(Dict { { "value", r["value"] } });
        });
    }
    void TearDown() override { server.stop(); }
    MVPRequestServer server;
};

TEST_F(RequestServerTest, RepliesToRequests)
{
    struct Case {
        const char* name;
        HXPropertyList request;
        bool isError;
    };
    const Case cases[] = {
        { "a known command", request("echo", { { "value", HXPropertyList(7) } }), false },
        { "an unknown command", request("launchMissiles"), true },
        { "no command", HXPropertyList(Dict {}), true },
        { "not a dictionary", HXPropertyList(std::string("open")), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto reply = server.replyToRequest(c.request);
        ASSERT_TRUE(reply.isDictionary());
        EXPECT_EQ(reply.contains(MVPRequestErrorKey), c.isError);
    }
    EXPECT_EQ(
        server.replyToRequest(request("echo", { { "value", HXPropertyList(7) } }))["value"].integerValue(),
        7);
}

TEST_F(RequestServerTest, ASecondProgramReachesTheFirstThroughTheSocket)
{
    ASSERT_TRUE(server.start());
    struct stat st { };
    ASSERT_EQ(stat(MVPRequestServer::socketFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    std::atomic<bool> done = false;
    std::optional<HXPropertyList> reply;
    std::thread client([&] {
        reply = MVPRequestServer::sendRequest(
            request("echo", { { "value", HXPropertyList(std::string("hi")) } }), 5);
        done = true;
    });
    runUntil(done);
    client.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["value"].stringValue(), "hi");

    // A second server on the same socket is refused while the first listens.
    MVPRequestServer second;
    HXError error;
    EXPECT_FALSE(second.start(&error));
}

TEST_F(RequestServerTest, ALateReplyIsWaitedForWhileThePlayerSaysItWorks)
{
    ASSERT_TRUE(server.start());
    // "slow" answers after `after` seconds, saying every 0.2 seconds meanwhile that it works when `tells`;
    // its reply is large (two megabytes, twice what replies once could be) when asked.
    server.setAsyncHandler("slow", [](const HXPropertyList& r, std::shared_ptr<MVPRequestReply> reply) {
        auto started = HXRunLoop::main().now();
        bool tells = r["tells"].boolValue();
        auto timer = std::make_shared<std::shared_ptr<HXTimer>>();
        *timer = HXTimer::scheduledTimer(0.2, true,
            [reply, started, tells, after = r["after"].realValue(), big = r["big"].boolValue(), timer](
                HXTimer& t) {
                if (HXRunLoop::main().now() - started < after) {
                    if (tells)
                        reply->sendInterim({ { "progress", HXPropertyList(0.5) } });
                    return;
                }
                reply->send(HXPropertyList(
                    Dict { { "value", HXPropertyList(std::string(big ? 2 << 20 : 2, 'x')) } }));
                t.invalidate();
                timer->reset();
            });
    });
    struct Case {
        const char* name;
        bool tells;
        bool big;
        bool answered; // within a silence limit of two seconds, for a reply four seconds late
    };
    const Case cases[] = {
        { "a player that says it works", true, false, true },
        { "a silent one", false, false, false },
        { "a large reply", true, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> done = false;
        std::optional<HXPropertyList> reply;
        int interims = 0;
        std::thread client([&] {
            reply = MVPRequestServer::sendRequest(
                request("slow",
                    { { "tells", HXPropertyList(c.tells) }, { "after", HXPropertyList(4.0) },
                        { "big", HXPropertyList(c.big) } }),
                2.0, nullptr,
                [&](const HXPropertyList& interim) { interims += interim["progress"].realValue() == 0.5; });
            done = true;
        });
        // The server works only while the run loop turns: it turns until the client is done, however slow.
        for (int i = 0; i < 3000 && !done; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
        client.join();
        EXPECT_EQ(reply.has_value(), c.answered);
        if (reply) {
            EXPECT_EQ((*reply)["value"].stringValue().size(), c.big ? size_t(2 << 20) : 2u);
            EXPECT_GE(interims, 2);
        }
        // What is left of an abandoned request goes before the next one.
        for (int i = 0; i < 100; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
    }
}

TEST_F(RequestServerTest, GarbageEndsOnlyThatConnection)
{
    ASSERT_TRUE(server.start());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::string path = MVPRequestServer::socketPath();
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    // A frame that claims 2 GB, then one that is no property list.
    std::string garbage = std::string("\x7f\xff\xff\xff", 4) + "xxxx";
    ASSERT_EQ(write(fd, garbage.data(), garbage.size()), ssize_t(garbage.size()));
    std::atomic<bool> closed = false;
    std::thread reader([&] {
        char buffer[64];
        while (read(fd, buffer, sizeof(buffer)) > 0) { }
        closed = true;
    });
    runUntil(closed);
    reader.join();
    close(fd);
    EXPECT_TRUE(closed);

    std::atomic<bool> done = false;
    std::optional<HXPropertyList> reply;
    std::thread client([&] {
        reply = MVPRequestServer::sendRequest(request("echo", { { "value", HXPropertyList(1) } }), 5);
        done = true;
    });
    runUntil(done);
    client.join();
    EXPECT_TRUE(reply);
}

// More clients at once than the server serves together, most of them connected and silent: the silent
// ones that waited longest make room, and every client with a request is answered.
TEST_F(RequestServerTest, ManyClientsAtOnceAreEachAnswered)
{
    ASSERT_TRUE(server.start());
    std::string path = MVPRequestServer::socketPath();
    std::vector<int> silent;
    for (int i = 0; i < 250; ++i) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        silent.push_back(fd);
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.001); // accepted, so the backlog never fills
    }
    constexpr int kClients = 40;
    std::atomic<int> answered = 0;
    std::atomic<bool> done = false;
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            auto reply
                = MVPRequestServer::sendRequest(request("echo", { { "value", HXPropertyList(i) } }), 30);
            if (reply && (*reply)["value"].integerValue() == i)
                ++answered;
        });
    std::thread waiter([&] {
        for (auto& c : clients)
            c.join();
        done = true;
    });
    runUntil(done);
    waiter.join();
    EXPECT_EQ(answered, kClients);
    for (int fd : silent)
        close(fd);
}

TEST_F(RequestServerTest, NoPlayerMeansNoReply)
{
    HXError error;
    EXPECT_FALSE(MVPRequestServer::sendRequest(request("echo"), 1, &error));
    EXPECT_FALSE(error.localizedDescription().empty());
}

TEST_F(RequestServerTest, AFolderOpenToOthersIsRefused)
{
    std::string folder = MVPRequestServer::socketFolder();
    ASSERT_TRUE(MVPRequestServer::prepareSocketFolder(nullptr));
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    HXError error;
    EXPECT_FALSE(server.start(&error));
    EXPECT_FALSE(server.isListening());
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    EXPECT_TRUE(server.start());
}

TEST(PlayerProgramTest, FeaturedMovieFlagOnTheCommandLine)
{
    struct Case {
        std::vector<std::string> argv;
        std::optional<bool> flag;
        bool error;
    };
    const Case cases[] = {
        { { "movara-player" }, std::nullopt, false },
        { { "movara-player", "--no-featured-movie" }, false, false },
        { { "movara-player", "--featured-movie=no", "a.mov" }, false, false },
        { { "movara-player", "--featured-movie" }, true, false },
        { { "movara-player", "--featured-movie=yes" }, true, false },
        { { "movara-player", "--featured-movie=maybe" }, std::nullopt, true },
    };
    for (const auto& c : cases) {
        auto options = MVPPlayerProgram::parseArguments(c.argv);
        EXPECT_EQ(options.featuredMovie, c.flag);
        EXPECT_EQ(!options.error.empty(), c.error);
    }
}

TEST(PlayerProgramTest, CommandLines)
{
    struct Case {
        std::vector<std::string> argv;
        std::string screenshot;
        std::vector<std::string> items;
        bool error;
    };
    const Case cases[] = {
        { { "movara-player" }, "", {}, false },
        { { "movara-player", "a.mov", "http://h/b.mov" }, "", { "a.mov", "http://h/b.mov" }, false },
        { { "movara-player", "--screenshot", "shot.png" }, "shot.png", {}, false },
        { { "movara-player", "--screenshot=shot.png", "a.mov" }, "shot.png", { "a.mov" }, false },
        { { "movara-player", "--screenshot" }, "", {}, true },
        { { "movara-player", "--frobnicate" }, "", {}, true },
    };
    for (const auto& c : cases) {
        auto options = MVPPlayerProgram::parseArguments(c.argv);
        EXPECT_EQ(options.screenshotPath, c.screenshot);
        EXPECT_EQ(options.items, c.items);
        EXPECT_EQ(!options.error.empty(), c.error);
        if (!c.error) {
            // The application is given the program name and the items only.
            auto expected = c.items;
            expected.insert(expected.begin(), "movara-player");
            EXPECT_EQ(options.applicationArguments, expected);
        }
    }
}

} // namespace
