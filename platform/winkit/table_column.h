#pragma once
// HXTableColumn: one column of a table: its identifier, header title, width limits and the cell that
// draws (and edits) its values.
#include "platform/winkit/cell.h"

#include <memory>
#include <string>

class HXTableView;

enum : unsigned {
    HXTableColumnNoResizing = 0,
    HXTableColumnAutoresizingMask = 1,
    HXTableColumnUserResizingMask = 2,
};

class HXTableColumn : public HXObject {
public:
    explicit HXTableColumn(std::string identifier);

    const std::string& identifier() const { return _identifier; }
    void setIdentifier(const std::string& identifier) { _identifier = identifier; }
    const std::string& title() const { return _title; }
    void setTitle(const std::string& title) { _title = title; }
    double width() const { return _width; }
    // Kept between the minimum and maximum width.
    void setWidth(double width);
    double minWidth() const { return _minWidth; }
    void setMinWidth(double width);
    double maxWidth() const { return _maxWidth; }
    void setMaxWidth(double width);
    unsigned resizingMask() const { return _resizingMask; }
    void setResizingMask(unsigned mask) { _resizingMask = mask; }
    bool isEditable() const { return _editable; }
    void setEditable(bool flag) { _editable = flag; }
    bool isHidden() const { return _hidden; }
    void setHidden(bool flag) { _hidden = flag; }
    // The cell that draws every row of the column (the table's delegate may give a row its own).
    std::shared_ptr<HXCell> dataCell() const { return _dataCell; }
    void setDataCell(std::shared_ptr<HXCell> cell);
    // The cell for `row`; the default is dataCell (subclasses may give each row its own).
    virtual std::shared_ptr<HXCell> dataCellForRow(long row) const;

    HXTableView* tableView() const { return _tableView; }
    void setTableView(HXTableView* table) { _tableView = table; }

private:
    std::string _identifier;
    std::string _title;
    double _width = 100;
    double _minWidth = 10;
    double _maxWidth = 100000;
    unsigned _resizingMask = HXTableColumnAutoresizingMask | HXTableColumnUserResizingMask;
    bool _editable = true;
    bool _hidden = false;
    std::shared_ptr<HXCell> _dataCell;
    HXTableView* _tableView = nullptr;
};
