#include "diagnostics/libtop.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool printNothing(void*, const char*, ...)
{
    return true;
}

struct Sampler {
    bool initialized = false;
    libtop_print_t print = printNothing;
    void* user = nullptr;
    libtop_tsamp_t tsamp;
    std::map<pid_t, std::unique_ptr<libtop_pinfo_t>> records;
    // The walk: by process id (the last id returned) or through the sorted list.
    bool walking = false;
    pid_t lastPid = 0;
    bool sorted = false;
    std::vector<const libtop_pinfo_t*> order;
    size_t orderIndex = 0;
    uint32_t interval = 1;
    std::map<uid_t, std::string> userNames;
    long ticksPerSecond = 100;
};

Sampler& sampler()
{
    static Sampler state;
    return state;
}

bool readText(const std::string& path, std::string& out)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

timeval now()
{
    timeval tv {};
    gettimeofday(&tv, nullptr);
    return tv;
}

int stateIndex(char state)
{
    switch (state) {
    case 'Z':
        return 0;
    case 'R':
        return 1;
    case 'D':
        return 2;
    case 'S':
        return 3;
    case 'I':
        return 4;
    case 'T':
    case 't':
        return 5;
    case 'X':
    case 'x':
        return 6;
    default:
        return 7;
    }
}

// "Key:  value ..." lines: the number after the key, or 0.
uint64_t fieldValue(const std::string& text, const char* key)
{
    size_t keyLength = std::strlen(key);
    size_t at = 0;
    while ((at = text.find(key, at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == '\n')
            return std::strtoull(text.c_str() + at + keyLength, nullptr, 10);
        at += keyLength;
    }
    return 0;
}

bool readCPUTicks(uint64_t ticks[4])
{
    std::ifstream in("/proc/stat");
    std::string cpu;
    unsigned long long user = 0, nice = 0, system = 0, idle = 0;
    if (!(in >> cpu >> user >> nice >> system >> idle) || cpu != "cpu")
        return false;
    ticks[0] = user;
    ticks[1] = nice;
    ticks[2] = system;
    ticks[3] = idle;
    return true;
}

void readMemory(libtop_tsamp_t& t)
{
    std::string meminfo;
    if (!readText("/proc/meminfo", meminfo))
        return;
    t.mem_free = fieldValue(meminfo, "MemFree:") * 1024u;
    t.mem_wired = fieldValue(meminfo, "Unevictable:") * 1024u;
    t.swap_total = fieldValue(meminfo, "SwapTotal:") * 1024u;
    uint64_t swapFree = fieldValue(meminfo, "SwapFree:") * 1024u;
    t.swap_used = t.swap_total > swapFree ? t.swap_total - swapFree : 0;
}

void readNetwork(libtop_tsamp_t& t)
{
    std::ifstream in("/proc/net/dev");
    std::string line;
    uint64_t ibytes = 0, ipackets = 0, obytes = 0, opackets = 0;
    while (std::getline(in, line)) {
        auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::istringstream fields(line.substr(colon + 1));
        unsigned long long v[10] = {};
        for (auto& x : v)
            fields >> x;
        ibytes += v[0];
        ipackets += v[1];
        obytes += v[8];
        opackets += v[9];
    }
    t.p_net_ibytes = t.net_ibytes;
    t.p_net_obytes = t.net_obytes;
    t.p_net_ipackets = t.net_ipackets;
    t.p_net_opackets = t.net_opackets;
    t.net_ibytes = ibytes;
    t.net_ipackets = ipackets;
    t.net_obytes = obytes;
    t.net_opackets = opackets;
    if (t.seq == 1) {
        t.b_net_ibytes = ibytes;
        t.b_net_ipackets = ipackets;
        t.b_net_obytes = obytes;
        t.b_net_opackets = opackets;
    }
}

void readDisks(libtop_tsamp_t& t)
{
    std::ifstream in("/proc/diskstats");
    std::string line;
    uint64_t rops = 0, rbytes = 0, wops = 0, wbytes = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        unsigned major = 0, minor = 0;
        std::string name;
        unsigned long long reads = 0, readsMerged = 0, sectorsRead = 0, readTime = 0, writes = 0,
                           writesMerged = 0, sectorsWritten = 0;
        if (!(fields >> major >> minor >> name >> reads >> readsMerged >> sectorsRead >> readTime >> writes
                >> writesMerged >> sectorsWritten))
            continue;
        // Whole devices only: their partitions would count the same transfers again.
        struct stat st { };
        if (stat(("/sys/block/" + name).c_str(), &st) != 0)
            continue;
        rops += reads;
        rbytes += sectorsRead * 512u;
        wops += writes;
        wbytes += sectorsWritten * 512u;
    }
    t.p_disk_rbytes = t.disk_rbytes;
    t.p_disk_wbytes = t.disk_wbytes;
    t.p_disk_rops = t.disk_rops;
    t.p_disk_wops = t.disk_wops;
    t.disk_rops = rops;
    t.disk_rbytes = rbytes;
    t.disk_wops = wops;
    t.disk_wbytes = wbytes;
    if (t.seq == 1) {
        t.b_disk_rops = rops;
        t.b_disk_rbytes = rbytes;
        t.b_disk_wops = wops;
        t.b_disk_wbytes = wbytes;
    }
}

