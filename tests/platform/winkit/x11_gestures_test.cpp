// Touchpad gestures and fine scrolling as the input extension delivers them (its event structures, made
// up here) and the events of the application they become: pinches, swipes, a sideways two-finger scroll as
// the drag gesture, wheel steps once per click whether the server made them up or not.
#include "winkit_fixture.h"

#include "platform/winkit/x11_gestures.h"

#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/XInput2.h>

#include <cstring>

namespace {

constexpr int kTouchpad = 11, kMouse = 12, kOther = 13;

struct Posted {
    HXEventType type;
    int16_t subtype;
    double dx, dy, magnification;
    bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Posted& p)
{
    return out << "{" << int(p.type) << " " << p.subtype << " " << p.dx << " " << p.dy << " " << p.magnification << "}";
}

Posted begin(int16_t subtype) { return { HXEventTypeBeginGesture, subtype, 0, 0, 0 }; }
Posted end(int16_t subtype) { return { HXEventTypeEndGesture, subtype, 0, 0, 0 }; }
Posted drag(double dx, double dy) { return { HXEventTypeGesture, HXGestureSubtypeTwoFingerDrag, dx, dy, 0 }; }
Posted wheel(double dx, double dy) { return { HXScrollWheel, 0, dx, dy, 0 }; }
Posted magnify(double m) { return { HXEventTypeMagnify, 0, 0, 0, m }; }
Posted swipe(double dx, double dy) { return { HXEventTypeSwipe, 0, dx, dy, 0 }; }

class X11GestureTest : public WinkitTest {
protected:
    void SetUp() override
    {
        WinkitTest::SetUp();
        translator = std::make_unique<HXX11GestureTranslator>(
            [this]() -> std::optional<HXX11GestureTranslator::Target> {
                if (!pointerOverWindow)
                    return std::nullopt;
                return HXX11GestureTranslator::Target { 7, { 30, 40 } };
            },
            [this](const HXEvent& e) {
                EXPECT_EQ(e.windowNumber(), 7);
                EXPECT_EQ(e.locationInWindow(), (HXPoint { 30, 40 }));
                posted.push_back({ e.type(), e.type() == HXScrollWheel ? int16_t(0) : e.subtype(), e.deltaX(),
                    e.deltaY(), e.magnification() });
            });
        // A touchpad and a mouse whose wheel has fine steps (valuator 2 down, 3 right, 15 a click), and a
        // device without scroll axes.
        translator->setDevices({ { kTouchpad, true, { { 2, false, 15 }, { 3, true, 15 } } },
            { kMouse, false, { { 2, false, 15 }, { 3, true, 15 } } }, { kOther, false, {} } });
    }
    void TearDown() override
    {
        translator.reset();
        WinkitTest::TearDown();
    }

    void pinch(int type, double scale, bool cancelled = false)
    {
        XIGesturePinchEvent e {};
        e.evtype = type;
        e.scale = scale;
        e.flags = cancelled ? XIGesturePinchEventCancelled : 0;
        translator->handleXIEvent(type, &e);
    }
    void swipeEvent(int type, double dx, double dy, bool cancelled = false)
    {
        XIGestureSwipeEvent e {};
        e.evtype = type;
        e.delta_unaccel_x = dx;
        e.delta_unaccel_y = dy;
        e.flags = cancelled ? XIGestureSwipeEventCancelled : 0;
        translator->handleXIEvent(type, &e);
    }
    // A raw motion of `device` with valuator values (valuator number → value).
    void raw(int device, std::vector<std::pair<int, double>> values, bool emulated = false, int master = 0)
    {
        unsigned char mask[4] = {};
        std::vector<double> ordered(8, 0);
        std::vector<double> data;
        for (auto [number, value] : values) {
            XISetMask(mask, number);
            ordered[size_t(number)] = value;
        }
        for (int bit = 0; bit < 32; ++bit)
            if (XIMaskIsSet(mask, bit))
                data.push_back(ordered[size_t(bit)]);
        XIRawEvent e {};
        e.evtype = XI_RawMotion;
        e.deviceid = master ? master : device;
        e.sourceid = device;
        e.flags = emulated ? XIPointerEmulated : 0;
        e.valuators.mask_len = sizeof mask;
        e.valuators.mask = mask;
        e.raw_values = data.data();
        translator->handleXIEvent(XI_RawMotion, &e);
    }
    // `master`: the copy the server sends again for the master device the source device is attached to.
    void button(int device, int number, bool emulated = false, int master = 0)
    {
        XIRawEvent e {};
        e.evtype = XI_RawButtonPress;
        e.deviceid = master ? master : device;
        e.sourceid = device;
        e.detail = number;
        e.flags = emulated ? XIPointerEmulated : 0;
        translator->handleXIEvent(XI_RawButtonPress, &e);
    }
    void wait(double seconds)
    {
        clock->advance(seconds);
        HXRunLoop::main().runUntilDate(HXRunLoop::main().now());
    }

    std::unique_ptr<HXX11GestureTranslator> translator;
    std::vector<Posted> posted;
    bool pointerOverWindow = true;
};

} // namespace

