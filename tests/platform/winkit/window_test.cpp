// Window geometry, ordering, key and main status, notifications, closing, events to views, rendering.
#include "winkit_fixture.h"

#include "platform/drawing/bitmap_image_rep.h"
#include "platform/winkit/button.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/menu_bar_view.h"
#include "platform/winkit/text_drawing.h"
#include "platform/winkit/text_field.h"
#include "test_support.h"

#include <functional>

class WindowTest : public WinkitTest {
protected:
    std::vector<HXScreen> screens() override
    {
        // Two screens side by side; the first has a 24-point panel at the top.
        return { HXScreen(1, HXMakeRect(0, 0, 1280, 1024), HXMakeRect(0, 0, 1280, 1000)),
            HXScreen(2, HXMakeRect(1280, 0, 800, 600), HXMakeRect(1280, 0, 800, 600)) };
    }
};

TEST_F(WindowTest, FrameHoldsTitleBarAndMenuBarAboveTheContent)
{
    struct Case {
        unsigned style;
        double extra;
    };
    const Case cases[] = {
        { HXBorderlessWindowMask, 0 },
        { HXTitledWindowMask, 22 },
        { HXTitledWindowMask | HXMenuBarWindowMask, 44 },
        { HXMenuBarWindowMask, 22 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        HXRect content = HXMakeRect(50, 60, 320, 240);
        HXRect frame = HXWindow::frameRectForContentRect(content, c.style);
        EXPECT_EQ(frame, HXMakeRect(50, 60, 320, 240 + c.extra));
        EXPECT_EQ(HXWindow::contentRectForFrameRect(frame, c.style), content);
        auto w = makeWindow(content, c.style);
        EXPECT_EQ(w->frame(), frame);
        // The content view fills the content rectangle at the bottom of the window's base space.
        EXPECT_EQ(w->contentView()->frame(), HXMakeRect(0, 0, 320, 240));
        if (c.style & HXMenuBarWindowMask) {
            ASSERT_TRUE(w->menuBarView());
            EXPECT_EQ(w->menuBarView()->frame(), HXMakeRect(0, 240, 320, 22));
        }
    }
}

TEST_F(WindowTest, ResizingKeepsContentAndMenuBarInPlaceAndPostsNotifications)
{
    auto w = makeWindow(HXMakeRect(100, 100, 300, 200), HXTitledWindowMask | HXMenuBarWindowMask | HXResizableWindowMask);
    auto child = std::make_shared<HXView>(HXMakeRect(10, 10, 280, 20));
    child->setAutoresizingMask(HXViewWidthSizable | HXViewMaxYMargin);
    w->contentView()->addSubview(child);
    auto log = record({ HXWindowDidResizeNotification, HXWindowDidMoveNotification }, w.get());

    w->setFrame(HXMakeRect(100, 100, 400, 300), true);
    EXPECT_EQ(w->contentView()->frame(), HXMakeRect(0, 0, 400, 256));
    EXPECT_EQ(w->menuBarView()->frame(), HXMakeRect(0, 256, 400, 22));
    EXPECT_EQ(child->frame(), HXMakeRect(10, 10, 380, 20));
    w->setFrameOrigin({ 5, 6 });
    w->setFrameOrigin({ 5, 6 });  // no change, no notification
    EXPECT_EQ(*log, (std::vector<std::string> { HXWindowDidResizeNotification, HXWindowDidMoveNotification }));
    w->setFrameTopLeftPoint({ 20, 500 });
    EXPECT_EQ(w->frame(), HXMakeRect(20, 200, 400, 300));
}

TEST_F(WindowTest, ConstrainingKeepsTheTitleBarOnTheVisibleArea)
{
    auto w = makeWindow(HXMakeRect(0, 0, 400, 300));  // frame 400 × 322, resizable
    auto screen = HXScreen::screens().front();
    struct Case {
        const char* name;
        HXRect in;
        HXRect out;
    };
    const Case cases[] = {
        { "inside stays", HXMakeRect(100, 100, 400, 322), HXMakeRect(100, 100, 400, 322) },
        { "above the panel moves down", HXMakeRect(100, 900, 400, 322), HXMakeRect(100, 678, 400, 322) },
        { "below the screen comes up to the title bar", HXMakeRect(100, -600, 400, 322), HXMakeRect(100, -300, 400, 322) },
        { "too tall shrinks keeping the top", HXMakeRect(0, -200, 400, 1100), HXMakeRect(0, 0, 400, 1000) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(w->constrainFrameRect(c.in, screen), c.out);
    }
    EXPECT_EQ(w->constrainFrameRect(HXMakeRect(0, 2000, 10, 10), std::nullopt), HXMakeRect(0, 2000, 10, 10));
}

TEST_F(WindowTest, CascadingStepsDownAndRightAndWrapsAtTheScreenEdge)
{
    auto a = makeWindow(HXMakeRect(0, 0, 400, 300));
    auto b = makeWindow(HXMakeRect(0, 0, 400, 300));
    HXPoint next = a->cascadeTopLeftFromPoint({ 50, 900 });
    EXPECT_EQ(a->frame().origin, (HXPoint { 50, 900 - 322 }));
    EXPECT_EQ(next, (HXPoint { 72, 878 }));
    b->cascadeTopLeftFromPoint(next);
    EXPECT_EQ(b->frame().origin, (HXPoint { 72, 878 - 322 }));
    // Zero leaves the window where it is.
    EXPECT_EQ(b->cascadeTopLeftFromPoint(HXZeroPoint), (HXPoint { 94, 856 }));
    // A point that would put the window past the right edge starts again at the top left.
    b->cascadeTopLeftFromPoint({ 1200, 900 });
    EXPECT_EQ(b->frame().origin, (HXPoint { 0, 1000 - 322 }));
}

TEST_F(WindowTest, AnimatedFrameChangeRunsOnTheRunLoop)
{
    auto w = makeWindow(HXMakeRect(100, 100, 200, 100));
    w->orderFront();
    int resizes = 0;
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
        HXWindowDidResizeNotification, w.get(), [&](const HXNotification&) { ++resizes; }));
    HXRect target = HXMakeRect(100, 100, 400, 300);
    w->setFrame(target, true, true);
    EXPECT_TRUE(w->isAnimating());
    EXPECT_EQ(w->frame(), HXMakeRect(100, 100, 200, 122));
    clock->advance(0.1);
    EXPECT_GT(w->frame().size.width, 200);
    EXPECT_LT(w->frame().size.width, 400);
    clock->advance(w->animationResizeTime(target) + 0.1);
    EXPECT_FALSE(w->isAnimating());
    EXPECT_EQ(w->frame(), target);
    EXPECT_GT(resizes, 2);
}

