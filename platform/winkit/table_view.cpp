#include "platform/winkit/table_view.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/application.h"
#include "platform/winkit/field_editor.h"
#include "platform/winkit/formatter.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/table_header_view.h"
#include "platform/winkit/text_field_cell.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>
#include <limits>

HXTableView::HXTableView(HXRect frame)
    : HXControl(std::make_shared<HXCell>(), frame)
{
    _headerView = std::make_shared<HXTableHeaderView>(this);
    setActionHandler("selectAll:", [this](HXObject* sender) { selectAll(sender); });
}

HXTableView::~HXTableView()
{
    if (_headerView)
        _headerView->setTableView(nullptr);
    for (auto& c : _columns)
        c->setTableView(nullptr);
}

void HXTableView::setDataSource(const std::shared_ptr<HXTableViewDataSource>& source)
{
    _dataSource = source;
    reloadData();
}

long HXTableView::numberOfRows() const { return _numberOfRows; }

void HXTableView::reloadData()
{
    auto source = dataSource();
    long rows = source ? source->numberOfRowsInTableView(*this) : 0;
    _numberOfRows = std::max(0L, rows);
    if (_editedRow >= _numberOfRows)
        endEditing(false);
    HXIndexSet kept;
    for (long r : _selection)
        if (r < _numberOfRows)
            kept.insert(r);
    bool changed = kept != _selection;
    _selection = kept;
    tile();
    setNeedsDisplay(true);
    if (changed)
        selectionDidChange();
}

// ---- Columns --------------------------------------------------------------------------------------------------

void HXTableView::addTableColumn(const std::shared_ptr<HXTableColumn>& column)
{
    if (!column || std::find(_columns.begin(), _columns.end(), column) != _columns.end())
        return;
    column->setTableView(this);
    _columns.push_back(column);
    tile();
    _headerView->setNeedsDisplay(true);
}

void HXTableView::removeTableColumn(const std::shared_ptr<HXTableColumn>& column)
{
    auto it = std::find(_columns.begin(), _columns.end(), column);
    if (it == _columns.end())
        return;
    if (_editedColumn == long(it - _columns.begin()))
        endEditing(false);
    column->setTableView(nullptr);
    _columns.erase(it);
    tile();
    _headerView->setNeedsDisplay(true);
}

void HXTableView::moveColumn(long from, long to)
{
    long n = numberOfColumns();
    if (from < 0 || to < 0 || from >= n || to >= n || from == to)
        return;
    endEditing(true);
    auto column = _columns[size_t(from)];
    _columns.erase(_columns.begin() + from);
    _columns.insert(_columns.begin() + to, column);
    setNeedsDisplay(true);
    _headerView->setNeedsDisplay(true);
    HXNotificationCenter::defaultCenter().postNotificationName(HXTableViewColumnDidMoveNotification, this,
        { { HXOldColumnKey, HXPropertyList(int64_t(from)) }, { HXNewColumnKey, HXPropertyList(int64_t(to)) } });
    if (auto d = delegate())
        d->columnDidMove(*this, from, to);
    saveColumns();
}

void HXTableView::columnDidResize(HXTableColumn& column, double oldWidth)
{
    tile();
    setNeedsDisplay(true);
    _headerView->setNeedsDisplay(true);
    HXNotificationCenter::defaultCenter().postNotificationName(HXTableViewColumnDidResizeNotification, this,
        { { HXTableColumnKey, HXPropertyList(column.identifier()) }, { HXOldWidthKey, HXPropertyList(oldWidth) } });
    if (auto d = delegate())
        d->columnDidResize(*this, &column, oldWidth);
    saveColumns();
}

long HXTableView::columnWithIdentifier(const std::string& identifier) const
{
    for (size_t i = 0; i < _columns.size(); ++i)
        if (_columns[i]->identifier() == identifier)
            return long(i);
    return -1;
}

std::shared_ptr<HXTableColumn> HXTableView::tableColumnWithIdentifier(const std::string& identifier) const
{
    long i = columnWithIdentifier(identifier);
    return i < 0 ? nullptr : _columns[size_t(i)];
}

std::string HXTableView::autosaveKey() const { return "HXTableView Columns " + _autosaveName; }

