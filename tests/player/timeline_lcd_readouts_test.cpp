// The time display's readouts: the time-code field's modes and its menu, status messages, the chapter
// pop-up and the level bars.
#include "timeline_headless.h"
#include "timeline_lcd_test_view.h"
#include "timeline_test_movies.h"

#include "core/preferences.h"
#include "document/movie_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/chapters.h"

#include <gmock/gmock.h>

using movara::test::TestLCDView;
using ::testing::ElementsAre;

namespace {

std::string localized(const char* key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

class LCDReadoutsTest : public TimelineHeadlessTest {
protected:
    void SetUp() override
    {
        ::setenv("MOVARA_BUNDLE_DIR", MOVARA_BUNDLE_DIR, 0);
        TimelineHeadlessTest::SetUp();
        movie = movara::test::pictureMovie(600, 20, 300);
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 300, 24));
    }
    void TearDown() override
    {
        lcd.reset();
        MVPPreferences::preferences().setPreference(
            HXPropertyList(false), kGeneralPreferenceShowTimeCode, false);
        TimelineHeadlessTest::TearDown();
    }

    void show()
    {
        lcd->setMovie(movie);
        window->contentView()->addSubview(lcd);
        app->updateWindows();
    }

    std::vector<long> menuModes() const
    {
        std::vector<long> modes;
        if (auto menu = lcd->timeCodeField()->menu())
            for (auto& item : menu->itemArray())
                modes.push_back(item->tag());
        return modes;
    }
    int mode() const { return lcd->timeCodeField()->timeCodeCell()->mode(); }

    // What the message area shows: a message's text, or "<content>" for the slider.
    std::string shown()
    {
        auto scroller = lcd->scrollView();
        for (int i = 0; i < 200 && scroller->isAnimating(); ++i)
            clock->advance(MVPScrollView::kScrollInterval);
        auto field = std::dynamic_pointer_cast<MVPMessageTextField>(scroller->activeView());
        return field ? field->stringValue() : "<content>";
    }

    void postStatus(long flags, long code, std::optional<std::string> text)
    {
        HXPropertyList::Dictionary info { { MVMovieStatusFlagsNotificationParameter,
                                              HXPropertyList(int64_t(flags)) },
            { MVMovieStatusCodeNotificationParameter, HXPropertyList(int64_t(code)) } };
        if (text)
            info[MVMovieStatusStringNotificationParameter] = HXPropertyList(*text);
        HXNotificationCenter::defaultCenter().postNotification(HXNotification(
            MVMovieStatusStringPostedNotification, static_cast<const void*>(movie.get()), info));
    }

    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<TestLCDView> lcd;
};

// ---- Time-code modes

TEST_F(LCDReadoutsTest, TheModeMenuOffersWhatTheMovieHas)
{
    struct Case {
        const char* name;
        std::function<std::shared_ptr<MVMovie>()> make;
        bool showTimeCode;
        bool editable;
        std::vector<long> modes;
        int initialMode;
    };
    using movara::test::kDropFrame2997;
    using movara::test::kNonDrop25;
    const Case cases[] = {
        { "pictures", [] { return movara::test::pictureMovie(600, 20, 300); }, true, true, { 1, 5 }, 1 },
        { "time code, shown", [] { return movara::test::timeCodeMovie(kNonDrop25, 0, 600, 6000); }, true,
            true, { 1, 2, 4 }, 2 },
        { "drop-frame time code, shown",
            [] { return movara::test::timeCodeMovie(kDropFrame2997, 0, 30000, 300000); }, true, true,
            { 1, 3, 4 }, 3 },
        // With the preference off the field starts in its own mode and still offers the time code.
        { "drop-frame time code, not shown",
            [] { return movara::test::timeCodeMovie(kDropFrame2997, 0, 30000, 300000); }, false, true,
            { 1, 3, 4 }, 1 },
        // Nothing to count frames of: not editable, no menu, hours-minutes-seconds.
        { "no visual track", [] { return MVMovie::movie(); }, true, false, {}, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MVPPreferences::preferences().setPreference(
            HXPropertyList(c.showTimeCode), kGeneralPreferenceShowTimeCode, false);
        movie = c.make();
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 300, 24));
        show();
        ASSERT_NE(lcd->timeCodeField(), nullptr);
        EXPECT_EQ(lcd->timeCodeField()->isEditable(), c.editable);
        EXPECT_EQ(menuModes(), c.modes);
        EXPECT_EQ(mode(), c.initialMode);
        for (auto& item : lcd->timeCodeField()->menu() ? lcd->timeCodeField()->menu()->itemArray()
                                                       : std::vector<std::shared_ptr<HXMenuItem>> {})
            EXPECT_TRUE(item->isEnabled()) << item->tag();
        lcd->removeFromSuperview();
    }
}

