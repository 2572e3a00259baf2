// Movie files over HTTP played while they arrive, from a python server on loopback that sends slowly
// and answers ranges: playing starts before the transfer ends, the loaded time grows, seeking into the
// loaded part shows the right picture, a header at the end and a seek past the loaded part are fetched
// by range, and a server that stops leaves an error text and a movie that still answers.
#include "audio_capture.h"
#include "decoder_test_support.h"
#include "stream_servers.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace movara::test;

namespace {

// A 10 s movie, 160x120 at 10 pictures per second, every picture a key picture, with sound; the
// header at the start (fast start) or at the end.
bool makeMovie(const std::filesystem::path& path, bool headerFirst)
{
    std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=160x120:rate=10:duration=10", "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=22050:duration=10", "-c:v", "mpeg4", "-g", "1", "-q:v", "4", "-c:a", "aac",
        "-b:a", "32k" };
    if (headerFirst)
        args.insert(args.end(), { "-movflags", "+faststart" });
    args.push_back(path.string());
    return runCommand(args).status == 0 && std::filesystem::exists(path);
}

struct StatusRecorder {
    HXObserverToken token = 0;
    std::vector<std::pair<int64_t, std::string>> statuses; // flags, text
    StatusRecorder()
    {
        token = HXNotificationCenter::defaultCenter().addObserver(
            MVMovieStatusStringPostedNotification, nullptr, [this](const HXNotification& n) {
                const auto& info = n.userInfo();
                statuses.push_back({ info.at(MVMovieStatusFlagsNotificationParameter).integerValue(),
                    info.at(MVMovieStatusStringNotificationParameter).stringValue() });
            });
    }
    ~StatusRecorder() { HXNotificationCenter::defaultCenter().removeObserver(token); }
    std::string lastError() const
    {
        for (auto it = statuses.rbegin(); it != statuses.rend(); ++it)
            if (it->first & MVMovieStatusFlagError)
                return it->second;
        return {};
    }
};

class StreamingHTTPTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("python3"))
            GTEST_SKIP() << "ffmpeg and python3 are needed";
        ASSERT_TRUE(makeMovie(dir / "fast.mov", true));
        ASSERT_TRUE(makeMovie(dir / "late.mov", false));
        size = int64_t(std::filesystem::file_size(dir / "fast.mov"));
        frames = ffmpegFrameHashes((dir / "fast.mov").string());
        ASSERT_EQ(frames.size(), 100u);
    }

    // Opens `name` from a server sending the whole file in about `seconds`.
    std::shared_ptr<MVMovie> open(const std::string& name, double seconds)
    {
        server = std::make_unique<RangeServer>(dir.path(), double(size) / seconds);
        EXPECT_GT(server->port, 0);
        HXError error;
        auto m = MVMovie::movieWithURL(*HXURL::URLWithString(server->url(name)), &error);
        EXPECT_TRUE(m) << error.localizedDescription();
        return m;
    }

    static int64_t seconds(const MVMovie& m, double s) { return int64_t(s * m.timeScale()); }
    static std::string shownPicture(MVMoviePlayback& playback)
    {
        const auto& pictures = playback.player().presentedPictures();
        if (pictures.empty() || !pictures[0].picture.frame)
            return {};
        return pictureMD5(pictures[0].picture.frame->avFrame());
    }

    TempDir dir;
    int64_t size = 0;
    std::vector<FrameLine> frames;
    std::unique_ptr<RangeServer> server;
};

} // namespace

TEST_F(StreamingHTTPTest, PlaysBeforeTheTransferEndsWhileTheLoadedTimeGrows)
{
    auto m = open("fast.mov", 8);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->movieType(), MVMovieTypeLoading);
    ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable; }, 20));
    EXPECT_LT(m->loadState(), MVMovieLoadStateComplete);
    EXPECT_LT(m->maxTimeLoaded().timeValue, m->durationValue());

    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    m->play();
    std::set<int64_t> loaded;
    bool playedWhileLoading = false;
    runLoopUntil(
        [&] {
            loaded.insert(m->maxTimeLoaded().timeValue);
            if (m->loadState() < MVMovieLoadStateComplete && m->currentTime().timeValue > seconds(*m, 1))
                playedWhileLoading = true;
            return m->loadState() == MVMovieLoadStateComplete;
        },
        30);
    EXPECT_TRUE(playedWhileLoading);
    // The load grew in many steps up to the whole movie.
    EXPECT_GE(loaded.size(), 5u);
    EXPECT_EQ(m->maxTimeLoaded().timeValue, m->durationValue());
    EXPECT_EQ(*loaded.rbegin(), m->durationValue());
    m->stop();
}

TEST_F(StreamingHTTPTest, SeekingIntoTheLoadedPartShowsTheRightPicture)
{
    auto m = open("fast.mov", 8);
    ASSERT_TRUE(m);
    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    ASSERT_TRUE(runLoopUntil([&] { return m->maxTimeLoaded().timeValue >= seconds(*m, 3); }, 20));
    ASSERT_LT(m->loadState(), MVMovieLoadStateComplete);
    m->setCurrentTime(MVMakeTime(seconds(*m, 2.55), m->timeScale()));
    runLoopUntil([] { return false; }, 0.1);
    EXPECT_EQ(shownPicture(*playback), frames[25].md5);
}