void HXTableView::setAutosaveName(const std::string& name)
{
    _autosaveName = name;
    if (_autosaveTableColumns)
        restoreColumns();
}

void HXTableView::setAutosaveTableColumns(bool flag)
{
    _autosaveTableColumns = flag;
    if (flag)
        restoreColumns();
}

void HXTableView::saveColumns()
{
    if (!_autosaveTableColumns || _autosaveName.empty() || _restoring)
        return;
    HXPropertyList::Array saved;
    for (const auto& c : _columns) {
        HXPropertyList::Dictionary entry;
        entry["Identifier"] = c->identifier();
        entry["Width"] = c->width();
        saved.push_back(HXPropertyList(entry));
    }
    HXUserDefaults::standardUserDefaults().setObject(HXPropertyList(saved), autosaveKey());
}

void HXTableView::restoreColumns()
{
    if (_autosaveName.empty())
        return;
    auto saved = HXUserDefaults::standardUserDefaults().objectForKey(autosaveKey());
    if (!saved.isArray())
        return;  // nothing kept yet (or something that is not ours): the columns stay as they are
    _restoring = true;
    long place = 0;
    for (const auto& entry : saved.arrayValue()) {
        if (!entry.isDictionary())
            continue;
        long at = columnWithIdentifier(entry["Identifier"].stringValue());
        if (at < 0)
            continue;  // a column that is gone
        if (entry["Width"].isNumber())
            _columns[size_t(at)]->setWidth(entry["Width"].realValue());
        if (at != place) {
            auto column = _columns[size_t(at)];
            _columns.erase(_columns.begin() + at);
            _columns.insert(_columns.begin() + place, column);
        }
        ++place;
    }
    _restoring = false;
    tile();
    setNeedsDisplay(true);
    _headerView->setNeedsDisplay(true);
}

// ---- Geometry --------------------------------------------------------------------------------------------------

void HXTableView::setRowHeight(double height)
{
    _rowHeight = std::max(1.0, height);
    tile();
}

void HXTableView::setIntercellSpacing(HXSize spacing)
{
    _intercellSpacing = spacing;
    tile();
}

void HXTableView::setUsesAlternatingRowBackgroundColors(bool flag)
{
    _alternatingRows = flag;
    setNeedsDisplay(true);
}

void HXTableView::setShowsGrid(bool flag)
{
    _showsGrid = flag;
    setNeedsDisplay(true);
}

HXRect HXTableView::rectOfRow(long row) const
{
    if (row < 0 || row >= _numberOfRows)
        return HXZeroRect;
    double h = _rowHeight + _intercellSpacing.height;
    return { { 0, double(row) * h }, { bounds().size.width, h } };
}

HXRect HXTableView::rectOfColumn(long column) const
{
    if (column < 0 || column >= numberOfColumns())
        return HXZeroRect;
    double x = 0;
    for (long i = 0; i < column; ++i)
        if (!_columns[size_t(i)]->isHidden())
            x += _columns[size_t(i)]->width() + _intercellSpacing.width;
    double w = _columns[size_t(column)]->isHidden() ? 0 : _columns[size_t(column)]->width() + _intercellSpacing.width;
    double height = std::max(bounds().size.height, double(_numberOfRows) * (_rowHeight + _intercellSpacing.height));
    return { { x, 0 }, { w, height } };
}

HXRect HXTableView::frameOfCellAtColumn(long column, long row) const
{
    HXRect c = rectOfColumn(column), r = rectOfRow(row);
    if (HXIsEmptyRect(c) || HXIsEmptyRect(r))
        return HXZeroRect;
    return { { c.origin.x + _intercellSpacing.width / 2, r.origin.y + _intercellSpacing.height / 2 },
        { std::max(0.0, c.size.width - _intercellSpacing.width), _rowHeight } };
}

long HXTableView::rowAtPoint(HXPoint point) const
{
    double h = _rowHeight + _intercellSpacing.height;
    if (point.y < 0 || h <= 0)
        return -1;
    long row = long(std::floor(point.y / h));
    return row < _numberOfRows ? row : -1;
}

long HXTableView::columnAtPoint(HXPoint point) const
{
    for (long i = 0; i < numberOfColumns(); ++i) {
        HXRect r = rectOfColumn(i);
        if (point.x >= r.origin.x && point.x < HXMaxX(r))
            return i;
    }
    return -1;
}

