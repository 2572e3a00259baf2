// Network locations whose names say nothing, asked of real servers on loopback before a movie is made
// of them: python's HTTP server sending a transport stream, a movie file, an HLS playlist (made by the
// ffmpeg command line), a web page, subtitles, nothing; a port nobody listens on; a server that never
// answers; GStreamer's RTSP server describing a stream, or nothing.
#include "stream_servers.h"

#include "platform/mvkit/movie.h"
#include "platform/mvkit/streaming/url_probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

using namespace movara::test;
using Outcome = MVURLProbe::Outcome;

namespace {

bool haveTools()
{
    return haveProgram("ffmpeg") && haveProgram("python3");
}

// A TCP socket on 127.0.0.1 that listens and never accepts: a connection is made, nothing answers.
class SilentServer {
public:
    SilentServer()
    {
        _fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(_fd, 8) != 0)
            return;
        socklen_t length = sizeof a;
        getsockname(_fd, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ~SilentServer() { close(_fd); }
    int port = 0;

private:
    int _fd = -1;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int closedPort()
{
    SilentServer gone;
    return gone.port;
}

MVURLProbe::Result probe(const std::string& url, double timeout = 5)
{
    MVNetworkDeadline network;
    return MVURLProbe::probe(url, timeout, network);
}

} // namespace

TEST(URLProbeTest, OnlyNetworkLocationsWhoseNamesSayNothingAreAsked)
{
    struct Case {
        const char* url;
        bool asked;
    };
    const Case cases[] = {
        { "http://example.com/live", true },
        { "https://example.com/", true },
        { "http://example.com/watch?v=12", true },
        { "rtsp://example.com/camera", true },
        { "http://example.com/clip.MP4", false },
        { "http://example.com/show/index.m3u8", false },
        { "http://example.com/radio.m3u", false },
        { "rtsp://example.com/movie.mov", false },
        { "rtp://127.0.0.1:5004", false },
        { "udp://127.0.0.1:1234", false },
        { "file:///movies/live", false },
        { "ftp://example.com/live", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVMovie::urlNeedsProbe(*HXURL::URLWithString(c.url)), c.asked) << c.url;
}

TEST(URLProbeTest, AnHTTPServerIsAskedWhatItSends)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    const std::vector<std::string> picture = { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=2",
        "-c:v", "libx264", "-preset", "ultrafast" };
    auto ffmpeg = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
        args.insert(args.end(), picture.begin(), picture.end());
        args.insert(args.end(), tail.begin(), tail.end());
        return runCommand(args).status;
    };
    ASSERT_EQ(ffmpeg({ "-f", "mpegts", (dir / "channel").string() }), 0);
    ASSERT_EQ(ffmpeg({ "-f", "mp4", (dir / "film").string() }), 0);
    ASSERT_EQ(ffmpeg({ "-f", "hls", "-hls_time", "1", (dir / "show.m3u8").string() }), 0);
    std::filesystem::copy_file(dir / "show.m3u8", dir / "show");
    writeFile(dir / "show.type", "application/x-mpegurl");
    writeFile(dir / "page", "<!DOCTYPE html><html><body><p>Welcome</p></body></html>\n");
    writeFile(dir / "page.type", "text/html; charset=utf-8");
    writeFile(dir / "lyrics",
        "1\n00:00:01,000 --> 00:00:02,000\nHello\n\n2\n00:00:03,000 --> 00:00:04,000\nAgain\n");
    writeFile(dir / "nothing", "");
    RangeServer server(dir.path());
    ASSERT_GT(server.port, 0);

