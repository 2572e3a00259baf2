#pragma once
// Drawing of bars and slider tracks from named images: a stretched image, a row of tiles, and a bar made
// of two end caps with a stretched middle. Images are found with HXImage::imageNamed; a missing image draws
// nothing for its part.
#include "platform/drawing/geometry.h"
#include "platform/drawing/graphics_context.h"

#include <string>
#include <vector>

// One image drawn: the part `source` of it (in image points) into `destination`.
struct MVPImageDrawOperation {
    HXRect source;
    HXRect destination;
    bool operator==(const MVPImageDrawOperation&) const = default;
};

// Where the pieces of a three-part bar go in `rect`: the caps at their own size at either end, the
// middle between them at the height of the middle image. Narrower than its caps, the middle gets a
// negative width (and draws nothing) and the caps overlap.
struct MVPThreePartLayout {
    HXRect left;
    HXRect center;
    HXRect right;
};
MVPThreePartLayout MVPThreePartHorizontalLayout(
    const HXRect& rect, const HXSize& leftSize, const HXSize& centerSize, const HXSize& rightSize);

// The tiles of an image of `tileSize` across the width of `rect` at the image's own height, from the left
// (or from the right), the last one cut to what is left: its left part (from the right: its right part).
// Only tiles that reach into `visible` horizontally are listed. Nothing for a tile without width.
std::vector<MVPImageDrawOperation> MVPHorizontalTileLayout(
    const HXRect& rect, const HXSize& tileSize, bool fromRight, const HXRect& visible);

// Draws the three images as a bar across `rect`: each piece only when it meets `clipRect`, each image
// set to `flipped` first and drawn whole into its piece.
void DrawThreePartHorizontalImage(const HXRect& rect, const HXRect& clipRect, bool flipped,
    const std::string& leftImageName, const std::string& centerImageName, const std::string& rightImageName,
    HXCompositingOperation operation, double fraction);
// Tiles the image across `rect` (see MVPHorizontalTileLayout), within the current clip.
void DrawHorizontalTileImage(const HXRect& rect, bool flipped, bool fromRight, const std::string& imageName,
    HXCompositingOperation operation, double fraction);
// The whole image stretched into `rect`. The image's own flipped setting is left as it is.
void DrawScaledImage(const HXRect& rect, bool flipped, const std::string& imageName,
    HXCompositingOperation operation, double fraction);