void readVirtualMemory(libtop_tsamp_t& t)
{
    std::string vmstat;
    if (!readText("/proc/vmstat", vmstat))
        return; // the statistics stay as they were
    t.p_vm_stat = t.vm_stat;
    t.vm_stat = libtop_parse_vmstat(vmstat);
    if (t.seq == 1)
        t.b_vm_stat = t.vm_stat;
}

uint32_t countEntries(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    uint32_t count = 0;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count;
}

// The threads of a process that run or are ready to run now.
uint32_t countRunningThreads(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    uint32_t count = 0;
    while (dirent* entry = readdir(dir)) {
        std::string stat;
        if (entry->d_name[0] != '.' && readText(folder + "/" + entry->d_name + "/stat", stat)
            && libtop_thread_runs(stat))
            ++count;
    }
    closedir(dir);
    return count;
}

// Region count and private virtual size (private anonymous mappings) from the map.
void readMaps(const std::string& base, libtop_pinfo_t& p)
{
    std::ifstream in(base + "/maps");
    std::string line;
    uint32_t regions = 0;
    uint64_t privateVirtual = 0;
    while (std::getline(in, line)) {
        ++regions;
        unsigned long long start = 0, end = 0, offset = 0, inode = 0;
        char perms[8] = {}, device[16] = {};
        if (std::sscanf(
                line.c_str(), "%llx-%llx %7s %llx %15s %llu", &start, &end, perms, &offset, device, &inode)
                == 6
            && perms[3] == 'p' && inode == 0)
            privateVirtual += end - start;
    }
    p.p_reg = p.reg;
    p.reg = regions;
    p.vprvt = privateVirtual;
}

void updateProcess(Sampler& s, pid_t pid, bool regions)
{
    std::string base = "/proc/" + std::to_string(pid);
    std::string stat, status;
    if (!readText(base + "/stat", stat) || !readText(base + "/status", status))
        return; // ended meanwhile
    auto& slot = s.records[pid];
    if (!slot)
        slot = std::make_unique<libtop_pinfo_t>();
    libtop_pinfo_t& p = *slot;
    p.p_rsize = p.rsize;
    p.p_vsize = p.vsize;
    p.p_rprvt = p.rprvt;
    p.p_rshrd = p.rshrd;
    p.p_faults = p.faults;
    p.p_pageins = p.pageins;
    p.p_csw = p.csw;
    p.p_total_time = p.total_time;
    p.pid = pid;
    if (!libtop_parse_stat(stat, &p, s.ticksPerSecond, s.tsamp.pagesize)) {
        s.records.erase(pid);
        return;
    }
    p.uid = uid_t(fieldValue(status, "Uid:"));
    p.csw
        = fieldValue(status, "voluntary_ctxt_switches:") + fieldValue(status, "nonvoluntary_ctxt_switches:");
    std::string io;
    if (readText(base + "/io", io))
        p.syscalls = fieldValue(io, "syscr:") + fieldValue(io, "syscw:");
    p.prt = countEntries(base + "/fd");
    p.run_th = countRunningThreads(base + "/task");
    if ((regions && p.preg != 1) || p.preg == 2) {
        std::string rollup;
        if (readText(base + "/smaps_rollup", rollup))
            libtop_parse_rollup(rollup, &p);
        readMaps(base, p);
    }
    p.seq = s.tsamp.seq;
}

void updateTotals(Sampler& s)
{
    auto& t = s.tsamp;
    t.nprocs = 0;
    t.threads = 0;
    t.reg = 0;
    t.rprvt = 0;
    t.vprvt = 0;
    t.rshrd = 0;
    for (auto& [pid, p] : s.records) {
        if (p->seq != t.seq)
            continue;
        ++t.nprocs;
        t.threads += p->th;
        t.reg += p->reg;
        t.rprvt += p->rprvt;
        t.vprvt += p->vprvt;
        t.rshrd += p->pss_shrd;
    }
}

