// Media dropped on and dragged out of the timeline slider with real movie files, checked by ffmpeg: a movie
// file dropped on the slider goes in at the drop time, the selection dragged along the track lands where
// it was dropped, and the selection dragged out pastes into another movie.
#include "platform/mvkit/movie.h"
#include "platform/mvkit/notifications.h"
#include "platform/winkit/pasteboard.h"
#include "player/timeline/lcd_media_source.h"
#include "player/timeline/slider_rect_view.h"

#include "tests/platform/mvkit/movie_peer_fixtures.h"
#include "timeline_slider_fixture.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

class SliderDropPeerTest : public TimelineHeadlessTest {
protected:
    void SetUp() override
    {
        TimelineHeadlessTest::SetUp();
        if (!haveProgram("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is needed";
        first = dir / "first.mov";
        second = dir / "second.mov";
        ASSERT_TRUE(makeMovie(first, 3, ""));
        ASSERT_TRUE(makeMovie(second, 1, "", "smptebars"));
        firstVideo = frameHashes(first, "0:v");
        secondVideo = frameHashes(second, "0:v");
        ASSERT_EQ(firstVideo.size(), 30u);
        ASSERT_EQ(secondVideo.size(), 10u);

        HXError error;
        movie = MVMovie::movieWithFile(first.string(), &error);
        ASSERT_TRUE(movie) << error.localizedDescription();
        source.setMovie(movie);
        source.setErrorPresenter([this](const HXError& e) { errors.push_back(e); });
        slider = MVPSliderView::sliderViewWithFrame(HXMakeRect(0, 0, 300, 20), &source, 0);
        slider->setEditingEnabled(true);
        window->contentView()->addSubview(slider);
        window->makeKeyAndOrderFront();
        app->updateWindows();
        // What the time display does when the movie tells it about a change.
        for (const char* name : { MVMovieTimeDidChangeNotification, MVMovieSelectionDidChangeNotification,
                 MVMovieEditedNotification })
            observers.push_back(HXNotificationCenter::defaultCenter().addObserver(
                name, movie.get(), [this](const HXNotification&) {
                    slider->updateCurrentTime();
                    slider->updateSelection();
                }));
    }

    void TearDown() override
    {
        for (auto token : observers)
            HXNotificationCenter::defaultCenter().removeObserver(token);
        if (slider) {
            slider->setMediaSource(nullptr);
            slider->removeFromSuperview();
        }
        slider.reset();
        TimelineHeadlessTest::TearDown();
    }

    HXPoint base(HXPoint p) const { return window->contentView()->convertPointToView(p, nullptr); }

    std::vector<std::string> saveAndHash(MVMovie& m, const std::string& name)
    {
        HXError error;
        auto path = dir / name;
        EXPECT_TRUE(m.writeToFile(path.string(), { { MVMovieFlatten, true } }, &error))
            << error.localizedDescription();
        return frameHashes(path, "0:v");
    }

    static std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts)
    {
        std::vector<std::string> all;
        for (const auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }
    static std::vector<std::string> slice(const std::vector<std::string>& v, size_t from, size_t to)
    {
        return { v.begin() + long(from), v.begin() + long(to) };
    }
    double seconds(MVTime t) const
    {
        double s = 0;
        MVGetTimeInterval(t, &s);
        return s;
    }

    // Presses on the track at slider x `from` and holds still until the selection is dragged out, then
    // moves to `to` (content coordinates) and lets go there.
    void dragSelectionOut(double from, HXPoint to)
    {
        HXHeadlessWindowServer::postMouse(HXLeftMouseDown, window, base({ from, 10 }));
        app->processPendingEvents();
        HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, base(to));
        HXHeadlessWindowServer::postMouse(HXLeftMouseUp, window, base(to));
        clock->advance(MVPSliderRectView::kDragDelay);
    }

    TempDir dir;
    std::filesystem::path first, second;
    std::vector<std::string> firstVideo, secondVideo;
    std::shared_ptr<MVMovie> movie;
    MVPLCDMediaSource source;
    std::shared_ptr<MVPSliderView> slider;
    std::vector<HXObserverToken> observers;
    std::vector<HXError> errors;
};

TEST_F(SliderDropPeerTest, AMovieFileDroppedAtThePlayheadGoesInThere)
{
    movie->setCurrentTime(MVMakeTime(3, 2)); // 1.5 s: the playhead in the middle of the slider
    // Dropped a little beside the playhead: the drop snaps to it.
    app->handleFileDrop(window, base({ 147, 12 }), { second.string() });
    EXPECT_TRUE(errors.empty());
    EXPECT_NEAR(seconds(movie->duration()), 4.0, 0.01);
    EXPECT_EQ(saveAndHash(*movie, "dropped.mov"),
        join({ slice(firstVideo, 0, 15), secondVideo, slice(firstVideo, 15, 30) }));
    // The selection covers what went in.
    EXPECT_NEAR(seconds(movie->selection().time), 1.5, 0.001);
    EXPECT_NEAR(seconds(movie->selection().duration), 1.0, 0.001);
    EXPECT_FALSE(slider->dragIndicatorView());
}

TEST_F(SliderDropPeerTest, AFileThatIsNoMovieIsRefused)
{
    auto text = dir / "notes.txt";
    writeFile(text, "not a movie");
    long before = movie->durationValue();
    app->handleFileDrop(window, base({ 147, 12 }), { text.string() });
    EXPECT_EQ(movie->durationValue(), before);
    EXPECT_FALSE(slider->dragIndicatorView());
}

TEST_F(SliderDropPeerTest, TheSelectionDraggedAlongTheTrackLandsWhereItWasDropped)
{
    movie->setSelection({ MVMakeTime(1, 2), MVMakeTime(1, 2) }); // 0.5 … 1.0 s: frames 5 … 9
    movie->setCurrentTime(MVMakeTime(5, 2));
    // Inside the selection (the track's x 8 + 284 × 0.25), dropped at the end of the track.
    dragSelectionOut(8 + 284 * 0.25, { 296, 10 });
    EXPECT_TRUE(errors.empty());
    EXPECT_NEAR(seconds(movie->duration()), 3.0, 0.01) << "moved, not copied";
    EXPECT_EQ(saveAndHash(*movie, "moved.mov"),
        join({ slice(firstVideo, 0, 5), slice(firstVideo, 10, 30), slice(firstVideo, 5, 10) }));
    EXPECT_NEAR(seconds(movie->selection().time), 2.5, 0.001);
    EXPECT_NEAR(seconds(movie->selection().duration), 0.5, 0.001);
}

TEST_F(SliderDropPeerTest, TheSelectionDraggedOutPastesIntoAnotherMovie)
{
    movie->setSelection({ MVMakeTime(1, 1), MVMakeTime(1, 1) }); // 1 … 2 s: frames 10 … 19
    movie->play();
    // Let go outside every window: nothing takes the drop, the pasteboard keeps the segment.
    dragSelectionOut(8 + 284 * 0.5, { 900, 600 });
    EXPECT_EQ(movie->rate(), 1.0f) << "the press paused the movie; the drag's end resumes it";

    auto board = HXPasteboard::pasteboardWithName(HXDragPboard);
    auto data = board->dataForType(HXMoviePboardType);
    ASSERT_TRUE(data);
    auto segment = MVMovie::movieWithData(data->bytes, nullptr);
    ASSERT_TRUE(segment);
    EXPECT_NEAR(seconds(segment->duration()), 1.0, 0.01);

    HXError error;
    auto other = MVMovie::movieWithFile(second.string(), &error);
    ASSERT_TRUE(other) << error.localizedDescription();
    other->setSelection({ MVMakeTime(1, 2), MVMakeTime(0, 2) });
    ASSERT_TRUE(other->paste(segment));
    EXPECT_EQ(saveAndHash(*other, "pasted.mov"),
        join({ slice(secondVideo, 0, 5), slice(firstVideo, 10, 20), slice(secondVideo, 5, 10) }));
}

} // namespace
