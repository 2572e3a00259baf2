#pragma once
// ComboBoxCell: the cell of the player's combo boxes. Its list stays shut when it is to show no rows.
#include "platform/winkit/combo_box_cell.h"

class ComboBoxCell : public HXComboBoxCell {
public:
    explicit ComboBoxCell(std::string text = {});

    bool popUp(HXView& controlView) override;
};
