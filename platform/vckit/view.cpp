#include "platform/vckit/view.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <chrono>

// Lets other code find out at run time that the composition layer is in the process.
extern "C" __attribute__((visibility("default"))) const char* VCComposerFrameworkVersion()
{
    return "1.0";
}

VCView::VCView(HXRect frame)
    : HXView(frame)
{
    setPostsFrameChangedNotifications(true);
}

VCView::~VCView()
{
    if (_timer)
        _timer->invalidate();
}

bool VCView::loadComposition(const std::shared_ptr<VCComposition>& composition)
{
    return loadComposition(composition, {}, nullptr);
}

bool VCView::loadComposition(const std::shared_ptr<VCComposition>& composition,
    const HXPropertyList::Dictionary& options, bool* stateOK)
{
    if (stateOK)
        *stateOK = composition != nullptr;
    if (!composition)
        return false;
    if (isRendering())
        stopRendering();
    _composition = composition;
    auto safe = options.find(VCViewEnableSafeModeOption);
    _safeMode = safe != options.end() && safe->second.boolValue();
    _renderTime = 0;
    setNeedsDisplay(true);
    return true;
}

bool VCView::loadCompositionFromFile(const std::string& path, HXError* outError)
{
    return loadComposition(VCComposition::compositionWithFile(path, outError));
}

void VCView::unloadComposition()
{
    stopRendering();
    _composition.reset();
    setNeedsDisplay(true);
}

bool VCView::startRendering()
{
    if (!_composition)
        return false;
    if (isRendering())
        return true;
    _lastTick = HXRunLoop::main().now();
    _frames.clear();
    scheduleTimer();
    HXNotificationCenter::defaultCenter().postNotificationName(VCViewDidStartRenderingNotification, this);
    return true;
}

void VCView::scheduleTimer()
{
    if (_timer)
        _timer->invalidate();
    _timer = HXTimer::scheduledTimer(1.0 / _frameRate, true, [this](HXTimer&) { renderFrame(); },
        { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode, HXModalPanelRunLoopMode });
}

void VCView::stopRendering()
{
    if (!_timer)
        return;
    _timer->invalidate();
    _timer.reset();
    _paused = false;
    _frames.clear();
    HXNotificationCenter::defaultCenter().postNotificationName(VCViewDidStopRenderingNotification, this);
}

void VCView::pauseRendering()
{
    if (isRendering())
        _paused = true;
}

void VCView::resumeRendering()
{
    if (!_paused)
        return;
    _paused = false;
    _lastTick = HXRunLoop::main().now();
}

void VCView::setRenderTime(double seconds)
{
    _renderTime = std::max(0.0, seconds);
    setNeedsDisplay(true);
}

void VCView::setMaxRenderingFrameRate(double fps)
{
    _frameRate = std::clamp(fps, 1.0, 120.0);
    if (isRendering())
        scheduleTimer();
}

void VCView::renderFrame()
{
    double now = HXRunLoop::main().now();
    if (!_paused)
        _renderTime += std::max(0.0, now - _lastTick);
    _lastTick = now;
    auto started = std::chrono::steady_clock::now();
    setNeedsDisplay(true);
    if (auto w = window())
        w->displayIfNeeded();
    double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    _frames.emplace_back(now, spent);
    while (!_frames.empty() && _frames.front().first <= now - 1.0)
        _frames.pop_front();
}

double VCView::averageFrameRate() const
{
    if (!isRendering() || _frames.size() < 2)
        return 0;
    double span = _frames.back().first - _frames.front().first;
    return span > 0 ? double(_frames.size() - 1) / span : 0;
}

double VCView::averageLoad() const
{
    if (!isRendering() || _frames.empty())
        return 0;
    double spent = 0;
    for (const auto& f : _frames)
        spent += f.second;
    return std::min(100.0, spent / double(_frames.size()) * _frameRate * 100);
}

void VCView::drawRect(HXRect)
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    cairo_t* cr = context->cairo();
    HXRect b = bounds();
    if (_drawsBackground) {
        double r, g, bl, a;
        _eraseColor.getRed(&r, &g, &bl, &a);
        cairo_save(cr);
        cairo_set_source_rgba(cr, r, g, bl, a);
        cairo_rectangle(cr, b.origin.x, b.origin.y, b.size.width, b.size.height);
        cairo_fill(cr);
        if (_checkerboard > 0) {
            cairo_set_source_rgba(cr, 0.8, 0.8, 0.8, 1);
            int columns = int(b.size.width / _checkerboard) + 1,
                rows = int(b.size.height / _checkerboard) + 1;
            for (int y = 0; y < rows; ++y)
                for (int x = (y % 2); x < columns; x += 2)
                    cairo_rectangle(cr, b.origin.x + x * _checkerboard, b.origin.y + y * _checkerboard,
                        _checkerboard, _checkerboard);
            cairo_fill(cr);
        }
        cairo_restore(cr);
    }
    if (_composition)
        _composition->renderAtTime(cr, b, _renderTime, _safeMode);
}

bool VCView::enterFullScreenMode(
    const std::optional<HXScreen>& screen, const HXPropertyList::Dictionary& options)
{
    (void)options;
    if (isInFullScreenMode())
        return true;
    auto target = screen ? screen : HXScreen::mainScreen();
    if (!target)
        return false;
    auto self = std::static_pointer_cast<HXView>(shared_from_this());
    _formerSuperview = superview();
    _formerFrame = frame();
    _formerWindow = window();
    auto fullScreen = std::make_shared<HXWindow>(target->frame(), HXBorderlessWindowMask);
    fullScreen->setReleasedWhenClosed(false);
    fullScreen->setLevel(HXScreenSaverWindowLevel);
    removeFromSuperview();
    setFrame(HXRect { {}, target->frame().size });
    fullScreen->contentView()->addSubview(self);
    _fullScreenWindow = fullScreen;
    fullScreen->setFullScreen(true, target);
    fullScreen->makeKeyAndOrderFront();
    fullScreen->makeFirstResponder(self);
    return true;
}

void VCView::exitFullScreenModeWithOptions(const HXPropertyList::Dictionary& options)
{
    (void)options;
    if (!_fullScreenWindow)
        return;
    auto self = std::static_pointer_cast<HXView>(shared_from_this());
    auto fullScreen = std::move(_fullScreenWindow);
    removeFromSuperview();
    fullScreen->orderOut();
    fullScreen->close();
    setFrame(_formerFrame);
    if (auto former = _formerSuperview.lock())
        former->addSubview(self);
    if (auto w = _formerWindow.lock())
        w->makeKeyAndOrderFront();
}
