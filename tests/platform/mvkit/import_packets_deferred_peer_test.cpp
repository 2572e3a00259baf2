// A long MPEG transport or program stream or Ogg file opens from its first part and is completed from
// the rest: the rewritten samples reach the cache only once whole, what the movie has in the end is what
// importing the whole file at once gives, and until then it plays from what is there.
#include "audio_capture.h"
#include "deferred_import_support.h"
#include "test_support.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/playback_supply.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>

#include <sys/stat.h>

using namespace movara::test;
using namespace movara::test::deferred;

namespace {

// The finished entries and the unfinished files of the cache folder.
struct CacheFiles {
    std::vector<std::string> entries;
    std::vector<std::string> unfinished;
};

CacheFiles cacheFiles(const std::filesystem::path& cacheHome)
{
    CacheFiles files;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(cacheHome / "movara-player" / "Import", ec))
        (item.path().extension() == ".mov" ? files.entries : files.unfinished)
            .push_back(item.path().filename().string());
    return files;
}

ino_t inode(const std::filesystem::path& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

MVImportOptions deferring()
{
    MVImportOptions options;
    options.deferLongFiles = true;
    options.deferFromFileSize = 0;
    return options;
}

struct Case {
    const char* name;
    std::vector<std::string> output;
    bool rewritten; // some samples go to the cache (else all lie in the file)
};

// Twenty seconds of small pictures with sound, in each container whose samples are rewritten.
const Case kCases[] = {
    { "h264_aac.ts",
        { "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=20", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=20", "-c:v", "libx264", "-preset", "ultrafast", "-bf", "2", "-g",
            "25", "-c:a", "aac" },
        true },
    { "mpeg2_mp2.mpg",
        { "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=20", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=20", "-c:v", "mpeg2video", "-bf", "2", "-g", "12", "-c:a",
            "mp2" },
        true },
    // Pictures larger than an Ogg page holds cross pages: they are not byte ranges of the file, the
    // sound is.
    { "theora_vorbis.ogg",
        { "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=5:duration=20", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=20", "-c:v", "libtheora", "-q:v", "10", "-g", "25", "-c:a",
            "libvorbis" },
        true },
    // Small pages of small packets: everything lies in the file.
    { "theora_opus.ogg",
        { "-f", "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=20", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=20", "-c:v", "libtheora", "-c:a", "libopus" },
        false },
};

TEST(DeferredPackets, TheRestCompletesTheTracksAsReadingTheWholeFileDoes)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    EnvironmentGuard env;
    for (const auto& c : kCases) {
        auto path = makeMovie(dir / c.name, c.output);
        const std::string name = c.name;
        // Each import with a cache of its own, so that none finds the other's samples.
        auto wholeCache = dir / (name + ".whole-cache");
        env.set("XDG_CACHE_HOME", wholeCache.string());
        HXError error;
        auto whole = MVImportMovieFile(path, &error);
        ASSERT_TRUE(whole) << c.name << ": " << error.localizedDescription();
        ASSERT_FALSE(whole->continuation) << c.name;
        ASSERT_EQ(whole->file.movie.tracks.size(), 2u) << c.name;
        ASSERT_EQ(cacheFiles(wholeCache).entries.empty(), !c.rewritten) << c.name;

        auto cache = dir / (name + ".cache");
        env.set("XDG_CACHE_HOME", cache.string());
        auto first = MVImportMovieFile(path, &error, deferring());
        ASSERT_TRUE(first) << c.name << ": " << error.localizedDescription();
        ASSERT_TRUE(first->continuation) << c.name << ": read whole at once";
        EXPECT_NEAR(first->statedDuration, ffprobeDuration(path), 0.1) << c.name;
        const auto& firstTracks = first->file.movie.tracks;
        ASSERT_EQ(firstTracks.size(), whole->file.movie.tracks.size()) << c.name;
        for (size_t i = 0; i < firstTracks.size(); ++i) {
            const auto& table = firstTracks[i].media.information.sampleTable;
            const auto& wholeTable = whole->file.movie.tracks[i].media.information.sampleTable;
            EXPECT_GE(table.sampleCount, 64u) << c.name << " track " << i;
            EXPECT_LT(table.sampleCount, wholeTable.sampleCount) << c.name << " track " << i;
            // The same codec (the bit rates the muxer notes are those of the first part, until the rest).
            ASSERT_EQ(table.sampleDescriptions.size(), 1u) << c.name << " track " << i;
            EXPECT_EQ(table.sampleDescriptions[0].format, wholeTable.sampleDescriptions[0].format)
                << c.name << " track " << i;
        }
        // Nothing in the cache is taken for whole before it is.
        EXPECT_TRUE(cacheFiles(cache).entries.empty()) << c.name;

        auto rest = first->continuation->finish(&error);
        ASSERT_TRUE(rest) << c.name << ": " << error.localizedDescription();
        expectSameTracks(rest->tracks, whole->file.movie.tracks, c.name);
        EXPECT_EQ(cacheFiles(cache).entries.size(), cacheFiles(wholeCache).entries.size()) << c.name;

        // A second open takes the rewritten samples from the cache, as they are; only a file with
        // samples that lie in it is read again.
        auto written = cacheFiles(cache).entries;
        std::map<std::string, ino_t> inodes;
        for (const auto& entry : written)
            inodes[entry] = inode(cache / "movara-player" / "Import" / entry);
        auto again = MVImportMovieFile(path, &error, deferring());
        ASSERT_TRUE(again) << c.name << ": " << error.localizedDescription();
        EXPECT_EQ(again->continuation != nullptr, written.size() < whole->file.movie.tracks.size()) << c.name;
        auto againTracks = again->file.movie.tracks;
        if (again->continuation) {
            auto againRest = again->continuation->finish(&error);
            ASSERT_TRUE(againRest) << c.name << ": " << error.localizedDescription();
            againTracks = againRest->tracks;
        }
        expectSameTracks(againTracks, whole->file.movie.tracks, c.name);
        EXPECT_EQ(cacheFiles(cache).entries, written) << c.name;
        for (const auto& [entry, number] : inodes)
            EXPECT_EQ(inode(cache / "movara-player" / "Import" / entry), number) << c.name << ": " << entry;

        // Once no movie uses the first part, its own samples go.
        first.reset();
        rest.reset();
        again.reset();
        whole.reset();
        EXPECT_EQ(cacheFiles(cache).unfinished, std::vector<std::string> {}) << c.name;
    }
}

TEST(DeferredPackets, ARestNotReadLeavesNothingInTheCacheThatALaterOpenTrusts)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    EnvironmentGuard env;
    env.set("XDG_CACHE_HOME", (dir / "cache").string());
    struct Step {
        const char* name;
        std::function<void(MVImportContinuation&, const std::string& path)> before;
        const char* reason;
    };
    const Step steps[] = {
        { "cancelled", [](MVImportContinuation& c, const std::string&) { c.cancel(); }, "cancelled" },
        { "file grew",
            [](MVImportContinuation&, const std::string& path) {
                std::ofstream(path, std::ios::app | std::ios::binary) << std::string(188, '\0');
            },
            "changed" },
        { "file gone", [](MVImportContinuation&, const std::string& path) { std::filesystem::remove(path); },
            "changed" },
    };
    for (const auto& step : steps) {
        auto path = makeMovie(dir / "movie.ts", kCases[0].output);
        HXError error;
        auto first = MVImportMovieFile(path, &error, deferring());
        ASSERT_TRUE(first && first->continuation) << step.name << ": " << error.localizedDescription();
        step.before(*first->continuation, path);
        EXPECT_FALSE(first->continuation->finish(&error)) << step.name;
        EXPECT_NE(error.localizedDescription().find(step.reason), std::string::npos)
            << step.name << ": " << error.localizedDescription();
        EXPECT_TRUE(cacheFiles(dir / "cache").entries.empty()) << step.name;
        // The first part still plays from its own samples until its movie goes.
        EXPECT_FALSE(cacheFiles(dir / "cache").unfinished.empty()) << step.name;
        first.reset();
        EXPECT_EQ(cacheFiles(dir / "cache").unfinished, std::vector<std::string> {}) << step.name;
    }
}

