#include "player/timeline/slider_rect_view.h"

#include "platform/basekit/run_loop.h"
#include "platform/drawing/image.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"
#include "player/controls/image_drawing.h"
#include "player/timeline/slider_geometry.h"
#include "player/timeline/slider_media_source_protocol.h"
#include "player/timeline/slider_view.h"

#include <algorithm>

namespace {

struct TrackImages {
    const char* left;
    const char* center;
    const char* right;
    const char* unloadedCenter;
    const char* unloadedRight;
};

const TrackImages& imagesForStyle(unsigned style)
{
    static const TrackImages player { "LCDSliderLeft.tif", "LCDSliderCenter.tif", "LCDSliderRight.tif",
        "LCDSliderProgressiveDownloadCenter.tif", "LCDSliderProgressiveDownloadRight.tif" };
    static const TrackImages fullScreen { "FSLCDSliderLeft.tif", "FSLCDSliderCenter.tif",
        "FSLCDSliderRight.tif", "FSLCDSliderProgressiveDownloadCenter.tif",
        "FSLCDSliderProgressiveDownloadRight.tif" };
    return style == MVPSliderGeometry::kFullScreenStyle ? fullScreen : player;
}

double imageWidth(const char* name)
{
    auto image = HXImage::imageNamed(name);
    return image ? image->size().width : 0;
}

} // namespace

MVPSliderRectView::MVPSliderRectView(HXRect frame, MVPSliderMediaSourceProtocol* source, unsigned style)
    : HXView(frame)
    , _mediaSource(source)
    , _style(style)
{
}

MVPSliderRectView::~MVPSliderRectView()
{
    HXRunLoop::main().cancelPerformRequests(this);
}

void MVPSliderRectView::setStyle(unsigned style)
{
    _style = style;
    setNeedsDisplay(true);
}

std::shared_ptr<MVPSliderView> MVPSliderRectView::sliderView() const
{
    return std::dynamic_pointer_cast<MVPSliderView>(superview());
}

// ---- Drawing

void MVPSliderRectView::drawRect(HXRect dirtyRect)
{
    if (!_mediaSource)
        return;
    const TrackImages& images = imagesForStyle(_style);
    HXRect b = bounds();
    double loaded = _mediaSource->loadPercent();
    if (loaded >= 1) {
        DrawThreePartHorizontalImage(
            b, dirtyRect, false, images.left, images.center, images.right, HXCompositeSourceOver, 1);
    } else {
        // The loaded part up to its fraction of the width, then the unloaded pattern ending in its cap.
        double lw = b.size.width * std::max(loaded, 0.0);
        double cw = imageWidth(images.left);
        double rw = imageWidth(images.unloadedRight);
        auto left = HXImage::imageNamed(images.left);
        if (left)
            left->drawInRect(
                HXMakeRect(b.origin.x, b.origin.y, cw, b.size.height), HXZeroRect, HXCompositeSourceOver, 1);
        if (lw > cw)
            DrawHorizontalTileImage(HXMakeRect(b.origin.x + cw, b.origin.y, lw - cw, b.size.height), false,
                false, images.center, HXCompositeSourceOver, 1);
        double unloadedX = std::max(b.origin.x + lw, b.origin.x + cw);
        double unloadedWidth = b.origin.x + b.size.width - rw - unloadedX;
        if (unloadedWidth > 0)
            DrawHorizontalTileImage(HXMakeRect(unloadedX, b.origin.y, unloadedWidth, b.size.height), false,
                true, images.unloadedCenter, HXCompositeSourceOver, 1);
        if (auto right = HXImage::imageNamed(images.unloadedRight))
            right->drawInRect(HXMakeRect(b.origin.x + b.size.width - rw, b.origin.y, rw, b.size.height),
                HXZeroRect, HXCompositeSourceOver, 1);
    }
    if (_selectionDurationPercent > 0) {
        HXRect band
            = MVPSliderGeometry::selectionRect(b, _selectionStartPercent, _selectionDurationPercent, false);
        if (!HXIsEmptyRect(HXIntersectionRect(band, dirtyRect)))
            DrawScaledImage(band, false, "LCDSliderSelectionFill.tif", HXCompositeSourceOver, 1);
    }
}

void MVPSliderRectView::updateSelection()
{
    if (!_mediaSource)
        return;
    double s = _mediaSource->selectionStartPercent();
    double d = _mediaSource->selectionDurationPercent();
    double from = std::min(s, _selectionStartPercent);
    double to = std::max(s + d, _selectionStartPercent + _selectionDurationPercent);
    _selectionStartPercent = s;
    _selectionDurationPercent = d;
    HXRect dirty
        = MVPSliderGeometry::selectionInvalidationRect(bounds(), std::min(from, to), std::abs(to - from));
    if (window())
        displayRect(dirty);
    else
        setNeedsDisplayInRect(dirty);
}

