#pragma once
// The sliders of the heads-up panels: HUDImageSlider, an image slider drawn from the "hud_slider-…"
// pictures with a detent, always looking active; and HUDJogShuttleSlider, which springs back to the
// middle (0) whenever it is let go, so that a shuttle acts only while it is held.
#include "player/controls/image_slider.h"

#include <memory>

class HUDImageSliderCell : public ImageSliderCell {
public:
    HUDImageSliderCell() = default;
};

class HUDImageSlider : public ImageSlider {
public:
    explicit HUDImageSlider(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    // The long track of the wide sliders.
    void setWideSlider();
    // The look of a slider laid out elsewhere and made a heads-up one.
    void awakeFromInterface() { sharedInit(); }

protected:
    HUDImageSlider(std::shared_ptr<HUDImageSliderCell> cell, HXRect frame);
    void sharedInit();
};

class HUDJogShuttleSliderCell : public HUDImageSliderCell {
public:
    HUDJogShuttleSliderCell() = default;
    // Let go: back to the middle. The change reaches the action's target like any other.
    void stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp) override;
};

class HUDJogShuttleSlider : public HUDImageSlider {
public:
    explicit HUDJogShuttleSlider(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
};
