// Transport-stream packets over UDP counted from their continuity counters: what was received, and
// what was lost between them.
#include "platform/mvkit/streaming/ts_continuity_counter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TSPacket {
    uint16_t pid;
    int counter;
    bool payload = true;
    bool discontinuity = false; // in an adaptation field
    bool damaged = false; // the transport error indicator
};

std::vector<uint8_t> bytesOf(const std::vector<TSPacket>& packets)
{
    std::vector<uint8_t> out;
    for (const auto& p : packets) {
        std::vector<uint8_t> b(MVTSContinuityCounter::kPacketSize, 0xFF);
        b[0] = 0x47;
        b[1] = uint8_t((p.damaged ? 0x80 : 0) | ((p.pid >> 8) & 0x1F));
        b[2] = uint8_t(p.pid & 0xFF);
        const bool adaptation = p.discontinuity || !p.payload;
        b[3] = uint8_t(((adaptation ? 2 : 0) | (p.payload ? 1 : 0)) << 4 | (p.counter & 0x0F));
        if (adaptation) {
            b[4] = 1; // adaptation field length
            b[5] = p.discontinuity ? 0x80 : 0x00;
        }
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

std::vector<TSPacket> run(uint16_t pid, int from, int count)
{
    std::vector<TSPacket> out;
    for (int i = 0; i < count; ++i)
        out.push_back({ pid, (from + i) & 0x0F });
    return out;
}

} // namespace

TEST(TSContinuityCounterTest, CountsLostPacketsFromEachPIDsCounter)
{
    struct Case {
        const char* name;
        std::vector<TSPacket> packets;
        int64_t received;
        int64_t lost;
    };
    const Case cases[] = {
        { "in order, across the wrap", run(0x100, 12, 10), 10, 0 },
        { "gaps", { { 0x100, 1 }, { 0x100, 2 }, { 0x100, 5 }, { 0x100, 6 }, { 0x100, 8 } }, 5, 3 },
        { "a gap across the wrap", { { 0x100, 14 }, { 0x100, 1 } }, 2, 2 },
        { "PIDs counted apart", { { 0x100, 3 }, { 0x101, 9 }, { 0x100, 4 }, { 0x101, 11 }, { 0x100, 7 } }, 5,
            3 },
        { "a repeated packet loses nothing", { { 0x100, 3 }, { 0x100, 3 }, { 0x100, 4 } }, 3, 0 },
        { "no payload: the counter stands", { { 0x100, 3 }, { 0x100, 3, false }, { 0x100, 4 } }, 3, 0 },
        { "a marked discontinuity", { { 0x100, 3 }, { 0x100, 9, true, true }, { 0x100, 10 } }, 3, 0 },
        { "null packets", { { 0x1FFF, 0 }, { 0x1FFF, 7 }, { 0x1FFF, 2 } }, 3, 0 },
        { "a damaged packet is skipped", { { 0x100, 3 }, { 0x100, 12, true, false, true }, { 0x100, 4 } }, 3,
            0 },
        { "nothing", {}, 0, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MVTSContinuityCounter counter;
        auto bytes = bytesOf(c.packets);
        counter.receive(bytes.data(), bytes.size());
        EXPECT_EQ(counter.received(), c.received);
        EXPECT_EQ(counter.lost(), c.lost);
        EXPECT_EQ(counter.expected(), c.received + c.lost);
    }
}

TEST(TSContinuityCounterTest, PacketsSplitAnywhereAndBytesOutOfStepCountTheSame)
{
    // Three PIDs interleaved, every seventh packet dropped (as a lost datagram drops them).
    std::vector<TSPacket> sent;
    int counters[3] = { 0, 0, 0 };
    int64_t dropped = 0;
    for (int i = 0; i < 700; ++i) {
        const int which = i % 3;
        TSPacket p { uint16_t(0x100 + which), counters[which]++ & 0x0F };
        if (i % 7 == 3 && i > 3 && i < 690)
            ++dropped;
        else
            sent.push_back(p);
    }
    auto bytes = bytesOf(sent);
    // Junk before the first sync byte is skipped.
    const std::string junk = "junk";
    bytes.insert(bytes.begin(), junk.begin(), junk.end());
    for (size_t piece : { size_t(1), size_t(100), size_t(188), size_t(1316), size_t(5000) }) {
        SCOPED_TRACE(piece);
        MVTSContinuityCounter counter;
        for (size_t at = 0; at < bytes.size(); at += piece)
            counter.receive(bytes.data() + at, std::min(piece, bytes.size() - at));
        EXPECT_EQ(counter.received(), int64_t(sent.size()));
        EXPECT_EQ(counter.lost(), dropped);
    }
}
