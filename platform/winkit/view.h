#pragma once
// HXView: a rectangle of a window that draws itself and answers events. Views form a tree under the
// window's content view; each has a frame (in its superview's coordinates) and bounds (its own
// coordinates). Unflipped views have the origin at the bottom left with y up; flipped ones at the top left
// with y down.
#include "platform/drawing/geometry.h"
#include "platform/winkit/responder.h"
#include "platform/winkit/video_layer.h"

#include <cairo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXCursor;
class HXWindow;
class HXImage;
class HXPasteboard;
class HXDraggingSource;

inline constexpr const char* HXViewFrameDidChangeNotification = "HXViewFrameDidChangeNotification";
inline constexpr const char* HXViewBoundsDidChangeNotification = "HXViewBoundsDidChangeNotification";

// Autoresizing: which margins and sizes follow a change of the superview's size.
enum : unsigned {
    HXViewNotSizable = 0,
    HXViewMinXMargin = 1,
    HXViewWidthSizable = 2,
    HXViewMaxXMargin = 4,
    HXViewMinYMargin = 8,
    HXViewHeightSizable = 16,
    HXViewMaxYMargin = 32,
};

using HXTrackingRectTag = long;

class HXView : public HXResponder {
public:
    explicit HXView(HXRect frame = HXZeroRect);
    ~HXView() override;

    // Hierarchy.
    std::shared_ptr<HXView> superview() const { return _superview.lock(); }
    const std::vector<std::shared_ptr<HXView>>& subviews() const { return _subviews; }
    void addSubview(const std::shared_ptr<HXView>& view);
    // Adds above (or below) every sibling when `relativeTo` is null or not a subview.
    void addSubview(const std::shared_ptr<HXView>& view, bool above, const std::shared_ptr<HXView>& relativeTo);
    void removeFromSuperview();
    void replaceSubview(const std::shared_ptr<HXView>& oldView, const std::shared_ptr<HXView>& newView);
    bool isDescendantOf(const HXView& view) const;
    std::shared_ptr<HXView> ancestorSharedWithView(const HXView& view) const;
    std::shared_ptr<HXWindow> window() const { return _window.lock(); }
    virtual std::shared_ptr<HXView> viewWithTag(long tag);
    virtual long tag() const { return -1; }

    // Hooks around moves in the tree.
    virtual void viewWillMoveToWindow(HXWindow* newWindow) { (void)newWindow; }
    virtual void viewDidMoveToWindow() {}
    virtual void viewWillMoveToSuperview(HXView* newSuperview) { (void)newSuperview; }
    virtual void viewDidMoveToSuperview() {}
    virtual void didAddSubview(HXView& subview) { (void)subview; }
    virtual void willRemoveSubview(HXView& subview) { (void)subview; }

    // Geometry.
    HXRect frame() const { return _frame; }
    HXRect bounds() const { return _bounds; }
    virtual void setFrame(HXRect frame);
    void setFrameOrigin(HXPoint origin);
    void setFrameSize(HXSize size);
    void setBounds(HXRect bounds);
    void setBoundsOrigin(HXPoint origin);
    void setBoundsSize(HXSize size);
    virtual bool isFlipped() const { return false; }
    HXRect visibleRect() const;
    bool postsFrameChangedNotifications() const { return _postsFrameChanged; }
    void setPostsFrameChangedNotifications(bool posts) { _postsFrameChanged = posts; }
    bool postsBoundsChangedNotifications() const { return _postsBoundsChanged; }
    void setPostsBoundsChangedNotifications(bool posts) { _postsBoundsChanged = posts; }

