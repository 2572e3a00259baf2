// The preferences window on a real X display: each of its three panes is shown, the screen shows what the
// toolkit drew (the toolbar's pictures and the controls' texts), and a screenshot of each pane is kept as
// preferences_general.png, preferences_fullscreen.png and preferences_capture.png in the tests' build
// folder.
#include "app/preferences_window.h"

#include "platform/basekit/run_loop.h"
#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Last: it brings Xlib.
#include "display_capture.h"

using namespace movara::test::display;

TEST(PreferencesWindowDisplay, ThreePanesOnScreen)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    auto app = movara::test::display::onScreenApplication();
    ASSERT_TRUE(app);

    EXPECT_TRUE(HXImage::imageNamed("General.tif")) << "the toolbar's pictures are in the bundle";
    EXPECT_TRUE(HXImage::imageNamed("FullScreen.tif"));
    EXPECT_TRUE(HXImage::imageNamed("Capture.tif"));
    auto environment = MVPPreferencesWindow::standardEnvironment();
    environment.animatesResize = false;
    auto window = std::make_shared<MVPPreferencesWindow>(environment);
    window->showPreferences();
    auto panel = window->preferencesPanel();
    ASSERT_TRUE(panel);
    struct Pane {
        const char* identifier;
        const char* file;
    };
    const Pane panes[] = { { PreferenceToolbarItemIdentifierGeneral, "preferences_general.png" },
        { PreferenceToolbarItemIdentifierFullscreen, "preferences_fullscreen.png" },
        { PreferenceToolbarItemIdentifierCapture, "preferences_capture.png" } };
    for (const auto& pane : panes) {
        SCOPED_TRACE(pane.identifier);
        for (auto& item : panel->toolbar()->items())
            if (item->itemIdentifier() == pane.identifier)
                window->doPreferenceToolbarItem(item.get());
        runFor(*app, 1.0);
        auto shot = captureWindow(name, *panel, pane.file);
        ASSERT_GT(shot.pixels, 0) << "the window was read from the screen";
        EXPECT_LT(shot.mismatches, shot.pixels / 50) << "the screen shows what the toolkit drew";
        EXPECT_GT(shot.dark, 300) << "the controls' texts are written";
    }
    window->hidePreferences();
    window.reset();
    HXApplication::setSharedApplication(nullptr);
#endif
}
