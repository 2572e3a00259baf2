// The time display of movies that arrive over the network from real servers on loopback: it shows the
// statuses the movie posts while it connects and buffers, a live stream's own text while it plays, and
// the error text when the server stops, and the window's loop keeps answering meanwhile.
#include "audio_capture.h"
#include "stream_servers.h"

#include "platform/basekit/bundle.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"
#include "player/timeline/lcd_view.h"
#include "player/timeline/message_text_field.h"
#include "player/timeline/scroll_view.h"

#include <gtest/gtest.h>

#include <set>

using namespace movara::test;

namespace {

class StreamStatusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("python3"))
            GTEST_SKIP() << "ffmpeg and python3 are needed";
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        window = std::make_shared<HXWindow>(HXMakeRect(0, 0, 400, 40), HXTitledWindowMask);
        lcd = std::make_shared<MVPLCDView>(HXMakeRect(0, 0, 400, 24));
    }
    void TearDown() override
    {
        lcd.reset();
        window.reset();
        HXApplication::setSharedApplication(nullptr);
    }

    void show(const std::shared_ptr<MVMovie>& movie)
    {
        playback = MVMoviePlayback::playbackForMovie(movie, silentOptions());
        lcd->setMovie(movie);
        window->contentView()->addSubview(lcd);
        app->updateWindows();
    }

    // What the message area shows once it stands still: a message, or "<content>" for the slider.
    std::string shown()
    {
        auto scroller = lcd->scrollView();
        runLoopUntil([&] { return !scroller->isAnimating(); }, 3);
        auto field = std::dynamic_pointer_cast<MVPMessageTextField>(scroller->activeView());
        return field ? field->stringValue() : "<content>";
    }

    // Every text shown while the loop runs for `seconds` or until `done`.
    std::set<std::string> watch(double seconds, std::function<bool()> done = [] { return false; })
    {
        std::set<std::string> texts;
        runLoopUntil(
            [&] {
                if (auto field = std::dynamic_pointer_cast<MVPMessageTextField>(lcd->scrollView()->activeView()))
                    texts.insert(field->stringValue());
                return done();
            },
            seconds);
        return texts;
    }

    static std::string localized(const char* key)
    {
        return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<MVPLCDView> lcd;
    std::shared_ptr<MVMoviePlayback> playback;
};

} // namespace

TEST_F(StreamStatusTest, AServerThatStopsMidMovieLeavesItsErrorOnTheDisplay)
{
    TempDir dir;
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "testsrc=size=160x120:rate=10:duration=10", "-c:v", "mpeg4", "-g", "1", "-q:v", "4", "-movflags",
                  "+faststart", (dir / "movie.mov").string() })
                  .status,
        0);
    RangeServer http(dir.path(), double(std::filesystem::file_size(dir / "movie.mov")) / 10);
    auto movie = MVMovie::movieWithURL(*HXURL::URLWithString(http.url("movie.mov")), nullptr);
    ASSERT_TRUE(movie);
    show(movie);
    ASSERT_TRUE(runLoopUntil([&] { return movie->maxTimeLoaded().timeValue > 2 * movie->timeScale(); }, 20));
    movie->play();
    http.kill();
    double longestPass = 0;
    ASSERT_TRUE(runLoopUntil([&] { return shown().find("The movie stopped arriving") == 0; }, 20, &longestPass))
        << shown();
    EXPECT_LT(longestPass, 0.5);
    // Playing stops where the data ends; the error stays on show.
    EXPECT_TRUE(runLoopUntil([&] { return !movie->isPlaying(); }, 20));
    EXPECT_EQ(shown().find("The movie stopped arriving"), 0u) << shown();
}

TEST_F(StreamStatusTest, ALiveStreamTellsItsStatusesThenShowsItselfAsLive)
{
    TempDir dir;
    ServerProcess encoder({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-re", "-f", "lavfi", "-i",
        "testsrc=size=320x240:rate=25:duration=40", "-c:v", "libx264", "-preset", "ultrafast", "-g", "25",
        "-pix_fmt", "yuv420p", "-f", "hls", "-hls_time", "1", "-hls_playlist_type", "event",
        (dir / "live.m3u8").string() });
    ASSERT_TRUE(runLoopUntil([&] { return std::filesystem::exists(dir / "live2.ts"); }, 20));
    RangeServer http(dir.path());
    auto movie = MVMovie::movieWithURL(*HXURL::URLWithString(http.url("live.m3u8")), nullptr);
    ASSERT_TRUE(movie);
    show(movie);
    auto texts = watch(30, [&] { return movie->loadState() >= MVMovieLoadStatePlayable; });
    EXPECT_TRUE(texts.count("Connecting\u2026")) << *texts.begin();
    ASSERT_GE(movie->loadState(), MVMovieLoadStatePlayable);
    EXPECT_EQ(lcd->movieType(), kLCDMovieTypeLiveBroadcast);
    EXPECT_EQ(shown(), localized("mvpLCDLiveBroadcastPaused"));
    movie->play();
    texts = watch(4);
    EXPECT_TRUE(texts.count("Playing"));
    EXPECT_EQ(shown(), localized("mvpLCDLiveBroadcast"));
    movie->stop();
    EXPECT_EQ(shown(), localized("mvpLCDLiveBroadcastPaused"));

    // The server goes away while it plays: the error stays on show, not the stopped broadcast's text.
    movie->play();
    http.kill();
    encoder.kill();
    ASSERT_TRUE(runLoopUntil([&] { return shown().find("The stream stopped") == 0; }, 40)) << shown();
    EXPECT_FALSE(movie->isPlaying());
}
