#pragma once
// HXTextField: a line of text that can be edited (or only selected, or only shown, as a label). While it
// has the keyboard focus it edits through a field editor laid over its text, and is that editor's
// delegate: it checks typing against its formatter, posts the editing notifications, and turns Return,
// Tab, Shift-Tab and Escape into the end of editing, the action, and moves through the key-view loop.
#include "platform/winkit/control.h"
#include "platform/winkit/text_field_cell.h"
#include "platform/winkit/text_view.h"

class HXTextField;

// What the program may say about editing; every hook has a default.
class HXTextFieldDelegate {
public:
    virtual ~HXTextFieldDelegate() = default;
    virtual bool controlTextShouldBeginEditing(HXTextField& control) { (void)control; return true; }
    virtual void controlTextDidBeginEditing(HXTextField& control) { (void)control; }
    virtual void controlTextDidChange(HXTextField& control) { (void)control; }
    virtual bool controlTextShouldEndEditing(HXTextField& control) { (void)control; return true; }
    virtual void controlTextDidEndEditing(HXTextField& control, int movement) { (void)control; (void)movement; }
    // The formatter refused the text at the end of editing: true accepts it anyway (the field then holds
    // text that is not a valid value), false keeps the user editing.
    virtual bool controlDidFailToFormatString(HXTextField& control, const std::string& string, const std::string& error)
    {
        (void)control;
        (void)string;
        (void)error;
        return false;
    }
    virtual void controlDidFailToValidatePartialString(HXTextField& control, const std::string& string, const std::string& error)
    {
        (void)control;
        (void)string;
        (void)error;
    }
    // A command of the field editor (insertNewline:, cancelOperation:, moveUp: ...): true when handled.
    virtual bool controlTextViewDoCommandBySelector(HXTextField& control, HXTextView& textView, HXSelector command)
    {
        (void)control;
        (void)textView;
        (void)command;
        return false;
    }
};

class HXTextField : public HXControl, public HXTextViewDelegate {
public:
    explicit HXTextField(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    // A label: not editable nor selectable, no bezel or background.
    static std::shared_ptr<HXTextField> labelWithString(const std::string& text, HXRect frame = HXZeroRect);
    std::shared_ptr<HXTextFieldCell> textFieldCell() const { return std::static_pointer_cast<HXTextFieldCell>(cell()); }

    bool isEditable() const { return cell()->isEditable(); }
    void setEditable(bool flag);
    bool isSelectable() const { return cell()->isSelectable(); }
    bool needsPanelToBecomeKey() const override { return isEditable() || isSelectable(); }
    void setSelectable(bool flag);
    bool isBezeled() const { return cell()->isBezeled(); }
    void setBezeled(bool flag) { cell()->setBezeled(flag); }
    bool isBordered() const { return cell()->isBordered(); }
    void setBordered(bool flag) { cell()->setBordered(flag); }
    bool drawsBackground() const { return textFieldCell()->drawsBackground(); }
    void setDrawsBackground(bool flag) { textFieldCell()->setDrawsBackground(flag); }
    HXColor backgroundColor() const { return textFieldCell()->backgroundColor(); }
    void setBackgroundColor(const HXColor& color) { textFieldCell()->setBackgroundColor(color); }
    HXColor textColor() const { return cell()->textColor(); }
    void setTextColor(const HXColor& color) { cell()->setTextColor(color); }
    const std::string& placeholderString() const { return textFieldCell()->placeholderString(); }
    void setPlaceholderString(const std::string& text) { textFieldCell()->setPlaceholderString(text); }
    // Whether ending editing by Tab or a click elsewhere also sends the action (Return always does).
    bool sendsActionOnEndEditing() const { return _sendsActionOnEndEditing; }
    void setSendsActionOnEndEditing(bool flag) { _sendsActionOnEndEditing = flag; }

    std::shared_ptr<HXTextFieldDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXTextFieldDelegate>& delegate) { _delegate = delegate; }

    // Starts editing with all the text selected (takes the keyboard focus when it can).
    void selectText(HXObject* sender = nullptr);
    // Ends editing as the movement says; false when the text was refused and editing goes on.
    bool endEditing(int movement);
    bool validateEditing() override;
    bool abortEditing() override;
    bool isEditing() const { return currentEditor() != nullptr; }

    // HXResponder and HXView.
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void keyDown(const HXEvent& event) override;
    void mouseDown(const HXEvent& event) override;
    void setFrame(HXRect frame) override;

    // The field editor's delegate.
    bool textShouldBeginEditing(HXTextView& textView) override;
    void textDidBeginEditing(HXTextView& textView) override;
    void textDidChange(HXTextView& textView) override;
    bool textShouldEndEditing(HXTextView& textView) override;
    void textDidEndEditing(HXTextView& textView, int movement) override;
    bool textViewShouldChangeTextInRange(HXTextView& textView, HXRange range, const std::string& replacement) override;
    bool textViewDoCommandBySelector(HXTextView& textView, HXSelector command) override;

protected:
    HXTextField(std::shared_ptr<HXTextFieldCell> cell, HXRect frame);

private:
    void beginEditing(size_t start, size_t length);
    // Reads the editor's text through the formatter; false when refused and not accepted by the delegate.
    bool textIsAcceptable(const std::string& text);

    std::weak_ptr<HXTextFieldDelegate> _delegate;
    bool _sendsActionOnEndEditing = false;
    bool _changedWhileEditing = false;
    bool _ending = false;
};
