// The streaming statistics pane on a real stream: RTP sent by the ffmpeg command line to a python relay
// on loopback that drops a tenth of the packets, received by the player from the stream's SDP. The
// pane's packet loss tells the share the relay dropped. The test runs in a private network namespace.
#include "throughput_pane.h"

#include "audio_capture.h"
#include "pane_test_support.h"
#include "stream_servers.h"

#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/form_cell.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

using namespace movara::test;

namespace {

// The SDP ffmpeg wrote, sent to `port` instead.
std::string withPort(const std::string& sdp, int port)
{
    return std::regex_replace(sdp, std::regex("m=video [0-9]+"), "m=video " + std::to_string(port));
}

double cellValue(const std::shared_ptr<HXForm>& form, int tag)
{
    return std::atof(form->cellWithTag(tag)->stringValue().c_str());
}

} // namespace

TEST(ThroughputPanePeerTest, PacketLossIsTheShareOfRTPPacketsDropped)
{
    if (!haveProgram("ffmpeg") || !haveProgram("python3"))
        GTEST_SKIP() << "ffmpeg and python3 are needed";
    auto where = runInPrivateNetwork();
    if (where == PrivateNetwork::Unavailable)
        GTEST_SKIP() << "no private network namespace can be made here";
    if (where == PrivateNetwork::Done)
        return;
    TempDir dir;
    // The namespace is the test's own, so fixed ports are free; they lie below the range the system picks
    // the senders' own ports from, so no sender takes the player's port before it binds it.
    const int relayPort = 20000;
    const int playerPort = 20010;
    ServerProcess relay({ "python3", "-c", kDropRelayScript, std::to_string(relayPort), std::to_string(playerPort), "0.1" }, true);
    ASSERT_EQ(relay.firstLine, "ready");
    // About a hundred packets a second.
    ServerProcess sender({ "ffmpeg", "-nostdin", "-v", "error", "-re", "-f", "lavfi", "-i",
        "testsrc2=size=640x360:rate=25:duration=40", "-c:v", "mpeg4", "-b:v", "1200k", "-g", "25", "-f", "rtp",
        "rtp://127.0.0.1:" + std::to_string(relayPort) + "?pkt_size=1300", "-sdp_file", (dir / "sent.sdp").string() });
    ASSERT_TRUE(runLoopUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(dir / "sent.sdp", ec) > 0 && !ec;
    }, 10));
    writeFile(dir / "received.sdp", withPort(readFile(dir / "sent.sdp"), playerPort));

    HXError error;
    auto movie = MVMovie::movieWithURL(HXURL::fileURLWithPath((dir / "received.sdp").string()), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    ASSERT_TRUE(runLoopUntil([&] { return movie->loadState() >= MVMovieLoadStatePlayable || movie->loadState() < 0; }, 30));
    ASSERT_GE(movie->loadState(), MVMovieLoadStatePlayable) << movie->loadError().localizedDescription();
    auto playback = MVMoviePlayback::playbackForMovie(movie, silentOptions());

    MVPThroughputPaneFactory factory;
    factory.setBundle(paneBundle("ThroughputPane"));
    auto track = movie->trackAtIndex(1);
    ASSERT_TRUE(factory.canInspectObject(MVPInspectedObject(track)));
    auto pane = std::dynamic_pointer_cast<MVPThroughputPane>(factory.propertyInspectorForObject(MVPInspectedObject(track)));
    ASSERT_TRUE(pane);
    pane->view();
    pane->startInspection();
    movie->play();
    runLoopUntil([] { return false; }, 12.5);
    movie->stop();
    const double average = cellValue(pane->packetLossForm(), 1);
    pane->stopInspection();

    relay.kill(SIGTERM);
    std::istringstream counts(relay.readRest());
    double forwarded = 0, dropped = 0;
    counts >> forwarded >> dropped;
    ASSERT_GT(forwarded + dropped, 500);
    const double dropRate = 100.0 * dropped / (forwarded + dropped);
    EXPECT_GE(pane->dataRateHistory()->sampleCount(), 10u);
    EXPECT_NEAR(average, dropRate, 2.0) << "the relay dropped " << dropped << " of " << forwarded + dropped;
    EXPECT_GT(cellValue(pane->dataRateForm(), 1), 500) << "kilobits a second";
    EXPECT_GT(cellValue(pane->bufferSizeForm(), 1), 0);
}
