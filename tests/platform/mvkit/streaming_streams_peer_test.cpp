// Streams played as they arrive, from real servers on loopback started by the tests: HLS written by the
// ffmpeg command line (on demand, and live with a growing playlist) served over HTTP by python, RTSP
// from GStreamer's server over UDP and over TCP, and RTP sent by the ffmpeg command line with its SDP.
// Each becomes a streaming movie with one streaming track, tells what it does while it connects and
// buffers, plays pictures and sound, and measures what arrives.
#include "audio_capture.h"
#include "stream_servers.h"

#include "platform/basekit/notification_center.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/stream.h"
#include "platform/mvkit/streaming/url_probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

using namespace movara::test;

namespace {

struct StatusRecorder {
    HXObserverToken token = 0;
    std::vector<std::pair<int64_t, std::string>> statuses; // code (−1 for an error), text
    int prerolls = 0;
    HXObserverToken prerollToken = 0;
    StatusRecorder()
    {
        auto& center = HXNotificationCenter::defaultCenter();
        token = center.addObserver(MVMovieStatusStringPostedNotification, nullptr, [this](const HXNotification& n) {
            const auto& info = n.userInfo();
            int64_t flags = info.at(MVMovieStatusFlagsNotificationParameter).integerValue();
            statuses.push_back({ (flags & MVMovieStatusFlagError) ? -1 : info.at(MVMovieStatusCodeNotificationParameter).integerValue(),
                info.at(MVMovieStatusStringNotificationParameter).stringValue() });
        });
        prerollToken = center.addObserver(MVMoviePrerollCompleteNotification, nullptr, [this](const HXNotification& n) {
            if (n.userInfo().at(MVMovieErrorNotificationParameter).integerValue() == 0)
                ++prerolls;
        });
    }
    ~StatusRecorder()
    {
        HXNotificationCenter::defaultCenter().removeObserver(token);
        HXNotificationCenter::defaultCenter().removeObserver(prerollToken);
    }
    std::vector<int64_t> codes() const
    {
        std::vector<int64_t> out;
        for (const auto& s : statuses)
            if (out.empty() || out.back() != s.first)
                out.push_back(s.first);
        return out;
    }
    bool saw(int64_t code) const
    {
        return std::any_of(statuses.begin(), statuses.end(), [&](const auto& s) { return s.first == code; });
    }
    std::string lastError() const
    {
        for (auto it = statuses.rbegin(); it != statuses.rend(); ++it)
            if (it->first == -1)
                return it->second;
        return {};
    }
};

std::shared_ptr<MVMovie> openURL(const std::string& url)
{
    HXError error;
    auto m = MVMovie::movieWithURL(*HXURL::URLWithString(url), &error);
    EXPECT_TRUE(m) << error.localizedDescription();
    return m;
}

double seconds(const MVMovie& m, int64_t units)
{
    return double(units) / m.timeScale();
}

// Plays `m` for `duration` seconds; answers how many different pictures were shown.
int playAndCountPictures(MVMovie& m, MVMoviePlayback& playback, double duration)
{
    std::set<const void*> shown;
    m.play();
    runLoopUntil(
        [&] {
            const auto& pictures = playback.player().presentedPictures();
            if (!pictures.empty() && pictures[0].picture.frame)
                shown.insert(pictures[0].picture.frame.get());
            return false;
        },
        duration);
    return int(shown.size());
}

// The checks every stream that plays passes: one streaming track with its streams, the natural size,
// the statuses from connecting to playing, pictures that change, data that arrives (at a rate, when it
// is sent as it plays). The playback goes into `playback`.
void expectPlaysAsAStream(MVMovie& m, const StatusRecorder& recorder, double playSeconds, bool sound,
    bool realTime, std::shared_ptr<MVMoviePlayback>& playback)
{
    ASSERT_TRUE(runLoopUntil([&] { return m.loadState() >= MVMovieLoadStatePlayable || m.loadState() < 0; }, 30))
        << recorder.lastError();
    ASSERT_GE(m.loadState(), MVMovieLoadStatePlayable) << m.loadError().localizedDescription();
    EXPECT_TRUE(m.isStreaming());
    ASSERT_EQ(m.trackCount(), 1);
    auto track = m.trackAtIndex(1);
    EXPECT_EQ(track->mediaType(), MVMediaTypeStream);
    auto streams = track->streams();
    ASSERT_FALSE(streams.empty());
    EXPECT_TRUE(streams[0]->isVideo());
    EXPECT_EQ(streams[0]->name(), "H.264");
    EXPECT_EQ(m.hasAudio(), sound);
    EXPECT_TRUE(m.hasVideo());
    EXPECT_EQ(m.naturalSize(), (std::pair<double, double> { 320, 240 }));
    EXPECT_EQ(recorder.prerolls, 1);

    RecordingOutput* heard = nullptr;
    playback = MVMoviePlayback::playbackForMovie(m.shared_from_this(), recordingOptions(&heard));
    int pictures = playAndCountPictures(m, *playback, playSeconds);
    EXPECT_GT(pictures, int(playSeconds * 10)) << "25 pictures a second are sent";
    // The tone is heard (sound that arrived before the player asked for it included).
    if (sound) {
        ASSERT_TRUE(heard);
        EXPECT_GT(toneAmplitude(heard->samples, 2, 44100, 440), 0.03);
    }
    EXPECT_GT(seconds(m, m.currentTime().timeValue), playSeconds - 2.5);
    // Connecting, negotiating and buffering came before playing.
    auto codes = recorder.codes();
    auto at = [&](int64_t code) { return std::find(codes.begin(), codes.end(), code) - codes.begin(); };
    EXPECT_LT(at(MVMovieStreamingStatusConnecting), at(MVMovieStreamingStatusNegotiating));
    EXPECT_LT(at(MVMovieStreamingStatusNegotiating), at(MVMovieStreamingStatusBuffering));
    EXPECT_LT(at(MVMovieStreamingStatusBuffering), int64_t(codes.size()));
    EXPECT_TRUE(recorder.saw(MVMovieStreamingStatusPlaying));
    EXPECT_EQ(recorder.lastError(), "");
    // The figures of the last second.
    if (realTime) {
        EXPECT_GT(track->attributeForKey(MVTrackStreamingBitsPerSecondAttribute).realValue(), 10000);
    }
    EXPECT_GT(m.streamingStatistics()->bytesReceived, 20000);
    m.stop();
}

// HLS of a 320x240 picture at 25 per second with sound, in one-second segments.
std::vector<std::string> hlsArguments(const std::filesystem::path& playlist, int duration, bool live)
{
    std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    if (live)
        args.push_back("-re");
    args.insert(args.end(),
        { "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=" + std::to_string(duration), "-f", "lavfi",
            "-i", "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(duration), "-c:v", "libx264",
            "-preset", "ultrafast", "-g", "25", "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "hls", "-hls_time", "1",
            "-hls_playlist_type", live ? "event" : "vod", playlist.string() });
    return args;
}

bool haveTools()
{
    return haveProgram("ffmpeg") && haveProgram("python3");
}

} // namespace

