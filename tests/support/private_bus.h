#pragma once
// A D-Bus daemon of a test's own, listening on a socket in a temporary folder: the machine's buses are never
// touched. Anyone may own any name and send anything on it.
#include "test_support.h"

#include <string>
#include <sys/types.h>

namespace movara::test {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus() { kill(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The address to connect to; empty when the daemon could not be started.
    const std::string& address() const { return _address; }
    void kill();

private:
    TempDir _dir;
    pid_t _pid = -1;
    std::string _address;
};

} // namespace movara::test
