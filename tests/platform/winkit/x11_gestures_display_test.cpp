// The wheel and the touchpad through the X server's input extension, on a real X display: the backend
// takes wheel steps from the extension (where SDL would give the same clicks again), so each click made
// through the server's test extension reaches the view under the pointer once, in the toolkit's
// directions. Where the server has XInput 2.4 the backend also asks for its pinch and swipe gestures.
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/sdl_window_server.h"
#include "platform/winkit/window.h"
#include "platform/winkit/x11_gestures.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

class ScrollRecorder : public HXView {
public:
    using HXView::HXView;
    void scrollWheel(const HXEvent& event) override
    {
        ++events;
        dx += event.deltaX();
        dy += event.deltaY();
    }
    int events = 0;
    double dx = 0, dy = 0;
};

void runFor(HXApplication& app, double seconds)
{
    auto& loop = HXRunLoop::main();
    double end = loop.now() + seconds;
    while (loop.now() < end) {
        if (auto event = app.nextEventMatchingMask(
                HXAnyEventMask, std::min(end, loop.now() + 0.02), HXDefaultRunLoopMode, true))
            app.sendEvent(*event);
    }
}

} // namespace

TEST(X11GesturesDisplayTest, EachWheelClickReachesTheViewOnceInTheToolkitsDirections)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    HXRunLoop::main().setClock(nullptr);
    static auto* kept = new std::shared_ptr<HXSDLWindowServer>(HXSDLWindowServer::create());
    auto server = *kept;
    ASSERT_TRUE(server);
    if (!server->gestureSource())
        GTEST_SKIP() << "the X server's input extension is older than 2.1: SDL's wheel serves";
    RecordProperty("touchpad gestures", server->gestureSource()->hasGestures() ? "XInput 2.4" : "none");
    HXApplication::setSharedApplication(nullptr);
    auto app = std::make_shared<HXApplication>();
    app->setWindowServer(server);
    HXApplication::setSharedApplication(app);

    double screenHeight = HXScreen::screens().front().frame().size.height;
    auto window = std::make_shared<HXWindow>(HXMakeRect(100, 300, 300, 200), HXTitledWindowMask);
    auto view = std::make_shared<ScrollRecorder>(HXMakeRect(0, 0, 300, 200));
    window->contentView()->addSubview(view);
    window->makeKeyAndOrderFront();
    runFor(*app, 0.5);

    void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
    ASSERT_TRUE(xtst);
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    using Button = int (*)(Display*, unsigned, int, unsigned long);
    auto motion = reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent"));
    auto button = reinterpret_cast<Button>(dlsym(xtst, "XTestFakeButtonEvent"));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display && motion && button);
    motion(display, -1, 250, int(screenHeight) - 400, 0);
    XSync(display, False);
    runFor(*app, 0.3);
    // Three clicks to the right (button 7), two up (button 4).
    for (unsigned b : { 7u, 7u, 7u, 4u, 4u }) {
        button(display, b, True, 0);
        button(display, b, False, 0);
        XSync(display, False);
    }
    XCloseDisplay(display);
    runFor(*app, 0.8);
    EXPECT_EQ(view->events, 5) << "each click once";
    EXPECT_DOUBLE_EQ(view->dx, -3) << "to the right is negative";
    EXPECT_DOUBLE_EQ(view->dy, 2) << "up is positive";
    window->orderOut();
    HXApplication::setSharedApplication(nullptr);
}
