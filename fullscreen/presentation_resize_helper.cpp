#include "fullscreen/presentation_resize_helper.h"

#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_server.h"

#include <algorithm>

HXRect FSPresentationServerRect(const HXRect& rect, double firstScreenHeight)
{
    return { { rect.origin.x, firstScreenHeight - (rect.origin.y + rect.size.height) }, rect.size };
}

HXAffineTransformStruct FSPresentationTransformForRect(const HXRect& r, HXSize base, double firstScreenHeight)
{
    HXAffineTransformStruct t;
    t.m11 = base.width / r.size.width;
    t.m22 = base.height / r.size.height;
    t.m12 = t.m21 = 0;
    t.tX = -r.origin.x * t.m11;
    t.tY = -(firstScreenHeight - (r.origin.y + r.size.height)) * t.m22;
    return t;
}

HXRect FSPresentationClampPlayerFrame(HXRect r, const HXRect& s0, const HXRect& F)
{
    if (HXMinX(r) < HXMinX(F) && HXMinX(s0) >= HXMinX(F))
        r.origin.x = HXMinX(F);
    if (HXMinY(r) < HXMinY(F) && HXMinY(s0) >= HXMinY(F))
        r.origin.y = HXMinY(F);
    if (HXMaxX(r) > HXMaxX(F) && HXMaxX(s0) <= HXMaxX(F))
        r.size.width = HXMaxX(F) - r.origin.x;
    if (HXMaxY(r) > HXMaxY(F) && HXMaxY(s0) <= HXMaxY(F))
        r.size.height = HXMaxY(F) - r.origin.y;
    return r;
}

FSPresentationResizeHelper::FSPresentationResizeHelper(
    std::weak_ptr<HXWindow> fullScreenWindow, std::weak_ptr<HXView> movieView)
    : _fullScreenWindow(std::move(fullScreenWindow))
    , _movieView(std::move(movieView))
{
}

FSPresentationResizeHelper::~FSPresentationResizeHelper()
{
    if (_resizeAnimation) {
        _resizeAnimation->setDelegate(nullptr);
        _resizeAnimation->stopAnimation();
    }
    HXRunLoop::current().cancelPerformRequests(this);
    if (_backgroundWindow)
        _backgroundWindow->orderOut();
}

double FSPresentationResizeHelper::firstScreenHeight() const
{
    auto screens = HXScreen::screens();
    return screens.empty() ? 0 : screens.front().frame().size.height;
}

void FSPresentationResizeHelper::prepareZoomAnimationWithMovieFrameInPlayerWindow(
    const HXRect& movieFrameInPlayerWindow, const std::optional<FSPresentationZoomPlayer>& player)
{
    _prepared = false;
    if (!player || !player->window)
        return;
    auto window = _fullScreenWindow.lock();
    auto movieView = _movieView.lock();
    _player = player;
    _movieViewFrameInPlayerWindow = movieFrameInPlayerWindow;
    _prepared = true;
    if (!window)
        return;
    HXRect onScreen = player->window->convertRectToScreen(movieFrameInPlayerWindow);
    window->setFrame({ onScreen.origin, movieFrameInPlayerWindow.size }, false);
    if (movieView)
        movieView->setFrame({ { 0, 0 }, movieFrameInPlayerWindow.size });
    window->display();
    window->orderFront();
}

void FSPresentationResizeHelper::showMovieInRect(const HXRect& screenRect)
{
    _transform = FSPresentationTransformForRect(screenRect, _baseTransformSize, firstScreenHeight());
    if (auto window = _fullScreenWindow.lock())
        window->setFrame(screenRect, false);
    if (auto movieView = _movieView.lock())
        movieView->setFrame({ { 0, 0 }, screenRect.size });
}