void HXTableView::tile()
{
    if (_tiling)
        return;
    _tiling = true;
    // Twice: the scroll view's answer (a scroller coming or going) changes the room the table has.
    for (int pass = 0; pass < 2; ++pass)
        tileOnce();
    _tiling = false;
}

void HXTableView::tileOnce()
{
    double width = 0;
    for (const auto& c : _columns)
        if (!c->isHidden())
            width += c->width() + _intercellSpacing.width;
    double height = double(_numberOfRows) * (_rowHeight + _intercellSpacing.height);
    HXSize visible {};
    if (auto clip = std::dynamic_pointer_cast<HXClipView>(superview()))
        visible = clip->bounds().size;
    HXSize size { std::max(width, visible.width), std::max(height, visible.height) };
    if (!HXEqualSizes(size, frame().size))
        setFrameSize(size);
    _headerView->setFrameSize({ size.width, HXTableHeaderView::headerHeight() });
    if (auto clip = std::dynamic_pointer_cast<HXClipView>(superview()))
        if (auto scroll = std::dynamic_pointer_cast<HXScrollView>(clip->superview()))
            scroll->tile();
}

std::shared_ptr<HXView> HXTableView::scrollViewHeaderView() { return _headerView; }

void HXTableView::viewDidMoveToSuperview() { tile(); }

void HXTableView::scrollRowToVisible(long row)
{
    HXRect r = rectOfRow(row);
    if (HXIsEmptyRect(r))
        return;
    auto clip = std::dynamic_pointer_cast<HXClipView>(superview());
    auto scroll = clip ? std::dynamic_pointer_cast<HXScrollView>(clip->superview()) : nullptr;
    if (scroll)
        scroll->scrollRectToVisible(r);
}

// ---- Selection --------------------------------------------------------------------------------------------------

long HXTableView::selectedRow() const
{
    if (_selection.empty())
        return -1;
    return _leadRow >= 0 && _selection.count(_leadRow) ? _leadRow : *_selection.rbegin();
}

void HXTableView::selectionDidChange()
{
    setNeedsDisplay(true);
    HXNotificationCenter::defaultCenter().postNotificationName(HXTableViewSelectionDidChangeNotification, this);
    if (auto d = delegate())
        d->tableViewSelectionDidChange(*this);
    HXAccessibility::postNotification(*this, HXAccessibilitySelectedRowsChangedNotification);
}

void HXTableView::selectRowIndexes(const HXIndexSet& rows, bool extend)
{
    auto d = delegate();
    HXIndexSet wanted = extend ? _selection : HXIndexSet {};
    bool anyTaken = false;
    for (long r : rows)
        if (r >= 0 && r < _numberOfRows && (!d || d->shouldSelectRow(*this, r))) {
            wanted.insert(r);
            anyTaken = true;
        }
    // Rows that may not be selected leave the selection as it was (rather than emptying it).
    if (!rows.empty() && !anyTaken)
        return;
    if (!_allowsMultipleSelection && wanted.size() > 1) {
        long last = rows.empty() ? *wanted.rbegin() : *rows.rbegin();
        wanted = { last };
    }
    if (wanted == _selection)
        return;
    if (d && !d->selectionShouldChange(*this))
        return;
    endEditing(true);
    _selection = wanted;
    if (!rows.empty() && wanted.count(*rows.rbegin()))
        _leadRow = *rows.rbegin();
    selectionDidChange();
}

void HXTableView::deselectRow(long row)
{
    if (!_selection.count(row) || (!_allowsEmptySelection && _selection.size() == 1))
        return;
    if (auto d = delegate(); d && !d->selectionShouldChange(*this))
        return;
    _selection.erase(row);
    selectionDidChange();
}

void HXTableView::deselectAll(HXObject*)
{
    if (_selection.empty() || !_allowsEmptySelection)
        return;
    if (auto d = delegate(); d && !d->selectionShouldChange(*this))
        return;
    endEditing(true);
    _selection.clear();
    selectionDidChange();
}

void HXTableView::selectAll(HXObject*)
{
    if (!_allowsMultipleSelection)
        return;
    HXIndexSet all;
    for (long r = 0; r < _numberOfRows; ++r)
        all.insert(r);
    selectRowIndexes(all, false);
}

