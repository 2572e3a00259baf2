#include "recording/capture_view.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"
#include "recording/capture_session.h"

void MVPCaptureView::drawRect(HXRect)
{
    HXColor::blackColor().set();
    HXBezierPath::fillRect(bounds());
    std::shared_ptr<HXImage> image = _session ? _session->lastImage() : nullptr;
    if (_willDisplayImage)
        image = _willDisplayImage(image);
    if (image)
        image->drawInRect(bounds(), HXZeroRect, HXCompositeSourceOver, 1);
}
