// The player's movie view in a real player window: key events go through the window to the view and
// change the movie's rate, time and selection; the wheel steps; modified keys are left to others.
#include "window_test_fixture.h"

#include "core/notification_names.h"

#include "platform/mvkit/time.h"

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;

constexpr int64_t kFrame = 20; // units of 600 per frame at 30 frames per second

class MovieViewKeys : public PlayerWindowTest {
protected:
    void SetUp() override
    {
        PlayerWindowTest::SetUp();
        doc = openDocument(windowTestMovie(160, 120, 30));
        controller = controllerOf(doc);
        window = controller->window();
        view = controller->movieView();
        movie = doc->movie();
        window->makeFirstResponder(view);
    }

    void key(const std::string& characters, uint32_t modifiers = 0, HXEventType type = HXKeyDown)
    {
        HXHeadlessWindowServer::postKey(window, characters, modifiers, HXKeyCodeUnknown, type);
        HXApp().processPendingEvents();
    }
    // The application posts every key event for the movie view to see; the key-up of K ends stepping.
    void keyUpNotification(const std::string& characters)
    {
        auto event = HXEvent::keyEvent(HXKeyUp, {}, 0, 0, window->windowNumber(), characters, characters, false,
            HXKeyCodeUnknown);
        HXNotificationCenter::defaultCenter().postNotificationName(MVPKeyUpNotification, &event);
    }
    int64_t frame() const { return MVTimeInScale(view->playback()->currentTime(), 600).timeValue / kFrame; }
    void gotoFrame(int64_t n) { view->playback()->setCurrentTime(MVMakeTime(n * kFrame, 600)); }
    // Stops without moving (the manual clock never advances here).
    void stop() { movie->setRate(0); }

    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<MVPMovieWindowController> controller;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<MVPMovieView> view;
    std::shared_ptr<MVMovie> movie;
};

TEST_F(MovieViewKeys, LAndJChangeTheRateWithinThreeEitherWay)
{
    std::vector<float> rates;
    for (int i = 0; i < 5; ++i) {
        key("l");
        rates.push_back(movie->rate());
    }
    EXPECT_EQ(rates, (std::vector<float> { 1, 2, 3, 3, 3 }));
    rates.clear();
    for (int i = 0; i < 7; ++i) {
        key("j");
        rates.push_back(movie->rate());
    }
    EXPECT_EQ(rates, (std::vector<float> { 2, 1, 0, -1, -2, -3, -3 }));
    stop();
}

TEST_F(MovieViewKeys, WhileKIsHeldJAndLStepOneFrame)
{
    gotoFrame(10);
    key("l");
    key("k");
    EXPECT_EQ(movie->rate(), 0);
    EXPECT_FALSE(view->holdKeyReleased());
    key("l");
    EXPECT_EQ(frame(), 11);
    key("l");
    EXPECT_EQ(frame(), 12);
    key("j");
    EXPECT_EQ(frame(), 11);
    EXPECT_EQ(movie->rate(), 0);

    keyUpNotification("k");
    EXPECT_TRUE(view->holdKeyReleased());
    key("l");
    EXPECT_EQ(movie->rate(), 1);
    stop();
}

TEST_F(MovieViewKeys, SpaceAndTheEndKeysOfTheMediaLayerStillWork)
{
    key(" ");
    EXPECT_EQ(movie->rate(), 1);
    key(" ");
    EXPECT_EQ(movie->rate(), 0);

    gotoFrame(10);
    key(HXStringFromCharacter(HXRightArrowFunctionKey));
    EXPECT_EQ(frame(), 11);
    key(HXStringFromCharacter(HXLeftArrowFunctionKey));
    EXPECT_EQ(frame(), 10);
    key(HXStringFromCharacter(HXEndFunctionKey));
    EXPECT_EQ(MVTimeCompare(view->playback()->currentTime(), movie->duration()), 0);
    key(HXStringFromCharacter(HXHomeFunctionKey));
    EXPECT_EQ(frame(), 0);
}

