// The timeline slider on the time display's real media source and a movie in memory: a position on the
// slider becomes a movie time and comes back as the same position, across widths, within a chapter in
// chapter-clip mode and for the selection's ends; drops go in at the time under the pointer.
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/notifications.h"
#include "player/timeline/lcd_media_source.h"
#include "player/timeline/slider_playhead_button.h"
#include "player/timeline/slider_selection_marker_button.h"

#include "timeline_slider_fixture.h"
#include "timeline_test_movies.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace movara::test;

namespace {

// Ten seconds of pictures at 10 frames a second, time scale 600.
class SliderOnMovieTest : public TimelineHeadlessTest {
protected:
    void bind(bool chapterClip, double width)
    {
        unbind();
        source.setMovie(movie, chapterClip);
        slider = MVPSliderView::sliderViewWithFrame(HXMakeRect(0, 0, width, 20), &source, 0);
        slider->setEditingEnabled(true);
        window->contentView()->addSubview(slider);
        window->makeKeyAndOrderFront();
        app->updateWindows();
        for (const char* name : { MVMovieTimeDidChangeNotification, MVMovieSelectionDidChangeNotification,
                 MVMovieEditedNotification })
            observers.push_back(HXNotificationCenter::defaultCenter().addObserver(
                name, movie.get(), [this](const HXNotification&) {
                    slider->updateCurrentTime();
                    slider->updateSelection();
                }));
    }
    void unbind()
    {
        for (auto token : observers)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        observers.clear();
        if (slider) {
            slider->setMediaSource(nullptr);
            slider->removeFromSuperview();
        }
        slider.reset();
    }
    void TearDown() override
    {
        unbind();
        TimelineHeadlessTest::TearDown();
    }
    // A drag of `knob` to slider x `x`, handed straight to the slider (a real mouse lands on whole points).
    void drag(const std::shared_ptr<HXButton>& knob, double x)
    {
        slider->selectButton(knob);
        slider->mouseDragged(HXEvent::mouseEvent(HXLeftMouseDragged,
            slider->convertPointToView({ x, 10 }, nullptr), 0, 0, window->windowNumber()));
    }
    int64_t units(MVTime t) const { return MVTimeInScale(t, 600).timeValue; }

    std::shared_ptr<MVMovie> movie = pictureMovie(600, 60, 100);
    MVPLCDMediaSource source;
    std::shared_ptr<MVPSliderView> slider;
    std::vector<HXObserverToken> observers;
};

TEST_F(SliderOnMovieTest, PlayheadPositionToTimeAndBack)
{
    HXError error;
    ASSERT_TRUE(MVMovieSetChapters(
        *movie, { { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(3000, 600) } }, &error));
    const struct {
        bool chapters;
        double width;
        double x;
        int64_t time; // movie units
    } cases[] = {
        // Whole movie, 6000 units over the knobs' travel (width − 17).
        { false, 300, 8.5, 0 },
        { false, 300, 8.5 + 283 * 0.5, 3000 },
        { false, 300, 291.5, 6000 },
        { false, 117, 8.5 + 100 * 0.25, 1500 },
        { false, 517, 8.5 + 500 * 0.9, 5400 },
        // In the second chapter: 3000 … 5999, 2999 units long.
        { true, 300, 8.5, 3000 },
        { true, 300, 8.5 + 283 * 0.5, 4499 },
        { true, 300, 291.5, 5999 },
        { true, 117, 8.5 + 100 * 0.25, 3749 },
        // Too narrow to map: the start (of the chapter).
        { false, 14, 10, 0 },
        { true, 14, 10, 3000 },
    };
    for (const auto& c : cases) {
        movie->setCurrentTime(MVMakeTime(3600, 600)); // in the second chapter
        bind(c.chapters, c.width);
        drag(slider->playHeadButton(), c.x);
        EXPECT_EQ(units(movie->currentTime()), c.time) << c.width << " " << c.x;
        // Back: the playhead's centre is under the pointer again.
        if (c.width > 17) {
            HXRect knob = slider->playHeadButton()->frame();
            EXPECT_NEAR(knob.origin.x + knob.size.width / 2, std::clamp(c.x, 8.5, c.width - 8.5), 1.0)
                << c.width << " " << c.x;
        }
    }
}

TEST_F(SliderOnMovieTest, SelectionEndsToTimesAndBack)
{
    movie->setSelection({ MVMakeTime(1200, 600), MVMakeTime(2400, 600) }); // 2 … 6 s
    bind(false, 300);
    auto start = slider->selectionStartMarkerButton();
    auto end = slider->selectionEndMarkerButton();
    EXPECT_EQ(start->frame().origin.x, std::round(283 * 0.2));
    EXPECT_EQ(end->frame().origin.x, std::round(283 * 0.6) + 8);

    drag(start, 8.5 + 283 * 0.1);
    EXPECT_EQ(units(movie->selection().time), 600);
    EXPECT_EQ(units(movie->selection().duration), 3000) << "the end stays";
    EXPECT_EQ(units(movie->currentTime()), 600) << "the time follows the marker";
    EXPECT_EQ(start->frame().origin.x, std::round(283 * 0.1));

    drag(end, 8.5 + 283 * 0.05); // before the start: pinned there
    EXPECT_EQ(units(movie->selection().time), 600);
    EXPECT_EQ(units(movie->selection().duration), 0);
    EXPECT_EQ(end->frame().origin.x, std::round(283 * 0.1) + 8);

    // Stepping the end marker from the keyboard moves it a frame (60 units) at a time.
    drag(end, 8.5 + 283 * 0.5);
    window->makeFirstResponder(end);
    std::string right = HXStringFromCharacter(HXRightArrowFunctionKey);
    end->keyDown(HXEvent::keyEvent(
        HXKeyDown, {}, 0, 0, window->windowNumber(), right, right, false, HXKeyCodeUnknown));
    EXPECT_EQ(units(movie->selection().time) + units(movie->selection().duration), 3060);
}

TEST_F(SliderOnMovieTest, DropsInAChapterGoInUnderThePointer)
{
    HXError error;
    ASSERT_TRUE(MVMovieSetChapters(
        *movie, { { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(3000, 600) } }, &error));
    movie->setCurrentTime(MVMakeTime(4200, 600)); // 7 s, in the second chapter
    bind(true, 300);
    // One second of the movie on the drag pasteboard.
    FakeDrag drag;
    movie->setSelection({ MVMakeTime(0, 600), MVMakeTime(600, 600) });
    source.addSelectionToPasteboard(*drag.board, HXMoviePboardType);
    movie->setSelection({ MVMakeTime(4200, 600), MVMakeTime(0, 600) });
    drag.mask = HXDragOperationCopy;

    HXRect playhead = slider->playHeadButton()->frame();
    drag.location = window->contentView()->convertPointToView({ playhead.origin.x + 6, 10 }, nullptr);
    ASSERT_EQ(slider->draggingEntered(drag), unsigned(HXDragOperationCopy));
    ASSERT_TRUE(slider->performDragOperation(drag));
    slider->concludeDragOperation(drag);
    EXPECT_EQ(movie->durationValue(), 6600);
    // At the playhead's time in the chapter (7 s), not at that fraction of the whole movie, and selected.
    EXPECT_EQ(units(movie->selection().time), 4200);
    EXPECT_EQ(units(movie->selection().duration), 600);
}

} // namespace
