#include "private_bus.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace movara::test {

PrivateBus::PrivateBus()
{
    auto config = _dir / "bus.conf";
    writeFile(config,
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
            + (_dir / "bus").string()
            + "</listen>\n  <auth>EXTERNAL</auth>\n"
              "  <policy context=\"default\">\n    <allow send_destination=\"*\"/>\n"
              "    <allow receive_sender=\"*\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n");
    int out[2];
    if (::pipe(out) != 0)
        return;
    _pid = ::fork();
    if (_pid == 0) {
        ::dup2(out[1], 1);
        // The daemon's complaints (fd limits, rejected messages) go to a log beside its socket.
        if (int log = ::open((_dir / "bus.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600); log >= 0)
            ::dup2(log, 2);
        ::close(out[0]);
        ::close(out[1]);
        std::string configArg = "--config-file=" + config.string();
        ::execlp("dbus-daemon", "dbus-daemon", "--nofork", "--nopidfile", configArg.c_str(),
            "--print-address=1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char buffer[512];
    while (_address.find('\n') == std::string::npos) {
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        _address.append(buffer, size_t(n));
    }
    ::close(out[0]);
    if (auto end = _address.find('\n'); end != std::string::npos)
        _address.resize(end);
    else
        _address.clear();
}

void PrivateBus::kill()
{
    if (_pid > 0) {
        ::kill(_pid, SIGTERM);
        ::waitpid(_pid, nullptr, 0);
        _pid = -1;
    }
}

} // namespace movara::test
