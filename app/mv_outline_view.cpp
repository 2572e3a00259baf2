#include "app/mv_outline_view.h"

#include "app/list_keys.h"
#include "platform/winkit/window.h"

MVOutlineView::MVOutlineView(HXRect frame)
    : HXOutlineView(frame)
{
}

bool MVOutlineView::canSendRequest() const
{
    auto win = window();
    return !selectedRowIndexes().empty() && win && win->firstResponder().get() == this;
}

void MVOutlineView::keyDown(const HXEvent& event)
{
    auto keep = shared_from_this();
    char32_t key = event.firstCharacterIgnoringModifiers();
    auto source = requestDataSource();
    if (MVListKeys::isDelete(key) && source && canSendRequest()) {
        // The confirming request when the source answers it, else the plain one: never a request the
        // source does not handle.
        HXIndexSet rows = selectedRowIndexes();
        auto answer = source->mvOutlineViewDeleteObjectsAtRows(*this, rows, true);
        if (!answer)
            answer = source->mvOutlineViewDeleteObjectsAtRows(*this, rows);
        if (answer.value_or(false))
            return;
    } else if (MVListKeys::isOpen(key) && source && canSendRequest()) {
        if (source->mvOutlineViewOpenObjectsAtRows(*this, selectedRowIndexes()).value_or(false))
            return;
    } else if (key == HXHomeFunctionKey) {
        if (numberOfRows() > 0)
            scrollRowToVisible(0);
        return;
    } else if (key == HXEndFunctionKey) {
        if (numberOfRows() > 0)
            scrollRowToVisible(numberOfRows() - 1);
    }
    HXOutlineView::keyDown(event);
}

bool MVOutlineView::performKeyEquivalent(const HXEvent& event)
{
    if (event.type() != HXKeyDown)
        return false;
    char32_t key = event.firstCharacterIgnoringModifiers();
    bool commandDelete = key == MVListKeys::kDelete && (event.modifierFlags() & HXCommandKeyMask);
    bool forwardDelete = key == HXDeleteFunctionKey;
    auto source = requestDataSource();
    if (!(commandDelete || forwardDelete) || !source || !canSendRequest())
        return false;
    auto keep = shared_from_this();
    HXIndexSet rows = selectedRowIndexes();
    auto answer = source->mvOutlineViewDeleteObjectsAtRows(*this, rows);
    if (!answer)
        answer = source->mvOutlineViewDeleteObjectsAtRows(*this, rows, false);
    return answer.value_or(false);
}

unsigned MVOutlineView::draggingSourceOperationMaskForLocal(bool)
{
    return HXDragOperationLink;
}
