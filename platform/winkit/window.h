#pragma once
// HXWindow: a top-level window. Its frame (screen coordinates, bottom-left origin) holds the title bar,
// the in-window menu bar (document windows show the application's menu there) and the content view below
// them. The window's base coordinates start at the frame's bottom-left corner.
#include "platform/drawing/color.h"
#include "platform/drawing/region.h"
#include "platform/winkit/cursor.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/view.h"

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class HXWindowController;
class HXMenuBarView;
class HXToolbar;
class HXUndoManager;
class HXBitmapImageRep;
class HXPlatformWindow;

// Style masks.
enum : unsigned {
    HXBorderlessWindowMask = 0,
    HXTitledWindowMask = 1u << 0,
    HXClosableWindowMask = 1u << 1,
    HXMiniaturizableWindowMask = 1u << 2,
    HXResizableWindowMask = 1u << 3,
    HXUtilityWindowMask = 1u << 4,
    HXDocModalWindowMask = 1u << 6,
    HXNonactivatingPanelMask = 1u << 7,
    HXHUDWindowMask = 1u << 13,
    // Shows the application's main menu as a menu bar between the title bar and the content.
    HXMenuBarWindowMask = 1u << 24,
};

// Levels: higher levels stay in front of lower ones.
enum : int {
    HXNormalWindowLevel = 0,
    HXFloatingWindowLevel = 3,
    HXModalPanelWindowLevel = 8,
    HXMainMenuWindowLevel = 24,
    HXStatusWindowLevel = 25,
    HXPopUpMenuWindowLevel = 101,
    HXScreenSaverWindowLevel = 1000,
};

enum HXWindowOrderingMode { HXWindowAbove = 1, HXWindowBelow = -1, HXWindowOut = 0 };

inline constexpr double HXWindowTitleBarHeight = 22;
inline constexpr double HXWindowMenuBarHeight = 22;

inline constexpr const char* HXWindowDidBecomeKeyNotification = "HXWindowDidBecomeKeyNotification";
inline constexpr const char* HXWindowDidResignKeyNotification = "HXWindowDidResignKeyNotification";
inline constexpr const char* HXWindowDidBecomeMainNotification = "HXWindowDidBecomeMainNotification";
inline constexpr const char* HXWindowDidResignMainNotification = "HXWindowDidResignMainNotification";
inline constexpr const char* HXWindowDidResizeNotification = "HXWindowDidResizeNotification";
inline constexpr const char* HXWindowDidMoveNotification = "HXWindowDidMoveNotification";
inline constexpr const char* HXWindowWillMiniaturizeNotification = "HXWindowWillMiniaturizeNotification";
inline constexpr const char* HXWindowDidMiniaturizeNotification = "HXWindowDidMiniaturizeNotification";
inline constexpr const char* HXWindowDidDeminiaturizeNotification = "HXWindowDidDeminiaturizeNotification";
inline constexpr const char* HXWindowDidUpdateNotification = "HXWindowDidUpdateNotification";
inline constexpr const char* HXWindowWillCloseNotification = "HXWindowWillCloseNotification";
inline constexpr const char* HXWindowWillBecomeVisible = "HXWindowWillBecomeVisible";
inline constexpr const char* HXWindowWillStartLiveResizeNotification = "HXWindowWillStartLiveResizeNotification";
inline constexpr const char* HXWindowDidEndLiveResizeNotification = "HXWindowDidEndLiveResizeNotification";
inline constexpr const char* HXWindowDidEndSheetNotification = "HXWindowDidEndSheetNotification";

