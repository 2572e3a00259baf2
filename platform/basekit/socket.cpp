#include "platform/basekit/socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr int kReadsPerPass = 16; // then other sources get their turn

bool report(HXError* error, const HXError& e)
{
    if (error)
        *error = e;
    return false;
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

sockaddr_in loopbackAddress(uint16_t port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool unixAddress(const std::string& path, sockaddr_un& address, HXError* error)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return report(error, HXError::posix(ENAMETOOLONG, path));
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

} // namespace

// MARK: HXSocketConnection

HXSocketConnection::HXSocketConnection(int fd, bool unixDomain, bool connected)
    : _fd(fd)
    , _unixDomain(unixDomain)
    , _connected(connected)
{
}

HXSocketConnection::~HXSocketConnection()
{
    close();
}

std::shared_ptr<HXSocketConnection> HXSocketConnection::connectToLocalPort(uint16_t port, HXError* error)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        report(error, HXError::posix(errno, "socket"));
        return nullptr;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address = loopbackAddress(port);
    bool connected = true;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            report(error, HXError::posix(errno, "127.0.0.1:" + std::to_string(port)));
            ::close(fd);
            return nullptr;
        }
        connected = false;
    }
    auto connection = std::make_shared<HXSocketConnection>(fd, false, connected);
    connection->start();
    return connection;
}

std::shared_ptr<HXSocketConnection> HXSocketConnection::connectToPath(const std::string& path, HXError* error)
{
    sockaddr_un address;
    if (!unixAddress(path, address, error))
        return nullptr;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        report(error, HXError::posix(errno, "socket"));
        return nullptr;
    }
    // A Unix-domain connect completes at once or fails at once (EAGAIN: the listener's backlog is full).
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        report(error, HXError::posix(errno, path));
        ::close(fd);
        return nullptr;
    }
    auto connection = std::make_shared<HXSocketConnection>(fd, true, true);
    connection->start();
    return connection;
}

