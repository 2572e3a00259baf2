#include "player/controls/control_tracking.h"

#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

#include <optional>

namespace {

std::optional<HXEvent> nextMouseEvent(double idleTimeout)
{
    auto app = HXApplication::sharedApplication();
    if (!app)
        return std::nullopt;
    return app->nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
        HXRunLoop::main().now() + idleTimeout, HXEventTrackingRunLoopMode, true);
}

enum class TrackEnd { UpInside, UpOutside, Left, Abandoned };

// One stretch of tracking while the mouse stays in the cell (or anywhere, with `untilMouseUp`).
TrackEnd trackCell(HXCell& cell, const HXEvent& event, HXRect frame, HXControl& control, bool untilMouseUp,
    double idleTimeout)
{
    auto window = control.window();
    HXPoint last = control.convertPointFromView(event.locationInWindow(), nullptr);
    if (cell.sendActionOnMask() & HXLeftMouseDownMask)
        control.sendAction();
    bool tracking = cell.startTrackingAt(last, control);
    for (;;) {
        auto next = nextMouseEvent(idleTimeout);
        if (!next) {
            // As if the button went up where the mouse was last seen (a shuttle knob springs back), but
            // it counts as no click.
            cell.stopTracking(last, last, control, true);
            return TrackEnd::Abandoned;
        }
        HXPoint p = control.convertPointFromView(next->locationInWindow(), nullptr);
        bool inside = control.mouseInRect(p, frame);
        if (next->type() == HXLeftMouseUp) {
            cell.stopTracking(last, p, control, true);
            return inside || untilMouseUp ? TrackEnd::UpInside : TrackEnd::UpOutside;
        }
        if (!inside && !untilMouseUp) {
            cell.stopTracking(last, p, control, false);
            return TrackEnd::Left;
        }
        if (tracking) {
            tracking = cell.continueTracking(last, p, control);
            if (cell.isContinuous() || (cell.sendActionOnMask() & HXLeftMouseDraggedMask))
                control.sendAction();
        }
        last = p;
        if (window)
            window->displayIfNeeded();
    }
}

} // namespace

bool MVPTrackMouseInControl(HXControl& control, const HXEvent& event, double idleTimeout)
{
    if (!control.isEnabled())
        return false;
    auto keep = control.shared_from_this();
    auto cell = control.cell();
    auto window = control.window();
    HXRect frame = control.bounds();
    double before = cell->doubleValue();
    HXEvent current = event;
    TrackEnd end = TrackEnd::Abandoned;
    for (;;) {
        cell->highlight(true, frame, control);
        if (window)
            window->displayIfNeeded();
        end = trackCell(*cell, current, frame, control, cell->prefersTrackingUntilMouseUp(), idleTimeout);
        if (end != TrackEnd::Left)
            break;
        // Out of the control with the button still down: wait until it comes back or goes up.
        cell->highlight(false, frame, control);
        if (window)
            window->displayIfNeeded();
        std::optional<HXEvent> next;
        for (;;) {
            next = nextMouseEvent(idleTimeout);
            if (!next || next->type() == HXLeftMouseUp)
                break;
            if (control.mouseInRect(control.convertPointFromView(next->locationInWindow(), nullptr), frame))
                break;
        }
        if (!next) {
            end = TrackEnd::Abandoned;
            break;
        }
        if (next->type() == HXLeftMouseUp) {
            end = TrackEnd::UpOutside;
            break;
        }
        current = *next;
    }
    // Once: a button that acts on its highlight sends its release exactly once.
    if (cell->isHighlighted())
        cell->highlight(false, frame, control);
    bool upInside = end == TrackEnd::UpInside;
    if (upInside) {
        cell->mouseUpInside();
        if (cell->sendActionOnMask() & HXLeftMouseUpMask)
            control.sendAction();
    }
    if (cell->doubleValue() != before || upInside)
        HXAccessibility::postNotification(control, HXAccessibilityValueChangedNotification);
    if (window)
        window->displayIfNeeded();
    return upInside;
}
