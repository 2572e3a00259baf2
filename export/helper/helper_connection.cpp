#include "export/helper/helper_connection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

std::unique_ptr<HelperConnection> HelperConnection::connectToPort(uint16_t port, std::string* error)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("cannot make a socket: ") + std::strerror(errno);
        return nullptr;
    }
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        *error = "cannot connect to port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<HelperConnection>(fd);
}

HelperConnection::HelperConnection(int fd)
    : _fd(fd)
{
}

HelperConnection::~HelperConnection()
{
    if (_fd >= 0)
        ::close(_fd);
}

bool HelperConnection::send(const HXPropertyList& message)
{
    auto xml = message.xmlData();
    if (!xml || _fd < 0)
        return false;
    std::string frame = HXMessageFraming::frame(*xml);
    size_t written = 0;
    while (written < frame.size()) {
        ssize_t n = ::send(_fd, frame.data() + written, frame.size() - written, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            _playerGone = true;
            return false;
        }
        written += size_t(n);
    }
    return true;
}

bool HelperConnection::readSome(double timeout)
{
    if (_fd < 0 || _playerGone)
        return false;
    pollfd p { _fd, POLLIN, 0 };
    int wait = timeout < 0 ? -1 : int(timeout * 1000);
    int ready;
    do {
        ready = ::poll(&p, 1, wait);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return ready == 0; // nothing yet is not an end
    char buffer[16384];
    ssize_t n;
    do {
        n = ::recv(_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return true;
    if (n <= 0 || !_framing.feed(std::string_view(buffer, size_t(n)))) {
        _playerGone = true;
        return false;
    }
    takeMessages();
    return true;
}

void HelperConnection::takeMessages()
{
    while (auto message = _framing.nextMessage()) {
        if (message->isDictionary() && (*message)["Cancel"].boolValue())
            _cancelRequested = true;
        else if (message->isDictionary() && (*message)["Result"].boolValue())
            ++_resultsReceived;
        else
            _messages.push_back(std::move(*message));
    }
}

std::optional<HXPropertyList> HelperConnection::receive(double timeout)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration<double>(timeout < 0 ? 1e9 : timeout);
    while (_messages.empty()) {
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0 || !readSome(timeout < 0 ? -1 : left))
            return std::nullopt;
    }
    auto message = std::move(_messages.front());
    _messages.pop_front();
    return message;
}

void HelperConnection::poll()
{
    while (!_playerGone) {
        pollfd p { _fd, POLLIN, 0 };
        if (::poll(&p, 1, 0) <= 0)
            break;
        if (!readSome(0))
            break;
    }
}

bool HelperConnection::waitForResult(double timeout)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration<double>(timeout < 0 ? 1e9 : timeout);
    while (_resultsReceived == 0 && !shouldStop()) {
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0 || !readSome(timeout < 0 ? -1 : left))
            return false;
    }
    if (_resultsReceived == 0)
        return false;
    --_resultsReceived;
    return true;
}
