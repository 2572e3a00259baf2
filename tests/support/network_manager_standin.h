#pragma once
// A stand-in for the desktop's network service on a test's private bus: it owns the service's name and
// answers the calls of its interface that the player makes (the manager's state, connectivity, primary
// connection and devices, the properties of those, and a connectivity check), from a thread of its own.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct DBusConnection;
struct DBusMessage;

namespace movara::test {

class NetworkManagerStandIn {
public:
    struct Device {
        std::string interface;
        uint32_t type = 1;
        uint32_t state = 100;
    };

    explicit NetworkManagerStandIn(const std::string& busAddress);
    ~NetworkManagerStandIn();
    NetworkManagerStandIn(const NetworkManagerStandIn&) = delete;
    NetworkManagerStandIn& operator=(const NetworkManagerStandIn&) = delete;

    // True once the name is ours and calls are answered.
    bool ready() const { return _ready; }
    void setState(uint32_t state, uint32_t connectivity, const std::string& primaryConnection);
    // The connectivity a check finds (the state follows: 70 for full, 60 otherwise).
    void setConnectivityAfterCheck(uint32_t connectivity);
    void setDevices(std::vector<Device> devices);
    int checks() const { return _checks; }

private:
    void serve();
    DBusMessage* answer(DBusMessage* call);

    DBusConnection* _bus = nullptr;
    std::thread _thread;
    std::atomic<bool> _stop { false };
    std::atomic<bool> _ready { false };
    std::atomic<int> _checks { 0 };
    std::mutex _mutex;
    uint32_t _state = 70, _connectivity = 4, _afterCheck = 4;
    std::string _primary;
    std::vector<Device> _devices;
};

} // namespace movara::test