// The resident private bytes of the own process's shared-library mappings.
uint64_t sharedLibraryPrivateBytes()
{
    std::ifstream in("/proc/self/smaps");
    std::string line;
    bool inLibrary = false;
    uint64_t total = 0;
    while (std::getline(in, line)) {
        if (line.rfind("Private_", 0) == 0) {
            if (inLibrary)
                total += std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10) * 1024u;
        } else if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0]))
            && line.find('-') < line.find(' ')) {
            inLibrary = line.find(".so") != std::string::npos;
        }
    }
    return total;
}

} // namespace

// ---- Counters ----

void libtop_i64_init(libtop_i64_t* counter, uint32_t value)
{
    if (counter)
        *counter = { value, value };
}

void libtop_i64_update(libtop_i64_t* counter, uint32_t value)
{
    if (!counter)
        return;
    counter->accum += uint32_t(value - counter->last); // a wrap-around counts once
    counter->last = value;
}

uint64_t libtop_i64_value(const libtop_i64_t* counter)
{
    return counter ? counter->accum : 0;
}

// ---- Parsers ----

bool libtop_parse_stat(
    const std::string& text, libtop_pinfo_t* record, long ticksPerSecond, uint64_t pageSize)
{
    auto open = text.find('(');
    auto close = text.rfind(')');
    if (!record || open == std::string::npos || close == std::string::npos || close < open)
        return false;
    std::istringstream fields(text.substr(close + 1));
    std::vector<std::string> f;
    for (std::string word; fields >> word;)
        f.push_back(word);
    if (f.size() < 22)
        return false;
    auto number = [&](size_t i) { return std::strtoull(f[i].c_str(), nullptr, 10); };
    record->command = text.substr(open + 1, close - open - 1);
    record->state = stateIndex(f[0].empty() ? '?' : f[0][0]);
    record->ppid = pid_t(std::strtol(f[1].c_str(), nullptr, 10));
    record->pgrp = pid_t(std::strtol(f[2].c_str(), nullptr, 10));
    record->faults = number(7) + number(9);
    record->pageins = number(9);
    uint64_t ticks = number(11) + number(12);
    long perSecond = ticksPerSecond > 0 ? ticksPerSecond : 100;
    record->total_time.tv_sec = time_t(ticks / uint64_t(perSecond));
    record->total_time.tv_usec = suseconds_t((ticks % uint64_t(perSecond)) * 1000000u / uint64_t(perSecond));
    record->th = uint32_t(number(17));
    record->vsize = number(20);
    record->rsize = number(21) * pageSize;
    return true;
}

void libtop_parse_rollup(const std::string& text, libtop_pinfo_t* record)
{
    if (!record)
        return;
    record->rprvt = (fieldValue(text, "Private_Clean:") + fieldValue(text, "Private_Dirty:")) * 1024u;
    record->rshrd = (fieldValue(text, "Shared_Clean:") + fieldValue(text, "Shared_Dirty:")) * 1024u;
    // The proportional set: private pages whole, each shared page divided among those mapping it.
    const uint64_t pss = fieldValue(text, "Pss:") * 1024u;
    record->pss_shrd = pss > record->rprvt ? pss - record->rprvt : 0;
    if (uint64_t rss = fieldValue(text, "Rss:"))
        record->rsize = rss * 1024u;
}

libtop_tsamp_t::vm_stats_t libtop_parse_vmstat(const std::string& text)
{
    // Lines of "name value".
    libtop_tsamp_t::vm_stats_t vm;
    vm.faults = fieldValue(text, "pgfault ");
    vm.pageins = fieldValue(text, "pgmajfault ");
    vm.pageouts = fieldValue(text, "pswpout ");
    return vm;
}

bool libtop_thread_runs(const std::string& statText)
{
    auto close = statText.rfind(')');
    if (close == std::string::npos || close + 2 >= statText.size())
        return false;
    return statText[close + 2] == 'R';
}

// ---- The sampler ----

