#include "platform/winkit/matrix.h"

#include "platform/winkit/application.h"
#include "platform/winkit/button_cell.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>

HXMatrix::HXMatrix(HXRect frame, HXMatrixMode mode, HXCellFactory prototype, long rows, long columns)
    : HXControl(std::make_shared<HXCell>(), frame)
    , _mode(mode)
    , _prototype(std::move(prototype))
{
    renewRows(rows, columns);
    if (_mode == HXRadioModeMatrix && !_cells.empty())
        selectCellAtRowColumn(0, 0);
}

HXMatrix::HXMatrix(HXRect frame)
    : HXMatrix(frame, HXRadioModeMatrix, nullptr, 0, 0)
{
}

std::shared_ptr<HXCell> HXMatrix::makeCell()
{
    std::shared_ptr<HXCell> cell = _prototype ? _prototype() : nullptr;
    if (!cell) {
        auto radio = std::make_shared<HXButtonCell>();
        radio->setButtonType(HXRadioButton);
        cell = radio;
    }
    cell->setControlView(this);
    cell->setEnabled(isEnabled());
    return cell;
}

void HXMatrix::setMode(HXMatrixMode mode)
{
    _mode = mode;
    if (_mode == HXRadioModeMatrix && _selectedRow < 0 && !_allowsEmptySelection && !_cells.empty())
        selectCellAtRowColumn(0, 0);
}

void HXMatrix::renewRows(long rows, long columns)
{
    rows = std::max(0L, rows);
    columns = std::max(0L, columns);
    std::vector<std::shared_ptr<HXCell>> cells;
    for (long r = 0; r < rows; ++r)
        for (long c = 0; c < columns; ++c)
            cells.push_back(r < _rows && c < _columns ? _cells[size_t(r * _columns + c)] : makeCell());
    _cells = std::move(cells);
    _rows = rows;
    _columns = columns;
    if (_selectedRow >= rows || _selectedColumn >= columns)
        _selectedRow = _selectedColumn = -1;
    setNeedsDisplay(true);
}

void HXMatrix::addRow() { renewRows(_rows + 1, std::max(1L, _columns)); }

void HXMatrix::removeRow(long row)
{
    if (row < 0 || row >= _rows)
        return;
    _cells.erase(_cells.begin() + row * _columns, _cells.begin() + (row + 1) * _columns);
    --_rows;
    if (_selectedRow == row)
        _selectedRow = _selectedColumn = -1;
    else if (_selectedRow > row)
        --_selectedRow;
    if (_mode == HXRadioModeMatrix && _selectedRow < 0 && !_allowsEmptySelection && !_cells.empty())
        selectCellAtRowColumn(0, 0);
    setNeedsDisplay(true);
}

std::shared_ptr<HXCell> HXMatrix::cellAtRowColumn(long row, long column) const
{
    if (row < 0 || column < 0 || row >= _rows || column >= _columns)
        return nullptr;
    return _cells[size_t(row * _columns + column)];
}

std::shared_ptr<HXCell> HXMatrix::cellWithTag(long tag) const
{
    for (const auto& c : _cells)
        if (c->tag() == tag)
            return c;
    return nullptr;
}

void HXMatrix::setCellSize(HXSize size)
{
    _cellSize = size;
    setNeedsDisplay(true);
}

void HXMatrix::setIntercellSpacing(HXSize spacing)
{
    _intercellSpacing = spacing;
    setNeedsDisplay(true);
}

HXRect HXMatrix::cellFrameAtRowColumn(long row, long column) const
{
    return { { double(column) * (_cellSize.width + _intercellSpacing.width), double(row) * (_cellSize.height + _intercellSpacing.height) },
        _cellSize };
}

bool HXMatrix::getRowColumnForPoint(HXPoint point, long& row, long& column) const
{
    double w = _cellSize.width + _intercellSpacing.width, h = _cellSize.height + _intercellSpacing.height;
    if (point.x < 0 || point.y < 0 || w <= 0 || h <= 0)
        return false;
    long c = long(std::floor(point.x / w)), r = long(std::floor(point.y / h));
    if (r >= _rows || c >= _columns || !HXPointInRect(point, cellFrameAtRowColumn(r, c)))
        return false;
    row = r;
    column = c;
    return true;
}

void HXMatrix::sizeToCells()
{
    setFrameSize({ double(_columns) * _cellSize.width + double(std::max(0L, _columns - 1)) * _intercellSpacing.width,
        double(_rows) * _cellSize.height + double(std::max(0L, _rows - 1)) * _intercellSpacing.height });
}

std::shared_ptr<HXCell> HXMatrix::selectedCell() const { return cellAtRowColumn(_selectedRow, _selectedColumn); }

long HXMatrix::selectedTag() const
{
    auto cell = selectedCell();
    return cell ? cell->tag() : -1;
}

