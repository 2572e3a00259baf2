// The info panel of a movie on a real X display: the screen shows the panel as the toolkit drew it, dark
// with its light title, labels and values, and a screenshot is kept as movie_info_panel.png in the tests'
// build folder.
#include "inspectors/movie_info.h"
#include "inspectors/movie_info_item_view.h"
#include "platform/winkit/window.h"
#include "test_support.h"
#include "tests/platform/mvkit/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

// Last: it brings Xlib.
#include "movie_info_av_capture.h"

TEST(MovieInfoDisplay, ThePanelOnScreen)
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        GTEST_SKIP() << "no X display";
#ifndef MOVARA_HAVE_SDL_BACKEND
    GTEST_SKIP() << "the toolkit has no on-screen backend in this build";
#else
    using namespace movara::test;
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    auto app = display::startApplicationOnDisplay();
    ASSERT_TRUE(app);
    auto doc = display::openShownMovie(path.string());
    ASSERT_TRUE(doc);
    MovieInfo::installDocumentInfoPanelMaker();
    auto info = std::dynamic_pointer_cast<MovieInfo>(doc->movieInfo());
    ASSERT_TRUE(info);
    info->showHidePanel();
    auto panel = info->movieInfoPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    ASSERT_FALSE(info->infoItems().empty());
    panel->setFrameOrigin({ 60, 120 });
    display::runFor(*app, 1.0);

    auto light = display::captureHUDPanel(name, *panel, "movie_info_panel.png");
    ASSERT_GT(light.pixels, 0);
    EXPECT_GT(light.dark, light.pixels / 3) << "the dark heads-up background";
    EXPECT_GT(light.lightOnScreen, 40 * int(info->infoItems().size())) << "the light text is on the screen";
    EXPECT_LT(light.disagreeing, light.lightDrawn / 10) << "where the toolkit drew it";

    info->hidePanel();
    doc->close();
    HXDocumentController::setSharedDocumentController(nullptr);
    HXApplication::setSharedApplication(nullptr);
#endif
}
