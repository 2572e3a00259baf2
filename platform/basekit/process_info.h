#pragma once
// HXProcessInfo: facts about this process and the machine it runs on.
#include "platform/basekit/property_list.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct HXOperatingSystemVersion {
    int majorVersion = 0;
    int minorVersion = 0;
    int patchVersion = 0;
};

class HXProcessInfo {
public:
    static HXProcessInfo& processInfo();

    // The environment as it is now (it follows setenv/unsetenv).
    std::map<std::string, std::string> environment() const;
    // The command line, from /proc/self/cmdline (argv[0] first).
    std::vector<std::string> arguments() const;
    int processIdentifier() const;
    // The program's name (argv[0]'s last component) unless changed with setProcessName.
    std::string processName() const;
    void setProcessName(const std::string& name);
    std::string hostName() const;
    uint64_t physicalMemory() const; // bytes
    unsigned processorCount() const;
    unsigned activeProcessorCount() const; // the processors this process may run on
    // "Version <release> (<system> <machine>)" with the distribution's name when /etc/os-release tells it.
    std::string operatingSystemVersionString() const;
    HXOperatingSystemVersion operatingSystemVersion() const; // the kernel's release numbers
    // The system's version record: "ProductName" and "ProductVersion" from /etc/os-release (NAME and
    // VERSION_ID; "Linux" and the kernel release when it says nothing), "ProductBuildVersion" the kernel
    // release.
    HXPropertyList::Dictionary operatingSystemVersionDictionary() const;
    double systemUptime() const; // seconds since boot

    // Sudden termination: while the counter is above zero the program must be asked before it quits. Every
    // disable is balanced by one enable; an enable without a matching disable is ignored (and logged), so the
    // counter never goes negative. Linux has no equivalent service: the counter is only consulted.
    void disableSuddenTermination();
    void enableSuddenTermination();
    int suddenTerminationDisableCount() const { return _suddenTerminationDisableCount; }
    bool isSuddenTerminationEnabled() const { return _suddenTerminationDisableCount == 0; }

private:
    HXProcessInfo() = default;
    std::string _processName;
    int _suddenTerminationDisableCount = 0;
};
