#pragma once
// FSPresentationResizeHelper: the zoom of a movie from its player window to its place on the full-screen
// display and back. Three windows move together: the player window (by frame changes, never crossing a
// display edge its start frame was inside), the full-screen window (shown over the movie's interpolated
// rectangle) and a backdrop of the presentation colour over the whole display that fades in on the way
// in and out on the way back. The steps run on a smooth animation of 0.5 s (5 s with Shift held) and the
// calls return when the zoom is over.
//
// Our window system has no per-window transforms, so the full-screen window itself takes the movie's
// interpolated rectangle at every step; the transform it stands for is kept (currentTransform) and follows
// the window-server geometry: origin at the top left of the first screen, y downwards.
#include "fullscreen/smooth_animation.h"
#include "platform/drawing/color.h"
#include "platform/drawing/geometry.h"

#include <functional>
#include <memory>
#include <optional>

class HXWindow;
class HXView;

// A rectangle of ours (origin bottom left, y up) in window-server coordinates, with H the height of the
// first screen.
HXRect FSPresentationServerRect(const HXRect& rect, double firstScreenHeight);
// The transform that shows a window of size `base` squeezed or stretched into the on-screen rectangle r.
HXAffineTransformStruct FSPresentationTransformForRect(
    const HXRect& r, HXSize base, double firstScreenHeight);
// The player window's frame r at a step, kept from crossing an edge of the display F that its start frame
// s0 was inside.
HXRect FSPresentationClampPlayerFrame(HXRect r, const HXRect& s0, const HXRect& F);

// The player's side of the zoom (the document's player window controller).
struct FSPresentationZoomPlayer {
    std::shared_ptr<HXWindow> window;
    // The player window frame that would show the movie view at a rectangle on the screen.
    std::function<HXRect(const HXRect& movieViewScreenFrame)> windowFrameForMovieViewScreenFrame;
};

class FSPresentationResizeHelper : private MVPSmoothAnimationDelegate {
public:
    // The full-screen window and the movie view it shows; neither is owned.
    FSPresentationResizeHelper(std::weak_ptr<HXWindow> fullScreenWindow, std::weak_ptr<HXView> movieView);
    ~FSPresentationResizeHelper() override;

    // Before entering: the movie view is already in the full-screen window; `movieFrameInPlayerWindow` is
    // where it was in the player window (base coordinates). The full-screen window is put over that place
    // so that the movie seems not to move.
    void prepareZoomAnimationWithMovieFrameInPlayerWindow(
        const HXRect& movieFrameInPlayerWindow, const std::optional<FSPresentationZoomPlayer>& player);
    // The way in: to `movieViewFrame` in a full-screen window of `screenFrame`. Nothing without a prepared
    // zoom, a player or a movie rectangle with area.
    void zoomMovieToFrame(const HXRect& movieViewFrame, const HXRect& screenFrame);
    // The way back to the place given before entering. Only after a prepared way in: answers whether it
    // zoomed, so that the caller puts the windows back at once otherwise.
    bool restoreMovieToPlayerWindow(const std::optional<FSPresentationZoomPlayer>& player);

    // Observation (and the colour of the backdrop, taken from the full-screen window when it is made).
    bool isPrepared() const { return _prepared; }
    const std::shared_ptr<HXWindow>& backgroundWindow() const { return _backgroundWindow; }
    double backgroundWindowAlpha() const { return _backgroundWindowAlpha; }
    const HXAffineTransformStruct& currentTransform() const { return _transform; }
    // How long the last zoom was set to last.
    double lastDuration() const { return _lastDuration; }
    // Called after every step with the player window's frame and the movie's rectangle on screen.
    std::function<void(const HXRect& playerFrame, const HXRect& movieRect, double backdropAlpha)> onStep;

private:
    bool smoothAnimationShouldStart(MVPSmoothAnimation&) override { return true; }
    void smoothAnimationDidReachProgress(MVPSmoothAnimation& animation, float progress) override;
    void smoothAnimationDidEnd(MVPSmoothAnimation&) override { cleanUpAnimation(); }
    void smoothAnimationDidStop(MVPSmoothAnimation&) override { cleanUpAnimation(); }

    void runAnimation();
    void cleanUpAnimation();
    // The player window back at its frame from before the way in.
    void cleanUpWindowStateAfterZoom();
    void setupBackgroundWindow(const HXColor& color);
    void setBackgroundWindowFrame(const HXRect& frame);
    void setBackgroundAlpha(double alpha);
    void groupWindows();
    void ungroupWindows();
    void showMovieInRect(const HXRect& screenRect);
    double firstScreenHeight() const;

    std::weak_ptr<HXWindow> _fullScreenWindow;
    std::weak_ptr<HXView> _movieView;
    std::optional<FSPresentationZoomPlayer> _player;
    std::shared_ptr<HXWindow> _backgroundWindow;
    std::optional<MVPAnimatedFrame> _playerWindowAnimatedFrame;
    std::optional<MVPAnimatedFrame> _fullScreenWindowAnimatedFrame;
    std::unique_ptr<MVPSmoothAnimation> _resizeAnimation;
    HXRect _movieViewFrameInPlayerWindow;
    std::optional<HXRect> _pendingPlayerFrame;
    HXRect _fullScreenFrame;
    HXSize _baseTransformSize;
    HXAffineTransformStruct _transform;
    HXAffineTransformStruct _savedTransform;
    bool _prepared = false;
    bool _zooming = false;
    bool _done = false;
    double _backgroundWindowAlpha = 0;
    double _lastDuration = 0;
};
