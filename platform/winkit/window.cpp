#include "platform/winkit/window.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/undo_manager.h"
#include "platform/drawing/bitmap_image_rep.h"
#include "platform/winkit/application.h"
#include "platform/winkit/control.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/menu_bar_view.h"
#include "platform/winkit/text_drawing.h"
#include "platform/winkit/toolbar.h"
#include "platform/winkit/window_controller.h"
#include "platform/winkit/window_server.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The view behind everything: the window's background.
class FrameView : public HXView {
public:
    FrameView(HXRect frame, HXWindow* window)
        : HXView(frame)
        , _window(window)
    {
    }
    void drawRect(HXRect dirtyRect) override { winkit::fillRect(dirtyRect, _window->backgroundColor(), true); }
    bool isOpaque() const override { return _window->isOpaque(); }

private:
    HXWindow* _window;
};

double titleBarHeight(unsigned styleMask)
{
    return (styleMask & HXTitledWindowMask) ? HXWindowTitleBarHeight : 0;
}

double menuBarHeight(unsigned styleMask) { return (styleMask & HXMenuBarWindowMask) ? HXWindowMenuBarHeight : 0; }

HXRect lerp(HXRect a, HXRect b, double t)
{
    auto mix = [t](double x, double y) { return x + (y - x) * t; };
    return { { mix(a.origin.x, b.origin.x), mix(a.origin.y, b.origin.y) },
        { mix(a.size.width, b.size.width), mix(a.size.height, b.size.height) } };
}

}  // namespace

HXWindow::HXWindow(HXRect contentRect, unsigned styleMask)
    : _styleMask(styleMask)
{
    _frame = frameRectForContentRect(contentRect, styleMask);
    HXRect client { {}, { _frame.size.width, _frame.size.height - titleBarHeight(styleMask) } };
    _frameView = std::make_shared<FrameView>(client, this);
    _contentView = std::make_shared<HXView>(HXRect { {}, contentRect.size });
    _contentView->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
    _frameView->setAutoresizesSubviews(false);
    _minSize = { 1, 1 };
    setActionHandler("undo:", [this](HXObject*) {
        if (auto* undo = undoManager(); undo && undo->canUndo())
            undo->undo();
    });
    setActionHandler("redo:", [this](HXObject*) {
        if (auto* undo = undoManager(); undo && undo->canRedo())
            undo->redo();
    });
}

HXWindow::~HXWindow()
{
    if (_animationTimer)
        _animationTimer->invalidate();
    if (_backing)
        cairo_surface_destroy(_backing);
    if (_composed)
        cairo_surface_destroy(_composed);
}

void HXWindow::bind() const
{
    if (_bound)
        return;
    auto self = std::const_pointer_cast<HXWindow>(
        std::static_pointer_cast<const HXWindow>(weak_from_this().lock()));
    if (!self)
        return;
    _bound = true;
    auto* me = const_cast<HXWindow*>(this);
    me->_frameView->addSubview(_contentView);
    if (_styleMask & HXMenuBarWindowMask) {
        me->_menuBarView = std::make_shared<HXMenuBarView>(HXZeroRect);
        me->_frameView->addSubview(_menuBarView);
    }
    me->_frameView->setNextResponder(self);
    me->_frameView->setWindowForTree(self);
    me->layoutFrameView();
    me->_windowNumber = HXApplication::sharedApplication()->registerWindow(self);
}

// Frame and content rectangles

HXRect HXWindow::frameRectForContentRect(HXRect r, unsigned styleMask)
{
    double extra = titleBarHeight(styleMask) + menuBarHeight(styleMask);
    return { r.origin, { r.size.width, r.size.height + extra } };
}

HXRect HXWindow::contentRectForFrameRect(HXRect r, unsigned styleMask)
{
    double extra = titleBarHeight(styleMask) + menuBarHeight(styleMask);
    return { r.origin, { r.size.width, std::max(0.0, r.size.height - extra) } };
}

HXRect HXWindow::frameRectForContentRect(HXRect contentRect) const
{
    HXRect frame = frameRectForContentRect(contentRect, _styleMask);
    if (_toolbar && _toolbar->isVisible())
        frame.size.height += _toolbar->height();
    return frame;
}

HXRect HXWindow::contentRectForFrameRect(HXRect frameRect) const
{
    HXRect content = contentRectForFrameRect(frameRect, _styleMask);
    if (_toolbar && _toolbar->isVisible())
        content.size.height = std::max(0.0, content.size.height - _toolbar->height());
    return content;
}

void HXWindow::layoutFrameView()
{
    double clientHeight = std::max(0.0, _frame.size.height - titleBarHeight(_styleMask));
    double menuHeight = std::min(clientHeight, menuBarHeight(_styleMask));
    _frameView->setFrame({ {}, { _frame.size.width, clientHeight } });
    if (_menuBarView)
        _menuBarView->setFrame({ { 0, clientHeight - menuHeight }, { _frame.size.width, menuHeight } });
    double toolbarHeight = 0;
    if (_toolbar && _toolbar->isVisible()) {
        toolbarHeight = std::min(clientHeight - menuHeight, _toolbar->height());
        auto view = _toolbar->toolbarView();
        if (!view->superview())
            _frameView->addSubview(view);
        view->setFrame({ { 0, clientHeight - menuHeight - toolbarHeight }, { _frame.size.width, toolbarHeight } });
    }
    if (_contentView)
        _contentView->setFrame({ {}, { _frame.size.width, clientHeight - menuHeight - toolbarHeight } });
}

void HXWindow::setToolbar(const std::shared_ptr<HXToolbar>& toolbar)
{
    bind();
    if (toolbar == _toolbar)
        return;
    double oldHeight = (_toolbar && _toolbar->isVisible()) ? _toolbar->height() : 0;
    if (_toolbar) {
        if (_toolbar->_view)
            _toolbar->_view->removeFromSuperview();
        _toolbar->_window = nullptr;
    }
    _toolbar = toolbar;
    if (_toolbar) {
        if (_toolbar->_window && _toolbar->_window != this)
            _toolbar->_window->setToolbar(nullptr);
        _toolbar->_window = this;
    }
    toolbarHeightDidChange(oldHeight);
}

