// The player, or the worker that saves in the background, killed (SIGKILL) at each moment of a save: the
// movie that was there is still there, byte for byte (an update in place keeps every byte it had and still
// opens as the old movie), and nothing half-written takes the target's name or stays behind.
#include "player_user.h"

#include "platform/mvkit/atoms/movie_file_reader.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <future>

namespace {

using namespace movara::apptest;
namespace fs = std::filesystem;

// The state letter of `pid` ('T' when stopped), or 0 when it is gone.
char processState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() ? 0 : line[close + 2];
}

// The worker the player started, once there is one.
pid_t workerOf(pid_t player)
{
    for (int i = 0; i < 300; ++i) {
        if (DIR* proc = ::opendir("/proc")) {
            while (dirent* e = ::readdir(proc)) {
                pid_t pid = std::atoi(e->d_name);
                if (pid <= 0)
                    continue;
                std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
                std::string line;
                std::getline(stat, line);
                auto close = line.rfind(')');
                if (close == std::string::npos || line.find("(MVPlayerHelper)") == std::string::npos)
                    continue;
                int parent = 0;
                char state = 0;
                if (std::sscanf(line.c_str() + close + 2, "%c %d", &state, &parent) == 2 && parent == player) {
                    ::closedir(proc);
                    return pid;
                }
            }
            ::closedir(proc);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

bool waitUntilStopped(pid_t pid)
{
    for (int i = 0; i < 600; ++i) {
        char s = processState(pid);
        if (s == 'T' || s == 't')
            return true;
        if (s == 0 || s == 'Z')
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<std::string> filesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int64_t movieDuration(const fs::path& path)
{
    auto file = MVReadMovieFile(path.string(), nullptr);
    return file ? int64_t(file->movie.header.duration) : -1;
}

enum class Save { SelfContainedOver, SelfContainedNew, ReferenceNew, InPlace, Background };
enum class Killed { Player, Worker, PlayerWhileWorkerWaits };

TEST(SaveCrashAppTest, AKillAtAnyMomentOfASaveLosesNothing)
{
    struct Case {
        const char* stage;
        Save save;
        Killed killed;
    };
    const Case cases[] = {
        { "created", Save::SelfContainedOver, Killed::Player },
        { "header", Save::SelfContainedOver, Killed::Player },
        { "samples", Save::SelfContainedOver, Killed::Player },
        { "written", Save::SelfContainedOver, Killed::Player },
        { "samples", Save::SelfContainedNew, Killed::Player },
        { "written", Save::SelfContainedNew, Killed::Player },
        { "created", Save::ReferenceNew, Killed::Player },
        { "samples", Save::ReferenceNew, Killed::Player },
        { "written", Save::ReferenceNew, Killed::Player },
        { "update-data", Save::InPlace, Killed::Player },
        { "update-header-partial", Save::InPlace, Killed::Player },
        { "update-header", Save::InPlace, Killed::Player },
        { "header", Save::Background, Killed::Worker },
        { "samples", Save::Background, Killed::Worker },
        { "written", Save::Background, Killed::Worker },
        { "flatten-written", Save::Background, Killed::Worker },
        { "samples", Save::Background, Killed::PlayerWhileWorkerWaits },
        { "flatten-written", Save::Background, Killed::PlayerWhileWorkerWaits },
    };
    for (const auto& c : cases) {
        static const char* saves[] = { "self-contained over the movie", "self-contained to a new file",
            "reference to a new file", "update in place", "background flatten over the movie" };
        static const char* killed[] = { "player killed", "worker killed", "player killed, worker left" };
        SCOPED_TRACE(std::string(saves[int(c.save)]) + ", " + killed[int(c.killed)] + " at \u201c" + c.stage + "\u201d");
        PlayerUser user;
        auto folder = user.folder() / "movies";
        fs::create_directories(folder);
        auto movie = folder / "a.mov";
        makeTestMovie(movie);
        const std::string original = movara::test::readFile(movie);
        const int64_t duration = movieDuration(movie);
        ASSERT_GT(duration, 0);
        const auto before = filesIn(folder);
        if (c.save == Save::Background)
            user.setMediaKeys({ { "MVPlayerSaveAsOnlyAsync", HXPropertyList(Array { HXPropertyList("enable") }) } });

        pid_t player = user.start({ "--no-featured-movie", movie.string() },
            { std::string("MOVARA_STOP_AT_SAVE_STAGE=") + c.stage });
        ASSERT_EQ(user.documentsWhen([](const Array& d) { return d.size() == 1; }).size(), 1u);

        auto target = c.save == Save::SelfContainedNew || c.save == Save::ReferenceNew ? folder / "b.mov" : movie;
        Dict request { { MVPRequestCommandKey, HXPropertyList("script") },
            { "target",
                HXPropertyList(Dict { { "form", HXPropertyList("index") }, { "key", HXPropertyList("movies") },
                    { "value", HXPropertyList(int64_t(0)) } }) } };
        switch (c.save) {
        case Save::SelfContainedOver:
        case Save::SelfContainedNew:
        case Save::Background:
            request["event"] = HXPropertyList("saveSelfContained");
            request["arguments"] = HXPropertyList(Dict { { "DestinationFile", HXPropertyList(target.string()) } });
            break;
        case Save::ReferenceNew:
            request["event"] = HXPropertyList("save");
            request["arguments"] = HXPropertyList(Dict { { "In", HXPropertyList(target.string()) } });
            break;
        case Save::InPlace:
            request["event"] = HXPropertyList("save");
            break;
        }
        // The request gets no answer from a player that is stopped and then killed.
        auto reply = std::async(std::launch::async,
            [request] { return MVPRequestServer::sendRequest(HXPropertyList(request), 20); });

        pid_t stopped = c.killed == Killed::Player ? player : workerOf(player);
        ASSERT_GT(stopped, 0) << "no worker";
        ASSERT_TRUE(waitUntilStopped(stopped)) << "the save never reached the stage";
        if (c.killed == Killed::PlayerWhileWorkerWaits) {
            ASSERT_EQ(::kill(player, SIGKILL), 0);
            EXPECT_EQ(user.waitForExit(player, 10), 128 + SIGKILL);
            // The worker goes on, finds its player gone, and ends without touching the target.
            ::kill(stopped, SIGCONT);
            for (int i = 0; i < 200 && processState(stopped) != 0 && processState(stopped) != 'Z'; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_TRUE(processState(stopped) == 0 || processState(stopped) == 'Z') << "the worker outlived its player";
        } else {
            ASSERT_EQ(::kill(stopped, SIGKILL), 0);
            if (c.killed == Killed::Player) {
                EXPECT_EQ(user.waitForExit(player, 10), 128 + SIGKILL);
            }
        }
        reply.wait();

        if (c.save == Save::InPlace) {
            // Every byte the file had is still there, and it opens as the movie it was.
            std::string now = movara::test::readFile(movie);
            ASSERT_GE(now.size(), original.size());
            EXPECT_TRUE(now.compare(0, original.size(), original) == 0);
            EXPECT_EQ(movieDuration(movie), duration);
        } else {
            EXPECT_TRUE(movara::test::readFile(movie) == original) << "the original changed";
        }
        // Nothing else in the folder: no file under the target's name, no temporary left behind (the
        // player that lives deletes what its killed worker left).
        std::vector<std::string> now;
        for (int i = 0; i < 100; ++i) {
            now = filesIn(folder);
            if (now == before)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(now, before);
    }
}

} // namespace
