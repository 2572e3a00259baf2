#pragma once
// MVPMovieUIWindow: the window of the movie players. It may be larger than its screen (only its position
// is kept on the screen), offers events to its controller first when the controller intercepts events,
// ignores events while hidden, and hands its zoom to the controller, whose zoom toggles between the
// movie's natural size and the size the user gave it.
#include "platform/winkit/window.h"

// A window controller that sees the window's events before the window does.
class MVPEventInterceptor {
public:
    virtual ~MVPEventInterceptor() = default;
    // True when the event was consumed.
    virtual bool interceptEvent(const HXEvent& event, HXWindow& window) = 0;
};

// A window controller with its own zoom.
class MVPZoomingController {
public:
    virtual ~MVPZoomingController() = default;
    virtual void zoom(HXObject* sender) = 0;
};

class MVPMovieUIWindow : public HXWindow {
public:
    MVPMovieUIWindow(HXRect contentRect, unsigned styleMask);

    // The screen keeps the window's position in reach, never its size.
    HXRect constrainFrameRect(HXRect frame, const std::optional<HXScreen>& screen) const override;
    void sendEvent(const HXEvent& event) override;
    // The Zoom command: the controller's zoom when it has one, else the window's own.
    void performZoom(HXObject* sender = nullptr);
};
