// A long Matroska file opens from its first clusters and is completed from the rest: what the movie has
// in the end is what reading the whole file at once gives, and until then it is as long as the file says
// and plays from what is there.
#include "deferred_import_support.h"
#include "test_support.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/import/movie_importer.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/playback_supply.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>

using namespace movara::test;
using movara::test::deferred::expectCompletedAsWhole;
using movara::test::deferred::expectSameTracks;
using movara::test::deferred::ffprobeDuration;

namespace {

std::string makeMovie(const TempDir& dir, const std::string& name, const std::vector<std::string>& output)
{
    return deferred::makeMovie(dir / name, output);
}

TEST(DeferredMatroska, TheRestCompletesTheTracksAsReadingTheWholeFileDoes)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        // Reordered pictures and sound, in clusters of a second.
        { "h264_aac.mkv",
            { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=30", "-f", "lavfi", "-i",
                "sine=sample_rate=48000:duration=30", "-c:v", "libx264", "-preset", "ultrafast", "-bf", "2",
                "-g", "25", "-c:a", "aac", "-cluster_time_limit", "1000" } },
        // As a browser records: clusters and segment of unknown size, sound that starts late.
        { "live.webm",
            { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=30:duration=20", "-f", "lavfi", "-i",
                "sine=sample_rate=48000:duration=20", "-c:v", "libvpx", "-deadline", "realtime", "-c:a",
                "libopus", "-live", "1", "-af", "adelay=300" } },
    };
    for (const auto& c : cases) {
        auto path = makeMovie(dir, c.name, c.output);
        HXError error;
        auto whole = MVImportMovieFile(path, &error);
        ASSERT_TRUE(whole) << c.name << ": " << error.localizedDescription();
        ASSERT_FALSE(whole->continuation) << c.name;

        MVImportOptions options;
        options.deferLongFiles = true;
        options.deferFromFileSize = 0;
        auto first = MVImportMovieFile(path, &error, options);
        ASSERT_TRUE(first) << c.name << ": " << error.localizedDescription();
        ASSERT_TRUE(first->continuation) << c.name << ": read whole at once";
        EXPECT_NEAR(first->statedDuration, ffprobeDuration(path), 0.05) << c.name;
        const auto& firstTracks = first->file.movie.tracks;
        ASSERT_EQ(firstTracks.size(), whole->file.movie.tracks.size()) << c.name;
        for (size_t i = 0; i < firstTracks.size(); ++i) {
            uint32_t firstCount = firstTracks[i].media.information.sampleTable.sampleCount;
            EXPECT_GE(firstCount, 64u) << c.name << " track " << i;
            EXPECT_LT(firstCount, whole->file.movie.tracks[i].media.information.sampleTable.sampleCount)
                << c.name << " track " << i;
            EXPECT_EQ(firstTracks[i].media.information.sampleTable.sampleDescriptions,
                whole->file.movie.tracks[i].media.information.sampleTable.sampleDescriptions)
                << c.name << " track " << i;
        }

        auto rest = first->continuation->finish(&error);
        ASSERT_TRUE(rest) << c.name << ": " << error.localizedDescription();
        expectSameTracks(rest->tracks, whole->file.movie.tracks, c.name);
    }
}

TEST(DeferredMatroska, ACancelledRestEndsSoonAndCompletesNothing)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto path = makeMovie(dir, "movie.mkv",
        { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=20", "-c:v", "libx264", "-preset",
            "ultrafast" });
    MVImportOptions options;
    options.deferLongFiles = true;
    options.deferFromFileSize = 0;
    HXError error;
    auto first = MVImportMovieFile(path, &error, options);
    ASSERT_TRUE(first && first->continuation);
    first->continuation->cancel();
    EXPECT_FALSE(first->continuation->finish(&error));
    EXPECT_NE(error.localizedDescription().find("cancelled"), std::string::npos)
        << error.localizedDescription();
}

