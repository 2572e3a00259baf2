#include "inspectors/property_browser_table_view.h"

#include "inspectors/property_columns.h"
#include "platform/winkit/event.h"
#include "platform/winkit/menu.h"

void MVPPropertyBrowserTableView::moveUp(bool modifySelection)
{
    if (selectedRowIndexes().empty())
        return;
    long row = *selectedRowIndexes().begin() - 1;
    if (row < 0)
        return;
    selectRow(row, modifySelection);
    scrollRowToVisible(row);
}

void MVPPropertyBrowserTableView::moveDown(bool modifySelection)
{
    if (selectedRowIndexes().empty())
        return;
    long row = *selectedRowIndexes().rbegin() + 1;
    if (row >= numberOfRows())
        return;
    selectRow(row, modifySelection);
    scrollRowToVisible(row);
}

void MVPPropertyBrowserTableView::moveToBeginningOfDocument(bool modifySelection)
{
    if (numberOfRows() == 0)
        return;
    if (modifySelection) {
        long first = selectedRowIndexes().empty() ? numberOfRows() : *selectedRowIndexes().begin();
        HXIndexSet rows;
        for (long r = 0; r < first; ++r)
            rows.insert(r);
        selectRowIndexes(rows, true);
    } else {
        selectRow(0);
    }
    scrollRowToVisible(0);
}

void MVPPropertyBrowserTableView::moveToEndOfDocument(bool modifySelection)
{
    long last = numberOfRows() - 1;
    if (last < 0)
        return;
    if (modifySelection) {
        long after = selectedRowIndexes().empty() ? 0 : *selectedRowIndexes().rbegin() + 1;
        HXIndexSet rows;
        for (long r = after; r <= last; ++r)
            rows.insert(r);
        selectRowIndexes(rows, true);
    } else {
        selectRow(last);
    }
    scrollRowToVisible(last);
}

void MVPPropertyBrowserTableView::centerSelectionInVisibleArea()
{
    if (!selectedRowIndexes().empty())
        scrollRowToVisible(*selectedRowIndexes().begin());
}

void MVPPropertyBrowserTableView::doCommandBySelector(HXSelector command)
{
    if (_commandTarget && _commandTarget->respondsToAction(command)) {
        _commandTarget->performAction(command, this);
        return;
    }
    const std::string& name = command.name();
    if (name == "moveUp:" || name == "moveUpAndModifySelection:")
        moveUp(name != "moveUp:");
    else if (name == "moveDown:" || name == "moveDownAndModifySelection:")
        moveDown(name != "moveDown:");
    else if (name == "moveToBeginningOfDocument:" || name == "moveToBeginningOfDocumentAndModifySelection:")
        moveToBeginningOfDocument(name != "moveToBeginningOfDocument:");
    else if (name == "moveToEndOfDocument:" || name == "moveToEndOfDocumentAndModifySelection:")
        moveToEndOfDocument(name != "moveToEndOfDocument:");
    else if (name == "centerSelectionInVisibleArea:")
        centerSelectionInVisibleArea();
    else if (name == "cancelOperation:")
        abortEditing();
    else
        HXTableView::doCommandBySelector(command);
}

void MVPPropertyBrowserTableView::mouseDown(const HXEvent& event)
{
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    long row = rowAtPoint(p);
    long column = columnAtPoint(p);
    if (row >= 0 && column >= 0) {
        auto tableColumn = tableColumns()[size_t(column)];
        auto box = std::dynamic_pointer_cast<MVPPropertyBrowserCheckBoxCell>(tableColumn->dataCell());
        auto source = dataSource();
        auto del = delegate();
        if (box && source && tableColumn->isEditable()
            && (!del || del->shouldEditTableColumn(*this, tableColumn.get(), row))) {
            HXPropertyList value = source->objectValueForTableColumn(*this, tableColumn.get(), row);
            if (!value.isNull()) {
                auto keep = shared_from_this();
                source->setObjectValue(*this, HXPropertyList(!value.boolValue()), tableColumn.get(), row);
                setNeedsDisplay(true);
                return;
            }
        }
    }
    HXTableView::mouseDown(event);
}

void MVPPropertyBrowserTableView::rightMouseDown(const HXEvent& event)
{
    auto menu = _menuProvider ? _menuProvider() : nullptr;
    if (!menu) {
        HXTableView::rightMouseDown(event);
        return;
    }
    HXMenu::popUpContextMenu(menu, event, std::static_pointer_cast<HXView>(shared_from_this()));
}
