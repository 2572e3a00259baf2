#pragma once
// HXTableView: rows of values in columns, from a data source. Rows are selected with the mouse and the
// arrow keys (Shift extends, Command toggles), cells of editable columns are edited in place with the
// window's field editor, columns move and resize (and can keep their order and widths in the user's
// defaults), and rows can be dragged out and dropped in through the data source.
#include "platform/winkit/control.h"
#include "platform/winkit/dragging.h"
#include "platform/winkit/scroll_view.h"
#include "platform/winkit/table_column.h"
#include "platform/winkit/text_view.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

class HXPasteboard;
class HXTableHeaderView;
class HXTextFieldCell;

inline constexpr const char* HXTableViewSelectionDidChangeNotification = "HXTableViewSelectionDidChangeNotification";
inline constexpr const char* HXTableViewColumnDidMoveNotification = "HXTableViewColumnDidMoveNotification";
inline constexpr const char* HXTableViewColumnDidResizeNotification = "HXTableViewColumnDidResizeNotification";
// User-info keys of the column notifications.
inline constexpr const char* HXOldColumnKey = "HXOldColumn";
inline constexpr const char* HXNewColumnKey = "HXNewColumn";
inline constexpr const char* HXTableColumnKey = "HXTableColumn";
inline constexpr const char* HXOldWidthKey = "HXOldWidth";

enum HXTableViewDropOperation : int { HXTableViewDropOn = 0, HXTableViewDropAbove = 1 };

using HXIndexSet = std::set<long>;

class HXTableViewDataSource {
public:
    virtual ~HXTableViewDataSource() = default;
    virtual long numberOfRowsInTableView(HXTableView& table) = 0;
    virtual HXPropertyList objectValueForTableColumn(HXTableView& table, HXTableColumn* column, long row) = 0;
    // Editing in place ends here.
    virtual void setObjectValue(HXTableView& table, const HXPropertyList& value, HXTableColumn* column, long row)
    {
        (void)table, (void)value, (void)column, (void)row;
    }
    // Drag and drop of rows: write the rows to the pasteboard (false: they cannot be dragged), judge a
    // drop at `row` (above it or on it) and take it.
    virtual bool writeRowsWithIndexes(HXTableView& table, const HXIndexSet& rows, HXPasteboard& pasteboard)
    {
        (void)table, (void)rows, (void)pasteboard;
        return false;
    }
    virtual unsigned validateDrop(HXTableView& table, HXDraggingInfo& info, long row, HXTableViewDropOperation operation)
    {
        (void)table, (void)info, (void)row, (void)operation;
        return HXDragOperationNone;
    }
    virtual bool acceptDrop(HXTableView& table, HXDraggingInfo& info, long row, HXTableViewDropOperation operation)
    {
        (void)table, (void)info, (void)row, (void)operation;
        return false;
    }
};

class HXTableViewDelegate {
public:
    virtual ~HXTableViewDelegate() = default;
    virtual void willDisplayCell(HXTableView& table, HXCell& cell, HXTableColumn* column, long row)
    {
        (void)table, (void)cell, (void)column, (void)row;
    }
    // A cell of its own for one row (null: the column's).
    virtual std::shared_ptr<HXCell> dataCellForTableColumn(HXTableView& table, HXTableColumn* column, long row)
    {
        (void)table, (void)column, (void)row;
        return nullptr;
    }
    virtual bool shouldEditTableColumn(HXTableView& table, HXTableColumn* column, long row)
    {
        (void)table, (void)column, (void)row;
        return true;
    }
    virtual bool shouldSelectRow(HXTableView& table, long row) { (void)table, (void)row; return true; }
    virtual bool selectionShouldChange(HXTableView& table) { (void)table; return true; }
    virtual void tableViewSelectionDidChange(HXTableView& table) { (void)table; }
    virtual void didClickTableColumn(HXTableView& table, HXTableColumn* column) { (void)table, (void)column; }
    virtual void columnDidMove(HXTableView& table, long oldIndex, long newIndex) { (void)table, (void)oldIndex, (void)newIndex; }
    virtual void columnDidResize(HXTableView& table, HXTableColumn* column, double oldWidth)
    {
        (void)table, (void)column, (void)oldWidth;
    }
};

