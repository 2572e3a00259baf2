// The audio/video panel over a movie on a real X display: the screen shows the panel as the toolkit drew
// it, its groups enabled for a movie with sound and picture (white labels), and a screenshot is kept as
// av_controls_panel.png in the tests' build folder.
#include "inspectors/av_controls.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/window.h"
#include "test_support.h"
#include "tests/platform/mvkit/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

// Last: it brings Xlib.
#include "movie_info_av_capture.h"

TEST(AVControlsDisplay, ThePanelOnScreen)
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
    display::runFor(*app, 0.5);
    auto controls = AVControls::avControls();
    controls->toggleAVControlsVisibility();
    auto panel = controls->avControlsPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_TRUE(controls->gainControlSlider()->isEnabled());
    EXPECT_TRUE(controls->brightnessControlSlider()->isEnabled());
    panel->setFrameOrigin({ 700, 100 });
    display::runFor(*app, 1.0);

    auto light = display::captureHUDPanel(name, *panel, "av_controls_panel.png");
    ASSERT_GT(light.pixels, 0);
    EXPECT_GT(light.dark, light.pixels / 3) << "the dark heads-up background";
    EXPECT_GT(light.lightOnScreen, 500) << "the light text is on the screen";
    EXPECT_LT(light.disagreeing, light.lightDrawn / 10) << "where the toolkit drew it";

    AVControls::releaseAVControls();
    doc->close();
    HXDocumentController::setSharedDocumentController(nullptr);
    HXApplication::setSharedApplication(nullptr);
#endif
}
