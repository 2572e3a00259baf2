#include "platform/winkit/control.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/text_drawing.h"
#include "platform/winkit/window.h"

#include <cctype>
#include <limits>

HXControl::HXControl(HXRect frame)
    : HXView(frame)
{
}

void HXControl::setEnabled(bool enabled)
{
    _enabled = enabled;
    setNeedsDisplay(true);
}

void HXControl::setStringValue(const std::string& value)
{
    _stringValue = value;
    setNeedsDisplay(true);
}

bool HXControl::sendAction(HXSelector action, HXObject* target)
{
    if (!action)
        return false;
    return HXApplication::sharedApplication()->sendAction(action, target, this);
}

HXButton::HXButton(HXRect frame, std::string title)
    : HXControl(frame)
    , _title(std::move(title))
{
}

void HXButton::setTitle(const std::string& title)
{
    _title = title;
    setNeedsDisplay(true);
}

void HXButton::highlight(bool flag)
{
    if (_highlighted == flag)
        return;
    _highlighted = flag;
    setNeedsDisplay(true);
}

void HXButton::performClick(HXObject*)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    highlight(true);
    highlight(false);
    sendAction();
}

double HXButton::naturalWidth() const { return std::max(70.0, winkit::measureText(_title, {}).width + 28); }

void HXButton::drawRect(HXRect)
{
    HXRect r = HXInsetRect(bounds(), 1, 1);
    bool isDefault = _keyEquivalent == "\r";
    HXColor fill = _highlighted ? HXColor::colorWithCalibratedWhite(0.75)
        : isDefault              ? HXColor::colorWithCalibratedRed(0.55, 0.7, 0.95)
                                 : HXColor::colorWithCalibratedWhite(0.96);
    winkit::fillRect(r, fill);
    winkit::strokeRect(r, HXColor::colorWithCalibratedWhite(0.55));
    winkit::TextStyle style;
    style.centered = true;
    style.color = isEnabled() ? HXColor::blackColor() : HXColor::colorWithCalibratedWhite(0.6);
    winkit::drawText(_title, r, style);
}

void HXButton::mouseDown(const HXEvent& event)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    auto window = this->window();
    highlight(true);
    if (window)
        window->displayIfNeeded();
    // Track until the button goes up: the action fires only when released inside.
    bool inside = true;
    for (;;) {
        auto next = HXApplication::sharedApplication()->nextEventMatchingMask(
            HXLeftMouseUpMask | HXLeftMouseDraggedMask, std::numeric_limits<double>::infinity(),
            HXEventTrackingRunLoopMode, true);
        if (!next)
            break;  // nothing can come any more: treat as released where it was
        HXPoint p = convertPointFromView(next->locationInWindow(), nullptr);
        inside = mouseInRect(p, bounds());
        highlight(inside);
        if (window)
            window->displayIfNeeded();
        if (next->type() == HXLeftMouseUp)
            break;
    }
    (void)event;
    highlight(false);
    if (inside)
        sendAction();
}

bool HXButton::performKeyEquivalent(const HXEvent& event)
{
    if (!isEnabled() || _keyEquivalent.empty() || isHiddenOrHasHiddenAncestor())
        return false;
    const uint32_t relevant = HXCommandKeyMask | HXControlKeyMask | HXAlternateKeyMask;
    if ((event.modifierFlags() & relevant) != (_keyEquivalentModifierMask & relevant))
        return false;
    std::string typed = event.charactersIgnoringModifiers();
    if (typed == "\x03")
        typed = "\r";  // Enter works as Return
    if (typed != _keyEquivalent)
        return false;
    performClick(this);
    return true;
}
