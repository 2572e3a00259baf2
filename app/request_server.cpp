#include "app/request_server.h"

#include "platform/basekit/message_connection.h"
#include "platform/basekit/message_framing.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/socket.h"
#include "platform/basekit/strings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr size_t kMaximumRequestSize = 1u << 20;
constexpr double kConnectionIdleTimeout = 60;
// A request that has begun to arrive and then stops moving for this long is given up.
constexpr double kConnectionStallTimeout = 30;
// Clients served at once; more wait to be accepted (each may hold a request of up to 1 MiB).
constexpr size_t kMaximumConnections = 256;

HXError requestError(const std::string& text)
{
    return HXError::withDescription(HXBaseKitErrorDomain, HXFileReadUnknownError, text);
}

HXError refusal(const std::string& text)
{
    return HXError::withDescription(HXBaseKitErrorDomain, MVPRequestRefusedError, text);
}

// The socket's folder must be a folder of this user's that nobody else may enter: anyone who could write
// there could put a socket of their own in the player's place.
bool isPrivateFolder(const std::string& folder, HXError* error)
{
    struct stat st { };
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()
        && (st.st_mode & 077) == 0)
        return true;
    if (error)
        *error = refusal("The folder \u201c" + folder
            + "\u201d of the player\u2019s socket is not a private folder of this user (it must be owned by "
              "you, "
              "with mode 0700); the player there is not trusted.");
    return false;
}

HXPropertyList errorReply(const std::string& text)
{
    return HXPropertyList(HXPropertyList::Dictionary { { MVPRequestErrorKey, HXPropertyList(text) } });
}

// Text any XML reader takes: bytes that are no UTF-8 (a file name of another encoding, say) and NUL
// characters (from a movie's user data) become U+FFFD.
std::string readableText(const std::string& text)
{
    if (HXString::isValidUTF8(text) && text.find('\0') == std::string::npos)
        return text;
    return HXString::stringByReplacingOccurrencesOfString(
        HXString::utf8ByReplacingInvalidSequences(text), std::string_view("\0", 1), "\uFFFD");
}

// A reply as every client can read it (see readableText).
HXPropertyList readableReply(const HXPropertyList& value, int depth = 0)
{
    // Replies are made by the player, never deeper than what it answers; the bound only keeps the walk
    // finite.
    if (depth > 256)
        return {};
    if (value.isString())
        return HXPropertyList(readableText(value.stringValue()));
    if (value.isArray()) {
        HXPropertyList::Array array;
        array.reserve(value.count());
        for (const auto& e : value.arrayValue())
            array.push_back(readableReply(e, depth + 1));
        return HXPropertyList(std::move(array));
    }
    if (value.isDictionary()) {
        HXPropertyList::Dictionary dictionary;
        for (const auto& [key, e] : value.dictionaryValue())
            dictionary.emplace(readableText(key), readableReply(e, depth + 1));
        return HXPropertyList(std::move(dictionary));
    }
    return value;
}

// Whether the peer sent something the run loop has not read yet (a request on its way).
bool hasUnreadBytes(const HXMessageConnection& connection)
{
    int n = 0;
    auto* socket = connection.connection();
    return socket && socket->isOpen() && ioctl(socket->fileDescriptor(), FIONREAD, &n) == 0 && n > 0;
}

// Sends `reply` on `connection`: one the connection cannot carry is answered with an error instead, so
// that the sender is never left waiting.
void sendReply(HXMessageConnection& connection, const HXPropertyList& reply)
{
    HXError error;
    if (!connection.sendMessage(readableReply(reply), &error) && connection.isOpen())
        connection.sendMessage(errorReply("The answer could not be sent: " + error.localizedDescription()));
}

} // namespace

MVPRequestServer& MVPRequestServer::sharedServer()
{
    static MVPRequestServer server;
    return server;
}

std::string MVPRequestServer::socketFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/movara-player";
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return base + "/movara-player-" + std::to_string(getuid());
}

std::string MVPRequestServer::socketPath()
{
    return socketFolder() + "/player.sock";
}

