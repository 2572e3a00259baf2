#include "app/combo_box.h"

HXCellFactory& ComboBox::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<ComboBoxCell>(); };
    return factory;
}

ComboBox::ComboBox(HXRect frame)
    : HXComboBox(std::static_pointer_cast<HXComboBoxCell>(cellClass()()), frame)
{
}
