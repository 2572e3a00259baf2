#pragma once
// The real movara-player started by a test, headless, in user folders of the test's own, and the real
// movara-script that drives it. Every player a test starts is ended with the test.
#include "tests/app/app_test_fixtures.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" char** environ;

namespace movara::scriptingtest {

inline const std::string kPlayer = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player";
inline const std::string kScript = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-script";

class PlayerProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(home / "config");
        std::filesystem::create_directories(home / "runtime");
        std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    }
    void TearDown() override
    {
        for (pid_t pid : running) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // The player with `args`, its environment this test's less the display, the sound and device choices,
    // plus `extra`; working in `folder` when given.
    pid_t startPlayer(const std::vector<std::string>& args,
        const std::vector<std::string>& extra = { "MOVARA_SILENT_AUDIO=1" },
        const std::filesystem::path& folder = {})
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            bool dropped = false;
            for (const char* name : { "DISPLAY=", "WAYLAND_DISPLAY=", "XDG_CONFIG_HOME=",
                     "MOVARA_SILENT_AUDIO=", "SDL_AUDIODRIVER=", "MOVARA_CAPTURE_DEVICES=" })
                dropped |= entry.rfind(name, 0) == 0;
            if (!dropped)
                env.push_back(entry);
        }
        env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
        env.insert(env.end(), extra.begin(), extra.end());
        std::vector<std::string> argv { kPlayer };
        argv.insert(argv.end(), args.begin(), args.end());
        pid_t pid = fork();
        if (pid == 0) {
            if (!folder.empty() && chdir(folder.c_str()) != 0)
                _exit(126);
            std::vector<char*> a, e;
            for (auto& s : argv)
                a.push_back(s.data());
            a.push_back(nullptr);
            for (auto& s : env)
                e.push_back(s.data());
            e.push_back(nullptr);
            execve(a[0], a.data(), e.data());
            _exit(127);
        }
        running.push_back(pid);
        return pid;
    }

    int waitForExit(pid_t pid, double seconds)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    movara::test::CommandResult script(std::vector<std::string> args)
    {
        args.insert(args.begin(), kScript);
        return movara::test::runCommand(args);
    }
    // What a request that succeeds prints, without the line end.
    std::string answer(std::vector<std::string> args)
    {
        auto r = script(std::move(args));
        EXPECT_EQ(r.status, 0);
        while (!r.output.empty() && r.output.back() == '\n')
            r.output.pop_back();
        return r.output;
    }

    // Waits until the player counts `n` movies.
    bool waitForMovies(int n)
    {
        for (int i = 0; i < 300; ++i) {
            auto r = script({ "count", "movies[*]" });
            if (r.status == 0 && r.output == std::to_string(n) + "\n")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // A small movie of ffmpeg's in the test's folder.
    std::string movie(const std::string& name)
    {
        auto path = home / name;
        movara::apptest::makeMovie(path);
        return path.string();
    }

    static std::string ffprobe(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv { "ffprobe", "-v", "error" };
        argv.insert(argv.end(), args.begin(), args.end());
        return movara::test::runCommand(argv).output;
    }

    movara::test::TempDir home;
    std::vector<pid_t> running;
};

} // namespace movara::scriptingtest
