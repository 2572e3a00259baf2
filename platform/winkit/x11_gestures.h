#pragma once
// Touchpad gestures and fine scrolling from the X server's input extension, where the server has it:
// XInput 2.4 pinch and swipe gestures, and the smooth scrolling of XInput 2.1 (a touchpad's two-finger
// scroll, a mouse wheel in fractions of a click). SDL gives neither: without them the player has SDL's
// pinches and wheel clicks only.
//
// What becomes of them, as events of the application:
// - a pinch: a begin-gesture event, magnify events (the change of scale), an end-gesture event;
// - a swipe of three or more fingers, mostly sideways and far enough: one swipe event whose deltaX is -1
//   when the fingers went left and +1 when they went right (deltaY likewise, down being -1);
// - every scroll step: a scroll-wheel event in clicks (deltaX positive to the left, deltaY positive
//   upwards, as the wheel events of the toolkit go);
// - a touchpad scroll that starts sideways: besides its wheel events, a two-finger-drag gesture: a
//   begin-gesture event (subtype HXGestureSubtypeTwoFingerDrag), one gesture event per step with the
//   fingers' travel in points (deltaX positive to the left), and an end-gesture event once the fingers
//   have rested for kScrollGestureGap seconds.
// Events go to the window the pointer is over.
#include "platform/drawing/geometry.h"
#include "platform/winkit/event.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The kinds of gesture, in HXEvent::subtype() of begin-gesture, gesture and end-gesture events.
enum HXGestureSubtype : int16_t {
    HXGestureSubtypeTwoFingerDrag = 6,
    HXGestureSubtypeMagnify = 8,
    HXGestureSubtypeSwipe = 16,
};

// A pointing device of the X server as far as scrolling goes.
struct HXPointerDevice {
    struct ScrollAxis {
        int number = 0; // the valuator
        bool horizontal = false;
        double increment = 1; // valuator units per wheel click
    };
    int id = 0;
    bool touchpad = false;
    std::vector<ScrollAxis> scrollAxes;
};

class HXX11GestureTranslator {
public:
    struct Target {
        int windowNumber = 0;
        HXPoint locationInWindow;
    };
    using TargetFinder = std::function<std::optional<Target>()>;
    using Poster = std::function<void(const HXEvent&)>;

    static constexpr double kScrollGestureGap = 0.25;
    static constexpr double kPointsPerClick = 10;
    static constexpr double kSwipeDistance = 50;

    HXX11GestureTranslator(TargetFinder target, Poster post);
    ~HXX11GestureTranslator();
    HXX11GestureTranslator(const HXX11GestureTranslator&) = delete;
    HXX11GestureTranslator& operator=(const HXX11GestureTranslator&) = delete;

    // The slave pointer devices, whose scroll axes tell raw events' steps.
    void setDevices(std::vector<HXPointerDevice> devices) { _devices = std::move(devices); }
    const std::vector<HXPointerDevice>& devices() const { return _devices; }

    // One event of the input extension: `evtype` is its XI event type and `data` the event as Xlib gives
    // it (XIGesturePinchEvent, XIGestureSwipeEvent, XIRawEvent). Other types are left alone.
    void handleXIEvent(int evtype, const void* data);

    // A two-finger scroll is in progress as a gesture; endScrollGesture ends it at once.
    bool isScrollGestureActive() const { return _scrollGesture.has_value(); }
    void endScrollGesture();

private:
    void scroll(const HXPointerDevice* device, double clicksRight, double clicksDown);
    // The listed device with the input extension's id `id`, or null.
    const HXPointerDevice* deviceWithID(int id) const;
    void post(const HXEvent& event) { _post(event); }
    std::optional<Target> target() const { return _target ? _target() : std::nullopt; }

    TargetFinder _target;
    Poster _post;
    std::vector<HXPointerDevice> _devices;
    // The window a gesture began in keeps its events.
    std::optional<Target> _pinch;
    double _pinchScale = 1;
    std::optional<Target> _swipe;
    double _swipeX = 0, _swipeY = 0;
    std::optional<Target> _scrollGesture;
    // A touchpad scroll that started upright stays a plain scroll until the fingers rest.
    bool _scrollingUpright = false;
};

class HXX11GestureSource {
public:
    // Null when there is no X display or its input extension is older than 2.1.
    static std::unique_ptr<HXX11GestureSource> start(
        HXX11GestureTranslator::TargetFinder target, HXX11GestureTranslator::Poster post);
    ~HXX11GestureSource();

    // The server has XInput 2.4: pinches and swipes come from here.
    bool hasGestures() const;
    // Wheel steps come from here; the ones SDL reads from the same wheel are to be left aside.
    bool deliversWheel() const { return true; }
    // Asks for the gesture events of one of our windows (its X window).
    void watchWindow(unsigned long window);
    HXX11GestureTranslator& translator();

    struct State;

private:
    HXX11GestureSource() = default;
    std::unique_ptr<State> _state;
};
