#include "platform/winkit/image_cell.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/view.h"

#include <algorithm>

HXImageCell::HXImageCell(std::shared_ptr<HXImage> image)
    : HXCell(std::move(image))
{
    setType(HXImageCellType);
}

void HXImageCell::setImageScaling(HXImageScaling scaling)
{
    _imageScaling = scaling;
    noteChanged();
}

void HXImageCell::setImageAlignment(HXImageAlignment alignment)
{
    _imageAlignment = alignment;
    noteChanged();
}

void HXImageCell::setImageFrameStyle(HXImageFrameStyle style)
{
    _imageFrameStyle = style;
    noteChanged();
}

HXRect HXImageCell::drawingRectForBounds(HXRect bounds) const
{
    switch (_imageFrameStyle) {
    case HXImageFrameNone:
        return bounds;
    case HXImageFramePhoto:
        return HXInsetRect(bounds, 4, 4);
    default:
        return HXInsetRect(bounds, 3, 3);
    }
}

HXRect HXImageCell::imageRectForBounds(HXRect bounds) const { return imageRectForBounds(bounds, controlView() && controlView()->isFlipped()); }

HXRect HXImageCell::imageRectForBounds(HXRect bounds, bool flipped) const
{
    HXRect area = drawingRectForBounds(bounds);
    auto picture = image();
    if (!picture)
        return HXZeroRect;
    HXSize s = picture->size();
    if (s.width <= 0 || s.height <= 0)
        return HXZeroRect;
    HXSize fitted = s;
    double sx = area.size.width / s.width, sy = area.size.height / s.height;
    switch (_imageScaling) {
    case HXImageScaleAxesIndependently:
        return area;
    case HXImageScaleNone:
        break;
    case HXImageScaleProportionallyDown:
        if (sx < 1 || sy < 1)
            fitted = { s.width * std::min(sx, sy), s.height * std::min(sx, sy) };
        break;
    case HXImageScaleProportionallyUpOrDown:
        fitted = { s.width * std::min(sx, sy), s.height * std::min(sx, sy) };
        break;
    }
    double x = HXMidX(area) - fitted.width / 2, y = HXMidY(area) - fitted.height / 2;
    double top = flipped ? area.origin.y : HXMaxY(area) - fitted.height;
    double bottom = flipped ? HXMaxY(area) - fitted.height : area.origin.y;
    switch (_imageAlignment) {
    case HXImageAlignTop:
        y = top;
        break;
    case HXImageAlignTopLeft:
        y = top;
        x = area.origin.x;
        break;
    case HXImageAlignTopRight:
        y = top;
        x = HXMaxX(area) - fitted.width;
        break;
    case HXImageAlignLeft:
        x = area.origin.x;
        break;
    case HXImageAlignBottom:
        y = bottom;
        break;
    case HXImageAlignBottomLeft:
        y = bottom;
        x = area.origin.x;
        break;
    case HXImageAlignBottomRight:
        y = bottom;
        x = HXMaxX(area) - fitted.width;
        break;
    case HXImageAlignRight:
        x = HXMaxX(area) - fitted.width;
        break;
    case HXImageAlignCenter:
        break;
    }
    return { { x, y }, fitted };
}

void HXImageCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    switch (_imageFrameStyle) {
    case HXImageFrameNone:
        break;
    case HXImageFramePhoto:
        HXControlStyle::drawPanel(HXInsetRect(cellFrame, 1, 1), HXColor::whiteColor(), HXControlStyle::borderColor(), 1);
        break;
    case HXImageFrameButton:
        HXControlStyle::drawPanel(cellFrame, HXControlStyle::faceColor(), HXControlStyle::borderColor());
        break;
    default:
        HXControlStyle::drawPanel(cellFrame, HXColor::colorWithCalibratedWhite(0.93), HXControlStyle::borderColor());
        break;
    }
    drawInteriorWithFrame(cellFrame, controlView);
}

void HXImageCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    auto picture = image();
    if (!picture)
        return;
    HXRect r = imageRectForBounds(cellFrame, controlView.isFlipped());
    if (HXIsEmptyRect(r))
        return;
    // Images larger than the frame (no scaling) are cut at its edges.
    HXGraphicsContext::saveGraphicsState();
    HXBezierPath::clipRect(drawingRectForBounds(cellFrame));
    picture->drawInRect(r, HXZeroRect, HXCompositeSourceOver, isEnabled() ? 1.0 : 0.5);
    HXGraphicsContext::restoreGraphicsState();
}

HXAccessibilityValue HXImageCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityImageRole;
    if (attribute == HXAccessibilityValueAttribute)
        return {};
    return HXCell::accessibilityAttributeValue(attribute);
}