void MVPSliderRectView::updateLoadPercent()
{
    if (window())
        display();
    else
        setNeedsDisplay(true);
}

// ---- Time operations

MVTime MVPSliderRectView::currentTime() const
{
    return _mediaSource ? _mediaSource->currentTime() : MVZeroTime;
}

void MVPSliderRectView::setCurrentTime(MVTime time)
{
    if (_mediaSource)
        _mediaSource->setCurrentTime(time);
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderRectView::stepForward()
{
    if (_mediaSource)
        _mediaSource->stepForward();
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderRectView::stepBackward()
{
    if (_mediaSource)
        _mediaSource->stepBackward();
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

// ---- Scrubbing

void MVPSliderRectView::scrub(const HXEvent& event)
{
    if (!_mediaSource)
        return;
    HXPoint local = convertPointFromView(event.locationInWindow(), nullptr);
    double p = MVPSliderGeometry::stripPercent(local.x, bounds().size.width);
    // Shift held now extends the selection.
    if (HXEvent::modifierFlagsNow() & HXShiftKeyMask) {
        if (_mediaSource->selectionDurationPercent() == 0) {
            double c = _mediaSource->currentTimePercent();
            if (p > c)
                _mediaSource->setSelectionStartPercentSelectionEndPercent(c, p);
            else if (c > p)
                _mediaSource->setSelectionStartPercentSelectionEndPercent(p, c);
            else
                _mediaSource->setSelectionPercent(p);
        } else {
            _mediaSource->setSelectionPercent(p);
        }
    }
    _mediaSource->setCurrentTimePercent(p);
    sendAction();
}

void MVPSliderRectView::sendAction()
{
    if (auto target = _target.lock())
        target->performAction(_action, this);
}

void MVPSliderRectView::mouseDown(const HXEvent& event)
{
    if (_enableScrubbing && _mediaSource) {
        _mediaSource->pause();
        scrub(event);
    }
    HXPoint local = convertPointFromView(event.locationInWindow(), nullptr);
    if (_selectionDurationPercent > 0
        && HXPointInRect(local,
            MVPSliderGeometry::selectionRect(
                bounds(), _selectionStartPercent, _selectionDurationPercent, false))) {
        HXEvent press = event;
        HXRunLoop::main().performAfterDelay(this, "startDrag", kDragDelay, [this, press] {
            _draggingTimerRunning = false;
            startDrag(press);
        });
        _draggingTimerRunning = true;
    }
}

void MVPSliderRectView::mouseDragged(const HXEvent& event)
{
    cancelDragTimer();
    if (_enableScrubbing)
        scrub(event);
}

void MVPSliderRectView::mouseUp(const HXEvent&)
{
    cancelDragTimer();
    if (_enableScrubbing && _mediaSource)
        _mediaSource->unpause();
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderRectView::cancelDragTimer()
{
    HXRunLoop::main().cancelPerformRequests(this);
    _draggingTimerRunning = false;
}

void MVPSliderRectView::viewWillMoveToSuperview(HXView* newSuperview)
{
    if (!newSuperview)
        cancelDragTimer();
}

// ---- Dragging the selection out

void MVPSliderRectView::startDrag(const HXEvent& event)
{
    if (!_mediaSource)
        return;
    auto keep = shared_from_this();
    auto self = std::static_pointer_cast<MVPSliderRectView>(keep);
    auto pasteboard = HXPasteboard::pasteboardWithName(HXDragPboard);
    pasteboard->declareTypes(_mediaSource->dragTypes(), self);

    // The current frame at half opacity.
    std::shared_ptr<HXImage> image;
    if (auto frame = _mediaSource->currentFrameImage()) {
        image = HXImage::initWithSize(frame->size());
        image->drawInto([&] {
            frame->drawInRect(HXRect { HXZeroPoint, frame->size() }, HXZeroRect, HXCompositeSourceOver, 0.5);
        });
    }
    HXPoint at = convertPointFromView(event.locationInWindow(), nullptr);
    at.x += 20;
    at.y += 20;
    dragImage(image, at, HXSize {}, event, pasteboard, this, true);

    // The drag took the mouse-up that ends the press: resume what the press paused.
    if (_enableScrubbing && _mediaSource)
        _mediaSource->unpause();
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

unsigned MVPSliderRectView::draggingSourceOperationMaskForLocal(bool)
{
    return HXDragOperationCopy | HXDragOperationMove;
}

void MVPSliderRectView::pasteboardProvideDataForType(HXPasteboard& pasteboard, const std::string& type)
{
    if (_mediaSource)
        _mediaSource->addSelectionToPasteboard(pasteboard, type);
}
