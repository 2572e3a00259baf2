// The time display's structure: which parts each style makes, where they go, the lazy rebuild, the timers
// and the cached ranges.
#include "timeline_headless.h"
#include "timeline_lcd_test_view.h"
#include "timeline_test_movies.h"

#include "player/timeline/slider_playhead_button.h"

#include "platform/basekit/timer.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie_view.h"

#include <gmock/gmock.h>

using movara::test::TestLCDView;

namespace {

class LCDViewTest : public TimelineHeadlessTest {
protected:
    void SetUp() override
    {
        // The display's pictures and texts come from the program's bundle.
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        TimelineHeadlessTest::SetUp();
        movie = movara::test::pictureMovie(600, 20, 300); // 10 s at 30 frames a second
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 300, 24));
        keyLoopObserver = HXNotificationCenter::defaultCenter().addObserver(
            "MVAKeyLoopChanged", window.get(), [this](const HXNotification&) { ++rebuilds; });
    }
    void TearDown() override
    {
        HXNotificationCenter::defaultCenter().removeObserver(keyLoopObserver);
        lcd.reset();
        TimelineHeadlessTest::TearDown();
    }

    // Binds the movie, puts the display in the window and lets the window update.
    void show()
    {
        lcd->setMovie(movie);
        window->contentView()->addSubview(lcd);
        app->updateWindows();
    }

    void addChapters(const std::vector<MVChapter>& chapters)
    {
        HXError error;
        ASSERT_TRUE(MVMovieSetChapters(*movie, chapters, &error)) << error.localizedDescription();
    }

    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<TestLCDView> lcd;
    HXObserverToken keyLoopObserver = 0;
    int rebuilds = 0;
};

TEST_F(LCDViewTest, EachStyleMakesItsParts)
{
    struct Case {
        const char* name;
        unsigned style;
        bool vr;
        bool chapters;
        bool timeCodeField, timeTextField, slider, chapterPopUp, equalizer;
    };
    const Case cases[] = {
        { "window", 0, false, false, true, false, true, false, true },
        { "window with chapters", 0, false, true, true, false, true, true, true },
        { "heads-up", 1, false, true, false, true, true, true, false },
        { "recording", 2, false, true, true, false, true, false, false },
        { "panorama in the window", 0, true, true, false, false, false, false, true },
        { "panorama heads-up", 1, true, false, false, false, false, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie = movara::test::pictureMovie(600, 20, 300);
        if (c.chapters)
            addChapters({ { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(3000, 600) } });
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 400, 24));
        lcd->vr = c.vr;
        lcd->equalizer = true;
        lcd->setStyle(c.style);
        lcd->setEqualizerEnabled(true);
        show();
        EXPECT_EQ(lcd->timeCodeField() != nullptr, c.timeCodeField);
        EXPECT_EQ(lcd->timeTextField() != nullptr, c.timeTextField);
        EXPECT_EQ(lcd->sliderView() != nullptr, c.slider);
        EXPECT_EQ(lcd->chapterPopUpButton() != nullptr, c.chapterPopUp);
        EXPECT_EQ(lcd->equalizerView() != nullptr, c.equalizer);
        // The message area is always there; the slider, when made, is its content.
        ASSERT_NE(lcd->scrollView(), nullptr);
        EXPECT_EQ(lcd->scrollView()->contentView(), lcd->sliderView());
        lcd->removeFromSuperview();
    }
}

