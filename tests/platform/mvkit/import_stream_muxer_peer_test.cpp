// The movie muxer the import rewrites streams with, fed an Opus stream whose packets are timed closer
// together than Opus frames can be (as damaged files give them): refused packet by packet with a reason,
// and nothing left behind (the sanitizer's leak check sees to that).
#include "test_support.h"

#include "platform/mvkit/import/stream_muxer.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using movara::test::runCommand;
using movara::test::TempDir;

TEST(StreamMuxer, OpusPacketsTooCloseTogetherAreRefusedNotLeaked)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP();
    TempDir dir;
    auto source = (dir / "sound.webm").string();
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                             "sine=sample_rate=48000:duration=3", "-c:a", "libopus", source })
                  .status,
        0);
    struct Case {
        int stepMilliseconds; // between the packets' decode times (Matroska's ticks are milliseconds)
        bool takes;
    };
    const Case cases[] = { { 20, true }, { 3, true }, { 2, false }, { 1, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stepMilliseconds);
        AVFormatContext* input = nullptr;
        ASSERT_EQ(avformat_open_input(&input, source.c_str(), nullptr, nullptr), 0);
        ASSERT_GE(avformat_find_stream_info(input, nullptr), 0);
        ASSERT_EQ(input->streams[0]->time_base.den, 1000);
        std::string why;
        auto muxer = MVStreamMuxer::create(input->streams[0], (dir / "rewritten.mov").string(), &why);
        ASSERT_TRUE(muxer) << why;
        AVPacket* packet = av_packet_alloc();
        bool written = true;
        for (int64_t n = 0; written && av_read_frame(input, packet) >= 0; ++n) {
            packet->dts = packet->pts = n * c.stepMilliseconds;
            packet->duration = c.stepMilliseconds;
            written = muxer->write(packet, &why);
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        avformat_close_input(&input);
        if (c.takes) {
            EXPECT_TRUE(written) << why;
            EXPECT_TRUE(muxer->finish(&why)) << why;
        } else {
            EXPECT_FALSE(written);
            EXPECT_NE(why.find("closely"), std::string::npos) << why;
        }
    }
}

} // namespace
