// The Favorites panel on a real X display: it opens where it was left, the screen shows the list as the
// toolkit drew it (names, locations, the selected row), and a screenshot is kept as favorites_panel.png in
// the tests' build folder.
#include "app/favorites_controller.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Last: it brings Xlib.
#include "display_capture.h"

using namespace movara::test::display;

TEST(FavoritesPanelDisplay, TheListOnScreen)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    // The icons and texts come from the program's bundle.
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);
    HXUserDefaults::standardUserDefaults().setString(
        HXStringFromRect({ { 100, 140 }, { 480, 220 } }), MVPFavoritesWindowLocation);

    auto& favorites = MVPFavoritesController::favoritesController();
    MVPFavoritesController::List list;
    auto file = [](const char* movieName, const char* path) {
        return HXPropertyList(MVPFavoritesController::entryForMovie(
            movieName, MVDataReference::dataReferenceWithReferenceToFile(path)));
    };
    list.push_back(file("Holiday.mov", "/home/user/Movies/Holiday.mov"));
    list.push_back(HXPropertyList(MVPFavoritesController::entryForMovie("Live camera",
        MVDataReference::dataReferenceWithReferenceToURL(
            *HXURL::URLWithString("rtsp://cam.local:554/live")))));
    list.push_back(file("Trailer.m4v", "/home/user/Movies/Trailers/Trailer.m4v"));
    favorites.setFavoriteDocuments(list);
    favorites.showPanel();
    auto panel = favorites.favoritesPanel();
    auto outline = favorites.favoritesOutlineView();
    ASSERT_TRUE(panel && outline);
    EXPECT_EQ(panel->frame(), (HXRect { { 100, 140 }, { 480, 220 } })) << "the saved frame";
    EXPECT_EQ(outline->numberOfRows(), 3);
    EXPECT_TRUE(HXImage::imageNamed("FileIcon.tiff")) << "the list's icons are in the bundle";
    outline->selectRow(1);
    runFor(*app, 1.0);

    auto screens = HXScreen::screens();
    ASSERT_FALSE(screens.empty());
    double screenHeight = screens.front().frame().size.height;
    HXRect frame = panel->contentRectForFrameRect(panel->frame());
    int width = int(frame.size.width), height = int(frame.size.height);
    int left = int(frame.origin.x), top = int(screenHeight - (frame.origin.y + frame.size.height));
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    int mismatches = 0, dark = 0, accent = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long screen = XGetPixel(image, x, y) & 0xFFFFFF;
            if (screen != (panel->renderedPixelRGBA(x, y) >> 8))
                ++mismatches;
            unsigned r = (screen >> 16) & 0xFF, g = (screen >> 8) & 0xFF, b = screen & 0xFF;
            dark += r < 80 && g < 80 && b < 80;
            accent += b > 200 && r < 90;
        }
    EXPECT_LT(mismatches, width * height / 100) << "the screen shows what the toolkit drew";
    EXPECT_GT(dark, 200) << "the names and locations are written";
    EXPECT_GT(accent, 500) << "the selected row is highlighted";

    std::string shot = std::string(MOVARA_TEST_BINARY_DIR) + "/favorites_panel.png";
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = uint32_t(XGetPixel(image, x, y));
            std::memcpy(
                cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, &p, 4);
        }
    cairo_surface_mark_dirty(s);
    EXPECT_EQ(cairo_surface_write_to_png(s, shot.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
    XDestroyImage(image);
    XCloseDisplay(display);

    favorites.hidePanel();
    MVPFavoritesController::resetFavoritesController();
    HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPFavoritesWindowLocation);
    HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPFavoriteDocumentsUserDefault);
    HXApplication::setSharedApplication(nullptr);
#endif
}
