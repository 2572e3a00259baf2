#include "child_process.h"

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace movara::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    _pid = fork();
    if (_pid == 0) {
        setpgid(0, 0);
        std::vector<char*> a, e;
        for (auto& s : argv)
            a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        for (auto& s : environment)
            e.push_back(const_cast<char*>(s.c_str()));
        e.push_back(nullptr);
        execve(a[0], a.data(), e.data());
        _exit(127);
    }
    if (_pid > 0)
        setpgid(_pid, _pid);
}

ChildProcess::~ChildProcess()
{
    if (_pid <= 0)
        return;
    kill(-_pid, SIGTERM);
    if (waitForExit(10) < 0) {
        kill(-_pid, SIGKILL);
        waitForExit(10);
    }
    // Whatever the group still holds (daemons the child started) goes too.
    kill(-_pid, SIGKILL);
}

int ChildProcess::waitForExit(double seconds)
{
    if (_exited)
        return _status;
    if (_pid <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        int status = 0;
        if (waitpid(_pid, &status, WNOHANG) == _pid) {
            _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            _exited = true;
            return _status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

} // namespace movara::test
