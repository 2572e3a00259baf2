#include "player/window/movie_window_controller_resizing.h"

#include "player/window/movie_window_bevel_view.h"

#include "platform/winkit/event.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>

MVPMovieWindowMargins MVPMovieWindowMarginsMake(
    const HXSize& bevelMinEdges, const HXSize& bevelMaxEdges, double controlsStripHeight)
{
    MVPMovieWindowMargins m;
    m.left = float(bevelMinEdges.width);
    m.right = float(bevelMaxEdges.width);
    m.top = float(bevelMaxEdges.height);
    m.bottom = float(controlsStripHeight + bevelMinEdges.height);
    return m;
}

MVPMovieWindowMargins MVPMovieWindowMarginsForViews(
    const MVPMovieWindowBevelView& bevelView, const HXView& controlsStrip)
{
    HXSize minEdges
        = bevelView.convertSizeToView(HXMakeSize(bevelView.contentBorderThicknessForEdge(HXMinXEdge),
                                          bevelView.contentBorderThicknessForEdge(HXMinYEdge)),
            nullptr);
    HXSize maxEdges
        = bevelView.convertSizeToView(HXMakeSize(bevelView.contentBorderThicknessForEdge(HXMaxXEdge),
                                          bevelView.contentBorderThicknessForEdge(HXMaxYEdge)),
            nullptr);
    double strip = MVPMinimumWindowContentSizeForControlsStrip(controlsStrip).height;
    return MVPMovieWindowMarginsMake(minEdges, maxEdges, strip);
}

HXSize MVPMinimumWindowContentSizeForControlsStrip(const HXView& controlsStrip)
{
    return controlsStrip.convertSizeToView(HXMakeSize(350, controlsStrip.bounds().size.height), nullptr);
}

HXRect MVPBestRectWithAspectRatio(const HXRect& bounds, const HXSize& aspect)
{
    double aw = aspect.width, ah = aspect.height;
    if (!(aw > 0) || !(ah > 0) || !std::isfinite(aw) || !std::isfinite(ah))
        return bounds;
    double x = bounds.origin.x, y = bounds.origin.y, w = bounds.size.width, h = bounds.size.height;
    float sx = float(w / aw), sy = float(h / ah);
    if (sy > sx) {
        float height = float(sx * ah);
        return HXMakeRect(x, y + float((h - height) * 0.5), w, height);
    }
    float width = float(sy * aw);
    return HXMakeRect(x + float((w - width) * 0.5), y, width, h);
}

HXRect MVPPixelAlignedRect(const HXRect& rect)
{
    double width = std::round(rect.size.width), height = std::round(rect.size.height);
    if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height))
        return HXZeroRect;
    double x = std::floor(HXMidX(rect) - width * 0.5 + 0.5);
    double y = std::floor(HXMidY(rect) - height * 0.5 + 0.5);
    return HXMakeRect(x, y, width, height);
}

HXSize MVPScaledMovieSize(const HXSize& natural, const HXSize& factors)
{
    return HXMakeSize(std::round(natural.width * factors.width), std::round(natural.height * factors.height));
}

bool MVPEqualRectsWithinDelta(const HXRect& a, const HXRect& b, float delta)
{
    return std::fabs(HXMinX(a) - HXMinX(b)) < delta && std::fabs(HXMaxX(a) - HXMaxX(b)) < delta
        && std::fabs(HXMinY(a) - HXMinY(b)) < delta && std::fabs(HXMaxY(a) - HXMaxY(b)) < delta;
}

HXRect MVPBevelFrameAboveControlsStrip(const HXRect& controlsStripFrame, const HXRect& contentViewBounds)
{
    double y = HXMaxY(controlsStripFrame);
    return HXMakeRect(
        HXMinX(controlsStripFrame), y, HXWidth(controlsStripFrame), HXMaxY(contentViewBounds) - y);
}

float MVPSnappedMagicScale(float scale)
{
    for (size_t i = 0; i + 1 < magicScalesArray.size(); ++i) {
        float sum = magicScalesArray[i] + magicScalesArray[i + 1];
        if (double(sum) * 0.5 > scale)
            return magicScalesArray[i];
    }
    return magicScalesArray.back();
}

HXRect MVPMovieWindowControllerResizing::windowFrame() const
{
    auto window = resizedWindow();
    return window ? window->frame() : HXZeroRect;
}

void MVPMovieWindowControllerResizing::setWindowFrame(const HXRect& frame, bool display, bool animate)
{
    if (auto window = resizedWindow())
        window->setFrame(frame, display, animate);
}

HXRect MVPMovieWindowControllerResizing::windowFrameRectForContentRect(const HXRect& contentRect) const
{
    auto window = resizedWindow();
    return window ? window->frameRectForContentRect(contentRect) : contentRect;
}

HXRect MVPMovieWindowControllerResizing::windowContentRectForFrameRect(const HXRect& frameRect) const
{
    auto window = resizedWindow();
    return window ? window->contentRectForFrameRect(frameRect) : frameRect;
}

