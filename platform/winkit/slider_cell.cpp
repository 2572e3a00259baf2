#include "platform/winkit/slider_cell.h"

#include "platform/drawing/bezier_path.h"
#include "platform/winkit/view.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kTrackThickness = 4;
constexpr double kTickLength = 5;
}  // namespace

HXSliderCell::HXSliderCell()
{
    setType(HXNullCellType);
    setContinuous(true);
    HXCell::setObjectValue(HXPropertyList(0.0));
}

double HXSliderCell::clamp(double value) const
{
    if (!std::isfinite(value))
        return _minValue;
    double lo = std::min(_minValue, _maxValue), hi = std::max(_minValue, _maxValue);
    return std::clamp(value, lo, hi);
}

void HXSliderCell::setObjectValue(const HXPropertyList& value)
{
    double d = value.isNumber() ? value.realValue() : value.isBoolean() ? (value.boolValue() ? 1.0 : 0.0)
        : value.isString() ? std::strtod(value.stringValue().c_str(), nullptr)
                           : _minValue;
    HXCell::setObjectValue(HXPropertyList(clamp(d)));
}

void HXSliderCell::setMinValue(double value)
{
    _minValue = std::isfinite(value) ? value : 0;
    setObjectValue(HXPropertyList(doubleValue()));
}

void HXSliderCell::setMaxValue(double value)
{
    _maxValue = std::isfinite(value) ? value : 1;
    setObjectValue(HXPropertyList(doubleValue()));
}

void HXSliderCell::setSliderType(HXSliderType type)
{
    _sliderType = type;
    noteChanged();
}

bool HXSliderCell::isVertical() const
{
    if (_vertical >= 0)
        return _vertical == 1;
    HXRect frame = controlView() ? controlView()->bounds() : _cellFrame;
    return frame.size.height > frame.size.width;
}

void HXSliderCell::setNumberOfTickMarks(long count)
{
    _numberOfTickMarks = std::max(0L, count);
    if (_allowsTickMarkValuesOnly)
        setObjectValue(HXPropertyList(closestTickMarkValueToValue(doubleValue())));
    noteChanged();
}

void HXSliderCell::setTickMarkPosition(HXTickMarkPosition position)
{
    _tickMarkPosition = position;
    noteChanged();
}

void HXSliderCell::setAllowsTickMarkValuesOnly(bool flag)
{
    _allowsTickMarkValuesOnly = flag;
    if (flag)
        setObjectValue(HXPropertyList(closestTickMarkValueToValue(doubleValue())));
}

double HXSliderCell::tickMarkValueAtIndex(long index) const
{
    if (_numberOfTickMarks <= 0)
        return _minValue;
    if (_numberOfTickMarks == 1)
        return (_minValue + _maxValue) / 2;
    index = std::clamp(index, 0L, _numberOfTickMarks - 1);
    return _minValue + (_maxValue - _minValue) * double(index) / double(_numberOfTickMarks - 1);
}

double HXSliderCell::closestTickMarkValueToValue(double value) const
{
    if (_numberOfTickMarks <= 0)
        return clamp(value);
    if (_numberOfTickMarks == 1 || _maxValue == _minValue)
        return tickMarkValueAtIndex(0);
    double fraction = (clamp(value) - _minValue) / (_maxValue - _minValue);
    return tickMarkValueAtIndex(long(std::lround(fraction * double(_numberOfTickMarks - 1))));
}

void HXSliderCell::setCellFrame(HXRect frame)
{
    _cellFrame = frame;
    double k = knobThickness();
    double shift = _numberOfTickMarks > 0 ? (kTickLength + 1) / 2 : 0;
    bool flipped = isControlFlipped();
    if (isVertical()) {
        double x = HXMidX(frame) - kTrackThickness / 2 + (_tickMarkPosition == HXTickMarkLeft ? shift : -shift);
        _trackRect = { { x, frame.origin.y + k / 2 }, { kTrackThickness, std::max(0.0, frame.size.height - k) } };
    } else {
        // "Below" is towards the bottom of the screen: smaller y unflipped, larger y flipped.
        double towardsTicks = (_tickMarkPosition == HXTickMarkBelow) == flipped ? 1 : -1;
        double y = HXMidY(frame) - kTrackThickness / 2 - towardsTicks * shift;
        _trackRect = { { frame.origin.x + k / 2, y }, { std::max(0.0, frame.size.width - k), kTrackThickness } };
    }
}

bool HXSliderCell::isControlFlipped() const { return controlView() && controlView()->isFlipped(); }

HXRect HXSliderCell::knobRectFlipped(bool flipped) const
{
    double k = knobThickness();
    double span = _maxValue - _minValue;
    double fraction = span != 0 ? (doubleValue() - _minValue) / span : 0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (isVertical()) {
        double usable = std::max(0.0, _cellFrame.size.height - k);
        double y = flipped ? _cellFrame.origin.y + (1 - fraction) * usable : _cellFrame.origin.y + fraction * usable;
        return { { HXMidX(_trackRect) - k / 2, y }, { k, k } };
    }
    double usable = std::max(0.0, _cellFrame.size.width - k);
    return { { _cellFrame.origin.x + fraction * usable, HXMidY(_trackRect) - k / 2 }, { k, k } };
}

