#include "player/window/movie_window_bevel_view.h"

#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/window.h"

float MVPMovieWindowBevelView::contentBorderThicknessForEdge(HXRectEdge edge) const
{
    HXRectEdge lower = isFlipped() ? HXMaxYEdge : HXMinYEdge;
    HXRectEdge upper = isFlipped() ? HXMinYEdge : HXMaxYEdge;
    if (edge == lower)
        return 5;
    if (edge == upper)
        return 1;
    return 0;
}

HXRect MVPMovieWindowBevelView::contentRect() const
{
    HXRect b = bounds();
    float left = contentBorderThicknessForEdge(HXMinXEdge), right = contentBorderThicknessForEdge(HXMaxXEdge);
    float bottom = contentBorderThicknessForEdge(HXMinYEdge), top = contentBorderThicknessForEdge(HXMaxYEdge);
    return HXMakeRect(
        b.origin.x + left, b.origin.y + bottom, b.size.width - left - right, b.size.height - bottom - top);
}

void MVPMovieWindowBevelView::setContentView(const std::shared_ptr<HXView>& view)
{
    if (view == _contentView)
        return;
    if (_contentView)
        _contentView->removeFromSuperview();
    _contentView = view;
    if (view) {
        view->setFrame(contentRect());
        addSubview(view);
    }
}

void MVPMovieWindowBevelView::setFrame(HXRect frame)
{
    HXView::setFrame(frame);
    if (_contentView)
        _contentView->setFrame(contentRect());
}

void MVPMovieWindowBevelView::drawRect(HXRect dirtyRect)
{
    (void)dirtyRect;
    HXRect c = contentRect();
    double x = c.origin.x, y = c.origin.y, w = c.size.width, h = c.size.height;
    auto window = this->window();
    bool main = window && window->isMainWindow();
    // Dark lines hug the movie above and below; the light one sits under the lower dark line.
    double darkA = isFlipped() ? y - 1 : y + h, darkB = isFlipped() ? y + h : y - 1;
    double light = isFlipped() ? y + h + 1 : y - 2;
    HXColor::colorWithCalibratedWhite(64.0 / 255.0, main ? 1.0 : 0.5).setFill();
    HXRectFill(HXMakeRect(x, darkA, w, 1));
    HXRectFill(HXMakeRect(x, darkB, w, 1));
    HXColor::colorWithCalibratedWhite(1, 0.4).setFill();
    HXRectFill(HXMakeRect(x, light, w, 1));
}
