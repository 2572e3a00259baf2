#include "app/combo_box_cell.h"

ComboBoxCell::ComboBoxCell(std::string text)
    : HXComboBoxCell(std::move(text))
{
}

bool ComboBoxCell::popUp(HXView& controlView)
{
    if (numberOfVisibleItems() == 0)
        return false;
    return HXComboBoxCell::popUp(controlView);
}
