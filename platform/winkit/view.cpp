#include "platform/winkit/view.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/window.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

using Map = HXView::Map;

Map compose(const Map& outer, const Map& inner)
{
    return { outer.sx * inner.sx, outer.sx * inner.tx + outer.tx, outer.sy * inner.sy, outer.sy * inner.ty + outer.ty };
}

HXPoint apply(const Map& m, HXPoint p) { return { m.sx * p.x + m.tx, m.sy * p.y + m.ty }; }

HXPoint applyInverse(const Map& m, HXPoint p)
{
    return { m.sx != 0 ? (p.x - m.tx) / m.sx : 0, m.sy != 0 ? (p.y - m.ty) / m.sy : 0 };
}

HXRect rectFromCorners(HXPoint a, HXPoint b)
{
    return { { std::min(a.x, b.x), std::min(a.y, b.y) }, { std::fabs(b.x - a.x), std::fabs(b.y - a.y) } };
}

HXTrackingRectTag nextTrackingTag = 0;

}  // namespace

HXView::HXView(HXRect frame)
    : _frame(frame)
    , _bounds { {}, frame.size }
{
}

HXView::~HXView() = default;

// Hierarchy

void HXView::addSubview(const std::shared_ptr<HXView>& view) { addSubview(view, true, nullptr); }

void HXView::addSubview(const std::shared_ptr<HXView>& view, bool above, const std::shared_ptr<HXView>& relativeTo)
{
    if (!view || view.get() == this || isDescendantOf(*view))
        return;
    auto self = std::static_pointer_cast<HXView>(shared_from_this());
    auto newWindow = window();
    {
        if (view->window() != newWindow)
            view->viewWillMoveToWindow(newWindow.get());
        view->viewWillMoveToSuperview(this);
        auto keep = view;
        if (auto old = view->superview()) {
            old->willRemoveSubview(*view);
            auto& siblings = old->_subviews;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), view), siblings.end());
            old->setNeedsDisplayInRect(old->convertRectFromView(view->bounds(), view.get()));
        }
        auto it = std::find(_subviews.begin(), _subviews.end(), relativeTo);
        if (it == _subviews.end())
            _subviews.insert(above ? _subviews.end() : _subviews.begin(), view);
        else
            _subviews.insert(above ? it + 1 : it, view);
        view->_superview = self;
        view->setNextResponder(self);
        bool windowChanged = view->window() != newWindow;
        view->setWindowForTree(newWindow);
        view->viewDidMoveToSuperview();
        if (windowChanged)
            view->viewDidMoveToWindow();
        didAddSubview(*view);
        view->setNeedsDisplay(true);
        view->invalidateCursorRects();
    }
}

void HXView::removeFromSuperview()
{
    auto parent = superview();
    if (!parent)
        return;
    auto self = std::static_pointer_cast<HXView>(shared_from_this());
    bool hadWindow = window() != nullptr;
    if (hadWindow)
        viewWillMoveToWindow(nullptr);
    viewWillMoveToSuperview(nullptr);
    parent->willRemoveSubview(*this);
    if (auto w = window()) {
        // A first responder leaving the window hands over to the window.
        auto first = w->firstResponder();
        if (auto firstView = std::dynamic_pointer_cast<HXView>(first); firstView && (firstView.get() == this || firstView->isDescendantOf(*this)))
            w->firstResponderIsLeaving();
    }
    parent->setNeedsDisplayInRect(parent->convertRectFromView(bounds(), this));
    invalidateCursorRects();
    auto& siblings = parent->_subviews;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), self), siblings.end());
    _superview.reset();
    setNextResponder(nullptr);
    setWindowForTree(nullptr);
    viewDidMoveToSuperview();
    if (hadWindow)
        viewDidMoveToWindow();
}

void HXView::replaceSubview(const std::shared_ptr<HXView>& oldView, const std::shared_ptr<HXView>& newView)
{
    auto it = std::find(_subviews.begin(), _subviews.end(), oldView);
    if (it == _subviews.end() || !newView)
        return;
    std::shared_ptr<HXView> below = it + 1 != _subviews.end() ? *(it + 1) : nullptr;
    oldView->removeFromSuperview();
    if (below)
        addSubview(newView, false, below);
    else
        addSubview(newView);
}