class HXTableView : public HXControl,
                    public HXTextViewDelegate,
                    public HXDraggingDestination,
                    public HXDraggingSource,
                    public HXScrollViewHeaderProvider {
public:
    explicit HXTableView(HXRect frame = HXZeroRect);
    ~HXTableView() override;

    std::shared_ptr<HXTableViewDataSource> dataSource() const { return _dataSource.lock(); }
    void setDataSource(const std::shared_ptr<HXTableViewDataSource>& source);
    std::shared_ptr<HXTableViewDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXTableViewDelegate>& delegate) { _delegate = delegate; }
    // Asks the data source again; a selection past the last row is dropped.
    virtual void reloadData();
    virtual long numberOfRows() const;

    // Columns.
    const std::vector<std::shared_ptr<HXTableColumn>>& tableColumns() const { return _columns; }
    long numberOfColumns() const { return long(_columns.size()); }
    void addTableColumn(const std::shared_ptr<HXTableColumn>& column);
    void removeTableColumn(const std::shared_ptr<HXTableColumn>& column);
    // Moves a column (posting the did-move notification); out-of-range indexes do nothing.
    void moveColumn(long from, long to);
    long columnWithIdentifier(const std::string& identifier) const;
    std::shared_ptr<HXTableColumn> tableColumnWithIdentifier(const std::string& identifier) const;
    bool allowsColumnReordering() const { return _allowsColumnReordering; }
    void setAllowsColumnReordering(bool flag) { _allowsColumnReordering = flag; }
    bool allowsColumnResizing() const { return _allowsColumnResizing; }
    void setAllowsColumnResizing(bool flag) { _allowsColumnResizing = flag; }
    // Keeps the columns' order and widths in the user's defaults under "HXTableView Columns <name>".
    const std::string& autosaveName() const { return _autosaveName; }
    void setAutosaveName(const std::string& name);
    bool autosaveTableColumns() const { return _autosaveTableColumns; }
    void setAutosaveTableColumns(bool flag);
    // Internal: a column's width changed.
    void columnDidResize(HXTableColumn& column, double oldWidth);

    // Looks and geometry (the table is flipped: row 0 at the top).
    double rowHeight() const { return _rowHeight; }
    void setRowHeight(double height);
    HXSize intercellSpacing() const { return _intercellSpacing; }
    void setIntercellSpacing(HXSize spacing);
    bool usesAlternatingRowBackgroundColors() const { return _alternatingRows; }
    void setUsesAlternatingRowBackgroundColors(bool flag);
    bool showsGrid() const { return _showsGrid; }
    void setShowsGrid(bool flag);
    HXRect rectOfRow(long row) const;
    HXRect rectOfColumn(long column) const;
    HXRect frameOfCellAtColumn(long column, long row) const;
    long rowAtPoint(HXPoint point) const;
    long columnAtPoint(HXPoint point) const;
    void scrollRowToVisible(long row);
    // Sizes the table to its rows and columns (at least as large as the view it is scrolled in).
    void tile();
    std::shared_ptr<HXTableHeaderView> headerView() const { return _headerView; }
    std::shared_ptr<HXView> scrollViewHeaderView() override;

    // Selection.
    const HXIndexSet& selectedRowIndexes() const { return _selection; }
    long selectedRow() const;
    long numberOfSelectedRows() const { return long(_selection.size()); }
    bool isRowSelected(long row) const { return _selection.count(row) > 0; }
    // Selects the rows (replacing the selection, or adding with `extend`); rows that do not exist are left out.
    void selectRowIndexes(const HXIndexSet& rows, bool extend);
    void selectRow(long row, bool extend = false) { selectRowIndexes({ row }, extend); }
    void deselectRow(long row);
    void deselectAll(HXObject* sender = nullptr);
    void selectAll(HXObject* sender = nullptr);
    bool allowsMultipleSelection() const { return _allowsMultipleSelection; }
    void setAllowsMultipleSelection(bool flag) { _allowsMultipleSelection = flag; }
    bool allowsEmptySelection() const { return _allowsEmptySelection; }
    void setAllowsEmptySelection(bool flag) { _allowsEmptySelection = flag; }
    long clickedRow() const { return _clickedRow; }
    long clickedColumn() const { return _clickedColumn; }
    HXSelector doubleAction() const { return _doubleAction; }
    void setDoubleAction(HXSelector action) { _doubleAction = action; }

    // Editing in place.
    void editColumn(long column, long row, const HXEvent* event, bool select);
    long editedRow() const { return _editedRow; }
    long editedColumn() const { return _editedColumn; }
    // Ends editing: commits the text to the data source (or drops it).
    bool endEditing(bool commit);
    bool abortEditing() override { return endEditing(false); }

    // Drag and drop.
    void setDropRow(long row, HXTableViewDropOperation operation);
    long dropRow() const { return _dropRow; }
    HXTableViewDropOperation dropOperation() const { return _dropOperation; }
    unsigned draggingSourceOperationMaskForLocal(bool isLocal) override;
    unsigned draggingEntered(HXDraggingInfo& info) override;
    unsigned draggingUpdated(HXDraggingInfo& info) override;
    void draggingExited(HXDraggingInfo& info) override;
    bool performDragOperation(HXDraggingInfo& info) override;

    // HXView and HXResponder.
    bool isFlipped() const override { return true; }
    bool isOpaque() const override { return true; }
    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;
    void doCommandBySelector(HXSelector command) override;
    bool acceptsFirstResponder() const override { return true; }
    bool resignFirstResponder() override;
    void viewDidMoveToSuperview() override;

    // The field editor's delegate.
    bool textViewDoCommandBySelector(HXTextView& textView, HXSelector command) override;

    // Accessibility: a table whose rows are children.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;

