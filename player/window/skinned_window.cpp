#include "player/window/skinned_window.h"

#include "document/movie_document.h"
#include "player/window/movie_window_controller_resizing.h"
#include "player/window/window_controller.h"

#include "platform/basekit/user_defaults.h"
#include "platform/winkit/application.h"

#include <limits>

HXAffineTransform MVPAffineTransformMakeRectToRect(const HXRect& from, const HXRect& to)
{
    HXAffineTransformStruct m;
    m.m11 = to.size.width / from.size.width;
    m.m12 = 0;
    m.m21 = 0;
    m.m22 = to.size.height / from.size.height;
    m.tX = to.origin.x - from.origin.x * m.m11;
    m.tY = to.origin.y - from.origin.y * m.m22;
    return HXAffineTransform(m);
}

int MVPNewRegionByTransformingRegion(
    const HXRegion& region, const HXAffineTransform& transform, HXRegion* outRegion)
{
    if (transform.isIdentity()) {
        if (!outRegion)
            return MVPRegionTransformNoResult;
        *outRegion = region;
        return 0;
    }
    std::vector<HXRect> rects;
    rects.reserve(size_t(region.rectCount()));
    region.enumerateRects(
        [&](const HXRect& r) { rects.push_back(HXRectApplyAffineTransform(r, transform)); });
    HXRegion result = HXRegion::regionWithRects(rects);
    if (outRegion)
        *outRegion = std::move(result);
    return 0;
}

HXRect MVPFlippedFrame(const HXRect& frame, const HXRect& firstScreenFrame)
{
    HXRect flipped = frame;
    flipped.origin.y = HXMaxY(firstScreenFrame) - HXMaxY(frame);
    return flipped;
}

HXRect MVPWindowFlippedFrame(const HXWindow& window)
{
    auto screens = HXScreen::screens();
    return MVPFlippedFrame(window.frame(), screens.empty() ? HXZeroRect : screens.front().frame());
}

// ---- MVPSkinFrame ----

void MVPSkinFrame::setClipRegion(const std::optional<HXRegion>& region)
{
    if (region != _defaultClip)
        _defaultClip = region;
}

void MVPSkinFrame::setDragRegion(const std::optional<HXRegion>& region)
{
    if (region != _defaultDrag)
        _defaultDrag = region;
}

std::optional<HXRegion> MVPSkinFrame::scaled(
    const std::optional<HXRegion>& region, const HXSize& frameSize) const
{
    if (!region || _defaultBounds.size.width <= 0 || _defaultBounds.size.height <= 0)
        return std::nullopt;
    HXRegion result;
    MVPNewRegionByTransformingRegion(
        *region, MVPAffineTransformMakeRectToRect(_defaultBounds, HXRect { {}, frameSize }), &result);
    return result;
}

std::optional<HXRegion> MVPSkinFrame::shapeForFrameSize(const HXSize& frameSize) const
{
    return scaled(_defaultClip, frameSize);
}

std::optional<HXRegion> MVPSkinFrame::dragAreaForFrameSize(const HXSize& frameSize) const
{
    return scaled(_defaultDrag, frameSize);
}

bool MVPSkinFrame::hitsDragRegion(const HXPoint& p, const HXRect& frame) const
{
    if (!_defaultDrag || frame.size.width <= 0 || frame.size.height <= 0)
        return false;
    // Into natural coordinates, whose y grows downwards.
    double x
        = (p.x - frame.origin.x) / frame.size.width * _defaultBounds.size.width + _defaultBounds.origin.x;
    double y = (frame.size.height + frame.origin.y - p.y) / frame.size.height * _defaultBounds.size.height
        + _defaultBounds.origin.y;
    return _defaultDrag->containsPoint({ x, y });
}

// ---- MVPSkinWindow ----

MVPSkinWindow::MVPSkinWindow(HXRect contentRect, unsigned styleMask)
    : MVPMovieUIWindow(contentRect, styleMask)
{
    setOpaque(false);
    setBackgroundColor(HXColor::clearColor());
    setActionHandler("performClose:", [this](HXObject* sender) { performSkinClose(sender); });
    setActionHandler("performMiniaturize:", [this](HXObject* sender) { miniaturize(sender); });
    setActionHandler("performZoom:", [this](HXObject* sender) { performSkinZoom(sender); });
    setActionHandler("fitToScreen:", [this](HXObject* sender) { fitToScreen(sender); });
    _resizeObserver = HXNotificationCenter::defaultCenter().addObserver(
        this, HXWindowDidResizeNotification, this, [this](const HXNotification&) { shapeWindow(); });
}

