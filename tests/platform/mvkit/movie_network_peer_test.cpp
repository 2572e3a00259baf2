// Movies opened from a network URL: fetched from a loopback HTTP server (python3) on a worker thread,
// with the load states arriving on the main run loop.
#include "movie_peer_fixtures.h"
#include "platform/basekit/file_manager.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

const char* serverScript = R"(
import http.server, os, sys
os.chdir(sys.argv[1])
class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)";

// A loopback HTTP server over a folder, ended with the test.
class LoopbackServer {
public:
    explicit LoopbackServer(const std::filesystem::path& folder)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        _pid = fork();
        if (_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            execlp("python3", "python3", "-c", serverScript, folder.c_str(), nullptr);
            _exit(127);
        }
        close(fds[1]);
        std::string line;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            line.push_back(c);
        close(fds[0]);
        port = line.empty() ? 0 : std::stoi(line);
    }
    ~LoopbackServer()
    {
        if (_pid > 0) {
            kill(_pid, SIGTERM);
            waitpid(_pid, nullptr, 0);
        }
    }
    int port = 0;

private:
    pid_t _pid = -1;
};

class NetworkMovieTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveProgram("ffmpeg") || !haveProgram("python3"))
            GTEST_SKIP() << "ffmpeg and python3 are needed";
        source = dir / "source.mov";
        ASSERT_TRUE(makeMovie(source, 3));
        server = std::make_unique<LoopbackServer>(dir.path());
        ASSERT_GT(server->port, 0);
        token = HXNotificationCenter::defaultCenter().addObserver(
            MVMovieLoadStateDidChangeNotification, nullptr, [this](const HXNotification& n) {
                states.push_back(n.userInfo().at(MVMovieLoadStateNotificationParameter).integerValue());
            });
    }
    void TearDown() override
    {
        if (token)
            HXNotificationCenter::defaultCenter().removeObserver(token);
    }

    HXURL url(const std::string& name) const
    {
        return *HXURL::URLWithString("http://127.0.0.1:" + std::to_string(server->port) + "/" + name);
    }

    // Runs the main loop until the movie is complete or failed.
    void waitForLoad(const MVMovie& m)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline
            && !(m.loadState() == MVMovieLoadStateComplete || m.loadState() == MVMovieLoadStateError))
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05, true);
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    }

    TempDir dir;
    std::filesystem::path source;
    std::unique_ptr<LoopbackServer> server;
    HXObserverToken token = 0;
    std::vector<int64_t> states;
};

TEST_F(NetworkMovieTest, LoadsThroughTheStatesAndPlaysLikeTheFile)
{
    HXError error;
    ASSERT_TRUE(MVMovie::canInitWithURL(url("source.mov")));
    auto m = MVMovie::movieWithURL(url("source.mov"), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    EXPECT_EQ(m->loadState(), MVMovieLoadStateLoading);
    EXPECT_EQ(m->trackCount(), 0);
    waitForLoad(*m);
    EXPECT_EQ(states,
        (std::vector<int64_t> { MVMovieLoadStateLoading, MVMovieLoadStateLoaded, MVMovieLoadStatePlayable,
            MVMovieLoadStatePlaythroughOK, MVMovieLoadStateComplete }));
    ASSERT_EQ(m->trackCount(), 2);
    EXPECT_FALSE(m->canUpdateMovieFile());
    auto saved = dir / "saved.mov";
    ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
    EXPECT_EQ(frameHashes(saved), frameHashes(source));
}

TEST_F(NetworkMovieTest, AnImportedFileKeepsItsSubtitles)
{
    writeFile(dir / "cues.srt", "1\n00:00:00,000 --> 00:00:01,000\nHello\n\n");
    auto made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=10:duration=2", "-i", (dir / "cues.srt").string(), "-c:v", "mjpeg", "-c:s", "srt",
        (dir / "subtitles.mkv").string() });
    ASSERT_EQ(made.status, 0) << made.output;
    HXError error;
    auto m = MVMovie::movieWithURL(url("subtitles.mkv"), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    waitForLoad(*m);
    ASSERT_EQ(m->loadState(), MVMovieLoadStateComplete);
    EXPECT_EQ(m->tracksOfMediaType(MVFourCC("vide")).size(), 1u);
    ASSERT_EQ(m->subtitleTracks().size(), 1u);
    EXPECT_TRUE(m->subtitleTracks()[0]->isEnabled());
}

