#pragma once
// HXTask: a child process started with fork and exec.
//
// The child gets the launch path (never searched on PATH), the arguments, the environment (the parent's
// unless set), the working folder, its standard streams and any descriptors handed over with
// addInheritedFileDescriptor; every other descriptor is closed in it. A launch whose exec fails returns an
// error and never looks like a child that ran and exited.
//
// The child's end is noticed by a source of the main run loop (a pidfd), which reaps it without blocking,
// then calls the termination handler and posts "HXTaskDidTerminateNotification" (object: the task) on the
// default centre. While the child runs the loop keeps the task alive.
#include "platform/basekit/run_loop.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXError;

inline constexpr const char* HXTaskDidTerminateNotification = "HXTaskDidTerminateNotification";

enum class HXTaskTerminationReason {
    Exit = 1, // the child called exit; terminationStatus() is its exit status
    UncaughtSignal = 2, // a signal ended it; terminationStatus() is the signal number
};

// Where a standard stream of the child goes.
enum class HXTaskStream {
    Inherit, // the parent's
    Null, // /dev/null
    Pipe, // a pipe read by the run loop while the child runs (output only); see standardOutputData()
};

class HXTask : public std::enable_shared_from_this<HXTask> {
public:
    static std::shared_ptr<HXTask> task() { return std::make_shared<HXTask>(); }
    HXTask();
    ~HXTask();
    HXTask(const HXTask&) = delete;
    HXTask& operator=(const HXTask&) = delete;

    void setLaunchPath(const std::string& path) { _launchPath = path; }
    const std::string& launchPath() const { return _launchPath; }
    // The arguments after argv[0] (which is the launch path).
    void setArguments(std::vector<std::string> arguments) { _arguments = std::move(arguments); }
    const std::vector<std::string>& arguments() const { return _arguments; }
    // The child's whole environment; unset, the child inherits the parent's.
    void setEnvironment(std::map<std::string, std::string> environment)
    {
        _environment = std::move(environment);
    }
    const std::optional<std::map<std::string, std::string>>& environment() const { return _environment; }
    void setCurrentDirectoryPath(const std::string& path) { _currentDirectoryPath = path; }
    const std::string& currentDirectoryPath() const { return _currentDirectoryPath; }
    // Keeps the parent's descriptor `fd` open in the child under the same number (e.g. one end of a pipe that
    // hands a secret over without putting it on the command line).
    void addInheritedFileDescriptor(int fd) { _inheritedFileDescriptors.push_back(fd); }

    void setStandardInput(HXTaskStream stream) { _standardInput = stream; } // Pipe is taken as Null
    void setStandardOutput(HXTaskStream stream) { _standardOutput = stream; }
    void setStandardError(HXTaskStream stream) { _standardError = stream; }
    // What the child wrote to a piped stream so far (all of it once the task has terminated).
    const std::string& standardOutputData() const { return _standardOutputData; }
    const std::string& standardErrorData() const { return _standardErrorData; }

    // Starts the child. False with `error` set when it cannot be started (missing program, exec refused,
    // missing working folder, already launched).
    bool launch(HXError* error = nullptr);

    int processIdentifier() const { return _pid; }
    bool isRunning() const { return _running; }
    bool hasTerminated() const { return _terminated; }
    void terminate(); // SIGTERM
    void kill(); // SIGKILL
    void interrupt(); // SIGINT

    // Valid once the task has terminated.
    int terminationStatus() const { return _terminationStatus; }
    HXTaskTerminationReason terminationReason() const { return _terminationReason; }

    // Called on the main thread when the child has ended, before the notification is posted.
    void setTerminationHandler(std::function<void(HXTask&)> handler)
    {
        _terminationHandler = std::move(handler);
    }

    // Runs the main run loop in the default mode until the child has ended and been reported, or until
    // `timeout` seconds of real time have passed (negative: no limit). True when it has ended.
    bool waitUntilExit(double timeout = -1);

private:
    void childDidExit();
    void drainPipes();
    void closePipe(int& fd, HXRunLoopSourceID& source);
    void finish();

    std::string _launchPath;
    std::vector<std::string> _arguments;
    std::optional<std::map<std::string, std::string>> _environment;
    std::string _currentDirectoryPath;
    std::vector<int> _inheritedFileDescriptors;
    HXTaskStream _standardInput = HXTaskStream::Inherit;
    HXTaskStream _standardOutput = HXTaskStream::Inherit;
    HXTaskStream _standardError = HXTaskStream::Inherit;
    std::string _standardOutputData;
    std::string _standardErrorData;
    std::function<void(HXTask&)> _terminationHandler;

    int _pid = 0;
    bool _launched = false;
    bool _running = false;
    bool _terminated = false;
    int _terminationStatus = 0;
    HXTaskTerminationReason _terminationReason = HXTaskTerminationReason::Exit;

    int _pidfd = -1;
    HXRunLoopSourceID _pidSource = 0;
    std::shared_ptr<class HXTimer> _pollTimer; // where pidfds are unavailable: a short poll with WNOHANG
    int _outputFd = -1;
    int _errorFd = -1;
    HXRunLoopSourceID _outputSource = 0;
    HXRunLoopSourceID _errorSource = 0;
    std::shared_ptr<HXTask> _keepAlive; // set while the child runs
};
