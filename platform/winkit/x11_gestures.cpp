#include "platform/winkit/x11_gestures.h"

#include "platform/basekit/run_loop.h"

#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>

#include <cmath>
#include <cstring>
#include <set>

// ---- Translation ----

HXX11GestureTranslator::HXX11GestureTranslator(TargetFinder target, Poster post)
    : _target(std::move(target))
    , _post(std::move(post))
{
}

HXX11GestureTranslator::~HXX11GestureTranslator()
{
    HXRunLoop::main().cancelPerformRequests(this);
}

void HXX11GestureTranslator::handleXIEvent(int evtype, const void* data)
{
    if (!data)
        return;
    const double now = HXRunLoop::main().now();
    switch (evtype) {
    case XI_GesturePinchBegin: {
        _pinch = target();
        _pinchScale = 1;
        if (_pinch)
            post(HXEvent::gestureEvent(HXEventTypeBeginGesture, _pinch->locationInWindow, now, _pinch->windowNumber,
                HXGestureSubtypeMagnify));
        break;
    }
    case XI_GesturePinchUpdate:
    case XI_GesturePinchEnd: {
        if (!_pinch)
            break;
        const auto* e = static_cast<const XIGesturePinchEvent*>(data);
        bool cancelled = evtype == XI_GesturePinchEnd && (e->flags & XIGesturePinchEventCancelled);
        double change = std::isfinite(e->scale) ? e->scale - _pinchScale : 0;
        if (!cancelled && change != 0) {
            _pinchScale = e->scale;
            post(HXEvent::magnifyEvent(_pinch->locationInWindow, now, _pinch->windowNumber, change));
        }
        if (evtype == XI_GesturePinchEnd) {
            post(HXEvent::gestureEvent(HXEventTypeEndGesture, _pinch->locationInWindow, now, _pinch->windowNumber,
                HXGestureSubtypeMagnify));
            _pinch.reset();
        }
        break;
    }
    case XI_GestureSwipeBegin:
        _swipe = target();
        _swipeX = _swipeY = 0;
        break;
    case XI_GestureSwipeUpdate:
    case XI_GestureSwipeEnd: {
        if (!_swipe)
            break;
        const auto* e = static_cast<const XIGestureSwipeEvent*>(data);
        if (std::isfinite(e->delta_unaccel_x) && std::isfinite(e->delta_unaccel_y)) {
            _swipeX += e->delta_unaccel_x;
            _swipeY += e->delta_unaccel_y;
        }
        if (evtype != XI_GestureSwipeEnd)
            break;
        if (!(e->flags & XIGestureSwipeEventCancelled)) {
            double x = std::fabs(_swipeX), y = std::fabs(_swipeY);
            if (x >= kSwipeDistance && x > y)
                post(HXEvent::swipeEvent(
                    _swipe->locationInWindow, now, _swipe->windowNumber, _swipeX < 0 ? -1.0 : 1.0, 0));
            else if (y >= kSwipeDistance && y > x)
                post(HXEvent::swipeEvent(
                    _swipe->locationInWindow, now, _swipe->windowNumber, 0, _swipeY > 0 ? -1.0 : 1.0));
        }
        _swipe.reset();
        break;
    }
    case XI_RawMotion: {
        const auto* e = static_cast<const XIRawEvent*>(data);
        // Steps the server made up from wheel clicks come as those clicks (XI_RawButtonPress); the copy
        // sent again for the master device came already from its source.
        if ((e->flags & XIPointerEmulated) || e->deviceid != e->sourceid)
            break;
        const HXPointerDevice* device = deviceWithID(e->deviceid);
        if (!device || device->scrollAxes.empty())
            break;
        double right = 0, down = 0;
        int value = 0;
        for (int bit = 0; bit < e->valuators.mask_len * 8; ++bit) {
            if (!XIMaskIsSet(e->valuators.mask, bit))
                continue;
            double v = e->raw_values ? e->raw_values[value] : 0;
            ++value;
            for (const auto& axis : device->scrollAxes) {
                if (axis.number != bit || !(axis.increment != 0) || !std::isfinite(v))
                    continue;
                (axis.horizontal ? right : down) += v / axis.increment;
            }
        }
        if (right != 0 || down != 0)
            scroll(device, right, down);
        break;
    }
    case XI_RawButtonPress: {
        const auto* e = static_cast<const XIRawEvent*>(data);
        if ((e->flags & XIPointerEmulated) || e->deviceid != e->sourceid)
            break;
        const HXPointerDevice* device = deviceWithID(e->deviceid);
        switch (e->detail) {
        case 4: scroll(device, 0, -1); break;
        case 5: scroll(device, 0, 1); break;
        case 6: scroll(device, -1, 0); break;
        case 7: scroll(device, 1, 0); break;
        default: break;
        }
        break;
    }
    default:
        break;
    }
}