// An on-demand playlist of two encodings of 3 s and 9 s, the second one's times 100 s on, joined by a
// discontinuity (as where an advertisement is put in).
bool writeJoinedPlaylist(const std::filesystem::path& dir)
{
    std::string joined = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (const char* part : { "a", "b" }) {
        std::filesystem::create_directories(dir / part);
        auto args = hlsArguments(dir / part / "part.m3u8", part[0] == 'a' ? 3 : 9, false);
        if (part[0] == 'b') {
            args.insert(args.end() - 1, { "-output_ts_offset", "100" });
            joined += "#EXT-X-DISCONTINUITY\n";
        }
        if (runCommand(args).status != 0)
            return false;
        std::ifstream in(dir / part / "part.m3u8");
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("#EXTINF"))
                joined += line + "\n";
            else if (!line.empty() && line[0] != '#')
                joined += std::string(part) + "/" + line + "\n";
        }
    }
    writeFile(dir / "vod.m3u8", joined + "#EXT-X-ENDLIST\n");
    return true;
}

TEST(StreamingHLSTest, AnOnDemandPlaylistPlaysSeeksAndHasItsDuration)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    struct Case {
        const char* name;
        bool joined;
    };
    const Case cases[] = {
        { "one encoding", false },
        { "two encodings joined by a discontinuity", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.joined)
            ASSERT_TRUE(writeJoinedPlaylist(dir.path()));
        else
            ASSERT_EQ(runCommand(hlsArguments(dir / "vod.m3u8", 12, false)).status, 0);
        RangeServer server(dir.path());
        ASSERT_GT(server.port, 0);
        StatusRecorder recorder;
        auto m = openURL(server.url("vod.m3u8"));
        ASSERT_TRUE(m);
        EXPECT_TRUE(m->isStreaming());
        std::shared_ptr<MVMoviePlayback> playback;
        expectPlaysAsAStream(*m, recorder, 4, true, false, playback);
        EXPECT_EQ(m->movieType(), MVMovieTypeStoredStream);
        EXPECT_NEAR(seconds(*m, m->durationValue()), 12, 0.2);
        // The picture shown is the one of the time played to (past the join, where there is one).
        auto shownStart = [&]() -> std::optional<double> {
            const auto& pictures = playback->player().presentedPictures();
            if (pictures.empty() || !pictures[0].picture.frame)
                return std::nullopt;
            return seconds(*m, pictures[0].picture.start);
        };
        ASSERT_TRUE(shownStart());
        EXPECT_NEAR(*shownStart(), seconds(*m, m->currentTime().timeValue), 0.5);
        // A seek while stopped shows the picture of its time once that arrived, not the one before.
        m->stop();
        m->setCurrentTime(MVMakeTime(5 * m->timeScale(), m->timeScale()));
        EXPECT_TRUE(runLoopUntil(
            [&] {
                auto shown = shownStart();
                return shown && std::abs(*shown - 5) < 0.5;
            },
            15))
            << (shownStart() ? *shownStart() : -1.0);
        // A seek goes there: playing goes on from 8 s.
        m->setCurrentTime(MVMakeTime(8 * m->timeScale(), m->timeScale()));
        m->play();
        ASSERT_TRUE(runLoopUntil([&] { return seconds(*m, m->currentTime().timeValue) > 9; }, 15));
        ASSERT_TRUE(shownStart());
        EXPECT_NEAR(*shownStart(), seconds(*m, m->currentTime().timeValue), 0.5);
        // It plays to its end and stops there.
        EXPECT_TRUE(runLoopUntil([&] { return !m->isPlaying(); }, 15));
        EXPECT_NEAR(seconds(*m, m->currentTime().timeValue), 12, 0.2);
        // Within its duration: the time display never reads past the end.
        EXPECT_LE(m->currentTime().timeValue, m->durationValue());
        EXPECT_NEAR(seconds(*m, m->durationValue()), 12, 0.2);
    }
}

