#include "player/timeline/slider_selection_ticks_view.h"

#include "player/controls/image_drawing.h"
#include "player/timeline/slider_geometry.h"
#include "player/timeline/slider_media_source_protocol.h"

MVPSliderSelectionTicksView::MVPSliderSelectionTicksView(HXRect frame, MVPSliderMediaSourceProtocol* source)
    : HXView(frame)
    , _mediaSource(source)
{
}

void MVPSliderSelectionTicksView::drawRect(HXRect)
{
    DrawHorizontalTileImage(
        bounds(), false, false, "LCDSliderSelectionTicks.tif", HXCompositeSourceOver, _fader.drawingAlpha());
}

void MVPSliderSelectionTicksView::mouseDownOrDrag(const HXEvent& event)
{
    if (!_mediaSource)
        return;
    HXPoint local = convertPointFromView(event.locationInWindow(), nullptr);
    double p = MVPSliderGeometry::stripPercent(local.x, bounds().size.width);
    _mediaSource->setSelectionPercent(p);
    _mediaSource->setCurrentTimePercent(p);
}

void MVPSliderSelectionTicksView::mouseDown(const HXEvent& event)
{
    if (_mediaSource)
        _mediaSource->pause();
    mouseDownOrDrag(event);
}

void MVPSliderSelectionTicksView::mouseDragged(const HXEvent& event)
{
    mouseDownOrDrag(event);
}

void MVPSliderSelectionTicksView::mouseUp(const HXEvent&)
{
    if (_mediaSource)
        _mediaSource->unpause();
}

void MVPSliderSelectionTicksView::viewWillMoveToSuperview(HXView* newSuperview)
{
    if (!newSuperview && superview())
        setFadeTimer(nullptr);
}