bool MVPRequestServer::prepareSocketFolder(HXError* error)
{
    std::string folder = socketFolder();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = requestError(
                "The folder \u201c" + folder + "\u201d could not be made: " + std::strerror(errno));
        return false;
    }
    return isPrivateFolder(folder, error);
}

bool MVPRequestServer::start(HXError* error)
{
    if (_listener)
        return true;
    if (!prepareSocketFolder(error))
        return false;
    // Room for many clients connecting at once (a burst of scripts) before the run loop accepts them.
    auto listener = HXSocketListener::listenOnPath(socketPath(), 128, error);
    if (!listener)
        return false;
    listener->setAllowedPeerUID(getuid());
    listener->onAccept = [this](std::shared_ptr<HXSocketConnection> socket) {
        auto connection = HXMessageConnection::withConnection(std::move(socket));
        connection->setMaximumFrameSize(kMaximumRequestSize);
        connection->setIdleTimeout(kConnectionIdleTimeout);
        connection->setStallTimeout(kConnectionStallTimeout);
        std::weak_ptr<HXMessageConnection> weak = connection;
        connection->onMessage = [this, weak](const HXPropertyList& request) {
            std::string command
                = request.isDictionary() ? request[MVPRequestCommandKey].stringValue() : std::string();
            if (auto it = _asyncHandlers.find(command); it != _asyncHandlers.end()) {
                it->second(request, std::make_shared<MVPRequestReply>(weak));
                return;
            }
            // Replies go out before the handler's effects that wait for the run loop (a quit, a sheet).
            HXPropertyList reply = replyToRequest(request);
            if (auto c = weak.lock())
                sendReply(*c, reply);
        };
        std::weak_ptr<std::set<std::shared_ptr<HXMessageConnection>>> set = _connections;
        std::weak_ptr<HXSocketListener> weakListener = _listener;
        connection->onClose = [set, weak, weakListener] {
            // Dropped on the next turn: the connection is still calling us.
            if (auto c = weak.lock())
                HXRunLoop::main().perform([set, c, weakListener] {
                    auto s = set.lock();
                    if (!s)
                        return;
                    s->erase(c);
                    if (auto l = weakListener.lock(); l && s->size() < kMaximumConnections)
                        l->setAcceptingPaused(false);
                });
        };
        // Room for the newcomer: the client that has been silent longest, with no request of its own
        // under way, is let go (it loses nothing). While every client is busy, newcomers wait to be
        // accepted until one leaves.
        auto quietest = [this] {
            std::shared_ptr<HXMessageConnection> found;
            for (const auto& c : *_connections)
                if (c->isBetweenMessages() && c->idleTimeout() > 0 && !hasUnreadBytes(*c)
                    && (!found || c->lastReceived() < found->lastReceived()))
                    found = c;
            return found;
        };
        if (_connections->size() >= kMaximumConnections)
            if (auto c = quietest()) {
                c->close();
                _connections->erase(c);
            }
        _connections->insert(connection);
        if (_connections->size() >= kMaximumConnections && !quietest() && _listener)
            _listener->setAcceptingPaused(true);
    };
    _listener = listener;
    return true;
}

void MVPRequestServer::stop()
{
    for (auto& c : *_connections)
        c->close();
    _connections->clear();
    if (_listener)
        _listener->close();
    _listener.reset();
}

bool MVPRequestServer::isListening() const
{
    return _listener && _listener->isOpen();
}

void MVPRequestServer::setHandler(const std::string& command, Handler handler)
{
    if (handler)
        _handlers[command] = std::move(handler);
    else
        _handlers.erase(command);
}

void MVPRequestServer::setAsyncHandler(const std::string& command, AsyncHandler handler)
{
    if (handler)
        _asyncHandlers[command] = std::move(handler);
    else
        _asyncHandlers.erase(command);
}

MVPRequestReply::MVPRequestReply(std::weak_ptr<HXMessageConnection> connection)
    : _connection(std::move(connection))
{
    // The sender waits quietly while the request is worked on: its silence does not end the connection.
    if (auto c = _connection.lock())
        c->setIdleTimeout(0);
}

