#include "platform/winkit/text_field.h"

#include "platform/basekit/notification_center.h"
#include "platform/winkit/application.h"
#include "platform/winkit/formatter.h"
#include "platform/winkit/window.h"

HXCellFactory& HXTextField::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXTextFieldCell>(); };
    return factory;
}

HXTextField::HXTextField(HXRect frame)
    : HXTextField(std::static_pointer_cast<HXTextFieldCell>(cellClass()()), frame)
{
}

HXTextField::HXTextField(std::shared_ptr<HXTextFieldCell> cell, HXRect frame)
    : HXControl(cell ? std::move(cell) : std::make_shared<HXTextFieldCell>(), frame)
{
    setActionHandler("selectAll:", [this](HXObject*) {
        if (auto editor = currentEditor())
            editor->selectAll();
        else
            selectText();
    });
    for (const char* action : { "copy:", "cut:", "paste:" }) {
        setActionHandler(action, [this, action](HXObject* sender) {
            if (auto editor = currentEditor())
                editor->performAction(action, sender);
        });
    }
}

std::shared_ptr<HXTextField> HXTextField::labelWithString(const std::string& text, HXRect frame)
{
    auto label = std::make_shared<HXTextField>(frame);
    label->setEditable(false);
    label->setSelectable(false);
    label->setBezeled(false);
    label->setBordered(false);
    label->setDrawsBackground(false);
    label->setStringValue(text);
    if (HXIsEmptyRect(frame))
        label->sizeToFit();
    return label;
}

void HXTextField::setEditable(bool flag)
{
    if (!flag)
        endEditing(HXOtherTextMovement) || abortEditing();
    cell()->setEditable(flag);
    if (auto editor = currentEditor())
        editor->setEditable(flag);
}

void HXTextField::setSelectable(bool flag)
{
    if (!flag)
        endEditing(HXOtherTextMovement) || abortEditing();
    cell()->setSelectable(flag);
}

void HXTextField::setFrame(HXRect frame)
{
    HXControl::setFrame(frame);
    if (auto editor = currentEditor())
        editor->setFrame(cell()->titleRectForBounds(bounds()));
}

// ---- Editing ------------------------------------------------------------------------------------------------

void HXTextField::beginEditing(size_t start, size_t length)
{
    if (!isSelectable() || !isEnabled() || !window() || isEditing())
        return;
    auto editor = textFieldCell()->fieldEditorForView(*this);
    if (!editor)
        return;
    // The editor may still be lent to another field of the window.
    if (auto* other = dynamic_cast<HXTextField*>(editor->superview().get()); other && other != this)
        if (!other->endEditing(HXOtherTextMovement))
            return;
    editor->setDelegate(std::dynamic_pointer_cast<HXTextViewDelegate>(shared_from_this()));
    cell()->selectWithFrame(bounds(), *this, *editor, start, length);
    setCurrentEditor(editor);
    _changedWhileEditing = false;
    setNeedsDisplay(true);
}

void HXTextField::selectText(HXObject*)
{
    auto window = this->window();
    if (!window || !isSelectable())
        return;
    if (window->firstResponder().get() != this) {
        window->makeFirstResponder(std::static_pointer_cast<HXResponder>(shared_from_this()));
        return;  // becoming first responder started the editing
    }
    if (auto editor = currentEditor())
        editor->selectAll();
    else
        beginEditing(0, std::string::npos);
}

bool HXTextField::textIsAcceptable(const std::string& text)
{
    if (auto f = formatter()) {
        HXPropertyList value;
        std::string error;
        if (!f->getObjectValue(value, text, &error)) {
            auto d = delegate();
            return d && d->controlDidFailToFormatString(*this, text, error);
        }
    }
    return true;
}

bool HXTextField::validateEditing()
{
    auto editor = currentEditor();
    if (!editor || !_changedWhileEditing)
        return true;
    if (!textIsAcceptable(editor->string()))
        return false;
    cell()->setStringValue(editor->string());
    return true;
}

bool HXTextField::endEditing(int movement)
{
    auto editor = currentEditor();
    if (!editor || _ending)
        return true;
    auto keep = shared_from_this();
    bool changed = _changedWhileEditing;
    if (changed && !textShouldEndEditing(*editor)) {
        HXBeep();
        return false;
    }
    _ending = true;
    if (changed)
        cell()->endEditing(*editor);
    else
        editor->removeFromSuperview();
    editor->setDelegate(nullptr);
    setCurrentEditor(nullptr);
    _changedWhileEditing = false;
    _ending = false;
    setNeedsDisplay(true);

    HXNotificationCenter::defaultCenter().postNotificationName(HXControlTextDidEndEditingNotification, this,
        { { HXTextMovementKey, HXPropertyList(int64_t(movement)) } });
    if (auto d = delegate())
        d->controlTextDidEndEditing(*this, movement);
    if (changed)
        noteValueChanged();
    if (movement == HXReturnTextMovement || (changed && _sendsActionOnEndEditing))
        sendAction();

    auto window = this->window();
    if (!window)
        return true;
    auto self = std::static_pointer_cast<HXView>(shared_from_this());
    if (movement == HXTabTextMovement)
        window->selectKeyViewFollowingView(self);
    else if (movement == HXBacktabTextMovement)
        window->selectKeyViewPrecedingView(self);
    // Still the focus (Return, or nowhere to go): keep editing with everything selected.
    if (movement != HXOtherTextMovement && window->firstResponder() == self)
        beginEditing(0, std::string::npos);
    return true;
}

