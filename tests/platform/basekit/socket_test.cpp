#include "platform/basekit/socket.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using movara::test::TempDir;

// Real sockets on the real clock; every wait is bounded.
class SocketTest : public ::testing::Test {
protected:
    void SetUp() override { HXRunLoop::main().setClock(nullptr); }

    static bool runUntil(const std::function<bool()>& done, double timeout = 10)
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
};

// A listener that keeps what it accepts and echoes or collects, as asked.
struct Server {
    explicit Server(std::shared_ptr<HXSocketListener> l)
        : listener(std::move(l))
    {
    }
    std::shared_ptr<HXSocketListener> listener;
    std::vector<std::shared_ptr<HXSocketConnection>> accepted;
    std::string received;
    bool echo = false;

    void attach()
    {
        listener->onAccept = [this](std::shared_ptr<HXSocketConnection> c) {
            auto* raw = c.get();
            c->onData = [this, raw](std::string_view bytes) {
                received.append(bytes);
                if (echo)
                    raw->write(bytes);
            };
            accepted.push_back(std::move(c));
        };
    }
};

TEST_F(SocketTest, LoopbackTcpRoundTrip)
{
    HXError error;
    Server server { HXSocketListener::listenOnLocalPort(0, 4, &error) };
    ASSERT_TRUE(server.listener) << error.localizedDescription();
    ASSERT_NE(server.listener->port(), 0);
    server.echo = true;
    server.attach();

    auto client = HXSocketConnection::connectToLocalPort(server.listener->port(), &error);
    ASSERT_TRUE(client) << error.localizedDescription();
    std::string got;
    client->onData = [&](std::string_view bytes) { got.append(bytes); };
    client->write("hello, ");
    client->write("worker");
    ASSERT_TRUE(runUntil([&] { return got == "hello, worker"; }));
    EXPECT_EQ(client->remotePort(), server.listener->port());
    EXPECT_NE(client->localPort(), 0);
    EXPECT_FALSE(client->peerCredentials()); // TCP tells no identity
}

TEST_F(SocketTest, ListenerIsOnTheLoopbackAddressOnly)
{
    auto listener = HXSocketListener::listenOnLocalPort();
    ASSERT_TRUE(listener);
    sockaddr_in address {};
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener->fileDescriptor(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), INADDR_LOOPBACK);
}

TEST_F(SocketTest, ConnectingWhereNobodyListensFails)
{
    uint16_t port;
    {
        auto listener = HXSocketListener::listenOnLocalPort();
        ASSERT_TRUE(listener);
        port = listener->port();
    }
    HXError error;
    auto client = HXSocketConnection::connectToLocalPort(port, &error);
    if (client) {
        // Refused later rather than at once: it must still arrive as an error.
        bool failed = false, closed = false;
        client->onError = [&](const HXError& e) {
            failed = true;
            error = e;
        };
        client->onClose = [&] { closed = true; };
        ASSERT_TRUE(runUntil([&] { return closed; }));
        EXPECT_TRUE(failed);
    }
    EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
    EXPECT_EQ(error.code(), ECONNREFUSED);
}

TEST_F(SocketTest, LargeWritesToAPeerThatDoesNotReadNeverBlock)
{
    Server server { HXSocketListener::listenOnLocalPort() };
    ASSERT_TRUE(server.listener);
    server.attach();
    auto client = HXSocketConnection::connectToLocalPort(server.listener->port());
    ASSERT_TRUE(client);
    ASSERT_TRUE(runUntil([&] { return !server.accepted.empty(); }));
    server.accepted[0]->setReadingPaused(true);

    std::string payload(8 * 1024 * 1024, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = char(i * 2654435761u >> 24);
    HXMonotonicClock real;
    double start = real.now();
    EXPECT_TRUE(client->write(payload));
    EXPECT_LT(real.now() - start, 2.0);
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.2);
    EXPECT_GT(client->bufferedWriteSize(), 0u); // the system's buffers are full; the rest waits with us

    bool written = false;
    client->onWritten = [&] { written = true; };
    server.accepted[0]->setReadingPaused(false);
    ASSERT_TRUE(runUntil([&] { return server.received.size() == payload.size(); }, 30));
    EXPECT_TRUE(server.received == payload);
    EXPECT_TRUE(written);
    EXPECT_EQ(client->bufferedWriteSize(), 0u);
}

TEST_F(SocketTest, PeerThatGoesAwayEndsTheConnectionWithoutSIGPIPE)
{
    // SIGPIPE keeps its default action here: a write without MSG_NOSIGNAL would kill the test program.
    Server server { HXSocketListener::listenOnLocalPort() };
    ASSERT_TRUE(server.listener);
    server.attach();
    auto client = HXSocketConnection::connectToLocalPort(server.listener->port());
    ASSERT_TRUE(client);
    ASSERT_TRUE(runUntil([&] { return !server.accepted.empty(); }));
    int closes = 0;
    client->onClose = [&] { ++closes; };
    server.accepted[0]->close();
    server.accepted.clear();
    for (int i = 0; i < 20 && client->isOpen(); ++i) {
        client->write(std::string(65536, 'x'));
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.02);
    }
    ASSERT_TRUE(runUntil([&] { return closes > 0; }));
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(client->isOpen());
    EXPECT_FALSE(client->write("late"));
}