TEST_F(X11GestureTest, APinchBecomesAMagnificationBetweenBeginAndEnd)
{
    pinch(XI_GesturePinchBegin, 1.0);
    pinch(XI_GesturePinchUpdate, 1.25);
    pinch(XI_GesturePinchUpdate, 1.25);
    pinch(XI_GesturePinchUpdate, 1.0);
    pinch(XI_GesturePinchEnd, 0.75);
    EXPECT_EQ(posted, (std::vector<Posted> { begin(HXGestureSubtypeMagnify), magnify(0.25), magnify(-0.25),
                          magnify(-0.25), end(HXGestureSubtypeMagnify) }));

    posted.clear();
    pinch(XI_GesturePinchBegin, 1.0);
    pinch(XI_GesturePinchEnd, 3.0, true);
    EXPECT_EQ(posted, (std::vector<Posted> { begin(HXGestureSubtypeMagnify), end(HXGestureSubtypeMagnify) }))
        << "a cancelled pinch changes nothing at its end";

    posted.clear();
    pinch(XI_GesturePinchUpdate, 2.0);
    pinch(XI_GesturePinchEnd, 2.0);
    EXPECT_TRUE(posted.empty()) << "the rest of a pinch that began elsewhere";
}

TEST_F(X11GestureTest, ASwipeFarEnoughMostlyOneWayIsOneSwipeEvent)
{
    struct Case {
        const char* what;
        std::vector<std::pair<double, double>> moves;
        bool cancelled;
        std::vector<Posted> expected;
    };
    const Case cases[] = {
        { "fingers to the left", { { -30, 2 }, { -30, 1 } }, false, { swipe(-1, 0) } },
        { "to the right", { { 70, -5 } }, false, { swipe(1, 0) } },
        { "down", { { 5, 40 }, { 0, 40 } }, false, { swipe(0, -1) } },
        { "up", { { 0, -80 } }, false, { swipe(0, 1) } },
        { "too short", { { -20, 0 }, { -20, 0 } }, false, {} },
        { "cancelled", { { -100, 0 } }, true, {} },
    };
    for (const auto& c : cases) {
        posted.clear();
        swipeEvent(XI_GestureSwipeBegin, 0, 0);
        for (size_t i = 0; i + 1 < c.moves.size(); ++i)
            swipeEvent(XI_GestureSwipeUpdate, c.moves[i].first, c.moves[i].second);
        swipeEvent(XI_GestureSwipeEnd, c.moves.back().first, c.moves.back().second, c.cancelled);
        EXPECT_EQ(posted, c.expected) << c.what;
    }
}

TEST_F(X11GestureTest, ASidewaysTouchpadScrollIsTheDragGestureUntilTheFingersRest)
{
    raw(kTouchpad, { { 3, 15 } }); // one click to the right
    raw(kTouchpad, { { 3, 7.5 }, { 2, 3 } });
    EXPECT_EQ(posted, (std::vector<Posted> { begin(HXGestureSubtypeTwoFingerDrag), drag(-10, 0), wheel(-1, 0),
                          drag(-5, -2), wheel(-0.5, -0.2) }));
    EXPECT_TRUE(translator->isScrollGestureActive());

    posted.clear();
    wait(HXX11GestureTranslator::kScrollGestureGap / 2);
    raw(kTouchpad, { { 2, -30 } }); // now upwards: still the same gesture
    wait(HXX11GestureTranslator::kScrollGestureGap / 2);
    EXPECT_EQ(posted, (std::vector<Posted> { drag(0, 20), wheel(0, 2) })) << "the rest was short";
    wait(HXX11GestureTranslator::kScrollGestureGap);
    EXPECT_EQ(posted.back(), end(HXGestureSubtypeTwoFingerDrag));
    EXPECT_FALSE(translator->isScrollGestureActive());
}

TEST_F(X11GestureTest, AnUprightTouchpadScrollAndAMouseWheelOnlyScroll)
{
    raw(kTouchpad, { { 2, 30 } }); // two clicks down
    raw(kTouchpad, { { 3, -45 } }); // then sideways: still a scroll, the fingers never rested
    EXPECT_EQ(posted, (std::vector<Posted> { wheel(0, -2), wheel(3, 0) }));
    wait(HXX11GestureTranslator::kScrollGestureGap * 2);
    raw(kMouse, { { 3, 7.5 } });
    EXPECT_EQ(posted.back(), wheel(-0.5, 0)) << "a mouse's fine wheel in parts of a click";
    EXPECT_EQ(posted.size(), 3u) << "no gesture for a mouse, and none ended where none began";
}

TEST_F(X11GestureTest, EveryClickOnceWhetherTheServerMadeItUpOrNot)
{
    // The server makes wheel clicks of fine steps and fine steps of clicks; those it made up carry a flag.
    button(kOther, 4);
    button(kOther, 5);
    button(kOther, 6);
    button(kOther, 7);
    raw(kMouse, { { 2, 15 } }, true);
    button(kMouse, 5, true);
    button(kOther, 1);
    raw(kOther, { { 0, 4 } }); // no scroll axes: a pointer move
    raw(99, { { 2, 15 } }); // a device we do not know
    button(kOther, 4, false, 2); // the copies sent for the master pointer
    raw(kMouse, { { 2, 15 } }, false, 2);
    EXPECT_EQ(posted, (std::vector<Posted> { wheel(0, 1), wheel(0, -1), wheel(1, 0), wheel(-1, 0) }));

    posted.clear();
    pointerOverWindow = false;
    button(kOther, 4);
    raw(kTouchpad, { { 3, 15 } });
    pinch(XI_GesturePinchBegin, 1);
    EXPECT_TRUE(posted.empty()) << "nothing when the pointer is over none of our windows";
}
