// The SDL2 backend on a real X display: a window with views and text appears where its frame says, shows
// the same pixels as the headless rendering, and a click made through the X server reaches the view.
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/sdl_window_server.h"
#include "platform/winkit/text_drawing.h"
#include "platform/winkit/window.h"

#include <SDL.h>
#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// Xlib last: its macros (None, Bool, ...) clash with names in the headers above.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

class Swatch : public HXView {
public:
    Swatch(HXRect frame, HXColor color, std::string label = {})
        : HXView(frame)
        , _color(color)
        , _label(std::move(label))
    {
    }
    void drawRect(HXRect) override
    {
        winkit::fillRect(bounds(), _color);
        if (!_label.empty()) {
            winkit::TextStyle style;
            style.size = 18;
            style.bold = true;
            winkit::drawText(_label, bounds(), style);
        }
    }
    void mouseDown(const HXEvent& event) override
    {
        ++clicks;
        lastClick = convertPointFromView(event.locationInWindow(), nullptr);
    }
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }
    int clicks = 0;
    HXPoint lastClick;

private:
    HXColor _color;
    std::string _label;
};

// Clicks through the X server's test extension (loaded at run time: only its shared library is needed).
bool fakeClick(Display* display, int x, int y)
{
    void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
    if (!xtst)
        return false;
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    using Button = int (*)(Display*, unsigned, int, unsigned long);
    auto motion = reinterpret_cast<Motion>(dlsym(xtst, "XTestFakeMotionEvent"));
    auto button = reinterpret_cast<Button>(dlsym(xtst, "XTestFakeButtonEvent"));
    if (!motion || !button)
        return false;
    motion(display, -1, x, y, 0);
    XFlush(display);
    button(display, 1, 1, 10);
    button(display, 1, 0, 60);
    XFlush(display);
    XSync(display, 0);
    // The library stays loaded: it registered hooks with the display that run when it closes.
    return true;
}

// Runs events for `seconds` on the real clock.
void runFor(HXApplication& app, double seconds)
{
    auto& loop = HXRunLoop::main();
    double end = loop.now() + seconds;
    while (loop.now() < end) {
        if (auto event = app.nextEventMatchingMask(HXAnyEventMask, std::min(end, loop.now() + 0.05), HXDefaultRunLoopMode, true))
            app.sendEvent(*event);
    }
}

}  // namespace

TEST(SDLDisplayTest, WindowAppearsWithItsViewsAndARealClickReachesTheView)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
    HXRunLoop::main().setClock(nullptr);
    // Kept until the program ends: SDL unloads the X libraries it opened when video stops, and their
    // process-wide caches would then show as leaks of an unknown module.
    static auto* kept = new std::shared_ptr<HXSDLWindowServer>(HXSDLWindowServer::create());
    auto server = *kept;
    ASSERT_TRUE(server);
    HXApplication::setSharedApplication(nullptr);
    auto app = std::make_shared<HXApplication>();
    app->setWindowServer(server);
    HXApplication::setSharedApplication(app);

    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;

    auto mainMenu = std::make_shared<HXMenu>("Main");
    auto fileItem = mainMenu->addItemWithTitle("File", HXSelector(), "");
    mainMenu->setSubmenu(std::make_shared<HXMenu>("File"), fileItem);
    app->setMainMenu(mainMenu);

    // Content 300 × 200 at (100, 300); the client area adds the 22-point menu bar on top.
    auto window = std::make_shared<HXWindow>(HXMakeRect(100, 300, 300, 200), HXTitledWindowMask | HXMenuBarWindowMask);
    window->setTitle("Display test");
    window->setBackgroundColor(HXColor::whiteColor());
    auto red = std::make_shared<Swatch>(HXMakeRect(100, 50, 100, 60), HXColor::colorWithDeviceRed(1, 0, 0));
    auto label = std::make_shared<Swatch>(HXMakeRect(10, 130, 200, 40), HXColor::colorWithDeviceRed(1, 1, 0.6), "Hello");
    window->contentView()->addSubview(red);
    window->contentView()->addSubview(label);
    window->makeKeyAndOrderFront();
    runFor(*app, 1.0);

    const int clientHeight = 222;
    const int left = 100;
    const int top = int(screenHeight) - (300 + clientHeight);

    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, 300, clientHeight, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);

    // The red view's centre: base (150, 80), 142 rows from the client's top.
    EXPECT_EQ(XGetPixel(image, 150, clientHeight - 80) & 0xFFFFFF, 0xFF0000u);
    // The pixels on screen are the ones the toolkit drew (the headless rendering of the same window).
    int mismatches = 0;
    int labelDark = 0;
    for (int y = 0; y < clientHeight; ++y) {
        for (int x = 0; x < 300; ++x) {
            unsigned long screen = XGetPixel(image, x, y) & 0xFFFFFF;
            uint32_t drawn = window->renderedPixelRGBA(x, y) >> 8;
            if (screen != drawn)
                ++mismatches;
            // Text inside the label (base x 10 ... 210, y 130 ... 170).
            if (x >= 10 && x < 210 && y >= clientHeight - 170 && y < clientHeight - 130 && (screen & 0xFF) < 0x40)
                ++labelDark;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(labelDark, 20) << "the label's text shows";
    if (const char* shot = std::getenv("MOVARA_SCREENSHOT")) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 300, clientHeight);
        for (int y = 0; y < clientHeight; ++y)
            for (int x = 0; x < 300; ++x) {
                uint32_t p = uint32_t(XGetPixel(image, x, y));
                std::memcpy(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
            }
        cairo_surface_mark_dirty(s);
        cairo_surface_write_to_png(s, shot);
        cairo_surface_destroy(s);
    }
    XDestroyImage(image);

    // A click on the red view, made by the X server.
    ASSERT_TRUE(fakeClick(display, left + 160, top + clientHeight - 70)) << "libXtst is not available";
    runFor(*app, 1.0);
    EXPECT_EQ(red->clicks, 1);
    EXPECT_EQ(red->lastClick, (HXPoint { 60, 20 }));
    EXPECT_EQ(label->clicks, 0);

    // A sheet without a title of its own is a dialog of its window for the desktop, named after it.
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 200, 80), HXTitledWindowMask);
    app->beginSheet(sheet, window, nullptr);
    runFor(*app, 0.3);
    auto xWindowOf = [&](const HXWindow& w) -> Window {
        SDL_Window* sdl = server->sdlWindowFor(w);
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!sdl || !SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11)
            return 0;
        return info.info.x11.window;
    };
    Window sheetX = xWindowOf(*sheet), windowX = xWindowOf(*window);
    ASSERT_NE(sheetX, 0u);
    ASSERT_NE(windowX, 0u);
    Window transientFor = 0;
    EXPECT_TRUE(XGetTransientForHint(display, sheetX, &transientFor));
    EXPECT_EQ(transientFor, windowX);
    XTextProperty nameProperty {};
    std::string shownName;
    if (XGetWMName(display, sheetX, &nameProperty) && nameProperty.value) {
        shownName.assign(reinterpret_cast<const char*>(nameProperty.value), nameProperty.nitems);
        XFree(nameProperty.value);
    }
    EXPECT_EQ(shownName, "Display test");
    app->endSheet(sheet, 0);
    XCloseDisplay(display);

    window->close();
    HXApplication::setSharedApplication(nullptr);
}
