#pragma once
// The scripting tests: the player's headless application with real documents, its request socket in a
// runtime folder of the test's own, and script requests sent through that socket from another thread
// while the main run loop serves them.
#include "tests/app/shell_fixtures.h"

#include "app/request_server.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/scripting_command.h"
#include "scripting/scripting_server.h"

#include <atomic>
#include <cstdlib>
#include <optional>
#include <thread>

namespace movara::scriptingtest {

using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;
using Specifier = HXScriptObjectSpecifier;

inline std::shared_ptr<Specifier> ptr(Specifier s)
{
    return std::make_shared<Specifier>(std::move(s));
}

// The first movie (front to back), and a property of it.
inline Specifier frontMovie()
{
    return Specifier::index("movies", 0);
}
inline Specifier movieProperty(const std::string& key, Specifier movie = frontMovie())
{
    return Specifier::property(key, ptr(std::move(movie)));
}

// A four-character code as scripts send it.
inline HXPropertyList code(const char (&text)[5])
{
    return HXPropertyList(int64_t((uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16)
        | (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]))));
}

class ScriptingTest : public movara::apptest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
        ASSERT_TRUE(server.start());
        MVPScriptingServer::install(server);
    }
    void TearDown() override
    {
        server.stop();
        for (auto token : observers)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        ShellTest::TearDown();
    }

    // Sends `request` (a "script" request) through the socket and answers the reply.
    HXPropertyList script(Dict request)
    {
        request[MVPRequestCommandKey] = HXPropertyList("script");
        return send(HXPropertyList(std::move(request)));
    }
    HXPropertyList send(const HXPropertyList& request)
    {
        std::atomic<bool> done = false;
        std::optional<HXPropertyList> reply;
        std::thread client([&] {
            reply = MVPRequestServer::sendRequest(request, 20);
            done = true;
        });
        for (int i = 0; i < 4000 && !done; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.005);
        client.join();
        EXPECT_TRUE(reply) << "no reply to " << request.toXML();
        return reply.value_or(HXPropertyList());
    }

    HXPropertyList get(const Specifier& target)
    {
        return script({ { "event", HXPropertyList("get") }, { "target", target.propertyList() } });
    }
    HXPropertyList set(const Specifier& target, HXPropertyList value)
    {
        return script({ { "event", HXPropertyList("set") }, { "target", target.propertyList() }, { "value", std::move(value) } });
    }
    HXPropertyList command(const std::string& name, std::optional<Specifier> target = std::nullopt, Dict arguments = {},
        std::optional<HXPropertyList> direct = std::nullopt)
    {
        Dict request { { "event", HXPropertyList(name) }, { "arguments", HXPropertyList(std::move(arguments)) } };
        if (target)
            request["target"] = target->propertyList();
        if (direct)
            request["direct"] = *direct;
        return script(std::move(request));
    }

    // Two screens side by side: the main one, and a second of 32 bits per pixel to its right.
    static void useTwoScreens()
    {
        auto* server = dynamic_cast<HXHeadlessWindowServer*>(&HXApp().windowServer());
        ASSERT_TRUE(server);
        server->setScreens({ HXScreen(1, { { 0, 0 }, { 1280, 800 } }, { { 0, 0 }, { 1280, 778 } }),
            HXScreen(7, { { 1280, 0 }, { 1024, 768 } }, { { 1280, 0 }, { 1024, 768 } }, 32) });
    }

    // Counts the notifications `name`.
    std::shared_ptr<int> count(const std::string& name)
    {
        auto n = std::make_shared<int>(0);
        observers.push_back(HXNotificationCenter::defaultCenter().addObserver(name, nullptr, [n](const HXNotification&) { ++*n; }));
        return n;
    }

    movara::test::TempDir runtime;
    MVPRequestServer server;
    std::vector<HXObserverToken> observers;
};

} // namespace movara::scriptingtest
