// The Open URL sheet on a real X display, on a player-like window: the history pop-up and the typed
// location as the toolkit drew them, kept as a screenshot open_url_sheet.png in the tests' build folder.
// Discovery finds nothing here (no daemon runs): the sheet works with its history alone.
#include "app/open_url_panel.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"
#include "player/controls/image_pop_up_button.h"
#if __has_include("platform/winkit/sdl_window_server.h")
#include "platform/winkit/sdl_window_server.h"
#define MOVARA_HAVE_SDL_BACKEND 1
#endif

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND
void runFor(HXApplication& app, double seconds)
{
    auto& loop = HXRunLoop::main();
    double end = loop.now() + seconds;
    while (loop.now() < end) {
        if (auto event = app.nextEventMatchingMask(
                HXAnyEventMask, std::min(end, loop.now() + 0.05), HXDefaultRunLoopMode, true))
            app.sendEvent(*event);
        for (auto& window : app.orderedWindows())
            window->displayIfNeeded();
    }
}

struct Capture {
    int mismatches = 0;
    int dark = 0;
    int pixels = 0;
};

// Reads the window's content from the screen, compares it with what the toolkit drew, and keeps it as `file`.
Capture captureWindow(const char* displayName, HXWindow& window, const std::string& file)
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

} // namespace

TEST(OpenURLSheetDisplay, TheSheetOnScreen)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
    HXRunLoop::main().setClock(nullptr);
    ::setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    static auto server = HXSDLWindowServer::create();
    ASSERT_TRUE(server);
    HXApplication::setSharedApplication(nullptr);
    auto app = std::make_shared<HXApplication>();
    app->setWindowServer(server);
    HXApplication::setSharedApplication(app);

    EXPECT_TRUE(HXImage::imageNamed("doublearrows.tif")) << "the pop-up's picture is in the bundle";
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList(HXPropertyList::Array {
            HXPropertyList("rtsp://cam.local/live"), HXPropertyList("http://example.com/trailer.mov") }),
        MVPOpenURLPanelUserDefaultsKey);
    auto parent = std::make_shared<HXWindow>(HXMakeRect(120, 160, 640, 420), HXTitledWindowMask);
    parent->setTitle("Movie");
    parent->makeKeyAndOrderFront();
    auto panel = OpenURLPanel::openURLPanelWithUserDefaultsKey(MVPOpenURLPanelUserDefaultsKey);
    long code = -1;
    panel->beginSheetWithWindow(parent, [&code](OpenURLPanel& p, long returnCode) {
        code = returnCode;
        p.close();
    });
    runFor(*app, 1.0);
    ASSERT_TRUE(panel->panel()->isVisible());
    EXPECT_EQ(panel->urlTextField()->stringValue(), "rtsp://cam.local/live")
        << "the last location is offered";
    EXPECT_TRUE(panel->urlPopUpButton()->isEnabled());
    auto shot = captureWindow(name, *panel->panel(), "open_url_sheet.png");
    ASSERT_GT(shot.pixels, 0) << "the sheet was read from the screen";
    EXPECT_LT(shot.mismatches, shot.pixels / 50) << "the screen shows what the toolkit drew";
    EXPECT_GT(shot.dark, 200) << "the label and the location are written";

    panel->openURL(0);
    EXPECT_EQ(code, 0);
    runFor(*app, 0.3);
    EXPECT_FALSE(panel->panel()->isVisible());
    panel.reset();
    parent->close();
    HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPOpenURLPanelUserDefaultsKey);
    HXApplication::setSharedApplication(nullptr);
#endif
}
