// The players' window class: the screen keeps it in reach but never changes its size, a hidden window
// takes no events, a controller that intercepts events sees them first, and the Zoom command goes to a
// controller that zooms by itself.
#include "player/window/movie_ui_window.h"

#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window_controller.h"

#include <gtest/gtest.h>

namespace {

class UIWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXHeadlessWindowServer::install({ HXScreen(1, HXMakeRect(0, 0, 800, 600), HXMakeRect(0, 0, 800, 576)) });
        window = std::make_shared<MVPMovieUIWindow>(HXMakeRect(100, 100, 300, 200),
            HXTitledWindowMask | HXResizableWindowMask | HXClosableWindowMask);
    }
    void TearDown() override
    {
        window.reset();
        HXApplication::setSharedApplication(nullptr);
    }
    std::shared_ptr<MVPMovieUIWindow> window;
};

TEST_F(UIWindow, TheScreenKeepsThePositionButNeverTheSize)
{
    auto screen = HXScreen::screens().front();
    const struct {
        HXRect proposed, expected;
    } cases[] = {
        // Taller than the visible screen: the plain window would shrink; the movie window keeps its size.
        { HXMakeRect(10, 0, 400, 900), HXMakeRect(10, 0, 400, 900) },
        // Above the top: moved down into reach, size kept.
        { HXMakeRect(10, 500, 400, 300), HXMakeRect(10, 276, 400, 300) },
        { HXMakeRect(10, 50, 400, 300), HXMakeRect(10, 50, 400, 300) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(window->constrainFrameRect(c.proposed, screen), c.expected) << c.proposed.origin.y;
}

class Interceptor : public HXWindowController, public MVPEventInterceptor, public MVPZoomingController {
public:
    bool consume = true;
    int seen = 0;
    int zooms = 0;
    bool interceptEvent(const HXEvent&, HXWindow&) override
    {
        ++seen;
        return consume;
    }
    void zoom(HXObject*) override { ++zooms; }
};

class CountingView : public HXView {
public:
    using HXView::HXView;
    int keys = 0;
    void keyDown(const HXEvent&) override { ++keys; }
    bool acceptsFirstResponder() const override { return true; }
};

TEST_F(UIWindow, EventsGoToTheInterceptorFirstAndNowhereWhileHidden)
{
    auto view = std::make_shared<CountingView>(HXMakeRect(0, 0, 50, 50));
    window->contentView()->addSubview(view);
    window->makeFirstResponder(view);
    auto key = HXEvent::keyEvent(HXKeyDown, {}, 0, 0, window->windowNumber(), "a", "a", false, HXKeyCodeA);

    window->sendEvent(key);
    EXPECT_EQ(view->keys, 0) << "hidden: dropped";
    window->orderFront();
    window->sendEvent(key);
    EXPECT_EQ(view->keys, 1);

    auto controller = std::make_shared<Interceptor>();
    controller->setWindow(window);
    window->sendEvent(key);
    EXPECT_EQ(controller->seen, 1);
    EXPECT_EQ(view->keys, 1) << "consumed by the controller";
    controller->consume = false;
    window->sendEvent(key);
    EXPECT_EQ(view->keys, 2);

    EXPECT_TRUE(window->tryToPerform("performZoom:", nullptr));
    EXPECT_EQ(controller->zooms, 1);
}

} // namespace