HXRect MVPMovieWindowControllerResizing::visibleScreenFrame() const
{
    auto window = resizedWindow();
    std::optional<HXScreen> screen = window ? window->screen() : std::nullopt;
    if (!screen)
        screen = HXScreen::mainScreen();
    return screen ? screen->visibleFrame() : windowFrame();
}

uint32_t MVPMovieWindowControllerResizing::currentModifierFlags() const
{
    auto window = resizedWindow();
    if (const HXEvent* event = window ? window->currentEvent() : nullptr)
        return event->modifierFlags();
    return HXEvent::modifierFlagsNow();
}

bool MVPMovieWindowControllerResizing::isSoundOnly() const
{
    HXSize natural = naturalSize();
    return natural.width == 0 || natural.height == 0;
}

// The frame of the smallest content area, at the origin.
HXRect MVPMovieWindowControllerResizing::minimumFrame() const
{
    HXSize minimum = minimumWindowContentSize();
    return windowFrameRectForContentRect(HXMakeRect(0, 0, minimum.width, minimum.height));
}

HXRect MVPMovieWindowControllerResizing::windowFrameForMovieViewScreenFrame(const HXRect& movieRect) const
{
    MVPMovieWindowMargins m = margins();
    float x = float(movieRect.origin.x), y = float(movieRect.origin.y);
    float w = float(movieRect.size.width), h = float(movieRect.size.height);
    float neededWidth = m.left + w + m.right;
    float minimumWidth = float(minimumWindowContentSize().width);
    float contentX, contentWidth;
    if (neededWidth < minimumWidth) {
        contentWidth = minimumWidth;
        contentX = x + w * 0.5f - minimumWidth * 0.5f;
    } else {
        contentWidth = neededWidth;
        contentX = x - m.left;
    }
    float contentY = y - m.bottom;
    float contentHeight = m.bottom + h + m.top;
    return windowFrameRectForContentRect(HXMakeRect(contentX, contentY, contentWidth, contentHeight));
}

void MVPMovieWindowControllerResizing::setMovieSize(const HXSize& size, int resizeMode, bool animate)
{
    if (isMovieViewDetached())
        return;
    float w = float(size.width), h = float(size.height);
    HXSize natural = naturalSize();
    float nw = float(natural.width), nh = float(natural.height);

    // A size within 2 points of the natural proportions is shown with them kept; any other is stretched.
    bool keepsAspect = nw != 0 && nh != 0 && std::fabs(nw * h / nh - w) < 2 && std::fabs(nh * w / nw - h) < 2;
    setPreservesAspectRatio(keepsAspect);

    HXRect current = windowFrame();
    HXRect target;
    if (isSoundOnly()) {
        target = minimumFrame();
        if (current.size.width > target.size.width || current.size.height > target.size.height)
            target.size.width = current.size.width;
    } else {
        target = windowFrameForMovieViewScreenFrame(HXMakeRect(0, 0, w, h));
    }

    double fw = target.size.width, fh = target.size.height;
    double x = target.origin.x, y = target.origin.y;
    if (resizeMode == 0) {
        x = current.origin.x;
        y = float(HXMaxY(current) - fh);
    } else if (resizeMode == 1) {
        y = float(HXMaxY(current) - fh);
        x = current.origin.x + (current.size.width - fw) * 0.5;
    }

    HXRect visible = visibleScreenFrame();
    y = std::max(HXMinY(visible), y);
    if (x + fw > HXMaxX(visible))
        x = HXMaxX(visible) - fw;
    if (y + fh > HXMaxY(visible))
        y = HXMaxY(visible) - fh;
    x = std::max(HXMinX(visible), x);

    HXRect frame = HXMakeRect(x, y, fw, fh);
    if (frame == current) {
        // The window stays, so no resize will record the size asked for: record it here.
        if (size != userSize())
            setUserSize(size);
        return;
    }
    setWindowFrame(frame, true, animate);
}

void MVPMovieWindowControllerResizing::setScale(const HXSize& factors, bool animate)
{
    setMovieSize(MVPScaledMovieSize(naturalSize(), factors), 1, animate);
}

