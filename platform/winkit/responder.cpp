#include "platform/winkit/responder.h"

#include "platform/winkit/application.h"

bool HXObject::respondsToAction(HXSelector action) const { return action && _actions.count(action) > 0; }

bool HXObject::performAction(HXSelector action, HXObject* sender)
{
    auto it = _actions.find(action);
    if (it == _actions.end())
        return false;
    auto handler = it->second;  // the handler may replace itself
    handler(sender);
    return true;
}

// validateMenuItem is defined in menu.cpp, where a menu item is a complete type.

bool HXObject::validateUserInterfaceItem(const HXValidatedUserInterfaceItem&) { return true; }

void HXObject::setActionHandler(HXSelector action, ActionHandler handler)
{
    if (!action)
        return;
    if (handler)
        _actions[action] = std::move(handler);
    else
        _actions.erase(action);
}

bool HXResponder::tryToPerform(HXSelector action, HXObject* sender)
{
    if (performAction(action, sender))
        return true;
    auto next = nextResponder();
    return next && next->tryToPerform(action, sender);
}

void HXResponder::doCommandBySelector(HXSelector command)
{
    if (!tryToPerform(command, this))
        HXBeep();
}

#define HX_FORWARD(method)                                                                                   \
    void HXResponder::method(const HXEvent& event)                                                         \
    {                                                                                                      \
        if (auto next = nextResponder())                                                                   \
            next->method(event);                                                                           \
        else                                                                                               \
            noResponderFor(event.type());                                                                  \
    }
HX_FORWARD(mouseDown)
HX_FORWARD(mouseDragged)
HX_FORWARD(mouseUp)
HX_FORWARD(rightMouseDown)
HX_FORWARD(rightMouseDragged)
HX_FORWARD(rightMouseUp)
HX_FORWARD(otherMouseDown)
HX_FORWARD(otherMouseDragged)
HX_FORWARD(otherMouseUp)
HX_FORWARD(mouseMoved)
HX_FORWARD(mouseEntered)
HX_FORWARD(mouseExited)
HX_FORWARD(keyDown)
HX_FORWARD(keyUp)
HX_FORWARD(flagsChanged)
HX_FORWARD(scrollWheel)
HX_FORWARD(magnifyWithEvent)
HX_FORWARD(swipeWithEvent)
HX_FORWARD(rotateWithEvent)
HX_FORWARD(beginGestureWithEvent)
HX_FORWARD(endGestureWithEvent)
#undef HX_FORWARD

bool HXResponder::performKeyEquivalent(const HXEvent&) { return false; }

void HXResponder::noResponderFor(HXEventType type)
{
    if (type == HXKeyDown)
        HXBeep();
}

void HXDispatchEventToResponder(HXResponder& r, const HXEvent& e)
{
    switch (e.type()) {
    case HXLeftMouseDown: r.mouseDown(e); break;
    case HXLeftMouseUp: r.mouseUp(e); break;
    case HXLeftMouseDragged: r.mouseDragged(e); break;
    case HXRightMouseDown: r.rightMouseDown(e); break;
    case HXRightMouseUp: r.rightMouseUp(e); break;
    case HXRightMouseDragged: r.rightMouseDragged(e); break;
    case HXOtherMouseDown: r.otherMouseDown(e); break;
    case HXOtherMouseUp: r.otherMouseUp(e); break;
    case HXOtherMouseDragged: r.otherMouseDragged(e); break;
    case HXMouseMoved: r.mouseMoved(e); break;
    case HXMouseEntered: r.mouseEntered(e); break;
    case HXMouseExited: r.mouseExited(e); break;
    case HXKeyDown: r.keyDown(e); break;
    case HXKeyUp: r.keyUp(e); break;
    case HXFlagsChanged: r.flagsChanged(e); break;
    case HXScrollWheel: r.scrollWheel(e); break;
    case HXEventTypeMagnify: r.magnifyWithEvent(e); break;
    case HXEventTypeSwipe: r.swipeWithEvent(e); break;
    case HXEventTypeRotate: r.rotateWithEvent(e); break;
    case HXEventTypeBeginGesture: r.beginGestureWithEvent(e); break;
    case HXEventTypeEndGesture: r.endGestureWithEvent(e); break;
    default: break;
    }
}
