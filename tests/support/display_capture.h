#pragma once
// What the display tests share: running the real event loop for a while, and reading a
// window back from the X screen to compare it with what the toolkit drew (kept as a PNG in the tests'
// build folder). Include it after every other header: Xlib's macros clash with names in ours.
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"
#if __has_include("platform/winkit/sdl_window_server.h")
#include "platform/winkit/sdl_window_server.h"
#define MOVARA_HAVE_SDL_BACKEND 1
#endif

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace movara::test::display {

#ifdef MOVARA_HAVE_SDL_BACKEND
// Runs the application's events for `seconds` of real time as the program's main loop does: looks for
// an event every `step` seconds, lets the windows update and draws what needs it; `each` (when given)
// looks at the screen after every turn.
inline void runFor(
    HXApplication& app, double seconds, double step = 0.05, const std::function<void()>& each = {})
{
    auto& loop = HXRunLoop::main();
    double end = loop.now() + seconds;
    while (loop.now() < end) {
        if (auto event = app.nextEventMatchingMask(
                HXAnyEventMask, std::min(end, loop.now() + step), HXDefaultRunLoopMode, true))
            app.sendEvent(*event);
        app.updateWindows();
        for (auto& window : app.orderedWindows())
            window->displayIfNeeded();
        if (each)
            each();
    }
}

// A fresh shared application on `server` for one display test, on the real clock.
inline std::shared_ptr<HXApplication> applicationOn(const std::shared_ptr<HXSDLWindowServer>& server)
{
    if (!server)
        return nullptr;
    HXRunLoop::main().setClock(nullptr);
    HXApplication::setSharedApplication(nullptr);
    auto app = std::make_shared<HXApplication>();
    app->setWindowServer(server);
    HXApplication::setSharedApplication(app);
    return app;
}

// A fresh shared application on the real SDL backend for one display test, with the bundle's resources
// and the real clock. SDL starts once per process, so every test shares one window server (plain X
// images for its surfaces: no GL driver compiling shaders). Null when SDL cannot start.
inline std::shared_ptr<HXApplication> onScreenApplication()
{
#ifdef MOVARA_BUNDLE_DIR
    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
#endif
    ::setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    // Kept until the program ends (SDL's X libraries keep process-wide caches).
    static auto server = HXSDLWindowServer::create();
    return applicationOn(server);
}

struct Capture {
    int mismatches = 0;
    int dark = 0;
    int pixels = 0;
};

// Reads the window's content from the screen, compares it with what the toolkit drew, and keeps it as `file`.
inline Capture captureWindow(const char* displayName, HXWindow& window, const std::string& file)
{
    Capture result;
    auto screens = HXScreen::screens();
    double screenHeight = screens.front().frame().size.height;
    // The client area: the toolbar and the content under it.
    HXRect frame = window.contentRectForFrameRect(window.frame());
    double toolbar = window.frame().size.height - frame.size.height - HXWindowTitleBarHeight;
    frame.size.height += toolbar;
    int width = int(frame.size.width), height = int(frame.size.height);
    int left = int(frame.origin.x), top = int(screenHeight - (frame.origin.y + frame.size.height));
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return result;
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    if (!image) {
        XCloseDisplay(display);
        return result;
    }
    result.pixels = width * height;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
            if (p != (window.renderedPixelRGBA(x, y) >> 8))
                ++result.mismatches;
            unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            result.dark += r < 80 && g < 80 && b < 80;
            std::memcpy(
                cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
        }
    cairo_surface_mark_dirty(s);
    cairo_surface_write_to_png(s, (std::string(MOVARA_TEST_BINARY_DIR) + "/" + file).c_str());
    cairo_surface_destroy(s);
    XDestroyImage(image);
    XCloseDisplay(display);
    return result;
}
#endif

} // namespace movara::test::display