TEST_F(MovieViewKeys, ModifiedKeysAreLeftToOthers)
{
    const struct {
        const char* characters;
        uint32_t modifiers;
    } cases[] = {
        { "L", HXShiftKeyMask },
        { "j", HXCommandKeyMask },
        { "l", HXAlphaShiftKeyMask },
        { "k", HXControlKeyMask },
        { "i", HXAlternateKeyMask },
    };
    for (const auto& c : cases) {
        auto event = HXEvent::keyEvent(HXKeyDown, {}, c.modifiers, 0, window->windowNumber(), c.characters,
            c.characters, false, HXKeyCodeUnknown);
        EXPECT_FALSE(view->handleKeyDown(event)) << c.characters << " " << c.modifiers;
    }
    EXPECT_EQ(movie->rate(), 0);
    EXPECT_TRUE(view->holdKeyReleased());
    auto unknown = HXEvent::keyEvent(HXKeyDown, {}, 0, 0, window->windowNumber(), "x", "x", false, HXKeyCodeUnknown);
    EXPECT_FALSE(view->handleKeyDown(unknown));
}

TEST_F(MovieViewKeys, IAndOSetTheSelectionAtTheCurrentTime)
{
    const struct {
        int64_t startFrame, startKeyFrame; // I at startKeyFrame with a selection [startFrame, 20)
        const char* key;
        int64_t expectStart, expectDuration;
    } cases[] = {
        { 5, 8, "i", 8, 12 },  // the start moves, the end stays
        { 5, 25, "i", 25, 0 }, // after the end: empty at the current time
        { 5, 12, "o", 5, 7 },  // the end moves, the start stays
        { 5, 2, "o", 2, 0 },   // before the start: empty at the current time
    };
    for (const auto& c : cases) {
        movie->setSelection(MVMakeTimeRange(MVMakeTime(c.startFrame * kFrame, 600), MVMakeTime((20 - c.startFrame) * kFrame, 600)));
        gotoFrame(c.startKeyFrame);
        key(c.key);
        auto s = movie->selection();
        EXPECT_EQ(MVTimeInScale(s.time, 600).timeValue, c.expectStart * kFrame) << c.key << c.startKeyFrame;
        EXPECT_EQ(MVTimeInScale(s.duration, 600).timeValue, c.expectDuration * kFrame) << c.key << c.startKeyFrame;
    }
}

TEST_F(MovieViewKeys, DeleteRemovesOnlyANonEmptySelection)
{
    int64_t duration = movie->durationValue();
    movie->setSelection(MVMakeTimeRange(MVMakeTime(100, 600), MVMakeTime(0, 600)));
    key(std::string(1, HXDeleteCharacter));
    EXPECT_EQ(movie->durationValue(), duration);
    movie->setSelection(MVMakeTimeRange(MVMakeTime(100, 600), MVMakeTime(200, 600)));
    key(std::string(1, HXDeleteCharacter));
    EXPECT_EQ(movie->durationValue(), duration - 200);
}

TEST_F(MovieViewKeys, TheWheelStepsByTheLargerAmount)
{
    const struct {
        double dx, dy;
        int64_t frames;
    } cases[] = {
        { 0.3, 0, -1 },  // the horizontal delta is negated; a tiny scroll still steps
        { 0, -2.6, -3 },
        { 0, 2.4, 2 },
        { -4, 1, 4 },
        { 0, 0, 0 },
    };
    for (const auto& c : cases) {
        gotoFrame(10);
        view->scrollWheel(HXEvent::scrollEvent({}, 0, 0, window->windowNumber(), c.dx, c.dy));
        EXPECT_EQ(frame(), 10 + c.frames) << c.dx << " " << c.dy;
    }
}

// ---- The jog gesture: a two-finger drag scrubs a paused movie, shuttles a playing one ----

class JogGesture : public MovieViewKeys {
protected:
    HXEvent begin(int16_t subtype = MVPJogGestureSubtype)
    {
        return HXEvent::gestureEvent(HXEventTypeBeginGesture, {}, 0, window->windowNumber(), subtype);
    }
    void queueStep(double dx, double dy = 0)
    {
        HXApp().postEvent(
            HXEvent::gestureEvent(HXEventTypeGesture, {}, 0, window->windowNumber(), MVPJogGestureSubtype, dx, dy),
            false);
    }
    void queueEnd()
    {
        HXApp().postEvent(HXEvent::gestureEvent(HXEventTypeEndGesture, {}, 0, window->windowNumber(), 0), false);
    }
};

