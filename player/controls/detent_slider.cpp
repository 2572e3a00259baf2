#include "player/controls/detent_slider.h"

#include "player/controls/control_tracking.h"

#include <cmath>

bool MVPDetentSliderCell::continueTracking(HXPoint lastPoint, HXPoint currentPoint, HXView& controlView)
{
    bool answer = AccessibilityTitledSliderCell::continueTracking(lastPoint, currentPoint, controlView);
    snapToDetent(&controlView);
    return answer;
}

bool MVPDetentSliderCell::snapToDetent(HXView* controlView)
{
    if (sliderType() != HXLinearSlider || !_hasDetent || numberOfTickMarks() <= 0)
        return false;
    HXRect track = trackRect();
    double length = isVertical() ? track.size.height : track.size.width;
    if (!(length > 0))
        return false;
    double k = knobThickness() / length;
    double window = (maxValue() - minValue()) * 0.5 * k;
    double value = doubleValue();
    double c = closestTickMarkValueToValue(value);
    if (!(c - window < value && value < c + window))
        return false;
    if (_detentOnlyAtValue && c != double(_detentAtValue))
        return false;
    setDoubleValue(c);
    if (controlView)
        controlView->setNeedsDisplayInRect(knobRectFlipped(controlView->isFlipped()));
    return true;
}

HXCellFactory& MVPDetentSlider::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<MVPDetentSliderCell>(); };
    return factory;
}

MVPDetentSlider::MVPDetentSlider(HXRect frame)
    : MVPDetentSlider(std::static_pointer_cast<MVPDetentSliderCell>(cellClass()()), frame)
{
}

MVPDetentSlider::MVPDetentSlider(std::shared_ptr<MVPDetentSliderCell> cell, HXRect frame)
    : AccessibilityTitledSlider(cell ? std::move(cell) : std::make_shared<MVPDetentSliderCell>(), frame)
{
}

void MVPDetentSlider::mouseDown(const HXEvent& event)
{
    MVPTrackMouseInControl(*this, event);
}
