#include "platform/basekit/task.h"

#include "platform/basekit/error.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/timer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Where the child failed before it became the new program; sent up the status pipe with errno.
enum ChildStage : int { StageChdir = 1, StageExec = 2, StageDescriptors = 3 };

struct ChildFailure {
    int stage = 0;
    int error = 0;
};

[[noreturn]] void childFail(int statusFd, int stage)
{
    ChildFailure failure { stage, errno };
    ssize_t n = ::write(statusFd, &failure, sizeof failure);
    (void)n;
    _exit(127);
}

// Closes every descriptor from `low` to `high` (inclusive) in the child.
void closeRange(int low, int high, int fallbackLimit)
{
    if (low > high)
        return;
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, unsigned(low), unsigned(high), 0u) == 0)
        return;
#endif
    for (int fd = low; fd <= std::min(high, fallbackLimit); ++fd)
        ::close(fd);
}

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

HXError launchError(int err, const std::string& what, const std::string& path)
{
    HXError error = HXError::posix(err, path);
    error.userInfo()[HXLocalizedDescriptionKey]
        = HXPropertyList(what + " \"" + path + "\": " + std::strerror(err));
    return error;
}

} // namespace

HXTask::HXTask() = default;

HXTask::~HXTask()
{
    // Only reached when nobody holds the task while its child runs (the loop keeps a running task alive
    // otherwise): stop watching; the child itself is left alone.
    HXRunLoop& loop = HXRunLoop::main();
    if (_pidSource)
        loop.removeSource(_pidSource);
    if (_pidfd >= 0)
        ::close(_pidfd);
    if (_pollTimer)
        _pollTimer->invalidate();
    closePipe(_outputFd, _outputSource);
    closePipe(_errorFd, _errorSource);
}