void FSPresentationResizeHelper::zoomMovieToFrame(const HXRect& movieViewFrame, const HXRect& screenFrame)
{
    const HXRect& R = _movieViewFrameInPlayerWindow;
    auto window = _fullScreenWindow.lock();
    if (!_prepared || !_player || !_player->window || !window || R.size.width == 0 || R.size.height == 0)
        return;
    auto playerWindow = _player->window;
    const HXRect P0 = playerWindow->convertRectToScreen(R);
    const HXRect T = HXOffsetRect(movieViewFrame, screenFrame.origin.x, screenFrame.origin.y);
    const HXRect PW = playerWindow->frame();
    HXRect playerEnd
        = _player->windowFrameForMovieViewScreenFrame ? _player->windowFrameForMovieViewScreenFrame(T) : PW;
    _playerWindowAnimatedFrame.emplace(PW, playerEnd);
    _fullScreenWindowAnimatedFrame.emplace(P0, T);
    _baseTransformSize = { std::max(R.size.width, movieViewFrame.size.width),
        std::max(R.size.height, movieViewFrame.size.height) };
    _fullScreenFrame = screenFrame;
    if (!_resizeAnimation) {
        _resizeAnimation = std::make_unique<MVPSmoothAnimation>(0.5);
        _resizeAnimation->setDelegate(this);
    } else {
        _resizeAnimation->stopAnimation();
    }
    playerWindow->setHasShadow(false);

    setupBackgroundWindow(window->backgroundColor());
    setBackgroundAlpha(0);
    setBackgroundWindowFrame(screenFrame);
    window->setFrame({ { 0, 0 }, _baseTransformSize }, false);
    if (auto movieView = _movieView.lock())
        movieView->setFrame({ { 0, 0 }, _baseTransformSize });
    _savedTransform = _transform;
    showMovieInRect(P0);
    groupWindows();
    window->display();

    _zooming = true;
    runAnimation();

    // On the next pass the player window is back where it was, with its shadow (at the latest when the
    // way back starts).
    _pendingPlayerFrame = PW;
    HXRunLoop::current().perform([this] { cleanUpWindowStateAfterZoom(); }, 0, { HXRunLoopCommonModes }, this);
}

void FSPresentationResizeHelper::cleanUpWindowStateAfterZoom()
{
    if (!_pendingPlayerFrame)
        return;
    if (_player && _player->window) {
        _player->window->setHasShadow(true);
        _player->window->setFrame(*_pendingPlayerFrame, false);
    }
    _pendingPlayerFrame.reset();
}

bool FSPresentationResizeHelper::restoreMovieToPlayerWindow(
    const std::optional<FSPresentationZoomPlayer>& player)
{
    const HXRect R = _movieViewFrameInPlayerWindow;
    auto window = _fullScreenWindow.lock();
    auto movieView = _movieView.lock();
    // Only a prepared way in has a place to go back to; anything else leaves at once.
    if (!_prepared || !player || !player->window || !window || !movieView || R.size.width == 0
        || R.size.height == 0) {
        _prepared = false;
        return false;
    }
    cleanUpWindowStateAfterZoom();
    _player = player;
    auto playerWindow = player->window;
    const HXRect F = window->frame();
    const HXRect PW = playerWindow->frame();
    const HXRect A = HXOffsetRect(movieView->frame(), F.origin.x, F.origin.y);
    const HXRect Bp = HXOffsetRect(R, PW.origin.x, PW.origin.y);
    HXRect playerEnd
        = player->windowFrameForMovieViewScreenFrame ? player->windowFrameForMovieViewScreenFrame(A) : PW;
    _playerWindowAnimatedFrame.emplace(PW, playerEnd);
    _fullScreenWindowAnimatedFrame.emplace(Bp, A);
    _baseTransformSize = { std::max(A.size.width, Bp.size.width), std::max(A.size.height, Bp.size.height) };
    if (!_resizeAnimation) {
        _resizeAnimation = std::make_unique<MVPSmoothAnimation>(0.5);
        _resizeAnimation->setDelegate(this);
    } else {
        _resizeAnimation->stopAnimation();
    }
    playerWindow->setHasShadow(false);

    setupBackgroundWindow(window->backgroundColor());
    setBackgroundAlpha(1.0);
    playerWindow->setFrame(playerEnd, false);
    setBackgroundWindowFrame(F);
    window->setFrame({ { 0, 0 }, _baseTransformSize }, false);
    movieView->setFrame({ { 0, 0 }, _baseTransformSize });
    _savedTransform = _transform;
    showMovieInRect(A);
    groupWindows();
    playerWindow->makeMainWindow();

    _zooming = false;
    runAnimation();
    playerWindow->setHasShadow(true);
    _prepared = false;
    return true;
}