TEST_F(LCDReadoutsTest, TimeCodeModesAreValidOnlyWithATimeCodeTrack)
{
    show();
    for (int m : { 1, 2, 3, 4, 5, 9 })
        EXPECT_EQ(lcd->isValidFormat(m), m != 2 && m != 3) << m;
    movie = movara::test::timeCodeMovie(movara::test::kNonDrop25, 0, 600, 6000);
    lcd->setMovie(movie);
    for (int m : { 2, 3 })
        EXPECT_TRUE(lcd->isValidFormat(m)) << m;
}

TEST_F(LCDReadoutsTest, ChoosingAModeFromTheMenuLaysTheFieldOutAgain)
{
    movie = movara::test::timeCodeMovie(movara::test::kNonDrop25, 0, 600, 6000);
    show();
    auto field = lcd->timeCodeField();
    double hmsWidth = field->frame().size.width;
    std::vector<int64_t> announced;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVPTimeCodeModeDidChange, static_cast<const HXView*>(field.get()), [&](const HXNotification& n) {
            announced.push_back(n.userInfo().at(MVPLCDTimeModeKey).integerValue());
        });
    auto item = field->menu()->itemWithTag(4);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->target());
    item->target()->performAction(item->action(), item.get());
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_THAT(announced, ElementsAre(4));
    EXPECT_EQ(mode(), 4);
    // The frame-number text has its own width, and the scroller moves with the field.
    EXPECT_EQ(field->frame().size.width, std::min(120, field->naturalWidth()));
    EXPECT_NE(field->frame().size.width, hmsWidth);
    EXPECT_EQ(lcd->scrollView()->frame().origin.x, HXMaxX(field->frame()) + 4 - 1);
}

TEST_F(LCDReadoutsTest, AnEditThatRemovesTheTimeCodeTrackFallsBackToSeconds)
{
    MVPPreferences::preferences().setPreference(HXPropertyList(true), kGeneralPreferenceShowTimeCode, false);
    movie = movara::test::timeCodeMovie(movara::test::kNonDrop25, 0, 600, 6000);
    // A picture track too, so that the field stays editable.
    auto pictures = movara::test::pictureMovie(600, 20, 300);
    movie->insertTrack(pictures->tracks().front());
    show();
    EXPECT_EQ(mode(), 2);
    movie->removeTrack(movie->tracksOfMediaType(MVMediaTypeTimeCode).front());
    movie->movieChanged();
    EXPECT_EQ(lcd->timeCodeTrack(), nullptr);
    EXPECT_EQ(menuModes(), (std::vector<long> { 1, 5 }));
    EXPECT_EQ(mode(), 1);
}

// ---- Status messages

TEST_F(LCDReadoutsTest, StatusMessagesByFlagsAndCode)
{
    struct Case {
        const char* name;
        long flags;
        long code;
        std::optional<std::string> text;
        bool playing;
        std::string shown;
    };
    const Case cases[] = {
        { "plain status", 0, 0, "Connecting", false, "Connecting" },
        { "streaming without a code: ignored", 4, 3, "Negotiating", false, "<content>" },
        { "streaming code 0 while stopped: ignored", 4 | 8, 0, "Playing", false, "<content>" },
        { "streaming code 0 while playing", 4 | 8, 0, "Playing", true, "Playing" },
        { "streaming code 5: ignored", 4 | 8, 5, "Requested", false, "<content>" },
        { "streaming, other code", 4 | 8, 7, "Connected", false, "Connected" },
        { "error with a code and a text", 16 | 8, -43, "File not found", false, "-43: File not found" },
        { "error with a code alone", 16 | 8, -43, std::nullopt, false, "-43" },
        { "error without a code", 16, -43, "Broken", false, "Broken" },
        { "an empty status hides", 0, 0, "", false, "<content>" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie = movara::test::pictureMovie(600, 20, 300);
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 300, 24));
        show();
        if (c.playing)
            movie->setRate(1);
        postStatus(c.flags, c.code, c.text);
        EXPECT_EQ(shown(), c.shown);
        movie->setRate(0);
        lcd->removeFromSuperview();
    }
}

