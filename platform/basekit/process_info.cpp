#include "platform/basekit/process_info.h"

#include "platform/basekit/error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string readWholeFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A value of /etc/os-release, without its quotes.
std::string osReleaseValue(const std::string& text, const std::string& key)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, key.size() + 1, key + "=") != 0)
            continue;
        std::string value = line.substr(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

} // namespace

HXProcessInfo& HXProcessInfo::processInfo()
{
    static HXProcessInfo* info = new HXProcessInfo();
    return *info;
}

std::map<std::string, std::string> HXProcessInfo::environment() const
{
    std::map<std::string, std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (eq == std::string::npos)
            continue;
        env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return env;
}

std::vector<std::string> HXProcessInfo::arguments() const
{
    std::string raw = readWholeFile("/proc/self/cmdline");
    std::vector<std::string> args;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        args.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

int HXProcessInfo::processIdentifier() const
{
    return int(getpid());
}

std::string HXProcessInfo::processName() const
{
    if (!_processName.empty())
        return _processName;
    return program_invocation_short_name;
}

void HXProcessInfo::setProcessName(const std::string& name)
{
    _processName = name;
}

std::string HXProcessInfo::hostName() const
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

uint64_t HXProcessInfo::physicalMemory() const
{
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return uint64_t(pages) * uint64_t(pageSize);
}

unsigned HXProcessInfo::processorCount() const
{
    long n = sysconf(_SC_NPROCESSORS_CONF);
    return n > 0 ? unsigned(n) : 1;
}

unsigned HXProcessInfo::activeProcessorCount() const
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0)
            return unsigned(n);
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? unsigned(n) : 1;
}

std::string HXProcessInfo::operatingSystemVersionString() const
{
    utsname u {};
    uname(&u);
    std::string text = std::string("Version ") + u.release + " (" + u.sysname + " " + u.machine + ")";
    std::string release = readWholeFile("/etc/os-release");
    std::string pretty = osReleaseValue(release, "PRETTY_NAME");
    if (pretty.empty())
        pretty = osReleaseValue(release, "NAME");
    if (!pretty.empty())
        text += " " + pretty;
    return text;
}

HXOperatingSystemVersion HXProcessInfo::operatingSystemVersion() const
{
    utsname u {};
    uname(&u);
    HXOperatingSystemVersion v;
    std::sscanf(u.release, "%d.%d.%d", &v.majorVersion, &v.minorVersion, &v.patchVersion);
    return v;
}

HXPropertyList::Dictionary HXProcessInfo::operatingSystemVersionDictionary() const
{
    utsname u {};
    uname(&u);
    std::string release = readWholeFile("/etc/os-release");
    std::string name = osReleaseValue(release, "NAME");
    std::string version = osReleaseValue(release, "VERSION_ID");
    return {
        { "ProductName", HXPropertyList(name.empty() ? std::string("Linux") : name) },
        { "ProductVersion", HXPropertyList(version.empty() ? std::string(u.release) : version) },
        { "ProductBuildVersion", HXPropertyList(std::string(u.release)) },
    };
}

double HXProcessInfo::systemUptime() const
{
    // CLOCK_BOOTTIME keeps counting while the machine sleeps, as the uptime should.
    timespec ts {};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0)
        clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void HXProcessInfo::disableSuddenTermination()
{
    ++_suddenTerminationDisableCount;
}

void HXProcessInfo::enableSuddenTermination()
{
    if (_suddenTerminationDisableCount == 0) {
        HXLog("enableSuddenTermination without a matching disableSuddenTermination; ignored");
        return;
    }
    --_suddenTerminationDisableCount;
}
