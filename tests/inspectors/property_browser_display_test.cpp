// The properties window with a real pane plug-in on a real X display: the table of the movie and its
// tracks above, the test pane's label in the tab area below. The screenshot is kept as
// property_browser_pane.png in the tests' build folder.
#include "inspectors/property_inspector_browser.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

// Last: it brings Xlib.
#include "display_capture.h"

TEST(PropertyBrowserDisplay, TheWindowWithAPaneOnScreen)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    using namespace movara::test;
    auto app = display::onScreenApplication();
    ASSERT_TRUE(app);
    HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());

    // The real test pane, loaded from its bundle.
    std::string folder = std::filesystem::path(MOVARA_TEST_PANE_BUNDLE).parent_path().string();
    auto classes = MVPPropertyInspectorBrowser::inspectorClassesAtPath(folder);
    ASSERT_EQ(classes.size(), 1u);
    MVPPropertyInspectorBrowser::setInspectorClasses(classes);

    auto movie = MVMovie::movie();
    movie->setDisplayName("Sample");
    movie->newTrack(MVFourCC("vide"), 600, 320, 240)->setEdits({ { 1200, 0, 0x10000 } });
    movie->newTrack(MVFourCC("soun"), 44100)->setEdits({ { 1200, 0, 0x10000 } });
    auto browser = MVPPropertyInspectorBrowser::browserForMovie(movie);
    browser->showWindow();
    auto window = browser->window();
    ASSERT_TRUE(window && window->isVisible());
    window->setFrameOrigin({ 60, 120 });
    display::runFor(*app, 1.0);

    auto pane = browser->activeInspector();
    ASSERT_TRUE(pane);
    auto shot = display::captureWindow(name, *window, "property_browser_pane.png");
    ASSERT_GT(shot.pixels, 0);
    EXPECT_LT(shot.mismatches, shot.pixels / 50) << "the screen shows what the toolkit drew";

    // The pane's label: dark text inside the pane's view, which sits centred at the top of the tab area.
    auto view = pane->view();
    HXRect inWindow = view->convertRectToView(view->bounds(), nullptr);
    double contentHeight = window->contentRectForFrameRect(window->frame()).size.height;
    int dark = 0;
    for (int y = int(contentHeight - inWindow.origin.y - inWindow.size.height);
         y < int(contentHeight - inWindow.origin.y); ++y)
        for (int x = int(inWindow.origin.x); x < int(inWindow.origin.x + inWindow.size.width); ++x) {
            uint32_t p = window->renderedPixelRGBA(x, y) >> 8;
            dark += ((p >> 16) & 0xFF) < 90 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90;
        }
    EXPECT_GT(dark, 60) << "the label's text is drawn in the pane";
    double tabCentre = browser->tabView()->frame().origin.x + browser->tabView()->frame().size.width / 2;
    EXPECT_NEAR(inWindow.origin.x + inWindow.size.width / 2, tabCentre, 2) << "centred in the tab area";

    window->performClose();
    browser.reset();
    MVPPropertyInspectorBrowser::setInspectorClasses({});
    HXDocumentController::setSharedDocumentController(nullptr);
    HXApplication::setSharedApplication(nullptr);
#endif
}