MVPRequestReply::~MVPRequestReply()
{
    if (!_sent)
        send(errorReply("The request ended without an answer."));
}

void MVPRequestReply::send(const HXPropertyList& reply)
{
    if (_sent)
        return;
    _sent = true;
    if (auto c = _connection.lock()) {
        sendReply(*c, reply.isDictionary() ? reply : HXPropertyList(HXPropertyList::Dictionary {}));
        c->setIdleTimeout(kConnectionIdleTimeout);
    }
}

void MVPRequestReply::sendInterim(HXPropertyList::Dictionary message)
{
    if (_sent)
        return;
    message[MVPRequestInterimKey] = HXPropertyList(true);
    if (auto c = _connection.lock())
        sendReply(*c, HXPropertyList(std::move(message)));
}

HXPropertyList MVPRequestServer::replyToRequest(const HXPropertyList& request) const
{
    if (!request.isDictionary())
        return errorReply("A request is a dictionary.");
    std::string command = request[MVPRequestCommandKey].stringValue();
    auto it = _handlers.find(command);
    if (it == _handlers.end())
        return errorReply("Unknown command \u201c" + command + "\u201d.");
    HXPropertyList reply = it->second(request);
    return reply.isDictionary() ? reply : HXPropertyList(HXPropertyList::Dictionary {});
}

std::optional<HXPropertyList> MVPRequestServer::sendRequest(const HXPropertyList& request, double timeout,
    HXError* error, const std::function<void(const HXPropertyList&)>& onInterim)
{
    auto fail = [error](const std::string& text) -> std::optional<HXPropertyList> {
        if (error)
            *error = requestError(text);
        return std::nullopt;
    };
    std::string folder = socketFolder();
    struct stat st { };
    const std::string none = "No player is running (none listens at \u201c" + socketPath() + "\u201d).";
    if (lstat(folder.c_str(), &st) != 0 && errno == ENOENT)
        return fail(none);
    if (!isPrivateFolder(folder, error))
        return std::nullopt;
    std::string path = socketPath();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return fail("The socket path is too long.");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        return fail(none);
    // Whoever listens must be this user: requests carry file names and commands.
    ucred peer {};
    socklen_t length = sizeof(peer);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
        if (error)
            *error = refusal("The program listening at \u201c" + path + "\u201d belongs to another user (uid "
                + std::to_string(peer.uid) + "); the request was not sent.");
        return std::nullopt;
    }

    auto span = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(timeout));
    auto deadline = std::chrono::steady_clock::now() + span;
    auto waitFor = [&](short events) {
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (timeout > 0 && left.count() <= 0)
                return false;
            pollfd p { fd, events, 0 };
            int n = poll(&p, 1, timeout > 0 ? int(std::min<int64_t>(left.count(), INT32_MAX)) : -1);
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR)
                return false;
        }
    };

    std::string frame = HXMessageFraming::encode(request);
    size_t sent = 0;
    while (sent < frame.size()) {
        if (!waitFor(POLLOUT))
            return fail("The player did not take the request in time.");
        ssize_t n = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return fail(std::strerror(errno));
        if (n > 0)
            sent += size_t(n);
    }

    // Replies are as large as what they answer (every frame of a long track, say): the frame's own
    // 32-bit length is the only bound.
    HXMessageFraming framing(0xFFFFFFFFu);
    char buffer[65536];
    for (;;) {
        while (framing.hasMessage()) {
            auto message = framing.nextMessage();
            if (!message || !message->isDictionary() || !(*message)[MVPRequestInterimKey].boolValue())
                return message;
            deadline = std::chrono::steady_clock::now() + span;
            if (onInterim)
                onInterim(*message);
        }
        if (!waitFor(POLLIN))
            return fail("The player did not answer in time.");
        ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n == 0)
            return fail("The player closed the connection without an answer.");
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return fail(std::strerror(errno));
        }
        // Bytes on their way are no silence: a large reply takes what time it takes.
        deadline = std::chrono::steady_clock::now() + span;
        if (!framing.feed(std::string_view(buffer, size_t(n))))
            return fail(framing.error().localizedDescription());
    }
}