TEST_F(WindowTest, KeyAndMainFollowOrderingAndPostNotifications)
{
    auto a = makeWindow(HXMakeRect(0, 0, 100, 100));
    auto b = makeWindow(HXMakeRect(0, 0, 100, 100));
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 50, 50), HXTitledWindowMask | HXUtilityWindowMask);
    auto logA = record({ HXWindowDidBecomeKeyNotification, HXWindowDidResignKeyNotification,
                           HXWindowDidBecomeMainNotification, HXWindowDidResignMainNotification },
        a.get());
    a->makeKeyAndOrderFront();
    b->makeKeyAndOrderFront();
    EXPECT_TRUE(b->isKeyWindow());
    EXPECT_TRUE(b->isMainWindow());
    EXPECT_EQ(*logA, (std::vector<std::string> { HXWindowDidBecomeKeyNotification, HXWindowDidBecomeMainNotification,
                         HXWindowDidResignKeyNotification, HXWindowDidResignMainNotification }));
    // A panel takes key but never main.
    panel->makeKeyAndOrderFront();
    EXPECT_EQ(app->keyWindow(), panel);
    EXPECT_EQ(app->mainWindow(), b);
    EXPECT_EQ(app->orderedWindows(), (std::vector<std::shared_ptr<HXWindow>> { panel, b, a }));
    // Ordering out the key and main windows hands both on.
    panel->orderOut();
    b->orderOut();
    EXPECT_EQ(app->keyWindow(), a);
    EXPECT_EQ(app->mainWindow(), a);
    // Floating windows stay in front of normal ones.
    panel->setLevel(HXFloatingWindowLevel);
    panel->orderFront();
    b->orderFront();
    EXPECT_EQ(app->orderedWindows().front(), panel);
    b->orderWindow(HXWindowBelow, a->windowNumber());
    EXPECT_EQ(app->orderedWindows(), (std::vector<std::shared_ptr<HXWindow>> { panel, a, b }));
}