bool HXView::isDescendantOf(const HXView& view) const
{
    for (const HXView* v = this; v; v = v->_superview.lock().get()) {
        if (v == &view)
            return true;
    }
    return false;
}

std::shared_ptr<HXView> HXView::ancestorSharedWithView(const HXView& view) const
{
    for (auto v = std::const_pointer_cast<HXView>(std::static_pointer_cast<const HXView>(shared_from_this())); v;
         v = v->superview()) {
        if (view.isDescendantOf(*v))
            return v;
    }
    return nullptr;
}

std::shared_ptr<HXView> HXView::viewWithTag(long tag)
{
    if (this->tag() == tag)
        return std::static_pointer_cast<HXView>(shared_from_this());
    for (auto& sub : _subviews) {
        if (auto found = sub->viewWithTag(tag))
            return found;
    }
    return nullptr;
}

void HXView::setWindowForTree(const std::shared_ptr<HXWindow>& window)
{
    _window = window;
    for (auto& sub : _subviews) {
        if (sub->window() != window)
            sub->viewWillMoveToWindow(window.get());
        sub->setWindowForTree(window);
    }
}

// Geometry

void HXView::setFrame(HXRect frame)
{
    HXSize oldSize = _frame.size;
    HXRect oldFrame = _frame;
    if (oldFrame == frame)
        return;
    if (auto parent = superview())
        parent->setNeedsDisplayInRect(oldFrame);
    _frame = frame;
    if (!(oldSize == frame.size)) {
        // Bounds follow the frame's size unless they were scaled.
        if (_bounds.size == oldSize)
            _bounds.size = frame.size;
        else if (oldSize.width > 0 && oldSize.height > 0)
            _bounds.size = { _bounds.size.width * frame.size.width / oldSize.width,
                _bounds.size.height * frame.size.height / oldSize.height };
    }
    didChangeFrame(oldSize);
}

void HXView::setFrameOrigin(HXPoint origin) { setFrame({ origin, _frame.size }); }
void HXView::setFrameSize(HXSize size) { setFrame({ _frame.origin, size }); }

void HXView::didChangeFrame(HXSize oldSize)
{
    if (!(oldSize == _frame.size) && _autoresizesSubviews)
        resizeSubviewsWithOldSize(oldSize);
    setNeedsDisplay(true);
    invalidateCursorRects();
    if (_postsFrameChanged) {
        if (auto self = weak_from_this().lock())
            HXNotificationCenter::defaultCenter().postNotification(
                HXNotification(HXViewFrameDidChangeNotification, std::static_pointer_cast<HXView>(self)));
        else
            HXNotificationCenter::defaultCenter().postNotificationName(HXViewFrameDidChangeNotification, this);
    }
}

void HXView::setBounds(HXRect bounds)
{
    if (bounds == _bounds)
        return;
    _bounds = bounds;
    setNeedsDisplay(true);
    invalidateCursorRects();
    if (_postsBoundsChanged) {
        if (auto self = weak_from_this().lock())
            HXNotificationCenter::defaultCenter().postNotification(
                HXNotification(HXViewBoundsDidChangeNotification, std::static_pointer_cast<HXView>(self)));
        else
            HXNotificationCenter::defaultCenter().postNotificationName(HXViewBoundsDidChangeNotification, this);
    }
}

void HXView::setBoundsOrigin(HXPoint origin) { setBounds({ origin, _bounds.size }); }
void HXView::setBoundsSize(HXSize size) { setBounds({ _bounds.origin, size }); }

HXRect HXView::visibleRect() const
{
    if (isHiddenOrHasHiddenAncestor())
        return HXZeroRect;
    HXRect visible = _bounds;
    const HXView* child = this;
    for (auto parent = superview(); parent; parent = parent->superview()) {
        HXRect inChild = child->convertRectFromView(parent->bounds(), parent.get());
        visible = HXIntersectionRect(visible, convertRectFromView(child->convertRectToView(inChild, nullptr), nullptr));
        child = parent.get();
    }
    return visible;
}

void HXView::resizeSubviewsWithOldSize(HXSize oldSize)
{
    auto subviews = _subviews;
    for (auto& sub : subviews)
        sub->resizeWithOldSuperviewSize(oldSize);
}

