// A composition playing in its window on a real X display: the screen shows the composition's colours,
// and its moving square has moved between two looks.
#include "document/composition_document.h"
#include "player/window/composition_window_controller.h"

#include "platform/basekit/run_loop.h"
#include "platform/basekit/user_defaults.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#if __has_include("platform/winkit/sdl_window_server.h")
#include "platform/winkit/sdl_window_server.h"
#define MOVARA_HAVE_SDL_BACKEND 1
#endif
#include "platform/winkit/window.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

// The mean x of the blue pixels in the view's rectangle on the screen, and how many there are.
std::pair<double, int> blueColumn(Display* display, int left, int top, int width, int height)
{
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(width),
        unsigned(height), AllPlanes, ZPixmap);
    if (!image)
        return { 0, 0 };
    double sum = 0;
    int count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            if ((p & 0xFF) > 200 && ((p >> 16) & 0xFF) < 60 && ((p >> 8) & 0xFF) < 60) {
                sum += x;
                ++count;
            }
        }
    XDestroyImage(image);
    return { count ? sum / count : 0, count };
}

#endif

} // namespace

TEST(CompositionDisplay, ACompositionPlaysInItsWindow)
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
    movara::test::TempDir dir;
    // A blue square crossing a dark canvas in four seconds.
    movara::test::writeFile(dir / "cross.vcomp", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>size</key><array><integer>360</integer><integer>270</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0.2</real><real>0.2</real><real>0.2</real></array></dict>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0</real><real>0</real><real>1</real></array>
      <key>frame</key><array><integer>0</integer><integer>100</integer><integer>60</integer><integer>60</integer></array>
      <key>animations</key><array><dict><key>property</key><string>x</string><key>from</key><integer>0</integer>
        <key>to</key><integer>300</integer><key>duration</key><integer>4</integer></dict></array></dict>
  </array>
</dict></plist>)");
    HXError error;
    auto doc
        = std::dynamic_pointer_cast<MVPVitrelCompDocument>(MVPVitrelCompDocument::documentWithContentsOfFile(
            (dir / "cross.vcomp").string(), MVPVitrelCompositionDocumentType, &error));
    ASSERT_TRUE(doc) << error.localizedDescription();
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    auto controller = std::dynamic_pointer_cast<MVPVitrelCompController>(doc->vitrelController());
    ASSERT_TRUE(controller);
    controller->window()->setFrameOrigin({ 100, 100 });
    doc->handlePlayCommand();
    runFor(*app, 0.8, 0.02);

    auto view = doc->vcView();
    HXRect onScreen = view->window()->convertRectToScreen(view->convertRectToView(view->bounds(), nullptr));
    double screenHeight = HXScreen::screens().front().frame().size.height;
    int left = int(onScreen.origin.x), top = int(screenHeight - HXMaxY(onScreen));
    int width = int(onScreen.size.width), height = int(onScreen.size.height);
    Display* display = XOpenDisplay(name);
    ASSERT_TRUE(display);
    auto first = blueColumn(display, left, top, width, height);
    runFor(*app, 1.5, 0.02);
    auto second = blueColumn(display, left, top, width, height);
    XCloseDisplay(display);
    EXPECT_GT(first.second, 500) << "the square shows";
    EXPECT_GT(second.second, 500);
    EXPECT_GT(second.first, first.first + 50) << "and moves while the composition plays";
    EXPECT_GT(view->renderTime(), 2.0);

    doc->close();
    runFor(*app, 0.1, 0.02);
    HXDocumentController::setSharedDocumentController(nullptr);
#endif
}
