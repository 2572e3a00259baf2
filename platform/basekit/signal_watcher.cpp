#include "platform/basekit/signal_watcher.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's write end, read by the signal handler.
volatile sig_atomic_t gWriteFD = -1;

struct WatcherState {
    int readFD = -1;
    int writeFD = -1;
    HXRunLoopSourceID source = 0;
    std::vector<int> signals;
    HXSignalWatcher::Callback callback;
};

WatcherState& state()
{
    static WatcherState s;
    return s;
}

extern "C" void notePendingSignal(int number)
{
    int saved = errno;
    int fd = gWriteFD;
    if (fd >= 0) {
        unsigned char byte = static_cast<unsigned char>(number);
        // A full pipe drops the byte: the same signals are already waiting to be served.
        [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
    }
    errno = saved;
}

void drain(int fd)
{
    unsigned char bytes[64];
    for (;;) {
        ssize_t n = read(fd, bytes, sizeof bytes);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            // The callback may stop the watcher: take a copy before calling it.
            auto callback = state().callback;
            if (callback)
                callback(int(bytes[i]));
        }
    }
}

} // namespace

bool HXSignalWatcher::start(const std::vector<int>& signals, Callback callback)
{
    stop();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto& s = state();
    s.readFD = fds[0];
    s.writeFD = fds[1];
    s.callback = std::move(callback);
    s.signals = signals;
    gWriteFD = fds[1];
    s.source = HXRunLoop::main().addFileDescriptor(
        s.readFD, HXFileDescriptorReadable, [](int fd, uint32_t) { drain(fd); }, { HXRunLoopCommonModes });
    struct sigaction action { };
    action.sa_handler = notePendingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : signals)
        sigaction(number, &action, nullptr);
    return true;
}

void HXSignalWatcher::stop()
{
    auto& s = state();
    if (s.readFD < 0)
        return;
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : s.signals)
        sigaction(number, &action, nullptr);
    gWriteFD = -1;
    HXRunLoop::main().removeSource(s.source);
    close(s.readFD);
    close(s.writeFD);
    s = WatcherState {};
}

bool HXSignalWatcher::isWatching()
{
    return state().readFD >= 0;
}
