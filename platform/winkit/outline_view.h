#pragma once
// HXOutlineView: a table of items that hold other items. The data source answers for items (null is the
// root); the outline shows the expanded ones as rows, indented by level, with a disclosure triangle in
// its outline column. Right and Left arrows (and a click on the triangle) expand and collapse.
#include "platform/winkit/table_view.h"

#include <map>

// An item of the data source's: any object, told apart by its address.
using HXOutlineItem = std::shared_ptr<void>;

inline constexpr const char* HXOutlineViewItemDidExpandNotification = "HXOutlineViewItemDidExpandNotification";
inline constexpr const char* HXOutlineViewItemDidCollapseNotification = "HXOutlineViewItemDidCollapseNotification";
// User-info key of both: the row of the item.
inline constexpr const char* HXOutlineViewRowKey = "HXOutlineViewRow";
// The child index of a drop "on" an item rather than between its children.
inline constexpr long HXOutlineViewDropOnItemIndex = -1;

class HXOutlineView;

class HXOutlineViewDataSource {
public:
    virtual ~HXOutlineViewDataSource() = default;
    virtual long numberOfChildrenOfItem(HXOutlineView& outline, const HXOutlineItem& item) = 0;
    virtual HXOutlineItem child(HXOutlineView& outline, long index, const HXOutlineItem& item) = 0;
    virtual bool isItemExpandable(HXOutlineView& outline, const HXOutlineItem& item) = 0;
    virtual HXPropertyList objectValueForTableColumn(HXOutlineView& outline, HXTableColumn* column, const HXOutlineItem& item) = 0;
    virtual void setObjectValue(HXOutlineView& outline, const HXPropertyList& value, HXTableColumn* column, const HXOutlineItem& item)
    {
        (void)outline, (void)value, (void)column, (void)item;
    }
    virtual bool writeItems(HXOutlineView& outline, const std::vector<HXOutlineItem>& items, HXPasteboard& pasteboard)
    {
        (void)outline, (void)items, (void)pasteboard;
        return false;
    }
    // A drop into `item` at `childIndex` (HXOutlineViewDropOnItemIndex: onto the item itself).
    virtual unsigned validateDrop(HXOutlineView& outline, HXDraggingInfo& info, const HXOutlineItem& item, long childIndex)
    {
        (void)outline, (void)info, (void)item, (void)childIndex;
        return HXDragOperationNone;
    }
    virtual bool acceptDrop(HXOutlineView& outline, HXDraggingInfo& info, const HXOutlineItem& item, long childIndex)
    {
        (void)outline, (void)info, (void)item, (void)childIndex;
        return false;
    }
};

class HXOutlineView : public HXTableView {
public:
    explicit HXOutlineView(HXRect frame = HXZeroRect);

    std::shared_ptr<HXOutlineViewDataSource> outlineDataSource() const { return _outlineSource.lock(); }
    void setDataSource(const std::shared_ptr<HXOutlineViewDataSource>& source);
    void reloadData() override;
    void reloadItem(const HXOutlineItem& item, bool reloadChildren);

    void expandItem(const HXOutlineItem& item, bool expandChildren = false);
    void collapseItem(const HXOutlineItem& item, bool collapseChildren = false);
    bool isItemExpanded(const HXOutlineItem& item) const;
    bool isExpandable(const HXOutlineItem& item);
    HXOutlineItem itemAtRow(long row) const;
    // -1 for an item that is not shown.
    long rowForItem(const HXOutlineItem& item) const;
    long levelForRow(long row) const;
    long levelForItem(const HXOutlineItem& item) const;
    HXOutlineItem parentForItem(const HXOutlineItem& item) const;
    std::shared_ptr<HXTableColumn> outlineTableColumn() const;
    void setOutlineTableColumn(const std::shared_ptr<HXTableColumn>& column) { _outlineColumn = column; }
    double indentationPerLevel() const { return _indentationPerLevel; }
    void setIndentationPerLevel(double indentation);
    // The disclosure triangle of a row, in the outline's coordinates (zero for a leaf).
    HXRect frameOfOutlineCellAtRow(long row) const;

    void mouseDown(const HXEvent& event) override;
    void doCommandBySelector(HXSelector command) override;

    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

protected:
    HXRect cellFrameForDrawing(long column, long row) const override;
    void drawRowDecoration(long row) override;

private:
    class Adapter;
    struct Row {
        HXOutlineItem item;
        HXOutlineItem parent;
        long level;
    };
    void rebuildRows();
    void appendChildren(const HXOutlineItem& parent, long level);
    long outlineColumnIndex() const;
    void post(const char* name, long row);

    std::weak_ptr<HXOutlineViewDataSource> _outlineSource;
    std::shared_ptr<Adapter> _adapter;
    std::vector<Row> _rows;
    std::map<const void*, std::weak_ptr<void>> _expanded;
    std::weak_ptr<HXTableColumn> _outlineColumn;
    double _indentationPerLevel = 14;
};
