#include "platform/winkit/outline_view.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/bezier_path.h"

#include <algorithm>

namespace {
constexpr double kTriangleArea = 14;
}

// Turns rows into items for the table underneath.
class HXOutlineView::Adapter : public HXTableViewDataSource {
public:
    explicit Adapter(HXOutlineView& outline)
        : _outline(outline)
    {
    }
    long numberOfRowsInTableView(HXTableView&) override { return long(_outline._rows.size()); }
    HXPropertyList objectValueForTableColumn(HXTableView&, HXTableColumn* column, long row) override
    {
        auto source = _outline.outlineDataSource();
        if (!source || row < 0 || row >= long(_outline._rows.size()))
            return {};
        return source->objectValueForTableColumn(_outline, column, _outline._rows[size_t(row)].item);
    }
    void setObjectValue(HXTableView&, const HXPropertyList& value, HXTableColumn* column, long row) override
    {
        if (auto source = _outline.outlineDataSource(); source && row >= 0 && row < long(_outline._rows.size()))
            source->setObjectValue(_outline, value, column, _outline._rows[size_t(row)].item);
    }
    bool writeRowsWithIndexes(HXTableView&, const HXIndexSet& rows, HXPasteboard& pasteboard) override
    {
        auto source = _outline.outlineDataSource();
        if (!source)
            return false;
        std::vector<HXOutlineItem> items;
        for (long r : rows)
            items.push_back(_outline.itemAtRow(r));
        return source->writeItems(_outline, items, pasteboard);
    }
    unsigned validateDrop(HXTableView&, HXDraggingInfo& info, long row, HXTableViewDropOperation operation) override
    {
        auto source = _outline.outlineDataSource();
        if (!source)
            return HXDragOperationNone;
        auto [item, index] = target(row, operation);
        return source->validateDrop(_outline, info, item, index);
    }
    bool acceptDrop(HXTableView&, HXDraggingInfo& info, long row, HXTableViewDropOperation operation) override
    {
        auto source = _outline.outlineDataSource();
        if (!source)
            return false;
        auto [item, index] = target(row, operation);
        return source->acceptDrop(_outline, info, item, index);
    }

private:
    // A drop between rows goes into the parent of the row below, before it; past the end, at the end of
    // the root; on a row, onto its item.
    std::pair<HXOutlineItem, long> target(long row, HXTableViewDropOperation operation) const
    {
        auto& rows = _outline._rows;
        if (operation == HXTableViewDropOn && row >= 0 && row < long(rows.size()))
            return { rows[size_t(row)].item, HXOutlineViewDropOnItemIndex };
        if (row < 0 || row >= long(rows.size())) {
            long count = 0;
            for (const auto& r : rows)
                count += r.level == 0 ? 1 : 0;
            return { nullptr, count };
        }
        const auto& below = rows[size_t(row)];
        long index = 0;
        for (long r = row - 1; r >= 0; --r) {
            if (rows[size_t(r)].level < below.level)
                break;
            if (rows[size_t(r)].level == below.level)
                ++index;
        }
        return { below.parent, index };
    }

    HXOutlineView& _outline;
};

HXOutlineView::HXOutlineView(HXRect frame)
    : HXTableView(frame)
    , _adapter(std::make_shared<Adapter>(*this))
{
    HXTableView::setDataSource(_adapter);
}

void HXOutlineView::setDataSource(const std::shared_ptr<HXOutlineViewDataSource>& source)
{
    _outlineSource = source;
    reloadData();
}

void HXOutlineView::appendChildren(const HXOutlineItem& parent, long level)
{
    auto source = outlineDataSource();
    if (!source || level > 64)
        return;  // deeper than anyone nests: a data source that loops
    long count = std::max(0L, source->numberOfChildrenOfItem(*this, parent));
    for (long i = 0; i < count; ++i) {
        auto item = source->child(*this, i, parent);
        _rows.push_back({ item, parent, level });
        if (item && isItemExpanded(item) && source->isItemExpandable(*this, item))
            appendChildren(item, level + 1);
    }
}