MVPSkinWindow::~MVPSkinWindow()
{
    if (_resizeObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_resizeObserver);
}

void MVPSkinWindow::setClipRegion(
    const std::optional<HXRegion>& clip, const std::optional<HXRegion>& drag, const HXRect& boundingBox)
{
    _frame.setClipRegion(clip);
    _frame.setDragRegion(drag);
    _frame.setBoundingBox(boundingBox);
    _shapedSize = {};
    shapeWindow();
}

void MVPSkinWindow::shapeWindow()
{
    HXSize size = frame().size;
    if (size == _shapedSize)
        return;
    _shapedSize = size;
    // Without a clip region the window keeps its rectangle.
    setWindowShape(_frame.shapeForFrameSize(size));
    _dragArea = _frame.dragAreaForFrameSize(size);
}

void MVPSkinWindow::performSkinClose(HXObject* sender)
{
    if (attachedSheet())
        return;
    // The document's close path: the controller closes the document with its window.
    performClose(sender);
}

bool MVPSkinWindow::validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item)
{
    HXSelector action = item.action();
    if (action == HXSelector("performZoom:") || action == HXSelector("performMiniaturize:"))
        return true;
    if (action == HXSelector("performClose:"))
        return attachedSheet() == nullptr;
    return MVPMovieUIWindow::validateUserInterfaceItem(item);
}

void MVPSkinWindow::zoomWindow(bool toggle)
{
    HXRect current = frame();
    auto screen = this->screen();
    if (!screen)
        return;
    HXRect fitted = MVPBestRectWithAspectRatio(screen->visibleFrame(), current.size);
    if (HXEqualRects(_userFrame, HXZeroRect))
        _userFrame = current;
    HXRect target = fitted;
    if (toggle) {
        if (MVPEqualRectsWithinDelta(fitted, current, 35))
            target = _userFrame;
        else
            _userFrame = current;
    }
    setFrame(target, true, false);
    if (auto controller = std::dynamic_pointer_cast<MVPWindowController>(windowController()))
        if (auto doc = controller->movieDocument())
            doc->setUserSize(target.size);
}

void MVPSkinWindow::sendEvent(const HXEvent& event)
{
    bool inFrame = HXPointInRect(event.locationInWindow(), HXRect { {}, frame().size });
    if (isVisible() && inFrame
        && _frame.hitsDragRegion(event.locationInWindow(), HXRect { {}, frame().size })) {
        if (event.type() == HXLeftMouseDown) {
            if (event.clickCount() == 2
                && HXUserDefaults::standardUserDefaults().boolForKey("HXMiniaturizeOnDoubleClick")) {
                miniaturize(nullptr);
                return;
            }
            if (canBecomeKeyWindow() && !isKeyWindow())
                makeKeyAndOrderFront();
            dragWindowFrom(event);
            return;
        }
    }
    MVPMovieUIWindow::sendEvent(event);
}

void MVPSkinWindow::dragWindowFrom(const HXEvent& down)
{
    auto keep = shared_from_this();
    HXPoint startMouse = convertBaseToScreen(down.locationInWindow());
    HXPoint startOrigin = frame().origin;
    for (;;) {
        auto next = HXApplication::sharedApplication()->nextEventMatchingMask(
            HXLeftMouseDraggedMask | HXLeftMouseUpMask, std::numeric_limits<double>::infinity(),
            HXEventTrackingRunLoopMode, true);
        if (!next)
            break;
        HXPoint mouse = convertBaseToScreen(next->locationInWindow());
        HXPoint origin { startOrigin.x + mouse.x - startMouse.x, startOrigin.y + mouse.y - startMouse.y };
        if (!(origin == frame().origin))
            setFrameOrigin(origin);
        if (next->type() == HXLeftMouseUp)
            break;
    }
}
