#include "player/controls/image_drawing.h"

#include "platform/drawing/image.h"

#include <algorithm>
#include <cmath>

MVPThreePartLayout MVPThreePartHorizontalLayout(
    const HXRect& rect, const HXSize& leftSize, const HXSize& centerSize, const HXSize& rightSize)
{
    double x = rect.origin.x, y = rect.origin.y, w = rect.size.width;
    MVPThreePartLayout layout;
    layout.left = HXMakeRect(x, y, leftSize.width, leftSize.height);
    layout.center
        = HXMakeRect(x + leftSize.width, y, w - leftSize.width - rightSize.width, centerSize.height);
    layout.right = HXMakeRect(x + w - rightSize.width, y, rightSize.width, rightSize.height);
    return layout;
}

std::vector<MVPImageDrawOperation> MVPHorizontalTileLayout(
    const HXRect& rect, const HXSize& tileSize, bool fromRight, const HXRect& visible)
{
    std::vector<MVPImageDrawOperation> tiles;
    double t = tileSize.width, w = rect.size.width;
    // A tile without width would never use up the row; a row that is not a number has no end.
    if (!(t > 0) || !std::isfinite(t) || !(w > 0) || !std::isfinite(w))
        return tiles;
    double x = rect.origin.x, y = rect.origin.y, h = tileSize.height;
    double count = std::ceil(w / t);
    // Only the tiles near the visible span are walked, so a long row drawn through a small clip costs what
    // is seen. The distance of each edge of the span from where the tiles start, in tiles:
    double nearEdge = fromRight ? (x + w - HXMaxX(visible)) / t : (HXMinX(visible) - x) / t;
    double farEdge = fromRight ? (x + w - HXMinX(visible)) / t : (HXMaxX(visible) - x) / t;
    double first = std::max(0.0, std::floor(nearEdge) - 1);
    double last = std::min(count - 1, std::ceil(farEdge) + 1);
    if (!(first <= last))
        return tiles;
    for (double i = first; i <= last; i += 1) {
        double remaining = w - i * t;
        if (!(remaining > 0))
            break;
        double drawn = std::min(t, remaining);
        MVPImageDrawOperation op;
        if (fromRight) {
            double pen = x + w - i * t;
            op.source = HXMakeRect(t - drawn, 0, drawn, h);
            op.destination = HXMakeRect(pen - drawn, y, drawn, h);
        } else {
            op.source = HXMakeRect(0, 0, drawn, h);
            op.destination = HXMakeRect(x + i * t, y, drawn, h);
        }
        if (HXMaxX(op.destination) > HXMinX(visible) && HXMinX(op.destination) < HXMaxX(visible))
            tiles.push_back(op);
    }
    return tiles;
}

void DrawThreePartHorizontalImage(const HXRect& rect, const HXRect& clipRect, bool flipped,
    const std::string& leftImageName, const std::string& centerImageName, const std::string& rightImageName,
    HXCompositingOperation operation, double fraction)
{
    auto left = HXImage::imageNamed(leftImageName);
    auto center = HXImage::imageNamed(centerImageName);
    auto right = HXImage::imageNamed(rightImageName);
    auto sizeOf = [](const std::shared_ptr<HXImage>& image) { return image ? image->size() : HXZeroSize; };
    auto layout = MVPThreePartHorizontalLayout(rect, sizeOf(left), sizeOf(center), sizeOf(right));
    auto draw = [&](const std::shared_ptr<HXImage>& image, const HXRect& piece) {
        if (!image || HXIsEmptyRect(piece) || !HXIntersectsRect(piece, clipRect))
            return;
        image->setFlipped(flipped);
        image->drawInRect(piece, HXZeroRect, operation, fraction);
    };
    draw(left, layout.left);
    draw(center, layout.center);
    draw(right, layout.right);
}

void DrawHorizontalTileImage(const HXRect& rect, bool flipped, bool fromRight, const std::string& imageName,
    HXCompositingOperation operation, double fraction)
{
    auto context = HXGraphicsContext::currentContext();
    auto image = HXImage::imageNamed(imageName);
    if (!context || !image)
        return;
    image->setFlipped(flipped);
    for (const auto& tile :
        MVPHorizontalTileLayout(rect, image->size(), fromRight, context->clipBoundingBox()))
        image->drawInRect(tile.destination, tile.source, operation, fraction);
}

void DrawScaledImage(const HXRect& rect, bool flipped, const std::string& imageName,
    HXCompositingOperation operation, double fraction)
{
    (void)flipped;
    if (auto image = HXImage::imageNamed(imageName))
        image->drawInRect(rect, HXZeroRect, operation, fraction);
}