double HXSliderCell::valueForPoint(HXPoint point) const
{
    double k = knobThickness();
    double fraction;
    if (isVertical()) {
        double usable = _cellFrame.size.height - k;
        double along = point.y - _grabOffset - _cellFrame.origin.y - k / 2;
        fraction = usable > 0 ? along / usable : 0;
        if (isControlFlipped())
            fraction = 1 - fraction;
    } else {
        double usable = _cellFrame.size.width - k;
        double along = point.x - _grabOffset - _cellFrame.origin.x - k / 2;
        fraction = usable > 0 ? along / usable : 0;
    }
    fraction = std::clamp(fraction, 0.0, 1.0);
    return clamp(_minValue + fraction * (_maxValue - _minValue));
}

HXRect HXSliderCell::rectOfTickMarkAtIndex(long index) const
{
    if (_numberOfTickMarks <= 0 || index < 0 || index >= _numberOfTickMarks)
        return HXZeroRect;
    double k = knobThickness();
    double fraction = _numberOfTickMarks == 1 ? 0.5 : double(index) / double(_numberOfTickMarks - 1);
    bool flipped = isControlFlipped();
    if (isVertical()) {
        double usable = _cellFrame.size.height - k;
        double y = _cellFrame.origin.y + k / 2 + (flipped ? 1 - fraction : fraction) * usable;
        double x = _tickMarkPosition == HXTickMarkLeft ? _cellFrame.origin.x : HXMaxX(_cellFrame) - kTickLength;
        return { { x, y - 0.5 }, { kTickLength, 1 } };
    }
    double usable = _cellFrame.size.width - k;
    double x = _cellFrame.origin.x + k / 2 + fraction * usable;
    bool atMinY = (_tickMarkPosition == HXTickMarkBelow) != flipped;
    double y = atMinY ? _cellFrame.origin.y : HXMaxY(_cellFrame) - kTickLength;
    return { { x - 0.5, y }, { 1, kTickLength } };
}

long HXSliderCell::indexOfTickMarkAtPoint(HXPoint point) const
{
    for (long i = 0; i < _numberOfTickMarks; ++i) {
        HXRect r = HXInsetRect(rectOfTickMarkAtIndex(i), -2, -2);
        if (HXPointInRect(point, r))
            return i;
    }
    return -1;
}

// ---- Drawing ------------------------------------------------------------------------------------------------

void HXSliderCell::drawWithFrame(HXRect cellFrame, HXView& controlView) { drawInteriorWithFrame(cellFrame, controlView); }

void HXSliderCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    setCellFrame(cellFrame);
    if (_numberOfTickMarks > 0)
        drawTickMarks();
    drawBarInside(_trackRect, controlView.isFlipped());
    drawKnob(knobRectFlipped(controlView.isFlipped()));
}

void HXSliderCell::drawBarInside(HXRect rect, bool flipped)
{
    auto track = HXBezierPath::bezierPathWithRoundedRect(rect, kTrackThickness / 2, kTrackThickness / 2);
    HXControlStyle::trackColor().setFill();
    track.fill();
    // The part up to the knob in the accent colour.
    HXRect knob = knobRectFlipped(flipped);
    HXRect filled = rect;
    if (isVertical()) {
        if (flipped) {
            filled.origin.y = HXMidY(knob);
            filled.size.height = HXMaxY(rect) - HXMidY(knob);
        } else
            filled.size.height = HXMidY(knob) - rect.origin.y;
    } else
        filled.size.width = HXMidX(knob) - rect.origin.x;
    if (filled.size.width > 0 && filled.size.height > 0) {
        (isEnabled() ? HXControlStyle::accentColor() : HXControlStyle::borderColor()).setFill();
        HXBezierPath::bezierPathWithRoundedRect(filled, kTrackThickness / 2, kTrackThickness / 2).fill();
    }
}

void HXSliderCell::drawKnob(HXRect knobRect)
{
    auto knob = HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(knobRect, 0.5, 0.5));
    (isHighlighted() ? HXControlStyle::pressedFaceColor() : HXColor::whiteColor()).setFill();
    knob.fill();
    (isEnabled() ? HXControlStyle::accentColor() : HXControlStyle::borderColor()).setStroke();
    knob.setLineWidth(1);
    knob.stroke();
}

void HXSliderCell::drawTickMarks()
{
    HXControlStyle::borderColor().setFill();
    for (long i = 0; i < _numberOfTickMarks; ++i)
        HXBezierPath::fillRect(rectOfTickMarkAtIndex(i));
}