// The window's delegate; every hook has a default. The notifications above are sent to it as well.
class HXWindowDelegate {
public:
    virtual ~HXWindowDelegate() = default;
    virtual bool windowShouldClose(HXWindow& window) { (void)window; return true; }
    virtual HXSize windowWillResize(HXWindow& window, HXSize proposedFrameSize) { (void)window; return proposedFrameSize; }
    virtual HXUndoManager* windowWillReturnUndoManager(HXWindow& window) { (void)window; return nullptr; }
    virtual void windowWillClose(HXWindow& window) { (void)window; }
    virtual void windowDidResize(HXWindow& window) { (void)window; }
    virtual void windowDidMove(HXWindow& window) { (void)window; }
    virtual void windowDidBecomeKey(HXWindow& window) { (void)window; }
    virtual void windowDidResignKey(HXWindow& window) { (void)window; }
    virtual void windowDidBecomeMain(HXWindow& window) { (void)window; }
    virtual void windowDidResignMain(HXWindow& window) { (void)window; }
    virtual void windowWillMiniaturize(HXWindow& window) { (void)window; }
    virtual void windowDidMiniaturize(HXWindow& window) { (void)window; }
    virtual void windowDidDeminiaturize(HXWindow& window) { (void)window; }
    virtual void windowDidUpdate(HXWindow& window) { (void)window; }
    // Zoom: the standard frame the window zooms to (default: the screen's visible frame).
    virtual std::optional<HXRect> windowWillUseStandardFrame(HXWindow& window, HXRect defaultFrame)
    {
        (void)window;
        return defaultFrame;
    }
};

class HXWindow : public HXResponder {
public:
    HXWindow(HXRect contentRect, unsigned styleMask);
    ~HXWindow() override;

    // Frame and content rectangles for a style.
    static HXRect frameRectForContentRect(HXRect contentRect, unsigned styleMask);
    static HXRect contentRectForFrameRect(HXRect frameRect, unsigned styleMask);
    // For this window: the style's chrome and, when one shows, the toolbar.
    HXRect frameRectForContentRect(HXRect contentRect) const;
    HXRect contentRectForFrameRect(HXRect frameRect) const;

    // Geometry (screen coordinates).
    HXRect frame() const { return _frame; }
    // Moves and resizes the window. With `animate` it gets there in steps on the run loop (in the default,
    // event-tracking and modal modes) over animationResizeTime; the frame reads the final value at once only
    // when the animation ends.
    void setFrame(HXRect frame, bool display, bool animate = false);
    void setFrameOrigin(HXPoint origin);
    void setFrameTopLeftPoint(HXPoint point);
    // Places the window's top left at `point` (when not zero) and answers where the next window should go.
    HXPoint cascadeTopLeftFromPoint(HXPoint point);
    virtual HXRect constrainFrameRect(HXRect frame, const std::optional<HXScreen>& screen) const;
    void center();
    void setContentSize(HXSize size);
    HXSize minSize() const { return _minSize; }
    void setMinSize(HXSize size) { _minSize = size; }
    HXSize maxSize() const { return _maxSize; }
    void setMaxSize(HXSize size) { _maxSize = size; }
    HXSize contentMinSize() const;
    void setContentMinSize(HXSize size);
    virtual HXTimeInterval animationResizeTime(HXRect newFrame) const;
    bool isAnimating() const { return _animationTimer != nullptr; }
    bool inLiveResize() const { return _inLiveResize; }
    // The screen holding most of the window (else the main screen).
    std::optional<HXScreen> screen() const;
    bool isUnconstrained() const { return _unconstrained; }
    void setUnconstrained(bool flag) { _unconstrained = flag; }

    // Conversions between base (window) and screen coordinates.
    HXPoint convertBaseToScreen(HXPoint point) const;
    HXPoint convertScreenToBase(HXPoint point) const;
    HXRect convertRectToScreen(HXRect rect) const;
    HXRect convertRectFromScreen(HXRect rect) const;
    HXPoint mouseLocationOutsideOfEventStream() const;

