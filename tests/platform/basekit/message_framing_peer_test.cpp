// The framing checked against an independent implementation: a python3 client that speaks it by hand with
// struct and plistlib, over loopback TCP, in a process of its own.
#include "platform/basekit/message_connection.h"
#include "platform/basekit/task.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Dictionary = HXPropertyList::Dictionary;

const char* kPeerScript = R"PY(
import datetime, plistlib, socket, struct, sys, time
port, mode = int(sys.argv[1]), sys.argv[2]
s = socket.create_connection(("127.0.0.1", port))

def recv_exact(n):
    b = b""
    while len(b) < n:
        c = s.recv(n - len(b))
        if not c:
            sys.exit(3)
        b += c
    return b

def read_frame():
    (n,) = struct.unpack(">I", recv_exact(4))
    return plistlib.loads(recv_exact(n))

def frame(obj):
    body = plistlib.dumps(obj, fmt=plistlib.FMT_XML)
    return struct.pack(">I", len(body)) + body

if mode == "echo":
    params = read_frame()
    expected = {"MVExpType": "Flatten", "n": 42, "flag": True, "real": 0.25, "blob": bytes(range(256)),
                "when": datetime.datetime(2001, 1, 1, 1, 0, 0), "name": "Film \u00e9t\u00e9"}
    if params != expected:
        print("params differ:", params)
        sys.exit(4)
    s.sendall(frame({"status": "ExportState", "progress": 0.5, "operation": 13, "errorMessage": "<&>",
                     "data": bytes([0, 255, 10]), "when": datetime.datetime(2001, 1, 1, 0, 1, 0),
                     "list": [1, "two", False]}))
    cancel = read_frame()
    s.sendall(frame({"got": cancel}))
    s.close()
elif mode == "garbage":
    s.sendall(struct.pack(">I", 11) + b"hello world")
    time.sleep(30)
elif mode == "oversized":
    s.sendall(struct.pack(">I", 0x7FFFFFFF) + b"<?xml")
    time.sleep(30)
elif mode == "stall":
    f = frame({"status": "ExportState"})
    s.sendall(f[:len(f) // 2])
    time.sleep(30)
elif mode == "truncated":
    f = frame({"status": "ExportState"})
    s.sendall(f[:len(f) - 5])
    s.close()
)PY";

class MessageFramingPeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!movara::test::haveProgram("python3"))
            GTEST_SKIP() << "python3 is not installed";
        HXRunLoop::main().setClock(nullptr);
        listener = HXSocketListener::listenOnLocalPort();
        ASSERT_TRUE(listener);
        listener->onAccept = [this](std::shared_ptr<HXSocketConnection> c) {
            connection = HXMessageConnection::withConnection(std::move(c));
            connection->onMessage = [this](const HXPropertyList& m) { messages.push_back(m); };
            connection->onError = [this](const HXError& e) { errors.push_back(e); };
            connection->onClose = [this] { ++closes; };
            if (stallTimeout > 0)
                connection->setStallTimeout(stallTimeout);
        };
    }
    void TearDown() override
    {
        if (peer && peer->isRunning()) {
            peer->kill();
            EXPECT_TRUE(peer->waitUntilExit(10));
        }
        if (connection)
            connection->close();
    }

    void startPeer(const std::string& mode)
    {
        peer = HXTask::task();
        peer->setLaunchPath(pythonPath());
        peer->setArguments({ "-c", kPeerScript, std::to_string(listener->port()), mode });
        peer->setStandardOutput(HXTaskStream::Pipe);
        peer->setStandardError(HXTaskStream::Pipe);
        HXError error;
        ASSERT_TRUE(peer->launch(&error)) << error.localizedDescription();
        ASSERT_TRUE(runUntil([&] { return connection != nullptr || !peer->isRunning(); }))
            << peer->standardErrorData();
        ASSERT_TRUE(connection) << peer->standardErrorData();
    }

    static std::string pythonPath()
    {
        auto result = movara::test::runCommand({ "sh", "-c", "command -v python3" });
        std::string path = result.output;
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
            path.pop_back();
        return path;
    }

    static bool runUntil(const std::function<bool()>& done, double timeout = 20)
    {
        HXMonotonicClock real;
        double deadline = real.now() + timeout;
        while (!done()) {
            if (real.now() >= deadline)
                return false;
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05, true);
        }
        return true;
    }

    std::shared_ptr<HXSocketListener> listener;
    std::shared_ptr<HXMessageConnection> connection;
    std::shared_ptr<HXTask> peer;
    std::vector<HXPropertyList> messages;
    std::vector<HXError> errors;
    int closes = 0;
    double stallTimeout = 0;
};

