#pragma once
// Helpers of the tests that start programs as a user's session would (the profiling runs, the launcher) and
// read the property lists they write with python's plistlib.
#include "test_support.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace movara::test {

// This process's environment without the variables that begin with one of `prefixes`, followed by `extra`.
inline std::vector<std::string> environmentWith(
    const std::vector<std::string>& prefixes, const std::vector<std::string>& extra)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool drop = false;
        for (const auto& prefix : prefixes)
            drop = drop || entry.rfind(prefix, 0) == 0;
        if (!drop)
            env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// One started program; killed and reaped with the object unless it has ended.
class StartedProgram {
public:
    StartedProgram() = default;
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    ~StartedProgram() { stop(SIGKILL); }

    // Starts argv[0] with `env`; its standard error goes to `errors` when that is given.
    void start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
        const std::string& errors = {})
    {
        _pid = fork();
        if (_pid != 0)
            return;
        if (!errors.empty()) {
            int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0)
                dup2(fd, 2);
        }
        std::vector<char*> a, e;
        for (auto& s : argv)
            a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        for (auto& s : env)
            e.push_back(const_cast<char*>(s.c_str()));
        e.push_back(nullptr);
        execve(a[0], a.data(), e.data());
        _exit(127);
    }
    pid_t pid() const { return _pid; }

    // The exit status (128 + the signal for a signal), or -1 when it still runs after `seconds`.
    int waitForExit(double seconds)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(_pid, &status, WNOHANG) == _pid) {
                _pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    void stop(int signal)
    {
        if (_pid <= 0)
            return;
        kill(_pid, signal);
        waitpid(_pid, nullptr, 0);
        _pid = 0;
    }

private:
    pid_t _pid = 0;
};

// An entry of a property list as plistlib gives it: its python type name and its printed value.
struct PlistlibEntry {
    std::string type;
    std::string value;
    double number() const { return value.empty() ? 0 : std::stod(value); }
    bool operator==(const PlistlibEntry&) const = default;
};

// The entries of a property-list file read by plistlib, the entries of nested dictionaries as "key.key".
inline std::map<std::string, PlistlibEntry> readWithPlistlib(const std::string& path)
{
    static const char* dump = R"(
import plistlib, sys
with open(sys.argv[1], 'rb') as f:
    d = plistlib.load(f)
for k, v in sorted(d.items()):
    if isinstance(v, dict):
        for k2, v2 in sorted(v.items()):
            print(k + '.' + k2, type(v2).__name__, v2)
    else:
        print(k, type(v).__name__, v)
)";
    std::map<std::string, PlistlibEntry> entries;
    auto result = runCommand({ "python3", "-c", dump, path });
    if (result.status != 0)
        return entries;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        auto last = line.rfind(' ');
        auto middle = last == std::string::npos || last == 0 ? std::string::npos : line.rfind(' ', last - 1);
        if (middle == std::string::npos)
            continue;
        entries[line.substr(0, middle)]
            = { line.substr(middle + 1, last - middle - 1), line.substr(last + 1) };
    }
    return entries;
}

} // namespace movara::test
