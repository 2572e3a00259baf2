#include "platform/winkit/progress_indicator.h"

#include "platform/basekit/timer.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/cell.h"

#include <algorithm>
#include <cmath>

HXProgressIndicator::HXProgressIndicator(HXRect frame)
    : HXView(frame)
{
}

HXProgressIndicator::~HXProgressIndicator()
{
    if (_timer)
        _timer->invalidate();
}

void HXProgressIndicator::setStyle(HXProgressIndicatorStyle style)
{
    _style = style;
    setNeedsDisplay(true);
}

void HXProgressIndicator::setIndeterminate(bool flag)
{
    _indeterminate = flag;
    setNeedsDisplay(true);
}

void HXProgressIndicator::setMinValue(double value)
{
    _minValue = std::isfinite(value) ? value : 0;
    setDoubleValue(_value);
}

void HXProgressIndicator::setMaxValue(double value)
{
    _maxValue = std::isfinite(value) ? value : 100;
    setDoubleValue(_value);
}

void HXProgressIndicator::setDoubleValue(double value)
{
    double lo = std::min(_minValue, _maxValue), hi = std::max(_minValue, _maxValue);
    double clamped = std::isfinite(value) ? std::clamp(value, lo, hi) : _minValue;
    if (clamped == _value)
        return;
    _value = clamped;
    setNeedsDisplay(true);
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

double HXProgressIndicator::fraction() const
{
    double span = _maxValue - _minValue;
    return span > 0 ? std::clamp((_value - _minValue) / span, 0.0, 1.0) : 0;
}

void HXProgressIndicator::setDisplayedWhenStopped(bool flag)
{
    _displayedWhenStopped = flag;
    setNeedsDisplay(true);
}

void HXProgressIndicator::startAnimation(HXObject*)
{
    if (_timer)
        return;
    std::weak_ptr<HXObject> weak = weak_from_this();
    _timer = HXTimer::scheduledTimer(1.0 / 12, true, [weak](HXTimer& timer) {
        auto self = std::static_pointer_cast<HXProgressIndicator>(weak.lock());
        if (!self) {
            timer.invalidate();
            return;
        }
        ++self->_phase;
        self->setNeedsDisplay(true);
    }, { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode, HXModalPanelRunLoopMode });
    setNeedsDisplay(true);
}

void HXProgressIndicator::stopAnimation(HXObject*)
{
    if (!_timer)
        return;
    _timer->invalidate();
    _timer = nullptr;
    setNeedsDisplay(true);
}

void HXProgressIndicator::sizeToFit()
{
    if (_style == HXProgressIndicatorSpinningStyle)
        setFrameSize({ 16, 16 });
    else
        setFrameSize({ frame().size.width, 12 });
}

void HXProgressIndicator::drawRect(HXRect)
{
    if (!_timer && !_displayedWhenStopped && (_indeterminate || _style == HXProgressIndicatorSpinningStyle))
        return;
    HXRect b = bounds();
    if (_style == HXProgressIndicatorSpinningStyle) {
        // Twelve spokes, the brightest one turning with the animation.
        double side = std::min(b.size.width, b.size.height);
        HXPoint c { HXMidX(b), HXMidY(b) };
        double outer = side / 2, inner = side / 4;
        for (int i = 0; i < 12; ++i) {
            double angle = (i / 12.0) * 2 * M_PI;
            double age = double((i - _phase % 12 + 12) % 12) / 12.0;
            auto spoke = HXBezierPath::bezierPath();
            spoke.moveToPoint({ c.x + std::cos(angle) * inner, c.y + std::sin(angle) * inner });
            spoke.lineToPoint({ c.x + std::cos(angle) * outer, c.y + std::sin(angle) * outer });
            spoke.setLineWidth(std::max(1.5, side / 10));
            spoke.setLineCapStyle(HXRoundLineCapStyle);
            HXColor::colorWithCalibratedWhite(0.35, _timer ? 0.2 + 0.8 * age : 0.35).setStroke();
            spoke.stroke();
        }
        return;
    }
    double h = std::min(b.size.height, 8.0);
    HXRect track { { b.origin.x + 0.5, HXMidY(b) - h / 2 }, { b.size.width - 1, h } };
    HXControlStyle::drawPanel(track, HXControlStyle::trackColor(), HXControlStyle::trackColor(), h / 2);
    if (_indeterminate) {
        if (!_timer)
            return;
        // A stripe a third of the track wide, sweeping across.
        double width = track.size.width / 3;
        double travel = track.size.width + width;
        double x = track.origin.x - width + std::fmod(double(_phase) * 6, travel);
        auto context = HXGraphicsContext::currentContext();
        HXGraphicsContext::saveGraphicsState();
        HXBezierPath::bezierPathWithRoundedRect(track, h / 2, h / 2).addClip();
        HXControlStyle::accentColor().setFill();
        HXBezierPath::fillRect({ { x, track.origin.y }, { width, h } });
        HXGraphicsContext::restoreGraphicsState();
        (void)context;
        return;
    }
    double filled = track.size.width * fraction();
    if (filled > 0) {
        HXControlStyle::accentColor().setFill();
        HXBezierPath::bezierPathWithRoundedRect({ track.origin, { std::max(filled, h), h } }, h / 2, h / 2).fill();
    }
}

std::vector<std::string> HXProgressIndicator::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilityValueAttribute);
    names.push_back(HXAccessibilityMinValueAttribute);
    names.push_back(HXAccessibilityMaxValueAttribute);
    return names;
}

HXAccessibilityValue HXProgressIndicator::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return _style == HXProgressIndicatorSpinningStyle ? HXAccessibilityBusyIndicatorRole : HXAccessibilityProgressIndicatorRole;
    if (attribute == HXAccessibilityValueAttribute)
        return _indeterminate ? HXAccessibilityValue() : HXAccessibilityValue(_value);
    if (attribute == HXAccessibilityMinValueAttribute)
        return _minValue;
    if (attribute == HXAccessibilityMaxValueAttribute)
        return _maxValue;
    return HXAccessibilityElement::accessibilityAttributeValue(attribute);
}