HXSize MVPMovieWindowControllerResizing::windowWillResize(const HXSize& proposedFrameSize)
{
    if (isMovieViewDetached())
        return proposedFrameSize;
    HXSize minimum = minimumWindowContentSize();
    if (isSoundOnly()) {
        // Only the width follows the drag, and never below the narrowest window.
        double width = std::max(proposedFrameSize.width, minimum.width);
        return windowFrameRectForContentRect(HXMakeRect(0, 0, width, minimum.height)).size;
    }

    uint32_t flags = currentModifierFlags();
    bool aspectLocked = !(flags & HXShiftKeyMask);
    MVPMovieWindowMargins m = margins();
    HXRect content
        = windowContentRectForFrameRect(HXMakeRect(0, 0, proposedFrameSize.width, proposedFrameSize.height));
    float movieWidth = std::max(16.0f, float(content.size.width) - m.left - m.right);
    float movieHeight = std::max(16.0f, float(content.size.height) - m.top - m.bottom);

    if (aspectLocked) {
        HXSize natural = naturalSize();
        float nw = float(natural.width), nh = float(natural.height);
        float scale = std::min(movieWidth / nw, movieHeight / nh);
        if (flags & HXAlternateKeyMask)
            scale = MVPSnappedMagicScale(scale);
        movieWidth = nw * scale;
        movieHeight = nh * scale;
    }
    setPreservesAspectRatio(aspectLocked);

    float contentHeight = m.top + movieHeight + m.bottom;
    float contentWidth = std::max(m.left + movieWidth + m.right, float(minimum.width));
    return windowFrameRectForContentRect(HXMakeRect(0, 0, contentWidth, contentHeight)).size;
}

void MVPMovieWindowControllerResizing::windowDidResize()
{
    if (isMovieViewDetached())
        return;
    layoutBevelAboveControlsStrip();
    setUserSize(movieSize());
}

void MVPMovieWindowControllerResizing::zoom()
{
    bool animate = usesVisualContext();
    HXRect current = windowFrame();
    HXSize standard = isSoundOnly()
        ? minimumFrame().size
        : windowFrameForMovieViewScreenFrame(HXMakeRect(0, 0, naturalSize().width, naturalSize().height))
              .size;
    // A window that is not at its natural size forgets where it came from: zoom takes it to that size.
    if (!MVPEqualRectsWithinDelta(HXMakeRect(0, 0, current.size.width, current.size.height),
            HXMakeRect(0, 0, standard.width, standard.height), 5))
        _userFrame = HXZeroRect;

    if (_userFrame != HXZeroRect) {
        HXRect back = _userFrame;
        _userFrame = HXZeroRect;
        setWindowFrame(back, true, animate);
        return;
    }
    _userFrame = current;
    if (isSoundOnly())
        setWindowFrame(
            HXMakeRect(current.origin.x, current.origin.y, standard.width, standard.height), true, animate);
    else
        setMovieSize(naturalSize(), 0, animate);
}

HXRect MVPMovieWindowControllerResizing::fittedFrame(bool capsLock) const
{
    HXRect visible = visibleScreenFrame();
    HXSize minimum = minimumWindowContentSize();
    double x, y, width, height;
    if (!isSoundOnly()) {
        MVPMovieWindowMargins m = margins();
        HXRect content = windowContentRectForFrameRect(visible);
        float availableWidth = float(content.size.width) - (m.right + m.left);
        float availableHeight = float(content.size.height) - (m.bottom + m.top);
        if (capsLock) {
            // The controls strip may leave the screen.
            availableWidth = float(content.size.width);
            availableHeight = float(content.size.height) - m.top;
        }
        HXSize natural = naturalSize();
        float aspect = float(natural.width / natural.height);
        float contentWidth, contentHeight;
        if (aspect > availableWidth / availableHeight) {
            contentWidth = std::max(m.left + availableWidth + m.right, float(minimum.width));
            contentHeight
                = float(std::max((1.0 / aspect) * availableWidth + m.bottom + m.top, minimum.height));
        } else {
            contentWidth = std::max(aspect * availableHeight + m.left + m.right, float(minimum.width));
            contentHeight = std::max(availableHeight + m.bottom + m.top, float(minimum.height));
        }
        HXSize frameSize = windowFrameRectForContentRect(HXMakeRect(0, 0, contentWidth, contentHeight)).size;
        width = frameSize.width;
        height = frameSize.height;
        x = float(HXMinX(visible) + (HXWidth(visible) - width) * 0.5);
        y = float(HXMinY(visible) + (HXHeight(visible) - height) * 0.5);
    } else {
        height = minimumFrame().size.height;
        width = std::max(HXWidth(visible), minimum.width);
        x = HXMinX(visible);
        y = std::max(HXMaxY(windowFrame()) - height, HXMinY(visible)); // the top edge stays
    }
    if (y + height > HXMaxY(visible))
        y = HXMaxY(visible) - height;
    if (x < HXMinX(visible) && !capsLock)
        x = HXMinX(visible);
    return HXMakeRect(x, y, width, height);
}

void MVPMovieWindowControllerResizing::zoomWindow(bool toggle)
{
    bool animate = usesVisualContext();
    HXRect fitted = fittedFrame(currentModifierFlags() & HXAlphaShiftKeyMask);
    if (!toggle) {
        setWindowFrame(fitted, true, animate);
        return;
    }
    HXRect current = windowFrame();
    if (_userFrame == HXZeroRect)
        _userFrame = current;
    if (MVPEqualRectsWithinDelta(current, fitted, 35)) {
        setWindowFrame(_userFrame, true, animate);
        return;
    }
    _userFrame = current;
    setWindowFrame(fitted, true, animate);
}
