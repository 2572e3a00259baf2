// Fast-rate play on a real movie file: the key frames it shows are the ones ffprobe finds in the file,
// in order, and the movie's playback follows each jump.
#include "player/controls/movie_fast_rate_player.h"
#include "player/controls/movie_jog_shuttle.h"

#include "document/movie_additions.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using movara::test::haveProgram;
using movara::test::runCommand;
using movara::test::TempDir;

class FastRatePeerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
            GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        setenv("MOVARA_SILENT_AUDIO", "1", 1);
        loop.setClock(clock);
        // Four seconds at 24 frames a second, a key frame every 10 frames, no reordered frames.
        path = (dir / "keyframes.mov").string();
        auto made = runCommand(
            { "ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=24:duration=4",
                "-c:v", "mpeg4", "-g", "10", "-bf", "0", "-pix_fmt", "yuv420p", path });
        ASSERT_EQ(made.status, 0);
    }
    void TearDown() override { loop.setClock(nullptr); }

    // The times in seconds of the key frames, as ffprobe reads them.
    std::vector<double> keyFrameTimes() const
    {
        auto probe = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
            "packet=pts_time,flags", "-of", "csv=p=0", path });
        EXPECT_EQ(probe.status, 0);
        std::vector<double> times;
        std::istringstream lines(probe.output);
        for (std::string line; std::getline(lines, line);) {
            auto comma = line.find(',');
            if (comma != std::string::npos && line.find('K', comma) != std::string::npos)
                times.push_back(std::stod(line.substr(0, comma)));
        }
        return times;
    }

    HXRunLoop& loop = HXRunLoop::main();
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    TempDir dir;
    std::string path;
};

double seconds(MVTime time)
{
    double s = 0;
    MVGetTimeInterval(time, &s);
    return s;
}

TEST_F(FastRatePeerTest, ShowsTheFilesKeyFramesInOrder)
{
    auto keys = keyFrameTimes();
    ASSERT_GE(keys.size(), 9u);
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto playback = MVMoviePlayback::playbackForMovie(movie);

    // At 8× a key frame every 10/24 s comes every 10/192 s; step the clock a little at a time and note
    // every time the movie shows.
    MVPMovieJogShuttle shuttle(movie);
    shuttle.setRate(8);
    EXPECT_TRUE(MVPMovieAdditions::isForcedToAppearToBePlaying(movie));
    std::vector<double> shown = { seconds(movie->currentTime()) };
    for (int i = 0; i < 200 && MVPMovieAdditions::isForcedToAppearToBePlaying(movie); ++i) {
        clock->advance(0.01);
        double now = seconds(movie->currentTime());
        if (now != shown.back()) {
            shown.push_back(now);
            EXPECT_NEAR(seconds(playback->currentTime()), now, 1e-6) << "the playback follows";
        }
    }
    EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(movie));
    EXPECT_FLOAT_EQ(movie->rate(), 0);

    // Every key frame, then the end of the movie.
    ASSERT_EQ(shown.size(), keys.size() + 1);
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_NEAR(shown[i], keys[i], 1e-3) << i;
    EXPECT_NEAR(shown.back(), seconds(movie->duration()), 1e-6);
    shuttle.reset();
}

TEST_F(FastRatePeerTest, BackwardFromTheEndReachesTheStart)
{
    auto keys = keyFrameTimes();
    ASSERT_FALSE(keys.empty());
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    movie->setCurrentTime(movie->duration());
    MVPMovieFastRatePlayer player(movie);
    player.setRate(-8);
    player.start();
    std::vector<double> shown = { seconds(movie->currentTime()) };
    for (int i = 0; i < 200 && player.isRunning(); ++i) {
        clock->advance(0.01);
        double now = seconds(movie->currentTime());
        if (now != shown.back())
            shown.push_back(now);
    }
    EXPECT_FALSE(player.isRunning());
    // The key frames backward, from the last to the first (at 0, where it stops).
    ASSERT_EQ(shown.size(), keys.size() + 1);
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_NEAR(shown[i + 1], keys[keys.size() - 1 - i], 1e-3) << i;
}

} // namespace
