#pragma once
// HXAccessibilityBridge: the accessibility model on the desktop's accessibility bus, so that screen readers
// and other assistive software see the program's windows and controls (AT-SPI 2 over D-Bus).
//
// The bus is found the desktop's way: $AT_SPI_BUS_ADDRESS, else the address the session bus's accessibility
// service gives (org.a11y.Bus.GetAddress). On it the program embeds its application object in the registry's
// desktop and answers, for the application and every element of the model, the interfaces org.a11y.atspi.
// Accessible, Component, Action, Value and Application (with the Properties interface of D-Bus): roles,
// names, states, values, actions and their invocation, positions. Value, title, focus and window changes go
// out as the protocol's events.
//
// Every element gets a path of its own (/org/a11y/atspi/accessible/<number>) for as long as it lives; the
// application is /org/a11y/atspi/accessible/root. Requests are served on the main run loop; actions run on a
// later pass, after the reply has gone, so a control that opens a modal window never leaves a client waiting.
// Without a bus (no session, $NO_AT_BRIDGE=1) nothing happens and the program runs as before.
#include <memory>
#include <string>

class HXObject;

class HXAccessibilityBridge {
public:
    HXAccessibilityBridge();
    ~HXAccessibilityBridge();
    HXAccessibilityBridge(const HXAccessibilityBridge&) = delete;
    HXAccessibilityBridge& operator=(const HXAccessibilityBridge&) = delete;

    // The program's bridge (started by the application when it runs on a display).
    static HXAccessibilityBridge& shared();

    // Looks for the accessibility bus and joins it when found; the session bus is asked without waiting for
    // its answer. False when there is nowhere to look. Calling it again while started does nothing.
    bool start();
    // Joins the accessibility bus at `address` at once; false when it cannot be reached.
    bool startWithAddress(const std::string& address);
    // Leaves the bus.
    void stop();

    bool isConnected() const;
    // The program's name on the accessibility bus; empty when not connected.
    std::string uniqueName() const;
    // The object path of `element` (it is given one when it has none yet).
    std::string pathForElement(const std::shared_ptr<HXObject>& element);

    struct Connection;
    struct Lookup;

private:
    std::unique_ptr<Connection> _connection;
    std::unique_ptr<Lookup> _lookup;
};