TEST_F(WindowTest, AClickMakesAPanelKeyOnlyWhenItNeedsTheKeys)
{
    struct Case {
        const char* name;
        bool onlyIfNeeded;
        bool onTextField;
        bool panelBecomesKey;
    };
    const Case cases[] = {
        { "an ordinary panel, a click on its button", false, false, true },
        { "a heads-up panel, a click on its button", true, false, false },
        { "a heads-up panel, a click in a field that takes typing", true, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto front = makeWindow(HXMakeRect(0, 0, 400, 400));
        auto panel = std::make_shared<HXPanel>(HXMakeRect(500, 0, 200, 100), HXTitledWindowMask);
        panel->setBecomesKeyOnlyIfNeeded(c.onlyIfNeeded);
        auto button = std::make_shared<HXButton>(HXMakeRect(10, 10, 80, 24), "Play");
        auto field = std::make_shared<HXTextField>(HXMakeRect(100, 10, 80, 24));
        panel->contentView()->addSubview(button);
        panel->contentView()->addSubview(field);
        front->makeKeyAndOrderFront();
        panel->orderFront();
        HXHeadlessWindowServer::postClick(panel, c.onTextField ? HXPoint { 120, 20 } : HXPoint { 30, 20 });
        app->processPendingEvents();
        EXPECT_EQ(app->keyWindow(), c.panelBecomesKey ? std::shared_ptr<HXWindow>(panel) : front);
        panel->close();
        front->close();
    }
}

namespace {
class CloseDelegate : public HXWindowDelegate {
public:
    bool allow = false;
    int asked = 0;
    int willClose = 0;
    bool windowShouldClose(HXWindow&) override
    {
        ++asked;
        return allow;
    }
    void windowWillClose(HXWindow&) override { ++willClose; }
};
}  // namespace

TEST_F(WindowTest, PerformCloseAsksTheDelegateAndNeedsACloseButton)
{
    auto w = makeWindow(HXMakeRect(0, 0, 100, 100));
    auto d = std::make_shared<CloseDelegate>();
    w->setDelegate(d);
    w->makeKeyAndOrderFront();
    auto log = record({ HXWindowWillCloseNotification }, w.get());
    w->performClose();
    EXPECT_EQ(d->asked, 1);
    EXPECT_TRUE(w->isVisible());
    d->allow = true;
    w->performClose();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->isClosed());
    EXPECT_EQ(d->willClose, 1);
    EXPECT_EQ(log->size(), 1u);
    EXPECT_TRUE(app->windows().empty());
    EXPECT_EQ(app->keyWindow(), nullptr);

    auto plain = makeWindow(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    plain->orderFront();
    plain->performClose();
    EXPECT_TRUE(plain->isVisible());
    EXPECT_EQ(server->beepCount(), 1);
}

TEST_F(WindowTest, MiniaturizeAndZoom)
{
    auto w = makeWindow(HXMakeRect(100, 100, 200, 100), HXTitledWindowMask | HXMiniaturizableWindowMask | HXResizableWindowMask);
    w->makeKeyAndOrderFront();
    auto log = record({ HXWindowWillMiniaturizeNotification, HXWindowDidMiniaturizeNotification }, w.get());
    w->performMiniaturize();
    EXPECT_TRUE(w->isMiniaturized());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(log->size(), 2u);
    w->deminiaturize();
    EXPECT_TRUE(w->isVisible());
    HXRect before = w->frame();
    w->zoom();
    EXPECT_EQ(w->frame(), HXMakeRect(0, 0, 1280, 1000));
    EXPECT_TRUE(w->isZoomed());
    w->zoom();
    EXPECT_EQ(w->frame(), before);
}

TEST_F(WindowTest, ScreensAndTheirDescription)
{
    auto all = HXScreen::screens();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].frame(), HXMakeRect(1280, 0, 800, 600));
    EXPECT_EQ(all[0].deviceDescription().at(HXScreenNumber).integerValue(), 1);
    EXPECT_EQ(HXScreen::mainScreen()->screenNumber(), 1u);
    auto w = makeWindow(HXMakeRect(1400, 100, 300, 200));
    w->makeKeyAndOrderFront();
    EXPECT_EQ(w->screen()->screenNumber(), 2u);
    EXPECT_EQ(HXScreen::mainScreen()->screenNumber(), 2u);
    int changes = 0;
    tokens.push_back(HXNotificationCenter::defaultCenter().addObserver(
        HXApplicationDidChangeScreenParametersNotification, nullptr, [&](const HXNotification&) { ++changes; }));
    server->setScreens({ HXScreen(7, HXMakeRect(0, 0, 640, 480), HXMakeRect(0, 0, 640, 480)) });
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(HXScreen::screens().front().screenNumber(), 7u);
}