void HXView::resizeWithOldSuperviewSize(HXSize oldSize)
{
    auto parent = superview();
    if (!parent || _autoresizingMask == HXViewNotSizable)
        return;
    HXSize newSize = parent->bounds().size;
    HXRect f = _frame;
    auto distribute = [](double delta, bool minMargin, bool size, bool maxMargin, double& origin, double& extent) {
        int parts = int(minMargin) + int(size) + int(maxMargin);
        if (parts == 0)
            return;
        double share = delta / parts;
        if (minMargin)
            origin += share;
        if (size)
            extent = std::max(0.0, extent + share);
    };
    distribute(newSize.width - oldSize.width, _autoresizingMask & HXViewMinXMargin, _autoresizingMask & HXViewWidthSizable,
        _autoresizingMask & HXViewMaxXMargin, f.origin.x, f.size.width);
    distribute(newSize.height - oldSize.height, _autoresizingMask & HXViewMinYMargin,
        _autoresizingMask & HXViewHeightSizable, _autoresizingMask & HXViewMaxYMargin, f.origin.y, f.size.height);
    setFrame(f);
}

bool HXView::inLiveResize() const
{
    auto w = window();
    return w && w->inLiveResize();
}

// Coordinates

HXView::Map HXView::mapToSuperview() const
{
    Map m;
    double sx = _bounds.size.width != 0 ? _frame.size.width / _bounds.size.width : 1;
    double sy = _bounds.size.height != 0 ? _frame.size.height / _bounds.size.height : 1;
    m.sx = sx;
    m.tx = _frame.origin.x - _bounds.origin.x * sx;
    auto parent = superview();
    bool parentFlipped = parent ? parent->isFlipped() : false;
    if (isFlipped() == parentFlipped) {
        m.sy = sy;
        m.ty = _frame.origin.y - _bounds.origin.y * sy;
    } else {
        m.sy = -sy;
        m.ty = _frame.origin.y + _frame.size.height + _bounds.origin.y * sy;
    }
    return m;
}

HXView::Map HXView::mapToBase() const
{
    Map m = mapToSuperview();
    for (auto parent = superview(); parent; parent = parent->superview())
        m = compose(parent->mapToSuperview(), m);
    return m;
}

HXPoint HXView::convertPointToView(HXPoint point, const HXView* view) const
{
    HXPoint base = apply(mapToBase(), point);
    return view ? applyInverse(view->mapToBase(), base) : base;
}

HXPoint HXView::convertPointFromView(HXPoint point, const HXView* view) const
{
    HXPoint base = view ? apply(view->mapToBase(), point) : point;
    return applyInverse(mapToBase(), base);
}

HXSize HXView::convertSizeToView(HXSize size, const HXView* view) const
{
    HXPoint a = convertPointToView({ 0, 0 }, view);
    HXPoint b = convertPointToView({ size.width, size.height }, view);
    return { std::fabs(b.x - a.x), std::fabs(b.y - a.y) };
}

HXSize HXView::convertSizeFromView(HXSize size, const HXView* view) const
{
    HXPoint a = convertPointFromView({ 0, 0 }, view);
    HXPoint b = convertPointFromView({ size.width, size.height }, view);
    return { std::fabs(b.x - a.x), std::fabs(b.y - a.y) };
}

HXRect HXView::convertRectToView(HXRect rect, const HXView* view) const
{
    return rectFromCorners(convertPointToView(rect.origin, view),
        convertPointToView({ HXMaxX(rect), HXMaxY(rect) }, view));
}

HXRect HXView::convertRectFromView(HXRect rect, const HXView* view) const
{
    return rectFromCorners(convertPointFromView(rect.origin, view),
        convertPointFromView({ HXMaxX(rect), HXMaxY(rect) }, view));
}

HXPoint HXView::convertPointToScreen(HXPoint point) const
{
    HXPoint base = convertPointToView(point, nullptr);
    auto w = window();
    return w ? w->convertBaseToScreen(base) : base;
}

HXPoint HXView::convertPointFromScreen(HXPoint point) const
{
    auto w = window();
    return convertPointFromView(w ? w->convertScreenToBase(point) : point, nullptr);
}

