#pragma once
// The heads-up panels on screen. They are borderless, so the whole frame is the toolkit's drawing; and
// their background is translucent, so the screen shows it blended with what lies under it and cannot
// equal the toolkit's own pixels. What must agree is where the light text and controls are: a pixel is
// light when each of its colours is above 170 (and, in the toolkit's drawing, when it is mostly opaque).
// Include it last: it brings Xlib.
#include "document/movie_document.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

#include "display_capture.h"

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace movara::test::display {

#ifdef MOVARA_HAVE_SDL_BACKEND
// The application on the X display with its document controller; the texts and pictures come from the
// program's bundle. Null when the display cannot be used.
inline std::shared_ptr<HXApplication> startApplicationOnDisplay()
{
    auto app = onScreenApplication();
    if (app)
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
    return app;
}
#endif

// A movie document of the file with its player window shown in front.
inline std::shared_ptr<MVPMovieDocument> openShownMovie(const std::string& path)
{
    auto doc = MVPMovieDocument::documentWithContentsOfFile(path, "Movie", false, nullptr);
    if (!doc)
        return nullptr;
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    doc->movieWindow()->makeKeyAndOrderFront();
    return doc;
}

struct LightPixels {
    int pixels = 0;
    int lightOnScreen = 0;
    int lightDrawn = 0;
    int disagreeing = 0; // light on one side only
    int dark = 0; // on screen: each colour below 80
};

inline bool isLight(uint32_t rgb)
{
    return ((rgb >> 16) & 0xFF) > 170 && ((rgb >> 8) & 0xFF) > 170 && (rgb & 0xFF) > 170;
}

// Reads the window's whole frame from the screen, keeps it as `file` in the tests' build folder and
// compares it with the window's drawing.
inline LightPixels captureHUDPanel(const char* displayName, HXWindow& window, const std::string& file)
{
    LightPixels result;
    auto screens = HXScreen::screens();
    if (screens.empty())
        return result;
    HXRect frame = window.frame();
    int width = int(frame.size.width), height = int(frame.size.height);
    int left = int(frame.origin.x);
    int top = int(screens.front().frame().size.height - (frame.origin.y + frame.size.height));
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return result;
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    if (!image) {
        XCloseDisplay(display);
        return result;
    }
    cairo_surface_t* shot = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(
                cairo_image_surface_get_data(shot) + y * cairo_image_surface_get_stride(shot))[x]
                = uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF;
    cairo_surface_mark_dirty(shot);
    cairo_surface_write_to_png(shot, (std::string(MOVARA_TEST_BINARY_DIR) + "/" + file).c_str());
    XDestroyImage(image);
    XCloseDisplay(display);

    int stride = cairo_image_surface_get_stride(shot);
    const unsigned char* data = cairo_image_surface_get_data(shot);
    // The drawing as it is now, read once (premultiplied ARGB, top row first).
    window.renderedPixelRGBA(0, 0);
    cairo_surface_t* backing = window.backingSurface();
    if (!backing) {
        cairo_surface_destroy(shot);
        return result;
    }
    cairo_surface_flush(backing);
    const unsigned char* drawnData = cairo_image_surface_get_data(backing);
    int drawnStride = cairo_image_surface_get_stride(backing);
    width = std::min(width, cairo_image_surface_get_width(backing));
    height = std::min(height, cairo_image_surface_get_height(backing));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t screen = reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF;
            uint32_t drawn = reinterpret_cast<const uint32_t*>(drawnData + y * drawnStride)[x];
            bool lightScreen = isLight(screen);
            bool lightDrawn = isLight(drawn & 0xFFFFFF) && (drawn >> 24) > 200;
            result.lightOnScreen += lightScreen;
            result.dark
                += ((screen >> 16) & 0xFF) < 80 && ((screen >> 8) & 0xFF) < 80 && (screen & 0xFF) < 80;
            result.lightDrawn += lightDrawn;
            result.disagreeing += lightScreen != lightDrawn;
            ++result.pixels;
        }
    cairo_surface_destroy(shot);
    return result;
}

} // namespace movara::test::display
