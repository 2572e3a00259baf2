#pragma once
// HXScroller: the bar beside a scroll view: a knob whose length is the visible share of the document and
// whose place is the scroll position (0 ... 1). Dragging the knob or clicking the track sends the action;
// hitPart tells the target what was hit.
#include "platform/winkit/control.h"

enum HXScrollerPart : int {
    HXScrollerNoPart = 0,
    HXScrollerDecrementPage = 1,
    HXScrollerKnob = 2,
    HXScrollerIncrementPage = 3,
    HXScrollerKnobSlot = 6,
};

class HXScroller : public HXControl {
public:
    explicit HXScroller(HXRect frame = HXZeroRect);
    static constexpr double scrollerWidth() { return 12; }

    bool isVertical() const { return frame().size.height >= frame().size.width; }
    // The share of the document that is visible (0 ... 1; 1 or more: nothing to scroll).
    double knobProportion() const { return _knobProportion; }
    void setKnobProportion(double proportion);
    void setDoubleValue(double value) override;
    HXScrollerPart hitPart() const { return _hitPart; }
    HXRect rectForPart(HXScrollerPart part) const;
    HXScrollerPart testPart(HXPoint point) const;
    bool isUsable() const { return _knobProportion < 1; }

    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return false; }
    bool isFlipped() const override { return true; }

    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    double _knobProportion = 1;
    HXScrollerPart _hitPart = HXScrollerNoPart;
};
