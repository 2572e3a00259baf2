#pragma once
// HXControl: a view that sends an action to a target when the user works it. HXButton: a push button
// with a title and an optional key equivalent. (The full set of controls builds on these.)
#include "platform/winkit/view.h"

#include <string>

class HXControl : public HXView, public HXValidatedUserInterfaceItem {
public:
    explicit HXControl(HXRect frame = HXZeroRect);

    HXSelector action() const override { return _action; }
    void setAction(HXSelector action) { _action = action; }
    std::shared_ptr<HXObject> target() const { return _target.lock(); }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    long tag() const override { return _tag; }
    void setTag(long tag) { _tag = tag; }
    bool isEnabled() const { return _enabled; }
    virtual void setEnabled(bool enabled);
    const std::string& stringValue() const { return _stringValue; }
    virtual void setStringValue(const std::string& value);

    // Sends the action to the target (or along the responder chain); true when someone handled it.
    bool sendAction(HXSelector action, HXObject* target);
    bool sendAction() { return sendAction(_action, target().get()); }

private:
    HXSelector _action;
    std::weak_ptr<HXObject> _target;
    long _tag = 0;
    bool _enabled = true;
    std::string _stringValue;
};

class HXButton : public HXControl {
public:
    explicit HXButton(HXRect frame = HXZeroRect, std::string title = {});

    const std::string& title() const { return _title; }
    void setTitle(const std::string& title);
    const std::string& keyEquivalent() const { return _keyEquivalent; }
    void setKeyEquivalent(const std::string& key) { _keyEquivalent = key; }
    uint32_t keyEquivalentModifierMask() const { return _keyEquivalentModifierMask; }
    void setKeyEquivalentModifierMask(uint32_t mask) { _keyEquivalentModifierMask = mask; }
    bool isHighlighted() const { return _highlighted; }
    void highlight(bool flag);

    // As if clicked: highlights briefly and sends the action.
    void performClick(HXObject* sender = nullptr);

    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    bool performKeyEquivalent(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return isEnabled(); }
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }
    bool isOpaque() const override { return false; }
    // Width that fits the title.
    double naturalWidth() const;

private:
    std::string _title;
    std::string _keyEquivalent;
    uint32_t _keyEquivalentModifierMask = 0;
    bool _highlighted = false;
};
