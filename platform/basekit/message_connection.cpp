#include "platform/basekit/message_connection.h"

#include "platform/basekit/timer.h"

#include <algorithm>
#include <limits>

namespace {

// A peer that sends and does not read what it is answered is not read from while this much of our
// writing waits for it: its requests wait in the system's buffers instead of our answers in memory.
constexpr size_t kMaximumWaitingWrites = 4u << 20;

} // namespace

std::shared_ptr<HXMessageConnection> HXMessageConnection::withConnection(
    std::shared_ptr<HXSocketConnection> connection)
{
    if (!connection)
        return nullptr;
    auto messageConnection = std::make_shared<HXMessageConnection>(std::move(connection));
    messageConnection->attach();
    return messageConnection;
}

HXMessageConnection::HXMessageConnection(std::shared_ptr<HXSocketConnection> connection)
    : _connection(std::move(connection))
{
}

HXMessageConnection::~HXMessageConnection()
{
    if (_timer)
        _timer->invalidate();
    if (_connection)
        _connection->close();
}

void HXMessageConnection::attach()
{
    HXTimeInterval now = HXRunLoop::main().now();
    _lastReceived = now;
    _lastProgress = now;
    _lastBuffered = _connection->bufferedWriteSize();
    std::weak_ptr<HXMessageConnection> weak = weak_from_this();
    _connection->onData = [weak](std::string_view bytes) {
        if (auto self = weak.lock())
            self->received(bytes);
    };
    _connection->onError = [weak](const HXError& error) {
        if (auto self = weak.lock())
            self->fail(error);
    };
    _connection->onClose = [weak] {
        if (auto self = weak.lock())
            self->peerClosed();
    };
    _connection->onWritten = [weak] {
        if (auto self = weak.lock(); self && self->_connection && !self->_ended) {
            self->_connection->setReadingPaused(false);
            self->deliverMessages(false);
        }
    };
}

bool HXMessageConnection::sendMessage(const HXPropertyList& message, HXError* error)
{
    if (!isOpen()) {
        if (error)
            *error = HXError::withDescription(
                HXBaseKitErrorDomain, HXConnectionClosedError, "The connection is closed.");
        return false;
    }
    // A value with no XML form is refused here rather than sent as a frame the peer cannot read.
    auto xml = message.xmlData(error);
    if (!xml)
        return false;
    if (xml->size() > 0xFFFFFFFFu) {
        if (error)
            *error = HXError::withDescription(
                HXBaseKitErrorDomain, HXMessageFrameError, "The message is too large.");
        return false;
    }
    bool wasIdle = _connection->bufferedWriteSize() == 0;
    _connection->write(HXMessageFraming::frame(*xml));
    if (wasIdle && _connection->bufferedWriteSize() > 0)
        _lastProgress = HXRunLoop::main().now(); // the stall clock starts when writes begin to wait
    return true;
}

void HXMessageConnection::close()
{
    _ended = true;
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
    if (_connection)
        _connection->close();
    onMessage = nullptr;
    onError = nullptr;
    onClose = nullptr;
}

void HXMessageConnection::closeAfterWriting()
{
    _ended = true;
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
    if (_connection)
        _connection->closeAfterWriting();
}

void HXMessageConnection::received(std::string_view bytes)
{
    auto self = shared_from_this();
    HXTimeInterval now = HXRunLoop::main().now();
    _lastReceived = now;
    _lastProgress = now;
    bool fed = _framing.feed(bytes);
    // Whole messages that came before a bad frame are still the peer's: they are handled (and answered)
    // before the bad frame ends the connection.
    deliverMessages(!fed);
    if (!fed)
        fail(_framing.error());
}

bool HXMessageConnection::writesWaitTooLong() const
{
    return _connection && _connection->bufferedWriteSize() > kMaximumWaitingWrites;
}

