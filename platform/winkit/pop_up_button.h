#pragma once
// HXPopUpButton: the control of an HXPopUpButtonCell. A click, Space or an arrow key opens the menu.
#include "platform/winkit/button.h"
#include "platform/winkit/pop_up_button_cell.h"

inline constexpr const char* HXPopUpButtonWillPopUpNotification = "HXPopUpButtonWillPopUpNotification";

class HXPopUpButton : public HXButton {
public:
    explicit HXPopUpButton(HXRect frame = HXZeroRect, bool pullsDown = false);
    static HXCellFactory& cellClass();
    std::shared_ptr<HXPopUpButtonCell> popUpCell() const { return std::static_pointer_cast<HXPopUpButtonCell>(cell()); }

    bool pullsDown() const { return popUpCell()->pullsDown(); }
    void setPullsDown(bool flag) { popUpCell()->setPullsDown(flag); }
    bool autoenablesItems() const { return popUpCell()->autoenablesItems(); }
    void setAutoenablesItems(bool flag) { popUpCell()->setAutoenablesItems(flag); }
    void addItemWithTitle(const std::string& title) { popUpCell()->addItemWithTitle(title); }
    void addItemsWithTitles(const std::vector<std::string>& titles) { popUpCell()->addItemsWithTitles(titles); }
    void insertItemWithTitle(const std::string& title, long index) { popUpCell()->insertItemWithTitle(title, index); }
    void removeItemWithTitle(const std::string& title) { popUpCell()->removeItemWithTitle(title); }
    void removeItemAtIndex(long index) { popUpCell()->removeItemAtIndex(index); }
    void removeAllItems() { popUpCell()->removeAllItems(); }
    const std::vector<std::shared_ptr<HXMenuItem>>& itemArray() const { return popUpCell()->itemArray(); }
    long numberOfItems() const { return popUpCell()->numberOfItems(); }
    std::shared_ptr<HXMenuItem> itemAtIndex(long index) const { return popUpCell()->itemAtIndex(index); }
    std::shared_ptr<HXMenuItem> itemWithTitle(const std::string& title) const { return popUpCell()->itemWithTitle(title); }
    std::shared_ptr<HXMenuItem> lastItem() const { return popUpCell()->lastItem(); }
    long indexOfItem(const std::shared_ptr<HXMenuItem>& item) const { return popUpCell()->indexOfItem(item); }
    long indexOfItemWithTitle(const std::string& title) const { return popUpCell()->indexOfItemWithTitle(title); }
    long indexOfItemWithTag(long tag) const { return popUpCell()->indexOfItemWithTag(tag); }
    std::vector<std::string> itemTitles() const { return popUpCell()->itemTitles(); }
    std::shared_ptr<HXMenu> menu() const { return popUpCell()->menu(); }
    void setMenu(std::shared_ptr<HXMenu> menu) { popUpCell()->setMenu(std::move(menu)); }

    std::shared_ptr<HXMenuItem> selectedItem() const { return popUpCell()->selectedItem(); }
    long indexOfSelectedItem() const { return popUpCell()->indexOfSelectedItem(); }
    void selectItem(const std::shared_ptr<HXMenuItem>& item);
    void selectItemAtIndex(long index);
    void selectItemWithTitle(const std::string& title);
    bool selectItemWithTag(long tag);
    std::string titleOfSelectedItem() const { return popUpCell()->titleOfSelectedItem(); }
    long selectedTag() const;
    void synchronizeTitleAndSelectedItem() { popUpCell()->synchronizeTitleAndSelectedItem(); }
    // Width that fits the widest item.
    double naturalWidth() const;

    void mouseDown(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;
    void performClick(HXObject* sender = nullptr) override;
};
