#pragma once
// HXForm: a column of titled text fields (HXFormCell), one entry per row, such as "Current:", "Average:"
// and "Maximum:" of a statistic. Entries are reached by index or tag; the titles share one column whose
// width is the widest title, so the fields line up.
#include "platform/winkit/form_cell.h"
#include "platform/winkit/matrix.h"

class HXForm : public HXMatrix {
public:
    explicit HXForm(HXRect frame = HXZeroRect);

    // Entries. Out-of-range indexes answer nullptr / do nothing.
    std::shared_ptr<HXFormCell> addEntry(const std::string& title);
    std::shared_ptr<HXFormCell> insertEntry(const std::string& title, long index);
    void removeEntryAtIndex(long index);
    long numberOfEntries() const { return numberOfRows(); }
    std::shared_ptr<HXFormCell> cellAtIndex(long index) const;
    // The index of the entry tagged `tag`, -1 when none is.
    long indexOfCellWithTag(long tag) const;
    // The chosen entry (by click, arrow keys or selectCellAtIndex), -1 when none is.
    long indexOfSelectedItem() const { return selectedRow(); }
    void selectCellAtIndex(long index) { selectCellAtRowColumn(index, 0); }

    // The look every entry shares. setEntryWidth sets the width of the whole entry (title and field).
    void setEntryWidth(double width);
    void setInterlineSpacing(double spacing);
    void setTitleFont(const HXFont& font);
    void setTextFont(const HXFont& font);
    void setTitleAlignment(HXTextAlignment alignment);
    void setTextAlignment(HXTextAlignment alignment);
    void setBezeled(bool flag);
    void setBordered(bool flag);

    // The widest natural title of the entries: the title column of entries without a width of their own,
    // so that their fields line up.
    double widestTitleWidth() const;

    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    void reorder(std::vector<std::shared_ptr<HXCell>> cells, long selected);

    // Cells waiting to be taken back by the matrix while the entries are reordered.
    std::vector<std::shared_ptr<HXCell>> _pending;

    template<class F> void forEachEntry(F f)
    {
        for (long i = 0; i < numberOfEntries(); ++i)
            f(*cellAtIndex(i));
    }
};
