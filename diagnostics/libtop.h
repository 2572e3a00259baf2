#pragma once
// libtop: a sampler of process statistics. It keeps one system-wide record and one record per process,
// refreshes them all on each libtop_sample() from /proc, and walks the processes in process-id order or
// in an order of the caller's. All state is process-global; use it from one thread at a time.
//
// Linux has no message ports: a process's "port" count is the number of its open file descriptors (the
// handles it talks through). Figures of processes of other users that the system keeps private read 0.
#include <cstdint>
#include <string>
#include <sys/time.h>
#include <sys/types.h>

// Prints a diagnostic: the caller's data, then a printf format and its arguments.
using libtop_print_t = bool (*)(void* user, const char* format, ...);
// Orders two process records for libtop_psort (negative, zero, positive).
struct libtop_pinfo_t;
using libtop_sort_t = int (*)(void* data, const libtop_pinfo_t* a, const libtop_pinfo_t* b);

// A 64-bit counter fed with 32-bit readings that may wrap.
struct libtop_i64_t {
    uint64_t accum = 0;
    uint32_t last = 0;
};
void libtop_i64_init(libtop_i64_t* counter, uint32_t value);
void libtop_i64_update(libtop_i64_t* counter, uint32_t value);
uint64_t libtop_i64_value(const libtop_i64_t* counter);

struct libtop_pinfo_t {
    uid_t uid = 0;
    pid_t pid = 0;
    pid_t ppid = 0;
    pid_t pgrp = 0;
    int state = 7; // an index for libtop_state_str
    // Memory, in bytes.
    // rshrd counts every shared page the process maps; pss_shrd only its share of each (a page shared by
    // n processes counts 1/n here), so summed over processes every shared page is charged once.
    uint64_t rsize = 0, vsize = 0, rprvt = 0, vprvt = 0, rshrd = 0, pss_shrd = 0;
    uint64_t fw_private = 0, empty = 0;
    uint32_t reg = 0, p_reg = 0; // memory regions (counted when the sample scans regions)
    uint32_t th = 0, run_th = 0, prt = 0; // threads, threads running (or ready to) now, descriptors
    timeval total_time {}; // user plus system, finished threads included
    std::string command;
    int preg = 0; // region scanning: 0 as the sample says, 1 never, 2 always
    // Counters and the previous sample's values. Faults are minor and major faults together; page-ins
    // the major ones (those that read from disk). Linux counts no copy-on-write faults or messages apart.
    uint64_t faults = 0, pageins = 0, cow_faults = 0, messages = 0, syscalls = 0, csw = 0;
    uint64_t p_rsize = 0, p_vsize = 0, p_rprvt = 0, p_rshrd = 0, p_faults = 0, p_pageins = 0, p_csw = 0;
    timeval p_total_time {};
    uint32_t seq = 0; // the sample that last refreshed the record
};

struct libtop_tsamp_t {
    uint32_t seq = 0;
    double loadavg[3] = { 0, 0, 0 };
    uint64_t cpu_ticks[4] = { 0, 0, 0, 0 }, p_cpu_ticks[4] = { 0, 0, 0, 0 }; // user, nice, system, idle
    uint64_t pagesize = 0, memsize = 0;
    timeval time {}, p_time {};
    uint32_t nprocs = 0, threads = 0;
    uint64_t reg = 0, rprvt = 0, vprvt = 0, fw_private = 0;
    uint64_t rshrd = 0; // the shared resident memory of all processes, each page charged once
    uint64_t mem_free = 0, mem_wired = 0, swap_total = 0, swap_used = 0;
    // Virtual memory (/proc/vmstat): faults (minor and major), page-ins (major faults) and pages written
    // out to swap; now, at the previous sample and at the first.
    struct vm_stats_t {
        uint64_t faults = 0, pageins = 0, pageouts = 0;
    };
    vm_stats_t vm_stat, p_vm_stat, b_vm_stat;
    uint64_t net_ipackets = 0, net_opackets = 0, net_ibytes = 0, net_obytes = 0;
    uint64_t disk_rops = 0, disk_wops = 0, disk_rbytes = 0, disk_wbytes = 0;
    uint64_t p_net_ibytes = 0, p_net_obytes = 0, p_disk_rbytes = 0, p_disk_wbytes = 0;
    uint64_t p_net_ipackets = 0, p_net_opackets = 0, p_disk_rops = 0, p_disk_wops = 0;
    // The counters at the first sample.
    uint64_t b_net_ipackets = 0, b_net_opackets = 0, b_net_ibytes = 0, b_net_obytes = 0;
    uint64_t b_disk_rops = 0, b_disk_wops = 0, b_disk_rbytes = 0, b_disk_wbytes = 0;
};

// 0, or -1 (after printing) when the system cannot be read.
int libtop_init(libtop_print_t print, void* user);
void libtop_fini();
// Takes one sample: 0, or -1 when the process list cannot be read.
int libtop_sample(bool regions, bool sharedLibraries);
const libtop_tsamp_t* libtop_tsamp();
// The next record: in process-id order after a sample, in sort order after libtop_psort; null at the end
// (the next call starts over). Records of processes that ended are dropped as the walk passes them.
const libtop_pinfo_t* libtop_piterate();
void libtop_psort(libtop_sort_t compare, void* data);
int libtop_preg(pid_t pid, int choice);
// Shared libraries are totalled only on every n-th sample (1 to 100).
int libtop_set_interval(uint32_t n);
const char* libtop_state_str(uint32_t state);
// The user's name (cached), or null.
const char* libtop_username(uid_t uid);

// ---- /proc readers (exposed for their tests) ----
// Fills command, state, ppid, pgrp, faults, total time, threads, vsize and rsize from /proc/<pid>/stat.
bool libtop_parse_stat(
    const std::string& text, libtop_pinfo_t* record, long ticksPerSecond, uint64_t pageSize);
// Fills rprvt, rshrd, pss_shrd and (when present) rsize from /proc/<pid>/smaps_rollup.
void libtop_parse_rollup(const std::string& text, libtop_pinfo_t* record);
// The faults, page-ins and pages swapped out of /proc/vmstat.
libtop_tsamp_t::vm_stats_t libtop_parse_vmstat(const std::string& text);
// Whether a /proc/<pid>/task/<tid>/stat line is of a thread that runs or is ready to.
bool libtop_thread_runs(const std::string& statText);