TEST_F(LCDViewTest, PartsArePlacedFromBothEnds)
{
    using Input = MVPLCDView::LayoutInput;
    struct Case {
        const char* name;
        Input input;
        MVPLCDView::Layout expected;
    };
    const HXRect wide = HXMakeRect(0, 0, 400, 24);
    const Case cases[] = {
        { "window, every part", { wide, 0, true, false, 70.6, 60.0, true },
            { HXMakeRect(351, 5, 45, 15), {}, HXMakeRect(3, 5, 70, 15), HXMakeRect(286, 2, 60, 18),
                HXMakeRect(76, 2, 206, 20) } },
        { "window, long time and chapter names cut to 120", { wide, 0, false, false, 150.0, 200.0, true },
            { {}, {}, HXMakeRect(3, 5, 120, 15), HXMakeRect(275, 2, 120, 18), HXMakeRect(126, 2, 145, 20) } },
        { "window, time and scroller only", { wide, 0, false, false, 70.0, std::nullopt, true },
            { {}, {}, HXMakeRect(3, 5, 70, 15), {}, HXMakeRect(76, 2, 321, 20) } },
        { "heads-up", { wide, 1, false, true, std::nullopt, 78.0, true },
            { {}, HXMakeRect(350, 0, 49, 13), {}, HXMakeRect(272, 0, 78, 13), HXMakeRect(0, 0, 272, 13) } },
        // The scroller keeps 120 points before the pop-up gives up width.
        { "narrow window", { HXMakeRect(0, 0, 260, 24), 0, false, false, 70.0, 100.0, true },
            { {}, {}, HXMakeRect(3, 5, 70, 15), HXMakeRect(193, 2, 62, 18), HXMakeRect(76, 2, 113, 20) } },
        // Too narrow even for the scroller: the pop-up has no width, never a negative one.
        { "too narrow", { HXMakeRect(0, 0, 150, 24), 0, false, false, 70.0, 100.0, true },
            { {}, {}, HXMakeRect(3, 5, 70, 15), HXMakeRect(145, 2, 0, 18), HXMakeRect(76, 2, 65, 20) } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto l = MVPLCDView::layout(c.input);
        EXPECT_EQ(l.equalizer, c.expected.equalizer);
        EXPECT_EQ(l.timeTextField, c.expected.timeTextField);
        EXPECT_EQ(l.timeCodeField, c.expected.timeCodeField);
        EXPECT_EQ(l.chapterPopUpButton, c.expected.chapterPopUpButton);
        EXPECT_EQ(l.scrollView, c.expected.scrollView);
    }
}

TEST_F(LCDViewTest, TheViewLaysItsPartsOutAgainWhenResized)
{
    addChapters({ { "Opening titles", MVMakeTime(0, 600) }, { "End", MVMakeTime(3000, 600) } });
    show();
    auto field = lcd->timeCodeField();
    auto popUp = lcd->chapterPopUpButton();
    ASSERT_TRUE(field && popUp);
    EXPECT_EQ(field->frame().size.width, std::min(120, field->naturalWidth()));
    lcd->setFrame(HXMakeRect(0, 0, 500, 24));
    EXPECT_EQ(HXMaxX(popUp->frame()), 500 - 2 - 3);
    EXPECT_EQ(HXMaxX(lcd->scrollView()->frame()), popUp->frame().origin.x - 3 - 1);
}

TEST_F(LCDViewTest, ChangesRebuildOnceAtTheNextWindowUpdate)
{
    // A panorama movie has no slider: every key-loop change counted is the display's own.
    lcd->vr = true;
    show();
    EXPECT_EQ(rebuilds, 1);
    auto firstScroller = lcd->scrollView();
    // Twice each before the update: one rebuild.
    lcd->setStyle(1);
    lcd->setStyle(0);
    lcd->setEqualizerEnabled(true);
    lcd->setEqualizerEnabled(false);
    EXPECT_TRUE(lcd->needsRebuild());
    EXPECT_EQ(lcd->scrollView(), firstScroller); // nothing rebuilt inside the calls
    app->updateWindows();
    EXPECT_EQ(rebuilds, 2);
    EXPECT_NE(lcd->scrollView(), firstScroller);
    EXPECT_FALSE(lcd->needsRebuild());
    // An update without a change rebuilds nothing; setting the same values asks for nothing.
    lcd->setStyle(0);
    lcd->setEditingEnabled(false);
    app->updateWindows();
    EXPECT_EQ(rebuilds, 2);
}

TEST_F(LCDViewTest, ARebuildKeepsTheShownTimeMode)
{
    show();
    lcd->timeCodeField()->chooseFormatter(5);
    lcd->setEqualizerEnabled(true);
    app->updateWindows();
    EXPECT_EQ(lcd->timeCodeField()->timeCodeCell()->mode(), 5);
}

TEST_F(LCDViewTest, KeyLoopRunsThroughTheTimeFieldTheSliderAndTheChapterMenu)
{
    addChapters({ { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(3000, 600) } });
    show();
    app->updateWindows(); // the slider makes its knobs at the update after it was made
    auto playhead = lcd->sliderView()->playHeadButton();
    ASSERT_NE(playhead, nullptr);
    auto start = std::make_shared<HXView>();
    auto last = lcd->appendKeyViewsTo(start);
    EXPECT_EQ(start->nextKeyView(), lcd->timeCodeField());
    EXPECT_EQ(lcd->timeCodeField()->nextKeyView(), playhead);
    EXPECT_EQ(last, lcd->chapterPopUpButton());
}

TEST_F(LCDViewTest, TheSliderAsksTheDisplayForItsTimes)
{
    show();
    auto slider = lcd->sliderView();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->mediaSource(), &lcd->mediaSource());
    EXPECT_TRUE(slider->editingEnabled());
    lcd->setEditingEnabled(false);
    EXPECT_FALSE(slider->editingEnabled());
    EXPECT_FALSE(lcd->mediaSource().editingEnabled());
    // A new slider for the new style; the old one no longer asks the display.
    lcd->setStyle(1);
    app->updateWindows();
    EXPECT_EQ(slider->mediaSource(), nullptr);
    ASSERT_NE(lcd->sliderView(), slider);
    EXPECT_EQ(lcd->sliderView()->style(), 1u);
    EXPECT_FALSE(lcd->sliderView()->editingEnabled());
    EXPECT_EQ(lcd->sliderView()->superview(), lcd->scrollView());
}