std::shared_ptr<HXSocketConnection> HXSocketConnection::withFileDescriptor(int fd, bool isUnixDomain)
{
    if (fd < 0)
        return nullptr;
    setNonBlocking(fd);
    if (!isUnixDomain) {
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    auto connection = std::make_shared<HXSocketConnection>(fd, isUnixDomain, true);
    connection->start();
    return connection;
}

void HXSocketConnection::start()
{
    std::weak_ptr<HXSocketConnection> weak = weak_from_this();
    _source
        = HXRunLoop::main().addFileDescriptor(_fd, HXFileDescriptorReadable, [weak](int, uint32_t events) {
              if (auto self = weak.lock())
                  self->handleEvents(events);
          });
    updateInterest();
}

void HXSocketConnection::updateInterest()
{
    if (_fd < 0 || !_source)
        return;
    uint32_t events = _readingPaused ? 0u : uint32_t(HXFileDescriptorReadable);
    if (!_connected || bufferedWriteSize() > 0)
        events |= HXFileDescriptorWritable;
    HXRunLoop::main().setFileDescriptorEvents(_source, events);
}

void HXSocketConnection::handleEvents(uint32_t events)
{
    auto self = shared_from_this();
    if (_fd < 0)
        return;
    if (!_connected) {
        int err = 0;
        socklen_t length = sizeof err;
        ::getsockopt(_fd, SOL_SOCKET, SO_ERROR, &err, &length);
        if (err != 0) {
            fail(HXError::posix(err, "127.0.0.1:" + std::to_string(remotePort())));
            return;
        }
        if (!(events & HXFileDescriptorWritable))
            return;
        _connected = true;
    }
    if (events & HXFileDescriptorWritable)
        handleWritable();
    if (_fd >= 0 && (events & HXFileDescriptorReadable) && !_readingPaused)
        handleReadable();
    updateInterest();
}

void HXSocketConnection::handleReadable()
{
    char buffer[kReadChunk];
    for (int i = 0; i < kReadsPerPass && _fd >= 0; ++i) {
        ssize_t n = ::recv(_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            if (auto callback = onData)
                callback(std::string_view(buffer, size_t(n)));
            if (_readingPaused)
                return;
            continue;
        }
        if (n == 0) {
            ended();
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        fail(HXError::posix(errno, "recv"));
        return;
    }
}

void HXSocketConnection::handleWritable()
{
    while (_fd >= 0 && bufferedWriteSize() > 0) {
        ssize_t n = ::send(_fd, _writeBuffer.data() + _writeOffset, bufferedWriteSize(), MSG_NOSIGNAL);
        if (n > 0) {
            _writeOffset += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        fail(HXError::posix(n < 0 ? errno : EPIPE, "send"));
        return;
    }
    if (_fd < 0)
        return;
    _writeBuffer.clear();
    _writeOffset = 0;
    if (_closeAfterWriting) {
        close();
        return;
    }
    if (auto callback = onWritten)
        callback();
}

bool HXSocketConnection::write(std::string_view bytes)
{
    if (_fd < 0)
        return false;
    if (_writeOffset > 65536 && _writeOffset * 2 > _writeBuffer.size()) {
        _writeBuffer.erase(0, _writeOffset);
        _writeOffset = 0;
    }
    _writeBuffer.append(bytes);
    if (_connected) {
        // Whatever the socket takes now; errors are left to the next pass, so no callback runs inside
        // write().
        while (bufferedWriteSize() > 0) {
            ssize_t n = ::send(_fd, _writeBuffer.data() + _writeOffset, bufferedWriteSize(), MSG_NOSIGNAL);
            if (n > 0)
                _writeOffset += size_t(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
        if (bufferedWriteSize() == 0) {
            _writeBuffer.clear();
            _writeOffset = 0;
        }
    }
    updateInterest();
    return true;
}

void HXSocketConnection::close()
{
    if (_source) {
        HXRunLoop::main().removeSource(_source);
        _source = 0;
    }
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
    _writeBuffer.clear();
    _writeOffset = 0;
    // The callbacks may hold whoever holds this connection; let go of them. (Callbacks are always run
    // from copies, so one may close the connection while it runs.)
    onData = nullptr;
    onError = nullptr;
    onClose = nullptr;
    onWritten = nullptr;
}

void HXSocketConnection::closeAfterWriting()
{
    if (_fd < 0)
        return;
    if (bufferedWriteSize() == 0) {
        close();
        return;
    }
    _closeAfterWriting = true;
    updateInterest();
}

void HXSocketConnection::fail(const HXError& error)
{
    auto self = shared_from_this();
    auto errorCallback = onError;
    auto closeCallback = onClose;
    close();
    if (errorCallback)
        errorCallback(error);
    if (closeCallback)
        closeCallback();
}

void HXSocketConnection::ended()
{
    auto self = shared_from_this();
    // The peer will not send more; hand it what is still buffered if it takes it now, then end.
    if (bufferedWriteSize() > 0)
        ::send(_fd, _writeBuffer.data() + _writeOffset, bufferedWriteSize(), MSG_NOSIGNAL | MSG_DONTWAIT);
    auto closeCallback = onClose;
    close();
    if (closeCallback)
        closeCallback();
}

void HXSocketConnection::setReadingPaused(bool paused)
{
    _readingPaused = paused;
    updateInterest();
}

std::optional<HXPeerCredentials> HXSocketConnection::peerCredentials() const
{
    if (_fd < 0 || !_unixDomain)
        return std::nullopt;
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(_fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return HXPeerCredentials { int(credentials.pid), unsigned(credentials.uid), unsigned(credentials.gid) };
}

uint16_t HXSocketConnection::localPort() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (_fd < 0 || _unixDomain || ::getsockname(_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

uint16_t HXSocketConnection::remotePort() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (_fd < 0 || _unixDomain || ::getpeername(_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// MARK: HXSocketListener

HXSocketListener::HXSocketListener(int fd, uint16_t port, std::string path)
    : _fd(fd)
    , _port(port)
    , _path(std::move(path))
{
}

HXSocketListener::~HXSocketListener()
{
    close();
}

std::shared_ptr<HXSocketListener> HXSocketListener::listenOnLocalPort(
    uint16_t port, int backlog, HXError* error)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        report(error, HXError::posix(errno, "socket"));
        return nullptr;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = loopbackAddress(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        report(error, HXError::posix(errno, "127.0.0.1:" + std::to_string(port)));
        ::close(fd);
        return nullptr;
    }
    auto listener = std::make_shared<HXSocketListener>(fd, ntohs(address.sin_port), std::string());
    listener->start();
    return listener;
}

std::shared_ptr<HXSocketListener> HXSocketListener::listenOnPath(
    const std::string& path, int backlog, HXError* error)
{
    sockaddr_un address;
    if (!unixAddress(path, address, error))
        return nullptr;
    struct stat st { };
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            report(error, HXError::posix(EEXIST, path));
            return nullptr;
        }
        // A socket file: in use when something accepts on it, else left over by a listener that died.
        int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int result
            = probe >= 0 ? ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) : -1;
        int err = errno;
        if (probe >= 0)
            ::close(probe);
        if (result == 0 || err != ECONNREFUSED) {
            report(error, HXError::posix(result == 0 ? EADDRINUSE : err, path));
            return nullptr;
        }
        ::unlink(path.c_str());
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        report(error, HXError::posix(errno, "socket"));
        return nullptr;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        report(error, HXError::posix(errno, path));
        ::close(fd);
        return nullptr;
    }
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, backlog) != 0) {
        report(error, HXError::posix(errno, path));
        ::close(fd);
        ::unlink(path.c_str());
        return nullptr;
    }
    auto listener = std::make_shared<HXSocketListener>(fd, 0, path);
    if (::lstat(path.c_str(), &st) == 0) {
        listener->_device = uint64_t(st.st_dev);
        listener->_inode = uint64_t(st.st_ino);
    }
    listener->start();
    return listener;
}

void HXSocketListener::start()
{
    std::weak_ptr<HXSocketListener> weak = weak_from_this();
    _source = HXRunLoop::main().addFileDescriptor(_fd, HXFileDescriptorReadable, [weak](int, uint32_t) {
        if (auto self = weak.lock())
            self->handleReadable();
    });
}

void HXSocketListener::handleReadable()
{
    auto self = shared_from_this();
    while (_fd >= 0) {
        if (_acceptingPaused || _resting)
            return;
        int fd = ::accept4(_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The connection stays in the backlog; the listening socket stays readable, so asking
                // again at once would spin. Try again when some descriptors may have been given back.
                HXLog("HXSocketListener: accept failed: " + HXError::posix(errno).localizedDescription()
                    + "; trying again shortly");
                _resting = true;
                updateInterest();
                std::weak_ptr<HXSocketListener> weak = weak_from_this();
                HXRunLoop::main().performAfterDelay(this, 0.25,
                    [weak] {
                        if (auto self = weak.lock()) {
                            self->_resting = false;
                            self->updateInterest();
                        }
                    },
                    { HXRunLoopCommonModes });
                return;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                HXLog("HXSocketListener: accept failed: " + HXError::posix(errno).localizedDescription());
            return;
        }
        auto connection = withFileDescriptor(fd);
        if (_allowedPeerUID && !_path.empty()) {
            auto credentials = connection->peerCredentials();
            if (!credentials || credentials->uid != *_allowedPeerUID) {
                HXLog("HXSocketListener: refused a connection on " + _path + " from uid "
                    + (credentials ? std::to_string(credentials->uid) : std::string("unknown")));
                connection->close();
                continue;
            }
        }
        if (auto callback = onAccept)
            callback(std::move(connection));
        else
            connection->close();
    }
}

void HXSocketListener::setAcceptingPaused(bool paused)
{
    if (_acceptingPaused == paused)
        return;
    _acceptingPaused = paused;
    updateInterest();
}

void HXSocketListener::updateInterest()
{
    if (_source)
        HXRunLoop::main().setFileDescriptorEvents(
            _source, _acceptingPaused || _resting ? 0u : uint32_t(HXFileDescriptorReadable));
}

std::shared_ptr<HXSocketConnection> HXSocketListener::withFileDescriptor(int fd) const
{
    return HXSocketConnection::withFileDescriptor(fd, !_path.empty());
}

void HXSocketListener::close()
{
    HXRunLoop::main().cancelPerformRequests(this);
    if (_source) {
        HXRunLoop::main().removeSource(_source);
        _source = 0;
    }
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
        // Remove the socket file only while it is still the one this listener made.
        struct stat st { };
        if (!_path.empty() && ::lstat(_path.c_str(), &st) == 0 && uint64_t(st.st_dev) == _device
            && uint64_t(st.st_ino) == _inode)
            ::unlink(_path.c_str());
    }
    onAccept = nullptr;
}