void FSPresentationResizeHelper::runAnimation()
{
    bool shift = false;
    if (auto app = HXApplication::sharedApplication()) {
        // The event being handled says; outside of one, the keys held now do.
        uint32_t flags = 0;
        if (const HXEvent* event = app->currentEvent())
            flags = event->modifierFlags();
        else if (auto server = app->windowServerPointer())
            flags = server->modifierFlags();
        shift = (flags & HXShiftKeyMask) != 0;
    }
    _lastDuration = shift ? 5.0 : 0.5;
    _resizeAnimation->setDuration(_lastDuration);
    _resizeAnimation->setCurrentProgress(0);
    _done = false;
    _resizeAnimation->startAnimation();
    auto& loop = HXRunLoop::current();
    const HXTimeInterval limit = loop.now() + _lastDuration + 1;
    while (!_done) {
        if (loop.now() >= limit) {
            // Past its time (the timer never got to run): end it rather than spin.
            _resizeAnimation->stopAnimation();
            if (!_done)
                cleanUpAnimation();
            break;
        }
        loop.runMode(HXEventTrackingRunLoopMode, limit);
    }
}

void FSPresentationResizeHelper::smoothAnimationDidReachProgress(
    MVPSmoothAnimation& animation, float progress)
{
    if (!_playerWindowAnimatedFrame || !_fullScreenWindowAnimatedFrame)
        return;
    float eased = animation.currentValue();
    float v = _zooming ? eased : 1 - eased;
    float a = _zooming ? progress : 1 - progress;
    HXRect r = FSPresentationClampPlayerFrame(_playerWindowAnimatedFrame->frameForAnimationPercentComplete(v),
        _playerWindowAnimatedFrame->startFrame(), _fullScreenFrame);
    if (v > 0)
        setBackgroundAlpha(a);
    else if (_backgroundWindowAlpha != 0)
        setBackgroundAlpha(0);
    if (_player && _player->window)
        _player->window->setFrame(r, true);
    HXRect movieRect = _fullScreenWindowAnimatedFrame->frameForAnimationPercentComplete(v);
    showMovieInRect(movieRect);
    if (onStep)
        onStep(r, movieRect, _backgroundWindowAlpha);
}

void FSPresentationResizeHelper::cleanUpAnimation()
{
    ungroupWindows();
    _transform = _savedTransform;
    auto window = _fullScreenWindow.lock();
    auto movieView = _movieView.lock();
    if (_fullScreenWindowAnimatedFrame && window) {
        if (_zooming) {
            HXRect f = HXIntegralRect(_fullScreenWindowAnimatedFrame->frameForAnimationPercentComplete(1));
            window->setFrame(_fullScreenFrame, false);
            if (movieView)
                movieView->setFrame(HXOffsetRect(f, -_fullScreenFrame.origin.x, -_fullScreenFrame.origin.y));
        } else {
            HXRect s = _fullScreenWindowAnimatedFrame->startFrame();
            window->setFrame(s, false);
            if (movieView)
                movieView->setFrame({ { 0, 0 }, s.size });
        }
        window->display();
    }
    _playerWindowAnimatedFrame.reset();
    _fullScreenWindowAnimatedFrame.reset();
    _done = true;
}

void FSPresentationResizeHelper::setupBackgroundWindow(const HXColor& color)
{
    if (!_backgroundWindow) {
        _backgroundWindow = std::make_shared<HXWindow>(HXRect { { 0, 0 }, { 1, 1 } }, HXBorderlessWindowMask);
        _backgroundWindow->setHasShadow(false);
        _backgroundWindow->setIgnoresMouseEvents(true);
        _backgroundWindow->setReleasedWhenClosed(false);
    }
    _backgroundWindow->setBackgroundColor(
        color.colorUsingSpace(HXColor::Space::DeviceRGB).colorWithAlphaComponent(1));
}

void FSPresentationResizeHelper::setBackgroundWindowFrame(const HXRect& frame)
{
    if (_backgroundWindow)
        _backgroundWindow->setFrame(frame, false);
}

void FSPresentationResizeHelper::setBackgroundAlpha(double alpha)
{
    _backgroundWindowAlpha = alpha;
    if (_backgroundWindow)
        _backgroundWindow->setAlphaValue(alpha);
}

void FSPresentationResizeHelper::groupWindows()
{
    auto window = _fullScreenWindow.lock();
    if (!window)
        return;
    window->orderFront();
    if (_player && _player->window)
        _player->window->orderWindow(HXWindowBelow, window->windowNumber());
    if (_backgroundWindow)
        _backgroundWindow->orderWindow(HXWindowBelow, window->windowNumber());
}

void FSPresentationResizeHelper::ungroupWindows()
{
    if (_backgroundWindow)
        _backgroundWindow->orderOut();
}