void HXWindow::toggleToolbarShown(HXObject*)
{
    if (_toolbar)
        _toolbar->setVisible(!_toolbar->isVisible());
}

void HXWindow::toolbarHeightDidChange(double oldHeight)
{
    double newHeight = (_toolbar && _toolbar->isVisible()) ? _toolbar->height() : 0;
    if (_toolbar && !_toolbar->isVisible() && _toolbar->_view)
        _toolbar->_view->removeFromSuperview();
    if (newHeight == oldHeight) {
        layoutFrameView();
        return;
    }
    // The top edge stays; the frame grows or shrinks at the bottom so the content keeps its size.
    HXRect frame = _frame;
    frame.size.height += newHeight - oldHeight;
    frame.origin.y -= newHeight - oldHeight;
    HXSize min = _minSize;
    _minSize.height = std::min(_minSize.height, frame.size.height);
    applyFrame(frame, true);
    _minSize = min;
    layoutFrameView();
}

void HXWindow::setFrame(HXRect frame, bool display, bool animate)
{
    bind();
    if (_animationTimer) {
        _animationTimer->invalidate();
        _animationTimer = nullptr;
    }
    HXTimeInterval duration = animate ? animationResizeTime(frame) : 0;
    if (duration <= 0 || !_visible) {
        applyFrame(frame, display);
        return;
    }
    HXRect start = _frame;
    HXTimeInterval begin = HXRunLoop::main().now();
    std::weak_ptr<HXWindow> weak = std::static_pointer_cast<HXWindow>(shared_from_this());
    _animationTimer = HXTimer::scheduledTimer(
        1.0 / 60,
        true,
        [weak, start, frame, begin, duration, display](HXTimer& timer) {
            auto self = weak.lock();
            if (!self) {
                timer.invalidate();
                return;
            }
            double t = std::min(1.0, (HXRunLoop::main().now() - begin) / duration);
            if (t >= 1) {
                timer.invalidate();
                self->_animationTimer = nullptr;
                self->applyFrame(frame, display);
            } else {
                self->applyFrame(lerp(start, frame, t), display);
            }
        },
        { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode, HXModalPanelRunLoopMode });
}

HXTimeInterval HXWindow::animationResizeTime(HXRect newFrame) const
{
    double change = std::fabs(newFrame.size.width - _frame.size.width) + std::fabs(newFrame.size.height - _frame.size.height)
        + std::fabs(newFrame.origin.x - _frame.origin.x) + std::fabs(newFrame.origin.y - _frame.origin.y);
    return change <= 0 ? 0 : 0.2;
}

void HXWindow::applyFrame(HXRect frame, bool display)
{
    bind();
    frame.size.width = std::clamp(frame.size.width, _minSize.width, std::max(_minSize.width, _maxSize.width));
    frame.size.height = std::clamp(frame.size.height, _minSize.height, std::max(_minSize.height, _maxSize.height));
    HXRect old = _frame;
    if (old == frame)
        return;
    _frame = frame;
    bool resized = !(old.size == frame.size);
    if (resized) {
        layoutFrameView();
        if (_backing) {
            cairo_surface_destroy(_backing);
            _backing = nullptr;
        }
        _frameView->setNeedsDisplay(true);
    }
    if (_platform)
        _platform->update();
    if (resized)
        postNotification(HXWindowDidResizeNotification);
    if (!(old.origin == frame.origin))
        postNotification(HXWindowDidMoveNotification);
    if (display && _visible)
        displayIfNeeded();
}

void HXWindow::setFrameFromBackend(HXRect frame)
{
    if (auto d = delegate(); d && !(frame.size == _frame.size))
        frame.size = d->windowWillResize(*this, frame.size);
    _inLiveResize = !(frame.size == _frame.size);
    applyFrame(frame, true);
    _inLiveResize = false;
}

void HXWindow::setFrameOrigin(HXPoint origin) { setFrame({ origin, _frame.size }, true); }

void HXWindow::setFrameTopLeftPoint(HXPoint point)
{
    setFrame({ { point.x, point.y - _frame.size.height }, _frame.size }, true);
}

HXPoint HXWindow::cascadeTopLeftFromPoint(HXPoint point)
{
    if (!(point == HXZeroPoint)) {
        HXRect f { { point.x, point.y - _frame.size.height }, _frame.size };
        auto s = screen();
        if (s) {
            HXRect vis = s->visibleFrame();
            // Start again at the top left when the next position would leave the screen.
            if (HXMaxX(f) > HXMaxX(vis) || HXMinY(f) < HXMinY(vis))
                f.origin = { HXMinX(vis), HXMaxY(vis) - f.size.height };
        }
        setFrame(constrainFrameRect(f, s), true);
    }
    HXPoint topLeft { HXMinX(_frame), HXMaxY(_frame) };
    return { topLeft.x + HXWindowTitleBarHeight, topLeft.y - HXWindowTitleBarHeight };
}

HXRect HXWindow::constrainFrameRect(HXRect frame, const std::optional<HXScreen>& screen) const
{
    if (!screen || _unconstrained)
        return frame;
    HXRect vis = screen->visibleFrame();
    // Too tall: a resizable window shrinks to fit, keeping its top.
    if (frame.size.height > vis.size.height && (_styleMask & HXResizableWindowMask)) {
        double top = HXMaxY(frame);
        frame.size.height = std::max(_minSize.height, vis.size.height);
        frame.origin.y = std::max(HXMinY(vis), top - frame.size.height);
    }
    // The title bar stays below the top of the visible area...
    if (HXMaxY(frame) > HXMaxY(vis))
        frame.origin.y = HXMaxY(vis) - frame.size.height;
    // ...and within reach above its bottom.
    double grip = std::max(titleBarHeight(_styleMask), 1.0);
    if (HXMaxY(frame) < HXMinY(vis) + grip)
        frame.origin.y = HXMinY(vis) + grip - frame.size.height;
    return frame;
}

void HXWindow::center()
{
    auto s = screen();
    if (!s)
        return;
    HXRect vis = s->visibleFrame();
    HXPoint origin { std::floor(HXMinX(vis) + (vis.size.width - _frame.size.width) / 2),
        std::floor(HXMinY(vis) + (vis.size.height - _frame.size.height) * 2 / 3) };
    setFrameOrigin(origin);
}

