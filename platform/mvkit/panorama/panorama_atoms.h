#pragma once
// The stored form of panorama movies: which tracks make one, and the atoms inside their sample
// descriptions and samples.
//
// A panorama movie is a set of nodes, places one stands in and looks around from. Each node owns a stretch
// of movie time (its samples in every track below start at the node's time), and four tracks carry it:
//
//   node track      media 'node'. Its sample description ('node') holds the world: a header ('vrsc', the
//                   default node) and the node list ('vrnp' with one 'vrni' per node: ID, type, name).
//                   Each sample is one node's information: its header ('ndhd') and its hot-spot records
//                   ('hspa' holding one 'hots' per hot spot: info 'hsin', name, and a 'link' to another
//                   node or a 'url ').
//   panorama track  media 'pano'. Each sample is one node's panorama data ('pdat'): the pan, tilt and
//                   field-of-view extents and defaults, the image geometry and its kind (cylinder or cube),
//                   and which of the track's 'imgt' and 'hott' references hold its pictures.
//   image track     an ordinary video track (disabled: the panorama is not shown as a picture), referred
//                   to by the panorama track's 'imgt' reference. A node's picture is a grid of frames
//                   (columns × rows, left to right, top to bottom) that tile one image: a cylinder
//                   unrolled (pan from the left edge at the largest pan angle to the right edge at the
//                   smallest; the height linear in the tangent of the tilt), or the six faces of a cube
//                   stacked in one column: front, right, back, left, top, bottom, each the 90-degree view
//                   from pan 0, 270, 180, 90 and from tilt 90 and −90 at pan 0.
//   hot-spot track  a video track like the image track (disabled), referred to by 'hott', whose pictures
//                   are 8-bit grey or indexed images of the same layout: a pixel's value is the ID of the
//                   hot spot it belongs to, 0 for none.
//
// Pan angles are degrees counter-clockwise seen from above (turning left raises the pan), tilt is degrees
// up from the horizon, the field of view is the vertical angle the window shows. Integers are big-endian;
// angles are IEEE 754 single-precision. Texts are UTF-8 without a terminating NUL.
#include "platform/mvkit/atoms/movie_file_description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t MVNodeMediaType = MVFourCC("node");
inline constexpr uint32_t MVPanoramaMediaType = MVFourCC("pano");
inline constexpr uint32_t MVPanoramaImageReference = MVFourCC("imgt");
inline constexpr uint32_t MVPanoramaHotspotReference = MVFourCC("hott");

// Node types (the 'vrni' and 'ndhd' field) and panorama kinds (the 'pdat' field).
inline constexpr uint32_t MVNodeTypePanorama = MVFourCC("pano");
inline constexpr uint32_t MVPanoramaTypeCylinder = MVFourCC("cyli");
inline constexpr uint32_t MVPanoramaTypeCube = MVFourCC("cube");

// Hot-spot types (the 'hsin' field).
inline constexpr uint32_t MVHotspotTypeLink = MVFourCC("link");
inline constexpr uint32_t MVHotspotTypeURL = MVFourCC("url ");
inline constexpr uint32_t MVHotspotTypeUndefined = MVFourCC("undf");

// 'pdat': 84 bytes.
struct MVPanoramaSampleData {
    uint16_t majorVersion = 2;
    uint16_t minorVersion = 0;
    uint32_t imageReferenceIndex = 1; // 1-based among the panorama track's 'imgt' references
    uint32_t hotspotReferenceIndex = 0; // 1-based among its 'hott' references; 0: no hot-spot pictures
    float minPan = 0, maxPan = 360;
    float minTilt = -45, maxTilt = 45;
    float minFieldOfView = 5, maxFieldOfView = 90;
    float defaultPan = 0, defaultTilt = 0, defaultFieldOfView = 60;
    uint32_t imageWidth = 0, imageHeight = 0; // the whole image the frames tile
    uint16_t imageColumns = 1, imageRows = 1; // its grid of frames
    uint32_t hotspotWidth = 0, hotspotHeight = 0;
    uint16_t hotspotColumns = 1, hotspotRows = 1;
    uint32_t flags = 0;
    uint32_t panoramaType = MVPanoramaTypeCylinder;
    uint32_t reserved = 0;
    bool operator==(const MVPanoramaSampleData&) const = default;
};

// A 'link' hot spot's destination; a view angle that is not a number keeps the destination's default.
struct MVHotspotLink {
    uint32_t toNodeID = 0;
    float toPan = 0, toTilt = 0, toFieldOfView = 0;
    uint32_t flags = 0; // bit 0: toPan, 1: toTilt, 2: toFieldOfView given
    bool operator==(const MVHotspotLink&) const = default;
};
inline constexpr uint32_t MVHotspotLinkHasPan = 0x1;
inline constexpr uint32_t MVHotspotLinkHasTilt = 0x2;
inline constexpr uint32_t MVHotspotLinkHasFieldOfView = 0x4;

// One 'hots' record.
struct MVHotspotRecord {
    uint32_t hotspotID = 0; // the value of its pixels in the hot-spot pictures (1 … 255)
    uint32_t type = MVHotspotTypeUndefined;
    std::string name;
    float bestPan = 0, bestTilt = 0, bestFieldOfView = 0; // where it is best seen (informative)
    std::optional<MVHotspotLink> link; // 'link' hot spots
    std::string url; // 'url ' hot spots
    bool operator==(const MVHotspotRecord&) const = default;
};

// One node-track sample.
struct MVNodeInformation {
    uint32_t nodeType = MVNodeTypePanorama;
    uint32_t nodeID = 0;
    std::string name;
    std::vector<MVHotspotRecord> hotspots;
    bool operator==(const MVNodeInformation&) const = default;
};

// The node track's sample description: the default node and the node list.
struct MVNodeListEntry {
    uint32_t nodeID = 0;
    uint32_t nodeType = MVNodeTypePanorama;
    std::string name;
    bool operator==(const MVNodeListEntry&) const = default;
};
struct MVPanoramaWorld {
    uint32_t defaultNodeID = 0;
    std::vector<MVNodeListEntry> nodes;
    bool operator==(const MVPanoramaWorld&) const = default;
};

// Reading answers nothing for bytes that do not hold the atom (too short, another type); unknown child
// atoms are skipped. The serialised forms are what the sample descriptions and samples hold.
std::optional<MVPanoramaSampleData> MVParsePanoramaSample(const MVBytes& sample);
MVBytes MVSerializePanoramaSample(const MVPanoramaSampleData& data);

std::optional<MVNodeInformation> MVParseNodeInformation(const MVBytes& sample);
MVBytes MVSerializeNodeInformation(const MVNodeInformation& node);

// `data` is the sample description's data after its common header.
std::optional<MVPanoramaWorld> MVParsePanoramaWorld(const MVBytes& descriptionData);
MVBytes MVSerializePanoramaWorld(const MVPanoramaWorld& world);
