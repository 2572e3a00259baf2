#pragma once
// HXDBusRunLoopSource: serves a libdbus connection from the main run loop. The connection's descriptors
// become run-loop sources, its timeouts delayed performs (in the common modes), and whenever data waits the
// connection is dispatched on a later pass, never from inside libdbus. After each dispatch `afterDispatch`
// runs (it may destroy the source). The source leaves the connection itself alone: drop the source before
// closing and releasing the connection. Main thread only.
#include <functional>
#include <memory>
#include <string>

struct DBusConnection;

// A private connection to the bus at `address` ("unix:path=..."), registered on it, that never ends the
// program when the bus goes away; nullptr when the bus cannot be reached. Close and release it when done.
DBusConnection* HXDBusOpenPrivateConnection(const std::string& address);

class HXDBusRunLoopSource {
public:
    HXDBusRunLoopSource(DBusConnection* connection, std::function<void()> afterDispatch = {});
    ~HXDBusRunLoopSource();
    HXDBusRunLoopSource(const HXDBusRunLoopSource&) = delete;
    HXDBusRunLoopSource& operator=(const HXDBusRunLoopSource&) = delete;

    // Dispatches on the next pass of the run loop (once, however often asked before then).
    void scheduleDispatch();

    struct State;

private:
    std::shared_ptr<State> _state;
};