// A file long enough to be opened from its first part: about 50 MB of lossless pictures and sound.
class LongMatroskaMovie : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg"))
            GTEST_SKIP() << "needs ffmpeg";
        auto piece = makeMovie(dir, "piece.mkv",
            { "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=12", "-f", "lavfi", "-i",
                "sine=sample_rate=48000:duration=12", "-c:v", "libx264", "-preset", "ultrafast", "-qp", "0",
                "-g", "25", "-c:a", "aac" });
        path = makeMovie(dir, "long.mkv", { "-stream_loop", "8", "-i", piece, "-c", "copy" });
        ASSERT_GT(std::filesystem::file_size(path), uint64_t(32) << 20) << "the file must count as long";
        HXError error;
        auto whole = MVImportMovieFile(path, &error);
        ASSERT_TRUE(whole);
        wholeTracks = whole->file.movie.tracks;
        wholeDuration = whole->file.movie.header.duration; // in the import's 1/1000 s
    }

    void runUntilComplete(const MVMovie& m)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline && m.loadState() != MVMovieLoadStateComplete)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05, true);
    }

    void expectWhole(const MVMovie& m)
    {
        EXPECT_FALSE(m.isCompletingIndex());
        ASSERT_EQ(m.tracks().size(), wholeTracks.size());
        for (size_t i = 0; i < wholeTracks.size(); ++i)
            EXPECT_EQ(uint64_t(m.tracks()[i]->media()->sampleCount()),
                wholeTracks[i].media.information.sampleTable.sampleCount)
                << "track " << i;
        EXPECT_NEAR(double(m.durationValue()) / m.timeScale(), double(wholeDuration) / 1000, 0.001);
    }

    TempDir dir;
    std::string path;
    std::vector<MVTrackDescription> wholeTracks;
    uint64_t wholeDuration = 0;
};

TEST_F(LongMatroskaMovie, PlaysFromItsFirstPartAndCompletesOnItsOwn)
{
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    // Nothing has run the run loop yet: the rest cannot have been given to the movie.
    ASSERT_TRUE(m->isCompletingIndex());
    EXPECT_EQ(m->loadState(), MVMovieLoadStatePlayable);
    EXPECT_NEAR(double(m->durationValue()) / m->timeScale(), ffprobeDuration(path), 0.05)
        << "as long as the file says from the start";
    double loaded = MVGetTimeInterval(m->maxTimeLoaded(), &loaded) ? loaded : -1;
    EXPECT_GT(loaded, 1.0);
    EXPECT_LT(loaded, double(m->durationValue()) / m->timeScale());
    auto supply = m->playbackSupply();
    ASSERT_TRUE(supply) << "the player waits where the first part ends";
    EXPECT_FALSE(supply->isFinished());

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
    expectWhole(*m);
    EXPECT_FALSE(m->playbackSupply());
    EXPECT_FALSE(m->hasChanged()) << "completing is not an edit";
}

TEST_F(LongMatroskaMovie, AnEditOrASaveWaitsForTheRest)
{
    struct Case {
        const char* name;
        std::function<void(MVMovie&)> action;
    };
    const Case cases[] = {
        { "copy all",
            [](MVMovie& m) {
                m.setSelection({ MVMakeTime(0, m.timeScale()), m.duration() });
                auto copied = m.copySelection();
                EXPECT_NEAR(double(copied->durationValue()) / copied->timeScale(),
                    double(m.durationValue()) / m.timeScale(), 0.001);
            } },
        { "delete the first second",
            [](MVMovie& m) {
                EXPECT_TRUE(m.deleteSegment({ MVMakeTime(0, 1), MVMakeTime(1, 1) }));
            } },
    };
    for (const auto& c : cases) {
        HXError error;
        auto m = MVMovie::movieWithFile(path, &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        ASSERT_TRUE(m->isCompletingIndex()) << c.name;
        c.action(*m);
        expectCompletedAsWhole(*m, wholeTracks, c.name);
        // What the run loop still holds for the movie changes nothing more.
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
        EXPECT_EQ(m->loadState(), MVMovieLoadStateComplete) << c.name;
    }

    // Saved whole: the written movie has every sample.
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m && m->isCompletingIndex());
    auto saved = (dir / "saved.mov").string();
    ASSERT_TRUE(m->writeToFile(saved, { { MVMovieFlatten, true } }, &error)) << error.localizedDescription();
    auto back = MVMovie::movieWithFile(saved, &error);
    ASSERT_TRUE(back) << error.localizedDescription();
    expectWhole(*back);
}

TEST_F(LongMatroskaMovie, ClosingWhileTheRestIsReadEndsTheReading)
{
    HXError error;
    auto m = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(m && m->isCompletingIndex());
    m.reset(); // joins the reading thread
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.1);
}

} // namespace