const HXPointerDevice* HXX11GestureTranslator::deviceWithID(int id) const
{
    for (const auto& device : _devices)
        if (device.id == id)
            return &device;
    return nullptr;
}

void HXX11GestureTranslator::scroll(const HXPointerDevice* device, double clicksRight, double clicksDown)
{
    auto where = target();
    if (!where)
        return;
    const double now = HXRunLoop::main().now();
    if (device && device->touchpad) {
        if (!_scrollGesture && !_scrollingUpright) {
            // The way the fingers set off decides: sideways is the drag gesture, anything else a scroll.
            if (std::fabs(clicksRight) > std::fabs(clicksDown)) {
                _scrollGesture = where;
                post(HXEvent::gestureEvent(HXEventTypeBeginGesture, where->locationInWindow, now,
                    where->windowNumber, HXGestureSubtypeTwoFingerDrag));
            } else {
                _scrollingUpright = true;
            }
        }
        if (_scrollGesture)
            post(HXEvent::gestureEvent(HXEventTypeGesture, _scrollGesture->locationInWindow, now,
                _scrollGesture->windowNumber, HXGestureSubtypeTwoFingerDrag, -clicksRight * kPointsPerClick,
                -clicksDown * kPointsPerClick));
        auto& loop = HXRunLoop::main();
        loop.cancelPerformRequests(this);
        loop.performAfterDelay(this, kScrollGestureGap, [this] { endScrollGesture(); }, { HXRunLoopCommonModes });
    }
    post(HXEvent::scrollEvent(
        where->locationInWindow, HXEvent::modifierFlagsNow(), now, where->windowNumber, -clicksRight, -clicksDown));
}

void HXX11GestureTranslator::endScrollGesture()
{
    HXRunLoop::main().cancelPerformRequests(this);
    _scrollingUpright = false;
    if (!_scrollGesture)
        return;
    Target where = *_scrollGesture;
    _scrollGesture.reset();
    post(HXEvent::gestureEvent(HXEventTypeEndGesture, where.locationInWindow, HXRunLoop::main().now(),
        where.windowNumber, HXGestureSubtypeTwoFingerDrag));
}

// ---- The X server's side ----

struct HXX11GestureSource::State {
    Display* display = nullptr;
    int opcode = 0;
    bool gestures = false;
    HXRunLoopSourceID source = 0;
    std::unique_ptr<HXX11GestureTranslator> translator;

    ~State()
    {
        if (source)
            HXRunLoop::main().removeSource(source);
        translator.reset();
        if (display)
            XCloseDisplay(display);
    }
    void readDevices();
    void readEvents();
    bool select(Window window, const std::vector<int>& types, int device);
};

namespace {

int failures = 0;
int noteFailure(Display*, XErrorEvent*)
{
    ++failures;
    return 0;
}

} // namespace

bool HXX11GestureSource::State::select(Window window, const std::vector<int>& types, int device)
{
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    for (int type : types)
        XISetMask(bits, type);
    XIEventMask mask { device, int(sizeof bits), bits };
    // A refusal (another client has the gestures of that window) must not end the program: Xlib's own
    // handler would.
    failures = 0;
    auto previous = XSetErrorHandler(&noteFailure);
    XISelectEvents(display, window, &mask, 1);
    XSync(display, False);
    XSetErrorHandler(previous);
    return failures == 0;
}

