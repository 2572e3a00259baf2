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

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Last: it brings Xlib.
#include "display_capture.h"

using namespace movara::test::display;

TEST(OpenURLSheetDisplay, TheSheetOnScreen)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

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