void HXOutlineView::rebuildRows()
{
    _rows.clear();
    appendChildren(nullptr, 0);
    for (auto it = _expanded.begin(); it != _expanded.end();)
        it = it->second.expired() ? _expanded.erase(it) : std::next(it);
}

void HXOutlineView::reloadData()
{
    // Keep the selected items selected across the rebuild.
    std::vector<HXOutlineItem> selected;
    for (long r : selectedRowIndexes())
        selected.push_back(itemAtRow(r));
    rebuildRows();
    HXTableView::reloadData();
    HXIndexSet rows;
    for (const auto& item : selected)
        if (long r = rowForItem(item); r >= 0)
            rows.insert(r);
    if (rows != selectedRowIndexes())
        selectRowIndexes(rows, false);
}

void HXOutlineView::reloadItem(const HXOutlineItem&, bool) { reloadData(); }

bool HXOutlineView::isItemExpanded(const HXOutlineItem& item) const
{
    auto it = _expanded.find(item.get());
    return it != _expanded.end() && !it->second.expired();
}

bool HXOutlineView::isExpandable(const HXOutlineItem& item)
{
    auto source = outlineDataSource();
    return source && item && source->isItemExpandable(*this, item);
}

void HXOutlineView::post(const char* name, long row)
{
    HXNotificationCenter::defaultCenter().postNotificationName(name, this, { { HXOutlineViewRowKey, HXPropertyList(int64_t(row)) } });
}

void HXOutlineView::expandItem(const HXOutlineItem& item, bool expandChildren)
{
    if (!isExpandable(item))
        return;
    bool was = isItemExpanded(item);
    _expanded[item.get()] = item;
    if (expandChildren) {
        auto source = outlineDataSource();
        long count = source->numberOfChildrenOfItem(*this, item);
        for (long i = 0; i < count; ++i)
            expandItem(source->child(*this, i, item), true);
    }
    if (!was) {
        reloadData();
        post(HXOutlineViewItemDidExpandNotification, rowForItem(item));
    }
}

void HXOutlineView::collapseItem(const HXOutlineItem& item, bool collapseChildren)
{
    if (!isItemExpanded(item))
        return;
    if (collapseChildren) {
        auto source = outlineDataSource();
        long count = source ? source->numberOfChildrenOfItem(*this, item) : 0;
        for (long i = 0; i < count; ++i)
            collapseItem(source->child(*this, i, item), true);
    }
    _expanded.erase(item.get());
    // A selection inside the collapsed item moves to the item.
    long row = rowForItem(item);
    bool selectionInside = false;
    for (long r : selectedRowIndexes()) {
        for (auto p = parentForItem(itemAtRow(r)); p; p = parentForItem(p))
            if (p == item)
                selectionInside = true;
    }
    reloadData();
    if (selectionInside && row >= 0)
        selectRow(row, true);
    post(HXOutlineViewItemDidCollapseNotification, row);
}

HXOutlineItem HXOutlineView::itemAtRow(long row) const
{
    return row >= 0 && row < long(_rows.size()) ? _rows[size_t(row)].item : nullptr;
}

long HXOutlineView::rowForItem(const HXOutlineItem& item) const
{
    if (!item)
        return -1;
    for (size_t i = 0; i < _rows.size(); ++i)
        if (_rows[i].item.get() == item.get())
            return long(i);
    return -1;
}

long HXOutlineView::levelForRow(long row) const { return row >= 0 && row < long(_rows.size()) ? _rows[size_t(row)].level : -1; }
long HXOutlineView::levelForItem(const HXOutlineItem& item) const { return levelForRow(rowForItem(item)); }

HXOutlineItem HXOutlineView::parentForItem(const HXOutlineItem& item) const
{
    long row = rowForItem(item);
    return row >= 0 ? _rows[size_t(row)].parent : nullptr;
}

