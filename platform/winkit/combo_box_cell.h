#pragma once
// HXComboBoxCell: a text field cell with a list of values to pick from. The values are its own item list,
// or come from a data source. A button at the right end opens the list below the field; picking a value
// puts it in the field, selects it in the list and sends the action. While the user types, the cell can
// complete the text with the first value that starts with it.
#include "platform/winkit/text_field_cell.h"

#include <memory>
#include <string>
#include <vector>

class HXComboBoxCell;
class HXMenu;

inline constexpr const char* HXComboBoxWillPopUpNotification = "HXComboBoxWillPopUpNotification";
inline constexpr const char* HXComboBoxWillDismissNotification = "HXComboBoxWillDismissNotification";
inline constexpr const char* HXComboBoxSelectionDidChangeNotification
    = "HXComboBoxSelectionDidChangeNotification";

// Where the values come from when the cell uses a data source.
class HXComboBoxCellDataSource {
public:
    virtual ~HXComboBoxCellDataSource() = default;
    virtual long numberOfItemsInComboBoxCell(HXComboBoxCell& cell) = 0;
    virtual HXPropertyList objectValueForItemAtIndex(HXComboBoxCell& cell, long index) = 0;
    // The completion of `string` (empty: none); the default takes the first value that starts with it.
    virtual std::string completedString(HXComboBoxCell& cell, const std::string& string);
    // The index of the value equal to `string`, or -1; the default searches the values.
    virtual long indexOfItemWithStringValue(HXComboBoxCell& cell, const std::string& string);
};

class HXComboBoxCell : public HXTextFieldCell {
public:
    explicit HXComboBoxCell(std::string text = {});

    // ---- The values ----
    bool usesDataSource() const { return _usesDataSource; }
    void setUsesDataSource(bool flag);
    std::shared_ptr<HXComboBoxCellDataSource> dataSource() const { return _dataSource.lock(); }
    void setDataSource(const std::shared_ptr<HXComboBoxCellDataSource>& source) { _dataSource = source; }
    // Asks the data source again (the selection is dropped when it is past the end).
    void reloadData();

    // The item list (when no data source is used).
    void addItemWithObjectValue(const HXPropertyList& value);
    void addItemsWithObjectValues(const std::vector<HXPropertyList>& values);
    void insertItemWithObjectValue(const HXPropertyList& value, long index);
    void removeItemWithObjectValue(const HXPropertyList& value);
    void removeItemAtIndex(long index);
    void removeAllItems();
    const std::vector<HXPropertyList>& objectValues() const { return _items; }

    // Either source.
    long numberOfItems() const;
    HXPropertyList itemObjectValueAtIndex(long index) const;
    long indexOfItemWithObjectValue(const HXPropertyList& value) const;

    // ---- Selection in the list ----
    long indexOfSelectedItem() const { return _selectedIndex; }
    HXPropertyList objectValueOfSelectedItem() const;
    // Selects the value and shows it in the field (posting the selection notification).
    void selectItemAtIndex(long index);
    void selectItemWithObjectValue(const HXPropertyList& value);
    void deselectItemAtIndex(long index);

    // ---- The list ----
    // How many values the list shows at once (it scrolls for the rest).
    long numberOfVisibleItems() const { return _numberOfVisibleItems; }
    void setNumberOfVisibleItems(long count) { _numberOfVisibleItems = count; }
    double itemHeight() const { return _itemHeight; }
    void setItemHeight(double height) { _itemHeight = height; }
    bool hasVerticalScroller() const { return _hasVerticalScroller; }
    void setHasVerticalScroller(bool flag) { _hasVerticalScroller = flag; }
    bool isButtonBordered() const { return _buttonBordered; }
    void setButtonBordered(bool flag);
    // Opens the list below `controlView` and tracks it; true when a value was picked.
    virtual bool popUp(HXView& controlView);
    bool isPoppedUp() const { return _poppedUp; }
    // The list as a menu of the values (what popUp shows).
    std::shared_ptr<HXMenu> listMenu() const;

    // ---- Completion ----
    bool completes() const { return _completes; }
    void setCompletes(bool flag) { _completes = flag; }
    // The first value whose text starts with `string` (ignoring case), or empty.
    std::string completedString(const std::string& string);

    // ---- Geometry and drawing ----
    static constexpr double kButtonWidth = 20;
    // The arrow button at the right end of `cellFrame`.
    HXRect buttonRectForBounds(HXRect cellFrame) const;
    HXRect titleRectForBounds(HXRect bounds) const override;
    HXSize cellSizeForBounds(HXRect bounds) const override;
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;

    // ---- Accessibility: a combo box whose value is its text; the list opens with the show-menu action ----
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override;
    void accessibilityPerformAction(const std::string& action) override;

private:
    std::string stringOfValue(const HXPropertyList& value) const;
    void postSelectionChange();

    bool _usesDataSource = false;
    std::weak_ptr<HXComboBoxCellDataSource> _dataSource;
    std::vector<HXPropertyList> _items;
    long _selectedIndex = -1;
    long _numberOfVisibleItems = 5;
    double _itemHeight = 16;
    bool _hasVerticalScroller = true;
    bool _buttonBordered = true;
    bool _completes = false;
    bool _poppedUp = false;
};