// Movies opened as the player opens them, with the deferral size lowered.
class DeferredTransportStreamMovie : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg"))
            GTEST_SKIP() << "needs ffmpeg";
        env.set("XDG_CACHE_HOME", (dir / "cache").string());
        path = makeMovie(dir / "movie.ts", kCases[0].output);
        HXError error;
        auto whole = MVImportMovieFile(path, &error);
        ASSERT_TRUE(whole) << error.localizedDescription();
        wholeTracks = whole->file.movie.tracks;
        wholeDuration = whole->file.movie.header.duration; // in the import's 1/1000 s
        whole.reset();
        std::filesystem::remove_all(dir / "cache");
        MVMovieImportOptions().deferFromFileSize = 0;
    }
    void TearDown() override { MVMovieImportOptions() = saved; }

    void runUntilComplete(const MVMovie& m)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline && m.loadState() != MVMovieLoadStateComplete)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05, true);
    }

    void expectWhole(const MVMovie& m, const std::string& what)
    {
        expectCompletedAsWhole(m, wholeTracks, what);
        EXPECT_NEAR(double(m.durationValue()) / m.timeScale(), double(wholeDuration) / 1000, 0.001) << what;
    }

    TempDir dir;
    EnvironmentGuard env;
    std::string path;
    std::vector<MVTrackDescription> wholeTracks;
    uint64_t wholeDuration = 0;
    MVImportOptions saved = MVMovieImportOptions(); // put back after each test
};