    // Looks.
    unsigned styleMask() const { return _styleMask; }
    void setStyleMask(unsigned mask);
    const std::string& title() const { return _title; }
    void setTitle(const std::string& title);
    const std::string& representedFilename() const { return _representedFilename; }
    void setRepresentedFilename(const std::string& path) { _representedFilename = path; }
    void setTitleWithRepresentedFilename(const std::string& path);
    bool isDocumentEdited() const { return _documentEdited; }
    void setDocumentEdited(bool edited) { _documentEdited = edited; }
    int level() const { return _level; }
    void setLevel(int level);
    double alphaValue() const { return _alpha; }
    void setAlphaValue(double alpha);
    bool isOpaque() const { return _opaque; }
    void setOpaque(bool opaque) { _opaque = opaque; }
    HXColor backgroundColor() const { return _backgroundColor; }
    void setBackgroundColor(const HXColor& color);
    bool hasShadow() const { return _hasShadow; }
    void setHasShadow(bool flag) { _hasShadow = flag; }
    bool ignoresMouseEvents() const { return _ignoresMouseEvents; }
    void setIgnoresMouseEvents(bool flag) { _ignoresMouseEvents = flag; }
    bool hidesOnDeactivate() const { return _hidesOnDeactivate; }
    void setHidesOnDeactivate(bool flag) { _hidesOnDeactivate = flag; }
    bool isExcludedFromWindowsMenu() const { return _excludedFromWindowsMenu; }
    void setExcludedFromWindowsMenu(bool flag) { _excludedFromWindowsMenu = flag; }
    bool isMovableByWindowBackground() const { return _movableByBackground; }
    void setMovableByWindowBackground(bool flag) { _movableByBackground = flag; }
    bool acceptsMouseMovedEvents() const { return _acceptsMouseMoved; }
    void setAcceptsMouseMovedEvents(bool flag) { _acceptsMouseMoved = flag; }
    bool isReleasedWhenClosed() const { return _releasedWhenClosed; }
    void setReleasedWhenClosed(bool flag) { _releasedWhenClosed = flag; }
    bool isOneShot() const { return _oneShot; }
    void setOneShot(bool flag) { _oneShot = flag; }
    // Full screen: the backend shows the window borderless over the whole of `screen`.
    bool isFullScreen() const { return _fullScreen; }
    void setFullScreen(bool fullScreen, const std::optional<HXScreen>& screen = {});

    // Content.
    std::shared_ptr<HXView> contentView() const
    {
        bind();
        return _contentView;
    }
    void setContentView(const std::shared_ptr<HXView>& view);
    // The view that holds the menu bar and the content view (the window's base coordinates).
    std::shared_ptr<HXView> frameView() const
    {
        bind();
        return _frameView;
    }
    std::shared_ptr<HXMenuBarView> menuBarView() const
    {
        bind();
        return _menuBarView;
    }

    // Toolbar: shown between the menu bar and the content. Showing or hiding it grows or shrinks the frame
    // downwards; the content keeps its size.
    std::shared_ptr<HXToolbar> toolbar() const { return _toolbar; }
    void setToolbar(const std::shared_ptr<HXToolbar>& toolbar);
    void toggleToolbarShown(HXObject* sender = nullptr);
    bool showsToolbarButton() const { return _showsToolbarButton; }
    void setShowsToolbarButton(bool flag) { _showsToolbarButton = flag; }

    // Key and main status.
    virtual bool canBecomeKeyWindow() const;
    virtual bool canBecomeMainWindow() const;
    bool isKeyWindow() const;
    bool isMainWindow() const;
    void makeKeyWindow();
    void makeMainWindow();
    virtual void becomeKeyWindow();
    virtual void resignKeyWindow();
    virtual void becomeMainWindow();
    virtual void resignMainWindow();

    // Ordering.
    void makeKeyAndOrderFront(HXObject* sender = nullptr);
    void orderFront(HXObject* sender = nullptr);
    void orderFrontRegardless();
    void orderBack(HXObject* sender = nullptr);
    void orderOut(HXObject* sender = nullptr);
    void orderWindow(HXWindowOrderingMode place, int otherWindowNumber);
    bool isVisible() const { return _visible; }
    int windowNumber() const { return _windowNumber; }