TEST(StreamingHLSTest, APlaylistAtALocationWithoutAnExtensionPlaysAsAStream)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    ASSERT_EQ(runCommand(hlsArguments(dir / "vod.m3u8", 4, false)).status, 0);
    std::filesystem::copy_file(dir / "vod.m3u8", dir / "show");
    writeFile(dir / "show.type", "application/x-mpegurl");
    RangeServer server(dir.path());
    StatusRecorder recorder;
    auto m = openURL(server.url("show"));
    ASSERT_TRUE(m);
    ASSERT_TRUE(
        runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable || m->loadState() < 0; }, 30));
    ASSERT_GE(m->loadState(), MVMovieLoadStatePlayable) << m->loadError().localizedDescription();
    EXPECT_TRUE(m->isStreaming());
    EXPECT_EQ(m->movieType(), MVMovieTypeStoredStream);
    EXPECT_NEAR(seconds(*m, m->durationValue()), 4, 0.2);
}

// DASH of the same, in one-second segments of fragmented MP4, with its manifest.
std::vector<std::string> dashArguments(const std::filesystem::path& manifest, int duration)
{
    return { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=320x240:rate=25:duration=" + std::to_string(duration), "-f", "lavfi", "-i",
        "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(duration), "-c:v", "libx264", "-preset",
        "ultrafast", "-g", "25", "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "dash", "-seg_duration", "1",
        manifest.string() };
}

TEST(StreamingDASHTest, AManifestPlaysAsAStreamWithItsDurationWhateverItsLocationIsCalled)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    ASSERT_EQ(runCommand(dashArguments(dir / "show.mpd", 6)).status, 0);
    std::filesystem::copy_file(dir / "show.mpd", dir / "show");
    writeFile(dir / "show.type", "application/dash+xml");
    RangeServer server(dir.path());
    ASSERT_GT(server.port, 0);
    for (const char* name : { "show.mpd", "show" }) {
        SCOPED_TRACE(name);
        StatusRecorder recorder;
        auto m = openURL(server.url(name));
        ASSERT_TRUE(m);
        std::shared_ptr<MVMoviePlayback> playback;
        expectPlaysAsAStream(*m, recorder, 3, true, false, playback);
        EXPECT_EQ(m->movieType(), MVMovieTypeStoredStream);
        EXPECT_NEAR(seconds(*m, m->durationValue()), 6, 0.2);
    }
}