TEST_F(DeferredTransportStreamMovie, IsPlayableAtOnceAndCompletesOnItsOwn)
{
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    ASSERT_TRUE(m->isCompletingIndex());
    EXPECT_EQ(m->loadState(), MVMovieLoadStatePlayable);
    EXPECT_NEAR(double(m->durationValue()) / m->timeScale(), ffprobeDuration(path), 0.1)
        << "as long as the file says from the start";
    double loaded = MVGetTimeInterval(m->maxTimeLoaded(), &loaded) ? loaded : -1;
    EXPECT_GT(loaded, 1.0);
    EXPECT_LT(loaded, 10.0);

    std::vector<int64_t> states;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVMovieLoadStateDidChangeNotification, m.get(), [&](const HXNotification& n) {
            states.push_back(n.userInfo().at(MVMovieLoadStateNotificationParameter).integerValue());
        });
    runUntilComplete(*m);
    HXNotificationCenter::defaultCenter().removeObserver(token);
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states.front(), MVMovieLoadStatePlayable);
    EXPECT_EQ(states.back(), MVMovieLoadStateComplete);
    expectWhole(*m, "completed");
    EXPECT_FALSE(m->hasChanged()) << "completing is not an edit";
    EXPECT_FALSE(m->playbackSupply());

    // The second open takes the rewritten samples from the cache: complete at once.
    auto again = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(again) << error.localizedDescription();
    EXPECT_FALSE(again->isCompletingIndex());
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
    expectWhole(*again, "second open");
}

TEST_F(DeferredTransportStreamMovie, PlayingWaitsWhereTheFirstPartEndsAndGoesOnWithTheRest)
{
    // The rest is held back until the player has reached the end of the first part.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    MVMovieImportOptions().beforeReadingTheRest = [released] { released.wait(); };
    struct Release {
        std::promise<void>& promise;
        bool done = false;
        void operator()()
        {
            if (!done)
                promise.set_value();
            done = true;
        }
        ~Release() { (*this)(); } // never leaves the reading thread waiting
    } letGo { release };

    ManualClockScope scope;
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    ASSERT_TRUE(m->isCompletingIndex());
    double firstPartEnd = 0;
    ASSERT_TRUE(MVGetTimeInterval(m->maxTimeLoaded(), &firstPartEnd));
    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    playback->setRate(1);
    for (double t = 0; t < firstPartEnd + 2; t += 0.05)
        scope.clock->advance(0.05);
    EXPECT_TRUE(playback->player().isStalled());
    double held = 0;
    MVGetTimeInterval(playback->currentTime(), &held);
    EXPECT_LE(held, firstPartEnd);
    EXPECT_GT(held, firstPartEnd - 0.5);

    letGo();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline && m->loadState() != MVMovieLoadStateComplete)
        scope.clock->advance(0.01);
    ASSERT_EQ(m->loadState(), MVMovieLoadStateComplete);
    for (int i = 0; i < 40; ++i)
        scope.clock->advance(0.05);
    EXPECT_FALSE(playback->player().isStalled());
    double now = 0;
    MVGetTimeInterval(playback->currentTime(), &now);
    EXPECT_GT(now, firstPartEnd + 1.5) << "it plays on past where the first part ended";
    playback->stop();
}

TEST_F(DeferredTransportStreamMovie, AnEditOrASaveWaitsForTheRest)
{
    const struct {
        const char* name;
        std::function<void(MVMovie&)> action;
    } cases[] = {
        { "copy all",
            [](MVMovie& m) {
                // As long as the file says: the estimate of libavformat, which the tracks may outlast a
                // little.
                const double selected = double(m.durationValue()) / m.timeScale();
                m.setSelection({ MVMakeTime(0, m.timeScale()), m.duration() });
                auto copied = m.copySelection();
                EXPECT_NEAR(double(copied->durationValue()) / copied->timeScale(), selected, 0.001);
            } },
        { "delete the first second",
            [](MVMovie& m) {
                EXPECT_TRUE(m.deleteSegment({ MVMakeTime(0, 1), MVMakeTime(1, 1) }));
            } },
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir / "cache");
        HXError error;
        auto m = MVMovie::movieWithFile(path, &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        ASSERT_TRUE(m->isCompletingIndex()) << c.name;
        c.action(*m);
        expectCompletedAsWhole(*m, wholeTracks, c.name);
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
        EXPECT_EQ(m->loadState(), MVMovieLoadStateComplete) << c.name;
    }

    // Saved whole before the rest was read: the written movie has every sample.
    std::filesystem::remove_all(dir / "cache");
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m && m->isCompletingIndex());
    auto saved = (dir / "saved.mov").string();
    ASSERT_TRUE(m->writeToFile(saved, { { MVMovieFlatten, true } }, &error)) << error.localizedDescription();
    auto back = MVMovie::movieWithFile(saved, &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
    expectWhole(*back, "saved");
}