TEST_F(WindowTest, CoordinatesConvertBetweenFlippedViewsWindowAndScreen)
{
    class Flipped : public HXView {
    public:
        using HXView::HXView;
        bool isFlipped() const override { return true; }
    };
    auto w = makeWindow(HXMakeRect(100, 200, 400, 300), HXTitledWindowMask);
    auto outer = std::make_shared<Flipped>(HXMakeRect(50, 50, 200, 100));
    auto inner = std::make_shared<HXView>(HXMakeRect(10, 20, 40, 30));
    w->contentView()->addSubview(outer);
    outer->addSubview(inner);
    // outer is flipped: its (0, 0) is the top left, at base (50, 150).
    EXPECT_EQ(outer->convertPointToView({ 0, 0 }, nullptr), (HXPoint { 50, 150 }));
    // inner sits 20 points below outer's top; its bottom left is 50 below the top.
    EXPECT_EQ(inner->convertPointToView({ 0, 0 }, nullptr), (HXPoint { 60, 100 }));
    EXPECT_EQ(inner->convertPointToView({ 0, 0 }, outer.get()), (HXPoint { 10, 50 }));
    EXPECT_EQ(inner->convertRectToView(inner->bounds(), nullptr), HXMakeRect(60, 100, 40, 30));
    EXPECT_EQ(inner->convertPointToScreen({ 0, 0 }), (HXPoint { 160, 300 }));
    EXPECT_EQ(inner->convertPointFromScreen({ 160, 300 }), (HXPoint { 0, 0 }));
    // Scaled bounds.
    outer->setBoundsSize({ 100, 50 });
    EXPECT_EQ(outer->convertPointToView({ 100, 50 }, nullptr), (HXPoint { 250, 50 }));
    EXPECT_EQ(outer->convertSizeToView({ 10, 10 }, nullptr), (HXSize { 20, 20 }));
}

