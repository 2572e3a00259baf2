#pragma once
// The columns of the properties window, from the bundle's "Columns" list: what each column shows (a key
// asked of each row), how (a text field or a check box, aligned, with a number format) and how it sorts.
#include "platform/basekit/property_list.h"
#include "platform/drawing/attributed_string.h"
#include "platform/winkit/button_cell.h"
#include "platform/winkit/table_column.h"

#include <memory>
#include <string>
#include <vector>

struct MVPPropertyColumn {
    enum class Type { Default, TextField, CheckBox };
    std::string identifier;
    std::string key;
    std::string sortKey; // "Sort Key", else "Key"
    HXTextAlignment alignment = HXNaturalTextAlignment;
    Type type = Type::Default;
    std::string format; // a number format ("0.00"), "" for none
    double width = 0;
    bool editable = false;
};

// A sort of the rows on one key.
struct MVPSortDescriptor {
    std::string key;
    bool ascending = true;
    bool operator==(const MVPSortDescriptor&) const = default;
};

// The columns of a "Columns" list; elements that are no dictionaries or have no identifier are left out.
std::vector<MVPPropertyColumn> MVPPropertyColumnsFromList(const HXPropertyList& list);
// The table column for a column description, titled `title` (its header text): width the larger of the title's width
// + 10 and the described width, minimum width the smaller, no maximum.
std::shared_ptr<HXTableColumn> MVPMakeTableColumn(const MVPPropertyColumn& column, const std::string& title);
// The number of fraction digits a number format asks for ("0.00" → 2, "#,##0" → 0).
int MVPFractionDigitsOfFormat(const std::string& format);

// Rows compared on the descriptors in turn: numbers by value, texts in the locale's order, a missing
// value before any other. Negative, zero or positive.
int MVPComparePropertyValues(const HXPropertyList& a, const HXPropertyList& b);

// The check box of a check-box column: a row whose object has no value for the key shows nothing.
class MVPPropertyBrowserCheckBoxCell : public HXButtonCell {
public:
    MVPPropertyBrowserCheckBoxCell();
    void setObjectValue(const HXPropertyList& value) override;
};