TEST_F(LCDViewTest, TimersRunOnlyInAWindowWithAPlayingMovie)
{
    lcd->setMovie(movie);
    movie->setRate(1);
    EXPECT_EQ(lcd->timeTimer(), nullptr) << "no window: no timers";
    window->contentView()->addSubview(lcd);
    app->updateWindows();
    ASSERT_NE(lcd->timeTimer(), nullptr);
    ASSERT_NE(lcd->sliderTimeTimer(), nullptr);
    EXPECT_EQ(lcd->equalizerTimer(), nullptr) << "no level bars";
    EXPECT_EQ(lcd->loadPercentTimer(), nullptr) << "nothing loading";
    EXPECT_DOUBLE_EQ(lcd->timeTimer()->timeInterval(), kLCDTimeTimerInterval);
    auto timer = lcd->timeTimer();

    movie->setRate(0);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(lcd->timeTimer(), nullptr);
    EXPECT_EQ(lcd->sliderTimeTimer(), nullptr);

    movie->setRate(1);
    timer = lcd->timeTimer();
    ASSERT_NE(timer, nullptr);
    lcd->removeFromSuperview();
    EXPECT_FALSE(timer->isValid()) << "leaving the window stops the timers";
    EXPECT_EQ(lcd->timeTimer(), nullptr);
}

TEST_F(LCDViewTest, TimerRatesFollowTheStyleAndTheSliderWidth)
{
    struct Case {
        const char* name;
        unsigned style;
        int frames; // of 1/30 s
        double width;
        double timeInterval;
        double sliderInterval;
    };
    const Case cases[] = {
        // 10 s over a slider of about 200 points: the floor of 0.05 s.
        { "window, short movie", 0, 300, 300, 0.1, 0.05 },
        // 600 s over the heads-up scroller's 250 points.
        { "heads-up, ten minutes", 1, 18000, 300, 0.5, 600.0 / 250 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie = movara::test::pictureMovie(600, 20, c.frames);
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, c.width, 24));
        lcd->setStyle(c.style);
        show();
        movie->setRate(1);
        ASSERT_TRUE(lcd->timeTimer() && lcd->sliderTimeTimer());
        EXPECT_DOUBLE_EQ(lcd->timeTimer()->timeInterval(), c.timeInterval);
        EXPECT_NEAR(lcd->sliderTimeTimer()->timeInterval(), c.sliderInterval, 1e-9);
        movie->setRate(0);
        lcd->removeFromSuperview();
    }
}

TEST_F(LCDViewTest, TimersKeepRunningWhileAControlIsTracked)
{
    show();
    movie->setRate(1);
    auto timers = { lcd->timeTimer(), lcd->sliderTimeTimer() };
    std::vector<double> before;
    for (auto& t : timers) {
        ASSERT_NE(t, nullptr);
        before.push_back(t->fireDate());
    }
    // The loop runs in the tracking mode only, as it does while the mouse drags a control.
    auto& loop = HXRunLoop::main();
    loop.perform([this] { clock->advance(0.35); }, 0, { HXEventTrackingRunLoopMode });
    loop.runInMode(HXEventTrackingRunLoopMode, 0);
    size_t i = 0;
    for (auto& t : timers)
        EXPECT_GT(t->fireDate(), before[i++] + 0.2) << "the timer fired on its way";
    movie->setRate(0);
}