    // Miniaturize, zoom, close.
    void miniaturize(HXObject* sender = nullptr);
    void deminiaturize(HXObject* sender = nullptr);
    bool isMiniaturized() const { return _miniaturized; }
    void zoom(HXObject* sender = nullptr);
    bool isZoomed() const;
    // Asks the delegate (windowShouldClose) and closes; beeps when the window has no close button or the
    // delegate refuses.
    void performClose(HXObject* sender = nullptr);
    void performMiniaturize(HXObject* sender = nullptr);
    void performZoom(HXObject* sender = nullptr);
    virtual void close();
    bool isClosed() const { return _closed; }

    // Delegate and controller.
    std::shared_ptr<HXWindowDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXWindowDelegate>& delegate) { _delegate = delegate; }
    std::shared_ptr<HXWindowController> windowController() const { return _windowController.lock(); }
    void setWindowController(const std::shared_ptr<HXWindowController>& controller);
    HXUndoManager* undoManager();
    // Edit > Undo and Redo ("undo:", "redo:") undo and redo with that undo manager; the menu items are
    // enabled when there is something to undo or redo, and named after it ("Undo Cut").
    bool validateMenuItem(HXMenuItem& item) override;
    bool validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item) override;

    // First responder and the key-view loop.
    std::shared_ptr<HXResponder> firstResponder() const;
    bool makeFirstResponder(const std::shared_ptr<HXResponder>& responder);
    std::shared_ptr<HXView> initialFirstResponder() const { return _initialFirstResponder.lock(); }
    // A key window whose first responder has gone (its view was replaced or taken out) makes the new
    // initial first responder its first responder at once, so that the keys have somewhere to go.
    void setInitialFirstResponder(const std::shared_ptr<HXView>& view);
    void selectNextKeyView(HXObject* sender = nullptr);
    void selectPreviousKeyView(HXObject* sender = nullptr);
    void selectKeyViewFollowingView(const std::shared_ptr<HXView>& view);
    void selectKeyViewPrecedingView(const std::shared_ptr<HXView>& view);

    // Events.
    virtual void sendEvent(const HXEvent& event);
    const HXEvent* currentEvent() const;
    // The next event for this window (see HXApplication::nextEventMatchingMask).
    std::optional<HXEvent> nextEventMatchingMask(HXEventMask mask);
    std::optional<HXEvent> nextEventMatchingMask(HXEventMask mask, HXTimeInterval untilDate,
        const std::string& mode, bool dequeue);
    void discardEventsMatchingMask(HXEventMask mask, const HXEvent* beforeEvent = nullptr);
    bool performKeyEquivalent(const HXEvent& event) override;
    // The end of the key chain: the menus' key equivalents, then Tab / Shift-Tab through the key-view loop.
    void keyDown(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return true; }
    // Tracking rectangles are checked on mouse moves; call after views moved.
    void updateTrackingRects(HXPoint locationInWindow, const HXEvent* event);

    // Cursor rectangles. The window collects its views' rectangles when it first needs them after an
    // invalidation, and on mouse moves shows the cursor of the frontmost view under the mouse that has a
    // rectangle there (the arrow when none has).
    void invalidateCursorRectsForView(HXView& view);
    void resetCursorRects();
    void discardCursorRects();
    bool cursorRectsAreValid() const { return _cursorRectsValid; }
    // The cursor for `locationInWindow` (base coordinates).
    std::shared_ptr<HXCursor> cursorForPoint(HXPoint locationInWindow);
    // Shows the cursor for `locationInWindow` when it differs from the one this window showed last.
    void updateCursor(HXPoint locationInWindow);

    // Sheets. beginSheet shows `sheet` attached to this window; endSheet closes it and calls the handler
    // with the return code.
    void beginSheet(const std::shared_ptr<HXWindow>& sheet, std::function<void(long returnCode)> handler);
    void endSheet(const std::shared_ptr<HXWindow>& sheet, long returnCode = 0);
    std::shared_ptr<HXWindow> attachedSheet() const { return _attachedSheet; }
    std::shared_ptr<HXWindow> sheetParent() const { return _sheetParent.lock(); }
    bool isSheet() const { return !_sheetParent.expired(); }

    // Display.
    void display();
    void displayIfNeeded();
    // Draws `rect` of `view` (its bounds coordinates) and everything over it now.
    void displayRectOfView(HXView& view, HXRect rect);
    bool viewsNeedDisplay() const { return _viewsNeedDisplay; }
    void setViewsNeedDisplay(bool flag);
    // Posts the did-update notification (the application calls it after events when asked to).
    virtual void update();
    void disableFlushWindow() { ++_flushDisabled; }
    void enableFlushWindow();
    bool isFlushWindowDisabled() const { return _flushDisabled > 0; }
    void flushWindow();
    // Shows what was held back while flushing or screen updates were disabled.
    void flushWindowIfNeeded();
    // The window's pixels (menu bar and content, top row first), as last displayed.
    cairo_surface_t* backingSurface() const { return _backing; }
    // A view's picture changed (HXView::setNeedsVideoPresent): the next display pass shows it.
    void setNeedsVideoPresent();
    bool needsVideoPresent() const { return _needsVideoPresent; }
    // The video layers of the visible views, back to front, placed in the window's pixels as the last
    // display pass (or this call, when none has run since a change) found them.
    const std::vector<HXPlacedVideoLayer>& videoLayers();
    // What the backend can do with pictures (what the headless backend and windows without a backend
    // report: any YUV picture at any size, composed in software when asked for).
    HXVideoLayerSupport videoLayerSupport() const;
    // Draws everything now and returns a copy of the pixels as a PNG file's bytes.
    bool writeRenderedPNG(const std::string& path);
    // Draws everything now and returns a copy of the pixels (menu bar and content).
    std::shared_ptr<HXBitmapImageRep> renderedImageRep();
    // Straight RGBA of one pixel of the rendered window at (x, y) from the top left of the client area.
    uint32_t renderedPixelRGBA(int x, int y);

    // ---- Shaped windows (window_shape.cpp) ----
    // The window's visible and clickable shape, in pixels of its client area (menu bar and content)
    // from the top-left corner, y down; none for a rectangular window. The backend cuts the window on
    // screen to it; the drawing and the backing surface are not affected.
    const std::optional<HXRegion>& windowShape() const { return _windowShape; }
    void setWindowShape(const std::optional<HXRegion>& shape);
    // ---- end of shaped windows ----

    // The platform window of the backend (null while the window is not on screen).
    HXPlatformWindow* platformWindow() const { return _platform.get(); }

    // Internal: the application's bookkeeping.
    void setWindowNumber(int number) { _windowNumber = number; }
    void setMiniaturizedByBackend(bool miniaturized);
    void setFrameFromBackend(HXRect frame);
    bool isModalPanel() const { return _isModalPanel; }
    void setIsModalPanel(bool flag) { _isModalPanel = flag; }
    void setSheetParent(const std::shared_ptr<HXWindow>& parent) { _sheetParent = parent; }
    void setAttachedSheet(const std::shared_ptr<HXWindow>& sheet) { _attachedSheet = sheet; }