int libtop_init(libtop_print_t print, void* user)
{
    libtop_fini();
    Sampler& s = sampler();
    s.print = print ? print : printNothing;
    s.user = user;
    s.tsamp = {};
    long pageSize = sysconf(_SC_PAGESIZE);
    long pages = sysconf(_SC_PHYS_PAGES);
    if (pageSize <= 0 || pages <= 0) {
        s.print(s.user, "%s(): Error in sysconf(): %s", "libtop_init", std::strerror(errno));
        return -1;
    }
    s.tsamp.pagesize = uint64_t(pageSize);
    s.tsamp.memsize = uint64_t(pages) * uint64_t(pageSize);
    s.ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!readCPUTicks(s.tsamp.cpu_ticks)) {
        s.print(s.user, "%s(): Error reading %s: %s", "libtop_init", "/proc/stat", std::strerror(errno));
        return -1;
    }
    s.tsamp.time = now();
    s.interval = 1;
    s.initialized = true;
    return 0;
}

void libtop_fini()
{
    Sampler& s = sampler();
    s.records.clear();
    s.order.clear();
    s.userNames.clear();
    s.walking = false;
    s.sorted = false;
    s.initialized = false;
}

int libtop_sample(bool regions, bool sharedLibraries)
{
    Sampler& s = sampler();
    if (!s.initialized)
        return -1;
    auto& t = s.tsamp;
    ++t.seq;
    s.sorted = false;
    s.order.clear();
    s.walking = false;
    t.p_time = t.time;
    t.time = now();

    DIR* proc = opendir("/proc");
    if (!proc) {
        s.print(s.user, "Error in opendir(/proc): %s", std::strerror(errno));
        return -1;
    }
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && end && *end == '\0')
            updateProcess(s, pid_t(pid), regions);
    }
    closedir(proc);

    uint64_t previousTicks[4];
    std::copy(std::begin(t.cpu_ticks), std::end(t.cpu_ticks), previousTicks);
    if (getloadavg(t.loadavg, 3) < 0 || !readCPUTicks(t.cpu_ticks)) {
        std::copy(std::begin(previousTicks), std::end(previousTicks), t.cpu_ticks);
        s.print(s.user, "Error in getloadavg(): %s", std::strerror(errno));
        return -1;
    }
    std::copy(std::begin(previousTicks), std::end(previousTicks), t.p_cpu_ticks);
    if (sharedLibraries && (t.seq - 1) % s.interval == 0)
        t.fw_private = sharedLibraryPrivateBytes();
    readVirtualMemory(t);
    readMemory(t);
    updateTotals(s);
    readNetwork(t);
    readDisks(t);
    return 0;
}

const libtop_tsamp_t* libtop_tsamp()
{
    return &sampler().tsamp;
}

const libtop_pinfo_t* libtop_piterate()
{
    Sampler& s = sampler();
    if (s.sorted) {
        if (s.orderIndex < s.order.size())
            return s.order[s.orderIndex++];
        s.orderIndex = 0;
        return nullptr;
    }
    auto it = s.walking ? s.records.upper_bound(s.lastPid) : s.records.begin();
    while (it != s.records.end() && it->second->seq != s.tsamp.seq)
        it = s.records.erase(it); // its process has ended
    if (it == s.records.end()) {
        s.walking = false;
        return nullptr;
    }
    s.walking = true;
    s.lastPid = it->first;
    return it->second.get();
}

void libtop_psort(libtop_sort_t compare, void* data)
{
    Sampler& s = sampler();
    s.order.clear();
    for (auto& [pid, p] : s.records)
        if (p->seq == s.tsamp.seq)
            s.order.push_back(p.get());
    if (compare)
        std::stable_sort(s.order.begin(), s.order.end(),
            [&](const libtop_pinfo_t* a, const libtop_pinfo_t* b) { return compare(data, a, b) < 0; });
    s.orderIndex = 0;
    s.sorted = true;
}

int libtop_preg(pid_t pid, int choice)
{
    auto& records = sampler().records;
    auto it = records.find(pid);
    if (it == records.end() || choice < 0 || choice > 2)
        return -1;
    it->second->preg = choice;
    return 0;
}

int libtop_set_interval(uint32_t n)
{
    if (n < 1 || n > 100)
        return -1;
    sampler().interval = n;
    return 0;
}

const char* libtop_state_str(uint32_t state)
{
    static const char* names[]
        = { "zombie", "running", "stuck", "sleeping", "idle", "stopped", "halted", "unknown" };
    return names[state < 8 ? state : 7];
}

const char* libtop_username(uid_t uid)
{
    auto& names = sampler().userNames;
    auto it = names.find(uid);
    if (it == names.end()) {
        passwd entry {};
        passwd* found = nullptr;
        char buffer[4096];
        std::string name;
        if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
            name = found->pw_name;
        it = names.emplace(uid, name).first;
    }
    return it->second.empty() ? nullptr : it->second.c_str();
}