TEST_F(LCDViewTest, ADetachedMovieNoLongerReachesTheDisplay)
{
    // The window takes the movie away while it is shown full screen, and gives it back afterwards.
    show();
    movie->setRate(1);
    ASSERT_NE(lcd->timeTimer(), nullptr);
    lcd->setMovie(nullptr);
    lcd->rebuild();
    EXPECT_EQ(lcd->timeTimer(), nullptr);
    EXPECT_EQ(lcd->sliderTimeTimer(), nullptr);
    EXPECT_NE(lcd->timeCodeField(), nullptr);
    movie->setRate(0);
    movie->setRate(1);
    movie->setCurrentTime(MVMakeTime(3000, 600));
    EXPECT_FALSE(lcd->isPlaying());
    EXPECT_EQ(lcd->timeTimer(), nullptr);
    EXPECT_EQ(lcd->mediaSource().currentTime().timeValue, 0);

    lcd->setMovie(movie);
    lcd->rebuild();
    EXPECT_TRUE(lcd->isPlaying());
    EXPECT_NE(lcd->timeTimer(), nullptr);
    EXPECT_EQ(lcd->mediaSource().currentTime().timeValue, 3000);
    movie->setRate(0);
}

TEST_F(LCDViewTest, TheHeadsUpTimeFollowsTheMovie)
{
    lcd->setStyle(1);
    show();
    EXPECT_EQ(lcd->timeTextField()->stringValue(), "00:00:00");
    movie->setCurrentTime(MVMakeTime(4800, 600));
    EXPECT_EQ(lcd->timeTextField()->stringValue(), "00:00:08");
}

TEST_F(LCDViewTest, ALoadingMovieIsPolledUntilLoaded)
{
    lcd->type = kLCDMovieTypeLoading;
    lcd->setMovie(movie);
    EXPECT_EQ(lcd->loadPercent(), 0.0);
    EXPECT_EQ(lcd->loadPercentTimer(), nullptr) << "no window: no polling";
    window->contentView()->addSubview(lcd);
    app->updateWindows();
    ASSERT_NE(lcd->loadPercentTimer(), nullptr);
    EXPECT_DOUBLE_EQ(lcd->loadPercentTimer()->timeInterval(), kLCDSliderLoadPercentTimerInterval);
    // The movie made in memory is all there: the first poll finds it loaded and stops.
    clock->advance(kLCDSliderLoadPercentTimerInterval);
    EXPECT_EQ(lcd->loadPercent(), 1.0);
    EXPECT_EQ(lcd->loadPercentTimer(), nullptr);
}

TEST_F(LCDViewTest, LoadedFractionOfALongMovieUsesTheWholeCount)
{
    // 30 hours at 90 kHz: the duration's count is far beyond 32 bits.
    movie = movara::test::pictureMovie(90000, 90000 * 60, 30 * 60);
    ASSERT_GT(movie->durationValue(), int64_t(1) << 32);
    lcd->type = kLCDMovieTypeLoading;
    show();
    clock->advance(kLCDSliderLoadPercentTimerInterval);
    EXPECT_EQ(lcd->loadPercent(), 1.0);
    EXPECT_EQ(lcd->loadPercentTimer(), nullptr) << "a loaded long movie stops the polling";
}

TEST_F(LCDViewTest, ChapterRangeGivesTheTimeFieldItsOriginAndEnd)
{
    // Chapters of a long movie at 90 kHz: their times do not fit 32 bits.
    movie = movara::test::pictureMovie(90000, 90000 * 60, 30 * 60);
    const int64_t hour = int64_t(90000) * 3600;
    addChapters({ { "One", MVMakeTime(0, 90000) }, { "Two", MVMakeTime(10 * hour, 90000) },
        { "Three", MVMakeTime(20 * hour, 90000) } });
    lcd->chapterMode = 1;
    movie->setCurrentTime(MVMakeTime(12 * hour, 90000));
    show();
    ASSERT_TRUE(lcd->isChapterModeClip());
    auto field = lcd->timeCodeField();
    EXPECT_EQ(field->timeOrigin(), 10 * hour);
    EXPECT_EQ(field->timeMaximum(), 20 * hour - 1);
    EXPECT_EQ(lcd->mediaSource().timeStart().timeValue, 10 * hour);
    // Into the last chapter.
    movie->setCurrentTime(MVMakeTime(25 * hour, 90000));
    EXPECT_EQ(field->timeOrigin(), 20 * hour);
    EXPECT_EQ(field->timeMaximum(), movie->durationValue() - 1);
}

