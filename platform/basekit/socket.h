#pragma once
// Stream sockets served by the main run loop: HXSocketListener accepts, HXSocketConnection reads and writes.
//
// TCP is offered on the loopback address 127.0.0.1 only; Unix-domain sockets take a path. Descriptors are
// non-blocking: a peer that stalls or disappears never blocks the main thread. Writes are buffered and never
// raise SIGPIPE. Callbacks run on the main thread; a callback may close or drop the object that called it.
#include "platform/basekit/error.h"
#include "platform/basekit/run_loop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The identity of the process at the other end of a Unix-domain socket (as of its connect).
struct HXPeerCredentials {
    int pid = 0;
    unsigned uid = 0;
    unsigned gid = 0;
};

class HXSocketConnection : public std::enable_shared_from_this<HXSocketConnection> {
public:
    // Connects to 127.0.0.1:port, or to the Unix socket at `path`. Nullptr with `error` when it fails at once
    // (refused, no such socket); a failure found later arrives through onError.
    static std::shared_ptr<HXSocketConnection> connectToLocalPort(uint16_t port, HXError* error = nullptr);
    static std::shared_ptr<HXSocketConnection> connectToPath(
        const std::string& path, HXError* error = nullptr);
    // Takes ownership of a connected stream socket (made non-blocking here).
    static std::shared_ptr<HXSocketConnection> withFileDescriptor(int fd, bool isUnixDomain = false);

    ~HXSocketConnection();
    HXSocketConnection(const HXSocketConnection&) = delete;
    HXSocketConnection& operator=(const HXSocketConnection&) = delete;

    // Bytes as they arrive.
    std::function<void(std::string_view bytes)> onData;
    // A failure of the connection (reset, refused, write error); onClose follows.
    std::function<void(const HXError& error)> onError;
    // The connection ended without close() being called: the peer closed it or it failed. Called once.
    std::function<void()> onClose;
    // Every buffered byte has been handed to the system.
    std::function<void()> onWritten;

    // Queues `bytes` and writes what the socket takes now; the rest goes out as the peer reads. False when
    // the connection is closed.
    bool write(std::string_view bytes);
    size_t bufferedWriteSize() const { return _writeBuffer.size() - _writeOffset; }
    // Closes at once; buffered bytes not yet written are dropped. No callback is called.
    void close();
    // Closes once every buffered byte has been written (or the connection failed).
    void closeAfterWriting();
    bool isOpen() const { return _fd >= 0; }
    bool isConnected() const { return _fd >= 0 && _connected; }

    int fileDescriptor() const { return _fd; }
    bool isUnixDomain() const { return _unixDomain; }
    // Unix-domain sockets only.
    std::optional<HXPeerCredentials> peerCredentials() const;
    // TCP only: the ports of both ends (0 when unknown).
    uint16_t localPort() const;
    uint16_t remotePort() const;

    // Pauses and resumes reading (the peer's writes then wait in the system's buffers).
    void setReadingPaused(bool paused);

    // Use the static constructors.
    HXSocketConnection(int fd, bool unixDomain, bool connected);

private:
    void start();
    void handleEvents(uint32_t events);
    void handleReadable();
    void handleWritable();
    void fail(const HXError& error);
    void ended();
    void updateInterest();

    int _fd = -1;
    bool _unixDomain = false;
    bool _connected = false;
    bool _readingPaused = false;
    bool _closeAfterWriting = false;
    HXRunLoopSourceID _source = 0;
    std::string _writeBuffer;
    size_t _writeOffset = 0;
};

class HXSocketListener : public std::enable_shared_from_this<HXSocketListener> {
public:
    // Listens on 127.0.0.1:port (0: a free port, see port()).
    static std::shared_ptr<HXSocketListener> listenOnLocalPort(
        uint16_t port = 0, int backlog = 16, HXError* error = nullptr);
    // Listens on a Unix socket at `path` (mode 0600). A stale socket left there by a dead listener is
    // replaced; a live listener or any other kind of file at the path is an error and is left alone.
    static std::shared_ptr<HXSocketListener> listenOnPath(
        const std::string& path, int backlog = 16, HXError* error = nullptr);

    ~HXSocketListener();
    HXSocketListener(const HXSocketListener&) = delete;
    HXSocketListener& operator=(const HXSocketListener&) = delete;

    // Each accepted connection; without a handler connections are closed at once.
    std::function<void(std::shared_ptr<HXSocketConnection> connection)> onAccept;

    uint16_t port() const { return _port; }
    const std::string& path() const { return _path; }
    int fileDescriptor() const { return _fd; }
    bool isOpen() const { return _fd >= 0; }
    // Stops listening; a Unix socket's file is removed (when it is still the one this listener made).
    void close();

    // While paused, connections wait in the system's backlog (their connect blocks or fails with EAGAIN
    // once it is full) instead of being accepted.
    void setAcceptingPaused(bool paused);
    bool isAcceptingPaused() const { return _acceptingPaused; }

    // Unix sockets: accept only peers running as this user id (others are closed at once and logged).
    void setAllowedPeerUID(std::optional<unsigned> uid) { _allowedPeerUID = uid; }
    std::optional<unsigned> allowedPeerUID() const { return _allowedPeerUID; }

    // Use the static constructors.
    HXSocketListener(int fd, uint16_t port, std::string path);

private:
    void start();
    void handleReadable();
    void updateInterest();
    std::shared_ptr<HXSocketConnection> withFileDescriptor(int fd) const;

    int _fd = -1;
    uint16_t _port = 0;
    std::string _path;
    uint64_t _device = 0;
    uint64_t _inode = 0;
    std::optional<unsigned> _allowedPeerUID;
    HXRunLoopSourceID _source = 0;
    bool _acceptingPaused = false;
    // Out of descriptors: accepting rests a moment rather than failing again on every pass.
    bool _resting = false;
};
