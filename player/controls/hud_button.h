#pragma once
// HUDButton: a push button of the heads-up panels, drawn from three-part images (left cap, tiled fill,
// right cap; "-N" normally and "-P" pressed) with a white title (grey while disabled).
#include "platform/winkit/button.h"
#include "platform/winkit/button_cell.h"

#include <vector>

// Where the parts of a button of `frame` go: the caps at their natural size, the fill tiled between them
// (the last tile cut to what is left; none when the button is narrower than its caps), and the interior
// (title and image), 1 point in from (x, y, w, h + 6).
struct HUDButtonLayout {
    HXPoint leftCap;
    HXPoint rightCap;
    std::vector<HXRect> fillTiles;
    HXRect interior;
};
HUDButtonLayout HUDButtonCellLayout(HXRect frame, HXSize leftCap, HXSize rightCap, HXSize fill, bool flipped);

class HUDButtonCell : public HXButtonCell {
public:
    explicit HUDButtonCell(std::string title = {});
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
};

class HUDButton : public HXButton {
public:
    explicit HUDButton(HXRect frame = HXZeroRect, std::string title = {});
};