void HXTableView::moveSelection(long delta, bool extend)
{
    if (_numberOfRows == 0)
        return;
    long from = _leadRow >= 0 && _leadRow < _numberOfRows ? _leadRow : (delta > 0 ? -1 : _numberOfRows);
    long to = std::clamp(from + delta, 0L, _numberOfRows - 1);
    if (extend && _allowsMultipleSelection && _anchorRow >= 0) {
        HXIndexSet range;
        for (long r = std::min(_anchorRow, to); r <= std::max(_anchorRow, to); ++r)
            range.insert(r);
        selectRowIndexes(range, false);
        _leadRow = to;
    } else {
        selectRow(to);
        _anchorRow = to;
    }
    scrollRowToVisible(to);
}

// ---- Drawing -----------------------------------------------------------------------------------------------------

std::shared_ptr<HXCell> HXTableView::preparedCell(long column, long row)
{
    auto col = _columns[size_t(column)];
    std::shared_ptr<HXCell> cell;
    auto d = delegate();
    if (d)
        cell = d->dataCellForTableColumn(*this, col.get(), row);
    if (!cell)
        cell = col->dataCellForRow(row);
    if (!cell)
        return nullptr;
    // Filled while it belongs to no view: changing a cell asks its view to draw again, and this is
    // done while drawing.
    cell->setControlView(nullptr);
    if (auto source = dataSource())
        cell->setObjectValue(source->objectValueForTableColumn(*this, col.get(), row));
    cell->setHighlighted(isRowSelected(row));
    if (d)
        d->willDisplayCell(*this, *cell, col.get(), row);
    return cell;
}

void HXTableView::drawRect(HXRect dirtyRect)
{
    HXColor::controlBackgroundColor().setFill();
    HXBezierPath::fillRect(dirtyRect);
    bool focused = window() && window()->isKeyWindow() && window()->firstResponder().get() == this;
    double rowStep = _rowHeight + _intercellSpacing.height;
    long first = std::max(0L, long(std::floor(dirtyRect.origin.y / rowStep)));
    long last = std::min(_numberOfRows - 1, long(std::ceil(HXMaxY(dirtyRect) / rowStep)));
    if (_alternatingRows) {
        HXColor::colorWithCalibratedWhite(0.955).setFill();
        long lastStripe = long(std::ceil(HXMaxY(dirtyRect) / rowStep));
        for (long r = first; r <= lastStripe; ++r)
            if (r % 2 == 1)
                HXBezierPath::fillRect({ { dirtyRect.origin.x, double(r) * rowStep }, { dirtyRect.size.width, rowStep } });
    }
    for (long row = first; row <= last; ++row) {
        HXRect rowRect = rectOfRow(row);
        bool selected = isRowSelected(row);
        if (selected) {
            (focused ? HXControlStyle::accentColor() : HXColor::colorWithCalibratedWhite(0.82)).setFill();
            HXBezierPath::fillRect(rowRect);
        }
        drawRowDecoration(row);
        for (long column = 0; column < numberOfColumns(); ++column) {
            if (_columns[size_t(column)]->isHidden() || (row == _editedRow && column == _editedColumn))
                continue;
            auto cell = preparedCell(column, row);
            if (!cell)
                continue;
            HXColor keep = cell->textColor();
            if (selected && focused)
                cell->setTextColor(HXColor::whiteColor());
            cell->setControlView(this);
            cell->drawWithFrame(cellFrameForDrawing(column, row), *this);
            cell->setControlView(nullptr);
            cell->setTextColor(keep);
        }
    }
    if (_showsGrid) {
        HXColor::gridColor().setFill();
        for (long column = 0; column < numberOfColumns(); ++column) {
            HXRect c = rectOfColumn(column);
            HXBezierPath::fillRect({ { HXMaxX(c) - 1, dirtyRect.origin.y }, { 1, dirtyRect.size.height } });
        }
        for (long row = first; row <= last; ++row)
            HXBezierPath::fillRect({ { dirtyRect.origin.x, HXMaxY(rectOfRow(row)) - 1 }, { dirtyRect.size.width, 1 } });
    }
    if (_dropRow >= 0) {
        HXControlStyle::accentColor().setStroke();
        if (_dropOperation == HXTableViewDropOn && _dropRow < _numberOfRows) {
            auto box = HXBezierPath::bezierPathWithRoundedRect(HXInsetRect(rectOfRow(_dropRow), 1.5, 1.5), 3, 3);
            box.setLineWidth(2);
            box.stroke();
        } else {
            double y = double(_dropRow) * rowStep;
            HXControlStyle::accentColor().setFill();
            HXBezierPath::fillRect({ { 0, y - 1 }, { bounds().size.width, 2 } });
        }
    }
}