void HXWindow::setContentSize(HXSize size)
{
    HXRect f = frameRectForContentRect({ {}, size });
    setFrame({ { _frame.origin.x, HXMaxY(_frame) - f.size.height }, f.size }, true);
}

HXSize HXWindow::contentMinSize() const { return contentRectForFrameRect({ {}, _minSize }).size; }

void HXWindow::setContentMinSize(HXSize size) { _minSize = frameRectForContentRect({ {}, size }).size; }

std::optional<HXScreen> HXWindow::screen() const
{
    std::optional<HXScreen> best;
    double bestArea = 0;
    for (const auto& s : HXScreen::screens()) {
        HXRect common = HXIntersectionRect(s.frame(), _frame);
        double area = common.size.width * common.size.height;
        if (area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    return best ? best : HXScreen::mainScreen();
}

HXPoint HXWindow::convertBaseToScreen(HXPoint p) const { return { p.x + _frame.origin.x, p.y + _frame.origin.y }; }
HXPoint HXWindow::convertScreenToBase(HXPoint p) const { return { p.x - _frame.origin.x, p.y - _frame.origin.y }; }
HXRect HXWindow::convertRectToScreen(HXRect r) const { return { convertBaseToScreen(r.origin), r.size }; }
HXRect HXWindow::convertRectFromScreen(HXRect r) const { return { convertScreenToBase(r.origin), r.size }; }

HXPoint HXWindow::mouseLocationOutsideOfEventStream() const
{
    return convertScreenToBase(HXApplication::sharedApplication()->windowServer().mouseLocation());
}

// Looks

void HXWindow::setStyleMask(unsigned mask)
{
    if (mask == _styleMask)
        return;
    bind();
    HXRect content = contentRectForFrameRect(_frame);
    _styleMask = mask;
    if ((mask & HXMenuBarWindowMask) && !_menuBarView) {
        _menuBarView = std::make_shared<HXMenuBarView>(HXZeroRect);
        _frameView->addSubview(_menuBarView);
    } else if (!(mask & HXMenuBarWindowMask) && _menuBarView) {
        _menuBarView->removeFromSuperview();
        _menuBarView = nullptr;
    }
    // The content keeps its place and size; the frame grows or shrinks around it.
    _frame = frameRectForContentRect(content);
    layoutFrameView();
    if (_backing) {
        cairo_surface_destroy(_backing);
        _backing = nullptr;
    }
    _frameView->setNeedsDisplay(true);
    if (_platform)
        _platform->update();
}

void HXWindow::setTitle(const std::string& title)
{
    _title = title;
    if (_platform)
        _platform->update();
}

void HXWindow::setTitleWithRepresentedFilename(const std::string& path)
{
    _representedFilename = path;
    auto slash = path.find_last_of('/');
    setTitle(slash == std::string::npos ? path : path.substr(slash + 1));
}

void HXWindow::setLevel(int level)
{
    _level = level;
    if (_platform)
        _platform->update();
    if (_visible)
        HXApplication::sharedApplication()->windowDidOrderFront(*this);
}

void HXWindow::setAlphaValue(double alpha)
{
    _alpha = std::clamp(alpha, 0.0, 1.0);
    if (_platform)
        _platform->update();
}

void HXWindow::setBackgroundColor(const HXColor& color)
{
    _backgroundColor = color;
    _frameView->setNeedsDisplay(true);
}

void HXWindow::setFullScreen(bool fullScreen, const std::optional<HXScreen>& screen)
{
    _fullScreen = fullScreen;
    _fullScreenScreen = fullScreen ? screen : std::nullopt;
    if (fullScreen && screen)
        setFrame(screen->frame(), true);
    if (_platform)
        _platform->setFullScreen(fullScreen, screen);
}

// Content

void HXWindow::setContentView(const std::shared_ptr<HXView>& view)
{
    bind();
    if (!view || view == _contentView)
        return;
    if (_contentView)
        _contentView->removeFromSuperview();
    _contentView = view;
    if (_bound)
        _frameView->addSubview(view, false, _menuBarView);
    layoutFrameView();
}

// Key and main

bool HXWindow::canBecomeKeyWindow() const
{
    return (_styleMask & (HXTitledWindowMask | HXResizableWindowMask)) != 0 || isSheet();
}

bool HXWindow::canBecomeMainWindow() const { return _visible && (_styleMask & HXTitledWindowMask) && !isSheet(); }

bool HXWindow::isKeyWindow() const
{
    return HXApplication::hasSharedApplication() && HXApplication::sharedApplication()->keyWindow().get() == this;
}

bool HXWindow::isMainWindow() const
{
    return HXApplication::hasSharedApplication() && HXApplication::sharedApplication()->mainWindow().get() == this;
}

void HXWindow::makeKeyWindow()
{
    bind();
    if (!canBecomeKeyWindow() || isKeyWindow())
        return;
    HXApplication::sharedApplication()->windowDidBecomeKey(*this);
}

void HXWindow::makeMainWindow()
{
    bind();
    if (!canBecomeMainWindow() || isMainWindow())
        return;
    HXApplication::sharedApplication()->windowDidBecomeMain(*this);
}

void HXWindow::setInitialFirstResponder(const std::shared_ptr<HXView>& view)
{
    _initialFirstResponder = view;
    // Not when the window was made its own first responder on purpose (the keys go nowhere by choice).
    if (!view || !isKeyWindow() || view->window().get() != this || _choseItselfAsFirstResponder)
        return;
    auto current = _firstResponder.lock();
    auto currentView = std::dynamic_pointer_cast<HXView>(current);
    if (!current || (currentView && currentView->window().get() != this))
        makeFirstResponder(view);
}

void HXWindow::firstResponderIsLeaving()
{
    makeFirstResponder(std::static_pointer_cast<HXResponder>(shared_from_this()));
    _choseItselfAsFirstResponder = false;
}

void HXWindow::becomeKeyWindow()
{
    if (_firstResponder.expired()) {
        if (auto initial = initialFirstResponder())
            makeFirstResponder(initial);
    }
    postNotification(HXWindowDidBecomeKeyNotification);
}

void HXWindow::resignKeyWindow() { postNotification(HXWindowDidResignKeyNotification); }
void HXWindow::becomeMainWindow() { postNotification(HXWindowDidBecomeMainNotification); }
void HXWindow::resignMainWindow() { postNotification(HXWindowDidResignMainNotification); }

// Ordering

void HXWindow::setVisible(bool visible)
{
    if (_visible == visible)
        return;
    auto& app = *HXApplication::sharedApplication();
    if (visible) {
        postNotification(HXWindowWillBecomeVisible);
        _visible = true;
        if (!_platform) {
            _platform = app.windowServer().createWindow(*this);
            // A window made full screen before it was first shown is full screen from the start (the desktop
            // then keeps its panels under it).
            if (_platform && _fullScreen)
                _platform->setFullScreen(true, _fullScreenScreen);
        }
        app.windowDidOrderFront(*this);
        if (_platform)
            _platform->setVisible(true);
        _frameView->setNeedsDisplay(true);
        displayIfNeeded();
    } else {
        _visible = false;
        if (_platform)
            _platform->setVisible(false);
        app.windowDidOrderOut(*this);
    }
}

void HXWindow::makeKeyAndOrderFront(HXObject*)
{
    orderFront();
    makeKeyWindow();
    if (canBecomeMainWindow())
        makeMainWindow();
}

void HXWindow::orderFront(HXObject*)
{
    bind();
    if (_closed)
        _closed = false;
    if (_miniaturized)
        deminiaturize();
    if (_visible) {
        HXApplication::sharedApplication()->windowDidOrderFront(*this);
        if (_platform)
            _platform->orderFront();
    } else {
        setVisible(true);
    }
}

void HXWindow::orderFrontRegardless() { orderFront(); }

void HXWindow::orderBack(HXObject*)
{
    orderWindow(HXWindowBelow, 0);
}

void HXWindow::orderOut(HXObject*)
{
    bind();
    if (!_visible)
        return;
    if (_attachedSheet)
        _attachedSheet->orderOut();
    setVisible(false);
}

void HXWindow::orderWindow(HXWindowOrderingMode place, int otherWindowNumber)
{
    bind();
    if (place == HXWindowOut) {
        orderOut();
        return;
    }
    if (!_visible)
        setVisible(true);
    HXApplication::sharedApplication()->orderWindowRelative(*this, place, otherWindowNumber);
}

// Miniaturize, zoom, close

void HXWindow::miniaturize(HXObject*)
{
    bind();
    if (_miniaturized)
        return;
    postNotification(HXWindowWillMiniaturizeNotification);
    if (_platform)
        _platform->miniaturize();
    setMiniaturizedByBackend(true);
}

void HXWindow::deminiaturize(HXObject*)
{
    if (!_miniaturized)
        return;
    if (_platform)
        _platform->deminiaturize();
    setMiniaturizedByBackend(false);
}

void HXWindow::setMiniaturizedByBackend(bool miniaturized)
{
    if (_miniaturized == miniaturized)
        return;
    _miniaturized = miniaturized;
    if (miniaturized) {
        setVisible(false);
        postNotification(HXWindowDidMiniaturizeNotification);
    } else {
        setVisible(true);
        postNotification(HXWindowDidDeminiaturizeNotification);
    }
}

HXRect HXWindow::standardFrame() const
{
    auto s = screen();
    HXRect standard = s ? s->visibleFrame() : _frame;
    if (auto d = delegate()) {
        if (auto proposed = d->windowWillUseStandardFrame(*const_cast<HXWindow*>(this), standard))
            standard = *proposed;
    }
    return standard;
}

bool HXWindow::isZoomed() const { return _frame == standardFrame(); }

void HXWindow::zoom(HXObject*)
{
    HXRect standard = standardFrame();
    if (_frame == standard && _userFrameBeforeZoom) {
        setFrame(*_userFrameBeforeZoom, true);
        _userFrameBeforeZoom.reset();
    } else {
        _userFrameBeforeZoom = _frame;
        setFrame(standard, true);
    }
}

void HXWindow::performClose(HXObject*)
{
    if (!(_styleMask & HXClosableWindowMask)) {
        HXBeep();
        return;
    }
    auto self = std::static_pointer_cast<HXWindow>(shared_from_this());
    if (auto d = delegate(); d && !d->windowShouldClose(*this))
        return;
    close();
}

void HXWindow::performMiniaturize(HXObject*)
{
    if (!(_styleMask & HXMiniaturizableWindowMask)) {
        HXBeep();
        return;
    }
    miniaturize();
}

void HXWindow::performZoom(HXObject*)
{
    if (!(_styleMask & HXResizableWindowMask)) {
        HXBeep();
        return;
    }
    zoom();
}

void HXWindow::close()
{
    if (_closed)
        return;
    bind();
    auto self = std::static_pointer_cast<HXWindow>(shared_from_this());  // alive until the end
    _closed = true;
    postNotification(HXWindowWillCloseNotification);
    if (_attachedSheet)
        endSheet(_attachedSheet, HXModalResponseAbort);
    if (auto parent = sheetParent(); parent && parent->attachedSheet() == self)
        parent->endSheet(self, HXModalResponseAbort);
    orderOut();
    if (_animationTimer) {
        _animationTimer->invalidate();
        _animationTimer = nullptr;
    }
    HXApplication::sharedApplication()->windowDidClose(*this);
}

// Delegate, controller, undo

void HXWindow::setWindowController(const std::shared_ptr<HXWindowController>& controller)
{
    _windowController = controller;
    setNextResponder(controller);
}

HXUndoManager* HXWindow::undoManager()
{
    if (auto d = delegate())
        return d->windowWillReturnUndoManager(*this);
    return nullptr;
}

bool HXWindow::validateMenuItem(HXMenuItem& item)
{
    auto* undo = undoManager();
    if (item.action() == HXSelector("undo:")) {
        item.setTitle(undo ? undo->undoMenuItemTitle() : "Undo");
        return undo && undo->canUndo();
    }
    if (item.action() == HXSelector("redo:")) {
        item.setTitle(undo ? undo->redoMenuItemTitle() : "Redo");
        return undo && undo->canRedo();
    }
    return HXResponder::validateMenuItem(item);
}

bool HXWindow::validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item)
{
    auto* undo = undoManager();
    if (item.action() == HXSelector("undo:"))
        return undo && undo->canUndo();
    if (item.action() == HXSelector("redo:"))
        return undo && undo->canRedo();
    return HXResponder::validateUserInterfaceItem(item);
}

// First responder

std::shared_ptr<HXResponder> HXWindow::firstResponder() const
{
    if (auto r = _firstResponder.lock())
        return r;
    return std::const_pointer_cast<HXResponder>(std::static_pointer_cast<const HXResponder>(shared_from_this()));
}

bool HXWindow::makeFirstResponder(const std::shared_ptr<HXResponder>& responder)
{
    bind();
    auto self = std::static_pointer_cast<HXResponder>(shared_from_this());
    auto current = firstResponder();
    auto wanted = responder ? responder : self;
    if (current == wanted)
        return true;
    if (current != self && !current->resignFirstResponder())
        return false;
    if (wanted != self && (!wanted->acceptsFirstResponder() || !wanted->becomeFirstResponder())) {
        _firstResponder.reset();
        return false;
    }
    _firstResponder = wanted == self ? std::weak_ptr<HXResponder>() : std::weak_ptr<HXResponder>(wanted);
    _choseItselfAsFirstResponder = wanted == self;
    return true;
}

void HXWindow::selectKeyViewFollowingView(const std::shared_ptr<HXView>& view)
{
    std::shared_ptr<HXView> next = view ? view->nextValidKeyView() : nullptr;
    if (!next) {
        auto initial = initialFirstResponder();
        if (initial && initial->canBecomeKeyView())
            next = initial;
    }
    if (next)
        makeFirstResponder(next);
}

void HXWindow::selectKeyViewPrecedingView(const std::shared_ptr<HXView>& view)
{
    std::shared_ptr<HXView> previous = view ? view->previousValidKeyView() : nullptr;
    if (previous)
        makeFirstResponder(previous);
}

void HXWindow::selectNextKeyView(HXObject*)
{
    auto current = std::dynamic_pointer_cast<HXView>(firstResponder());
    if (current)
        selectKeyViewFollowingView(current);
    else if (auto initial = initialFirstResponder())
        makeFirstResponder(initial->canBecomeKeyView() ? initial : initial->nextValidKeyView());
}

void HXWindow::selectPreviousKeyView(HXObject*)
{
    auto current = std::dynamic_pointer_cast<HXView>(firstResponder());
    if (current)
        selectKeyViewPrecedingView(current);
    else if (auto initial = initialFirstResponder())
        makeFirstResponder(initial->canBecomeKeyView() ? initial : initial->previousValidKeyView());
}

// Events

const HXEvent* HXWindow::currentEvent() const { return HXApplication::sharedApplication()->currentEvent(); }

std::optional<HXEvent> HXWindow::nextEventMatchingMask(HXEventMask mask)
{
    return nextEventMatchingMask(mask, std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
}

std::optional<HXEvent> HXWindow::nextEventMatchingMask(HXEventMask mask, HXTimeInterval untilDate,
    const std::string& mode, bool dequeue)
{
    return HXApplication::sharedApplication()->nextEventMatchingMask(mask, untilDate, mode, dequeue);
}

void HXWindow::discardEventsMatchingMask(HXEventMask mask, const HXEvent* beforeEvent)
{
    HXApplication::sharedApplication()->discardEventsMatchingMask(mask, beforeEvent);
}

bool HXWindow::performKeyEquivalent(const HXEvent& event)
{
    bind();
    if (_attachedSheet)
        return _attachedSheet->performKeyEquivalent(event);
    return _frameView->performKeyEquivalent(event);
}

void HXWindow::keyDown(const HXEvent& event)
{
    auto menu = HXApplication::sharedApplication()->mainMenu();
    if (menu && !HXApplication::sharedApplication()->modalWindow() && menu->performKeyEquivalent(event))
        return;
    char32_t c = event.firstCharacterIgnoringModifiers();
    if (c == U'\t' && !(event.modifierFlags() & HXShiftKeyMask)) {
        selectNextKeyView();
        return;
    }
    if (c == char32_t(HXBackTabCharacter) || (c == U'\t' && (event.modifierFlags() & HXShiftKeyMask))) {
        selectPreviousKeyView();
        return;
    }
    if (c == char32_t(HXEscapeCharacter) && tryToPerform("cancelOperation:", this))
        return;
    HXResponder::keyDown(event);
}

void HXWindow::mouseDownInWindow(const HXEvent& event)
{
    if (_attachedSheet) {
        HXBeep();
        _attachedSheet->orderFront();
        return;
    }
    bool wasKey = isKeyWindow();
    auto hit = _frameView->hitTest(event.locationInWindow());
    // A panel that becomes key only if needed stays out of the keys' way unless the click is on a view
    // that takes typing: the window in front keeps its keys (a full-screen presentation its Escape).
    auto* panel = dynamic_cast<HXPanel*>(this);
    bool takesKey = !panel || !panel->becomesKeyOnlyIfNeeded() || (hit && hit->needsPanelToBecomeKey());
    if (!wasKey && canBecomeKeyWindow() && takesKey && event.type() == HXLeftMouseDown) {
        makeKeyAndOrderFront();
        // The click that only brings the window forward goes no further unless the view wants it.
        if (hit && !hit->acceptsFirstMouse(&event) && hit != _frameView && hit != _contentView)
            return;
    }
    if (!hit)
        return;
    // A window movable by its background follows the mouse from any view that lets it (controls never do).
    if (event.type() == HXLeftMouseDown && _movableByBackground && hit->mouseDownCanMoveWindow()
        && !dynamic_cast<HXControl*>(hit.get())) {
        dragWindow(event);
        return;
    }
    if (event.type() == HXLeftMouseDown && hit->acceptsFirstResponder() && firstResponder() != hit)
        makeFirstResponder(hit);
    _mouseDownView = hit;
    HXDispatchEventToResponder(*hit, event);
}

void HXWindow::dragWindow(const HXEvent& down)
{
    auto keep = shared_from_this();
    HXPoint startMouse = convertBaseToScreen(down.locationInWindow());
    HXPoint startOrigin = _frame.origin;
    for (;;) {
        auto next = HXApplication::sharedApplication()->nextEventMatchingMask(HXLeftMouseDraggedMask | HXLeftMouseUpMask,
            std::numeric_limits<double>::infinity(), HXEventTrackingRunLoopMode, true);
        if (!next)
            break;
        // Locations are relative to where the window was when the event happened: its frame now.
        HXPoint mouse = convertBaseToScreen(next->locationInWindow());
        HXPoint origin { startOrigin.x + mouse.x - startMouse.x, startOrigin.y + mouse.y - startMouse.y };
        if (!(origin == _frame.origin))
            setFrameOrigin(origin);
        if (next->type() == HXLeftMouseUp)
            break;
    }
}

void HXWindow::sendEvent(const HXEvent& event)
{
    bind();
    switch (event.type()) {
    case HXLeftMouseDown:
    case HXRightMouseDown:
    case HXOtherMouseDown:
        if (_ignoresMouseEvents)
            return;
        mouseDownInWindow(event);
        break;
    case HXLeftMouseDragged:
    case HXRightMouseDragged:
    case HXOtherMouseDragged:
    case HXLeftMouseUp:
    case HXRightMouseUp:
    case HXOtherMouseUp: {
        auto target = _mouseDownView;
        if (!target)
            target = _frameView->hitTest(event.locationInWindow());
        if (event.type() == HXLeftMouseUp || event.type() == HXRightMouseUp || event.type() == HXOtherMouseUp)
            _mouseDownView = nullptr;
        if (target)
            HXDispatchEventToResponder(*target, event);
        break;
    }
    case HXMouseMoved:
        updateTrackingRects(event.locationInWindow(), &event);
        updateCursor(event.locationInWindow());
        if (_acceptsMouseMoved)
            firstResponder()->mouseMoved(event);
        break;
    case HXKeyDown:
    case HXKeyUp:
    case HXFlagsChanged:
        if (_attachedSheet) {
            _attachedSheet->sendEvent(event);
            break;
        }
        HXDispatchEventToResponder(*firstResponder(), event);
        break;
    case HXScrollWheel:
    case HXEventTypeMagnify:
    case HXEventTypeSwipe:
    case HXEventTypeRotate:
    case HXEventTypeBeginGesture:
    case HXEventTypeEndGesture:
    case HXEventTypeGesture:
        if (auto hit = _frameView->hitTest(event.locationInWindow()))
            HXDispatchEventToResponder(*hit, event);
        break;
    default:
        break;
    }
}

void HXWindow::updateTrackingRects(HXPoint location, const HXEvent* event)
{
    std::vector<std::shared_ptr<HXView>> stack { _frameView };
    while (!stack.empty()) {
        auto view = stack.back();
        stack.pop_back();
        for (auto& sub : view->subviews())
            stack.push_back(sub);
        if (view->trackingRects().empty())
            continue;
        HXPoint local = view->convertPointFromView(location, nullptr);
        bool visible = _visible && !view->isHiddenOrHasHiddenAncestor();
        auto rects = view->trackingRects();  // owners may add or remove rectangles
        for (auto& t : rects) {
            bool inside = visible && view->mouseInRect(local, t.rect);
            if (inside == t.inside)
                continue;
            for (auto& live : view->trackingRects()) {
                if (live.tag == t.tag)
                    live.inside = inside;
            }
            auto owner = t.owner.lock();
            if (!owner)
                continue;
            HXEvent e = HXEvent::enterExitEvent(inside ? HXMouseEntered : HXMouseExited, location,
                event ? event->modifierFlags() : 0, event ? event->timestamp() : HXRunLoop::main().now(), _windowNumber,
                int(t.tag), t.userData);
            if (inside)
                owner->mouseEntered(e);
            else
                owner->mouseExited(e);
        }
    }
}

// Cursor rectangles

void HXWindow::invalidateCursorRectsForView(HXView& view)
{
    (void)view;
    _cursorRectsValid = false;
}

void HXWindow::discardCursorRects()
{
    std::vector<std::shared_ptr<HXView>> stack { _frameView };
    while (!stack.empty()) {
        auto view = stack.back();
        stack.pop_back();
        view->discardCursorRects();
        for (auto& sub : view->subviews())
            stack.push_back(sub);
    }
    _cursorRectsValid = false;
}

void HXWindow::resetCursorRects()
{
    discardCursorRects();
    std::vector<std::shared_ptr<HXView>> stack { _frameView };
    while (!stack.empty()) {
        auto view = stack.back();
        stack.pop_back();
        if (view->isHidden())
            continue;
        view->resetCursorRects();
        for (auto& sub : view->subviews())
            stack.push_back(sub);
    }
    // Views may have invalidated while adding; what they added is current.
    _cursorRectsValid = true;
}

std::shared_ptr<HXCursor> HXWindow::cursorForPoint(HXPoint location)
{
    if (!_cursorRectsValid)
        resetCursorRects();
    for (auto view = _frameView->hitTest(location); view; view = view->superview()) {
        const auto& rects = view->cursorRects();
        if (rects.empty())
            continue;
        HXPoint local = view->convertPointFromView(location, nullptr);
        HXRect visible = view->visibleRect();
        for (auto it = rects.rbegin(); it != rects.rend(); ++it)
            if (view->mouseInRect(local, HXIntersectionRect(it->rect, visible)))
                return it->cursor;
    }
    return HXCursor::arrowCursor();
}

void HXWindow::updateCursor(HXPoint location)
{
    auto cursor = cursorForPoint(location);
    if (_shownCursor == cursor->type() && HXCursor::currentCursor()->type() == cursor->type())
        return;
    _shownCursor = cursor->type();
    cursor->set();
}

// Sheets

void HXWindow::beginSheet(const std::shared_ptr<HXWindow>& sheet, std::function<void(long)> handler)
{
    bind();
    if (!sheet || _attachedSheet) {
        HXBeep();
        return;
    }
    auto self = std::static_pointer_cast<HXWindow>(shared_from_this());
    _attachedSheet = sheet;
    _sheetHandler = std::move(handler);
    sheet->setSheetParent(self);
    // The sheet drops down from the bottom of the title bar, centred; one wider than a window near the
    // screen's edge moves in to stay whole on the screen.
    HXRect f = sheet->frame();
    double top = HXMaxY(_frame) - titleBarHeight(_styleMask);
    double x = std::floor(HXMidX(_frame) - f.size.width / 2);
    if (auto onScreen = screen()) {
        HXRect visible = onScreen->visibleFrame();
        x = std::max(HXMinX(visible), std::min(x, HXMaxX(visible) - f.size.width));
    }
    sheet->setFrame({ { x, top - f.size.height }, f.size }, false);
    sheet->makeKeyAndOrderFront();
}

void HXWindow::endSheet(const std::shared_ptr<HXWindow>& sheetArgument, long returnCode)
{
    // The caller may pass _attachedSheet itself, which is cleared below: hold the sheet here.
    std::shared_ptr<HXWindow> sheet = sheetArgument;
    if (!sheet || sheet != _attachedSheet)
        return;
    auto self = std::static_pointer_cast<HXWindow>(shared_from_this());
    auto handler = std::move(_sheetHandler);
    _sheetHandler = nullptr;
    _attachedSheet = nullptr;
    sheet->orderOut();
    sheet->setSheetParent(nullptr);
    if (_visible)
        makeKeyWindow();
    postNotification(HXWindowDidEndSheetNotification);
    if (handler)
        handler(returnCode);
}

// Display

void HXWindow::setViewsNeedDisplay(bool flag) { _viewsNeedDisplay = flag; }

void HXWindow::ensureBacking()
{
    int w = std::max(1, int(std::ceil(_frameView->frame().size.width)));
    int h = std::max(1, int(std::ceil(_frameView->frame().size.height)));
    if (_backing && cairo_image_surface_get_width(_backing) == w && cairo_image_surface_get_height(_backing) == h)
        return;
    if (_backing)
        cairo_surface_destroy(_backing);
    _backing = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    _frameView->setNeedsDisplay(true);
    _videoLayersValid = false;
}

void HXWindow::noteDamage(HXRect base)
{
    const int height = cairo_image_surface_get_height(_backing);
    const int width = cairo_image_surface_get_width(_backing);
    const int x0 = std::max(0, int(std::floor(base.origin.x)));
    const int x1 = std::min(width, int(std::ceil(HXMaxX(base))));
    const int y0 = std::max(0, int(std::floor(height - HXMaxY(base))));
    const int y1 = std::min(height, int(std::ceil(height - base.origin.y)));
    if (x1 <= x0 || y1 <= y0)
        return;
    HXPixelRect rect { x0, y0, x1 - x0, y1 - y0 };
    // A few rectangles at most: a new one that touches the last grows it.
    if (!_damage.empty() && !HXIntersectionPixelRect(_damage.back(), { rect.x - 1, rect.y - 1, rect.width + 2, rect.height + 2 }).isEmpty())
        _damage.back() = HXUnionPixelRect(_damage.back(), rect);
    else if (_damage.size() >= 8)
        _damage.back() = HXUnionPixelRect(_damage.back(), rect);
    else
        _damage.push_back(rect);
    _composedValid = false;
}

void HXWindow::drawWindow(bool onlyDirty)
{
    bind();
    ensureBacking();
    HXRect clip = onlyDirty ? _frameView->dirtyRectInBase() : _frameView->frame();
    _viewsNeedDisplay = false;
    if (HXIsEmptyRect(clip))
        return;
    _frameView->drawTree(_backing, _frameView->frame().size.height, clip);
    cairo_surface_flush(_backing);
    noteDamage(clip);
    // Drawing may move or change the pictures of the views that show video.
    _videoLayersValid = false;
    _needsFlush = true;
}

void HXWindow::display()
{
    drawWindow(false);
    flushWindow();
}

void HXWindow::displayIfNeeded()
{
    bind();
    if (!_viewsNeedDisplay && !_needsVideoPresent && _backing)
        return;
    if (!_backing) {
        display();
        return;
    }
    if (_viewsNeedDisplay)
        drawWindow(true);
    if (_needsVideoPresent)
        _needsFlush = true;
    flushWindow();
}

void HXWindow::displayRectOfView(HXView& view, HXRect rect)
{
    bind();
    ensureBacking();
    HXRect base = view.convertRectToView(rect, nullptr);
    _frameView->drawTree(_backing, _frameView->frame().size.height, base);
    cairo_surface_flush(_backing);
    noteDamage(base);
    _videoLayersValid = false;
    _needsFlush = true;
    flushWindow();
}

void HXWindow::setNeedsVideoPresent()
{
    _needsVideoPresent = true;
    _videoLayersValid = false;
    _composedValid = false;
}

HXVideoLayerSupport HXWindow::videoLayerSupport() const
{
    if (_platform)
        if (auto support = _platform->videoLayerSupport())
            return *support;
    return {};
}

namespace {

void collectLayers(HXView& view, const HXVideoLayerSupport& support, int width, int height,
    std::vector<std::shared_ptr<HXVideoLayer>>& store, std::vector<HXPlacedVideoLayer>& placed)
{
    if (view.isHidden())
        return;
    if (auto layer = view.videoLayer(support); layer && layer->picture.isValid()) {
        auto pixels = [&](HXRect r) {
            HXRect base = view.convertRectToView(r, nullptr);
            const int x0 = int(std::lround(base.origin.x)), x1 = int(std::lround(HXMaxX(base)));
            const int y0 = int(std::lround(height - HXMaxY(base))), y1 = int(std::lround(height - base.origin.y));
            return HXPixelRect { x0, y0, x1 - x0, y1 - y0 };
        };
        HXPixelRect rect = pixels(layer->rect);
        HXPixelRect visible = HXIntersectionPixelRect(
            HXIntersectionPixelRect(rect, pixels(view.visibleRect())), { 0, 0, width, height });
        if (!rect.isEmpty() && !visible.isEmpty()) {
            store.push_back(std::make_shared<HXVideoLayer>(std::move(*layer)));
            placed.push_back({ rect, visible, store.back().get() });
        }
    }
    for (auto& sub : view.subviews())
        collectLayers(*sub, support, width, height, store, placed);
}

} // namespace

void HXWindow::collectVideoLayers()
{
    if (_videoLayersValid)
        return;
    _videoLayersValid = true;
    _composedValid = false;
    std::vector<std::shared_ptr<HXVideoLayer>> store;
    std::vector<HXPlacedVideoLayer> placed;
    if (_backing)
        collectLayers(*_frameView, videoLayerSupport(), cairo_image_surface_get_width(_backing),
            cairo_image_surface_get_height(_backing), store, placed);
    _videoLayerStore = std::move(store);
    _videoLayers = std::move(placed);
}

const std::vector<HXPlacedVideoLayer>& HXWindow::videoLayers()
{
    bind();
    collectVideoLayers();
    return _videoLayers;
}

cairo_surface_t* HXWindow::composedSurface()
{
    collectVideoLayers();
    if (_videoLayers.empty() || !_backing)
        return _backing;
    const int width = cairo_image_surface_get_width(_backing), height = cairo_image_surface_get_height(_backing);
    if (_composed && (cairo_image_surface_get_width(_composed) != width || cairo_image_surface_get_height(_composed) != height)) {
        cairo_surface_destroy(_composed);
        _composed = nullptr;
        _composedValid = false;
    }
    if (_composed && _composedValid)
        return _composed;
    if (!_composed)
        _composed = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(_composed);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    for (const auto& placed : _videoLayers) {
        const HXVideoLayer& layer = *placed.layer;
        const HXPixelRect& r = placed.rect;
        HXVideoPicture picture = layer.picture;
        // YUV is converted by the layer's producer, at the size shown; BGRA is scaled here.
        if (picture.isYUV())
            picture = layer.rgbPicture ? layer.rgbPicture(r.width, r.height) : HXVideoPicture {};
        if (!picture.isValid() || picture.isYUV())
            continue;
        cairo_surface_t* image = cairo_image_surface_create_for_data(const_cast<unsigned char*>(picture.planes[0]),
            CAIRO_FORMAT_ARGB32, picture.width, picture.height, picture.strides[0]);
        cairo_save(cr);
        cairo_rectangle(cr, placed.visible.x, placed.visible.y, placed.visible.width, placed.visible.height);
        cairo_clip(cr);
        cairo_translate(cr, r.x, r.y);
        cairo_scale(cr, double(r.width) / picture.width, double(r.height) / picture.height);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr, _backing, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(_composed);
    _composedValid = true;
    return _composed;
}

void HXWindow::update()
{
    postNotification(HXWindowDidUpdateNotification);
}

void HXWindow::enableFlushWindow()
{
    if (_flushDisabled > 0)
        --_flushDisabled;
}

void HXWindow::flushWindow()
{
    if (_flushDisabled > 0 || !_visible || !_needsFlush)
        return;
    if (HXApplication::hasSharedApplication() && HXApplication::sharedApplication()->areScreenUpdatesDisabled())
        return;
    _needsFlush = false;
    _needsVideoPresent = false;
    if (!_platform || !_backing) {
        _damage.clear();
        return;
    }
    collectVideoLayers();
    if (_platform->videoLayerSupport()) {
        _platform->presentLayers(_backing, _damage, _videoLayers);
    } else {
        // A backend without a compositor is given the window composed here.
        _platform->present(composedSurface());
    }
    _damage.clear();
}

void HXWindow::flushWindowIfNeeded() { flushWindow(); }

bool HXWindow::writeRenderedPNG(const std::string& path)
{
    drawWindow(false);
    cairo_surface_t* surface = composedSurface();
    return surface && cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::shared_ptr<HXBitmapImageRep> HXWindow::renderedImageRep()
{
    drawWindow(false);
    cairo_surface_t* surface = composedSurface();
    if (!surface)
        return nullptr;
    auto rep = HXBitmapImageRep::imageRepWithCairoSurface(surface);
    return rep ? rep->copy() : nullptr;
}

uint32_t HXWindow::renderedPixelRGBA(int x, int y)
{
    if (!_backing || _viewsNeedDisplay)
        drawWindow(!(!_backing));
    cairo_surface_t* surface = composedSurface();
    if (!surface)
        return 0;
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    if (x < 0 || y < 0 || x >= w || y >= h)
        return 0;
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    uint32_t argb;
    std::memcpy(&argb, data + size_t(y) * cairo_image_surface_get_stride(surface) + size_t(x) * 4, 4);
    uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    if (a && a != 255) {
        r = std::min(255u, (r * 255 + a / 2) / a);
        g = std::min(255u, (g * 255 + a / 2) / a);
        b = std::min(255u, (b * 255 + a / 2) / a);
    }
    return (r << 24) | (g << 16) | (b << 8) | a;
}

// Notifications

void HXWindow::postNotification(const char* name)
{
    auto self = std::static_pointer_cast<HXWindow>(shared_from_this());
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(name, self));
    auto d = delegate();
    if (!d)
        return;
    std::string n = name;
    if (n == HXWindowDidResizeNotification)
        d->windowDidResize(*this);
    else if (n == HXWindowDidMoveNotification)
        d->windowDidMove(*this);
    else if (n == HXWindowDidBecomeKeyNotification)
        d->windowDidBecomeKey(*this);
    else if (n == HXWindowDidResignKeyNotification)
        d->windowDidResignKey(*this);
    else if (n == HXWindowDidBecomeMainNotification)
        d->windowDidBecomeMain(*this);
    else if (n == HXWindowDidResignMainNotification)
        d->windowDidResignMain(*this);
    else if (n == HXWindowWillMiniaturizeNotification)
        d->windowWillMiniaturize(*this);
    else if (n == HXWindowDidMiniaturizeNotification)
        d->windowDidMiniaturize(*this);
    else if (n == HXWindowDidDeminiaturizeNotification)
        d->windowDidDeminiaturize(*this);
    else if (n == HXWindowDidUpdateNotification)
        d->windowDidUpdate(*this);
    else if (n == HXWindowWillCloseNotification)
        d->windowWillClose(*this);
}

// Panels

HXPanel::HXPanel(HXRect contentRect, unsigned styleMask)
    : HXWindow(contentRect, styleMask)
{
    setHidesOnDeactivate(true);
}

bool HXPanel::canBecomeKeyWindow() const { return HXWindow::canBecomeKeyWindow() || isModalPanel(); }