void HXX11GestureSource::State::readDevices()
{
    std::set<XID> touchpads;
    Atom touchpadType = XInternAtom(display, XI_TOUCHPAD, True);
    int count = 0;
    if (XDeviceInfo* list = XListInputDevices(display, &count)) {
        for (int i = 0; i < count; ++i)
            if (touchpadType != None && list[i].type == touchpadType)
                touchpads.insert(list[i].id);
        XFreeDeviceList(list);
    }
    std::vector<HXPointerDevice> devices;
    XIDeviceInfo* info = XIQueryDevice(display, XIAllDevices, &count);
    for (int i = 0; info && i < count; ++i) {
        if (info[i].use != XISlavePointer)
            continue;
        HXPointerDevice device;
        device.id = info[i].deviceid;
        device.touchpad = touchpads.count(XID(info[i].deviceid)) > 0;
        for (int c = 0; c < info[i].num_classes; ++c) {
            const XIAnyClassInfo* any = info[i].classes[c];
            if (any->type == XIScrollClass) {
                const auto* scroll = reinterpret_cast<const XIScrollClassInfo*>(any);
                device.scrollAxes.push_back(
                    { scroll->number, scroll->scroll_type == XIScrollTypeHorizontal, scroll->increment });
            } else if (any->type == XITouchClass) {
                // A touch surface that moves the pointer instead of pointing where it is touched.
                if (reinterpret_cast<const XITouchClassInfo*>(any)->mode == XIDependentTouch)
                    device.touchpad = true;
            }
        }
        devices.push_back(std::move(device));
    }
    if (info)
        XIFreeDeviceInfo(info);
    translator->setDevices(std::move(devices));
}

void HXX11GestureSource::State::readEvents()
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != opcode || !XGetEventData(display, cookie))
            continue;
        if (cookie->evtype == XI_HierarchyChanged || cookie->evtype == XI_DeviceChanged)
            readDevices();
        else
            translator->handleXIEvent(cookie->evtype, cookie->data);
        XFreeEventData(display, cookie);
    }
}

std::unique_ptr<HXX11GestureSource> HXX11GestureSource::start(
    HXX11GestureTranslator::TargetFinder target, HXX11GestureTranslator::Poster post)
{
    auto state = std::make_unique<State>();
    state->display = XOpenDisplay(nullptr);
    if (!state->display)
        return nullptr;
    int event = 0, error = 0;
    if (!XQueryExtension(state->display, "XInputExtension", &state->opcode, &event, &error))
        return nullptr;
    int major = 2, minor = 4;
    if (XIQueryVersion(state->display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1))
        return nullptr;
    state->gestures = major > 2 || minor >= 4;
    state->translator = std::make_unique<HXX11GestureTranslator>(std::move(target), std::move(post));
    Window root = DefaultRootWindow(state->display);
    // One selection: a second one for the same window and devices would replace this one.
    if (!state->select(root, { XI_RawMotion, XI_RawButtonPress, XI_HierarchyChanged, XI_DeviceChanged },
            XIAllDevices))
        return nullptr;
    state->readDevices();
    State* raw = state.get();
    state->source = HXRunLoop::main().addFileDescriptor(
        ConnectionNumber(state->display), HXFileDescriptorReadable, [raw](int, uint32_t) { raw->readEvents(); });
    // Whatever the calls above already read is waiting in Xlib's queue, not on the socket.
    HXRunLoop::main().perform([raw] { raw->readEvents(); }, 0, { HXRunLoopCommonModes }, raw);
    auto source = std::unique_ptr<HXX11GestureSource>(new HXX11GestureSource);
    source->_state = std::move(state);
    return source;
}

HXX11GestureSource::~HXX11GestureSource()
{
    if (_state)
        HXRunLoop::main().cancelPerformRequests(_state.get());
}

bool HXX11GestureSource::hasGestures() const
{
    return _state->gestures;
}

HXX11GestureTranslator& HXX11GestureSource::translator()
{
    return *_state->translator;
}

void HXX11GestureSource::watchWindow(unsigned long window)
{
    if (!_state->gestures || !window)
        return;
    _state->select(Window(window),
        { XI_GesturePinchBegin, XI_GesturePinchUpdate, XI_GesturePinchEnd, XI_GestureSwipeBegin,
            XI_GestureSwipeUpdate, XI_GestureSwipeEnd },
        XIAllMasterDevices);
}
