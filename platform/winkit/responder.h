#pragma once
// HXObject, the base of everything that can receive an action by name, and HXResponder, a link of the
// responder chain (views, windows, window controllers, documents, the application).
//
// Actions: an object answers an action by registering a handler for its selector (usually in its
// constructor). tryToPerform walks the chain of next responders until one handles it. Menu items and
// controls ask their target to validate them before they are shown or used.
#include "platform/winkit/event.h"
#include "platform/winkit/selector.h"

#include <functional>
#include <memory>
#include <unordered_map>

class HXMenuItem;

// What menu items and controls show to a validator.
class HXValidatedUserInterfaceItem {
public:
    virtual ~HXValidatedUserInterfaceItem() = default;
    virtual HXSelector action() const = 0;
    virtual long tag() const = 0;
};

class HXObject : public std::enable_shared_from_this<HXObject> {
public:
    using ActionHandler = std::function<void(HXObject* sender)>;

    virtual ~HXObject() = default;

    // True when this object itself handles `action`.
    virtual bool respondsToAction(HXSelector action) const;
    // Runs this object's own handler; false when it has none.
    virtual bool performAction(HXSelector action, HXObject* sender);

    // Validation of the items that send actions here. The default of validateMenuItem asks
    // validateUserInterfaceItem, whose default enables the item.
    virtual bool validateMenuItem(HXMenuItem& item);
    virtual bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item);

    // Registers (or, with an empty function, removes) the handler of `action`.
    void setActionHandler(HXSelector action, ActionHandler handler);

private:
    std::unordered_map<HXSelector, ActionHandler> _actions;
};

class HXResponder : public HXObject {
public:
    std::shared_ptr<HXResponder> nextResponder() const { return _nextResponder.lock(); }
    void setNextResponder(const std::shared_ptr<HXResponder>& responder) { _nextResponder = responder; }

    // Performs `action` here or in the first next responder that handles it.
    virtual bool tryToPerform(HXSelector action, HXObject* sender);
    // A command of the key bindings (moveUp:, cancelOperation: ...): performed along the chain, else a beep.
    virtual void doCommandBySelector(HXSelector command);

    virtual bool acceptsFirstResponder() const { return false; }
    virtual bool becomeFirstResponder() { return true; }
    virtual bool resignFirstResponder() { return true; }

    // Events. Each default passes the event to the next responder; at the end of the chain a key down
    // beeps and anything else is dropped.
    virtual void mouseDown(const HXEvent& event);
    virtual void mouseDragged(const HXEvent& event);
    virtual void mouseUp(const HXEvent& event);
    virtual void rightMouseDown(const HXEvent& event);
    virtual void rightMouseDragged(const HXEvent& event);
    virtual void rightMouseUp(const HXEvent& event);
    virtual void otherMouseDown(const HXEvent& event);
    virtual void otherMouseDragged(const HXEvent& event);
    virtual void otherMouseUp(const HXEvent& event);
    virtual void mouseMoved(const HXEvent& event);
    virtual void mouseEntered(const HXEvent& event);
    virtual void mouseExited(const HXEvent& event);
    virtual void keyDown(const HXEvent& event);
    virtual void keyUp(const HXEvent& event);
    virtual void flagsChanged(const HXEvent& event);
    virtual void scrollWheel(const HXEvent& event);
    virtual void magnifyWithEvent(const HXEvent& event);
    virtual void swipeWithEvent(const HXEvent& event);
    virtual void rotateWithEvent(const HXEvent& event);
    virtual void beginGestureWithEvent(const HXEvent& event);
    virtual void endGestureWithEvent(const HXEvent& event);

    // Key equivalents (Command-key shortcuts): true when handled.
    virtual bool performKeyEquivalent(const HXEvent& event);
    // Called at the end of the chain for an event nobody handled.
    virtual void noResponderFor(HXEventType type);

private:
    std::weak_ptr<HXResponder> _nextResponder;
};

// Sends `event` to the method of `responder` that handles its type.
void HXDispatchEventToResponder(HXResponder& responder, const HXEvent& event);
