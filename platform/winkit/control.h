#pragma once
// HXControl: a view that sends an action to a target when the user works it. What it shows and how it
// reacts is its cell's: every control class names the cell class it makes (cellClass), and the control
// passes its value, looks, target and action through to that cell.
#include "platform/winkit/accessibility.h"
#include "platform/winkit/cell.h"
#include "platform/winkit/view.h"

#include <functional>
#include <memory>
#include <string>

class HXTextView;

inline constexpr const char* HXControlTextDidBeginEditingNotification = "HXControlTextDidBeginEditingNotification";
inline constexpr const char* HXControlTextDidChangeNotification = "HXControlTextDidChangeNotification";
inline constexpr const char* HXControlTextDidEndEditingNotification = "HXControlTextDidEndEditingNotification";
// User-info key of the three: the field editor is there as a flag only (it cannot travel in a dictionary).
inline constexpr const char* HXFieldEditorKey = "HXFieldEditor";

// Makes the cell of a control class.
using HXCellFactory = std::function<std::shared_ptr<HXCell>()>;

class HXControl : public HXView, public HXValidatedUserInterfaceItem, public HXAccessibilityElement {
public:
    // A control with a cell of the class's cell class.
    explicit HXControl(HXRect frame = HXZeroRect);
    // A control with the given cell (subclasses pass a cell of their own class).
    HXControl(std::shared_ptr<HXCell> cell, HXRect frame);
    ~HXControl() override;

    // The cell class of HXControl itself (a plain text cell); each control class has its own.
    static HXCellFactory& cellClass();
    std::shared_ptr<HXCell> cell() const { return _cell; }
    void setCell(std::shared_ptr<HXCell> cell);
    virtual std::shared_ptr<HXCell> selectedCell() const { return _cell; }
    // Redraws after the cell changed.
    virtual void updateCell(HXCell& cell);

    // Target and action (the cell's).
    HXSelector action() const override;
    void setAction(HXSelector action);
    std::shared_ptr<HXObject> target() const;
    void setTarget(const std::shared_ptr<HXObject>& target);
    long tag() const override { return _tag; }
    void setTag(long tag) { _tag = tag; }
    HXEventMask sendActionOn(HXEventMask mask);
    bool isContinuous() const;
    void setContinuous(bool flag);
    // Sends the action to the target (or along the responder chain); true when someone handled it.
    bool sendAction(HXSelector action, HXObject* target);
    bool sendAction() { return sendAction(action(), target().get()); }

    // Value (the cell's). Setting a value ends editing in progress first.
    HXPropertyList objectValue() const;
    virtual void setObjectValue(const HXPropertyList& value);
    std::string stringValue() const;
    virtual void setStringValue(const std::string& value);
    long intValue() const;
    void setIntValue(long value);
    double doubleValue() const;
    virtual void setDoubleValue(double value);
    float floatValue() const { return float(doubleValue()); }
    void setFloatValue(float value) { setDoubleValue(value); }
    // Takes the value of another control (a slider driving a field and back).
    void takeDoubleValueFrom(HXObject* sender);
    void takeStringValueFrom(HXObject* sender);
    std::shared_ptr<HXFormatter> formatter() const;
    void setFormatter(std::shared_ptr<HXFormatter> formatter);

    // Looks (the cell's).
    bool isEnabled() const;
    virtual void setEnabled(bool enabled);
    HXTextAlignment alignment() const;
    void setAlignment(HXTextAlignment alignment);
    HXFont font() const;
    void setFont(const HXFont& font);
    HXControlSize controlSize() const;
    void setControlSize(HXControlSize size);
    bool isHighlighted() const;
    // Resizes the control to the cell's natural size.
    virtual void sizeToFit();

    // Editing (text controls): the field editor working for this control now, or null.
    std::shared_ptr<HXTextView> currentEditor() const { return _currentEditor.lock(); }
    // Ends editing, keeping the text typed so far; false when the text is refused.
    virtual bool validateEditing() { return true; }
    // Ends editing and drops what was typed.
    virtual bool abortEditing() { return false; }

    // As if clicked: highlights briefly, moves the state on and sends the action.
    virtual void performClick(HXObject* sender = nullptr);

    // Whether the control shows the keyboard focus now.
    bool showsKeyboardFocus() const;

    // HXView and HXResponder.
    void drawRect(HXRect dirtyRect) override;
    // The cell adds its cursor rectangles over the bounds.
    void resetCursorRects() override;
    void mouseDown(const HXEvent& event) override;
    void rightMouseDown(const HXEvent& event) override;
    bool acceptsFirstResponder() const override;
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }

    // Accessibility: answered by the cell, with the control's own overrides first.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;
    bool accessibilityIsIgnored() const override;

protected:
    void setCurrentEditor(const std::shared_ptr<HXTextView>& editor) { _currentEditor = editor; }
    // Posts the value-changed notification of the accessibility model.
    void noteValueChanged();

private:
    std::shared_ptr<HXCell> _cell;
    long _tag = 0;
    std::weak_ptr<HXTextView> _currentEditor;
};

// Buttons used to live here; code that includes this header keeps finding them.
#include "platform/winkit/button.h"
