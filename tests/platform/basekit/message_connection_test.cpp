#include "platform/basekit/message_connection.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Dictionary = HXPropertyList::Dictionary;

bool runUntil(const std::function<bool()>& done, double timeout = 10)
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

// What a message connection reported.
struct Record {
    std::vector<HXPropertyList> messages;
    std::vector<HXError> errors;
    int closes = 0;

    void watch(HXMessageConnection& connection)
    {
        connection.onMessage = [this](const HXPropertyList& m) { messages.push_back(m); };
        connection.onError = [this](const HXError& e) { errors.push_back(e); };
        connection.onClose = [this] { ++closes; };
    }
};

// One end is ours (a message connection), the other a raw socket the test writes bytes into.
class MessageConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXRunLoop::main().setClock(clock);
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        raw = fds[1];
        connection
            = HXMessageConnection::withConnection(HXSocketConnection::withFileDescriptor(fds[0], true));
        record.watch(*connection);
    }
    void TearDown() override
    {
        if (connection)
            connection->close();
        if (raw >= 0)
            ::close(raw);
        HXRunLoop::main().setClock(nullptr);
    }
    void send(const std::string& bytes)
    {
        ASSERT_EQ(::write(raw, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void pass() { clock->advance(0); }

    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    std::shared_ptr<HXMessageConnection> connection;
    Record record;
    int raw = -1;
};

TEST_F(MessageConnectionTest, MessagesArriveWhole)
{
    std::string frames = HXMessageFraming::encode(Dictionary { { "status", HXPropertyList("ExportState") } })
        + HXMessageFraming::encode(Dictionary { { "progress", HXPropertyList(0.5) } });
    send(frames.substr(0, 10));
    pass();
    EXPECT_TRUE(record.messages.empty());
    send(frames.substr(10));
    pass();
    ASSERT_EQ(record.messages.size(), 2u);
    EXPECT_EQ(record.messages[0]["status"].stringValue(), "ExportState");
    EXPECT_DOUBLE_EQ(record.messages[1]["progress"].realValue(), 0.5);
    EXPECT_TRUE(record.errors.empty());
}

TEST_F(MessageConnectionTest, SentMessagesAreFramed)
{
    ASSERT_TRUE(connection->sendMessage(Dictionary { { "Result", HXPropertyList(true) } }));
    pass();
    char buffer[4096];
    ssize_t n = ::read(raw, buffer, sizeof buffer);
    ASSERT_GT(n, 4);
    HXMessageFraming decoder;
    ASSERT_TRUE(decoder.feed(std::string_view(buffer, size_t(n))));
    auto message = decoder.nextMessage();
    ASSERT_TRUE(message);
    EXPECT_TRUE((*message)["Result"].boolValue());
}

TEST_F(MessageConnectionTest, BadInputEndsTheConnectionWithAFrameError)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool thenClose;
        size_t handled = 0; // whole messages before the bad frame
    };
    const Case cases[] = {
        { "garbage", std::string("\0\0\0\x05hello", 9), false },
        { "a message, then garbage",
            HXMessageFraming::encode(Dictionary { { "n", HXPropertyList(1) } })
                + std::string("\0\0\0\x05hello", 9),
            false, 1 },
        { "oversized length", "\x7F\xFF\xFF\xFF", false },
        { "short frame at the end of the stream", std::string("\0\0\x01\0<?xml", 9), true },
        { "half a length at the end of the stream", std::string("\0\0", 2), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        record = {};
        SetUp();
        send(c.bytes);
        if (c.thenClose) {
            ::close(raw);
            raw = -1;
        }
        pass();
        EXPECT_EQ(record.messages.size(), c.handled);
        ASSERT_EQ(record.errors.size(), 1u);
        EXPECT_EQ(record.errors[0].code(), HXMessageFrameError);
        EXPECT_EQ(record.closes, 1);
        EXPECT_FALSE(connection->isOpen());
        EXPECT_FALSE(connection->sendMessage(Dictionary {}));
    }
}

TEST_F(MessageConnectionTest, CleanCloseBetweenFramesIsNoError)
{
    send(HXMessageFraming::encode(Dictionary { { "log", HXPropertyList("done") } }));
    ::close(raw);
    raw = -1;
    pass();
    EXPECT_EQ(record.messages.size(), 1u);
    EXPECT_TRUE(record.errors.empty());
    EXPECT_EQ(record.closes, 1);
}

TEST_F(MessageConnectionTest, StallingPeerIsDroppedByTheStallTimeout)
{
    connection->setStallTimeout(5);
    clock->advance(60); // quiet between frames is no stall
    EXPECT_TRUE(connection->isOpen());
    std::string frame = HXMessageFraming::encode(Dictionary { { "status", HXPropertyList("ExportState") } });
    send(frame.substr(0, frame.size() / 2));
    pass();
    clock->advance(4);
    EXPECT_TRUE(connection->isOpen());
    clock->advance(2.5);
    EXPECT_FALSE(connection->isOpen());
    ASSERT_EQ(record.errors.size(), 1u);
    EXPECT_EQ(record.errors[0].domain(), HXBaseKitErrorDomain);
    EXPECT_EQ(record.errors[0].code(), HXTimeoutError);
    EXPECT_EQ(record.closes, 1);
}

TEST_F(MessageConnectionTest, IdleTimeoutCountsFromTheLastByteReceived)
{
    connection->setIdleTimeout(10);
    clock->advance(8);
    send(HXMessageFraming::encode(Dictionary { { "progress", HXPropertyList(0.1) } }));
    pass();
    clock->advance(8);
    EXPECT_TRUE(connection->isOpen());
    clock->advance(3);
    EXPECT_FALSE(connection->isOpen());
    ASSERT_EQ(record.errors.size(), 1u);
    EXPECT_EQ(record.errors[0].code(), HXTimeoutError);
}

TEST_F(MessageConnectionTest, MessageWithoutAnXMLFormIsNotSent)
{
    HXError error;
    EXPECT_FALSE(connection->sendMessage(HXPropertyList(), &error));
    EXPECT_EQ(error.code(), HXPropertyListWriteInvalidError);
    EXPECT_FALSE(
        connection->sendMessage(Dictionary { { "log", HXPropertyList(std::string("a\0b", 3)) } }, &error));
    pass();
    char c;
    EXPECT_EQ(::recv(raw, &c, 1, MSG_DONTWAIT), -1); // nothing went out
    EXPECT_TRUE(connection->isOpen());
    connection->close();
    EXPECT_FALSE(connection->sendMessage(Dictionary {}, &error));
    EXPECT_EQ(error.code(), HXConnectionClosedError);
}

TEST_F(MessageConnectionTest, OwnCloseCallsNothing)
{
    connection->close();
    pass();
    EXPECT_TRUE(record.errors.empty());
    EXPECT_EQ(record.closes, 0);
}

TEST_F(MessageConnectionTest, HandlerMayCloseWhileMoreMessagesAreQueued)
{
    connection->onMessage = [&](const HXPropertyList& m) {
        record.messages.push_back(m);
        connection->close();
    };
    send(HXMessageFraming::encode(Dictionary { { "n", HXPropertyList(1) } })
        + HXMessageFraming::encode(Dictionary { { "n", HXPropertyList(2) } }));
    pass();
    EXPECT_EQ(record.messages.size(), 1u);
}

// A peer that sends many requests and reads none of the (large) answers: what waits for it stays bounded,
// and every request is answered once it reads.
TEST_F(MessageConnectionTest, APeerThatDoesNotReadWaitsForItsAnswers)
{
    const std::string big(1u << 20, 'x');
    connection->onMessage = [&](const HXPropertyList& m) {
        record.messages.push_back(m);
        connection->sendMessage(Dictionary { { "answer", HXPropertyList(big) } });
    };
    constexpr size_t kRequests = 40;
    std::string requests;
    for (size_t i = 0; i < kRequests; ++i)
        requests += HXMessageFraming::encode(Dictionary { { "n", HXPropertyList(int64_t(i)) } });
    send(requests);
    for (int i = 0; i < 20; ++i)
        pass();
    EXPECT_LT(record.messages.size(), kRequests);
    EXPECT_LT(connection->connection()->bufferedWriteSize(), size_t(8u << 20));

    HXMessageFraming answers(4u << 20);
    char buffer[65536];
    for (int i = 0; i < 100000 && answers.messageCount() < kRequests; ++i) {
        ssize_t n = ::recv(raw, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            ASSERT_TRUE(answers.feed(std::string_view(buffer, size_t(n))));
        }
        pass();
    }
    EXPECT_EQ(record.messages.size(), kRequests);
    EXPECT_EQ(answers.messageCount(), kRequests);
    EXPECT_TRUE(record.errors.empty());
}

// Two real processes over loopback TCP: the forked child echoes every frame back with "echo" set, using
// blocking sockets and the decoder alone; the parent talks through the run loop.
TEST(MessageConnectionProcessTest, RoundTripWithAForkedProcess)
{
    HXRunLoop::main().setClock(nullptr);
    auto listener = HXSocketListener::listenOnLocalPort();
    ASSERT_TRUE(listener);
    uint16_t port = listener->port();
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            _exit(2);
        HXMessageFraming decoder;
        char buffer[8192];
        int echoed = 0;
        for (;;) {
            ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            if (!decoder.feed(std::string_view(buffer, size_t(n))))
                _exit(3);
            while (auto message = decoder.nextMessage()) {
                HXPropertyList reply = *message;
                reply.mutableDictionary()["echo"] = HXPropertyList(true);
                std::string frame = HXMessageFraming::encode(reply);
                if (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != ssize_t(frame.size()))
                    _exit(4);
                ++echoed;
            }
        }
        _exit(decoder.finish() && echoed == 3 ? 0 : 5);
    }

    std::shared_ptr<HXMessageConnection> peer;
    Record record;
    listener->onAccept = [&](std::shared_ptr<HXSocketConnection> c) {
        peer = HXMessageConnection::withConnection(std::move(c));
        record.watch(*peer);
    };
    bool connected = runUntil([&] { return peer != nullptr; });
    if (connected) {
        std::string big(2 * 1024 * 1024, '\x5A');
        peer->sendMessage(Dictionary { { "MVExpType", HXPropertyList("Flatten") } });
        peer->sendMessage(Dictionary { { "MVExpMovieIn", HXPropertyList(HXData(big)) } });
        peer->sendMessage(Dictionary { { "Cancel", HXPropertyList(true) } });
        EXPECT_TRUE(runUntil([&] { return record.messages.size() == 3; }, 30));
        peer->close();
        ASSERT_EQ(record.messages.size(), 3u);
        EXPECT_EQ(record.messages[0]["MVExpType"].stringValue(), "Flatten");
        EXPECT_TRUE(record.messages[1]["MVExpMovieIn"].dataValue().view() == big);
        EXPECT_TRUE(record.messages[2]["Cancel"].boolValue());
        EXPECT_TRUE(record.messages[2]["echo"].boolValue());
    } else {
        kill(pid, SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(connected);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