HXRect HXView::convertRectToScreen(HXRect rect) const
{
    HXRect base = convertRectToView(rect, nullptr);
    auto w = window();
    return w ? w->convertRectToScreen(base) : base;
}

// Visibility and drawing

void HXView::setHidden(bool hidden)
{
    if (_hidden == hidden)
        return;
    _hidden = hidden;
    if (auto parent = superview())
        parent->setNeedsDisplayInRect(_frame);
    invalidateCursorRects();
    if (hidden) {
        if (auto w = window()) {
            auto firstView = std::dynamic_pointer_cast<HXView>(w->firstResponder());
            if (firstView && firstView->isDescendantOf(*this))
                w->firstResponderIsLeaving();
        }
    }
}

bool HXView::isHiddenOrHasHiddenAncestor() const
{
    for (const HXView* v = this; v; v = v->_superview.lock().get()) {
        if (v->_hidden)
            return true;
    }
    return false;
}

void HXView::setNeedsDisplay(bool flag)
{
    if (flag)
        setNeedsDisplayInRect(_bounds);
    else {
        _needsDisplay = false;
        _dirtyRect = HXZeroRect;
    }
}

void HXView::setNeedsDisplayInRect(HXRect rect)
{
    rect = HXIntersectionRect(rect, _bounds);
    if (HXIsEmptyRect(rect))
        return;
    _dirtyRect = _needsDisplay ? HXUnionRect(_dirtyRect, rect) : rect;
    _needsDisplay = true;
    invalidateWindow();
}

void HXView::setNeedsVideoPresent()
{
    if (auto w = window())
        w->setNeedsVideoPresent();
}

void HXView::invalidateWindow()
{
    if (auto w = window())
        w->setViewsNeedDisplay(true);
}

void HXView::invalidateCursorRects()
{
    if (auto w = window())
        w->invalidateCursorRectsForView(*this);
}

void HXView::addCursorRect(HXRect rect, const std::shared_ptr<HXCursor>& cursor)
{
    if (cursor && !HXIsEmptyRect(rect))
        _cursorRects.push_back({ rect, cursor });
}

void HXView::removeCursorRect(HXRect rect, const std::shared_ptr<HXCursor>& cursor)
{
    std::erase_if(_cursorRects, [&](const CursorRect& c) { return c.rect == rect && c.cursor == cursor; });
}

void HXView::display() { displayRect(_bounds); }

void HXView::displayRect(HXRect rect)
{
    auto w = window();
    if (!w)
        return;
    w->displayRectOfView(*this, rect);
}

void HXView::displayIfNeeded()
{
    if (auto w = window())
        w->displayIfNeeded();
}

namespace {

// The bounding box of the part of `dirty` that `drawn` leaves out: empty when `drawn` covers it, the
// uncovered band when `drawn` spans it across one axis, else all of `dirty`. Edges within a millionth of
// a point count as covered (rectangles that went through coordinate arithmetic are off by a few ulps).
HXRect remainderOutside(HXRect dirty, HXRect drawn)
{
    constexpr double slack = 1e-6;
    if (HXIsEmptyRect(dirty))
        return HXZeroRect;
    if (HXIsEmptyRect(drawn))
        return dirty;
    const bool spansX = HXMinX(drawn) <= HXMinX(dirty) + slack && HXMaxX(drawn) >= HXMaxX(dirty) - slack;
    const bool spansY = HXMinY(drawn) <= HXMinY(dirty) + slack && HXMaxY(drawn) >= HXMaxY(dirty) - slack;
    if (spansX && spansY)
        return HXZeroRect;
    // Along the axis `drawn` does not span, what is left on either side of it.
    auto band = [&](double dirtyMin, double dirtyMax, double drawnMin, double drawnMax, double& lo, double& hi) {
        lo = dirtyMin;
        hi = dirtyMax;
        if (drawnMax <= dirtyMin || drawnMin >= dirtyMax)
            return;  // no overlap: all of it is left
        const bool coversLow = drawnMin <= dirtyMin + slack;
        const bool coversHigh = drawnMax >= dirtyMax - slack;
        if (coversLow && !coversHigh)
            lo = drawnMax;
        else if (coversHigh && !coversLow)
            hi = drawnMin;
    };
    double lo = 0, hi = 0;
    if (spansY) {
        band(HXMinX(dirty), HXMaxX(dirty), HXMinX(drawn), HXMaxX(drawn), lo, hi);
        return HXMakeRect(lo, HXMinY(dirty), hi - lo, dirty.size.height);
    }
    if (spansX) {
        band(HXMinY(dirty), HXMaxY(dirty), HXMinY(drawn), HXMaxY(drawn), lo, hi);
        return HXMakeRect(HXMinX(dirty), lo, dirty.size.width, hi - lo);
    }
    return dirty;
}

}  // namespace

