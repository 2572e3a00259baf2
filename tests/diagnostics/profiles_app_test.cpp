// Profiling runs of the real movara-player (headless): each switch makes the program measure itself,
// write its results and end; the result files are read with python's plistlib.
#include "diagnostics/test_measurement.h"

#include "test_support.h"
#include "program_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using movara::test::TempDir;

const std::string kProgram = std::string(MOVARA_BUNDLE_DIR) + "/bin/movara-player";

using movara::test::readWithPlistlib;

class ProfileRun {
public:
    ProfileRun()
    {
        fs::create_directories(_home / "config");
        fs::create_directories(_home / "runtime");
        fs::permissions(_home / "runtime", fs::perms::owner_all);
    }
    fs::path path(const std::string& name) const { return _home / name; }
    std::string errors() const { return movara::test::readFile(_home / "stderr.txt"); }

    // A short movie with pictures and sound.
    std::string movie(double seconds)
    {
        std::string file = (_home / "clip.mov").string();
        std::string d = std::to_string(seconds);
        auto made = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
            "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=" + d, "-f", "lavfi", "-i",
            "sine=duration=" + d, "-c:v", "mpeg4", "-c:a", "aac", "-shortest", file });
        EXPECT_EQ(made.status, 0);
        return file;
    }

    // Starts the program headless, in a session of its own, with the profiling variables `extra`.
    void start(const std::vector<std::string>& args, const std::vector<std::string>& extra)
    {
        auto env = movara::test::environmentWith(
            { "DISPLAY=", "WAYLAND_DISPLAY=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=",
                "MOVARA_BUNDLE_DIR=", "MOVIEPLAYER", "MVPLAYER" },
            { "XDG_CONFIG_HOME=" + (_home / "config").string(), "XDG_DATA_HOME=" + (_home / "data").string(),
                "XDG_RUNTIME_DIR=" + (_home / "runtime").string(),
                std::string("MOVARA_BUNDLE_DIR=") + MOVARA_BUNDLE_DIR });
        env.insert(env.end(), extra.begin(), extra.end());
        std::vector<std::string> argv { kProgram };
        argv.insert(argv.end(), args.begin(), args.end());
        _program.start(argv, env, (_home / "stderr.txt").string());
    }
    int waitForExit(double seconds) { return _program.waitForExit(seconds); }

private:
    TempDir _home;
    movara::test::StartedProgram _program;
};

bool havePeers()
{
    return movara::test::haveProgram("ffmpeg") && movara::test::haveProgram("python3");
}

const char* kTimeKeys[] = { "MVTestWallClockTime", "MVTestAccumulatedWallClockTime", "MVTestUserCPUTime",
    "MVTestAccumulatedUserCPUTime", "MVTestSystemCPUTime", "MVTestAccumulatedSystemCPUTime" };

TEST(ProfilesApp, PlaybackProfileRunsFromPlayToStopThenQuits)
{
    if (!havePeers())
        GTEST_SKIP() << "ffmpeg or python3 is missing";
    ProfileRun run;
    std::string movie = run.movie(3);
    fs::path results = run.path("playback.plist");
    run.start(
        { movie }, { "MVPLAYERPLAYBACKPROFILE=1", "MVPLAYERPLAYBACKRESULTSPATH=" + results.string() + "\n" });
    ASSERT_EQ(run.waitForExit(90), 0) << "the program ends itself at the movie's end";
    auto entries = readWithPlistlib(results.string());
    for (const char* key : kTimeKeys)
        EXPECT_EQ(entries[key].type, "int") << key;
    EXPECT_GE(entries["MVTestWallClockTime"].number(), 2.0e6) << "play to stop of a three-second movie";
    EXPECT_EQ(entries["playback_resident_memory"].type, "int");
    EXPECT_GT(entries["playback_resident_memory"].number(), 0);
    ASSERT_EQ(entries["playback_avg_framerate"].type, "float") << "more than two samples in three seconds";
    EXPECT_GT(entries["playback_avg_framerate"].number(), 0);
    EXPECT_LT(entries["playback_avg_framerate"].number(), 200);
    EXPECT_EQ(entries["SubProcesses_#TH"].type, "int");
}

TEST(ProfilesApp, ResizeProfileHalvesAndDoublesForTheMoviesLengthThenQuits)
{
    if (!havePeers())
        GTEST_SKIP() << "ffmpeg or python3 is missing";
    ProfileRun run;
    std::string movie = run.movie(1.5);
    fs::path results = run.path("resize.plist");
    auto started = std::chrono::steady_clock::now();
    run.start({ movie }, { "MVPLAYERRESIZEPROFILE=1", "MVPLAYERRESIZERESULTSPATH=" + results.string() });
    ASSERT_EQ(run.waitForExit(90), 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 1.5);
    auto entries = readWithPlistlib(results.string());
    EXPECT_EQ(entries["playback_avg_frameresizecount"].type, "int");
    EXPECT_GE(entries["playback_avg_frameresizecount"].number(), 2) << "the window was resized";
    EXPECT_GE(entries["MVTestWallClockTime"].number(), 1.5e6);
    EXPECT_EQ(entries.count("playback_avg_framerate"), 0u) << "nothing played, so no frame rate";
    EXPECT_EQ(entries["playback_resident_memory"].type, "int");
}