    struct Case {
        const char* name;
        Outcome outcome;
        const char* format; // recognised as
        const char* says; // in the reason
    };
    const Case cases[] = {
        { "channel", Outcome::Plays, "mpegts", "" },
        { "film", Outcome::Plays, "mov,mp4,m4a,3gp,3g2,mj2", "" },
        { "show", Outcome::Plays, "hls", "" },
        { "page", Outcome::NotAMovie, "", "(text/html; charset=utf-8) is not a movie" },
        { "lyrics", Outcome::NotAMovie, "srt", "not a movie" },
        { "nothing", Outcome::NotAMovie, "", "sends nothing" },
        { "missing", Outcome::NotFound, "", "has nothing at this location" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto result = probe(server.url(c.name));
        EXPECT_EQ(result.outcome, c.outcome) << result.error.localizedDescription();
        EXPECT_EQ(result.formatName, c.format);
        const std::string reason = result.error.localizedDescription();
        EXPECT_NE(reason.find(c.says), std::string::npos) << reason;
        if (!result.plays()) {
            EXPECT_EQ(result.error.userInfo().at(HXURLErrorKey).stringValue(), server.url(c.name));
            EXPECT_NE(reason.find("127.0.0.1:" + std::to_string(server.port)), std::string::npos) << reason;
        }
    }
}

TEST(URLProbeTest, AServerThatRefusesOrNeverAnswersIsToldApart)
{
    const int port = closedPort();
    ASSERT_GT(port, 0);
    auto refused = probe("http://127.0.0.1:" + std::to_string(port) + "/live");
    EXPECT_EQ(refused.outcome, Outcome::Refused);
    EXPECT_NE(refused.error.localizedDescription().find("refused the connection"), std::string::npos)
        << refused.error.localizedDescription();

    // Connected, then silence: the probe ends at its deadline, not later.
    SilentServer silent;
    ASSERT_GT(silent.port, 0);
    for (const char* scheme : { "http", "rtsp" }) {
        SCOPED_TRACE(scheme);
        auto before = std::chrono::steady_clock::now();
        auto quiet = probe(std::string(scheme) + "://127.0.0.1:" + std::to_string(silent.port) + "/live", 1);
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
        EXPECT_EQ(quiet.outcome, Outcome::NoAnswer) << quiet.error.localizedDescription();
        EXPECT_NE(
            quiet.error.localizedDescription().find("did not answer within 1 second"), std::string::npos)
            << quiet.error.localizedDescription();
        EXPECT_LT(took, 3.5);
    }

    // Connected, a few bytes, then silence: too little to tell what it is, which is said as such.
    TempDir dir;
    writeFile(dir / "live", std::string(4096, '\x47'));
    writeFile(dir / "live.stall", "10");
    RangeServer stalling(dir.path());
    ASSERT_GT(stalling.port, 0);
    auto little = probe(stalling.url("live"), 1);
    EXPECT_EQ(little.outcome, Outcome::NoAnswer) << little.error.localizedDescription();
    EXPECT_NE(
        little.error.localizedDescription().find("did not send enough within 1 second"), std::string::npos)
        << little.error.localizedDescription();
}

TEST(URLProbeTest, TheAnswerComesOnTheMainThreadAndNeverAfterTheProbeIsDropped)
{
    const int port = closedPort();
    std::vector<Outcome> told;
    auto probe = MVURLProbe::start("http://127.0.0.1:" + std::to_string(port) + "/live", 5,
        [&](const MVURLProbe::Result& result) { told.push_back(result.outcome); });
    EXPECT_TRUE(told.empty()) << "nothing is told before the run loop runs";
    ASSERT_TRUE(runLoopUntil([&] { return !told.empty(); }, 10));
    EXPECT_EQ(told, std::vector<Outcome> { Outcome::Refused });

    // Dropped while it waits for a server that never answers: it ends at once and tells nothing.
    SilentServer silent;
    told.clear();
    probe = MVURLProbe::start("http://127.0.0.1:" + std::to_string(silent.port) + "/live", 30,
        [&](const MVURLProbe::Result& result) { told.push_back(result.outcome); });
    runLoopUntil([] { return false; }, 0.3);
    auto before = std::chrono::steady_clock::now();
    probe.reset();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count(), 1.0);
    runLoopUntil([] { return false; }, 0.3);
    EXPECT_TRUE(told.empty());
}

TEST(URLProbeTest, AnRTSPServerIsAskedToDescribeTheStream)
{
    if (!haveTools() || pythonWithRTSPServer().empty())
        GTEST_SKIP() << "ffmpeg, and python3 with GStreamer's RTSP server (gir1.2-gst-rtsp-server-1.0, "
                        "python3-gi), are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Done)
        return;
    TempDir dir;
    auto movie = dir / "h264.mp4";
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc=size=64x48:rate=10:duration=5", "-c:v", "libx264", "-preset",
                             "ultrafast", "-pix_fmt", "yuv420p", movie.string() })
                  .status,
        0);
    ServerProcess server(
        { pythonWithRTSPServer(), "-c", kRTSPServerScript, movie.string(), "udp+tcp" }, true);
    ASSERT_FALSE(server.firstLine.empty());
    const std::string base = "rtsp://127.0.0.1:" + server.firstLine;
    auto described = probe(base + "/test");
    EXPECT_EQ(described.outcome, Outcome::Plays) << described.error.localizedDescription();
    EXPECT_EQ(described.formatName, "rtsp");
    auto nothing = probe(base + "/nothing");
    EXPECT_EQ(nothing.outcome, Outcome::NotFound) << nothing.error.localizedDescription();
}
