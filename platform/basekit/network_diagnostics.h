#pragma once
// HXNetworkDiagnostics: what the desktop's network service (NetworkManager, on the system D-Bus) says of
// the computer's connection, for telling a user why a movie on the network cannot be reached. Each call
// opens a connection to the system bus of its own (DBUS_SYSTEM_BUS_ADDRESS when set), never starts the
// service, and gives up after a couple of seconds; where no system bus or no service runs, nothing comes
// back.
#include <optional>
#include <string>
#include <vector>

// The computer's connection as the service sees it.
struct HXNetworkStatus {
    // The service's state: 10 asleep, 20 disconnected, 30 disconnecting, 40 connecting, 50 connected to
    // the local network only, 60 connected to a site, 70 connected to the internet (0 unknown).
    long state = 0;
    // What the service last learned of the way to the internet: 1 none, 2 behind a sign-in page
    // (portal), 3 limited, 4 full (0 unknown).
    long connectivity = 0;
    // The name of the connection that carries the traffic ("" when none does).
    std::string primaryConnection;
    // The above in a sentence for the user.
    std::string description;
};

// One network device and its state, for a diagnosis.
struct HXNetworkDevice {
    std::string interface; // "eth0"
    long type = 0; // the service's device type (1 ethernet, 2 Wi-Fi ...)
    long state = 0; // the service's device state (100 activated ...)
    std::string description; // "eth0 (Ethernet): connected"
};

class HXNetworkDiagnostics {
public:
    // The connection as it stands, without testing anything; nothing when the service does not answer.
    static std::optional<HXNetworkStatus> copyNetworkStatusPassively();
    // Has the service test the way to the internet now, then reports the connection and every device;
    // nothing when the service does not answer.
    struct Diagnosis {
        HXNetworkStatus status;
        std::vector<HXNetworkDevice> devices;
        // The whole diagnosis in a few lines for the user.
        std::string report;
    };
    static std::optional<Diagnosis> diagnoseProblem();

    // The sentence for a state and connectivity (`connection` is the primary connection's name).
    static std::string describe(long state, long connectivity, const std::string& connection);
};
