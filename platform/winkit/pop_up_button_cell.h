#pragma once
// HXPopUpButtonCell: a button that opens a menu. As a pop-up it shows the selected item and a choice
// selects another; as a pull-down it always shows its first item as its title and a choice only acts.
// A chosen item with an action of its own sends that; otherwise the button sends its action.
#include "platform/winkit/button_cell.h"

#include <memory>
#include <string>
#include <vector>

enum HXPopUpArrowPosition : int { HXPopUpNoArrow = 0, HXPopUpArrowAtCenter = 1, HXPopUpArrowAtBottom = 2 };

class HXPopUpButtonCell : public HXButtonCell {
public:
    explicit HXPopUpButtonCell(std::string title = {}, bool pullsDown = false);

    bool pullsDown() const { return _pullsDown; }
    void setPullsDown(bool flag);
    bool autoenablesItems() const;
    void setAutoenablesItems(bool flag);
    HXPopUpArrowPosition arrowPosition() const { return _arrowPosition; }
    void setArrowPosition(HXPopUpArrowPosition position);

    // Items.
    const std::vector<std::shared_ptr<HXMenuItem>>& itemArray() const;
    long numberOfItems() const;
    void addItemWithTitle(const std::string& title);
    void addItemsWithTitles(const std::vector<std::string>& titles);
    void insertItemWithTitle(const std::string& title, long index);
    void removeItemWithTitle(const std::string& title);
    void removeItemAtIndex(long index);
    void removeAllItems();
    std::shared_ptr<HXMenuItem> itemAtIndex(long index) const;
    std::shared_ptr<HXMenuItem> itemWithTitle(const std::string& title) const;
    std::shared_ptr<HXMenuItem> lastItem() const;
    long indexOfItem(const std::shared_ptr<HXMenuItem>& item) const;
    long indexOfItemWithTitle(const std::string& title) const;
    long indexOfItemWithTag(long tag) const;
    std::vector<std::string> itemTitles() const;
    // Replaces the menu (which the cell then owns); the selection moves to its first item.
    void setMenu(std::shared_ptr<HXMenu> menu);

    // Selection (pop-ups check the selected item).
    std::shared_ptr<HXMenuItem> selectedItem() const;
    long indexOfSelectedItem() const { return _selectedIndex; }
    void selectItem(const std::shared_ptr<HXMenuItem>& item);
    void selectItemAtIndex(long index);
    // A number selects the item at that index (how a table hands a pop-up cell its row's value); other
    // values go to the button cell.
    void setObjectValue(const HXPropertyList& value) override;
    void selectItemWithTitle(const std::string& title);
    // False when no item has the tag (the selection then stays).
    bool selectItemWithTag(long tag);
    std::string titleOfSelectedItem() const;
    // Keeps the title and the check mark in step with the selection after the menu was changed.
    void synchronizeTitleAndSelectedItem();

    // Opens the menu over the control and tracks it; true when an item was chosen.
    bool popUp(HXView& controlView);

    std::string stringValue() const override { return titleOfSelectedItem(); }
    HXSize cellSizeForBounds(HXRect bounds) const override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;

    // Accessibility: a pop-up button (menu button when it pulls down) whose value is the selected title.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override;
    void accessibilityPerformAction(const std::string& action) override;

private:
    void itemsChanged();

    bool _pullsDown = false;
    HXPopUpArrowPosition _arrowPosition = HXPopUpArrowAtCenter;
    long _selectedIndex = -1;
    std::shared_ptr<HXMenuItem> _chosen;
};