void HXMatrix::selectCellAtRowColumn(long row, long column)
{
    auto cell = cellAtRowColumn(row, column);
    if (!cell) {
        if (_allowsEmptySelection || _mode != HXRadioModeMatrix)
            deselectAllCells();
        return;
    }
    if (_mode == HXRadioModeMatrix)
        for (const auto& other : _cells)
            other->setState(other == cell ? HXOnState : HXOffState);
    else
        cell->setState(HXOnState);
    _selectedRow = row;
    _selectedColumn = column;
    setNeedsDisplay(true);
    noteValueChanged();
}

bool HXMatrix::selectCellWithTag(long tag)
{
    for (long i = 0; i < long(_cells.size()); ++i)
        if (_cells[size_t(i)]->tag() == tag) {
            selectCellAtRowColumn(i / _columns, i % _columns);
            return true;
        }
    return false;
}

void HXMatrix::deselectAllCells()
{
    if (_mode == HXRadioModeMatrix && !_allowsEmptySelection)
        return;
    for (const auto& c : _cells)
        c->setState(HXOffState);
    _selectedRow = _selectedColumn = -1;
    setNeedsDisplay(true);
}

void HXMatrix::setEnabled(bool enabled)
{
    HXControl::setEnabled(enabled);
    for (const auto& c : _cells)
        c->setEnabled(enabled);
}

void HXMatrix::choose(long row, long column, bool send)
{
    auto cell = cellAtRowColumn(row, column);
    if (!cell || !cell->isEnabled())
        return;
    if (_mode == HXRadioModeMatrix)
        selectCellAtRowColumn(row, column);
    else {
        cell->setNextState();
        _selectedRow = row;
        _selectedColumn = column;
        setNeedsDisplay(true);
    }
    if (!send)
        return;
    auto keep = shared_from_this();
    if (cell->action())
        HXApp().sendAction(cell->action(), cell->target().get(), this);
    else
        sendAction();
}

void HXMatrix::drawRect(HXRect)
{
    bool focused = window() && window()->isKeyWindow() && window()->firstResponder().get() == this;
    for (long r = 0; r < _rows; ++r)
        for (long c = 0; c < _columns; ++c) {
            auto cell = cellAtRowColumn(r, c);
            HXRect frame = cellFrameAtRowColumn(r, c);
            cell->drawWithFrame(frame, *this);
            if (focused && r == _selectedRow && c == _selectedColumn)
                cell->drawFocusRingMaskWithFrame(frame, *this);
        }
}

void HXMatrix::mouseDown(const HXEvent& event)
{
    if (!isEnabled())
        return;
    auto keep = shared_from_this();
    long row = -1, column = -1;
    if (!getRowColumnForPoint(convertPointFromView(event.locationInWindow(), nullptr), row, column))
        return;
    auto cell = cellAtRowColumn(row, column);
    if (!cell->isEnabled())
        return;
    HXRect frame = cellFrameAtRowColumn(row, column);
    cell->highlight(true, frame, *this);
    bool inside = cell->trackMouse(event, frame, *this, false);
    cell->highlight(false, frame, *this);
    if (inside)
        choose(row, column, true);
}

void HXMatrix::keyDown(const HXEvent& event)
{
    if (!isEnabled() || _cells.empty()) {
        HXControl::keyDown(event);
        return;
    }
    long row = std::max(0L, _selectedRow), column = std::max(0L, _selectedColumn);
    switch (event.firstCharacterIgnoringModifiers()) {
    case HXUpArrowFunctionKey:
        row = std::max(0L, row - 1);
        break;
    case HXDownArrowFunctionKey:
        row = std::min(_rows - 1, row + 1);
        break;
    case HXLeftArrowFunctionKey:
        column = std::max(0L, column - 1);
        break;
    case HXRightArrowFunctionKey:
        column = std::min(_columns - 1, column + 1);
        break;
    case U' ':
        if (_mode != HXRadioModeMatrix) {
            choose(row, column, true);
            return;
        }
        [[fallthrough]];
    default:
        HXControl::keyDown(event);
        return;
    }
    if (row == _selectedRow && column == _selectedColumn)
        return;
    if (_mode == HXRadioModeMatrix)
        choose(row, column, true);
    else {
        _selectedRow = row;
        _selectedColumn = column;
        setNeedsDisplay(true);
    }
}

std::vector<std::string> HXMatrix::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilityValueAttribute);
    return names;
}

HXAccessibilityValue HXMatrix::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return _mode == HXRadioModeMatrix ? HXAccessibilityRadioGroupRole : HXAccessibilityMatrixRole;
    if (attribute == HXAccessibilityValueAttribute) {
        auto cell = selectedCell();
        return cell ? cell->title() : std::string();
    }
    if (attribute == HXAccessibilityEnabledAttribute)
        return isEnabled();
    return HXAccessibility::viewAttributeValue(*this, attribute);
}