TEST(StreamingHLSTest, AGrowingPlaylistPlaysAsALiveBroadcast)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    ServerProcess encoder(hlsArguments(dir / "live.m3u8", 40, true));
    // Two segments are out before anybody listens.
    ASSERT_TRUE(runLoopUntil([&] { return std::filesystem::exists(dir / "live2.ts"); }, 20));
    RangeServer server(dir.path());
    StatusRecorder recorder;
    auto m = openURL(server.url("live.m3u8"));
    ASSERT_TRUE(m);
    std::shared_ptr<MVMoviePlayback> playback;
    expectPlaysAsAStream(*m, recorder, 5, true, true, playback);
    EXPECT_EQ(m->movieType(), MVMovieTypeLiveStream);
    // A live stream's duration is what arrived; it grows.
    int64_t before = m->durationValue();
    m->play();
    runLoopUntil([] { return false; }, 3);
    EXPECT_GT(m->durationValue(), before + m->timeScale());
    // It cannot be sent back in time: the playhead stays where the stream is.
    int64_t now = m->currentTime().timeValue;
    m->setCurrentTime(MVMakeTime(0, m->timeScale()));
    runLoopUntil([] { return false; }, 0.3);
    EXPECT_GE(m->currentTime().timeValue, now);
    m->stop();
}

TEST(StreamingHLSTest, AStreamWhoseServerStopsFailsWithAClearErrorAndNeverBlocks)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    ServerProcess encoder(hlsArguments(dir / "live.m3u8", 60, true));
    ASSERT_TRUE(runLoopUntil([&] { return std::filesystem::exists(dir / "live2.ts"); }, 20));
    RangeServer server(dir.path());
    StatusRecorder recorder;
    auto m = openURL(server.url("live.m3u8"));
    ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable; }, 30));
    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    m->play();
    runLoopUntil([] { return false; }, 2);
    server.kill();
    encoder.kill();
    double longestPass = 0;
    ASSERT_TRUE(runLoopUntil([&] { return !recorder.lastError().empty(); }, 40, &longestPass));
    EXPECT_NE(recorder.lastError().find("The stream stopped"), std::string::npos) << recorder.lastError();
    // It was connected again, in vain, before it failed.
    EXPECT_TRUE(recorder.saw(MVMovieStreamingStatusReconnecting));
    EXPECT_NE(recorder.lastError().find("The stream stopped: the server at 127.0.0.1:"
                  + std::to_string(server.port) + " refused the connection."),
        std::string::npos)
        << recorder.lastError();
    EXPECT_FALSE(m->isPlaying());
    EXPECT_LT(longestPass, 0.5);
}