TEST_F(NetworkMovieTest, AFragmentedFileArrivesWhole)
{
    struct Case {
        const char* name;
        const char* movflags;
    };
    const Case cases[] = {
        { "empty.mp4", "frag_keyframe+empty_moov" },
        { "header_samples.mp4", "frag_keyframe" }, // the header holds the first fragment's samples
        { "negative.mp4", "frag_keyframe+empty_moov+negative_cts_offsets" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = dir / c.name;
        auto made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
            "testsrc=size=64x48:rate=25:duration=2", "-c:v", "mpeg4", "-g", "10", "-bf", "2", "-movflags",
            c.movflags, path.string() });
        ASSERT_EQ(made.status, 0) << made.output;
        auto probed = runCommand({ "ffprobe", "-v", "error", "-count_packets", "-show_entries",
            "stream=nb_read_packets:format=duration,start_time", "-of", "default=nw=1:nk=1", path.string() });
        std::istringstream in(probed.output);
        int64_t packets = 0;
        double start = 0, duration = 0;
        in >> packets >> start >> duration;
        ASSERT_EQ(packets, 50);

        HXError error;
        auto m = MVMovie::movieWithURL(url(c.name), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        waitForLoad(*m);
        ASSERT_EQ(m->loadState(), MVMovieLoadStateComplete);
        auto video = m->tracksOfMediaType(MVFourCC("vide"));
        ASSERT_EQ(video.size(), 1u);
        EXPECT_EQ(video[0]->media()->sampleCount(), packets);
        EXPECT_NEAR(double(m->durationValue()) / m->timeScale(), start + duration, 1.0 / 25 + 1e-3);
    }
}

// The files in the cache folder of network movies.
size_t networkCacheFiles()
{
    std::error_code ec;
    const auto folder = std::filesystem::path(HXUserCacheDirectory()) / "Network";
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    return count;
}

TEST_F(NetworkMovieTest, MissingMovieEndsInTheErrorState)
{
    const size_t cached = networkCacheFiles();
    HXError error;
    auto m = MVMovie::movieWithURL(url("missing.mov"), &error);
    ASSERT_TRUE(m);
    waitForLoad(*m);
    EXPECT_EQ(m->loadState(), MVMovieLoadStateError);
    EXPECT_EQ(states.back(), MVMovieLoadStateError);
    EXPECT_EQ(m->loadError().localizedDescription(),
        "The movie cannot be fetched: the server at 127.0.0.1:" + std::to_string(server->port)
            + " has nothing at this location (not found).");
    // The movie goes, and with it the cache file it had nothing in.
    m.reset();
    EXPECT_EQ(networkCacheFiles(), cached);
}

TEST_F(NetworkMovieTest, NotAMovieEndsInTheErrorState)
{
    const size_t cached = networkCacheFiles();
    writeFile(dir / "notes.mov", std::string(1000, 'n'));
    HXError error;
    auto m = MVMovie::movieWithURL(url("notes.mov"), &error);
    ASSERT_TRUE(m);
    waitForLoad(*m);
    EXPECT_EQ(m->loadState(), MVMovieLoadStateError);
    m.reset();
    EXPECT_EQ(networkCacheFiles(), cached);
}

TEST_F(NetworkMovieTest, ClosingWhileLoadingStopsTheTransfer)
{
    HXError error;
    auto m = MVMovie::movieWithURL(url("source.mov"), &error);
    ASSERT_TRUE(m);
    m.reset(); // joins the worker; nothing arrives afterwards
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.2);
    EXPECT_TRUE(states.empty());
}

TEST(NetworkMovie, UnsupportedSchemesAreRefused)
{
    HXError error;
    auto url = *HXURL::URLWithString("gopher://127.0.0.1/movie.mov");
    EXPECT_FALSE(MVMovie::canInitWithURL(url));
    EXPECT_EQ(MVMovie::movieWithURL(url, &error), nullptr);
    EXPECT_EQ(error.domain(), HXOSStatusErrorDomain);
}

} // namespace
