#pragma once
// HXTableHeaderView: the column titles above a table. Clicking a title tells the table's delegate;
// dragging a title moves its column, dragging the edge between two titles resizes the left one.
#include "platform/winkit/view.h"

class HXTableView;

class HXTableHeaderView : public HXView {
public:
    explicit HXTableHeaderView(HXTableView* table);
    static constexpr double headerHeight() { return 20; }

    HXTableView* tableView() const { return _table; }
    void setTableView(HXTableView* table) { _table = table; }
    // The column under the point (or -1), and the column whose right edge is under it (or -1).
    long columnAtPoint(HXPoint point) const;
    long resizableColumnAtPoint(HXPoint point) const;
    HXRect headerRectOfColumn(long column) const;

    bool isFlipped() const override { return true; }
    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;

private:
    HXTableView* _table;
    long _draggedColumn = -1;
};
