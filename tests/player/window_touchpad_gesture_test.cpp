// Touchpad gestures from the X server's input extension (its event structures, made up here) reaching the
// movie of a real player window: a sideways two-finger scroll scrubs through the jog gesture without the
// wheel stepping as well, an upright one steps as the wheel does, and a three-finger swipe goes to the next
// chapter and back.
#include "window_test_fixture.h"

#include "platform/mvkit/time.h"
#include "platform/winkit/x11_gestures.h"

#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/XInput2.h>

namespace {

using movara::test::PlayerWindowTest;
using movara::test::windowTestMovie;

constexpr int64_t kFrame = 20; // units of 600 per frame at 30 frames per second
constexpr int kTouchpad = 11;

class TouchpadGestureTest : public PlayerWindowTest {
protected:
    void SetUp() override
    {
        PlayerWindowTest::SetUp();
        doc = openDocument(windowTestMovie(160, 120, 60));
        auto controller = controllerOf(doc);
        window = controller->window();
        view = controller->movieView();
        movie = doc->movie();
        HXPoint inView = view->convertPointToView({ HXMidX(view->bounds()), HXMidY(view->bounds()) }, nullptr);
        translator = std::make_unique<HXX11GestureTranslator>(
            [this, inView] { return std::make_optional(HXX11GestureTranslator::Target { window->windowNumber(), inView }); },
            [](const HXEvent& e) { HXApp().postEvent(e, false); });
        translator->setDevices({ { kTouchpad, true, { { 2, false, 15 }, { 3, true, 15 } } } });
    }
    void TearDown() override
    {
        translator.reset();
        PlayerWindowTest::TearDown();
    }

    int64_t frame() const { return MVTimeInScale(view->playback()->currentTime(), 600).timeValue / kFrame; }
    void gotoFrame(int64_t n) { view->playback()->setCurrentTime(MVMakeTime(n * kFrame, 600)); }
    void scroll(int valuator, double value)
    {
        unsigned char mask[1] = {};
        XISetMask(mask, valuator);
        XIRawEvent e {};
        e.deviceid = e.sourceid = kTouchpad;
        e.valuators.mask_len = 1;
        e.valuators.mask = mask;
        e.raw_values = &value;
        translator->handleXIEvent(XI_RawMotion, &e);
    }
    void swipe(double dx)
    {
        XIGestureSwipeEvent e {};
        translator->handleXIEvent(XI_GestureSwipeBegin, &e);
        e.delta_unaccel_x = dx;
        translator->handleXIEvent(XI_GestureSwipeEnd, &e);
    }

    std::shared_ptr<MVPMovieDocument> doc;
    std::shared_ptr<HXWindow> window;
    std::shared_ptr<MVPMovieView> view;
    std::shared_ptr<MVMovie> movie;
    std::unique_ptr<HXX11GestureTranslator> translator;
};

} // namespace

TEST_F(TouchpadGestureTest, ASidewaysTwoFingerScrollScrubsOnlyThroughTheJog)
{
    gotoFrame(10);
    // Three clicks' worth to the right: 30 points of travel, six frames on; the wheel's three steps are
    // left to the gesture.
    for (int i = 0; i < 3; ++i)
        scroll(3, 15);
    translator->endScrollGesture(); // the fingers rest
    HXApp().processPendingEvents();
    EXPECT_EQ(frame(), 16);
    EXPECT_FALSE(window->nextEventMatchingMask(HXAnyEventMask, 0, HXDefaultRunLoopMode, false));

    // To the left, half as far.
    for (int i = 0; i < 3; ++i)
        scroll(3, -7.5);
    translator->endScrollGesture();
    HXApp().processPendingEvents();
    EXPECT_EQ(frame(), 13);
}

TEST_F(TouchpadGestureTest, AnUprightTwoFingerScrollStepsLikeTheWheel)
{
    gotoFrame(10);
    scroll(2, 30); // two clicks down: two frames back
    translator->endScrollGesture();
    HXApp().processPendingEvents();
    EXPECT_EQ(frame(), 8);
}

TEST_F(TouchpadGestureTest, AThreeFingerSwipeGoesOnAndBack)
{
    gotoFrame(10);
    swipe(-80); // to the left: on (this movie has no chapters: to its end)
    HXApp().processPendingEvents();
    EXPECT_EQ(MVTimeCompare(view->playback()->currentTime(), movie->duration()), 0);
    swipe(80);
    HXApp().processPendingEvents();
    EXPECT_EQ(frame(), 10) << "back to where the swipe left";
}