TEST_F(StreamingHTTPTest, AHeaderAtTheEndAndAPlaceNotLoadedYetAreFetchedByRange)
{
    auto m = open("late.mov", 20);
    ASSERT_TRUE(m);
    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    // The header comes from the end of the file long before the transfer gets there.
    ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable; }, 10));
    EXPECT_LT(m->maxTimeLoaded().timeValue, seconds(*m, 5));
    // A picture near the end shows long before the transfer from the start reaches it.
    m->setCurrentTime(MVMakeTime(seconds(*m, 8.05), m->timeScale()));
    EXPECT_TRUE(runLoopUntil([&] { return shownPicture(*playback) == frames[80].md5; }, 8));
    EXPECT_LT(m->maxTimeLoaded().timeValue, seconds(*m, 8));
    EXPECT_LT(m->loadState(), MVMovieLoadStateComplete);
}

TEST_F(StreamingHTTPTest, AServerThatStopsLeavesAnErrorTextAndAMovieThatAnswers)
{
    StatusRecorder recorder;
    auto m = open("fast.mov", 10);
    ASSERT_TRUE(m);
    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    ASSERT_TRUE(runLoopUntil([&] { return m->maxTimeLoaded().timeValue >= seconds(*m, 2); }, 20));
    m->play();
    server->kill();
    double longestPass = 0;
    ASSERT_TRUE(runLoopUntil([&] { return !recorder.lastError().empty(); }, 20, &longestPass));
    EXPECT_NE(recorder.lastError().find("movie"), std::string::npos) << recorder.lastError();
    // Playing stops where the data ends; the movie is still playable up to there.
    EXPECT_TRUE(runLoopUntil([&] { return !m->isPlaying(); }, 20, &longestPass));
    EXPECT_GE(m->loadState(), MVMovieLoadStatePlayable);
    EXPECT_LT(longestPass, 0.5);
    m->setCurrentTime(MVMakeTime(seconds(*m, 1.05), m->timeScale()));
    EXPECT_EQ(shownPicture(*playback), frames[10].md5);
}

// A server that stops sending halfway without closing: the transfer is asked for once more, the display
// says so, and the movie tells why it stopped within twice the wait for data (10 s), the window
// answering all along. A movie whose header is at the start plays up to there; one whose header had not
// come fails to load.
TEST_F(StreamingHTTPTest, AServerThatStallsHalfwayIsToldWithinItsDeadline)
{
    const struct {
        const char* name;
        bool playable;
    } cases[] = { { "fast.mov", true }, { "late.mov", false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / (std::string(c.name) + ".stall"), std::to_string(size / 2));
        StatusRecorder recorder;
        auto m = open(c.name, 0);
        ASSERT_TRUE(m);
        auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
        if (c.playable) {
            ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable; }, 10));
            m->play();
        }
        const auto started = std::chrono::steady_clock::now();
        double longestPass = 0;
        ASSERT_TRUE(runLoopUntil(
            [&] { return !recorder.lastError().empty() || m->loadState() == MVMovieLoadStateError; }, 40,
            &longestPass));
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 28);
        EXPECT_LT(longestPass, 0.5);
        const std::string error = c.playable ? recorder.lastError() : m->loadError().localizedDescription();
        EXPECT_NE(error.find("no data arrived"), std::string::npos) << error;
        EXPECT_TRUE(std::any_of(recorder.statuses.begin(), recorder.statuses.end(),
            [](const auto& s) { return s.second.find("Reconnecting") != std::string::npos; }));
        if (c.playable) {
            EXPECT_GE(m->loadState(), MVMovieLoadStatePlayable);
            EXPECT_TRUE(runLoopUntil([&] { return !m->isPlaying(); }, 10));
        }
    }
}

// A server that ends every response early, the connection closed: the transfer is taken up again a few
// times and then fails, all before the main thread looked at what arrived. Whatever the file (a movie
// file whose header had not come, another container to import once whole), the movie fails to load.
TEST_F(StreamingHTTPTest, ATransferCutShortEveryTimeFailsToLoad)
{
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-i", (dir / "fast.mov").string(), "-c",
                             "copy", (dir / "fast.mkv").string() })
                  .status,
        0);
    for (const char* name : { "late.mov", "fast.mkv" }) {
        SCOPED_TRACE(name);
        writeFile(
            dir / (std::string(name) + ".cut"), std::to_string(std::filesystem::file_size(dir / name) / 2));
        auto m = open(name, 0);
        ASSERT_TRUE(m);
        // The transfer gives up at once; the main thread hears of it only now.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ASSERT_TRUE(runLoopUntil([&] { return m->loadState() == MVMovieLoadStateError; }, 20))
            << m->loadState();
        const std::string error = m->loadError().localizedDescription();
        EXPECT_NE(error.find("ended the transfer early"), std::string::npos) << error;
    }
}