HXRect HXView::dirtyRectInBase() const
{
    return dirtyRectInBase(convertRectToView(_bounds, nullptr));
}

HXRect HXView::dirtyRectInBase(HXRect visibleArea) const
{
    HXRect dirty = HXZeroRect;
    if (_hidden)
        return dirty;
    // Only what can be seen counts: the parts of a view its ancestors clip away are never drawn.
    visibleArea = HXIntersectionRect(visibleArea, convertRectToView(_bounds, nullptr));
    if (HXIsEmptyRect(visibleArea))
        return dirty;
    if (_needsDisplay)
        dirty = HXIntersectionRect(convertRectToView(_dirtyRect, nullptr), visibleArea);
    for (auto& sub : _subviews)
        dirty = HXUnionRect(dirty, sub->dirtyRectInBase(visibleArea));
    return dirty;
}

void HXView::drawTree(cairo_surface_t* surface, double height, HXRect baseClip)
{
    drawTree(surface, height, baseClip, convertRectToView(_bounds, nullptr));
}

void HXView::drawTree(cairo_surface_t* surface, double height, HXRect passClip, HXRect visibleArea)
{
    if (_hidden)
        return;
    visibleArea = HXIntersectionRect(visibleArea, convertRectToView(_bounds, nullptr));
    HXRect visibleBase = HXIntersectionRect(passClip, visibleArea);
    // What this pass does not draw stays dirty for the next one, and so do the views it does not reach:
    // a view marked while a pass with a smaller clip runs (one view's display, or a view drawn earlier in
    // this pass marking another) is drawn by the next pass instead of being forgotten. The mark is dropped
    // before drawing, so what drawRect marks again is kept.
    if (_needsDisplay) {
        HXRect dirty = HXIntersectionRect(convertRectToView(_dirtyRect, nullptr), visibleArea);
        HXRect left = remainderOutside(dirty, passClip);
        if (HXIsEmptyRect(left)) {
            _needsDisplay = false;
            _dirtyRect = HXZeroRect;
        } else
            _dirtyRect = HXIntersectionRect(convertRectFromView(left, nullptr), _bounds);
    }
    if (HXIsEmptyRect(visibleBase))
        return;
    auto context = HXGraphicsContext::graphicsContextWithSurface(surface, 1, isFlipped());
    if (context) {
        HXGraphicsContextScope scope(context);
        cairo_t* cr = context->cairo();
        cairo_identity_matrix(cr);
        cairo_rectangle(cr, visibleBase.origin.x, height - HXMaxY(visibleBase), visibleBase.size.width,
            visibleBase.size.height);
        cairo_clip(cr);
        Map m = mapToBase();
        cairo_matrix_t matrix;
        cairo_matrix_init(&matrix, m.sx, 0, 0, -m.sy, m.tx, height - m.ty);
        cairo_set_matrix(cr, &matrix);
        drawRect(convertRectFromView(visibleBase, nullptr));
        context->flushGraphics();
    }
    auto subviews = _subviews;
    for (auto& sub : subviews)
        sub->drawTree(surface, height, passClip, visibleArea);
}

void HXView::drawHierarchyOnPage(cairo_surface_t* surface, HXSize pageSize, HXRect rect)
{
    if (_bounds.size.width <= 0 || _bounds.size.height <= 0)
        return;
    Map m;
    m.sx = rect.size.width / _bounds.size.width;
    m.tx = rect.origin.x - _bounds.origin.x * m.sx;
    double sy = rect.size.height / _bounds.size.height;
    if (isFlipped()) {
        m.sy = -sy;
        m.ty = HXMaxY(rect) + _bounds.origin.y * sy;
    } else {
        m.sy = sy;
        m.ty = rect.origin.y - _bounds.origin.y * sy;
    }
    drawTreeOnPage(surface, pageSize, m, rect);
}

