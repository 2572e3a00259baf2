#include "platform/winkit/combo_box.h"

#include "platform/winkit/text_view.h"
#include "platform/winkit/window.h"

HXCellFactory& HXComboBox::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXComboBoxCell>(); };
    return factory;
}

HXComboBox::HXComboBox(HXRect frame)
    : HXComboBox(std::static_pointer_cast<HXComboBoxCell>(cellClass()()), frame)
{
}

HXComboBox::HXComboBox(std::shared_ptr<HXComboBoxCell> cell, HXRect frame)
    : HXTextField(cell ? std::move(cell) : std::make_shared<HXComboBoxCell>(), frame)
{
}

bool HXComboBox::popUp()
{
    if (!isEnabled())
        return false;
    auto keep = shared_from_this();
    // The list takes the place of editing: what was typed is kept, then the pick replaces it.
    if (isEditing())
        validateEditing();
    return comboBoxCell()->popUp(*this);
}

void HXComboBox::mouseDown(const HXEvent& event)
{
    HXPoint point = convertPointFromView(event.locationInWindow(), nullptr);
    if (isEnabled() && HXPointInRect(point, comboBoxCell()->buttonRectForBounds(bounds()))) {
        auto keep = shared_from_this();
        comboBoxCell()->setHighlighted(true);
        popUp();
        comboBoxCell()->setHighlighted(false);
        return;
    }
    HXTextField::mouseDown(event);
}

bool HXComboBox::textViewShouldChangeTextInRange(
    HXTextView& textView, HXRange range, const std::string& replacement)
{
    bool allowed = HXTextField::textViewShouldChangeTextInRange(textView, range, replacement);
    // Only typing that adds at the end is completed; deleting never brings the completion back.
    _typedAtEnd = allowed && !_completing && !replacement.empty()
        && range.location + range.length >= textView.string().size();
    return allowed;
}

void HXComboBox::textDidChange(HXTextView& textView)
{
    HXTextField::textDidChange(textView);
    if (!_typedAtEnd || !completes() || _completing)
        return;
    _typedAtEnd = false;
    std::string typed = textView.string();
    std::string completion = comboBoxCell()->completedString(typed);
    if (completion.size() <= typed.size())
        return;
    // The user's own letters stay as typed; the rest of the value is added and selected, so typing on
    // replaces it.
    _completing = true;
    textView.setString(typed + completion.substr(typed.size()));
    textView.setSelectedRange({ typed.size(), completion.size() - typed.size() });
    _completing = false;
}

bool HXComboBox::textViewDoCommandBySelector(HXTextView& textView, HXSelector command)
{
    if (command.name() == "moveDown:" && numberOfItems() > 0) {
        popUp();
        return true;
    }
    return HXTextField::textViewDoCommandBySelector(textView, command);
}
