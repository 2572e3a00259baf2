#pragma once
// HXSlider: the control of an HXSliderCell. The arrow keys step it (Page keys by a tenth of the range,
// Home and End to the ends) and send the action.
#include "platform/winkit/control.h"
#include "platform/winkit/slider_cell.h"

class HXSlider : public HXControl {
public:
    explicit HXSlider(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<HXSliderCell> sliderCell() const { return std::static_pointer_cast<HXSliderCell>(cell()); }

    double minValue() const { return sliderCell()->minValue(); }
    void setMinValue(double value);
    double maxValue() const { return sliderCell()->maxValue(); }
    void setMaxValue(double value);
    double altIncrementValue() const { return sliderCell()->altIncrementValue(); }
    void setAltIncrementValue(double value) { sliderCell()->setAltIncrementValue(value); }
    bool isVertical() const { return sliderCell()->isVertical(); }
    void setVertical(bool flag);
    double knobThickness() const { return sliderCell()->knobThickness(); }
    long numberOfTickMarks() const { return sliderCell()->numberOfTickMarks(); }
    void setNumberOfTickMarks(long count) { sliderCell()->setNumberOfTickMarks(count); }
    HXTickMarkPosition tickMarkPosition() const { return sliderCell()->tickMarkPosition(); }
    void setTickMarkPosition(HXTickMarkPosition position) { sliderCell()->setTickMarkPosition(position); }
    bool allowsTickMarkValuesOnly() const { return sliderCell()->allowsTickMarkValuesOnly(); }
    void setAllowsTickMarkValuesOnly(bool flag) { sliderCell()->setAllowsTickMarkValuesOnly(flag); }
    double closestTickMarkValueToValue(double value) const { return sliderCell()->closestTickMarkValueToValue(value); }
    double tickMarkValueAtIndex(long index) const { return sliderCell()->tickMarkValueAtIndex(index); }
    HXRect rectOfTickMarkAtIndex(long index);
    long indexOfTickMarkAtPoint(HXPoint point);
    // The knob's rectangle in the slider's coordinates.
    HXRect knobRect();

    void keyDown(const HXEvent& event) override;
    void setFrame(HXRect frame) override;

protected:
    HXSlider(std::shared_ptr<HXSliderCell> cell, HXRect frame);
};
