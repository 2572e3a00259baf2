#pragma once
// HelperConnection: the worker's end of its connection to the player — a blocking loopback TCP socket
// carrying framed XML property lists (HXMessageFraming), read without blocking while a job works so that
// a cancel from the player is seen promptly.
#include "platform/basekit/message_framing.h"
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

class HelperConnection {
public:
    // Connects to 127.0.0.1:port. Nullptr with `error` set when that fails.
    static std::unique_ptr<HelperConnection> connectToPort(uint16_t port, std::string* error);
    explicit HelperConnection(int fd);
    ~HelperConnection();
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    // Writes one whole frame; false when the player is gone.
    bool send(const HXPropertyList& message);
    // The next message, waiting at most `timeout` seconds (negative: no limit). Nullopt at the end of the
    // stream, on a bad frame or when the time is up.
    std::optional<HXPropertyList> receive(double timeout);
    // Takes in whatever has arrived, without waiting, and notes a cancel or the player's going away.
    void poll();
    // Waits for the player's {"Result": YES} to a resource request (other messages are kept).
    bool waitForResult(double timeout);

    bool cancelRequested() const { return _cancelRequested; }
    // The player closed the connection or sent something unreadable: the job should stop.
    bool playerGone() const { return _playerGone; }
    bool shouldStop() const { return _cancelRequested || _playerGone; }
    int fileDescriptor() const { return _fd; }

private:
    // Reads what is there (waiting up to `timeout` seconds for the first byte); false at end or error.
    bool readSome(double timeout);
    void takeMessages();

    int _fd = -1;
    HXMessageFraming _framing;
    std::deque<HXPropertyList> _messages;
    bool _cancelRequested = false;
    int _resultsReceived = 0; // grants not yet waited for (two may arrive in one read)
    bool _playerGone = false;
};
