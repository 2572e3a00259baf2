#include "platform/winkit/slider.h"

#include "platform/winkit/application.h"

HXCellFactory& HXSlider::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXSliderCell>(); };
    return factory;
}

HXSlider::HXSlider(HXRect frame)
    : HXSlider(std::static_pointer_cast<HXSliderCell>(cellClass()()), frame)
{
}

HXSlider::HXSlider(std::shared_ptr<HXSliderCell> cell, HXRect frame)
    : HXControl(cell ? std::move(cell) : std::make_shared<HXSliderCell>(), frame)
{
    sliderCell()->setCellFrame(bounds());
}

void HXSlider::setFrame(HXRect frame)
{
    HXControl::setFrame(frame);
    sliderCell()->setCellFrame(bounds());
}

void HXSlider::setMinValue(double value)
{
    sliderCell()->setMinValue(value);
    setNeedsDisplay(true);
}

void HXSlider::setMaxValue(double value)
{
    sliderCell()->setMaxValue(value);
    setNeedsDisplay(true);
}

void HXSlider::setVertical(bool flag)
{
    sliderCell()->setVertical(flag);
    sliderCell()->setCellFrame(bounds());
    setNeedsDisplay(true);
}

HXRect HXSlider::rectOfTickMarkAtIndex(long index)
{
    sliderCell()->setCellFrame(bounds());
    return sliderCell()->rectOfTickMarkAtIndex(index);
}

long HXSlider::indexOfTickMarkAtPoint(HXPoint point)
{
    sliderCell()->setCellFrame(bounds());
    return sliderCell()->indexOfTickMarkAtPoint(point);
}

HXRect HXSlider::knobRect()
{
    sliderCell()->setCellFrame(bounds());
    return sliderCell()->knobRectFlipped(isFlipped());
}

void HXSlider::keyDown(const HXEvent& event)
{
    if (!isEnabled() || (event.modifierFlags() & (HXCommandKeyMask | HXControlKeyMask))) {
        HXControl::keyDown(event);
        return;
    }
    auto cell = sliderCell();
    double before = cell->doubleValue();
    double range = cell->maxValue() - cell->minValue();
    switch (event.firstCharacterIgnoringModifiers()) {
    case HXRightArrowFunctionKey:
    case HXUpArrowFunctionKey:
        cell->increment();
        break;
    case HXLeftArrowFunctionKey:
    case HXDownArrowFunctionKey:
        cell->decrement();
        break;
    case HXPageUpFunctionKey:
        cell->setDoubleValue(before + range / 10);
        break;
    case HXPageDownFunctionKey:
        cell->setDoubleValue(before - range / 10);
        break;
    case HXHomeFunctionKey:
        cell->setDoubleValue(cell->minValue());
        break;
    case HXEndFunctionKey:
        cell->setDoubleValue(cell->maxValue());
        break;
    default:
        HXControl::keyDown(event);
        return;
    }
    if (cell->allowsTickMarkValuesOnly())
        cell->setDoubleValue(cell->closestTickMarkValueToValue(cell->doubleValue()));
    if (cell->doubleValue() == before)
        return;
    setNeedsDisplay(true);
    sendAction();
    noteValueChanged();
}
