#pragma once
// ComboBox: the player's combo box, whose cell is a ComboBoxCell (a list that stays shut when it is to
// show no rows).
#include "app/combo_box_cell.h"
#include "platform/winkit/combo_box.h"

class ComboBox : public HXComboBox {
public:
    explicit ComboBox(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
};
