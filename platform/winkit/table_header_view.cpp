#include "platform/winkit/table_header_view.h"

#include "platform/drawing/attributed_string.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/application.h"
#include "platform/winkit/cell.h"
#include "platform/winkit/table_view.h"
#include "platform/winkit/window.h"

#include <cmath>
#include <limits>

HXTableHeaderView::HXTableHeaderView(HXTableView* table)
    : HXView(HXMakeRect(0, 0, 100, headerHeight()))
    , _table(table)
{
}

HXRect HXTableHeaderView::headerRectOfColumn(long column) const
{
    if (!_table)
        return HXZeroRect;
    HXRect r = _table->rectOfColumn(column);
    return { { r.origin.x, 0 }, { r.size.width, bounds().size.height } };
}

long HXTableHeaderView::columnAtPoint(HXPoint point) const
{
    return _table ? _table->columnAtPoint({ point.x, 0 }) : -1;
}

long HXTableHeaderView::resizableColumnAtPoint(HXPoint point) const
{
    if (!_table || !_table->allowsColumnResizing())
        return -1;
    for (long i = 0; i < _table->numberOfColumns(); ++i) {
        HXRect r = headerRectOfColumn(i);
        if (std::abs(point.x - HXMaxX(r)) <= 3 && (_table->tableColumns()[size_t(i)]->resizingMask() & HXTableColumnUserResizingMask))
            return i;
    }
    return -1;
}

void HXTableHeaderView::drawRect(HXRect)
{
    HXColor::colorWithCalibratedWhite(0.96).setFill();
    HXBezierPath::fillRect(bounds());
    HXControlStyle::borderColor().setFill();
    HXBezierPath::fillRect({ { bounds().origin.x, HXMaxY(bounds()) - 1 }, { bounds().size.width, 1 } });
    if (!_table)
        return;
    HXStringAttributes a;
    a.font = HXFont::systemFontOfSize(HXFont::smallSystemFontSize());
    a.foregroundColor = HXColor::colorWithCalibratedWhite(0.25);
    a.paragraphStyle = HXParagraphStyle { HXLeftTextAlignment, HXLineBreakByTruncatingTail };
    for (long i = 0; i < _table->numberOfColumns(); ++i) {
        HXRect r = headerRectOfColumn(i);
        if (i == _draggedColumn) {
            HXColor::colorWithCalibratedWhite(0.88).setFill();
            HXBezierPath::fillRect(r);
        }
        HXControlStyle::trackColor().setFill();
        HXBezierPath::fillRect({ { HXMaxX(r) - 1, r.origin.y + 3 }, { 1, r.size.height - 6 } });
        double h = HXStringDrawing::sizeWithAttributes("Ag", a).height;
        HXStringDrawing::drawInRect(_table->tableColumns()[size_t(i)]->title(),
            { { r.origin.x + 5, HXMidY(r) - h / 2 }, { std::max(0.0, r.size.width - 10), h } }, a);
    }
}

void HXTableHeaderView::mouseDown(const HXEvent& event)
{
    if (!_table)
        return;
    auto keep = shared_from_this();
    HXPoint start = convertPointFromView(event.locationInWindow(), nullptr);
    long resizing = resizableColumnAtPoint(start);
    long column = resizing >= 0 ? -1 : columnAtPoint(start);
    if (resizing < 0 && column < 0)
        return;
    double startWidth = resizing >= 0 ? _table->tableColumns()[size_t(resizing)]->width() : 0;
    bool moved = false;
    _draggedColumn = column;
    for (;;) {
        auto next = HXApp().nextEventMatchingMask(HXLeftMouseUpMask | HXLeftMouseDraggedMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next)
            break;
        HXPoint p = convertPointFromView(next->locationInWindow(), nullptr);
        if (next->type() == HXLeftMouseDragged) {
            if (resizing >= 0) {
                _table->tableColumns()[size_t(resizing)]->setWidth(startWidth + p.x - start.x);
                moved = true;
            } else if (_table->allowsColumnReordering() && std::abs(p.x - start.x) > 3) {
                moved = true;
                // The column swaps with a neighbour once the mouse passes the neighbour's middle.
                long over = columnAtPoint(p);
                if (over >= 0 && over != _draggedColumn) {
                    HXRect target = headerRectOfColumn(over);
                    bool passed = over > _draggedColumn ? p.x > HXMidX(target) : p.x < HXMidX(target);
                    if (passed) {
                        _table->moveColumn(_draggedColumn, over);
                        _draggedColumn = over;
                    }
                }
            }
            setNeedsDisplay(true);
            if (auto w = window())
                w->displayIfNeeded();
            continue;
        }
        break;
    }
    long clicked = _draggedColumn;
    _draggedColumn = -1;
    setNeedsDisplay(true);
    if (!moved && clicked >= 0)
        if (auto d = _table->delegate())
            d->didClickTableColumn(*_table, _table->tableColumns()[size_t(clicked)].get());
}
