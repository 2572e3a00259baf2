#include "player/window/movie_ui_window.h"

#include "platform/winkit/window_controller.h"

MVPMovieUIWindow::MVPMovieUIWindow(HXRect contentRect, unsigned styleMask)
    : HXWindow(contentRect, styleMask)
{
    setActionHandler("performZoom:", [this](HXObject* sender) { performZoom(sender); });
}

HXRect MVPMovieUIWindow::constrainFrameRect(HXRect frame, const std::optional<HXScreen>& screen) const
{
    HXRect constrained = HXWindow::constrainFrameRect(frame, screen);
    if (!(constrained.size == frame.size))
        return frame;
    return constrained;
}

void MVPMovieUIWindow::sendEvent(const HXEvent& event)
{
    if (auto interceptor = std::dynamic_pointer_cast<MVPEventInterceptor>(windowController())) {
        if (interceptor->interceptEvent(event, *this))
            return;
    }
    if (!isVisible())
        return;
    HXWindow::sendEvent(event);
}

void MVPMovieUIWindow::performZoom(HXObject* sender)
{
    if (auto zooming = std::dynamic_pointer_cast<MVPZoomingController>(windowController()))
        zooming->zoom(sender);
    else
        HXWindow::performZoom(sender);
}
