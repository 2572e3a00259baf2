#pragma once
// The real movara-player program as a user starts it: headless, with configuration and runtime folders
// of its own, driven through its request socket.
#include "app/recent_documents.h"
#include "app/request_server.h"

#include "platform/basekit/property_list.h"
#include "platform/basekit/user_defaults.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern "C" char** environ;

namespace movara::apptest {

namespace fs = std::filesystem;
using movara::test::TempDir;
using Dict = HXPropertyList::Dictionary;
using Array = HXPropertyList::Array;

inline const std::string kProgram = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player";

inline void makeTestMovie(const fs::path& path)
{
    auto result = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=0.4", "-c:v", "libx264", "-pix_fmt", "yuv420p",
        path.string() });
    ASSERT_EQ(result.status, 0);
}

// One user: configuration and runtime folders of its own, and the player programs it starts.
class PlayerUser {
public:
    PlayerUser()
    {
        fs::create_directories(config());
        setenv("XDG_RUNTIME_DIR", (_home / "runtime").c_str(), 1);
        fs::create_directories(_home / "runtime");
        fs::permissions(_home / "runtime", fs::perms::owner_all);
    }
    ~PlayerUser()
    {
        for (pid_t pid : _running) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    fs::path config() const { return _home / "config" / "movara-player"; }
    fs::path folder() const { return _home.path(); }

    // The user defaults as the player last wrote them (empty before the first write).
    HXPropertyList storedDefaults() const
    {
        auto stored = HXPropertyList::readFromFile(
            (config() / (std::string(HXUserDefaults::defaultIdentifier) + ".plist")).string());
        return stored ? *stored : HXPropertyList();
    }
    // Whether the stored recent items name `file`.
    bool recentItemsName(const std::string& file) const
    {
        auto recent = storedDefaults()[MVPRecentDocumentsUserDefault];
        return recent.isArray() && recent.toXML().find(file) != std::string::npos;
    }

    void setPreferences(const Dict& values)
    {
        std::string path = (config() / (std::string(HXUserDefaults::defaultIdentifier) + ".plist")).string();
        ASSERT_TRUE(HXPropertyList(values).writeToFile(path));
    }
    void setMediaKeys(const Dict& keys)
    {
        ASSERT_TRUE(HXPropertyList(keys).writeToFile((config() / "MediaKeys.plist").string()));
    }

    // Starts the program with `args`; without a display it runs headless.
    pid_t start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment = {})
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0
                || entry.rfind("XDG_CONFIG_HOME=", 0) == 0 || entry.rfind("MOVARA_BUNDLE_DIR=", 0) == 0)
                continue;
            env.push_back(entry);
        }
        env.push_back("XDG_CONFIG_HOME=" + (_home / "config").string());
        env.push_back(std::string("MOVARA_BUNDLE_DIR=") + MOVARA_BUNDLE_DIR);
        env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
        std::vector<std::string> argv { kProgram };
        argv.insert(argv.end(), args.begin(), args.end());

        pid_t pid = fork();
        if (pid == 0) {
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
        _running.push_back(pid);
        return pid;
    }

    // The exit status of `pid`, waiting at most `seconds`; -1 when it is still running.
    int waitForExit(pid_t pid, double seconds)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(_running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::optional<HXPropertyList> request(const std::string& command, Dict extra = {})
    {
        extra[MVPRequestCommandKey] = HXPropertyList(command);
        return MVPRequestServer::sendRequest(HXPropertyList(std::move(extra)), 10);
    }

    // The player's documents once `ready` holds for them (or the last list after 30 seconds).
    Array documentsWhen(const std::function<bool(const Array&)>& ready)
    {
        Array last;
        for (int i = 0; i < 300; ++i) {
            if (auto reply = request("documents")) {
                last = (*reply)["documents"].arrayValue();
                if (ready(last))
                    return last;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return last;
    }
    Array documentsOnceRunning()
    {
        return documentsWhen([](const Array&) { return true; });
    }

    void quit(pid_t pid)
    {
        ASSERT_TRUE(request("quit"));
        EXPECT_EQ(waitForExit(pid, 30), 0);
    }

private:
    TempDir _home;
    std::vector<pid_t> _running;
};

} // namespace movara::apptest
