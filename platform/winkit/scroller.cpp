#include "platform/winkit/scroller.h"

#include "platform/drawing/bezier_path.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>
#include <limits>

HXScroller::HXScroller(HXRect frame)
    : HXControl(std::make_shared<HXCell>(), frame)
{
    HXControl::setDoubleValue(0);
}

void HXScroller::setKnobProportion(double proportion)
{
    _knobProportion = std::isfinite(proportion) ? std::clamp(proportion, 0.0, 1.0) : 1;
    setNeedsDisplay(true);
}

void HXScroller::setDoubleValue(double value)
{
    HXControl::setDoubleValue(std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0);
}

HXRect HXScroller::rectForPart(HXScrollerPart part) const
{
    HXRect b = bounds();
    double length = isVertical() ? b.size.height : b.size.width;
    double knob = std::max(18.0, length * _knobProportion);
    knob = std::min(knob, length);
    double start = (length - knob) * doubleValue();
    auto along = [&](double from, double size) {
        return isVertical() ? HXRect { { b.origin.x, b.origin.y + from }, { b.size.width, size } }
                            : HXRect { { b.origin.x + from, b.origin.y }, { size, b.size.height } };
    };
    switch (part) {
    case HXScrollerKnob:
        return isUsable() ? along(start, knob) : HXZeroRect;
    case HXScrollerDecrementPage:
        return isUsable() ? along(0, start) : HXZeroRect;
    case HXScrollerIncrementPage:
        return isUsable() ? along(start + knob, length - start - knob) : HXZeroRect;
    case HXScrollerKnobSlot:
        return b;
    default:
        return HXZeroRect;
    }
}

HXScrollerPart HXScroller::testPart(HXPoint point) const
{
    for (auto part : { HXScrollerKnob, HXScrollerDecrementPage, HXScrollerIncrementPage })
        if (HXMouseInRect(point, rectForPart(part), true))
            return part;
    return HXPointInRect(point, bounds()) ? HXScrollerKnobSlot : HXScrollerNoPart;
}

void HXScroller::drawRect(HXRect)
{
    HXColor::colorWithCalibratedWhite(0.97).setFill();
    HXBezierPath::fillRect(bounds());
    if (!isUsable())
        return;
    HXRect knob = HXInsetRect(rectForPart(HXScrollerKnob), 2.5, 2.5);
    double r = std::min(knob.size.width, knob.size.height) / 2;
    HXColor::colorWithCalibratedWhite(0, _hitPart == HXScrollerKnob ? 0.5 : 0.32).setFill();
    HXBezierPath::bezierPathWithRoundedRect(knob, r, r).fill();
}

void HXScroller::mouseDown(const HXEvent& event)
{
    if (!isEnabled() || !isUsable())
        return;
    auto keep = shared_from_this();
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    _hitPart = testPart(p);
    if (_hitPart == HXScrollerDecrementPage || _hitPart == HXScrollerIncrementPage) {
        sendAction();  // the target pages by its own page size
        _hitPart = HXScrollerNoPart;
        return;
    }
    if (_hitPart != HXScrollerKnob)
        return;
    HXRect knob = rectForPart(HXScrollerKnob);
    double length = isVertical() ? bounds().size.height : bounds().size.width;
    double knobLength = isVertical() ? knob.size.height : knob.size.width;
    double grab = isVertical() ? p.y - knob.origin.y : p.x - knob.origin.x;
    for (;;) {
        auto next = HXApp().nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next)
            break;
        HXPoint q = convertPointFromView(next->locationInWindow(), nullptr);
        double travel = length - knobLength;
        double start = (isVertical() ? q.y : q.x) - grab;
        setDoubleValue(travel > 0 ? start / travel : 0);
        sendAction();
        if (auto w = window())
            w->displayIfNeeded();
        if (next->type() == HXLeftMouseUp)
            break;
    }
    _hitPart = HXScrollerNoPart;
    setNeedsDisplay(true);
}

std::vector<std::string> HXScroller::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilityValueAttribute);
    names.push_back(HXAccessibilityOrientationAttribute);
    return names;
}

HXAccessibilityValue HXScroller::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityScrollBarRole;
    if (attribute == HXAccessibilityValueAttribute)
        return doubleValue();
    if (attribute == HXAccessibilityOrientationAttribute)
        return isVertical() ? HXAccessibilityVerticalOrientationValue : HXAccessibilityHorizontalOrientationValue;
    if (attribute == HXAccessibilityEnabledAttribute)
        return isUsable();
    return HXAccessibility::viewAttributeValue(*this, attribute);
}