bool HXTask::launch(HXError* error)
{
    auto failWith = [&](const HXError& e) {
        if (error)
            *error = e;
        return false;
    };
    if (_launched)
        return failWith(
            HXError::withDescription(HXPOSIXErrorDomain, EALREADY, "The task was launched already."));
    if (_launchPath.empty())
        return failWith(launchError(ENOENT, "Cannot launch", _launchPath));
    for (int fd : _inheritedFileDescriptors) {
        if (fd < 3 || ::fcntl(fd, F_GETFD) < 0)
            return failWith(
                launchError(EBADF, "Cannot hand descriptor " + std::to_string(fd) + " to", _launchPath));
    }

    // Everything the child needs is prepared here: between fork and exec it may only make system calls.
    std::vector<std::string> argStrings;
    argStrings.push_back(_launchPath);
    argStrings.insert(argStrings.end(), _arguments.begin(), _arguments.end());
    std::vector<char*> argv;
    for (auto& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    if (_environment) {
        for (const auto& [key, value] : *_environment)
            envStrings.push_back(key + "=" + value);
    } else {
        for (char** e = environ; e && *e; ++e)
            envStrings.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    int devNull = -1;
    bool wantsNull = _standardInput != HXTaskStream::Inherit || _standardOutput == HXTaskStream::Null
        || _standardError == HXTaskStream::Null;
    if (wantsNull) {
        devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (devNull < 0)
            return failWith(HXError::posix(errno, "/dev/null"));
    }
    int outPipe[2] = { -1, -1 };
    int errPipe[2] = { -1, -1 };
    int statusPipe[2] = { -1, -1 };
    auto closeAll = [&] {
        for (int fd :
            { devNull, outPipe[0], outPipe[1], errPipe[0], errPipe[1], statusPipe[0], statusPipe[1] }) {
            if (fd >= 0)
                ::close(fd);
        }
    };
    if ((_standardOutput == HXTaskStream::Pipe && ::pipe2(outPipe, O_CLOEXEC) != 0)
        || (_standardError == HXTaskStream::Pipe && ::pipe2(errPipe, O_CLOEXEC) != 0)
        || ::pipe2(statusPipe, O_CLOEXEC) != 0) {
        int err = errno;
        closeAll();
        return failWith(HXError::posix(err, "pipe"));
    }

    std::vector<int> keep = _inheritedFileDescriptors;
    keep.push_back(statusPipe[1]);
    std::sort(keep.begin(), keep.end());
    keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
    rlimit limit {};
    int fallbackLimit = 65535;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        fallbackLimit = int(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) - 1;
    const char* cwd = _currentDirectoryPath.empty() ? nullptr : _currentDirectoryPath.c_str();
    const char* path = _launchPath.c_str();
    int inFd = _standardInput == HXTaskStream::Inherit ? -1 : devNull;
    int outFd = _standardOutput == HXTaskStream::Pipe ? outPipe[1]
        : _standardOutput == HXTaskStream::Null       ? devNull
                                                      : -1;
    int errFd = _standardError == HXTaskStream::Pipe ? errPipe[1]
        : _standardError == HXTaskStream::Null       ? devNull
                                                     : -1;

    pid_t pid = ::fork();
    if (pid < 0) {
        int err = errno;
        closeAll();
        return failWith(launchError(err, "Cannot start", _launchPath));
    }
    if (pid == 0) {
        // The child: default signal handling and mask (the parent may ignore SIGPIPE, for one).
        for (int sig = 1; sig < NSIG; ++sig) {
            if (sig != SIGKILL && sig != SIGSTOP)
                ::signal(sig, SIG_DFL);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        int status = statusPipe[1];
        if ((inFd >= 0 && ::dup2(inFd, 0) < 0) || (outFd >= 0 && ::dup2(outFd, 1) < 0)
            || (errFd >= 0 && ::dup2(errFd, 2) < 0))
            childFail(status, StageDescriptors);
        for (int fd : _inheritedFileDescriptors) {
            if (::fcntl(fd, F_SETFD, 0) < 0)
                childFail(status, StageDescriptors);
        }
        int low = 3;
        for (int fd : keep) {
            closeRange(low, fd - 1, fallbackLimit);
            low = fd + 1;
        }
        closeRange(low, INT32_MAX, fallbackLimit);
        if (cwd && ::chdir(cwd) != 0)
            childFail(status, StageChdir);
        ::execve(path, argv.data(), envp.data());
        childFail(status, StageExec);
    }

    // The parent.
    ::close(statusPipe[1]);
    statusPipe[1] = -1;
    for (int* fd : { &outPipe[1], &errPipe[1], &devNull }) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    ChildFailure failure;
    ssize_t n;
    do {
        n = ::read(statusPipe[0], &failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    ::close(statusPipe[0]);
    statusPipe[0] = -1;
    if (n > 0) {
        // Exec never happened: reap the child (it exits at once) and report why, as a launch failure.
        int ignored = 0;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) { }
        closeAll();
        if (failure.stage == StageChdir)
            return failWith(
                launchError(failure.error, "Cannot enter the working folder", _currentDirectoryPath));
        if (failure.stage == StageDescriptors)
            return failWith(launchError(failure.error, "Cannot set up the descriptors of", _launchPath));
        return failWith(launchError(failure.error, "Cannot launch", _launchPath));
    }

    _launched = true;
    _running = true;
    _pid = pid;
    _keepAlive = weak_from_this().lock();
    HXRunLoop& loop = HXRunLoop::main();
    _outputFd = outPipe[0];
    _errorFd = errPipe[0];
    for (int fd : { _outputFd, _errorFd }) {
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    if (_outputFd >= 0)
        _outputSource = loop.addFileDescriptor(
            _outputFd, HXFileDescriptorReadable, [this](int, uint32_t) { drainPipes(); });
    if (_errorFd >= 0)
        _errorSource = loop.addFileDescriptor(
            _errorFd, HXFileDescriptorReadable, [this](int, uint32_t) { drainPipes(); });

    _pidfd = openPidfd(pid);
    if (_pidfd >= 0) {
        _pidSource = loop.addFileDescriptor(
            _pidfd, HXFileDescriptorReadable, [this](int, uint32_t) { childDidExit(); });
    } else {
        _pollTimer = HXTimer::timer(0.05, true, [this](HXTimer&) { childDidExit(); });
        loop.addTimer(_pollTimer, HXRunLoopCommonModes);
    }
    return true;
}

void HXTask::childDidExit()
{
    if (!_running)
        return;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(_pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return; // still running (a spurious wake-up)
    if (r < 0) {
        // Someone else reaped it (SIGCHLD ignored, or a stray waitpid(-1)): the status is lost.
        HXLog("HXTask: the status of process " + std::to_string(_pid) + " was lost: " + std::strerror(errno));
        _terminationReason = HXTaskTerminationReason::Exit;
        _terminationStatus = 255;
    } else if (WIFSIGNALED(status)) {
        _terminationReason = HXTaskTerminationReason::UncaughtSignal;
        _terminationStatus = WTERMSIG(status);
    } else {
        _terminationReason = HXTaskTerminationReason::Exit;
        _terminationStatus = WEXITSTATUS(status);
    }
    finish();
}

void HXTask::finish()
{
    HXRunLoop& loop = HXRunLoop::main();
    if (_pidSource) {
        loop.removeSource(_pidSource);
        _pidSource = 0;
    }
    if (_pidfd >= 0) {
        ::close(_pidfd);
        _pidfd = -1;
    }
    if (_pollTimer) {
        _pollTimer->invalidate();
        _pollTimer.reset();
    }
    // What the child wrote before it ended is in the pipes now; a grandchild that keeps them open does not
    // hold the end of the task back.
    drainPipes();
    closePipe(_outputFd, _outputSource);
    closePipe(_errorFd, _errorSource);
    _running = false;
    _terminated = true;

    std::shared_ptr<HXTask> self = std::move(_keepAlive);
    if (_terminationHandler) {
        auto handler = _terminationHandler;
        handler(*this);
    }
    if (self)
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(HXTaskDidTerminateNotification, self));
    else
        HXNotificationCenter::defaultCenter().postNotificationName(HXTaskDidTerminateNotification, this);
}

void HXTask::drainPipes()
{
    struct Stream {
        int& fd;
        HXRunLoopSourceID& source;
        std::string& data;
    };
    for (Stream s : { Stream { _outputFd, _outputSource, _standardOutputData },
             Stream { _errorFd, _errorSource, _standardErrorData } }) {
        if (s.fd < 0)
            continue;
        char buffer[16384];
        for (;;) {
            ssize_t n = ::read(s.fd, buffer, sizeof buffer);
            if (n > 0) {
                s.data.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                closePipe(s.fd, s.source); // the end, or an error: nothing more will come
            break;
        }
    }
}

void HXTask::closePipe(int& fd, HXRunLoopSourceID& source)
{
    if (source) {
        HXRunLoop::main().removeSource(source);
        source = 0;
    }
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void HXTask::terminate()
{
    if (_running)
        ::kill(_pid, SIGTERM); // not reaped yet, so the pid cannot belong to another process
}

void HXTask::kill()
{
    if (_running)
        ::kill(_pid, SIGKILL);
}

void HXTask::interrupt()
{
    if (_running)
        ::kill(_pid, SIGINT);
}

bool HXTask::waitUntilExit(double timeout)
{
    if (!_launched)
        return false;
    HXMonotonicClock realClock;
    double deadline = timeout < 0 ? -1 : realClock.now() + timeout;
    auto self = weak_from_this().lock();
    while (!_terminated) {
        double slice = 3600;
        if (deadline >= 0) {
            slice = deadline - realClock.now();
            if (slice <= 0)
                return false;
        }
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, std::min(slice, 0.25), true);
    }
    return true;
}