// A stream whose server stops for a moment: the display says it reconnects, and playing goes on once
// the server is back, without an error. A live playlist (its encoder goes on meanwhile) and a live
// transport stream at a location without an extension (its encoder starts over with the server).
TEST(StreamingHLSTest, AStreamWhoseServerComesBackPlaysOn)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    ServerProcess encoder(hlsArguments(dir / "live.m3u8", 90, true));
    ASSERT_TRUE(runLoopUntil([&] { return std::filesystem::exists(dir / "live2.ts"); }, 20));
    struct Case {
        const char* name;
        std::function<std::unique_ptr<ServerProcess>(int port)> server;
        std::string path;
    };
    const Case cases[] = {
        { "live playlist",
            [&](int port) {
                return std::make_unique<ServerProcess>(
                    std::vector<std::string> {
                        "python3", "-c", kRangeServerScript, dir.path().string(), "0", std::to_string(port) },
                    true);
            },
            "/live.m3u8" },
        { "live transport stream",
            [](int port) {
                return std::make_unique<ServerProcess>(std::vector<std::string> { "python3", "-c",
                                                           kLiveTransportServerScript, std::to_string(port) },
                    true);
            },
            "/live" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = c.server(0);
        ASSERT_FALSE(server->firstLine.empty());
        const int port = std::stoi(server->firstLine);
        StatusRecorder recorder;
        auto m = openURL("http://127.0.0.1:" + std::to_string(port) + c.path);
        ASSERT_TRUE(m);
        ASSERT_TRUE(runLoopUntil(
            [&] { return m->loadState() >= MVMovieLoadStatePlayable || m->loadState() < 0; }, 30))
            << recorder.lastError();
        ASSERT_GE(m->loadState(), MVMovieLoadStatePlayable) << m->loadError().localizedDescription();
        auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
        m->play();
        runLoopUntil([] { return false; }, 3);

        server->kill();
        double longestPass = 0;
        ASSERT_TRUE(
            runLoopUntil([&] { return recorder.saw(MVMovieStreamingStatusReconnecting); }, 20, &longestPass))
            << recorder.lastError();
        const double stoppedAt = seconds(*m, m->currentTime().timeValue);
        runLoopUntil([] { return false; }, 1, &longestPass);
        server = c.server(port);
        ASSERT_EQ(server->firstLine, std::to_string(port));
        recorder.statuses.clear();
        // Playing goes on, and says so.
        EXPECT_TRUE(runLoopUntil(
            [&] {
                return seconds(*m, m->currentTime().timeValue) > stoppedAt + 3
                    || !recorder.lastError().empty();
            },
            15, &longestPass))
            << "stopped at " << stoppedAt << ", now " << seconds(*m, m->currentTime().timeValue);
        EXPECT_EQ(recorder.lastError(), "");
        EXPECT_TRUE(recorder.saw(MVMovieStreamingStatusPlaying));
        EXPECT_TRUE(m->isPlaying());
        const auto& pictures = playback->player().presentedPictures();
        ASSERT_FALSE(pictures.empty());
        EXPECT_GT(seconds(*m, pictures[0].picture.start), stoppedAt) << "pictures from after the drop";
        // Over TCP nothing is lost.
        EXPECT_EQ(m->streamingStatistics()->packetsLost, 0);
        EXPECT_LT(longestPass, 0.5);
        m->stop();
    }
}

// Every failure to open a location is told in the same words, whether the location is asked before it
// opens, fetched as a movie file or played as a stream.
TEST(StreamingFailureTest, AFailedLocationGivesTheSameReasonWhereverItIsOpened)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    writeFile(dir / "broken.m3u8", "#EXTM3U\nthis is not a playlist\n");
    for (const auto& [name, status] :
        { std::pair { "private", "401" }, { "forbidden", "403" }, { "failing", "500" } })
        for (const char* extension : { "", ".mov", ".m3u8" })
            writeFile(dir / (name + std::string(extension) + ".status"), status);
    RangeServer server(dir.path());
    ASSERT_GT(server.port, 0);
    int closed = 0;
    {
        RangeServer gone(dir.path());
        closed = gone.port;
    }
    const std::string here = "the server at 127.0.0.1:" + std::to_string(server.port);
    const std::string there = "the server at 127.0.0.1:" + std::to_string(closed);
    struct Case {
        std::string url; // without its extension
        std::string says; // the reason, after the colon
    };
    const Case cases[] = {
        { "http://127.0.0.1:" + std::to_string(closed) + "/gone", there + " refused the connection" },
        { server.url("missing"), here + " has nothing at this location (not found)" },
        { server.url("private"),
            here + " does not let the player have this location (it asks for a name and password)" },
        { server.url("forbidden"), here + " does not let the player have this location (forbidden)" },
        { server.url("failing"), here + " failed while answering (a server error)" },
    };
    for (const auto& c : cases) {
        for (const auto& [extension, opening] : { std::pair { ".mov", "The movie cannot be fetched: " },
                 { ".m3u8", "The stream cannot be opened: " } }) {
            const std::string url = c.url + extension;
            SCOPED_TRACE(url);
            auto m = openURL(url);
            ASSERT_TRUE(runLoopUntil([&] { return m->loadState() == MVMovieLoadStateError; }, 30));
            const std::string told = m->loadError().localizedDescription();
            EXPECT_EQ(told.rfind(opening + c.says, 0), 0u) << told;
            EXPECT_EQ(told.back(), '.') << told;
            EXPECT_EQ(told.find("the server the server"), std::string::npos) << told;
        }
        // Asked before it opens: the same words, as a sentence of their own.
        SCOPED_TRACE(c.url);
        MVNetworkDeadline network;
        auto probed = MVURLProbe::probe(c.url, 5, network);
        std::string words = c.says;
        words[0] = char(std::toupper(static_cast<unsigned char>(words[0])));
        EXPECT_EQ(probed.error.localizedDescription(), words + ".");
    }
    // Not a stream, as a stream.
    auto m = openURL(server.url("broken.m3u8"));
    ASSERT_TRUE(runLoopUntil([&] { return m->loadState() == MVMovieLoadStateError; }, 30));
    EXPECT_EQ(m->loadError().localizedDescription(),
        "The stream cannot be opened: what " + here + " sends is not a stream the player can play.");
}

