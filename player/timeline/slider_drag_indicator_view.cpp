#include "player/timeline/slider_drag_indicator_view.h"

#include "platform/drawing/image.h"

void MVPSliderDragIndicatorView::drawRect(HXRect)
{
    if (auto image = HXImage::imageNamed("LCDSliderDragIndicator.tif"))
        image->drawAtPoint(bounds().origin, HXZeroRect, HXCompositeSourceOver, 1);
}
