#pragma once
// HXSignalWatcher: turns process signals into work on the main run loop. The handler installed for a
// watched signal only writes the signal's number to a pipe (the one thing it may safely do); the run loop
// reads the pipe and calls the callback on the main thread, where the program's own code may run.
#include "platform/basekit/run_loop.h"

#include <functional>
#include <vector>

class HXSignalWatcher {
public:
    using Callback = std::function<void(int signalNumber)>;

    // Watches `signals` (e.g. SIGTERM, SIGINT, SIGHUP) until stop(); each delivery calls `callback` once on
    // a later pass of the main run loop, in every common mode. False when the pipe cannot be made.
    static bool start(const std::vector<int>& signals, Callback callback);
    // Restores the signals' default actions and closes the pipe.
    static void stop();
    static bool isWatching();
};