TEST_F(MessageFramingPeerTest, RoundTripWithPlistlib)
{
    startPeer("echo");
    std::vector<uint8_t> blob(256);
    for (int i = 0; i < 256; ++i)
        blob[size_t(i)] = uint8_t(i);
    connection->sendMessage(Dictionary {
        { "MVExpType", HXPropertyList("Flatten") },
        { "n", HXPropertyList(42) },
        { "flag", HXPropertyList(true) },
        { "real", HXPropertyList(0.25) },
        { "blob", HXPropertyList(HXData(blob)) },
        { "when", HXPropertyList(HXDate { 3600 }) },
        { "name", HXPropertyList("Film \xC3\xA9t\xC3\xA9") },
    });
    ASSERT_TRUE(runUntil([&] { return messages.size() == 1 || closes > 0; })) << peer->standardOutputData();
    ASSERT_EQ(messages.size(), 1u) << peer->standardOutputData() << peer->standardErrorData();
    const HXPropertyList& reply = messages[0];
    EXPECT_EQ(reply["status"].stringValue(), "ExportState");
    EXPECT_TRUE(reply["progress"].isReal());
    EXPECT_DOUBLE_EQ(reply["progress"].realValue(), 0.5);
    EXPECT_TRUE(reply["operation"].isInteger());
    EXPECT_EQ(reply["operation"].integerValue(), 13);
    EXPECT_EQ(reply["errorMessage"].stringValue(), "<&>");
    EXPECT_EQ(reply["data"].dataValue(), HXData(std::vector<uint8_t> { 0, 255, 10 }));
    EXPECT_DOUBLE_EQ(reply["when"].dateValue().secondsSinceReferenceDate, 60.0);
    ASSERT_EQ(reply["list"].count(), 3u);
    EXPECT_EQ(reply["list"][1].stringValue(), "two");
    EXPECT_FALSE(reply["list"][2].boolValue());

    connection->sendMessage(Dictionary { { "Cancel", HXPropertyList(true) } });
    ASSERT_TRUE(runUntil([&] { return closes > 0; }));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1]["got"]["Cancel"].boolValue());
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(peer->waitUntilExit(20));
    EXPECT_EQ(peer->terminationStatus(), 0) << peer->standardOutputData() << peer->standardErrorData();
}

TEST_F(MessageFramingPeerTest, BadFramesFromThePeerAreRefused)
{
    struct Case {
        const char* mode;
        int64_t code;
    };
    for (Case c : { Case { "garbage", HXMessageFrameError }, Case { "oversized", HXMessageFrameError },
             Case { "truncated", HXMessageFrameError } }) {
        SCOPED_TRACE(c.mode);
        TearDown();
        connection.reset();
        errors.clear();
        messages.clear();
        closes = 0;
        startPeer(c.mode);
        ASSERT_TRUE(runUntil([&] { return closes > 0; }));
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].domain(), HXBaseKitErrorDomain);
        EXPECT_EQ(errors[0].code(), c.code);
        EXPECT_TRUE(messages.empty());
        EXPECT_FALSE(connection->isOpen());
    }
}

TEST_F(MessageFramingPeerTest, StallingPeerIsDroppedByTheTimeout)
{
    stallTimeout = 0.3; // real time: the peer is a real process
    startPeer("stall");
    HXMonotonicClock real;
    double start = real.now();
    ASSERT_TRUE(runUntil([&] { return closes > 0; }));
    EXPECT_LT(real.now() - start, 5.0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code(), HXTimeoutError);
    EXPECT_TRUE(peer->isRunning()); // it still sleeps; the player did not wait for it
}

} // namespace
