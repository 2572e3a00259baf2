// The hint track pane: the rows read from hint information atoms, atoms that are cut short or malformed,
// and the matrix of label and value cells it shows.
#include "packet_info_pane.h"

#include "pane_test_support.h"

#include "platform/mvkit/track.h"
#include "platform/mvkit/user_data.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

void put32(MVBytes& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(uint8_t(v >> s));
}

// An atom of `type` with the 32-bit values, then `tail` bytes; `size` overrides the stored size.
MVBytes atom(const char* type, std::vector<uint32_t> values, MVBytes tail = {}, std::optional<uint32_t> size = {})
{
    MVBytes payload;
    for (uint32_t v : values)
        put32(payload, v);
    payload.insert(payload.end(), tail.begin(), tail.end());
    MVBytes out;
    put32(out, size.value_or(uint32_t(8 + payload.size())));
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(type[i]));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

MVBytes join(std::vector<MVBytes> parts)
{
    MVBytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string fmt(const std::string& key)
{
    if (key == "bytes")
        return "%d bytes";
    if (key == "milliseconds")
        return "%d ms";
    return "%d bits/s";
}

MVBytes pascal(const std::string& s) { MVBytes b { uint8_t(s.size()) }; b.insert(b.end(), s.begin(), s.end()); return b; }

} // namespace

TEST(PacketInfoPane, RowsFromHintInformation)
{
    using Rows = MVPHintRows;
    struct Case {
        const char* what;
        MVBytes data;
        double seconds;
        Rows rows;
    } cases[] = {
        { "every atom, in table order",
            join({ atom("payt", { 96 }, pascal("H264/90000")), atom("totl", { 1000 }), atom("maxr", { 1000, 64000 }),
                atom("dmax", { 40 }), atom("pmax", { 1450 }), atom("npck", { 12 }), atom("zzzz", { 1, 2, 3 }) }),
            2.0,
            { { "PacketCount", "12" }, { "MaxPacketSize", "1450 bytes" }, { "MaxPacketDuration", "40 ms" },
                { "MaxBitRate", "64000 bits/s" }, { "AverageBitRate", "4000 bits/s" }, { "PayloadType", "H264/90000" } } },
        { "a later atom replaces an earlier one", join({ atom("npck", { 1 }), atom("npck", { 2 }) }), 1, { { "PacketCount", "2" } } },
        { "peak rate over another period", atom("maxr", { 500, 64000 }), 1, {} },
        { "total of a track without duration", atom("totl", { 1000 }), 0, {} },
        { "total past 2^31 bits/s", atom("totl", { 0xFFFFFFFF }), 1.0, { { "AverageBitRate", "34359738360 bits/s" } } },
        { "payload name past the atom", atom("payt", { 96 }, MVBytes { 20, 'a', 'b' }), 1, {} },
        { "size 0 ends the walk", join({ atom("npck", { 5 }), atom("pmax", { 9 }, {}, 0u), atom("dmax", { 1 }) }), 1,
            { { "PacketCount", "5" } } },
        { "atom past the end", join({ atom("npck", { 5 }), atom("pmax", { 9 }, {}, 100u) }), 1, { { "PacketCount", "5" } } },
        { "atoms too short for their values",
            join({ atom("npck", {}), atom("maxr", { 1000 }), atom("pmax", {}, MVBytes { 1, 2 }) }), 1, {} },
        { "a lone header", atom("npck", {}), 1, {} },
        { "no data", {}, 1, {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPHintRowsFromData(c.data, c.seconds, fmt), c.rows) << c.what;
}

TEST(PacketInfoPane, ShowsLabelsAndValuesOfAHintTrack)
{
    auto movie = MVMovie::movie();
    auto hint = movie->newTrack(MVFourCC("hint"), 600);
    auto video = movie->newTrack(MVFourCC("vide"), 600, 64, 48);
    MVPPacketInfoPaneFactory factory;
    factory.setBundle(paneBundle("PacketInfoPane"));
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(hint))) << "no hint information";
    MVUserDataAddItem(hint->userData(), MVFourCC("hinf"), join({ atom("npck", { 7 }), atom("pmax", { 1200 }) }));
    MVUserDataAddItem(video->userData(), MVFourCC("hinf"), atom("npck", { 7 }));
    EXPECT_TRUE(factory.canInspectObject(MVPInspectedObject(hint)));
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(video))) << "not a hint track";
    EXPECT_FALSE(factory.canInspectObject(MVPInspectedObject(movie)));

    auto pane = std::dynamic_pointer_cast<MVPPacketInfoPane>(factory.propertyInspectorForObject(MVPInspectedObject(hint)));
    ASSERT_TRUE(pane);
    EXPECT_EQ(pane->view()->bounds().size, (HXSize { 544, 255 }));
    EXPECT_EQ(pane->maxViewSize(), pane->minViewSize());
    pane->startInspection();
    auto matrix = pane->matrix();
    ASSERT_EQ(matrix->numberOfRows(), 2);
    EXPECT_EQ(matrix->numberOfColumns(), 2);
    EXPECT_EQ(matrix->cellSize().width, 272);
    EXPECT_EQ(matrix->cellAtRowColumn(0, 0)->stringValue(), "Packets:");
    EXPECT_EQ(matrix->cellAtRowColumn(0, 1)->stringValue(), "7");
    EXPECT_EQ(matrix->cellAtRowColumn(1, 1)->stringValue(), "1200 bytes");
    EXPECT_EQ(matrix->cellAtRowColumn(1, 0)->alignment(), HXRightTextAlignment);
    // Rebuilt at every start.
    MVUserDataSetItem(hint->userData(), MVFourCC("hinf"), 1, atom("npck", { 8 }));
    pane->startInspection();
    ASSERT_EQ(matrix->numberOfRows(), 1);
    EXPECT_EQ(matrix->cellAtRowColumn(0, 1)->stringValue(), "8");
}
