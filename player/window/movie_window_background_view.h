#pragma once
// MVPMovieWindowBackgroundView: the black area behind the movie. It keeps its one subview (the movie
// view) at the movie's proportions when asked to, and always on whole pixels of the window.
#include "platform/drawing/geometry.h"
#include "platform/winkit/view.h"

#include <memory>

class MVPMovieWindowBackgroundView : public HXView {
public:
    using HXView::HXView;

    HXSize aspectRatio() const { return _aspectRatio; }
    void setAspectRatio(const HXSize& aspectRatio);
    bool preservesAspectRatio() const { return _flags & 1u; }
    void setPreservesAspectRatio(bool preserves);

    std::shared_ptr<HXView> contentView() const { return _contentView.lock(); }
    // Replaces the content view; null only takes the old one out.
    void setContentView(const std::shared_ptr<HXView>& view);

    // Where the content view goes: the bounds, or the largest part of them of the aspect ratio's shape
    // while preserving it, rounded outwards to whole pixels of the window. Empty for an aspect ratio
    // without a positive width and height.
    HXRect contentRect() const;

    void setFrame(HXRect frame) override;
    void drawRect(HXRect dirtyRect) override;
    bool isOpaque() const override { return true; }
    bool mouseDownCanMoveWindow() const override { return true; }

private:
    void layout();

    HXSize _aspectRatio = HXMakeSize(1, 1);
    std::weak_ptr<HXView> _contentView; // held as a subview
    unsigned _flags = 0; // bit 0: preserves the aspect ratio
};