TEST_F(LCDReadoutsTest, OnlyTheFirstOfSuccessiveBufferingMessagesScrolls)
{
    show();
    auto scroller = lcd->scrollView();
    postStatus(4 | 8, 12, "Buffering 10%");
    EXPECT_TRUE(scroller->isAnimating());
    EXPECT_EQ(shown(), "Buffering 10%");
    EXPECT_TRUE(lcd->isBuffering());
    postStatus(4 | 8, 17, "Buffering 50%");
    EXPECT_FALSE(scroller->isAnimating()) << "replaced in place";
    EXPECT_EQ(shown(), "Buffering 50%");
    // Another status ends the buffering; the next buffering message scrolls in again.
    postStatus(4 | 8, 7, "Playing");
    EXPECT_FALSE(lcd->isBuffering());
    EXPECT_EQ(shown(), "Playing");
    postStatus(4 | 8, 51, "Buffering 5%");
    EXPECT_TRUE(scroller->isAnimating());
    EXPECT_EQ(shown(), "Buffering 5%");
}

TEST_F(LCDReadoutsTest, AHideDuringTheScrollIsNotLost)
{
    show();
    postStatus(0, 0, "Connecting");
    ASSERT_TRUE(lcd->scrollView()->isAnimating());
    postStatus(0, 0, "");
    EXPECT_EQ(shown(), "<content>");
}

TEST_F(LCDReadoutsTest, ALiveBroadcastShowsItselfInsteadOfNothing)
{
    show();
    // The broadcast is told by the next edit.
    lcd->type = kLCDMovieTypeLiveBroadcast;
    movie->movieChanged();
    EXPECT_EQ(lcd->movieType(), kLCDMovieTypeLiveBroadcast);
    EXPECT_EQ(shown(), localized("mvpLCDLiveBroadcastPaused"));
    movie->setRate(1);
    EXPECT_EQ(shown(), localized("mvpLCDLiveBroadcast"));
    postStatus(0, 0, "Station identification");
    EXPECT_EQ(shown(), "Station identification");
    postStatus(0, 0, "");
    EXPECT_EQ(shown(), localized("mvpLCDLiveBroadcast"));
}

TEST_F(LCDReadoutsTest, APanoramaMovieShowsEvenAnEmptyStatus)
{
    lcd->vr = true;
    show();
    postStatus(0, 0, "");
    EXPECT_EQ(shown(), "") << "a message line, empty, instead of the content";
}

TEST_F(LCDReadoutsTest, PrerollErrors)
{
    show();
    postStatus(0, 0, "Connecting");
    auto preroll = [this](int64_t error) {
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification("MVMoviePrerollCompleteNotification", static_cast<const void*>(movie.get()),
                { { "MVMovieErrorNotificationParameter", HXPropertyList(error) } }));
    };
    std::vector<double> rates;
    auto token = HXNotificationCenter::defaultCenter().addObserver(MVMovieRateDidChangeNotification,
        static_cast<const void*>(movie.get()), [&](const HXNotification& n) {
            rates.push_back(n.userInfo().at(MVMovieRateDidChangeNotificationParameter).realValue());
        });
    movie->setRate(1);
    rates.clear();
    preroll(0);
    EXPECT_EQ(shown(), "Connecting");
    EXPECT_TRUE(rates.empty());
    // Cancelled by the user: the message goes.
    preroll(-128);
    EXPECT_EQ(shown(), "<content>");
    EXPECT_TRUE(rates.empty());
    // Any other failure shows the movie stopped.
    preroll(-2010);
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_THAT(rates, ElementsAre(0.0));
    EXPECT_FALSE(lcd->isPlaying());
    EXPECT_EQ(lcd->timeTimer(), nullptr);
}

// ---- Chapters

TEST_F(LCDReadoutsTest, EachChapterItemLeadsToItsOwnChapter)
{
    HXError error;
    ASSERT_TRUE(MVMovieSetChapters(*movie,
        { { "Opening", MVMakeTime(0, 600) }, { "", MVMakeTime(1200, 600) },
            { "Finale", MVMakeTime(3600, 600) } },
        &error));
    show();
    auto popUp = lcd->chapterPopUpButton();
    ASSERT_NE(popUp, nullptr);
    EXPECT_THAT(popUp->itemTitles(), ElementsAre("Opening", "Finale"));
    // "Finale" is the third chapter, though the second item.
    popUp->selectItemAtIndex(1);
    lcd->changeChapter(popUp.get());
    EXPECT_EQ(movie->currentTime().timeValue, 3600);
    EXPECT_EQ(popUp->indexOfSelectedItem(), 1);
    // Back in the first chapter the first item shows; the unnamed chapter leaves the choice as it is.
    movie->setCurrentTime(MVMakeTime(100, 600));
    EXPECT_EQ(popUp->indexOfSelectedItem(), 0);
    movie->setCurrentTime(MVMakeTime(1500, 600));
    EXPECT_EQ(popUp->indexOfSelectedItem(), 0);
    movie->setCurrentTime(MVMakeTime(4000, 600));
    EXPECT_EQ(popUp->indexOfSelectedItem(), 1);
}

