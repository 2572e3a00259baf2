#pragma once
// MVPDetentSlider: a slider whose knob, while dragged, snaps onto a tick mark when it comes within half a
// knob's length of it — onto every tick mark, or only onto the one at the detent value.
#include "player/controls/accessibility_titled_slider.h"

class MVPDetentSliderCell : public AccessibilityTitledSliderCell {
public:
    MVPDetentSliderCell() = default;

    bool hasDetent() const { return _hasDetent; }
    void setHasDetent(bool flag) { _hasDetent = flag; }
    // Snaps only at `value` (which must be a tick mark's value to be reached).
    void setDetentOnlyAtValue(float value)
    {
        _detentAtValue = value;
        _detentOnlyAtValue = true;
    }
    float detentAtValue() const { return _detentAtValue; }
    bool detentOnlyAtValue() const { return _detentOnlyAtValue; }

    bool continueTracking(HXPoint lastPoint, HXPoint currentPoint, HXView& controlView) override;

    // Moves the value onto the closest tick mark when it is within the snapping distance (and that tick
    // is the detent value, when only that one snaps); true when it snapped.
    bool snapToDetent(HXView* controlView);

private:
    float _detentAtValue = 0;
    bool _detentOnlyAtValue = false;
    bool _hasDetent = true;
};

class MVPDetentSlider : public AccessibilityTitledSlider {
public:
    explicit MVPDetentSlider(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<MVPDetentSliderCell> detentCell() const
    {
        return std::static_pointer_cast<MVPDetentSliderCell>(cell());
    }

    void setHasDetent(bool flag) { detentCell()->setHasDetent(flag); }
    void setDetentAtValue(float value) { detentCell()->setDetentOnlyAtValue(value); }

    // Presses end when the mouse events stop (see control_tracking.h).
    void mouseDown(const HXEvent& event) override;

protected:
    MVPDetentSlider(std::shared_ptr<MVPDetentSliderCell> cell, HXRect frame);
};
