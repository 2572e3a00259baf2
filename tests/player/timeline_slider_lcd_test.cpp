// The timeline slider inside the time display that makes it: it fills the display's scroller, the mouse on
// its track moves the movie, and the movie's selection comes back as the markers' places.
#include "platform/winkit/headless_window_server.h"
#include "player/timeline/lcd_view.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_rect_view.h"
#include "player/timeline/slider_selection_marker_button.h"
#include "player/timeline/slider_view.h"

#include "timeline_headless.h"
#include "timeline_test_movies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

class SliderInDisplayTest : public TimelineHeadlessTest {
protected:
    void SetUp() override
    {
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        TimelineHeadlessTest::SetUp();
        lcd = MVPLCDView::LCDViewWithFrame(HXMakeRect(0, 0, 300, 24), movie);
        window->contentView()->addSubview(lcd);
        window->makeKeyAndOrderFront();
        app->updateWindows(); // the display makes the slider
        app->updateWindows(); // the slider makes its parts
        slider = lcd->sliderView();
    }
    void TearDown() override
    {
        slider.reset();
        lcd.reset();
        TimelineHeadlessTest::TearDown();
    }
    int64_t units(MVTime t) const { return MVTimeInScale(t, 600).timeValue; }

    std::shared_ptr<MVMovie> movie = movara::test::pictureMovie(600, 60, 100); // 10 s
    std::shared_ptr<MVPLCDView> lcd;
    std::shared_ptr<MVPSliderView> slider;
};

TEST_F(SliderInDisplayTest, TheTrackScrubsAndTheMarkersFollowTheSelection)
{
    ASSERT_TRUE(slider);
    double width = slider->bounds().size.width;
    ASSERT_GT(width, 100) << "the slider fills the display's scroller";
    auto track = slider->accessibilityTimeLineView();
    ASSERT_TRUE(track && slider->playHeadButton() && slider->selectionStartMarkerButton());

    // Press a quarter along the track, drag to three quarters, let go.
    auto at = [&](double percent) {
        return track->convertPointToView({ track->bounds().size.width * percent, 4 }, nullptr);
    };
    HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, at(0.25));
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, at(0.75));
    HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, at(0.75));
    app->processPendingEvents();
    EXPECT_NEAR(double(units(movie->currentTime())), 4500, 60);

    // The movie's selection, set elsewhere, places the markers.
    movie->setSelection({ MVMakeTime(1500, 600), MVMakeTime(3000, 600) }); // 2.5 … 7.5 s
    EXPECT_EQ(slider->selectionStartMarkerButton()->frame().origin.x, std::round((width - 17) * 0.25));
    EXPECT_EQ(slider->selectionEndMarkerButton()->frame().origin.x, std::round((width - 17) * 0.75) + 8);
}

} // namespace
