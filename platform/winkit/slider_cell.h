#pragma once
// HXSliderCell: a value between a minimum and a maximum, shown as a knob on a track, horizontal or
// vertical, with optional tick marks the knob can be held to. The geometry (track, knob, ticks) and the
// tracking hooks are open to subclasses that draw from images or snap in their own way.
#include "platform/winkit/cell.h"

enum HXTickMarkPosition : int {
    HXTickMarkBelow = 0,
    HXTickMarkAbove = 1,
    HXTickMarkLeft = HXTickMarkAbove,
    HXTickMarkRight = HXTickMarkBelow,
};

enum HXSliderType : int { HXLinearSlider = 0, HXCircularSlider = 1 };

class HXSliderCell : public HXCell {
public:
    HXSliderCell();

    double minValue() const { return _minValue; }
    void setMinValue(double value);
    double maxValue() const { return _maxValue; }
    void setMaxValue(double value);
    // The step of the arrow keys and the increment action (0: a twentieth of the range, or one tick).
    double altIncrementValue() const { return _altIncrementValue; }
    void setAltIncrementValue(double value) { _altIncrementValue = value; }
    // Values are kept within the range; a value that is not a number reads as the minimum.
    void setObjectValue(const HXPropertyList& value) override;
    HXSliderType sliderType() const { return _sliderType; }
    void setSliderType(HXSliderType type);

    // Vertical when told so, else when the control is taller than wide.
    bool isVertical() const;
    void setVertical(bool flag) { _vertical = flag ? 1 : 0; }

    // Tick marks.
    long numberOfTickMarks() const { return _numberOfTickMarks; }
    void setNumberOfTickMarks(long count);
    HXTickMarkPosition tickMarkPosition() const { return _tickMarkPosition; }
    void setTickMarkPosition(HXTickMarkPosition position);
    bool allowsTickMarkValuesOnly() const { return _allowsTickMarkValuesOnly; }
    void setAllowsTickMarkValuesOnly(bool flag);
    double tickMarkValueAtIndex(long index) const;
    double closestTickMarkValueToValue(double value) const;
    // In the control view's coordinates, for the cell frame last drawn or tracked.
    HXRect rectOfTickMarkAtIndex(long index) const;
    // -1 when no tick mark is under the point.
    long indexOfTickMarkAtPoint(HXPoint point) const;

    // Geometry within the frame the cell was last given.
    virtual double knobThickness() const { return 16; }
    HXRect trackRect() const { return _trackRect; }
    virtual HXRect knobRectFlipped(bool flipped) const;
    // The value at a point of the control view (clamped; not snapped).
    double valueForPoint(HXPoint point) const;
    // Remembers the frame the geometry refers to.
    void setCellFrame(HXRect frame);

    // Drawing.
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;
    virtual void drawBarInside(HXRect rect, bool flipped);
    virtual void drawKnob(HXRect knobRect);
    void drawKnob() { drawKnob(knobRectFlipped(controlView() && isControlFlipped())); }
    virtual void drawTickMarks();
    void drawFocusRingMaskWithFrame(HXRect cellFrame, HXView& controlView) override;

    // Tracking.
    bool startTrackingAt(HXPoint startPoint, HXView& controlView) override;
    bool continueTracking(HXPoint lastPoint, HXPoint currentPoint, HXView& controlView) override;
    void stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp) override;
    bool prefersTrackingUntilMouseUp() const override { return true; }
    bool acceptsFirstResponder() const override { return isEnabled(); }
    HXSize cellSizeForBounds(HXRect bounds) const override;

    // Steps by the increment (or to the next tick); true when the value changed.
    bool increment();
    bool decrement();
    double step() const;

    // Accessibility: a slider with a value, a minimum and a maximum that can be stepped.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    std::vector<std::string> accessibilityActionNames() const override;
    void accessibilityPerformAction(const std::string& action) override;

protected:
    bool isControlFlipped() const;
    double clamp(double value) const;
    // Sets the value from a point while tracking, snapping when the cell says so.
    void trackValueAtPoint(HXPoint point);

private:
    double _minValue = 0;
    double _maxValue = 1;
    double _altIncrementValue = 0;
    HXSliderType _sliderType = HXLinearSlider;
    int _vertical = -1;  // -1: from the frame
    long _numberOfTickMarks = 0;
    HXTickMarkPosition _tickMarkPosition = HXTickMarkBelow;
    bool _allowsTickMarkValuesOnly = false;
    HXRect _cellFrame;
    HXRect _trackRect;
    double _grabOffset = 0;  // where in the knob it was grabbed, along the track
    bool _grabbedKnob = false;
};