TEST_F(DeferredTransportStreamMovie, ASaveThatWaitsForTheRestReportsAnImportThatMayBeCancelled)
{
    const struct {
        const char* name;
        bool cancel; // the answer to the second report of the wait
    } cases[] = { { "waited for", false }, { "cancelled", true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir / "cache");
        // The rest is held back until the wait has been reported twice.
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        MVMovieImportOptions().beforeReadingTheRest = [released] { released.wait(); };
        bool releasedYet = false;
        auto letGo = [&] {
            if (!releasedYet)
                release.set_value();
            releasedYet = true;
        };
        HXError error;
        auto m = MVMovie::movieWithFile(path, &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        ASSERT_TRUE(m->isCompletingIndex());
        const size_t firstSamples = m->tracks()[0]->media()->sampleCount();

        struct Report {
            MVMovieProgressMessage message;
            MVMovieProgressOperation operation;
            double fraction;
        };
        std::vector<Report> seen;
        int importPercents = 0;
        m->setProgressProc(
            [&](MVMovieProgressMessage message, MVMovieProgressOperation operation, double fraction) {
                seen.push_back({ message, operation, fraction });
                if (operation == MVMovieProgressOperation::Import
                    && message == MVMovieProgressMessage::Percent && ++importPercents == 2) {
                    letGo();
                    return c.cancel ? 1 : 0;
                }
                return 0;
            });
        auto saved = dir / "saved.mov";
        std::filesystem::remove(saved);
        bool written = m->writeToFile(saved.string(), { { MVMovieFlatten, true } }, &error);
        letGo();
        m->setProgressProc({});

        // The wait came first, as an import: opened, reported in fractions that never go back, closed.
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen[0].message, MVMovieProgressMessage::Open);
        size_t i = 0;
        double last = 0;
        for (; i < seen.size() && seen[i].operation == MVMovieProgressOperation::Import; ++i) {
            EXPECT_GE(seen[i].fraction, last) << i;
            EXPECT_LE(seen[i].fraction, 1.0) << i;
            if (seen[i].message == MVMovieProgressMessage::Percent)
                last = seen[i].fraction;
        }
        ASSERT_GE(i, 3u);
        EXPECT_EQ(seen[i - 1].message, MVMovieProgressMessage::Close);
        EXPECT_FALSE(m->isCompletingIndex());
        if (c.cancel) {
            // The save stops, writing nothing; the movie keeps its first part and says why.
            EXPECT_FALSE(written);
            EXPECT_EQ(error.code(), -128) << error.localizedDescription();
            EXPECT_FALSE(std::filesystem::exists(saved));
            EXPECT_EQ(i, seen.size()) << "nothing was written after the cancel";
            EXPECT_EQ(size_t(m->tracks()[0]->media()->sampleCount()), firstSamples);
            EXPECT_NE(m->loadError().localizedDescription().find("cancelled"), std::string::npos)
                << m->loadError().localizedDescription();
            EXPECT_TRUE(cacheFiles(dir / "cache").entries.empty());
        } else {
            // Then the save itself, reported as a flatten, writes every sample.
            ASSERT_TRUE(written) << error.localizedDescription();
            ASSERT_LT(i, seen.size());
            EXPECT_EQ(seen[i].operation, MVMovieProgressOperation::Flatten);
            EXPECT_EQ(seen[i].message, MVMovieProgressMessage::Open);
            auto back = MVMovie::movieWithFile(saved.string(), &error);
            ASSERT_TRUE(back) << error.localizedDescription();
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
            expectWhole(*back, "saved");
        }
        MVMovieImportOptions().beforeReadingTheRest = {};
    }
}

TEST_F(DeferredTransportStreamMovie, ARestThatCannotBeReadLeavesTheFirstPartAndSaysWhy)
{
    // The file changes between its first part and the rest.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    MVMovieImportOptions().beforeReadingTheRest = [released] { released.wait(); };
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    const size_t firstSamples = m->tracks()[0]->media()->sampleCount();
    std::ofstream(path, std::ios::app | std::ios::binary) << std::string(188, '\0');
    release.set_value();
    runUntilComplete(*m);
    EXPECT_EQ(m->loadState(), MVMovieLoadStateComplete);
    EXPECT_NE(m->loadError().localizedDescription().find("changed"), std::string::npos)
        << m->loadError().localizedDescription();
    EXPECT_EQ(size_t(m->tracks()[0]->media()->sampleCount()), firstSamples);
    EXPECT_TRUE(cacheFiles(dir / "cache").entries.empty());
}

} // namespace
