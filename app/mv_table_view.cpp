#include "app/mv_table_view.h"

#include "app/list_keys.h"
#include "platform/winkit/window.h"

MVTableView::MVTableView(HXRect frame)
    : HXTableView(frame)
{
}

void MVTableView::keyDown(const HXEvent& event)
{
    auto keep = shared_from_this();
    auto source = requestDataSource();
    auto win = window();
    if (event.firstCharacterIgnoringModifiers() == MVListKeys::kDelete && source
        && !selectedRowIndexes().empty() && win && win->firstResponder().get() == this) {
        if (source->mvTableViewDeleteObjectsAtRows(*this, selectedRowIndexes()).value_or(false))
            return;
    }
    HXTableView::keyDown(event);
}
