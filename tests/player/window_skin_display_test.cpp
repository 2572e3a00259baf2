// The skinned window on a real X display: the window is cut to its skin's shape, so the window behind
// it shows through where the skin has no pixels (a screenshot is kept as window_skin_shape.png in the
// tests' build folder).
#include "document/movie_document.h"
#include "player/window/skinned_window.h"
#include "player/window/skinned_window_controller.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/skin_media.h"
#include "platform/mvkit/track.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#if __has_include("platform/winkit/sdl_window_server.h")
#include "platform/winkit/sdl_window_server.h"
#define MOVARA_HAVE_SDL_BACKEND 1
#endif
#include "platform/winkit/window.h"
#include "test_support.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// Xlib last: its macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Last: it brings Xlib.
#include "display_capture.h"

#ifdef MOVARA_HAVE_SDL_BACKEND
using movara::test::display::runFor;
#endif

namespace {

#ifdef MOVARA_HAVE_SDL_BACKEND

bool isGreen(unsigned long pixel)
{
    return ((pixel >> 16) & 0xFF) < 60 && ((pixel >> 8) & 0xFF) > 190 && (pixel & 0xFF) < 60;
}

#endif

} // namespace

TEST(SkinDisplay, TheSkinnedWindowShowsItsShape)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());

    // A green window behind, to show through where the skin has no pixels.
    auto backdrop = std::make_shared<HXWindow>(HXMakeRect(40, 40, 520, 420), HXBorderlessWindowMask);
    backdrop->setBackgroundColor(HXColor::colorWithCalibratedRed(0, 1, 0));
    backdrop->orderFront();
    runFor(*app, 0.3);

    // A 160 × 120 movie whose skin is a cross: the corners are cut away.
    auto movie = MVMovie::movie();
    auto track = movie->newTrack(MVFourCC("vide"), 600, 160, 120);
    MVSampleDescription d;
    d.format = MVFourCC("mp4v");
    d.data = { 0, 0, 0, 0 };
    track->media()->addSample({ 0 }, 1200, 1, MVSampleDescriptionBytes(d), 0);
    track->insertMedia(0, 0, 1200);
    MVSkinData skin { HXRegion::regionWithRects({ HXMakeRect(0, 40, 160, 40), HXMakeRect(60, 0, 40, 120) }),
        HXRegion::regionWithRect(HXMakeRect(60, 0, 40, 20)) };
    ASSERT_TRUE(MVMovieAddSkinTrack(*movie, skin));
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    auto controller = std::dynamic_pointer_cast<MVPSkinWindowController>(doc->playerWindowController());
    ASSERT_TRUE(controller);
    auto window = controller->skinWindow();
    doc->showWindows();
    window->setFrame(HXMakeRect(200, 200, 160, 120), true);
    window->orderFront();
    runFor(*app, 1.0);

    double screenHeight = HXScreen::screens().front().frame().size.height;
    HXRect frame = window->frame();
    int left = int(frame.origin.x), top = int(screenHeight - HXMaxY(frame));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, 160, 120, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    int cornerGreen = 0, crossGreen = 0, corner = 0, cross = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            bool inShape = skin.clip.containsPoint({ x + 0.5, y + 0.5 });
            bool green = isGreen(XGetPixel(image, x, y));
            (inShape ? cross : corner) += 1;
            (inShape ? crossGreen : cornerGreen) += green;
        }
    EXPECT_GT(cornerGreen, corner * 9 / 10) << "the backdrop shows through the cut corners";
    EXPECT_LT(crossGreen, cross / 10) << "the window covers its shape";

    std::string shot = std::string(MOVARA_TEST_BINARY_DIR) + "/window_skin_shape.png";
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y));
            std::memcpy(
                cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
        }
    cairo_surface_mark_dirty(s);
    EXPECT_EQ(cairo_surface_write_to_png(s, shot.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    XDestroyImage(image);
    XCloseDisplay(display);

    doc->close();
    backdrop->close();
    runFor(*app, 0.2);
    HXDocumentController::setSharedDocumentController(nullptr);
#endif
}
