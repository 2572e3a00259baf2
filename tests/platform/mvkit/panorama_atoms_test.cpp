// The stored form of panoramas: panorama data, node information and the node list read back what was
// written, and damaged bytes give nothing rather than a half-read node.
#include "platform/mvkit/panorama/panorama_atoms.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

MVPanoramaSampleData cubeData()
{
    MVPanoramaSampleData d;
    d.imageReferenceIndex = 1;
    d.hotspotReferenceIndex = 2;
    d.minPan = -10;
    d.maxPan = 350;
    d.minTilt = -90;
    d.maxTilt = 90;
    d.minFieldOfView = 8;
    d.maxFieldOfView = 120;
    d.defaultPan = 45.5f;
    d.defaultTilt = -12.25f;
    d.defaultFieldOfView = 75;
    d.imageWidth = 512;
    d.imageHeight = 3072;
    d.imageColumns = 1;
    d.imageRows = 6;
    d.hotspotWidth = 256;
    d.hotspotHeight = 1536;
    d.hotspotColumns = 1;
    d.hotspotRows = 6;
    d.panoramaType = MVPanoramaTypeCube;
    return d;
}

MVNodeInformation nodeWithHotspots()
{
    MVNodeInformation n;
    n.nodeID = 7;
    n.name = "Entrée";
    MVHotspotRecord link;
    link.hotspotID = 1;
    link.type = MVHotspotTypeLink;
    link.name = "To the hall";
    link.bestPan = 30;
    link.link = MVHotspotLink { 9, 90, -5, 40, MVHotspotLinkHasPan | MVHotspotLinkHasTilt };
    MVHotspotRecord url;
    url.hotspotID = 200;
    url.type = MVHotspotTypeURL;
    url.name = "Web";
    url.url = "https://example.com/a?b=c";
    MVHotspotRecord bare;
    bare.hotspotID = 3;
    n.hotspots = { link, url, bare };
    return n;
}

TEST(PanoramaAtoms, PanoramaDataRoundTrips)
{
    MVPanoramaSampleData d = cubeData();
    MVBytes bytes = MVSerializePanoramaSample(d);
    EXPECT_EQ(bytes.size(), 92u); // an 8-byte header and 84 bytes of data
    EXPECT_EQ(bytes[4], 'p');
    EXPECT_EQ(bytes[7], 't');
    auto back = MVParsePanoramaSample(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, d);
}

TEST(PanoramaAtoms, NodeInformationAndWorldRoundTrip)
{
    MVNodeInformation n = nodeWithHotspots();
    auto back = MVParseNodeInformation(MVSerializeNodeInformation(n));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, n);

    MVPanoramaWorld world { 9, { { 7, MVNodeTypePanorama, "Entrée" }, { 9, MVNodeTypePanorama, "" } } };
    auto worldBack = MVParsePanoramaWorld(MVSerializePanoramaWorld(world));
    ASSERT_TRUE(worldBack);
    EXPECT_EQ(*worldBack, world);
}

TEST(PanoramaAtoms, UnknownAtomsAreSkipped)
{
    // A later writer may add atoms of its own before and inside the ones we know.
    MVBytes extra = { 0, 0, 0, 12, 'x', 'y', 'z', 'w', 1, 2, 3, 4 };
    MVBytes pano = extra;
    MVBytes data = MVSerializePanoramaSample(cubeData());
    pano.insert(pano.end(), data.begin(), data.end());
    EXPECT_EQ(MVParsePanoramaSample(pano), cubeData());

    MVBytes node = MVSerializeNodeInformation(nodeWithHotspots());
    node.insert(node.end(), extra.begin(), extra.end());
    EXPECT_EQ(MVParseNodeInformation(node), nodeWithHotspots());
}

TEST(PanoramaAtoms, DamagedBytesGiveNothing)
{
    MVBytes pano = MVSerializePanoramaSample(cubeData());
    MVBytes node = MVSerializeNodeInformation(nodeWithHotspots());
    MVBytes world = MVSerializePanoramaWorld({ 1, { { 1, MVNodeTypePanorama, "A" } } });
    auto truncated = [](MVBytes b, size_t keep) {
        b.resize(keep);
        return b;
    };
    auto sized = [](MVBytes b, uint32_t size) {
        b[0] = uint8_t(size >> 24), b[1] = uint8_t(size >> 16), b[2] = uint8_t(size >> 8),
        b[3] = uint8_t(size);
        return b;
    };
    // Cut inside the data, an atom claiming more than there is, an atom smaller than its header.
    EXPECT_FALSE(MVParsePanoramaSample(truncated(pano, 50)));
    EXPECT_FALSE(MVParsePanoramaSample(sized(pano, 4000)));
    EXPECT_FALSE(MVParsePanoramaSample(sized(pano, 4)));
    EXPECT_FALSE(MVParsePanoramaSample({}));
    EXPECT_FALSE(MVParseNodeInformation(truncated(node, node.size() - 3)));
    EXPECT_FALSE(MVParseNodeInformation(sized(node, 0xFFFFFFF0)));
    EXPECT_FALSE(MVParseNodeInformation({})) << "a node needs its header";
    EXPECT_FALSE(MVParsePanoramaWorld(truncated(world, 10)));
    EXPECT_FALSE(MVParsePanoramaWorld({}));

    // More hot spots than an 8-bit picture can tell apart is damage, not a node.
    MVNodeInformation crowded;
    crowded.nodeID = 1;
    crowded.hotspots.resize(256);
    EXPECT_FALSE(MVParseNodeInformation(MVSerializeNodeInformation(crowded)));
    crowded.hotspots.resize(255);
    EXPECT_TRUE(MVParseNodeInformation(MVSerializeNodeInformation(crowded)));
}

} // namespace
