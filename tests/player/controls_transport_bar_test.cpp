// The transport bar: which buttons work and what they show for every kind and state of movie, what each
// button does to the movie, and how the bar follows the movie.
#include "controls_fixture.h"

#include "document/movie_additions.h"
#include "platform/mvkit/chapters.h"
#include "platform/winkit/accessibility.h"
#include "player/controls/button_image_set.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

using namespace controls_test;

namespace {

using Position = MVPMovieControlsView::Position;
constexpr Position kPositions[] = { MVPMovieControlsView::LeftButton, MVPMovieControlsView::LeftCenterButton,
    MVPMovieControlsView::CenterButton, MVPMovieControlsView::RightCenterButton,
    MVPMovieControlsView::RightButton };

// A movie of a kind the media layer reports: streams, live broadcasts, VR.
class KindOfMovie : public MVPControlledMovie {
public:
    using MVPControlledMovie::MVPControlledMovie;
    unsigned movieType() const override { return type; }
    bool hasVRController() const override { return vr; }
    int hotspotCount() const override { return hotspots; }
    void gotoPreviousNode() override { ++previousNodes; }
    void zoom(float speed) override { zooms.push_back(speed); }
    bool hotspotsVisible() const override { return shown; }
    void setHotspotsVisible(bool visible) override { shown = visible; }

    unsigned type = LocalPlayback;
    bool vr = false;
    bool shown = false;
    int hotspots = 0;
    int previousNodes = 0;
    std::vector<float> zooms;
};

class TransportBarTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        movie = keyFrameMovie(600, 10, 60, 3); // one second
    }

    // A bar in the window for `controlled` in `style`.
    std::shared_ptr<MVPMovieControlsView> makeBar(
        std::shared_ptr<MVPControlledMovie> controlled, unsigned style = 0)
    {
        if (bar)
            bar->removeFromSuperview();
        bar = std::make_shared<MVPMovieControlsView>(HXMakeRect(10, 10, 300, 41));
        window->contentView()->addSubview(bar);
        bar->setStyle(style);
        bar->setMovie(std::move(controlled));
        bar->update();
        return bar;
    }
    std::shared_ptr<MVPMovieControlsView> makeBar(unsigned style = 0)
    {
        return makeBar(std::make_shared<MVPControlledMovie>(movie), style);
    }

    std::array<bool, 5> enabled() const
    {
        std::array<bool, 5> e {};
        for (auto p : kPositions)
            e[p] = bar->button(p)->isEnabled();
        return e;
    }
    std::string action(Position p) const
    {
        return bar->button(p)->action() ? bar->button(p)->action().name() : "";
    }
    std::string title(Position p) const
    {
        return HXAccessibility::attributeValue(*bar->button(p), HXAccessibilityTitleAttribute).stringValue();
    }
    // Presses and lets go of a held button the way its cell does, reading the rate in between.
    float rateWhileHeld(Position p)
    {
        auto button = bar->button(p);
        button->cell()->highlight(true, button->bounds(), *button);
        float held = movie->rate();
        button->cell()->highlight(false, button->bounds(), *button);
        return held;
    }

    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVPMovieControlsView> bar;
};

} // namespace

TEST_F(TransportBarTest, NaturalSizeByStyle)
{
    EXPECT_EQ(MVPMovieControlsView::naturalSize(0), (HXSize { 218, 41 }));
    EXPECT_EQ(MVPMovieControlsView::naturalSize(1), (HXSize { 218, 41 }));
    EXPECT_EQ(MVPMovieControlsView::naturalSize(2), (HXSize { 0, 0 }));
    EXPECT_EQ(MVPMovieControlsView::naturalSize(7), (HXSize { 0, 0 }));
}