void HXSliderCell::drawFocusRingMaskWithFrame(HXRect, HXView& controlView)
{
    HXControlStyle::drawFocusRing(HXInsetRect(knobRectFlipped(controlView.isFlipped()), 1, 1), knobThickness() / 2 - 1);
}

HXSize HXSliderCell::cellSizeForBounds(HXRect bounds) const
{
    double thick = knobThickness() + (_numberOfTickMarks > 0 ? kTickLength + 1 : 0) + 4;
    HXSize size = isVertical() ? HXSize { thick, bounds.size.height } : HXSize { bounds.size.width, thick };
    return { std::min(size.width, bounds.size.width), std::min(size.height, bounds.size.height) };
}

// ---- Tracking -------------------------------------------------------------------------------------------------

void HXSliderCell::trackValueAtPoint(HXPoint point)
{
    double value = valueForPoint(point);
    if (_allowsTickMarkValuesOnly)
        value = closestTickMarkValueToValue(value);
    setObjectValue(HXPropertyList(value));
}

bool HXSliderCell::startTrackingAt(HXPoint startPoint, HXView& controlView)
{
    setCellFrame(controlView.bounds());
    HXRect knob = knobRectFlipped(controlView.isFlipped());
    _grabbedKnob = HXPointInRect(startPoint, knob);
    // Grabbing the knob keeps the point where it was taken; a click beside it moves the knob there.
    _grabOffset = 0;
    if (_grabbedKnob)
        _grabOffset = isVertical() ? startPoint.y - HXMidY(knob) : startPoint.x - HXMidX(knob);
    else
        trackValueAtPoint(startPoint);
    return true;
}

bool HXSliderCell::continueTracking(HXPoint, HXPoint currentPoint, HXView&)
{
    trackValueAtPoint(currentPoint);
    return true;
}

void HXSliderCell::stopTracking(HXPoint, HXPoint, HXView&, bool)
{
    _grabOffset = 0;
    _grabbedKnob = false;
}

double HXSliderCell::step() const
{
    if (_allowsTickMarkValuesOnly && _numberOfTickMarks > 1)
        return std::abs(_maxValue - _minValue) / double(_numberOfTickMarks - 1);
    if (_altIncrementValue > 0)
        return _altIncrementValue;
    return std::abs(_maxValue - _minValue) / 20;
}

bool HXSliderCell::increment()
{
    double before = doubleValue();
    double next = before + step();
    if (_allowsTickMarkValuesOnly)
        next = closestTickMarkValueToValue(next);
    setObjectValue(HXPropertyList(next));
    return doubleValue() != before;
}

bool HXSliderCell::decrement()
{
    double before = doubleValue();
    double next = before - step();
    if (_allowsTickMarkValuesOnly)
        next = closestTickMarkValueToValue(next);
    setObjectValue(HXPropertyList(next));
    return doubleValue() != before;
}

// ---- Accessibility -----------------------------------------------------------------------------------------

std::vector<std::string> HXSliderCell::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    for (const char* name : { HXAccessibilityTitleAttribute, HXAccessibilityValueAttribute, HXAccessibilityMinValueAttribute,
             HXAccessibilityMaxValueAttribute, HXAccessibilityOrientationAttribute, HXAccessibilityHelpAttribute })
        names.push_back(name);
    return names;
}

HXAccessibilityValue HXSliderCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilitySliderRole;
    if (attribute == HXAccessibilityValueAttribute)
        return doubleValue();
    if (attribute == HXAccessibilityMinValueAttribute)
        return _minValue;
    if (attribute == HXAccessibilityMaxValueAttribute)
        return _maxValue;
    if (attribute == HXAccessibilityOrientationAttribute)
        return isVertical() ? HXAccessibilityVerticalOrientationValue : HXAccessibilityHorizontalOrientationValue;
    return HXCell::accessibilityAttributeValue(attribute);
}

bool HXSliderCell::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityValueAttribute && isEnabled();
}

void HXSliderCell::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute != HXAccessibilityValueAttribute || !isEnabled() || !(value.isNumber() || value.isBool()))
        return;
    double v = value.doubleValue();
    if (_allowsTickMarkValuesOnly)
        v = closestTickMarkValueToValue(v);
    setObjectValue(HXPropertyList(v));
    sendAction();
    if (auto* view = controlView())
        HXAccessibility::postNotification(*view, HXAccessibilityValueChangedNotification);
}

std::vector<std::string> HXSliderCell::accessibilityActionNames() const
{
    return { HXAccessibilityIncrementAction, HXAccessibilityDecrementAction };
}

void HXSliderCell::accessibilityPerformAction(const std::string& action)
{
    if (!isEnabled())
        return;
    bool changed = action == HXAccessibilityIncrementAction ? increment()
        : action == HXAccessibilityDecrementAction      ? decrement()
                                                        : false;
    if (!changed)
        return;
    sendAction();
    if (auto* view = controlView())
        HXAccessibility::postNotification(*view, HXAccessibilityValueChangedNotification);
}
