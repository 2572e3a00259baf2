#include "player/controls/hud_image_slider.h"

#include "platform/drawing/image.h"

HXCellFactory& HUDImageSlider::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HUDImageSliderCell>(); };
    return factory;
}

HUDImageSlider::HUDImageSlider(HXRect frame)
    : HUDImageSlider(std::static_pointer_cast<HUDImageSliderCell>(cellClass()()), frame)
{
}

HUDImageSlider::HUDImageSlider(std::shared_ptr<HUDImageSliderCell> cell, HXRect frame)
    : ImageSlider(cell ? std::move(cell) : std::make_shared<HUDImageSliderCell>(), frame)
{
    sharedInit();
}

void HUDImageSlider::sharedInit()
{
    setHasDetent(true);
    setBarImage(HXImage::imageNamed("hud_slider-track.tif"));
    setKnobImage(HXImage::imageNamed("hud_slider-knob.tif"));
    setKnobDisabledImage(HXImage::imageNamed("hud_slider-knob-disabled.tif"));
    setBarDisabledImage(HXImage::imageNamed("hud_slider-track-disabled.tif"));
    setKnobAlternateImage(HXImage::imageNamed("hud_slider-knob.tif"));
    setAlwaysActive(true);
    setOffset(0, 1, 0, 0);
}

void HUDImageSlider::setWideSlider()
{
    setBarDisabledImage(HXImage::imageNamed("hud_slider-track_long-disabled.tif"));
    setBarImage(HXImage::imageNamed("hud_slider-track_long.tif"));
    setNeedsDisplay(true);
}

void HUDJogShuttleSliderCell::stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp)
{
    HUDImageSliderCell::stopTracking(lastPoint, stopPoint, controlView, mouseIsUp);
    if (mouseIsUp)
        setDoubleValue(0);
}

HXCellFactory& HUDJogShuttleSlider::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HUDJogShuttleSliderCell>(); };
    return factory;
}

HUDJogShuttleSlider::HUDJogShuttleSlider(HXRect frame)
    : HUDImageSlider(std::static_pointer_cast<HUDJogShuttleSliderCell>(cellClass()()), frame)
{
}
