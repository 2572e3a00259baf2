#include "player/controls/bevel_line_view.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"

void BevelLineView::drawRect(HXRect dirtyRect)
{
    (void)dirtyRect;
    HXRect b = bounds();
    HXColor::colorWithDeviceRed(1, 1, 1, 0.3).setStroke();
    HXBezierPath::strokeLineFromPoint(
        HXMakePoint(HXMinX(b), HXMinY(b) + 0.5), HXMakePoint(HXMaxX(b), HXMinY(b) + 0.5));
    HXColor::colorWithDeviceRed(0, 0, 0, 0.2).setStroke();
    HXBezierPath::strokeLineFromPoint(
        HXMakePoint(HXMinX(b), HXMinY(b) + 1.5), HXMakePoint(HXMaxX(b), HXMinY(b) + 1.5));
}