std::shared_ptr<HXTableColumn> HXOutlineView::outlineTableColumn() const
{
    if (auto c = _outlineColumn.lock(); c && columnWithIdentifier(c->identifier()) >= 0)
        return c;
    return tableColumns().empty() ? nullptr : tableColumns().front();
}

long HXOutlineView::outlineColumnIndex() const
{
    auto c = outlineTableColumn();
    if (!c)
        return -1;
    for (size_t i = 0; i < tableColumns().size(); ++i)
        if (tableColumns()[i] == c)
            return long(i);
    return -1;
}

void HXOutlineView::setIndentationPerLevel(double indentation)
{
    _indentationPerLevel = std::max(0.0, indentation);
    setNeedsDisplay(true);
}

HXRect HXOutlineView::frameOfOutlineCellAtRow(long row) const
{
    long column = outlineColumnIndex();
    if (column < 0 || row < 0 || row >= long(_rows.size()))
        return HXZeroRect;
    auto source = outlineDataSource();
    if (!source || !_rows[size_t(row)].item || !source->isItemExpandable(const_cast<HXOutlineView&>(*this), _rows[size_t(row)].item))
        return HXZeroRect;
    HXRect cell = frameOfCellAtColumn(column, row);
    return { { cell.origin.x + double(_rows[size_t(row)].level) * _indentationPerLevel, cell.origin.y }, { kTriangleArea, cell.size.height } };
}

HXRect HXOutlineView::cellFrameForDrawing(long column, long row) const
{
    HXRect cell = frameOfCellAtColumn(column, row);
    if (column != outlineColumnIndex())
        return cell;
    double indent = double(levelForRow(row)) * _indentationPerLevel + kTriangleArea;
    cell.origin.x += indent;
    cell.size.width = std::max(0.0, cell.size.width - indent);
    return cell;
}

void HXOutlineView::drawRowDecoration(long row)
{
    HXRect r = frameOfOutlineCellAtRow(row);
    if (HXIsEmptyRect(r))
        return;
    bool open = isItemExpanded(_rows[size_t(row)].item);
    double cx = HXMidX(r), cy = HXMidY(r);
    auto triangle = HXBezierPath::bezierPath();
    if (open) {  // pointing down (the outline is flipped: y grows down)
        triangle.moveToPoint({ cx - 4, cy - 2 });
        triangle.lineToPoint({ cx + 4, cy - 2 });
        triangle.lineToPoint({ cx, cy + 3 });
    } else {
        triangle.moveToPoint({ cx - 2, cy - 4 });
        triangle.lineToPoint({ cx + 3, cy });
        triangle.lineToPoint({ cx - 2, cy + 4 });
    }
    triangle.closePath();
    HXColor::colorWithCalibratedWhite(isRowSelected(row) ? 0.95 : 0.4).setFill();
    triangle.fill();
}

void HXOutlineView::mouseDown(const HXEvent& event)
{
    HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
    long row = rowAtPoint(p);
    HXRect triangle = frameOfOutlineCellAtRow(row);
    if (!HXIsEmptyRect(triangle) && HXMouseInRect(p, triangle, true)) {
        auto item = itemAtRow(row);
        bool all = event.modifierFlags() & HXAlternateKeyMask;
        if (isItemExpanded(item))
            collapseItem(item, all);
        else
            expandItem(item, all);
        return;
    }
    HXTableView::mouseDown(event);
}

void HXOutlineView::doCommandBySelector(HXSelector command)
{
    const std::string& name = command.name();
    if ((name == "moveRight:" || name == "moveLeft:") && numberOfSelectedRows() > 0) {
        auto item = itemAtRow(selectedRow());
        if (name == "moveRight:")
            expandItem(item);
        else if (isItemExpanded(item))
            collapseItem(item);
        else if (auto parent = parentForItem(item))
            selectRow(rowForItem(parent));
        return;
    }
    HXTableView::doCommandBySelector(command);
}

HXAccessibilityValue HXOutlineView::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityOutlineRole;
    return HXTableView::accessibilityAttributeValue(attribute);
}
