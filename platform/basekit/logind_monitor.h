#pragma once
// HXLogindMonitor: turns the login manager's D-Bus signals into the workspace's notifications.
//
//   Manager "PrepareForSleep" true / false      -> HXWorkspaceWillSleepNotification /
//   HXWorkspaceDidWakeNotification our session's "Active" becomes false / true  ->
//   HXWorkspaceSessionDidResignActiveNotification /
//                                                   HXWorkspaceSessionDidBecomeActiveNotification
//
// The connection is served by the main run loop (its descriptor is a run-loop source), and the notifications
// are posted on a later pass of that loop, on the main thread, in the order the signals came. Signals from
// anyone but the current owner of "org.freedesktop.login1", and signals whose arguments have the wrong types,
// are ignored. Our session is the one named by $XDG_SESSION_ID, or else the session of this process.
//
// Without a bus (containers, CI) start() answers false and nothing ever fires; if the bus goes away later the
// monitor goes quiet. It never ends the process.
#include <memory>
#include <string>

class HXLogindMonitor {
public:
    // `address` is a D-Bus address ("unix:path=..."); empty means the system bus (which honours
    // $DBUS_SYSTEM_BUS_ADDRESS).
    explicit HXLogindMonitor(std::string address = {});
    ~HXLogindMonitor();
    HXLogindMonitor(const HXLogindMonitor&) = delete;
    HXLogindMonitor& operator=(const HXLogindMonitor&) = delete;

    // Connects and starts listening; false (quietly) when there is no bus to connect to. Must be called on
    // the main thread; calling it again while connected does nothing and answers true.
    bool start();
    // Disconnects; nothing fires afterwards. Also done by the destructor.
    void stop();

    bool isConnected() const;
    // The object path of our session once the login manager has named it; empty before or without one.
    std::string sessionPath() const;

    // The monitor of the program, on the system bus, started on first use.
    static HXLogindMonitor& shared();

    struct Connection;

private:
    std::string _address;
    std::unique_ptr<Connection> _connection;
};
