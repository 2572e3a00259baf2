#pragma once
// A program a test starts with an environment of its own (nothing inherited), in a process group of its own:
// whatever it starts in turn is ended with it when the object goes.
#include <string>
#include <sys/types.h>
#include <vector>

namespace movara::test {

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return _pid; }
    // The exit status (128 + the signal when a signal ended it) within `seconds`; -1 when still running.
    int waitForExit(double seconds);

private:
    pid_t _pid = -1;
    bool _exited = false;
    int _status = -1;
};

} // namespace movara::test
