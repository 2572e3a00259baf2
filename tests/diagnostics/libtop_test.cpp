// The process sampler: its /proc readers, its counters, and samples of a child process this test starts
// and ends.
#include "diagnostics/libtop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A child that sleeps until it is ended.
class SleepingChild {
public:
    SleepingChild()
    {
        char sleep[] = "sleep";
        char seconds[] = "60";
        char* argv[] = { sleep, seconds, nullptr };
        if (posix_spawnp(&_pid, "sleep", nullptr, nullptr, argv, environ) != 0)
            _pid = 0;
        // Wait until the child runs the sleep program (not the fork of this test any more).
        for (int i = 0; i < 200 && _pid; ++i) {
            char name[64] = {};
            std::string path = "/proc/" + std::to_string(_pid) + "/comm";
            if (FILE* f = std::fopen(path.c_str(), "r")) {
                bool sleeping = std::fgets(name, sizeof name, f) && std::string(name) == "sleep\n";
                std::fclose(f);
                if (sleeping)
                    break;
            }
            usleep(10000);
        }
    }
    ~SleepingChild() { end(); }
    void end()
    {
        if (_pid > 0) {
            kill(_pid, SIGKILL);
            waitpid(_pid, nullptr, 0);
        }
        _pid = 0;
    }
    pid_t pid() const { return _pid; }

private:
    pid_t _pid = 0;
};

std::vector<const libtop_pinfo_t*> walk()
{
    std::vector<const libtop_pinfo_t*> all;
    while (const libtop_pinfo_t* p = libtop_piterate())
        all.push_back(p);
    return all;
}

const libtop_pinfo_t* find(const std::vector<const libtop_pinfo_t*>& all, pid_t pid)
{
    for (auto* p : all)
        if (p->pid == pid)
            return p;
    return nullptr;
}

TEST(ProcessSampler, StatLinesAreReadEvenWithAwkwardCommandNames)
{
    const std::string stat = "4242 (my (odd) name) S 100 4242 4242 0 -1 4194560 250 0 3 0 150 60 0 0 20 0 "
                             "5 0 12345 104857600 2560 18446744073709551615";
    libtop_pinfo_t p;
    ASSERT_TRUE(libtop_parse_stat(stat, &p, 100, 4096));
    EXPECT_EQ(p.command, "my (odd) name");
    EXPECT_STREQ(libtop_state_str(uint32_t(p.state)), "sleeping");
    EXPECT_EQ(p.ppid, 100);
    EXPECT_EQ(p.pgrp, 4242);
    EXPECT_EQ(p.faults, 253u);
    EXPECT_EQ(p.pageins, 3u);
    EXPECT_EQ(p.total_time.tv_sec, 2);
    EXPECT_EQ(p.total_time.tv_usec, 100000);
    EXPECT_EQ(p.th, 5u);
    EXPECT_EQ(p.vsize, 104857600u);
    EXPECT_EQ(p.rsize, 2560u * 4096);

    const char* broken[] = { "", "4242 (name S 1 2", "4242 (name) S 1 2 3" };
    for (const char* text : broken)
        EXPECT_FALSE(libtop_parse_stat(text, &p, 100, 4096)) << text;
}

TEST(ProcessSampler, RollupsGiveResidentPrivateAndShared)
{
    const std::string rollup = "55d0c0000000-7ffd4b3fe000 ---p 00000000 00:00 0    [rollup]\n"
                               "Rss:                2048 kB\n"
                               "Pss:                1536 kB\n"
                               "Shared_Clean:        768 kB\n"
                               "Shared_Dirty:        256 kB\n"
                               "Private_Clean:       512 kB\n"
                               "Private_Dirty:       512 kB\n";
    libtop_pinfo_t p;
    libtop_parse_rollup(rollup, &p);
    EXPECT_EQ(p.rprvt, 1024u * 1024);
    EXPECT_EQ(p.rshrd, 1024u * 1024);
    EXPECT_EQ(p.pss_shrd, 512u * 1024) << "its share of the shared pages";
    EXPECT_EQ(p.rsize, 2048u * 1024);
}