protected:
    void postNotification(const char* name);

private:
    void bind() const;
    void layoutFrameView();
    // The toolbar changed its visibility or height from `oldHeight`: the frame follows.
    friend class HXToolbar;
    void toolbarHeightDidChange(double oldHeight);
    void applyFrame(HXRect frame, bool display);
    void ensureBacking();
    void drawWindow(bool onlyDirty);
    void noteDamage(HXRect baseRect);
    void collectVideoLayers();
    // The drawn pixels with the video layers composed under them (the backing itself when there are none).
    cairo_surface_t* composedSurface();
    void setVisible(bool visible);
    void mouseDownInWindow(const HXEvent& event);
    void dragWindow(const HXEvent& mouseDown);
    HXRect standardFrame() const;

    HXRect _frame;
    unsigned _styleMask;
    std::string _title;
    std::string _representedFilename;
    bool _documentEdited = false;
    int _level = HXNormalWindowLevel;
    double _alpha = 1;
    bool _opaque = true;
    HXColor _backgroundColor = HXColor::windowBackgroundColor();
    bool _hasShadow = true;
    bool _ignoresMouseEvents = false;
    bool _hidesOnDeactivate = false;
    bool _excludedFromWindowsMenu = false;
    bool _movableByBackground = false;
    bool _acceptsMouseMoved = false;
    bool _cursorRectsValid = false;
    std::optional<HXCursorType> _shownCursor;
    bool _releasedWhenClosed = false;
    bool _oneShot = false;
    bool _fullScreen = false;
    std::optional<HXScreen> _fullScreenScreen;
    bool _unconstrained = false;
    HXSize _minSize { 1, 1 };
    HXSize _maxSize { 1e6, 1e6 };
    bool _visible = false;
    bool _miniaturized = false;
    bool _closed = false;
    bool _inLiveResize = false;
    bool _isModalPanel = false;
    std::optional<HXRect> _userFrameBeforeZoom;
    int _windowNumber = 0;
    mutable bool _bound = false;
    std::shared_ptr<HXView> _frameView;
    std::shared_ptr<HXMenuBarView> _menuBarView;
    std::shared_ptr<HXView> _contentView;
    std::shared_ptr<HXToolbar> _toolbar;
    bool _showsToolbarButton = true;
    std::weak_ptr<HXResponder> _firstResponder;
    std::weak_ptr<HXView> _initialFirstResponder;
    std::weak_ptr<HXWindowDelegate> _delegate;
    std::weak_ptr<HXWindowController> _windowController;
    std::shared_ptr<HXWindow> _attachedSheet;
    std::weak_ptr<HXWindow> _sheetParent;
    std::function<void(long)> _sheetHandler;
    bool _viewsNeedDisplay = false;
    int _flushDisabled = 0;
    bool _needsFlush = false;
    cairo_surface_t* _backing = nullptr;
    // Video layers: collected from the views at each present; _damage is what was drawn since the last
    // one; _composed caches the software composition.
    bool _needsVideoPresent = false;
    bool _videoLayersValid = false;
    std::vector<std::shared_ptr<HXVideoLayer>> _videoLayerStore;
    std::vector<HXPlacedVideoLayer> _videoLayers;
    std::vector<HXPixelRect> _damage;
    cairo_surface_t* _composed = nullptr;
    bool _composedValid = false;
    std::shared_ptr<class HXTimer> _animationTimer;
    std::shared_ptr<HXView> _mouseDownView;
    std::unique_ptr<HXPlatformWindow> _platform;
    std::optional<HXRegion> _windowShape;
};

// HXPanel: an auxiliary window (inspectors, alerts, sheets). Panels never become main, and by default hide
// while the application is inactive.
class HXPanel : public HXWindow {
public:
    HXPanel(HXRect contentRect, unsigned styleMask);
    bool canBecomeMainWindow() const override { return false; }
    bool canBecomeKeyWindow() const override;
    bool isFloatingPanel() const { return level() >= HXFloatingWindowLevel; }
    void setFloatingPanel(bool flag) { setLevel(flag ? HXFloatingWindowLevel : HXNormalWindowLevel); }
    bool becomesKeyOnlyIfNeeded() const { return _becomesKeyOnlyIfNeeded; }
    void setBecomesKeyOnlyIfNeeded(bool flag) { _becomesKeyOnlyIfNeeded = flag; }
    bool worksWhenModal() const { return _worksWhenModal; }
    void setWorksWhenModal(bool flag) { _worksWhenModal = flag; }

private:
    bool _becomesKeyOnlyIfNeeded = false;
    bool _worksWhenModal = false;
};
