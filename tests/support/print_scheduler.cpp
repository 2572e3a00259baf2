#include "print_scheduler.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace movara::test {

namespace {

constexpr const char* kBackendSettings = "/etc/cups/cups-pdf.conf";
constexpr const char* kBackend = "/usr/lib/cups/backend/cups-pdf";
constexpr const char* kDriver = "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd";

// The program's full path, from PATH or the system folders that PATH may leave out.
std::string programPath(const std::string& name)
{
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        std::string folder = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0)
            return folder + "/" + name;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

} // namespace

PrivatePrintScheduler::PrivatePrintScheduler()
{
    std::string cupsd = programPath("cupsd"), unshare = programPath("unshare");
    if (cupsd.empty() || programPath("lpadmin").empty()) {
        _failure = "cupsd or lpadmin is not installed (scripts/setup installs cups-daemon)";
        return;
    }
    if (access(kBackend, F_OK) != 0 || access(kBackendSettings, F_OK) != 0 || access(kDriver, F_OK) != 0) {
        _failure = "the cups-pdf backend is not installed (scripts/setup installs printer-driver-cups-pdf)";
        return;
    }
    if (unshare.empty() || geteuid() != 0) {
        _failure = "the cups-pdf backend runs only under a scheduler started as root in a mount namespace of its "
                   "own (unshare -m)";
        return;
    }
    for (const char* folder : { "root", "spool", "cache", "state", "log", "out" })
        std::filesystem::create_directories(_dir / folder);
    // The scheduler runs its filters as another user (lp): they must reach the spool through our folder.
    namespace fs = std::filesystem;
    fs::permissions(_dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
            | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(_dir / "spool", fs::perms::all | fs::perms::sticky_bit);
    const std::string dir = _dir.path().string();
    writeFile(_dir / "root/cupsd.conf",
        "Listen " + dir + "/cups.sock\n"
        "LogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
        "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    writeFile(_dir / "root/cups-files.conf",
        "ServerRoot " + dir + "/root\nRequestRoot " + dir + "/spool\nTempDir " + dir + "/spool\n"
        "CacheDir " + dir + "/cache\nStateDir " + dir + "/state\nPrintcap " + dir + "/state/printcap\n"
        "ErrorLog " + dir + "/log/error_log\nAccessLog " + dir + "/log/access_log\n"
        "PageLog " + dir + "/log/page_log\n");
    writeFile(_dir / "cups-pdf.conf",
        "Out " + dir + "/out\nAnonDirName " + dir + "/out\nSpool " + dir + "/spool/pdf\nLog " + dir
            + "/log\nGrp root\n");
    std::string script = "mount --bind '" + dir + "/cups-pdf.conf' " + kBackendSettings + " && exec '" + cupsd
        + "' -f -c '" + dir + "/root/cupsd.conf' -s '" + dir + "/root/cups-files.conf'";
    _process = std::make_unique<ChildProcess>(std::vector<std::string> { unshare, "-m", "/bin/sh", "-c", script },
        std::vector<std::string> { "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C" });
    for (int i = 0; i < 100 && !std::filesystem::exists(socketPath()); ++i) {
        if (_process->waitForExit(0.1) >= 0)
            break;
    }
    if (!std::filesystem::exists(socketPath())) {
        _failure = "the scheduler did not start: " + errorLog();
        _process.reset();
    }
}

PrivatePrintScheduler::~PrivatePrintScheduler()
{
    _process.reset();
}

bool PrivatePrintScheduler::addPDFQueue(const std::string& name, std::string& reason)
{
    auto added = runCommand({ programPath("lpadmin"), "-h", socketPath().string(), "-p", name, "-v", "cups-pdf:/",
        "-P", kDriver, "-E" });
    if (added.status != 0) {
        reason = "lpadmin failed: " + errorLog();
        return false;
    }
    return true;
}

std::filesystem::path PrivatePrintScheduler::waitForPDF(double seconds) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::filesystem::path found;
    uintmax_t lastSize = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(outputFolder(), error)) {
            if (entry.path().extension() == ".pdf")
                found = entry.path();
        }
        if (!found.empty()) {
            // Whole once it ends with the trailer and stops growing.
            uintmax_t size = std::filesystem::file_size(found, error);
            std::string bytes = readFile(found);
            if (!error && size > 0 && size == lastSize && bytes.find("%%EOF") != std::string::npos)
                return found;
            lastSize = size;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return {};
}

std::string PrivatePrintScheduler::errorLog() const
{
    return readFile(_dir / "log/error_log");
}

} // namespace movara::test