bool HXTextField::abortEditing()
{
    auto editor = currentEditor();
    if (!editor)
        return false;
    auto keep = shared_from_this();
    editor->removeFromSuperview();
    editor->setDelegate(nullptr);
    setCurrentEditor(nullptr);
    _changedWhileEditing = false;
    setNeedsDisplay(true);
    return true;
}

// ---- Responder ------------------------------------------------------------------------------------------------

bool HXTextField::becomeFirstResponder()
{
    HXControl::becomeFirstResponder();
    beginEditing(0, std::string::npos);
    return true;
}

bool HXTextField::resignFirstResponder()
{
    if (isEditing() && !endEditing(HXOtherTextMovement))
        return false;
    return HXControl::resignFirstResponder();
}

void HXTextField::keyDown(const HXEvent& event)
{
    if (!isEditing() && isSelectable() && window() && window()->firstResponder().get() == this)
        beginEditing(0, std::string::npos);
    if (auto editor = currentEditor()) {
        auto keep = shared_from_this();
        editor->keyDown(event);
        return;
    }
    HXControl::keyDown(event);
}

void HXTextField::mouseDown(const HXEvent& event)
{
    if (!isSelectable() || !isEnabled()) {
        HXControl::mouseDown(event);
        return;
    }
    auto keep = shared_from_this();
    if (!isEditing())
        selectText();
    if (auto editor = currentEditor())
        editor->mouseDown(event);
}

// ---- The field editor's delegate -----------------------------------------------------------------------------

bool HXTextField::textShouldBeginEditing(HXTextView&)
{
    auto d = delegate();
    return !d || d->controlTextShouldBeginEditing(*this);
}

void HXTextField::textDidBeginEditing(HXTextView&)
{
    _changedWhileEditing = true;
    HXNotificationCenter::defaultCenter().postNotificationName(HXControlTextDidBeginEditingNotification, this);
    if (auto d = delegate())
        d->controlTextDidBeginEditing(*this);
}

void HXTextField::textDidChange(HXTextView&)
{
    _changedWhileEditing = true;
    HXNotificationCenter::defaultCenter().postNotificationName(HXControlTextDidChangeNotification, this);
    if (auto d = delegate())
        d->controlTextDidChange(*this);
    noteValueChanged();
}

bool HXTextField::textShouldEndEditing(HXTextView& textView)
{
    if (!textIsAcceptable(textView.string()))
        return false;
    auto d = delegate();
    return !d || d->controlTextShouldEndEditing(*this);
}

void HXTextField::textDidEndEditing(HXTextView&, int movement) { endEditing(movement); }

bool HXTextField::textViewShouldChangeTextInRange(HXTextView& textView, HXRange range, const std::string& replacement)
{
    auto f = formatter();
    if (!f)
        return true;
    std::string proposed = textView.string();
    size_t start = std::min(range.location, proposed.size());
    proposed.replace(start, std::min(range.length, proposed.size() - start), replacement);
    std::string replacementText, error;
    if (f->isPartialStringValid(proposed, &replacementText, &error))
        return true;
    if (!replacementText.empty()) {
        // The formatter offers text of its own instead of what was typed.
        textView.replaceCharactersInRange({ 0, textView.string().size() }, replacementText);
        textDidChange(textView);
        return false;
    }
    if (auto d = delegate())
        d->controlDidFailToValidatePartialString(*this, proposed, error);
    return false;  // the editor beeps
}

bool HXTextField::textViewDoCommandBySelector(HXTextView& textView, HXSelector command)
{
    auto keep = shared_from_this();
    if (auto d = delegate(); d && d->controlTextViewDoCommandBySelector(*this, textView, command))
        return true;
    const std::string& name = command.name();
    if (name == "insertNewline:")
        endEditing(HXReturnTextMovement);
    else if (name == "insertTab:")
        endEditing(HXTabTextMovement);
    else if (name == "insertBacktab:")
        endEditing(HXBacktabTextMovement);
    else if (name == "cancelOperation:") {
        abortEditing();
        if (auto w = window(); w && w->firstResponder().get() == this)
            beginEditing(0, std::string::npos);
    } else
        return false;
    return true;
}