// ---- Mouse and keys -------------------------------------------------------------------------------------------------

void HXTableView::mouseDown(const HXEvent& event)
{
    auto keep = shared_from_this();
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    long row = rowAtPoint(p);
    long column = columnAtPoint(p);
    _clickedRow = row;
    _clickedColumn = column;
    if (_editedRow >= 0 && (row != _editedRow || column != _editedColumn) && !endEditing(true))
        return;
    if (_editedRow >= 0 && row == _editedRow && column == _editedColumn) {
        if (auto editor = currentEditor())
            editor->mouseDown(event);
        return;
    }
    uint32_t flags = event.modifierFlags();
    if (row < 0) {
        if (!(flags & (HXCommandKeyMask | HXShiftKeyMask)))
            deselectAll();
        return;
    }
    if (event.clickCount() >= 2) {
        bool editable = column >= 0 && _columns[size_t(column)]->isEditable() && dataSource();
        if (editable)
            if (auto d = delegate(); d && !d->shouldEditTableColumn(*this, _columns[size_t(column)].get(), row))
                editable = false;
        if (editable)
            editColumn(column, row, nullptr, true);
        else if (_doubleAction)
            sendAction(_doubleAction, target().get());
        return;
    }
    if ((flags & HXCommandKeyMask) && _allowsMultipleSelection) {
        if (isRowSelected(row))
            deselectRow(row);
        else
            selectRow(row, true);
        _anchorRow = row;
    } else if ((flags & HXShiftKeyMask) && _allowsMultipleSelection && _anchorRow >= 0) {
        HXIndexSet range;
        for (long r = std::min(_anchorRow, row); r <= std::max(_anchorRow, row); ++r)
            range.insert(r);
        selectRowIndexes(range, false);
        _leadRow = row;
    } else {
        // A press on a selected row may start a drag of the selection, so it is kept until the release.
        if (!isRowSelected(row))
            selectRow(row);
        _anchorRow = row;
        _leadRow = row;
    }
    // Track: a drag of more than a few points drags the rows; otherwise the release settles the click.
    for (;;) {
        auto next = HXApp().nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next || next->type() == HXLeftMouseUp) {
            if (!(flags & (HXCommandKeyMask | HXShiftKeyMask)) && _selection.size() > 1)
                selectRow(row);
            break;
        }
        HXPoint q = convertPointFromView(next->locationInWindow(), nullptr);
        if (std::hypot(q.x - p.x, q.y - p.y) > 4 && isRowSelected(row) && dataSource()) {
            startRowDrag(event, row);
            break;
        }
    }
    sendAction();
}

void HXTableView::keyDown(const HXEvent& event)
{
    if (auto editor = currentEditor()) {
        auto keep = shared_from_this();
        editor->keyDown(event);
        return;
    }
    if (auto command = HXTextView::commandForKeyEvent(event, true)) {
        doCommandBySelector(command);
        return;
    }
    HXControl::keyDown(event);
}

void HXTableView::doCommandBySelector(HXSelector command)
{
    const std::string& name = command.name();
    if (name == "moveUp:" || name == "moveUpAndModifySelection:")
        moveSelection(-1, name != "moveUp:");
    else if (name == "moveDown:" || name == "moveDownAndModifySelection:")
        moveSelection(1, name != "moveDown:");
    else if (name == "moveToBeginningOfDocument:")
        moveSelection(-_numberOfRows, false);
    else if (name == "moveToEndOfDocument:")
        moveSelection(_numberOfRows, false);
    else if (name == "pageUp:" || name == "pageDown:") {
        auto clip = std::dynamic_pointer_cast<HXClipView>(superview());
        long page = clip ? std::max(1L, long(clip->bounds().size.height / (_rowHeight + _intercellSpacing.height)) - 1) : 10;
        moveSelection(name == "pageUp:" ? -page : page, false);
    } else if (name == "selectAll:")
        selectAll();
    else if (name == "insertNewline:" && _selection.size() == 1 && _doubleAction)
        sendAction(_doubleAction, target().get());
    else
        HXControl::doCommandBySelector(command);  // delete, cancel, moveLeft ... go up the chain
}

