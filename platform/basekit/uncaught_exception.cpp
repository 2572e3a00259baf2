#include "platform/basekit/uncaught_exception.h"

#include "platform/basekit/error.h"

#include <string>
#include <utility>

namespace {

HXUncaughtExceptionHandler& installedHandler()
{
    static HXUncaughtExceptionHandler handler;
    return handler;
}

bool gReporting = false;

} // namespace

HXUncaughtExceptionHandler HXSetUncaughtExceptionHandler(HXUncaughtExceptionHandler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

bool HXHasUncaughtExceptionHandler() { return static_cast<bool>(installedHandler()); }

void HXReportUncaughtException(const std::exception& exception)
{
    if (gReporting) {
        // The handler itself failed (or an alert it shows ran into another): log it and go on.
        HXLog(std::string("uncaught exception while reporting another: ") + exception.what());
        return;
    }
    auto handler = installedHandler();
    if (!handler)
        return;
    gReporting = true;
    try {
        handler(exception);
    } catch (const std::exception& nested) {
        HXLog(std::string("the uncaught-exception handler failed: ") + nested.what());
    } catch (...) {
        HXLog("the uncaught-exception handler failed");
    }
    gReporting = false;
}
