#include "player/window/movie_window_background_view.h"

#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"
#include "player/window/movie_window_controller_resizing.h"

void MVPMovieWindowBackgroundView::setAspectRatio(const HXSize& aspectRatio)
{
    if (aspectRatio == _aspectRatio)
        return;
    _aspectRatio = aspectRatio;
    layout();
}

void MVPMovieWindowBackgroundView::setPreservesAspectRatio(bool preserves)
{
    if (preserves == preservesAspectRatio())
        return;
    _flags ^= 1u;
    layout();
}

void MVPMovieWindowBackgroundView::setContentView(const std::shared_ptr<HXView>& view)
{
    auto old = _contentView.lock();
    if (view == old)
        return;
    if (old)
        old->removeFromSuperview();
    _contentView = view;
    if (view) {
        view->setFrame(contentRect());
        addSubview(view);
    }
}

HXRect MVPMovieWindowBackgroundView::contentRect() const
{
    if (!(_aspectRatio.width > 0 && _aspectRatio.height > 0))
        return HXZeroRect;
    HXRect r = bounds();
    if (preservesAspectRatio())
        r = MVPBestRectWithAspectRatio(r, _aspectRatio);
    // Whole pixels of the window, so that the picture is never resampled across a pixel edge, and never
    // a pixel more than the movie asks for: at 100% the picture is exactly the movie's size.
    return convertRectFromView(MVPPixelAlignedRect(convertRectToView(r, nullptr)), nullptr);
}

void MVPMovieWindowBackgroundView::layout()
{
    if (auto view = _contentView.lock())
        view->setFrame(contentRect());
}

void MVPMovieWindowBackgroundView::setFrame(HXRect frame)
{
    HXView::setFrame(frame);
    layout();
}

void MVPMovieWindowBackgroundView::drawRect(HXRect dirtyRect)
{
    HXColor::colorWithCalibratedWhite(0, 1).setFill();
    HXRectFill(dirtyRect);
}
