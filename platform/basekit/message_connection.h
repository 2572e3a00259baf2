#pragma once
// HXMessageConnection: property-list messages over an HXSocketConnection, in HXMessageFraming frames.
//
// A bad frame from the peer (oversized, not a property list, cut short by the end of the stream) ends the
// connection with an HXMessageFrameError; the whole messages before it are handled first. While more
// than a few megabytes of our messages wait for a peer that does not read them, its further messages wait
// (and it is not read from) until it has read them. Optional time-outs end it with an HXTimeoutError: the
// idle time-out when nothing at all arrives for that long, the stall time-out when a frame has started to
// arrive (or our own writes wait) and no byte has moved for that long. A connection that ended calls onError
// (when it failed) and then onClose, once; close() from our side calls neither.
#include "platform/basekit/message_framing.h"
#include "platform/basekit/socket.h"

#include <functional>
#include <memory>

class HXTimer;

class HXMessageConnection : public std::enable_shared_from_this<HXMessageConnection> {
public:
    // Takes over the connection's callbacks.
    static std::shared_ptr<HXMessageConnection> withConnection(
        std::shared_ptr<HXSocketConnection> connection);
    ~HXMessageConnection();
    HXMessageConnection(const HXMessageConnection&) = delete;
    HXMessageConnection& operator=(const HXMessageConnection&) = delete;

    std::function<void(const HXPropertyList& message)> onMessage;
    std::function<void(const HXError& error)> onError;
    std::function<void()> onClose;

    // Queues one message. False, with `error` set, when the connection is closed
    // (HXConnectionClosedError) or the message has no XML form (HXPropertyListWriteInvalidError).
    bool sendMessage(const HXPropertyList& message, HXError* error = nullptr);
    void close();
    void closeAfterWriting();
    bool isOpen() const { return _connection && _connection->isOpen(); }

    void setMaximumFrameSize(size_t size) { _framing.setMaximumFrameSize(size); }
    size_t maximumFrameSize() const { return _framing.maximumFrameSize(); }
    // Seconds; 0 switches the time-out off (the default for both).
    void setIdleTimeout(HXTimeInterval seconds);
    HXTimeInterval idleTimeout() const { return _idleTimeout; }
    // Between messages both ways: nothing half received, nothing waiting to be handled or written.
    bool isBetweenMessages() const
    {
        return _framing.bufferedSize() == 0 && !_framing.hasMessage()
            && (!_connection || _connection->bufferedWriteSize() == 0);
    }
    // When the peer last sent something (run-loop time).
    HXTimeInterval lastReceived() const { return _lastReceived; }
    void setStallTimeout(HXTimeInterval seconds);

    HXSocketConnection* connection() const { return _connection.get(); }

    // Use withConnection.
    explicit HXMessageConnection(std::shared_ptr<HXSocketConnection> connection);

private:
    void attach();
    void received(std::string_view bytes);
    // Hands the whole messages received to onMessage: all of them, or (`all` false) as long as the peer
    // takes what we write.
    void deliverMessages(bool all);
    bool writesWaitTooLong() const;
    void peerClosed();
    void fail(const HXError& error);
    void rearmTimer();
    void checkTimeouts();
    HXTimeInterval nextDeadline() const;

    std::shared_ptr<HXSocketConnection> _connection;
    HXMessageFraming _framing;
    HXTimeInterval _idleTimeout = 0;
    HXTimeInterval _stallTimeout = 0;
    HXTimeInterval _lastReceived = 0;
    HXTimeInterval _lastProgress = 0;
    size_t _lastBuffered = 0;
    std::shared_ptr<HXTimer> _timer;
    bool _ended = false;
};
