// Script requests that are not requests, sent over the real socket: an error reply or a closed
// connection, never a crash or a hang; the player keeps answering afterwards.
#include "scripting_test_support.h"

#include "platform/basekit/message_framing.h"
#include "platform/basekit/strings.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace movara::scriptingtest {
namespace {

class ScriptSocketTest : public ScriptingTest {
protected:
    // Writes `bytes` on a fresh connection (closing the writing side when `shut`), then reads until the
    // player closes the connection or one reply has come; answers the reply, if any.
    std::optional<HXPropertyList> raw(const std::string& bytes, bool shut)
    {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::string path = MVPRequestServer::socketPath();
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        if (shut)
            shutdown(fd, SHUT_WR);
        std::atomic<bool> done = false;
        std::optional<HXPropertyList> reply;
        std::thread reader([&] {
            HXMessageFraming framing(1 << 20);
            char buffer[4096];
            timeval timeout { 10, 0 };
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
            ssize_t n;
            while (!framing.hasMessage() && (n = read(fd, buffer, sizeof(buffer))) > 0)
                framing.feed(std::string_view(buffer, size_t(n)));
            if (framing.hasMessage())
                reply = framing.nextMessage();
            done = true;
        });
        for (int i = 0; i < 4000 && !done; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.005);
        reader.join();
        close(fd);
        EXPECT_TRUE(done);
        return reply;
    }
};

std::string frame(const std::string& payload)
{
    return HXMessageFraming::frame(payload);
}

TEST_F(ScriptSocketTest, GarbageGetsAnErrorOrAClosedConnection)
{
    auto doc = openPlayer("garbage.mov");
    ASSERT_TRUE(doc);
    auto request = [](HXPropertyList::Dictionary d) {
        d[MVPRequestCommandKey] = HXPropertyList("script");
        return HXPropertyList(std::move(d)).toXML();
    };
    struct Case {
        const char* name;
        std::string bytes;
        bool expectReply; // else: the player closes the connection
    };
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 2000; ++i)
        deep += "<array>";
    const Case cases[] = {
        { "a length of 2 GB", std::string("\x7f\xff\xff\xff", 4) + "xxxx", false },
        { "a frame cut short", frame(request({ { "event", HXPropertyList("get") } })).substr(0, 20), false },
        { "bytes that are no property list", frame("\x01\x02garbage\xff"), false },
        { "an unterminated nesting", frame(deep), false },
        // What came whole before the garbage is still answered.
        { "a request, then bytes that are no property list", frame(request({})) + frame("\x01\x02garbage"),
            true },
        { "a script request that is an array",
            frame(HXPropertyList(Array { HXPropertyList("script") }).toXML()), true },
        { "no event", frame(request({})), true },
        { "a target that is no specifier",
            frame(request({ { "event", HXPropertyList("get") }, { "target", HXPropertyList(5) } })), true },
        { "a specifier of an unknown form",
            frame(request({ { "event", HXPropertyList("get") },
                { "target",
                    HXPropertyList(Dict {
                        { "form", HXPropertyList("middle") }, { "key", HXPropertyList("movies") } }) } })),
            true },
        { "an index that is text",
            frame(request({ { "event", HXPropertyList("get") },
                { "target",
                    HXPropertyList(Dict { { "form", HXPropertyList("index") },
                        { "key", HXPropertyList("movies") }, { "value", HXPropertyList("one") } }) } })),
            true },
        { "an index past every position",
            frame(request({ { "event", HXPropertyList("get") },
                { "target", Specifier::index("movies", INT64_MAX).propertyList() } })),
            true },
        // The answer names it as XML can carry it.
        { "a name that is no UTF-8",
            frame(request({ { "event", HXPropertyList("get") },
                { "target", Specifier::name("movies", "\xff\xfe\xc3").propertyList() } })),
            true },
        { "arguments that are no record",
            frame(request({ { "event", HXPropertyList("play") }, { "arguments", HXPropertyList(3) } })),
            true },
        { "a value naming nothing",
            frame(request({ { "event", HXPropertyList("set") },
                { "target", movieProperty("currentTime").propertyList() },
                { "value",
                    HXPropertyList(
                        Dict { { "$specifier", Specifier::index("movies", 40).propertyList() } }) } })),
            true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto reply = raw(c.bytes, true);
        EXPECT_EQ(reply.has_value(), c.expectReply);
        if (reply) {
            EXPECT_TRUE((*reply)[MVPRequestErrorKey].isString());
            EXPECT_TRUE(HXString::isValidUTF8((*reply)[MVPRequestErrorKey].stringValue()));
        }
    }
    // The player still answers, and nothing changed the movie.
    EXPECT_EQ(get(movieProperty("currentTime"))["result"], HXPropertyList(0));
    EXPECT_FALSE(doc->movie()->hasChanged());
}

} // namespace
} // namespace movara::scriptingtest