TEST(ProfilesApp, ResizeProfileWhilePlayingEndsAtTheMoviesEnd)
{
    if (!havePeers())
        GTEST_SKIP() << "ffmpeg or python3 is missing";
    ProfileRun run;
    std::string movie = run.movie(1.5);
    fs::path results = run.path("resize.plist");
    run.start({ movie },
        { "MVPLAYERRESIZEPROFILE=1", "MVPLAYERPLAYISPLAYBACKRESIZE=1",
            "MVPLAYERRESIZERESULTSPATH=" + results.string() });
    ASSERT_EQ(run.waitForExit(90), 0);
    auto entries = readWithPlistlib(results.string());
    EXPECT_GE(entries["playback_avg_frameresizecount"].number(), 2);
    EXPECT_GE(entries["MVTestWallClockTime"].number(), 1.0e6);
    EXPECT_LT(entries["MVTestWallClockTime"].number(), 30e6) << "the run is bounded even if playback stalls";
    ASSERT_EQ(entries["playback_avg_framerate"].type, "float");
    EXPECT_GT(entries["playback_avg_framerate"].number(), 0);
    EXPECT_LT(entries["playback_avg_framerate"].number(), 200);
}

TEST(ProfilesApp, LaunchIsMeasuredFromTheLaunchersStart)
{
    if (!havePeers())
        GTEST_SKIP() << "ffmpeg or python3 is missing";
    ProfileRun run;
    fs::path results = run.path("launch.plist");
    MVTestTime launcher {};
    MVTestTimeBegin(&launcher);
    ASSERT_EQ(MVTestWriteStartTimeToEnvVar(&launcher, "MOVARA_PROFILE_BEFORE"), kMVTestNoErr);
    std::string before = std::getenv("MOVARA_PROFILE_BEFORE");
    unsetenv("MOVARA_PROFILE_BEFORE");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    run.start({},
        { "MOVIEPLAYERLAUNCHPROFILE=1", "MOVIEPLAYERRESULTSPATH=" + results.string(),
            "MOVIEPLAYERBEFORETIME=" + before });
    ASSERT_EQ(run.waitForExit(120), 0);
    auto entries = readWithPlistlib(results.string());
    EXPECT_GE(entries["MVTestWallClockTime"].number(), 300000) << "the launcher's 300 ms are included";
    EXPECT_LT(entries["MVTestWallClockTime"].number(), 60e6);
    EXPECT_EQ(entries["launch_resident_memory"].type, "int");
    EXPECT_GT(entries["launch_resident_memory"].number(), 0);
}

TEST(ProfilesApp, OpenProfileTimesTheLaunchAndReadsMemoryTwice)
{
    if (!havePeers())
        GTEST_SKIP() << "ffmpeg or python3 is missing";
    ProfileRun run;
    std::string movie = run.movie(1);
    fs::path results = run.path("open.plist");
    MVTestTime launcher {};
    MVTestTimeBegin(&launcher);
    ASSERT_EQ(MVTestWriteStartTimeToEnvVar(&launcher, "MOVARA_PROFILE_BEFORE"), kMVTestNoErr);
    std::string before = std::getenv("MOVARA_PROFILE_BEFORE");
    unsetenv("MOVARA_PROFILE_BEFORE");
    run.start({ movie },
        { "MOVIEPLAYEROPENPROFILE=1", "MOVIEPLAYERRESULTSPATH=" + results.string(),
            "MOVIEPLAYERBEFORESECONDS=" + before });
    ASSERT_EQ(run.waitForExit(120), 0);
    auto entries = readWithPlistlib(results.string());
    for (const char* key : kTimeKeys)
        EXPECT_EQ(entries[std::string("total_launch.") + key].type, "int") << key;
    EXPECT_GT(entries["total_launch.MVTestWallClockTime"].number(), 0);
    EXPECT_GT(entries["resident_memory_showWindows"].number(), 0);
    EXPECT_GT(entries["resident_memory_didLaunch"].number(), 0);
}

TEST(ProfilesApp, SelfTestRunsEachTestOnceThenQuits)
{
    ProfileRun run;
    run.start({}, { "MVPLAYERSELFTEST=0 0" });
    ASSERT_EQ(run.waitForExit(120), 0);
    std::string log = run.errors();
    const char* lines[] = {
        "MVPSelfTest: Iteration:1 Message: Running test 1 [Open and loop movie file ",
        "MVPSelfTest: Iteration:2 Message: Running test 2 [Open image file",
        "MVPSelfTest: Iteration:3 Message: Running test 3 [Open audio file",
        "MVPSelfTest: End of test: closing all open movies\n",
    };
    size_t at = 0;
    for (const char* line : lines) {
        auto found = log.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "\nin\n" << log;
        at = found == std::string::npos ? at : found;
    }
    EXPECT_EQ(log.find("Failed to open file [" + std::string(MOVARA_BUNDLE_DIR)), std::string::npos)
        << "the introduction movie opens";
}

TEST(ProfilesApp, SelfTestOfAnUnknownNumberStopsAtOnce)
{
    ProfileRun run;
    run.start({}, { "MVPLAYERSELFTEST=7 30" });
    ASSERT_EQ(run.waitForExit(60), 0);
    std::string log = run.errors();
    EXPECT_NE(log.find("MVPSelfTest: ERROR: unknown test 7; aborting\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("End of test"), std::string::npos);
}

} // namespace