TEST_F(TransportBarTest, ButtonsWorkByTheKindOfMovie)
{
    using E = std::array<bool, 5>;
    struct Case {
        const char* name;
        unsigned style;
        unsigned type;
        bool vr;
        int hotspots;
        E expected;
    };
    const Case cases[] = {
        { "local file", 0, MVPControlledMovie::LocalPlayback, false, 0, { true, true, true, true, true } },
        { "progressive download", 0, MVPControlledMovie::FastStart, false, 0,
            { true, true, true, true, true } },
        { "live broadcast", 0, MVPControlledMovie::LiveStream, false, 0,
            { false, false, true, false, false } },
        { "stored stream", 0, MVPControlledMovie::StoredStream, false, 0,
            { true, false, true, false, true } },
        { "unknown kind", 0, MVPControlledMovie::NoMovieType, false, 0,
            { false, false, true, false, false } },
        { "full screen, local", 1, MVPControlledMovie::LocalPlayback, false, 0,
            { true, true, true, true, true } },
        { "full screen, live", 1, MVPControlledMovie::LiveStream, false, 0,
            { false, false, true, false, false } },
        { "VR with hot spots", 0, MVPControlledMovie::LocalPlayback, true, 3,
            { true, true, false, true, true } },
        { "VR without hot spots", 0, MVPControlledMovie::LocalPlayback, true, 0,
            { true, true, false, true, false } },
        { "recording style", 2, MVPControlledMovie::LocalPlayback, false, 0,
            { false, false, false, false, false } },
        { "other style", 5, MVPControlledMovie::LocalPlayback, true, 3,
            { false, false, false, false, false } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto kind = std::make_shared<KindOfMovie>(movie);
        kind->type = c.type;
        kind->vr = c.vr;
        kind->hotspots = c.hotspots;
        makeBar(kind, c.style);
        EXPECT_EQ(enabled(), c.expected);
    }
}

TEST(ControlledMovie, TheKindOfMovieFollowsWhereItCameFrom)
{
    struct Case {
        const char* url; // nullptr: made in memory
        bool hasDuration;
        unsigned type;
    };
    const Case cases[] = {
        { nullptr, false, MVPControlledMovie::LocalPlayback },
        { "file:///movies/clip.mov", true, MVPControlledMovie::LocalPlayback },
        { "http://example.com/clip.mov", true, MVPControlledMovie::FastStart },
        { "HTTPS://example.com/clip.mp4", false, MVPControlledMovie::FastStart },
        { "rtsp://example.com/show", true, MVPControlledMovie::StoredStream },
        { "rtsp://example.com/live", false, MVPControlledMovie::LiveStream },
    };
    for (const auto& c : cases) {
        std::optional<HXURL> url;
        if (c.url)
            url = HXURL::URLWithString(c.url);
        EXPECT_EQ(MVPControlledMovie::movieTypeForURL(url, c.hasDuration), c.type)
            << (c.url ? c.url : "memory");
    }
    EXPECT_EQ(MVPControlledMovie(nullptr).movieType(), MVPControlledMovie::NoMovieType);
}

TEST_F(TransportBarTest, PlainMoviesInAnyStateKeepEveryButton)
{
    // Playing or paused, at either end, without sound or without picture, opened from a file like the
    // featured movie: a local movie's buttons all work, and the middle one shows Play or Pause.
    auto soundOnly = MVMovie::movie();
    soundOnly->newTrack(MVFourCC("soun"), 44100);
    movara::test::TempDir dir;
    std::string path = (dir / "featured.mov").string();
    HXError error;
    ASSERT_TRUE(keyFrameMovie(600, 10, 60, 3)->writeToFile(path, {}, &error)) << error.localizedDescription();
    auto fromFile = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(fromFile) << error.localizedDescription();
    struct Case {
        const char* name;
        std::shared_ptr<MVMovie> movie;
        float rate;
        int64_t time;
        const char* center;
    };
    const Case cases[] = {
        { "picture only, paused at the start", movie, 0, 0, "Play" },
        { "picture only, playing", movie, 1, 300, "Pause" },
        { "picture only, paused at the end", movie, 0, 600, "Play" },
        { "playing backward at the start", movie, -1, 0, "Pause" },
        { "sound only", soundOnly, 0, 0, "Play" },
        { "sound only, playing", soundOnly, 1, 0, "Pause" },
        { "opened from a file, playing", fromFile, 1, 120, "Pause" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.movie->setCurrentTime(MVMakeTime(c.time, 600));
        c.movie->setRate(c.rate);
        makeBar(std::make_shared<MVPControlledMovie>(c.movie));
        EXPECT_EQ(enabled(), (std::array<bool, 5> { true, true, true, true, true }));
        EXPECT_EQ(bar->imageNameForButton(bar->button(MVPMovieControlsView::CenterButton).get()), c.center);
    }
    // Without a movie only the play button is there to press.
    makeBar(std::shared_ptr<MVPControlledMovie>());
    EXPECT_EQ(enabled(), (std::array<bool, 5> { false, false, true, false, false }));
    EXPECT_EQ(bar->button(MVPMovieControlsView::CenterButton)->buttonImageSet(),
        MVPButtonImageSet::imageSetWithBaseImageName("Play"));
}

TEST_F(TransportBarTest, PicturesFollowStyleKindAndPlaying)
{
    using N = std::array<const char*, 5>;
    struct Case {
        unsigned style;
        bool vr;
        bool playing;
        N names;
    };
    const Case cases[] = {
        { 0, false, false, { "Beginning", "Backward", "Play", "Forward", "End" } },
        { 0, false, true, { "Beginning", "Backward", "Pause", "Forward", "End" } },
        { 0, true, false, { "VRPrevious", "VRZoomOut", "Play", "VRZoomIn", "VRHotspots" } },
        { 0, true, true, { "VRPrevious", "VRZoomOut", "Play", "VRZoomIn", "VRHotspots" } },
        { 1, false, false, { "FSBeginning", "FSBackward", "FSPlay", "FSForward", "FSEnd" } },
        { 1, false, true, { "FSBeginning", "FSBackward", "FSPause", "FSForward", "FSEnd" } },
        { 1, true, true, { "FSVRPrevious", "FSVRZoomOut", "FSPlay", "FSVRZoomIn", "FSVRHotspots" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.style) + (c.vr ? " VR" : "") + (c.playing ? " playing" : ""));
        movie->setRate(c.playing ? 1 : 0);
        auto kind = std::make_shared<KindOfMovie>(movie);
        kind->vr = c.vr;
        makeBar(kind, c.style);
        for (auto p : kPositions) {
            EXPECT_EQ(bar->imageNameForButton(bar->button(p).get()), c.names[p]);
            auto set = bar->button(p)->buttonImageSet();
            EXPECT_EQ(set, MVPButtonImageSet::imageSetWithBaseImageName(c.names[p]));
            ASSERT_TRUE(set);
            EXPECT_FALSE(set->isEmpty()) << c.names[p] << " is drawn by the build";
        }
    }
    makeBar(2);
    EXPECT_EQ(bar->imageNameForButton(bar->button(MVPMovieControlsView::CenterButton).get()), "");
    EXPECT_EQ(bar->imageNameForButton(nullptr), "");
}

TEST_F(TransportBarTest, ButtonsTouchTopAlignedAndCentred)
{
    makeBar();
    double total = 0;
    for (auto p : kPositions)
        total += bar->button(p)->frame().size.width;
    double x = std::round((300 - total) / 2);
    for (auto p : kPositions) {
        HXRect f = bar->button(p)->frame();
        EXPECT_EQ(f.origin.x, x) << p;
        EXPECT_EQ(HXMaxY(f), 41) << p;
        EXPECT_GT(f.size.width, 0) << p;
        x += f.size.width;
    }
}

TEST_F(TransportBarTest, FollowsTheRateIncludingFastKeyFramePlay)
{
    makeBar();
    auto center = MVPMovieControlsView::CenterButton;
    EXPECT_EQ(action(center), "play:");
    EXPECT_EQ(title(center), localized("mvpAXPlayButtonTitle"));

    movie->setRate(1);
    EXPECT_TRUE(bar->isPlaying());
    EXPECT_EQ(action(center), "pause:");
    EXPECT_EQ(title(center), localized("mvpAXPauseButtonTitle"));
    EXPECT_EQ(bar->button(center)->buttonImageSet(), MVPButtonImageSet::imageSetWithBaseImageName("Pause"));

    movie->setRate(0);
    EXPECT_EQ(action(center), "play:");

    // Stepping from key frame to key frame: the movie stands at rate 0 yet shows as playing.
    MVPMovieAdditions::setForcedToAppearToBePlaying(movie, true);
    movie->setRate(-1);
    movie->setRate(0);
    EXPECT_EQ(action(center), "pause:");
    // The stepping ends with a last seek and no change of rate: the bar notices once the step is over.
    movie->setCurrentTime(MVMakeTime(600, 600));
    MVPMovieAdditions::setForcedToAppearToBePlaying(movie, false);
    EXPECT_EQ(action(center), "pause:");
    clock->advance(0.01);
    EXPECT_EQ(action(center), "play:");
    EXPECT_EQ(title(center), localized("mvpAXPlayButtonTitle"));
}

TEST_F(TransportBarTest, HoldingRewindOrFastForwardGivesBackTheExactRate)
{
    makeBar();
    for (float original : { 0.0f, 1.0f, -1.5f, 0.5f }) {
        movie->setRate(original);
        EXPECT_EQ(rateWhileHeld(MVPMovieControlsView::RightCenterButton), 2.0f) << original;
        EXPECT_EQ(movie->rate(), original);
        EXPECT_EQ(rateWhileHeld(MVPMovieControlsView::LeftCenterButton), -2.0f) << original;
        EXPECT_EQ(movie->rate(), original);
    }
    // A whole click through the window does the same.
    movie->setRate(0.5f);
    click(*bar->button(MVPMovieControlsView::RightCenterButton));
    EXPECT_EQ(movie->rate(), 0.5f);
}

TEST_F(TransportBarTest, ControlClickPlaysAllFramesUntilPlayStops)
{
    makeBar();
    auto center = bar->button(MVPMovieControlsView::CenterButton);
    click(*center, HXControlKeyMask);
    EXPECT_EQ(movie->rate(), 1.0f);
    EXPECT_TRUE(movie->playsAllFrames());
    click(*center); // pause
    EXPECT_EQ(movie->rate(), 0.0f);
    EXPECT_FALSE(movie->playsAllFrames()) << "switched back off when play stopped";

    // A movie that already played every frame is left as it was.
    movie->setPlaysAllFrames(true);
    click(*center, HXControlKeyMask);
    click(*center);
    EXPECT_TRUE(movie->playsAllFrames());
    // A plain click does not switch it on.
    movie->setPlaysAllFrames(false);
    click(*center);
    EXPECT_FALSE(movie->playsAllFrames());
}

TEST_F(TransportBarTest, TheEndButtonKeepsALoopingMoviePlaying)
{
    struct Case {
        MVMovieLoopingMode looping;
        float rate;
        float after;
    };
    const Case cases[] = {
        { MVMovieLoopingMode::None, 1, 0 },
        { MVMovieLoopingMode::Loop, 1, 1 },
        { MVMovieLoopingMode::BackAndForth, 1, 1 },
        { MVMovieLoopingMode::Loop, 0, 0 },
    };
    makeBar();
    for (const auto& c : cases) {
        movie->setLoopingMode(c.looping);
        movie->setCurrentTime(MVMakeTime(120, 600));
        movie->setRate(c.rate);
        click(*bar->button(MVPMovieControlsView::RightButton));
        EXPECT_EQ(movie->rate(), c.after) << int(c.looping) << " " << c.rate;
        EXPECT_TRUE(MVTimeEqual(movie->currentTime(), movie->duration()));
    }
    click(*bar->button(MVPMovieControlsView::LeftButton));
    EXPECT_TRUE(MVTimeEqual(movie->currentTime(), MVZeroTime));
}

TEST_F(TransportBarTest, InChapterModeTheOuterButtonsGoByChapter)
{
    HXError error;
    ASSERT_TRUE(MVMovieSetChapters(*movie,
        { { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(180, 600) }, { "Three", MVMakeTime(360, 600) } },
        &error));
    auto chapters = std::make_shared<MVPControlledMovie>(movie);

    // Chapter mode 0 set by the owner: the plain beginning and end.
    chapters->setChapterMode(0);
    makeBar(chapters);
    EXPECT_EQ(action(MVPMovieControlsView::LeftButton), "gotoBeginning:");
    EXPECT_EQ(action(MVPMovieControlsView::RightButton), "gotoEnd:");

    // Left alone, the mode follows the movie's chapter track.
    makeBar(std::make_shared<MVPControlledMovie>(movie));
    EXPECT_TRUE(bar->isChapterModeClip());
    EXPECT_EQ(action(MVPMovieControlsView::LeftButton), "gotoBeginningOfChapter:");
    EXPECT_EQ(action(MVPMovieControlsView::RightButton), "gotoNextChapter:");

    chapters->setChapterMode(1);
    makeBar(chapters);
    EXPECT_TRUE(bar->isChapterModeClip());
    EXPECT_EQ(action(MVPMovieControlsView::LeftButton), "gotoBeginningOfChapter:");
    EXPECT_EQ(action(MVPMovieControlsView::RightButton), "gotoNextChapter:");

    struct Case {
        const char* name;
        int64_t from;
        Position button;
        uint32_t modifiers;
        int64_t to;
    };
    const Case cases[] = {
        { "start of the chapter", 250, MVPMovieControlsView::LeftButton, 0, 180 },
        { "option: the chapter before", 400, MVPMovieControlsView::LeftButton, HXAlternateKeyMask, 180 },
        { "option in the first chapter: the beginning", 100, MVPMovieControlsView::LeftButton,
            HXAlternateKeyMask, 0 },
        { "option in the second chapter", 200, MVPMovieControlsView::LeftButton, HXAlternateKeyMask, 0 },
        { "next chapter", 100, MVPMovieControlsView::RightButton, 0, 180 },
        { "after the last chapter: the end", 400, MVPMovieControlsView::RightButton, 0, 600 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie->setCurrentTime(MVMakeTime(c.from, 600));
        click(*bar->button(c.button), c.modifiers);
        EXPECT_EQ(MVTimeInScale(movie->currentTime(), 600).timeValue, c.to);
    }

    // Without chapters, chapter mode changes nothing, and the movie is not in it.
    auto plain = std::make_shared<MVPControlledMovie>(keyFrameMovie(600, 10, 60, 3));
    EXPECT_EQ(plain->chapterMode(), 0);
    plain->setChapterMode(1);
    makeBar(plain);
    EXPECT_EQ(action(MVPMovieControlsView::LeftButton), "gotoBeginning:");
}

TEST_F(TransportBarTest, VRButtonsNavigateAndZoomWhileHeld)
{
    auto vr = std::make_shared<KindOfMovie>(movie);
    vr->vr = true;
    vr->hotspots = 2;
    makeBar(vr);
    EXPECT_TRUE(bar->isVRMovie());
    EXPECT_EQ(action(MVPMovieControlsView::CenterButton), "");
    click(*bar->button(MVPMovieControlsView::LeftButton));
    EXPECT_EQ(vr->previousNodes, 1);
    rateWhileHeld(MVPMovieControlsView::LeftCenterButton);
    rateWhileHeld(MVPMovieControlsView::RightCenterButton);
    EXPECT_EQ(vr->zooms, (std::vector<float> { 1, 0, -1, 0 }));
    auto hotspots = bar->button(MVPMovieControlsView::RightButton);
    click(*hotspots);
    EXPECT_TRUE(vr->hotspotsVisible());
    EXPECT_EQ(hotspots->state(), HXOnState);
    click(*hotspots);
    EXPECT_FALSE(vr->hotspotsVisible());
    bar->updateButtonState();
    EXPECT_EQ(hotspots->state(), HXOffState);
}

TEST_F(TransportBarTest, AccessibilityTitlesNameEachButton)
{
    makeBar();
    const char* linear[]
        = { "mvpGotoBeginning", "mvpFastRewind", "mvpAXPlayButtonTitle", "mvpFastForward", "mvpGotoEnd" };
    for (auto p : kPositions) {
        EXPECT_EQ(title(p), localized(linear[p]));
        EXPECT_EQ(HXAccessibility::attributeValue(*bar->button(p), HXAccessibilityRoleDescriptionAttribute)
                      .stringValue(),
            localized("mvpAXButtonRoleDescription"));
    }
    auto vr = std::make_shared<KindOfMovie>(movie);
    vr->vr = true;
    makeBar(vr);
    const char* names[] = { "mvpBack", "mvpZoomOut", "mvpAXPlayButtonTitle", "mvpZoomIn", "mvpShowHotspots" };
    for (auto p : kPositions)
        EXPECT_EQ(title(p), localized(names[p]));
    // While playing, the middle button is titled for pausing.
    movie->setRate(1);
    EXPECT_EQ(title(MVPMovieControlsView::CenterButton), localized("mvpAXPauseButtonTitle"));
}

TEST_F(TransportBarTest, KeyViewsAndTheKeyLoopNotice)
{
    auto fresh = std::make_shared<MVPMovieControlsView>(HXMakeRect(0, 0, 218, 41));
    window->contentView()->addSubview(fresh);
    auto start = std::make_shared<HXView>();
    EXPECT_EQ(fresh->appendKeyViewsTo(start), start) << "no buttons yet";

    auto notices = count("MVAKeyLoopChanged", window.get());
    fresh->setMovie(std::make_shared<MVPControlledMovie>(movie));
    fresh->update();
    fresh->update();
    EXPECT_EQ(*notices, 1) << "only making the buttons changes the loop";

    auto last = fresh->appendKeyViewsTo(start);
    std::shared_ptr<HXView> v = start;
    for (auto p : kPositions) {
        v = v->nextKeyView();
        EXPECT_EQ(v, fresh->button(p));
    }
    EXPECT_EQ(last, fresh->button(MVPMovieControlsView::RightButton));
}

TEST_F(TransportBarTest, LettingGoOfTheMovieStopsFollowingIt)
{
    makeBar();
    bar->setMovie(nullptr);
    EXPECT_FALSE(bar->movie());
    movie->setRate(1);
    EXPECT_FALSE(bar->isPlaying());
    // A bar that goes away leaves no observer behind to be called.
    bar->removeFromSuperview();
    bar.reset();
    movie->setRate(0);
    movie->movieChanged();
}

TEST(ControlsStrings, EveryTextTheControlsShowIsInTheStringsTable)
{
    auto table = HXPropertyList::readFromFile(MOVARA_SOURCE_DIR "/resources/Localizable.strings.plist");
    ASSERT_TRUE(table && table->isDictionary());
    const auto& strings = table->dictionaryValue();
    for (const char* key :
        { "mvpGotoBeginning", "mvpFastRewind", "mvpAXPlayButtonTitle", "mvpAXPauseButtonTitle",
            "mvpFastForward", "mvpGotoEnd", "mvpBack", "mvpZoomOut", "mvpZoomIn", "mvpShowHotspots",
            "mvpAXButtonRoleDescription", "mvpMute", "mvpVolume", "mvpPress", "mvpAXURLPopupButtonValue" }) {
        auto it = strings.find(key);
        ASSERT_NE(it, strings.end()) << key;
        EXPECT_FALSE(it->second.stringValue().empty()) << key;
    }
}