protected:
    // The cell that shows `row` of `column`, filled with its value and shown to the delegate.
    std::shared_ptr<HXCell> preparedCell(long column, long row);
    // Text a cell of `column` shows for `row` (subclasses indent or decorate it).
    virtual HXRect cellFrameForDrawing(long column, long row) const { return frameOfCellAtColumn(column, row); }
    virtual void drawRowDecoration(long row) { (void)row; }
    void selectionDidChange();

private:
    void tileOnce();
    void saveColumns();
    void restoreColumns();
    std::string autosaveKey() const;
    void moveSelection(long delta, bool extend);
    void startRowDrag(const HXEvent& downEvent, long row);
    void updateDrop(HXDraggingInfo& info, unsigned& operation);

    std::weak_ptr<HXTableViewDataSource> _dataSource;
    std::weak_ptr<HXTableViewDelegate> _delegate;
    std::vector<std::shared_ptr<HXTableColumn>> _columns;
    std::shared_ptr<HXTableHeaderView> _headerView;
    HXIndexSet _selection;
    long _anchorRow = -1;
    long _leadRow = -1;
    long _clickedRow = -1;
    long _clickedColumn = -1;
    long _numberOfRows = 0;
    HXSelector _doubleAction;
    double _rowHeight = 18;
    HXSize _intercellSpacing { 3, 2 };
    bool _alternatingRows = true;
    bool _showsGrid = false;
    bool _allowsMultipleSelection = true;
    bool _allowsEmptySelection = true;
    bool _allowsColumnReordering = true;
    bool _allowsColumnResizing = true;
    std::string _autosaveName;
    bool _autosaveTableColumns = false;
    bool _restoring = false;
    bool _tiling = false;
    long _editedRow = -1;
    long _editedColumn = -1;
    std::shared_ptr<HXTextFieldCell> _editingCell;
    long _dropRow = -1;
    HXTableViewDropOperation _dropOperation = HXTableViewDropOn;
};
