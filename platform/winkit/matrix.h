#pragma once
// HXMatrix: a grid of cells in one control, most often a group of radio buttons of which exactly one is
// on. Arrow keys move the choice; a click on a cell chooses it and sends the action (the cell's own, or
// the matrix's).
#include "platform/winkit/control.h"

#include <functional>
#include <vector>

enum HXMatrixMode : int { HXRadioModeMatrix = 0, HXHighlightModeMatrix = 1, HXListModeMatrix = 2, HXTrackModeMatrix = 3 };

class HXMatrix : public HXControl {
public:
    // `prototype` makes each new cell (a radio button cell by default).
    HXMatrix(HXRect frame, HXMatrixMode mode, HXCellFactory prototype, long rows, long columns);
    explicit HXMatrix(HXRect frame = HXZeroRect);

    HXMatrixMode mode() const { return _mode; }
    void setMode(HXMatrixMode mode);
    long numberOfRows() const { return _rows; }
    long numberOfColumns() const { return _columns; }
    void renewRows(long rows, long columns);
    void addRow();
    void removeRow(long row);
    std::shared_ptr<HXCell> cellAtRowColumn(long row, long column) const;
    std::shared_ptr<HXCell> cellWithTag(long tag) const;
    const std::vector<std::shared_ptr<HXCell>>& cells() const { return _cells; }
    HXSize cellSize() const { return _cellSize; }
    void setCellSize(HXSize size);
    HXSize intercellSpacing() const { return _intercellSpacing; }
    void setIntercellSpacing(HXSize spacing);
    HXRect cellFrameAtRowColumn(long row, long column) const;
    // False when no cell is there.
    bool getRowColumnForPoint(HXPoint point, long& row, long& column) const;
    void sizeToCells();

    // Selection.
    std::shared_ptr<HXCell> selectedCell() const override;
    long selectedRow() const { return _selectedRow; }
    long selectedColumn() const { return _selectedColumn; }
    long selectedTag() const;
    void selectCellAtRowColumn(long row, long column);
    bool selectCellWithTag(long tag);
    void deselectAllCells();
    bool allowsEmptySelection() const { return _allowsEmptySelection; }
    void setAllowsEmptySelection(bool flag) { _allowsEmptySelection = flag; }

    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return isEnabled() && !_cells.empty(); }
    bool isFlipped() const override { return true; }
    void setEnabled(bool enabled) override;

    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override { return {}; }

private:
    std::shared_ptr<HXCell> makeCell();
    void choose(long row, long column, bool send);

    HXMatrixMode _mode = HXRadioModeMatrix;
    HXCellFactory _prototype;
    long _rows = 0;
    long _columns = 0;
    std::vector<std::shared_ptr<HXCell>> _cells;
    HXSize _cellSize { 120, 20 };
    HXSize _intercellSpacing { 4, 4 };
    long _selectedRow = -1;
    long _selectedColumn = -1;
    bool _allowsEmptySelection = false;
};
