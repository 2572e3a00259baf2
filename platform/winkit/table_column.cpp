#include "platform/winkit/table_column.h"

#include "platform/winkit/table_view.h"
#include "platform/winkit/text_field_cell.h"

#include <algorithm>
#include <cmath>

HXTableColumn::HXTableColumn(std::string identifier)
    : _identifier(std::move(identifier))
{
    auto cell = std::make_shared<HXTextFieldCell>();
    cell->setBezeled(false);
    cell->setDrawsBackground(false);
    _dataCell = cell;
}

void HXTableColumn::setWidth(double width)
{
    if (!std::isfinite(width))
        return;
    double clamped = std::clamp(width, _minWidth, std::max(_minWidth, _maxWidth));
    if (clamped == _width)
        return;
    double old = _width;
    _width = clamped;
    if (_tableView)
        _tableView->columnDidResize(*this, old);
}

void HXTableColumn::setMinWidth(double width)
{
    _minWidth = std::max(0.0, width);
    if (_width < _minWidth)
        setWidth(_minWidth);
}

void HXTableColumn::setMaxWidth(double width)
{
    _maxWidth = std::max(_minWidth, width);
    if (_width > _maxWidth)
        setWidth(_maxWidth);
}

void HXTableColumn::setDataCell(std::shared_ptr<HXCell> cell)
{
    if (cell)
        _dataCell = std::move(cell);
}

std::shared_ptr<HXCell> HXTableColumn::dataCellForRow(long) const { return _dataCell; }