TEST_F(SocketTest, CloseAfterWritingDeliversEverythingThenEnds)
{
    Server server { HXSocketListener::listenOnLocalPort() };
    ASSERT_TRUE(server.listener);
    bool peerClosed = false;
    server.listener->onAccept = [&](std::shared_ptr<HXSocketConnection> c) {
        c->onData = [&](std::string_view bytes) { server.received.append(bytes); };
        c->onClose = [&] { peerClosed = true; };
        server.accepted.push_back(c);
    };
    auto client = HXSocketConnection::connectToLocalPort(server.listener->port());
    ASSERT_TRUE(client);
    std::string payload(3 * 1024 * 1024, 'm');
    client->write(payload);
    client->closeAfterWriting();
    ASSERT_TRUE(runUntil([&] { return peerClosed; }, 30));
    EXPECT_EQ(server.received.size(), payload.size());
    EXPECT_FALSE(client->isOpen());
}

TEST_F(SocketTest, CallbackMayDropTheLastReferenceToItsConnection)
{
    Server server { HXSocketListener::listenOnLocalPort() };
    ASSERT_TRUE(server.listener);
    server.echo = true;
    server.attach();
    auto client = HXSocketConnection::connectToLocalPort(server.listener->port());
    ASSERT_TRUE(client);
    bool dropped = false;
    client->onData = [&](std::string_view) {
        client.reset(); // the connection goes away inside its own callback
        dropped = true;
    };
    client->write("ping");
    ASSERT_TRUE(runUntil([&] { return dropped; }));
}

TEST_F(SocketTest, UnixSocketTellsThePeersIdentity)
{
    TempDir dir;
    std::string path = (dir / "movara-player.socket").string();
    HXError error;
    Server server { HXSocketListener::listenOnPath(path, 4, &error) };
    ASSERT_TRUE(server.listener) << error.localizedDescription();
    server.listener->setAllowedPeerUID(getuid());
    server.echo = true;
    server.attach();
    struct stat st { };
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto client = HXSocketConnection::connectToPath(path, &error);
    ASSERT_TRUE(client) << error.localizedDescription();
    std::string got;
    client->onData = [&](std::string_view bytes) { got.append(bytes); };
    client->write("open /tmp/a.mov");
    ASSERT_TRUE(runUntil([&] { return got == "open /tmp/a.mov"; }));
    ASSERT_EQ(server.accepted.size(), 1u);
    auto credentials = server.accepted[0]->peerCredentials();
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->uid, unsigned(getuid()));
    EXPECT_EQ(credentials->pid, int(getpid()));
    EXPECT_EQ(client->peerCredentials()->uid, unsigned(getuid()));

    server.listener->close();
    EXPECT_NE(access(path.c_str(), F_OK), 0); // the socket file goes with the listener
}

TEST_F(SocketTest, UnixSocketRefusesAPeerOfAnotherUser)
{
    TempDir dir;
    std::string path = (dir / "s").string();
    Server server { HXSocketListener::listenOnPath(path) };
    ASSERT_TRUE(server.listener);
    server.listener->setAllowedPeerUID(getuid() + 1); // anyone but us
    server.attach();
    auto client = HXSocketConnection::connectToPath(path);
    ASSERT_TRUE(client);
    bool closed = false;
    client->onClose = [&] { closed = true; };
    client->write("hello");
    ASSERT_TRUE(runUntil([&] { return closed; }));
    EXPECT_TRUE(server.accepted.empty());
    EXPECT_EQ(server.received, "");
}

TEST_F(SocketTest, WhatMayAlreadyBeAtAUnixSocketPath)
{
    TempDir dir;
    // A stale socket (its listener died without removing it) is replaced.
    std::string stale = (dir / "stale").string();
    {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, stale.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
    }
    EXPECT_TRUE(HXSocketListener::listenOnPath(stale));

    // A live listener is not taken over.
    std::string live = (dir / "live").string();
    auto first = HXSocketListener::listenOnPath(live);
    ASSERT_TRUE(first);
    HXError error;
    EXPECT_FALSE(HXSocketListener::listenOnPath(live, 4, &error));
    EXPECT_EQ(error.code(), EADDRINUSE);
    EXPECT_TRUE(HXSocketConnection::connectToPath(live));

    // Any other file is left alone.
    std::string document = (dir / "Movie.mov").string();
    movara::test::writeFile(document, "precious");
    EXPECT_FALSE(HXSocketListener::listenOnPath(document, 4, &error));
    EXPECT_EQ(error.code(), EEXIST);
    EXPECT_EQ(movara::test::readFile(document), "precious");

    // A path longer than a socket address holds.
    EXPECT_FALSE(HXSocketListener::listenOnPath(std::string(200, 'x'), 4, &error));
    EXPECT_EQ(error.code(), ENAMETOOLONG);
    EXPECT_FALSE(HXSocketConnection::connectToPath((dir / "nobody").string(), &error));
    EXPECT_EQ(error.code(), ENOENT);
}

TEST_F(SocketTest, ClosingAListenerLeavesAReplacedSocketFileAlone)
{
    TempDir dir;
    std::string path = (dir / "s").string();
    auto first = HXSocketListener::listenOnPath(path);
    ASSERT_TRUE(first);
    ASSERT_EQ(unlink(path.c_str()), 0);
    auto second = HXSocketListener::listenOnPath(path); // another instance took the path over
    ASSERT_TRUE(second);
    first->close();
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
    EXPECT_TRUE(HXSocketConnection::connectToPath(path));
}

} // namespace