bool HXTableView::resignFirstResponder()
{
    if (_editedRow >= 0 && !endEditing(true))
        return false;
    setNeedsDisplay(true);
    return HXControl::resignFirstResponder();
}

// ---- Editing in place ----------------------------------------------------------------------------------------------

void HXTableView::editColumn(long column, long row, const HXEvent* event, bool select)
{
    if (column < 0 || column >= numberOfColumns() || row < 0 || row >= _numberOfRows || !window())
        return;
    if (_editedRow >= 0 && !endEditing(true))
        return;
    auto editor = HXFieldEditor::fieldEditorForWindow(window().get(), true);
    if (!editor)
        return;
    if (window()->firstResponder().get() != this)
        window()->makeFirstResponder(std::static_pointer_cast<HXResponder>(shared_from_this()));
    if (!isRowSelected(row))
        selectRow(row);
    // A cell of its own for the edit, looking like the column's.
    auto shown = preparedCell(column, row);
    _editingCell = std::make_shared<HXTextFieldCell>();
    _editingCell->setBezeled(false);
    _editingCell->setBordered(true);
    if (shown) {
        _editingCell->setFont(shown->font());
        _editingCell->setAlignment(shown->alignment());
        _editingCell->setFormatter(shown->formatter());
        _editingCell->setObjectValue(shown->objectValue());
    }
    _editingCell->setControlView(this);
    _editedRow = row;
    _editedColumn = column;
    editor->setDelegate(std::dynamic_pointer_cast<HXTextViewDelegate>(shared_from_this()));
    HXRect frame = frameOfCellAtColumn(column, row);
    _editingCell->selectWithFrame(frame, *this, *editor, 0, select ? std::string::npos : 0);
    editor->setFrame(frame);
    setCurrentEditor(editor);
    if (event)
        editor->mouseDown(*event);
    setNeedsDisplay(true);
}

bool HXTableView::endEditing(bool commit)
{
    auto editor = currentEditor();
    if (!editor || _editedRow < 0)
        return true;
    auto keep = shared_from_this();
    long row = _editedRow, column = _editedColumn;
    std::string text = editor->string();
    if (commit && _editingCell && _editingCell->formatter()) {
        HXPropertyList parsed;
        std::string error;
        if (!_editingCell->formatter()->getObjectValue(parsed, text, &error)) {
            HXBeep();
            return false;
        }
    }
    editor->removeFromSuperview();
    editor->setDelegate(nullptr);
    setCurrentEditor(nullptr);
    _editedRow = _editedColumn = -1;
    if (commit && _editingCell) {
        _editingCell->setStringValue(text);
        if (auto source = dataSource(); source && column < numberOfColumns())
            source->setObjectValue(*this, _editingCell->objectValue(), _columns[size_t(column)].get(), row);
    }
    if (_editingCell)
        _editingCell->setControlView(nullptr);
    _editingCell = nullptr;
    setNeedsDisplay(true);
    return true;
}

bool HXTableView::textViewDoCommandBySelector(HXTextView&, HXSelector command)
{
    const std::string& name = command.name();
    auto keep = shared_from_this();
    if (name == "insertNewline:") {
        endEditing(true);
        return true;
    }
    if (name == "cancelOperation:") {
        endEditing(false);
        return true;
    }
    if (name == "insertTab:" || name == "insertBacktab:") {
        long row = _editedRow, column = _editedColumn;
        if (!endEditing(true))
            return true;
        // On to the next editable column of the row (or back).
        long step = name == "insertTab:" ? 1 : -1;
        for (long c = column + step; c >= 0 && c < numberOfColumns(); c += step)
            if (_columns[size_t(c)]->isEditable()) {
                editColumn(c, row, nullptr, true);
                break;
            }
        return true;
    }
    return false;
}

// ---- Drag and drop ----------------------------------------------------------------------------------------------------

