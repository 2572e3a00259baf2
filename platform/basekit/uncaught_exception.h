#pragma once
// The process-wide handler for exceptions that nothing caught on the main thread.
//
// The run loop calls every timer, queued perform, descriptor callback and cross-thread work item, and
// the application every event it dispatches, through HXRunCatchingUncaughtExceptions: with a handler
// installed an exception that escapes one of them goes to the handler and the loop carries on with the
// next; without one it passes on as before.
#include <exception>
#include <functional>
#include <stdexcept>

using HXUncaughtExceptionHandler = std::function<void(const std::exception&)>;

// Installs `handler` (an empty one removes it) and answers the one it replaces.
HXUncaughtExceptionHandler HXSetUncaughtExceptionHandler(HXUncaughtExceptionHandler handler);
bool HXHasUncaughtExceptionHandler();
// Hands `exception` to the installed handler. A handler that throws itself is not called again for that.
void HXReportUncaughtException(const std::exception& exception);

// Runs `work`. An exception it lets out goes to the installed handler, which answers false; without a
// handler it passes on. An exception of no standard type reaches the handler as one without a reason.
template <class Work> bool HXRunCatchingUncaughtExceptions(Work&& work)
{
    try {
        work();
        return true;
    } catch (const std::exception& exception) {
        if (!HXHasUncaughtExceptionHandler())
            throw;
        HXReportUncaughtException(exception);
    } catch (...) {
        if (!HXHasUncaughtExceptionHandler())
            throw;
        HXReportUncaughtException(std::runtime_error(""));
    }
    return false;
}
