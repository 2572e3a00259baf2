#pragma once
// MVPResizeThumbView: the grow box in the corner of the player window. Dragging it resizes the window
// from its bottom-right corner, the top-left corner staying put; every step is offered to the window's
// delegate (windowWillResize), so the player's sizing rules (aspect lock, snapping) apply while dragging.
#include "platform/winkit/image_view.h"

class MVPResizeThumbView : public HXImageView {
public:
    using HXImageView::HXImageView;

    void mouseDown(const HXEvent& event) override;
    bool mouseDownCanMoveWindow() const override { return false; }

    // The frame for a drag of (dx, dy) window points from `startFrame` (y up: a drag down grows the window).
    static HXRect draggedFrame(const HXRect& startFrame, double dx, double dy);
};