TEST_F(LCDViewTest, AMovieWithAChapterTrackIsShownChapterByChapter)
{
    // The display as the player makes it, asking the movie itself for its chapter mode.
    auto plainLCD = std::make_shared<MVPLCDView>(HXMakeRect(0, 0, 300, 24));
    movie = movara::test::pictureMovie(600, 60, 60);
    plainLCD->setMovie(movie);
    EXPECT_FALSE(plainLCD->isChapterModeClip()) << "no chapters";
    addChapters({ { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(1200, 600) },
        { "Three", MVMakeTime(2400, 600) } });
    movie->setCurrentTime(MVMakeTime(1500, 600));
    plainLCD->setMovie(nullptr);
    plainLCD->setMovie(movie);
    ASSERT_TRUE(plainLCD->isChapterModeClip());
    EXPECT_EQ(plainLCD->mediaSource().timeStart().timeValue, 1200);
    plainLCD->setMovie(nullptr);
}

TEST_F(LCDViewTest, ThePanelIsDrawnOnlyInTheWindowStyle)
{
    struct Case {
        unsigned style;
        bool panel;
    };
    for (const auto& c : { Case { 0, true }, Case { 1, false } }) {
        SCOPED_TRACE(c.style);
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 300, 24));
        lcd->setStyle(c.style);
        show();
        // Three points in from the left, halfway up the display (the window is 40 high).
        uint32_t rgba = window->renderedPixelRGBA(3, 40 - 12);
        int r = int(rgba >> 24), g = int((rgba >> 16) & 0xFF), b = int((rgba >> 8) & 0xFF);
        if (c.panel)
            EXPECT_GT(g, b + 8) << "the pale green panel: " << r << " " << g << " " << b;
        else
            EXPECT_LE(std::abs(g - b), 4) << "the window's grey: " << r << " " << g << " " << b;
        lcd->removeFromSuperview();
    }
}

TEST_F(LCDViewTest, SpaceStaysWithAFocusedChapterMenu)
{
    addChapters({ { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(3000, 600) } });
    auto movieView = std::make_shared<MVMovieView>(HXMakeRect(0, 40, 160, 120));
    movieView->setMovie(movie);
    lcd->setMovieView(movieView);
    show();
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(window->makeFirstResponder(lcd->chapterPopUpButton()));
    struct Recorder : HXResponder {
        std::vector<char32_t> keys;
        void keyDown(const HXEvent& event) override
        {
            keys.push_back(event.firstCharacterIgnoringModifiers());
        }
    };
    auto recorder = std::make_shared<Recorder>();
    lcd->setNextResponder(recorder);
    lcd->keyDown(HXEvent::keyEvent(HXKeyDown, HXZeroPoint, 0, 0, window->windowNumber(), " ", " ", false, 0));
    EXPECT_THAT(recorder->keys, ::testing::ElementsAre(U' '));
    EXPECT_FALSE(movie->isPlaying()) << "the movie view did not take the space";
}

TEST_F(LCDViewTest, KeysGoToTheMovieViewExceptTabs)
{
    auto movieView = std::make_shared<MVMovieView>(HXMakeRect(0, 40, 160, 120));
    movieView->setMovie(movie);
    lcd->setMovieView(movieView);
    show();
    auto key = [this](std::string characters) {
        return HXEvent::keyEvent(
            HXKeyDown, HXZeroPoint, 0, 0, window->windowNumber(), characters, characters, false, 0);
    };
    std::string down = HXStringFromCharacter(HXDownArrowFunctionKey);
    lcd->keyDown(key(down));
    EXPECT_FLOAT_EQ(movie->volume(), 0.9f) << "the movie view took the arrow";

    // Tab and back-tab take the ordinary way (to the next responder), not the movie view's.
    struct Recorder : HXResponder {
        std::vector<char32_t> keys;
        void keyDown(const HXEvent& event) override
        {
            keys.push_back(event.firstCharacterIgnoringModifiers());
        }
    };
    auto recorder = std::make_shared<Recorder>();
    lcd->setNextResponder(recorder);
    lcd->keyDown(key("\t"));
    lcd->keyDown(key(std::string(1, char(25))));
    EXPECT_THAT(recorder->keys, ::testing::ElementsAre(U'\t', char32_t(25)));
    EXPECT_FLOAT_EQ(movie->volume(), 0.9f);
}

} // namespace