// ---- Data of no told length over HTTP

namespace {

// An HTTP server on 127.0.0.1 over a folder that tells no lengths: /live.mp3 is a tone encoded as it is
// sent, without end, like a radio station; /chunked/NAME sends the file NAME in chunks (a little apart,
// so that the player sees the start before the end: far faster than it plays all the same).
const char* kUnsizedServerScript = R"(
import http.server, os, subprocess, sys, time
root = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    def log_message(self, *args):
        pass
    def do_GET(self):
        if self.path == '/live.mp3':
            self.send_response(200)
            self.send_header('Content-Type', 'audio/mpeg')
            self.send_header('Connection', 'close')
            self.end_headers()
            encoder = subprocess.Popen(['ffmpeg', '-nostdin', '-v', 'error', '-re', '-f', 'lavfi',
                '-i', 'sine=frequency=440:sample_rate=44100', '-c:a', 'libmp3lame', '-b:a', '64k',
                '-f', 'mp3', 'pipe:1'], stdout=subprocess.PIPE)
            try:
                while True:
                    data = encoder.stdout.read1(4096)
                    if not data:
                        break
                    self.wfile.write(data)
                    self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                pass
            finally:
                encoder.kill()
                encoder.wait()
            self.close_connection = True
            return
        path = os.path.join(root, self.path[len('/chunked/'):])
        if not self.path.startswith('/chunked/') or not os.path.isfile(path):
            self.send_response(404)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        with open(path, 'rb') as f:
            data = f.read()
        self.send_response(200)
        self.send_header('Transfer-Encoding', 'chunked')
        self.end_headers()
        try:
            for at in range(0, len(data), 8192):
                piece = data[at:at + 8192]
                self.wfile.write(b'%x\r\n' % len(piece) + piece + b'\r\n')
                self.wfile.flush()
                time.sleep(0.05)
            self.wfile.write(b'0\r\n\r\n')
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
)";

} // namespace

TEST(StreamingUnsizedTest, DataWithoutALengthPlaysAsAStreamWithItsPicturesAndSound)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "testsrc=size=160x120:rate=15:duration=4", "-f", "lavfi", "-i",
                  "sine=frequency=440:sample_rate=44100:duration=4", "-c:v", "libx264", "-preset", "ultrafast",
                  "-pix_fmt", "yuv420p", "-c:a", "aac", (dir / "clip.mkv").string() })
                  .status,
        0);
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "sine=frequency=440:sample_rate=44100:duration=4", "-c:a", "libmp3lame", "-b:a", "64k",
                  (dir / "tone.mp3").string() })
                  .status,
        0);
    ServerProcess server({ "python3", "-c", kUnsizedServerScript, dir.path().string() }, true);
    ASSERT_FALSE(server.firstLine.empty());
    const struct {
        const char* path;
        bool live; // else a file of 4 s that ends
        bool pictures;
    } cases[] = {
        { "/live.mp3", true, false }, // sound only, without end
        { "/chunked/clip.mkv", false, true }, // a file sent in chunks
        { "/chunked/tone.mp3", false, false }, // sound that tells no duration, sent in chunks
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto m = openURL("http://127.0.0.1:" + server.firstLine + c.path);
        ASSERT_TRUE(m);
        ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable || m->loadState() < 0; }, 30));
        ASSERT_GE(m->loadState(), MVMovieLoadStatePlayable) << m->loadError().localizedDescription();
        // (A file that arrived whole before it was looked at is imported instead: that plays too.)
        if (c.live) {
            EXPECT_EQ(m->movieType(), MVMovieTypeLiveStream);
        }
        EXPECT_EQ(m->hasVideo(), c.pictures);
        EXPECT_TRUE(m->hasAudio());
        RecordingOutput* heard = nullptr;
        auto playback = MVMoviePlayback::playbackForMovie(m, recordingOptions(&heard));
        const int pictures = playAndCountPictures(*m, *playback, 3);
        // Time goes on (a stream of sound only starts where its first sound is), and it is heard.
        EXPECT_GT(seconds(*m, m->currentTime().timeValue), 2);
        if (c.pictures) {
            EXPECT_GT(pictures, 20);
        }
        ASSERT_TRUE(heard);
        EXPECT_GT(toneAmplitude(heard->samples, 2, 44100, 440), 0.03);
        // A file sent at once ends where its data ends, and is not fetched and played over again.
        if (!c.live) {
            EXPECT_TRUE(runLoopUntil([&] { return !m->isPlaying(); }, 10));
            EXPECT_NEAR(seconds(*m, m->currentTime().timeValue), 4, 0.3);
            EXPECT_NEAR(seconds(*m, m->durationValue()), 4, 0.3);
        }
        m->stop();
    }
}

