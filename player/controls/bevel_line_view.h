#pragma once
// BevelLineView: a thin engraved rule across the full width of its bounds — a faint light line above a
// faint dark one — used between the parts of a panel.
#include "platform/winkit/view.h"

class BevelLineView : public HXView {
public:
    using HXView::HXView;
    void drawRect(HXRect dirtyRect) override;
};