TEST_F(LCDReadoutsTest, ChapterListChangesRefillOrRebuild)
{
    show();
    EXPECT_EQ(lcd->chapterPopUpButton(), nullptr);
    HXError error;
    ASSERT_TRUE(
        MVMovieSetChapters(*movie, { { "A", MVMakeTime(0, 600) }, { "B", MVMakeTime(600, 600) } }, &error));
    EXPECT_TRUE(lcd->needsRebuild());
    app->updateWindows();
    ASSERT_NE(lcd->chapterPopUpButton(), nullptr);
    auto popUp = lcd->chapterPopUpButton();
    ASSERT_TRUE(MVMovieSetChapters(*movie,
        { { "A", MVMakeTime(0, 600) }, { "C", MVMakeTime(900, 600) }, { "D", MVMakeTime(1800, 600) } },
        &error));
    EXPECT_FALSE(lcd->needsRebuild()) << "still chapters: the same pop-up, refilled";
    EXPECT_THAT(popUp->itemTitles(), ElementsAre("A", "C", "D"));
}

TEST_F(LCDReadoutsTest, ChapterPopUpGeometryByStyle)
{
    auto popUp = MVPChapterPopUpButton::chapterPopUpButtonWithFrame(HXMakeRect(0, 0, 100, 18));
    popUp->addChapterItem("Intro", 1);
    popUp->addChapterItem("The long goodbye", 2);
    popUp->addChapterItem("Intro", 3); // names may repeat: each keeps its item
    EXPECT_EQ(popUp->numberOfItems(), 3);
    double widest
        = HXStringDrawing::sizeWithAttributes("The long goodbye", MVPChapterPopUpButton::textAttributes(0))
              .width;
    struct Case {
        unsigned style;
        double naturalWidth;
        HXRect title;
    };
    for (const auto& c :
        { Case { 0, widest + 16, HXMakeRect(5, 1, 84, 13) }, Case { 1, 78, HXMakeRect(5, 0, 84, 12) } }) {
        SCOPED_TRACE(c.style);
        popUp->setStyle(c.style);
        EXPECT_DOUBLE_EQ(popUp->naturalWidth(), c.naturalWidth);
        EXPECT_EQ(popUp->titleRectForBounds(HXMakeRect(0, 0, 100, 18)), c.title);
    }
}

TEST_F(LCDReadoutsTest, LevelBarsAreAnAccessibleImage)
{
    lcd->equalizer = true;
    lcd->setEqualizerEnabled(true);
    show();
    auto& bars = *lcd->equalizerView();
    EXPECT_FALSE(HXAccessibility::isIgnored(bars));
    auto names = HXAccessibility::attributeNames(bars);
    for (const char* name : { HXAccessibilityRoleAttribute, HXAccessibilityDescriptionAttribute,
             HXAccessibilityTopLevelUIElementAttribute, HXAccessibilityEnabledAttribute })
        EXPECT_THAT(names, ::testing::Contains(std::string(name)));
    EXPECT_EQ(HXAccessibility::attributeValue(bars, HXAccessibilityRoleAttribute).stringValue(),
        HXAccessibilityImageRole);
    EXPECT_TRUE(HXAccessibility::attributeValue(bars, HXAccessibilityEnabledAttribute).boolValue());
    EXPECT_EQ(HXAccessibility::attributeValue(bars, HXAccessibilityDescriptionAttribute).stringValue(),
        localized("mvpAXEqualizerRoleDescription"));
    EXPECT_EQ(HXAccessibility::attributeValue(bars, HXAccessibilityWindowAttribute).element(), window);
}

// ---- Level bars