// ---- RTSP and RTP, each in a private network

namespace {

std::filesystem::path makeH264Movie(const TempDir& dir)
{
    auto path = dir / "h264.mp4";
    runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=320x240:rate=25:duration=30", "-c:v", "libx264", "-preset", "ultrafast", "-g", "25",
        "-pix_fmt", "yuv420p", path.string() });
    return path;
}

void playRTSP(const std::string& transports)
{
    TempDir dir;
    auto movie = makeH264Movie(dir);
    ServerProcess server({ pythonWithRTSPServer(), "-c", kRTSPServerScript, movie.string(), transports }, true);
    ASSERT_FALSE(server.firstLine.empty());
    StatusRecorder recorder;
    auto m = openURL("rtsp://127.0.0.1:" + server.firstLine + "/test");
    ASSERT_TRUE(m);
    std::shared_ptr<MVMoviePlayback> playback;
    expectPlaysAsAStream(*m, recorder, 5, false, true, playback);
    // Over TCP nothing is lost.
    if (transports == "tcp") {
        EXPECT_EQ(m->streamingStatistics()->packetsLost, 0);
    }
    EXPECT_GT(m->trackAtIndex(1)->attributeForKey(MVTrackStreamingBufferDurationAttribute).realValue(), 0);
}

} // namespace

TEST(StreamingRTSPTest, PlaysOverUDP)
{
    if (!haveTools() || pythonWithRTSPServer().empty())
        GTEST_SKIP() << "ffmpeg, and python3 with GStreamer's RTSP server (gir1.2-gst-rtsp-server-1.0, "
                        "python3-gi), are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Inside)
        playRTSP("udp");
}

TEST(StreamingRTSPTest, PlaysOverTCPWhenTheServerRefusesUDP)
{
    if (!haveTools() || pythonWithRTSPServer().empty())
        GTEST_SKIP() << "ffmpeg, and python3 with GStreamer's RTSP server (gir1.2-gst-rtsp-server-1.0, "
                        "python3-gi), are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Inside)
        playRTSP("tcp");
}

TEST(StreamingRTSPTest, AServerThatStopsMidStreamEndsWithAnError)
{
    if (!haveTools() || pythonWithRTSPServer().empty())
        GTEST_SKIP() << "ffmpeg, and python3 with GStreamer's RTSP server, are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Done)
        return;
    TempDir dir;
    auto movie = makeH264Movie(dir);
    ServerProcess server({ pythonWithRTSPServer(), "-c", kRTSPServerScript, movie.string(), "tcp" }, true);
    StatusRecorder recorder;
    auto m = openURL("rtsp://127.0.0.1:" + server.firstLine + "/test");
    ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable; }, 30));
    auto playback = MVMoviePlayback::playbackForMovie(m, silentOptions());
    m->play();
    runLoopUntil([] { return false; }, 2);
    server.kill();
    double longestPass = 0;
    ASSERT_TRUE(runLoopUntil([&] { return !recorder.lastError().empty(); }, 30, &longestPass));
    EXPECT_NE(recorder.lastError().find("The stream stopped"), std::string::npos) << recorder.lastError();
    EXPECT_FALSE(m->isPlaying());
    EXPECT_LT(longestPass, 0.5);
}

// ffmpeg sends `seconds` of pictures as RTP to 127.0.0.1:`port` and describes them in dir/stream.sdp;
// null when the description did not come.
static std::unique_ptr<ServerProcess> sendRTP(const TempDir& dir, int port, int seconds)
{
    auto sender = std::make_unique<ServerProcess>(std::vector<std::string> { "ffmpeg", "-nostdin", "-v", "error",
        "-re", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=" + std::to_string(seconds), "-c:v",
        "libx264", "-preset", "ultrafast", "-g", "25", "-pix_fmt", "yuv420p", "-f", "rtp",
        "rtp://127.0.0.1:" + std::to_string(port), "-sdp_file", (dir / "stream.sdp").string() });
    auto written = [&] {
        std::error_code ec;
        return std::filesystem::file_size(dir / "stream.sdp", ec) > 0 && !ec;
    };
    if (!runLoopUntil(written, 10))
        return nullptr;
    return sender;
}