TEST(ProcessSampler, VirtualMemoryCountersAndRunningThreads)
{
    const std::string vmstat = "nr_free_pages 12345\n"
                               "pgmajfault_extra 7\n"
                               "pgfault 900\n"
                               "pgmajfault 40\n"
                               "pswpin 3\n"
                               "pswpout 11\n";
    auto vm = libtop_parse_vmstat(vmstat);
    EXPECT_EQ(vm.faults, 900u);
    EXPECT_EQ(vm.pageins, 40u);
    EXPECT_EQ(vm.pageouts, 11u);

    struct Case {
        const char* stat;
        bool runs;
    };
    const Case cases[] = {
        { "42 (worker) R 1 42 42 0 -1", true },
        { "42 (worker) S 1 42 42 0 -1", false },
        { "42 (a) R (b) S 1 42", false }, // the state follows the last parenthesis
        { "42 (x) D 1", false },
        { "broken", false },
        { "42 (", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(libtop_thread_runs(c.stat), c.runs) << c.stat;
}

TEST(ProcessSampler, ASpinningThreadCountsAsRunningAndSamplesKeepTheirFirstValues)
{
    std::atomic<bool> stop { false };
    std::thread spinner([&] {
        while (!stop)
            ;
    });
    ASSERT_EQ(libtop_init(nullptr, nullptr), 0);
    ASSERT_EQ(libtop_sample(true, false), 0);
    const auto first = *libtop_tsamp();
    const libtop_pinfo_t* self = find(walk(), getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_GE(self->run_th, 1u) << "the spinning thread";
    EXPECT_GE(self->th, 2u);
    EXPECT_GT(first.vm_stat.faults, 0u);
    EXPECT_EQ(first.b_vm_stat.faults, first.vm_stat.faults);
    EXPECT_GT(self->pss_shrd, 0u) << "its share of the libraries it maps";
    EXPECT_LE(self->pss_shrd, self->rshrd);
    EXPECT_GE(first.rshrd, self->pss_shrd) << "shared pages charged once over all processes";
    // Touching fresh memory faults; the first values stay those of the first sample.
    std::vector<char> pages(8 << 20);
    for (size_t i = 0; i < pages.size(); i += 4096)
        pages[i] = 1;
    ASSERT_EQ(libtop_sample(false, false), 0);
    const auto second = *libtop_tsamp();
    EXPECT_GT(second.vm_stat.faults, first.vm_stat.faults);
    EXPECT_EQ(second.p_vm_stat.faults, first.vm_stat.faults);
    EXPECT_EQ(second.b_vm_stat.faults, first.vm_stat.faults);
    EXPECT_EQ(second.b_net_ibytes, first.net_ibytes);
    EXPECT_EQ(second.p_disk_rops, first.disk_rops);
    self = find(walk(), getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_GT(self->faults, self->p_faults);
    stop = true;
    spinner.join();
    libtop_fini();
}

TEST(ProcessSampler, CountersAndNames)
{
    struct Step {
        uint32_t reading;
        uint64_t total;
    };
    const Step steps[] = { { 0xFFFFFFF0u, 0 }, { 0xFFFFFFFFu, 15 }, { 0x10u, 32 }, { 0x10u, 32 } };
    libtop_i64_t counter;
    libtop_i64_init(&counter, 0xFFFFFFF0u);
    uint64_t start = libtop_i64_value(&counter);
    for (const auto& step : steps) {
        libtop_i64_update(&counter, step.reading);
        EXPECT_EQ(libtop_i64_value(&counter) - start, step.total) << "a wrap-around counts once";
    }

    const char* states[]
        = { "zombie", "running", "stuck", "sleeping", "idle", "stopped", "halted", "unknown" };
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_STREQ(libtop_state_str(i), states[i]);
    EXPECT_STREQ(libtop_state_str(99), "unknown");

    EXPECT_EQ(libtop_set_interval(1), 0);
    EXPECT_EQ(libtop_set_interval(100), 0);
    EXPECT_EQ(libtop_set_interval(101), -1);
    EXPECT_EQ(libtop_set_interval(0), -1);
    EXPECT_STREQ(libtop_username(0), "root");
}

TEST(ProcessSampler, ChildrenAreSampledAndEndedOnesLeaveTheWalk)
{
    SleepingChild child;
    ASSERT_GT(child.pid(), 0);
    ASSERT_EQ(libtop_init(nullptr, nullptr), 0);
    ASSERT_EQ(libtop_sample(true, true), 0);
    EXPECT_EQ(libtop_tsamp()->seq, 1u);
    auto all = walk();
    const libtop_pinfo_t* sampled = find(all, child.pid());
    ASSERT_NE(sampled, nullptr);
    EXPECT_EQ(sampled->ppid, getpid());
    EXPECT_EQ(sampled->command, "sleep");
    EXPECT_EQ(sampled->th, 1u);
    EXPECT_GT(sampled->rsize, 0u);
    EXPECT_GT(sampled->vsize, sampled->rsize);
    EXPECT_GT(sampled->reg, 0u) << "regions were scanned";
    EXPECT_GE(sampled->prt, 3u) << "its open files";
    EXPECT_EQ(libtop_preg(child.pid(), 1), 0);
    EXPECT_EQ(libtop_preg(-5, 1), -1);
    EXPECT_NE(find(all, getpid()), nullptr);
    EXPECT_GE(libtop_tsamp()->nprocs, 2u);
    EXPECT_GT(libtop_tsamp()->memsize, 0u);

    pid_t ended = child.pid();
    child.end();
    ASSERT_EQ(libtop_sample(true, false), 0);
    all = walk();
    EXPECT_EQ(find(all, ended), nullptr) << "an ended child is gone from the next walk";
    std::set<pid_t> seen;
    for (auto* p : all)
        EXPECT_TRUE(seen.insert(p->pid).second) << "each process once: " << p->pid;
    EXPECT_EQ(walk().size(), all.size()) << "a walk that reached its end starts over";
    libtop_fini();
}

TEST(ProcessSampler, ASortedWalkFollowsTheCallersOrder)
{
    ASSERT_EQ(libtop_init(nullptr, nullptr), 0);
    ASSERT_EQ(libtop_sample(false, false), 0);
    libtop_psort(
        [](void*, const libtop_pinfo_t* a, const libtop_pinfo_t* b) { return b->pid - a->pid; }, nullptr);
    auto all = walk();
    ASSERT_GE(all.size(), 2u);
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_GT(all[i - 1]->pid, all[i]->pid);
    libtop_fini();
    EXPECT_EQ(libtop_sample(false, false), -1) << "no sample before the sampler is set up";
}

} // namespace