void HXMessageConnection::deliverMessages(bool all)
{
    while (!_ended && _framing.hasMessage()) {
        if (!all && writesWaitTooLong()) {
            // The rest waits until the peer has taken our answers (onWritten).
            _connection->setReadingPaused(true);
            return;
        }
        auto message = _framing.nextMessage();
        if (auto callback = onMessage)
            callback(*message);
    }
    if (!_ended && !all && writesWaitTooLong())
        _connection->setReadingPaused(true);
}

void HXMessageConnection::peerClosed()
{
    if (_ended)
        return;
    auto self = shared_from_this();
    if (!_framing.finish()) {
        fail(_framing.error());
        return;
    }
    _ended = true;
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
    auto closeCallback = onClose;
    onMessage = nullptr;
    onError = nullptr;
    onClose = nullptr;
    if (closeCallback)
        closeCallback();
}

void HXMessageConnection::fail(const HXError& error)
{
    if (_ended)
        return;
    auto self = shared_from_this();
    _ended = true;
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
    auto errorCallback = onError;
    auto closeCallback = onClose;
    onMessage = nullptr;
    onError = nullptr;
    onClose = nullptr;
    if (_connection)
        _connection->close();
    if (errorCallback)
        errorCallback(error);
    if (closeCallback)
        closeCallback();
}

void HXMessageConnection::setIdleTimeout(HXTimeInterval seconds)
{
    _idleTimeout = std::max(0.0, seconds);
    _lastReceived = HXRunLoop::main().now();
    rearmTimer();
}

void HXMessageConnection::setStallTimeout(HXTimeInterval seconds)
{
    _stallTimeout = std::max(0.0, seconds);
    _lastProgress = HXRunLoop::main().now();
    rearmTimer();
}

void HXMessageConnection::rearmTimer()
{
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
    if (_ended || (_idleTimeout <= 0 && _stallTimeout <= 0))
        return;
    std::weak_ptr<HXMessageConnection> weak = weak_from_this();
    _timer = HXTimer::timer(nextDeadline(), 0, false, [weak](HXTimer&) {
        if (auto self = weak.lock())
            self->checkTimeouts();
    });
    HXRunLoop::main().addTimer(_timer, HXRunLoopCommonModes);
}

HXTimeInterval HXMessageConnection::nextDeadline() const
{
    HXTimeInterval now = HXRunLoop::main().now();
    HXTimeInterval deadline = std::numeric_limits<HXTimeInterval>::infinity();
    if (_idleTimeout > 0)
        deadline = std::min(deadline, _lastReceived + _idleTimeout);
    if (_stallTimeout > 0) {
        bool waiting = _framing.bufferedSize() > 0 || (_connection && _connection->bufferedWriteSize() > 0);
        // Not waiting now: look again after a stall time-out; a stall that begins meanwhile ends later.
        deadline = std::min(deadline, waiting ? _lastProgress + _stallTimeout : now + _stallTimeout);
    }
    return deadline;
}

void HXMessageConnection::checkTimeouts()
{
    if (_ended || !isOpen())
        return;
    auto self = shared_from_this();
    HXTimeInterval now = HXRunLoop::main().now();
    size_t buffered = _connection->bufferedWriteSize();
    if (buffered < _lastBuffered)
        _lastProgress = now; // the peer took some of our bytes
    _lastBuffered = buffered;
    if (_idleTimeout > 0 && now - _lastReceived >= _idleTimeout) {
        fail(HXError::withDescription(HXBaseKitErrorDomain, HXTimeoutError,
            "The peer sent nothing for " + std::to_string(int(_idleTimeout * 1000)) + " ms."));
        return;
    }
    bool waiting = _framing.bufferedSize() > 0 || buffered > 0;
    if (_stallTimeout > 0 && waiting && now - _lastProgress >= _stallTimeout) {
        fail(HXError::withDescription(HXBaseKitErrorDomain, HXTimeoutError,
            "The peer stalled in the middle of a message for " + std::to_string(int(_stallTimeout * 1000))
                + " ms."));
        return;
    }
    // Still alive: the one-shot timer is moved to the next deadline instead of ending.
    if (_timer)
        _timer->setFireDate(std::max(nextDeadline(), now + 0.001));
}
