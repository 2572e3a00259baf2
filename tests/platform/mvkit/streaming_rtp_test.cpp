// RTP packet counting from sequence numbers, and the SDP descriptions the relay reads and rewrites.
#include "platform/mvkit/streaming/rtp_relay.h"
#include "platform/mvkit/streaming/rtp_sequence_counter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(RTPSequenceCounterTest, CountsExpectedAndLostPackets)
{
    struct Case {
        const char* name;
        std::vector<int> sequence;
        int64_t expected;
        int64_t lost;
    };
    const Case cases[] = {
        { "in order", { 10, 11, 12, 13 }, 4, 0 },
        { "gaps", { 10, 12, 13, 16 }, 7, 3 },
        { "across the wrap", { 65534, 65535, 0, 2 }, 5, 1 },
        { "late packet fills its gap", { 10, 12, 11, 13 }, 4, 0 },
        { "duplicate hides a loss", { 10, 11, 11, 13 }, 4, 0 },
        { "sender restarts far away", { 100, 101, 103, 40000, 40001 }, 6, 1 },
        { "nothing", {}, 0, 0 },
    };
    for (const auto& c : cases) {
        MVRTPSequenceCounter counter;
        for (int s : c.sequence)
            counter.receive(uint16_t(s));
        EXPECT_EQ(counter.expected(), c.expected) << c.name;
        EXPECT_EQ(counter.lost(), c.lost) << c.name;
        EXPECT_EQ(counter.received(), int64_t(c.sequence.size())) << c.name;
    }
}

TEST(RTPSequenceCounterTest, ATenthDroppedOverManyWrapsIsATenth)
{
    MVRTPSequenceCounter counter;
    for (int i = 0; i < 200000; ++i)
        if (i % 10 != 3)
            counter.receive(uint16_t(i + 1000));
    EXPECT_EQ(counter.expected(), 200000);
    EXPECT_EQ(counter.lost(), 20000);
}

namespace {

const char* kTwoMedia = "v=0\r\n"
                        "o=- 0 0 IN IP4 127.0.0.1\r\n"
                        "s=Test\r\n"
                        "c=IN IP4 127.0.0.1\r\n"
                        "t=0 0\r\n"
                        "m=video 5004 RTP/AVP 96\r\n"
                        "a=rtpmap:96 MP4V-ES/90000\r\n"
                        "m=audio 5006 RTP/AVP 97\r\n"
                        "a=rtcp:5010\r\n"
                        "a=rtpmap:97 MPEG4-GENERIC/44100/2\r\n";

} // namespace

TEST(RTPRelayDescriptionTest, ReadsTheMediaOfUnicastDescriptions)
{
    auto media = MVRTPRelay::mediaOfDescription(kTwoMedia);
    ASSERT_EQ(media.size(), 2u);
    EXPECT_EQ(media[0].address, "127.0.0.1");
    EXPECT_EQ(media[0].rtpPort, 5004);
    EXPECT_EQ(media[0].rtcpPort, 5005);
    EXPECT_EQ(media[1].rtpPort, 5006);
    EXPECT_EQ(media[1].rtcpPort, 5010);

    struct Case {
        const char* name;
        std::string sdp;
    };
    const Case refused[] = {
        { "multicast", "v=0\nc=IN IP4 239.1.2.3/16\nm=video 5004 RTP/AVP 96\n" },
        { "IPv6", "v=0\nc=IN IP6 ::1\nm=video 5004 RTP/AVP 96\n" },
        { "not RTP", "v=0\nc=IN IP4 127.0.0.1\nm=application 9 TCP/BFCP *\n" },
        { "port range", "v=0\nc=IN IP4 127.0.0.1\nm=video 5004/2 RTP/AVP 96\n" },
        { "no address", "v=0\nm=video 5004 RTP/AVP 96\n" },
        { "bad port", "v=0\nc=IN IP4 127.0.0.1\nm=video 70000 RTP/AVP 96\n" },
    };
    for (const auto& c : refused)
        EXPECT_TRUE(MVRTPRelay::mediaOfDescription(c.sdp).empty()) << c.name;
}

TEST(RTPRelayDescriptionTest, RewritesAddressesAndPortsOnly)
{
    std::string rewritten = MVRTPRelay::rewriteDescription(kTwoMedia, { 40000, 40002 });
    EXPECT_NE(rewritten.find("m=video 40000 RTP/AVP 96\r\n"), std::string::npos);
    EXPECT_NE(rewritten.find("m=audio 40002 RTP/AVP 97\r\n"), std::string::npos);
    EXPECT_NE(rewritten.find("a=rtpmap:97 MPEG4-GENERIC/44100/2\r\n"), std::string::npos);
    EXPECT_EQ(rewritten.find("a=rtcp:"), std::string::npos);
    EXPECT_EQ(rewritten.find("5004"), std::string::npos);
    // The rewritten text reads back as the relay's loopback ports.
    auto media = MVRTPRelay::mediaOfDescription(rewritten);
    ASSERT_EQ(media.size(), 2u);
    EXPECT_EQ(media[1].rtpPort, 40002);
    EXPECT_EQ(media[1].rtcpPort, 40003);
}