TEST(StreamingRTPTest, PlaysRTPDescribedByItsSDP)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Done)
        return;
    TempDir dir;
    int port = freeUDPPortPair();
    ASSERT_GT(port, 0);
    auto sender = sendRTP(dir, port, 30);
    ASSERT_TRUE(sender);
    StatusRecorder recorder;
    auto m = openURL(HXURL::fileURLWithPath((dir / "stream.sdp").string()).absoluteString());
    ASSERT_TRUE(m);
    std::shared_ptr<MVMoviePlayback> playback;
    expectPlaysAsAStream(*m, recorder, 5, false, true, playback);
    EXPECT_EQ(m->movieType(), MVMovieTypeLiveStream);
    EXPECT_EQ(m->streamingStatistics()->packetsLost, 0);
    EXPECT_GT(m->streamingStatistics()->packetsExpected, 100);
}

// A stream whose sender stops fails, and lets its ports go at once, while its movie stays open (with
// its error on show): the same description opens again.
TEST(StreamingRTPTest, AStreamThatFailedLetsItsPortsGoWhileItsMovieStaysOpen)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Done)
        return;
    TempDir dir;
    int port = freeUDPPortPair();
    ASSERT_GT(port, 0);
    auto sender = sendRTP(dir, port, 3);
    ASSERT_TRUE(sender);
    StatusRecorder recorder;
    auto m = openURL(HXURL::fileURLWithPath((dir / "stream.sdp").string()).absoluteString());
    ASSERT_TRUE(m);
    ASSERT_TRUE(runLoopUntil([&] { return m->loadState() >= MVMovieLoadStatePlayable; }, 20));
    ASSERT_TRUE(runLoopUntil([&] { return !recorder.lastError().empty(); }, 60));
    EXPECT_TRUE(runLoopUntil([&] { return udpPortIsFree(port) && udpPortIsFree(port + 1); }, 2));
    EXPECT_TRUE(m);
}

// A transport stream sent over UDP to 127.0.0.1, a tenth of its datagrams dropped on the way: the
// continuity counters tell the loss, and the statistics show it.
TEST(StreamingUDPTest, ATransportStreamOverUDPCountsWhatIsLost)
{
    if (!haveTools())
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    TempDir dir;
    const int duration = 20;
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc=size=320x240:rate=25:duration=" + std::to_string(duration), "-c:v",
                             "libx264", "-preset", "ultrafast", "-g", "25", "-pix_fmt", "yuv420p", "-f",
                             "mpegts", (dir / "sent.ts").string() })
                  .status,
        0);
    const std::string bytes = readFile(dir / "sent.ts");
    int port = freeUDPPortPair();
    ASSERT_GT(port, 0);
    StatusRecorder recorder;
    auto m = openURL("udp://127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(m);

    // The sender: seven packets a datagram, at the stream's own rate; every tenth datagram is lost.
    std::atomic<bool> stop { false };
    std::thread sender([&] {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(uint16_t(port));
        const size_t datagram = 7 * 188;
        const double perSecond = double(bytes.size()) / duration;
        auto start = std::chrono::steady_clock::now();
        for (size_t at = 0, n = 0; at < bytes.size() && !stop; at += datagram, ++n) {
            std::this_thread::sleep_until(start + std::chrono::duration<double>(double(at) / perSecond));
            if (n % 10 != 9)
                sendto(fd, bytes.data() + at, std::min(datagram, bytes.size() - at), 0,
                    reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        close(fd);
    });
    struct Join {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Join()
        {
            stop = true;
            thread.join();
        }
    } join { stop, sender };
    std::shared_ptr<MVMoviePlayback> playback;
    expectPlaysAsAStream(*m, recorder, 5, false, true, playback);
    EXPECT_EQ(m->movieType(), MVMovieTypeLiveStream);
    const auto statistics = m->streamingStatistics();
    EXPECT_NEAR(m->trackAtIndex(1)->attributeForKey(MVTrackStreamingPercentLostAttribute).realValue(), 10, 2);
    ASSERT_GT(statistics->packetsExpected, 500);
    EXPECT_NEAR(100.0 * double(statistics->packetsLost) / double(statistics->packetsExpected), 10, 2);
}
