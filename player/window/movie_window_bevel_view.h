#pragma once
// MVPMovieWindowBevelView: the thin bevel around the movie area of a player window — a 5-point ledge
// along its lower edge and a 1-point rim along its upper edge — holding one content view (the movie's
// background view) in the rest.
#include "platform/drawing/geometry.h"
#include "platform/winkit/view.h"

#include <memory>

class MVPMovieWindowBevelView : public HXView {
public:
    using HXView::HXView;

    // 5 for the lower edge as seen (min y unflipped, max y flipped), 1 for the upper, 0 left and right.
    float contentBorderThicknessForEdge(HXRectEdge edge) const;
    // The bounds less the border thicknesses.
    HXRect contentRect() const;

    std::shared_ptr<HXView> contentView() const { return _contentView; }
    // Replaces the content view (the old one leaves the view), laid out in contentRect.
    void setContentView(const std::shared_ptr<HXView>& view);

    void setFrame(HXRect frame) override;
    void drawRect(HXRect dirtyRect) override;
    bool mouseDownCanMoveWindow() const override { return true; }

private:
    std::shared_ptr<HXView> _contentView;
};