TEST_F(LCDReadoutsTest, LevelBarsFollowThePlayingSound)
{
    lcd->equalizer = true;
    lcd->channels = 2;
    lcd->setEqualizerEnabled(true);
    show();
    ASSERT_NE(lcd->equalizerView(), nullptr);
    EXPECT_EQ(lcd->bands, 7u) << "seven bands asked of the movie";
    EXPECT_EQ(lcd->bandChanges, 1);
    const auto& levels = *lcd->movieAudioFrequencyLevels();
    EXPECT_EQ(levels.numberOfChannels, 2u);
    EXPECT_EQ(levels.numberOfBandLevels, 7u);
    EXPECT_EQ(levels.levels.size(), 14u);

    lcd->playing.assign(14, 0.5f);
    lcd->playing[7] = 1.0f;
    movie->setRate(1);
    ASSERT_NE(lcd->equalizerTimer(), nullptr);
    EXPECT_DOUBLE_EQ(lcd->equalizerTimer()->timeInterval(), kLCDEqualizerTimerInterval);
    clock->advance(kLCDEqualizerTimerInterval);
    auto bars = lcd->equalizerView()->bars();
    ASSERT_EQ(bars.size(), 14u);
    EXPECT_EQ(bars[0].on, HXMakeRect(0, 0, 3, 8));
    EXPECT_EQ(bars[0].off, HXMakeRect(0, 8, 3, 8));
    EXPECT_EQ(bars[7].on, HXMakeRect(23, 0, 3, 16)) << "the second group starts 2 points after the first";
    EXPECT_EQ(bars[7].off.size.height, 0);
    // Stopped: every bar goes dark.
    movie->setRate(0);
    for (const auto& bar : lcd->equalizerView()->bars())
        EXPECT_EQ(bar.on.size.height, 0);
}

TEST_F(LCDReadoutsTest, LevelBarsByChannelCount)
{
    struct Case {
        const char* name;
        unsigned channels;
        size_t bars;
        std::vector<float> playing;
        std::vector<double> litHeights; // first bar of each group
    };
    const Case cases[] = {
        // A mono movie shows its one channel in both groups.
        { "mono", 1, 14, { 0.25f, 0, 0, 0, 0, 0, 0 }, { 4, 4 } },
        { "stereo", 2, 14, std::vector<float>(14, 0.5f), { 8, 8 } },
        // Channels past the second are not shown.
        { "four channels", 4, 14, std::vector<float>(28, 1.0f), { 16, 16 } },
        // No channels: the bars draw nothing and read nothing.
        { "no channels", 0, 0, {}, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie = movara::test::pictureMovie(600, 20, 300);
        lcd = std::make_shared<TestLCDView>(HXMakeRect(0, 0, 300, 24));
        lcd->equalizer = true;
        lcd->channels = c.channels;
        lcd->playing = c.playing;
        lcd->setEqualizerEnabled(true);
        show();
        movie->setRate(1);
        clock->advance(kLCDEqualizerTimerInterval);
        auto view = lcd->equalizerView();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->numberOfChannels(), c.channels);
        auto bars = view->bars();
        ASSERT_EQ(bars.size(), c.bars);
        if (!c.litHeights.empty()) {
            EXPECT_EQ(bars[0].on.size.height, c.litHeights[0]);
            EXPECT_EQ(bars[7].on.size.height, c.litHeights[1]);
        }
        view->display();
        movie->setRate(0);
        lcd->removeFromSuperview();
    }
}

TEST_F(LCDReadoutsTest, EqualizerViewBuffers)
{
    auto view = MVPEqualizerView::equalizerViewWithFrame(HXMakeRect(0, 5, 45, 15));
    EXPECT_EQ(view->numberOfChannels(), 2);
    EXPECT_EQ(view->numberOfBandLevels(), 7);
    MVAudioFrequencyLevels levels { 2, 7, std::vector<float>(14, 0.75f) };
    view->updateBandLevels(levels);
    // The same counts keep the levels; other counts start from zero.
    view->setNumberOfChannels(2, 7);
    EXPECT_EQ(view->audioFrequencyLevels().levels[13], 0.75f);
    view->setNumberOfChannels(1, 3);
    EXPECT_THAT(view->audioFrequencyLevels().levels, ElementsAre(0, 0, 0));
    // A longer buffer fills only what the view holds; a shorter one only what it has.
    view->updateBandLevels(levels);
    EXPECT_THAT(view->audioFrequencyLevels().levels, ElementsAre(0.75f, 0.75f, 0.75f));
    view->clearBandLevels();
    view->updateBandLevels(MVAudioFrequencyLevels { 1, 1, { 0.5f } });
    EXPECT_THAT(view->audioFrequencyLevels().levels, ElementsAre(0.5f, 0, 0));
    // A buffer claiming more than it holds is not read past its end.
    view->updateBandLevels(MVAudioFrequencyLevels { 4, 7, { 0.25f } });
    EXPECT_THAT(view->audioFrequencyLevels().levels, ElementsAre(0.25f, 0, 0));
}

} // namespace