TEST_F(WindowTest, MouseGoesToTheViewUnderItAndStaysWithItUntilRelease)
{
    auto w = makeWindow(HXMakeRect(0, 0, 200, 200), HXTitledWindowMask);
    auto a = std::make_shared<RecordingView>(HXMakeRect(0, 0, 100, 100));
    auto b = std::make_shared<RecordingView>(HXMakeRect(100, 0, 100, 100));
    auto hidden = std::make_shared<RecordingView>(HXMakeRect(0, 0, 200, 200));
    hidden->setHidden(true);
    w->contentView()->addSubview(a);
    w->contentView()->addSubview(b);
    w->contentView()->addSubview(hidden);
    w->makeKeyAndOrderFront();
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, w, { 50, 50 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, w, { 150, 50 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, w, { 150, 50 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, w, { 150, 50 });
    app->processPendingEvents();
    EXPECT_EQ(a->log, (std::vector<std::string> { "mouseDown", "mouseDragged", "mouseUp" }));
    EXPECT_EQ(b->log, (std::vector<std::string> { "mouseDown" }));
    EXPECT_TRUE(hidden->log.empty());
}

TEST_F(WindowTest, TabWalksTheKeyViewLoopAndKeysGoToTheFirstResponder)
{
    auto w = makeWindow(HXMakeRect(0, 0, 200, 200));
    std::vector<std::shared_ptr<RecordingView>> views;
    for (int i = 0; i < 3; ++i) {
        views.push_back(std::make_shared<RecordingView>(HXMakeRect(0, 50.0 * i, 100, 40)));
        views.back()->acceptsFirst = true;
        w->contentView()->addSubview(views.back());
    }
    views[0]->setNextKeyView(views[1]);
    views[1]->setNextKeyView(views[2]);
    views[2]->setNextKeyView(views[0]);
    views[1]->setHidden(true);  // skipped
    w->setInitialFirstResponder(views[0]);
    w->makeKeyAndOrderFront();
    EXPECT_EQ(w->firstResponder(), views[0]);
    HXHeadlessWindowServer::postKey(w, "\t");
    HXHeadlessWindowServer::postKey(w, "x");
    app->processPendingEvents();
    EXPECT_EQ(w->firstResponder(), views[2]);
    EXPECT_EQ(views[2]->log, (std::vector<std::string> { "keyDown:x" }));
    HXHeadlessWindowServer::postKey(w, "\t", HXShiftKeyMask);
    app->processPendingEvents();
    EXPECT_EQ(w->firstResponder(), views[0]);
    // A loop of views that cannot take focus ends without hanging.
    views[0]->acceptsFirst = false;
    views[2]->acceptsFirst = false;
    EXPECT_EQ(views[0]->nextValidKeyView(), nullptr);
}

TEST_F(WindowTest, AViewThatReplacesTheFirstResponderOfAKeyWindowTakesTheKeys)
{
    auto w = makeWindow(HXMakeRect(0, 0, 200, 200));
    auto first = std::make_shared<RecordingView>(HXMakeRect(0, 0, 100, 40));
    auto field = std::make_shared<RecordingView>(HXMakeRect(0, 50, 100, 40));
    for (auto& v : { first, field }) {
        v->acceptsFirst = true;
        w->contentView()->addSubview(v);
    }
    w->setInitialFirstResponder(first);
    w->makeKeyAndOrderFront();
    ASSERT_EQ(w->firstResponder(), first);

    // The view is rebuilt while the window is key: the new one takes the keys at once.
    first->removeFromSuperview();
    auto rebuilt = std::make_shared<RecordingView>(HXMakeRect(0, 0, 100, 40));
    rebuilt->acceptsFirst = true;
    w->contentView()->addSubview(rebuilt);
    w->setInitialFirstResponder(rebuilt);
    EXPECT_EQ(w->firstResponder(), rebuilt);
    HXHeadlessWindowServer::postKey(w, " ");
    app->processPendingEvents();
    EXPECT_EQ(rebuilt->log, (std::vector<std::string> { "keyDown: " }));

    // A first responder still in the window keeps the keys, as does one of a window that is not key.
    w->makeFirstResponder(field);
    auto another = std::make_shared<RecordingView>(HXMakeRect(100, 0, 100, 40));
    another->acceptsFirst = true;
    w->contentView()->addSubview(another);
    w->setInitialFirstResponder(another);
    EXPECT_EQ(w->firstResponder(), field);
    // So does a window made its own first responder on purpose.
    w->makeFirstResponder(w);
    field->removeFromSuperview();
    w->setInitialFirstResponder(another);
    EXPECT_EQ(w->firstResponder(), w);
}

TEST_F(WindowTest, TrackingRectanglesReportEnteringAndLeaving)
{
    auto w = makeWindow(HXMakeRect(0, 0, 200, 200));
    auto view = std::make_shared<RecordingView>(HXMakeRect(50, 50, 100, 100));
    w->contentView()->addSubview(view);
    w->orderFront();
    auto tag = view->addTrackingRect(HXMakeRect(0, 0, 50, 50), view, nullptr, false);
    for (HXPoint p : { HXPoint { 10, 10 }, HXPoint { 60, 60 }, HXPoint { 70, 70 }, HXPoint { 120, 120 } })
        HXHeadlessWindowServer::postMouse(HXMouseMoved, w, p);
    app->processPendingEvents();
    std::string t = std::to_string(tag);
    EXPECT_EQ(view->log, (std::vector<std::string> { "entered:" + t, "exited:" + t }));
    view->removeTrackingRect(tag);
    HXHeadlessWindowServer::postMouse(HXMouseMoved, w, { 60, 60 });
    app->processPendingEvents();
    EXPECT_EQ(view->log.size(), 2u);
}

TEST_F(WindowTest, FrameAndBoundsNotifications)
{
    auto view = std::make_shared<HXView>(HXMakeRect(0, 0, 10, 10));
    auto log = record({ HXViewFrameDidChangeNotification, HXViewBoundsDidChangeNotification }, view.get());
    view->setFrameSize({ 20, 20 });
    view->setBoundsOrigin({ 5, 5 });
    view->setPostsFrameChangedNotifications(false);
    view->setFrameOrigin({ 1, 1 });
    EXPECT_EQ(*log, (std::vector<std::string> { HXViewFrameDidChangeNotification, HXViewBoundsDidChangeNotification }));
}

namespace {
class FillView : public HXView {
public:
    FillView(HXRect frame, HXColor color)
        : HXView(frame)
        , _color(color)
    {
    }
    void drawRect(HXRect) override
    {
        ++draws;
        winkit::fillRect(HXMakeRect(0, 0, 10, 10), _color);  // the bottom-left corner of the view
    }
    int draws = 0;

private:
    HXColor _color;
};
}  // namespace

TEST_F(WindowTest, RenderingPutsViewsWhereTheirFramesSay)
{
    auto w = makeWindow(HXMakeRect(0, 0, 100, 80), HXTitledWindowMask | HXMenuBarWindowMask);
    w->setBackgroundColor(HXColor::whiteColor());
    auto red = std::make_shared<FillView>(HXMakeRect(20, 30, 40, 40), HXColor::colorWithDeviceRed(1, 0, 0));
    w->contentView()->addSubview(red);
    w->orderFront();
    // The client area is 102 points high: 22 of menu bar above 80 of content. The red square's bottom-left
    // corner is at base (20, 30), i.e. rows 102-40 ... 102-31 from the top.
    EXPECT_EQ(w->renderedPixelRGBA(25, 102 - 35), 0xFF0000FFu);
    EXPECT_EQ(w->renderedPixelRGBA(35, 102 - 35), 0xFFFFFFFFu);
    EXPECT_EQ(w->renderedPixelRGBA(25, 102 - 45), 0xFFFFFFFFu);
    // The menu bar is at the top.
    EXPECT_NE(w->renderedPixelRGBA(1, 5), 0xFFFFFFFFu);
    // Only what is dirty is drawn again; screen updates held back are shown when enabled.
    int before = red->draws;
    int presents = server->presentCount();
    HXDisableScreenUpdates();
    red->setNeedsDisplay(true);
    w->displayIfNeeded();
    EXPECT_EQ(red->draws, before + 1);
    EXPECT_EQ(server->presentCount(), presents);
    HXEnableScreenUpdates();
    EXPECT_EQ(server->presentCount(), presents + 1);
    w->displayIfNeeded();
    EXPECT_EQ(red->draws, before + 1);

    auto rep = w->renderedImageRep();
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsHigh(), 102);
    EXPECT_EQ(rep->pixelAt(25, 102 - 35), (HXRGBAPixel { 255, 0, 0, 255 }));

    movara::test::TempDir dir;
    EXPECT_TRUE(w->writeRenderedPNG(dir / "w.png"));
    EXPECT_GT(std::filesystem::file_size(dir / "w.png"), 100u);
}

namespace {
// Records the rectangles it is asked to draw; `onDraw` runs inside drawRect.
class LoggingView : public HXView {
public:
    using HXView::HXView;
    void drawRect(HXRect rect) override
    {
        drawn.push_back(rect);
        if (onDraw)
            onDraw();
    }
    std::vector<HXRect> drawn;
    std::function<void()> onDraw;
};
}  // namespace

TEST_F(WindowTest, AViewDirtiedOutsideWhatAPassDrawsIsDrawnByTheNextPass)
{
    // Side by side in a 100×40 content view: `a` on the left, `b` on the right.
    struct Views {
        std::shared_ptr<HXWindow> w;
        std::shared_ptr<LoggingView> a, b;
    };
    auto make = [&] {
        Views v;
        v.w = makeWindow(HXMakeRect(0, 0, 100, 40));
        v.a = std::make_shared<LoggingView>(HXMakeRect(0, 0, 50, 40));
        v.b = std::make_shared<LoggingView>(HXMakeRect(50, 0, 50, 40));
        v.w->contentView()->addSubview(v.a);
        v.w->contentView()->addSubview(v.b);
        v.w->orderFront();
        v.w->displayIfNeeded();
        v.a->drawn.clear();
        v.b->drawn.clear();
        return v;
    };
    struct Case {
        const char* name;
        // Runs the first pass, which draws less than what is dirty.
        std::function<void(Views&)> firstPass;
        // What the next pass draws of `b`.
        HXRect expectedInB;
    };
    const Case cases[] = {
        { "b dirty when a displays itself",
            [](Views& v) {
                v.b->setNeedsDisplay(true);
                v.a->display();
            },
            HXMakeRect(0, 0, 50, 40) },
        { "a's drawing marks b while a displays itself",
            [](Views& v) {
                v.a->onDraw = [b = v.b.get()] { b->setNeedsDisplay(true); };
                v.a->display();
                v.a->onDraw = nullptr;
            },
            HXMakeRect(0, 0, 50, 40) },
        { "b drawn before a marks it in the same pass",
            [](Views& v) {
                // b comes first in the drawing order now; the pass draws b, then a marks b again.
                v.w->contentView()->addSubview(v.a);
                v.w->displayIfNeeded();
                v.a->onDraw = [b = v.b.get()] { b->setNeedsDisplayInRect(HXMakeRect(5, 5, 10, 10)); };
                v.b->drawn.clear();
                v.a->setNeedsDisplay(true);
                v.b->setNeedsDisplay(true);
                v.w->displayIfNeeded();
                v.a->onDraw = nullptr;
                ASSERT_EQ(v.b->drawn.size(), 1u);
                v.b->drawn.clear();
            },
            HXMakeRect(5, 5, 10, 10) },
        { "b dirty all over, the pass covers its left half",
            [](Views& v) {
                v.b->setNeedsDisplay(true);
                v.w->contentView()->displayRect(HXMakeRect(0, 0, 75, 40));
                ASSERT_EQ(v.b->drawn.size(), 1u);
                EXPECT_EQ(v.b->drawn[0], HXMakeRect(0, 0, 25, 40));
                v.b->drawn.clear();
            },
            HXMakeRect(25, 0, 25, 40) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto v = make();
        c.firstPass(v);
        v.w->displayIfNeeded();
        EXPECT_EQ(v.b->drawn, (std::vector<HXRect> { c.expectedInB }));
        // Drawn once, it is clean: the pass after that draws nothing.
        v.a->drawn.clear();
        v.b->drawn.clear();
        v.w->displayIfNeeded();
        EXPECT_TRUE(v.a->drawn.empty());
        EXPECT_TRUE(v.b->drawn.empty());
    }
}

TEST_F(WindowTest, DirtyPartsThatCannotShowAreNotDrawn)
{
    // A subview hanging half out of its superview: marking it all over draws only the part that shows,
    // and leaves nothing dirty behind for later passes.
    auto w = makeWindow(HXMakeRect(0, 0, 100, 40));
    auto box = std::make_shared<LoggingView>(HXMakeRect(0, 0, 50, 40));
    auto over = std::make_shared<LoggingView>(HXMakeRect(30, 0, 40, 40));
    box->addSubview(over);
    w->contentView()->addSubview(box);
    w->orderFront();
    w->displayIfNeeded();
    over->drawn.clear();
    box->drawn.clear();
    over->setNeedsDisplay(true);
    w->displayIfNeeded();
    ASSERT_EQ(over->drawn.size(), 1u);
    EXPECT_EQ(over->drawn[0], HXMakeRect(0, 0, 20, 40));
    over->drawn.clear();
    box->drawn.clear();
    box->setNeedsDisplayInRect(HXMakeRect(0, 0, 10, 10));
    w->displayIfNeeded();
    EXPECT_EQ(box->drawn, (std::vector<HXRect> { HXMakeRect(0, 0, 10, 10) }));
    EXPECT_TRUE(over->drawn.empty());
}

TEST_F(WindowTest, WindowsNeedUpdatePostsDidUpdateAfterTheEvent)
{
    auto w = makeWindow(HXMakeRect(0, 0, 100, 100));
    w->orderFront();
    auto log = record({ HXWindowDidUpdateNotification }, w.get());
    HXHeadlessWindowServer::postMouse(HXMouseMoved, w, { 1, 1 });
    app->processPendingEvents();
    EXPECT_TRUE(log->empty());
    app->setWindowsNeedUpdate(true);
    HXHeadlessWindowServer::postMouse(HXMouseMoved, w, { 2, 2 });
    app->processPendingEvents();
    EXPECT_EQ(log->size(), 1u);
}

namespace {
class GestureView : public HXView {
public:
    using HXView::HXView;
    std::vector<std::string> log;
    void scrollWheel(const HXEvent& e) override { log.push_back("scroll " + std::to_string(int(e.deltaY()))); }
    void magnifyWithEvent(const HXEvent& e) override { log.push_back("magnify " + std::to_string(e.magnification())); }
    void swipeWithEvent(const HXEvent& e) override { log.push_back("swipe " + std::to_string(int(e.deltaX()))); }
};
}  // namespace

TEST_F(WindowTest, WheelAndGesturesGoToTheViewUnderTheMouseAndUpTheChain)
{
    auto w = makeWindow(HXMakeRect(0, 0, 200, 100), HXTitledWindowMask);
    auto left = std::make_shared<GestureView>(HXMakeRect(0, 0, 100, 100));
    auto inner = std::make_shared<RecordingView>(HXMakeRect(10, 10, 20, 20));  // passes everything on
    auto right = std::make_shared<GestureView>(HXMakeRect(100, 0, 100, 100));
    w->contentView()->addSubview(left);
    left->addSubview(inner);
    w->contentView()->addSubview(right);
    w->makeKeyAndOrderFront();
    auto now = clock->now();
    app->postEvent(HXEvent::scrollEvent({ 150, 50 }, 0, now, w->windowNumber(), 0, -3), false);
    app->postEvent(HXEvent::magnifyEvent({ 15, 15 }, now, w->windowNumber(), 0.5), false);
    app->postEvent(HXEvent::swipeEvent({ 50, 50 }, now, w->windowNumber(), -1, 0), false);
    app->processPendingEvents();
    EXPECT_EQ(right->log, (std::vector<std::string> { "scroll -3" }));
    EXPECT_EQ(left->log, (std::vector<std::string> { "magnify 0.500000", "swipe -1" }));
}

TEST_F(WindowTest, WindowMovableByItsBackgroundFollowsTheMouse)
{
    auto w = makeWindow(HXMakeRect(100, 100, 200, 100), HXBorderlessWindowMask);
    class Opaque : public RecordingView {
    public:
        using RecordingView::RecordingView;
        bool isOpaque() const override { return true; }
    };
    auto solid = std::make_shared<Opaque>(HXMakeRect(150, 0, 50, 50));
    w->contentView()->addSubview(solid);
    w->setMovableByWindowBackground(true);
    w->orderFront();
    // Drag from the background: 20 right and 15 up.
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, w, { 10, 10 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, w, { 30, 25 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, w, { 10, 10 });  // the window moved with the mouse
    app->processPendingEvents();
    EXPECT_EQ(w->frame().origin, (HXPoint { 120, 115 }));
    // An opaque view keeps its clicks.
    HXHeadlessWindowServer::postClick(w, { 160, 10 });
    app->processPendingEvents();
    EXPECT_EQ(w->frame().origin, (HXPoint { 120, 115 }));
    EXPECT_EQ(solid->log, (std::vector<std::string> { "mouseDown", "mouseUp" }));
    // Not movable: the background does not drag.
    w->setMovableByWindowBackground(false);
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, w, { 10, 10 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, w, { 60, 60 });
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, w, { 60, 60 });
    app->processPendingEvents();
    EXPECT_EQ(w->frame().origin, (HXPoint { 120, 115 }));
}