TEST_F(JogGesture, APausedMovieIsScrubbedByTheSummedTravel)
{
    const struct {
        std::vector<std::pair<double, double>> steps;
        int64_t frames;
    } cases[] = {
        { { { -8, 0 }, { -4, 0 } }, 2 },  // travel 12 (the translation is negated): 2 frames on
        { { { 10, 0 } }, -2 },            // back
        { { { -1, 0 } }, 1 },             // a small travel still steps one frame
        { { { -2, 30 } }, 0 },            // more vertical than horizontal: no travel
    };
    for (const auto& c : cases) {
        gotoFrame(10);
        for (auto [dx, dy] : c.steps)
            queueStep(dx, dy);
        queueEnd();
        EXPECT_TRUE(view->handleBeginGestureWithEvent(begin()));
        EXPECT_EQ(frame(), 10 + c.frames) << c.steps.front().first;
        EXPECT_FALSE(window->nextEventMatchingMask(HXAnyEventMask, 0, HXDefaultRunLoopMode, false))
            << "what the gesture left is drained";
    }
}

TEST_F(JogGesture, APlayingMovieShuttlesAndGetsItsRateBack)
{
    movie->setRate(1);
    for (int i = 0; i < 6; ++i)
        queueStep(-100); // each step adds 1 to the travel: 2×, 4× ... up to 32×
    queueEnd();
    EXPECT_TRUE(view->handleBeginGestureWithEvent(begin()));
    EXPECT_EQ(movie->rate(), 1) << "the rate before the gesture comes back";
    stop();
}

TEST_F(JogGesture, OtherGesturesAndALostEndAreHandled)
{
    EXPECT_FALSE(view->handleBeginGestureWithEvent(begin(3))) << "not a two-finger drag";
    // No end ever comes: the gesture gives up after its time-out.
    gotoFrame(10);
    queueStep(-5);
    EXPECT_TRUE(view->handleBeginGestureWithEvent(begin()));
    EXPECT_EQ(frame(), 11);
}

TEST_F(JogGesture, ASwipeGoesToTheEndsWithoutChapters)
{
    gotoFrame(10);
    view->swipeWithEvent(HXEvent::swipeEvent({}, 0, window->windowNumber(), -1, 0));
    EXPECT_EQ(MVTimeCompare(view->playback()->currentTime(), movie->duration()), 0) << "left: on";
    view->swipeWithEvent(HXEvent::swipeEvent({}, 0, window->windowNumber(), 1, 0));
    EXPECT_EQ(frame(), 10) << "right: back to where the jump left";
}

} // namespace

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;

class MovieViewAccessibility : public PlayerWindowTest { };

TEST_F(MovieViewAccessibility, AnImageWhereTheMovieIsDrawn)
{
    auto doc = openDocument(windowTestMovie(160, 120));
    auto view = controllerOf(doc)->movieView();
    auto window = controllerOf(doc)->window();
    EXPECT_FALSE(HXAccessibility::isIgnored(*view));
    EXPECT_EQ(HXAccessibility::attributeValue(*view, HXAccessibilityRoleAttribute).stringValue(), HXAccessibilityImageRole);
    EXPECT_TRUE(HXAccessibility::attributeValue(*view, HXAccessibilityEnabledAttribute).boolValue());
    EXPECT_EQ(HXAccessibility::attributeValue(*view, HXAccessibilitySizeAttribute).sizeValue(), view->movieBounds().size);
    EXPECT_EQ(HXAccessibility::attributeValue(*view, HXAccessibilityPositionAttribute).pointValue(),
        view->convertRectToScreen(view->movieBounds()).origin);
    EXPECT_EQ(HXAccessibility::attributeValue(*view, HXAccessibilityWindowAttribute).element(), window);
    EXPECT_TRUE(HXAccessibility::attributeValue(*view, HXAccessibilityChildrenAttribute).elements().empty());
    window->makeFirstResponder(view);
    EXPECT_TRUE(HXAccessibility::attributeValue(*view, HXAccessibilityFocusedAttribute).boolValue());
    window->makeFirstResponder(window);
    EXPECT_FALSE(HXAccessibility::attributeValue(*view, HXAccessibilityFocusedAttribute).boolValue());

    view->setFrameSize(HXMakeSize(0, 80));
    EXPECT_TRUE(HXAccessibility::isIgnored(*view)) << "no movie drawn";
}

} // namespace
