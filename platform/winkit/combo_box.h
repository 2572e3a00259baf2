#pragma once
// HXComboBox: a text field with a list of values (an HXComboBoxCell). A click on the arrow button, or the
// Down arrow while the field has the focus, opens the list; typing completes the text from the values when
// the box completes.
#include "platform/winkit/combo_box_cell.h"
#include "platform/winkit/text_field.h"

class HXComboBox : public HXTextField {
public:
    explicit HXComboBox(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<HXComboBoxCell> comboBoxCell() const
    {
        return std::static_pointer_cast<HXComboBoxCell>(cell());
    }

    bool usesDataSource() const { return comboBoxCell()->usesDataSource(); }
    void setUsesDataSource(bool flag) { comboBoxCell()->setUsesDataSource(flag); }
    std::shared_ptr<HXComboBoxCellDataSource> dataSource() const { return comboBoxCell()->dataSource(); }
    void setDataSource(const std::shared_ptr<HXComboBoxCellDataSource>& source)
    {
        comboBoxCell()->setDataSource(source);
    }
    void reloadData() { comboBoxCell()->reloadData(); }

    void addItemWithObjectValue(const HXPropertyList& value)
    {
        comboBoxCell()->addItemWithObjectValue(value);
    }
    void addItemsWithObjectValues(const std::vector<HXPropertyList>& values)
    {
        comboBoxCell()->addItemsWithObjectValues(values);
    }
    void insertItemWithObjectValue(const HXPropertyList& value, long index)
    {
        comboBoxCell()->insertItemWithObjectValue(value, index);
    }
    void removeItemWithObjectValue(const HXPropertyList& value)
    {
        comboBoxCell()->removeItemWithObjectValue(value);
    }
    void removeItemAtIndex(long index) { comboBoxCell()->removeItemAtIndex(index); }
    void removeAllItems() { comboBoxCell()->removeAllItems(); }
    const std::vector<HXPropertyList>& objectValues() const { return comboBoxCell()->objectValues(); }
    long numberOfItems() const { return comboBoxCell()->numberOfItems(); }
    HXPropertyList itemObjectValueAtIndex(long index) const
    {
        return comboBoxCell()->itemObjectValueAtIndex(index);
    }
    long indexOfItemWithObjectValue(const HXPropertyList& value) const
    {
        return comboBoxCell()->indexOfItemWithObjectValue(value);
    }

    long indexOfSelectedItem() const { return comboBoxCell()->indexOfSelectedItem(); }
    HXPropertyList objectValueOfSelectedItem() const { return comboBoxCell()->objectValueOfSelectedItem(); }
    void selectItemAtIndex(long index) { comboBoxCell()->selectItemAtIndex(index); }
    void selectItemWithObjectValue(const HXPropertyList& value)
    {
        comboBoxCell()->selectItemWithObjectValue(value);
    }
    void deselectItemAtIndex(long index) { comboBoxCell()->deselectItemAtIndex(index); }

    long numberOfVisibleItems() const { return comboBoxCell()->numberOfVisibleItems(); }
    void setNumberOfVisibleItems(long count) { comboBoxCell()->setNumberOfVisibleItems(count); }
    bool completes() const { return comboBoxCell()->completes(); }
    void setCompletes(bool flag) { comboBoxCell()->setCompletes(flag); }
    bool isButtonBordered() const { return comboBoxCell()->isButtonBordered(); }
    void setButtonBordered(bool flag) { comboBoxCell()->setButtonBordered(flag); }

    // Opens the list (as the arrow button does); true when a value was picked.
    bool popUp();

    void mouseDown(const HXEvent& event) override;
    bool textViewShouldChangeTextInRange(
        HXTextView& textView, HXRange range, const std::string& replacement) override;
    void textDidChange(HXTextView& textView) override;
    bool textViewDoCommandBySelector(HXTextView& textView, HXSelector command) override;

protected:
    HXComboBox(std::shared_ptr<HXComboBoxCell> cell, HXRect frame);

private:
    // Typing that added text at the end, which completion may extend.
    bool _typedAtEnd = false;
    bool _completing = false;
};