    // Autoresizing.
    unsigned autoresizingMask() const { return _autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { _autoresizingMask = mask; }
    bool autoresizesSubviews() const { return _autoresizesSubviews; }
    void setAutoresizesSubviews(bool flag) { _autoresizesSubviews = flag; }
    virtual void resizeSubviewsWithOldSize(HXSize oldSize);
    virtual void resizeWithOldSuperviewSize(HXSize oldSize);
    bool inLiveResize() const;

    // Coordinate conversion. A null view means the window's base coordinates.
    HXPoint convertPointFromView(HXPoint point, const HXView* view) const;
    HXPoint convertPointToView(HXPoint point, const HXView* view) const;
    HXSize convertSizeFromView(HXSize size, const HXView* view) const;
    HXSize convertSizeToView(HXSize size, const HXView* view) const;
    HXRect convertRectFromView(HXRect rect, const HXView* view) const;
    HXRect convertRectToView(HXRect rect, const HXView* view) const;
    HXPoint convertPointToScreen(HXPoint point) const;
    HXPoint convertPointFromScreen(HXPoint point) const;
    HXRect convertRectToScreen(HXRect rect) const;
    // Snaps a rectangle to whole device pixels (the backing scale is 1).
    HXRect backingAlignedRect(HXRect rect) const { return HXIntegralRect(rect); }

    // Visibility.
    bool isHidden() const { return _hidden; }
    void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;
    virtual bool isOpaque() const { return false; }

    // Drawing. drawRect draws the part `dirtyRect` (in bounds coordinates) into the current graphics context,
    // which is set up for this view. setNeedsDisplay marks it for the next display pass; display draws now.
    virtual void drawRect(HXRect dirtyRect) { (void)dirtyRect; }
    bool needsDisplay() const { return _needsDisplay; }
    void setNeedsDisplay(bool flag);
    void setNeedsDisplayInRect(HXRect rect);
    void display();
    void displayRect(HXRect rect);
    void displayIfNeeded();
    // The rectangle (bounds coordinates) waiting to be drawn; zero when clean.
    HXRect dirtyRect() const { return _dirtyRect; }

    // Video (video_layer.h): the picture this view shows under its drawing, for a backend that composes
    // as `support` says; none by default. setNeedsVideoPresent: the picture changed but nothing drawn
    // did, so the window shows it again without drawing any view.
    virtual std::optional<HXVideoLayer> videoLayer(const HXVideoLayerSupport& support)
    {
        (void)support;
        return std::nullopt;
    }
    void setNeedsVideoPresent();

    // Events.
    // The deepest visible view under `point` (in the superview's coordinates), or null.
    virtual std::shared_ptr<HXView> hitTest(HXPoint point);
    virtual bool acceptsFirstMouse(const HXEvent* event) const { (void)event; return false; }
    virtual bool mouseDownCanMoveWindow() const { return !isOpaque(); }
    // Whether a click here makes a panel that becomes key only if needed the key window: only views
    // that take typing do (a button or a slider acts without taking the keys from the window in front).
    virtual bool needsPanelToBecomeKey() const { return false; }
    bool mouseInRect(HXPoint point, HXRect rect) const { return HXMouseInRect(point, rect, isFlipped()); }
    bool performKeyEquivalent(const HXEvent& event) override;

    // Tracking rectangles (bounds coordinates): the owner gets mouseEntered/mouseExited with the tag and
    // user data while the window tracks mouse moves.
    HXTrackingRectTag addTrackingRect(HXRect rect, const std::shared_ptr<HXResponder>& owner, void* userData,
        bool assumeInside);
    void removeTrackingRect(HXTrackingRectTag tag);
    struct TrackingRect {
        HXTrackingRectTag tag = 0;
        HXRect rect;
        std::weak_ptr<HXResponder> owner;
        void* userData = nullptr;
        bool inside = false;
    };
    std::vector<TrackingRect>& trackingRects() { return _trackingRects; }

    // Cursor rectangles (bounds coordinates): the window shows `cursor` while the mouse is over `rect`.
    // The window asks for them again (discardCursorRects, then resetCursorRects) after the views moved,
    // resized, scrolled, hid or changed windows; a view whose rectangles change otherwise calls
    // HXWindow::invalidateCursorRectsForView.
    virtual void resetCursorRects() { }
    void addCursorRect(HXRect rect, const std::shared_ptr<HXCursor>& cursor);
    void removeCursorRect(HXRect rect, const std::shared_ptr<HXCursor>& cursor);
    void discardCursorRects() { _cursorRects.clear(); }
    struct CursorRect {
        HXRect rect;
        std::shared_ptr<HXCursor> cursor;
    };
    const std::vector<CursorRect>& cursorRects() const { return _cursorRects; }

    // Key-view loop.
    std::shared_ptr<HXView> nextKeyView() const { return _nextKeyView.lock(); }
    std::shared_ptr<HXView> previousKeyView() const { return _previousKeyView.lock(); }
    void setNextKeyView(const std::shared_ptr<HXView>& view);
    virtual bool canBecomeKeyView() const;
    std::shared_ptr<HXView> nextValidKeyView() const;
    std::shared_ptr<HXView> previousValidKeyView() const;

    // Drag and drop: the pasteboard types this view accepts as a destination.
    void registerForDraggedTypes(const std::vector<std::string>& types) { _draggedTypes = types; }
    void unregisterDraggedTypes() { _draggedTypes.clear(); }
    const std::vector<std::string>& registeredDraggedTypes() const { return _draggedTypes; }
    // Starts a drag from this view: runs until the mouse goes up, then returns the operation the destination
    // performed (HXDragOperationNone when none accepted). `at` is in this view's coordinates.
    unsigned dragImage(const std::shared_ptr<HXImage>& image, HXPoint at, HXSize offset, const HXEvent& event,
        const std::shared_ptr<HXPasteboard>& pasteboard, HXDraggingSource* source, bool slideBack);

    // Internal: the window sets itself on the tree.
    void setWindowForTree(const std::shared_ptr<HXWindow>& window);
    // Internal: draws this view and its subviews into a window's pixels (`height` points high, top row
    // first), limited to `baseClip` in the window's base coordinates. What it draws is marked clean; dirty
    // parts outside `baseClip` stay dirty for the next pass.
    void drawTree(cairo_surface_t* surface, double height, HXRect baseClip);
    // Draws this view and its subviews onto a page (`pageSize` points, a PDF or PostScript surface) with the
    // view's bounds filling `rect` (page coordinates, origin at the bottom left). Views see a context that
    // does not draw to the screen (HXGraphicsContext::isDrawingToScreen).
    void drawHierarchyOnPage(cairo_surface_t* surface, HXSize pageSize, HXRect rect);
    // Internal: the union of the dirty rectangles of this tree, in base coordinates, limited to what the
    // views' ancestors let show.
    HXRect dirtyRectInBase() const;
    // Internal: maps of this view's coordinates to its superview's (x' = sx·x + tx, y' = sy·y + ty).
    struct Map {
        double sx = 1, tx = 0, sy = 1, ty = 0;
    };
    Map mapToSuperview() const;
    Map mapToBase() const;

private:
    // `visibleArea`: the part of the window the superview shows (base coordinates).
    void drawTree(cairo_surface_t* surface, double height, HXRect passClip, HXRect visibleArea);
    HXRect dirtyRectInBase(HXRect visibleArea) const;
    void drawTreeOnPage(cairo_surface_t* surface, HXSize pageSize, const Map& toPage, HXRect pageClip);
    void didChangeFrame(HXSize oldSize);
    void invalidateWindow();
    // The window's cursor rectangles no longer match the views.
    void invalidateCursorRects();

    std::weak_ptr<HXView> _superview;
    std::weak_ptr<HXWindow> _window;
    std::vector<std::shared_ptr<HXView>> _subviews;
    HXRect _frame;
    HXRect _bounds;
    unsigned _autoresizingMask = HXViewNotSizable;
    bool _autoresizesSubviews = true;
    bool _hidden = false;
    bool _needsDisplay = false;
    HXRect _dirtyRect;
    bool _postsFrameChanged = true;
    bool _postsBoundsChanged = true;
    std::vector<TrackingRect> _trackingRects;
    std::vector<CursorRect> _cursorRects;
    std::weak_ptr<HXView> _nextKeyView;
    std::weak_ptr<HXView> _previousKeyView;
    std::vector<std::string> _draggedTypes;
};
