#pragma once
// Making panorama movies: nodes given as encoded pictures (PNG or JPEG, as an image tool writes them) and
// hot-spot records become the node, panorama, image and hot-spot tracks of a new movie
// (panorama_atoms.h), which saves like any other.
#include "platform/basekit/error.h"
#include "platform/mvkit/panorama/panorama_atoms.h"

#include <memory>
#include <optional>
#include <vector>

class MVMovie;

// One node as it is given.
struct MVPanoramaNodePictures {
    // The node's ID (not 0), name and hot-spot records.
    MVNodeInformation information;
    // Its kind (cylinder or cube), extents and default view. The picture sizes, grids and reference
    // indexes are filled in from what follows.
    MVPanoramaSampleData panorama;
    // The encoded pictures of its grid, left to right, top to bottom, all of one size: a cylinder's
    // tiles, or a cube's six faces in one column (imageColumns 1, imageRows 6).
    std::vector<MVBytes> imageFrames;
    uint16_t imageColumns = 1, imageRows = 1;
    // Its hot-spot pictures in the same layout: 8-bit grey PNG whose pixel values are hot-spot IDs.
    // None: the node has no hot-spot pictures.
    std::vector<MVBytes> hotspotFrames;
    uint16_t hotspotColumns = 1, hotspotRows = 1;
};

// A new movie of `nodes`, each lasting one second; `defaultNodeID` names the node to start at (0: the
// first). Its views are drawn `viewWidth` × `viewHeight` large. Null with `outError` for pictures that
// are not PNG or JPEG, are not all of one size, do not fill the grid, or a node without an ID.
std::shared_ptr<MVMovie> MVMakePanoramaMovie(const std::vector<MVPanoramaNodePictures>& nodes,
    uint32_t defaultNodeID, int viewWidth, int viewHeight, HXError* outError);

// What the header of an encoded picture says: its format as a sample description code ('png ', 'jpeg'),
// size and depth (24 colour, 32 colour with alpha, 40 8-bit grey).
struct MVEncodedPictureInfo {
    uint32_t format = 0;
    int width = 0;
    int height = 0;
    int depth = 24;
};
std::optional<MVEncodedPictureInfo> MVEncodedPictureInfoForData(const MVBytes& data);
