#include "platform/winkit/pop_up_button.h"

HXCellFactory& HXPopUpButton::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXPopUpButtonCell>(); };
    return factory;
}

HXPopUpButton::HXPopUpButton(HXRect frame, bool pullsDown)
    : HXButton(std::static_pointer_cast<HXButtonCell>(cellClass()()), frame)
{
    popUpCell()->setPullsDown(pullsDown);
}

void HXPopUpButton::selectItem(const std::shared_ptr<HXMenuItem>& item)
{
    popUpCell()->selectItem(item);
    noteValueChanged();
}

void HXPopUpButton::selectItemAtIndex(long index)
{
    popUpCell()->selectItemAtIndex(index);
    noteValueChanged();
}

void HXPopUpButton::selectItemWithTitle(const std::string& title)
{
    popUpCell()->selectItemWithTitle(title);
    noteValueChanged();
}

bool HXPopUpButton::selectItemWithTag(long tag)
{
    bool found = popUpCell()->selectItemWithTag(tag);
    if (found)
        noteValueChanged();
    return found;
}

long HXPopUpButton::selectedTag() const
{
    auto item = selectedItem();
    return item ? item->tag() : -1;
}

double HXPopUpButton::naturalWidth() const { return popUpCell()->cellSizeForBounds({ {}, { 1e6, 1e6 } }).width; }

void HXPopUpButton::mouseDown(const HXEvent&)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    popUpCell()->setHighlighted(true);
    popUpCell()->popUp(*this);
    popUpCell()->setHighlighted(false);
}

void HXPopUpButton::performClick(HXObject*)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    popUpCell()->popUp(*this);
}

void HXPopUpButton::keyDown(const HXEvent& event)
{
    char32_t c = event.firstCharacterIgnoringModifiers();
    if (isEnabled() && (c == U' ' || c == HXUpArrowFunctionKey || c == HXDownArrowFunctionKey)) {
        performClick(this);
        return;
    }
    HXButton::keyDown(event);
}