void HXView::drawTreeOnPage(cairo_surface_t* surface, HXSize pageSize, const Map& toPage, HXRect pageClip)
{
    if (_hidden)
        return;
    HXPoint a = apply(toPage, _bounds.origin);
    HXPoint b = apply(toPage, { HXMaxX(_bounds), HXMaxY(_bounds) });
    HXRect onPage = HXMakeRect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
    HXRect visible = HXIntersectionRect(pageClip, onPage);
    if (HXIsEmptyRect(visible))
        return;
    if (auto context = HXGraphicsContext::graphicsContextWithSurface(surface, 1, isFlipped(), pageSize)) {
        HXGraphicsContextScope scope(context);
        cairo_t* cr = context->cairo();
        cairo_identity_matrix(cr);
        cairo_rectangle(cr, visible.origin.x, pageSize.height - HXMaxY(visible), visible.size.width,
            visible.size.height);
        cairo_clip(cr);
        cairo_matrix_t matrix;
        cairo_matrix_init(&matrix, toPage.sx, 0, 0, -toPage.sy, toPage.tx, pageSize.height - toPage.ty);
        cairo_set_matrix(cr, &matrix);
        drawRect(_bounds);
        context->flushGraphics();
    }
    auto subviews = _subviews;
    for (auto& sub : subviews)
        sub->drawTreeOnPage(surface, pageSize, compose(toPage, sub->mapToSuperview()), visible);
}

// Events

std::shared_ptr<HXView> HXView::hitTest(HXPoint point)
{
    if (_hidden)
        return nullptr;
    HXPoint local = applyInverse(mapToSuperview(), point);
    if (!HXMouseInRect(local, _bounds, isFlipped()))
        return nullptr;
    for (auto it = _subviews.rbegin(); it != _subviews.rend(); ++it) {
        if (auto hit = (*it)->hitTest(local))
            return hit;
    }
    return std::static_pointer_cast<HXView>(shared_from_this());
}

bool HXView::performKeyEquivalent(const HXEvent& event)
{
    if (_hidden)
        return false;
    auto subviews = _subviews;
    for (auto& sub : subviews) {
        if (sub->performKeyEquivalent(event))
            return true;
    }
    return false;
}

HXTrackingRectTag HXView::addTrackingRect(HXRect rect, const std::shared_ptr<HXResponder>& owner, void* userData,
    bool assumeInside)
{
    TrackingRect t;
    t.tag = ++nextTrackingTag;
    t.rect = rect;
    t.owner = owner;
    t.userData = userData;
    t.inside = assumeInside;
    _trackingRects.push_back(t);
    return t.tag;
}

void HXView::removeTrackingRect(HXTrackingRectTag tag)
{
    std::erase_if(_trackingRects, [&](const TrackingRect& t) { return t.tag == tag; });
}

// Key-view loop

void HXView::setNextKeyView(const std::shared_ptr<HXView>& view)
{
    if (auto old = nextKeyView(); old && old->previousKeyView().get() == this)
        old->_previousKeyView.reset();
    _nextKeyView = view;
    if (view)
        view->_previousKeyView = std::static_pointer_cast<HXView>(shared_from_this());
}

bool HXView::canBecomeKeyView() const { return acceptsFirstResponder() && !isHiddenOrHasHiddenAncestor(); }

std::shared_ptr<HXView> HXView::nextValidKeyView() const
{
    std::set<const HXView*> seen { this };
    for (auto v = nextKeyView(); v && seen.insert(v.get()).second; v = v->nextKeyView()) {
        if (v->canBecomeKeyView())
            return v;
    }
    return nullptr;
}

std::shared_ptr<HXView> HXView::previousValidKeyView() const
{
    std::set<const HXView*> seen { this };
    for (auto v = previousKeyView(); v && seen.insert(v.get()).second; v = v->previousKeyView()) {
        if (v->canBecomeKeyView())
            return v;
    }
    return nullptr;
}
