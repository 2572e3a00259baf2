#pragma once
// A print scheduler (cupsd) of a test's own: its configuration, spool, logs and socket in a temporary
// folder, no network port, ended with the object. Queues made on it with addPDFQueue print through the
// cups-pdf backend into outputFolder(): the backend reads its settings from a fixed place in /etc, so the
// scheduler runs in a mount namespace of its own (unshare -m) in which that file is the test's. The
// machine's own scheduler and its settings are never touched.
#include "child_process.h"
#include "test_support.h"

#include <filesystem>
#include <memory>
#include <string>

namespace movara::test {

class PrivatePrintScheduler {
public:
    PrivatePrintScheduler();
    ~PrivatePrintScheduler();
    PrivatePrintScheduler(const PrivatePrintScheduler&) = delete;
    PrivatePrintScheduler& operator=(const PrivatePrintScheduler&) = delete;

    // Empty when the scheduler runs; otherwise why it could not be started.
    const std::string& failure() const { return _failure; }
    // The socket to reach it by (what CUPS_SERVER names).
    std::filesystem::path socketPath() const { return _dir / "cups.sock"; }
    // Adds an enabled queue that writes each job as a PDF file into outputFolder(); false with the reason.
    bool addPDFQueue(const std::string& name, std::string& reason);
    std::filesystem::path outputFolder() const { return _dir / "out"; }
    // The first PDF file to appear in outputFolder() within `seconds` (empty when none did), once it is
    // whole.
    std::filesystem::path waitForPDF(double seconds) const;
    // The scheduler's error log (for messages when something did not print).
    std::string errorLog() const;

private:
    TempDir _dir;
    std::unique_ptr<ChildProcess> _process;
    std::string _failure;
};

} // namespace movara::test