unsigned HXTableView::draggingSourceOperationMaskForLocal(bool isLocal)
{
    return isLocal ? (HXDragOperationMove | HXDragOperationCopy | HXDragOperationGeneric) : HXDragOperationCopy;
}

void HXTableView::startRowDrag(const HXEvent& downEvent, long row)
{
    auto source = dataSource();
    if (!source)
        return;
    auto pasteboard = HXPasteboard::pasteboardWithName(HXDragPboard);
    if (!source->writeRowsWithIndexes(*this, _selection, *pasteboard))
        return;
    HXPoint at = rectOfRow(row).origin;
    dragImage(nullptr, at, {}, downEvent, pasteboard, this, true);
}

void HXTableView::setDropRow(long row, HXTableViewDropOperation operation)
{
    _dropRow = row;
    _dropOperation = operation;
    setNeedsDisplay(true);
}

void HXTableView::updateDrop(HXDraggingInfo& info, unsigned& operation)
{
    auto source = dataSource();
    HXPoint p = convertPointFromView(info.draggingLocation(), nullptr);
    double step = _rowHeight + _intercellSpacing.height;
    // The upper and lower quarters of a row drop between rows; the middle drops on it.
    long row = long(std::floor(p.y / step));
    double within = p.y - double(row) * step;
    HXTableViewDropOperation kind = HXTableViewDropOn;
    if (row >= _numberOfRows || row < 0) {
        row = row < 0 ? 0 : _numberOfRows;
        kind = HXTableViewDropAbove;
    } else if (within < step / 4) {
        kind = HXTableViewDropAbove;
    } else if (within > step * 3 / 4) {
        kind = HXTableViewDropAbove;
        row += 1;
    }
    setDropRow(row, kind);
    operation = source ? source->validateDrop(*this, info, _dropRow, _dropOperation) : HXDragOperationNone;
    if (operation == HXDragOperationNone)
        setDropRow(-1, HXTableViewDropOn);
}

unsigned HXTableView::draggingEntered(HXDraggingInfo& info)
{
    unsigned operation = HXDragOperationNone;
    updateDrop(info, operation);
    return operation;
}

unsigned HXTableView::draggingUpdated(HXDraggingInfo& info) { return draggingEntered(info); }

void HXTableView::draggingExited(HXDraggingInfo&) { setDropRow(-1, HXTableViewDropOn); }

bool HXTableView::performDragOperation(HXDraggingInfo& info)
{
    auto source = dataSource();
    long row = _dropRow;
    auto operation = _dropOperation;
    setDropRow(-1, HXTableViewDropOn);
    if (!source || row < 0)
        return false;
    bool accepted = source->acceptDrop(*this, info, row, operation);
    if (accepted)
        reloadData();
    return accepted;
}

// ---- Accessibility -------------------------------------------------------------------------------------------------------

std::vector<std::string> HXTableView::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilitySelectedRowsAttribute);
    names.push_back(HXAccessibilityRowsAttribute);
    names.push_back(HXAccessibilityColumnsAttribute);
    return names;
}

HXAccessibilityValue HXTableView::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityTableRole;
    if (attribute == HXAccessibilityRowsAttribute)
        return double(_numberOfRows);
    if (attribute == HXAccessibilityColumnsAttribute)
        return double(_columns.size());
    if (attribute == HXAccessibilitySelectedRowsAttribute) {
        // Row numbers, as text ("0,2,3"): rows are not elements of their own here.
        std::string rows;
        for (long r : _selection)
            rows += (rows.empty() ? "" : ",") + std::to_string(r);
        return rows;
    }
    if (attribute == HXAccessibilityEnabledAttribute)
        return isEnabled();
    if (attribute == HXAccessibilityChildrenAttribute)
        return HXAccessibilityValue::Elements {};
    return HXAccessibility::viewAttributeValue(*this, attribute);
}

bool HXTableView::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityFocusedAttribute || attribute == HXAccessibilitySelectedRowsAttribute;
}

void HXTableView::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute != HXAccessibilitySelectedRowsAttribute) {
        HXAccessibilityElement::accessibilitySetValue(value, attribute);
        return;
    }
    HXIndexSet rows;
    std::string text = value.stringValue();
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        long r = std::strtol(part.c_str(), &end, 10);
        if (end != part.c_str())
            rows.insert(r);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    selectRowIndexes(rows, false);
}
