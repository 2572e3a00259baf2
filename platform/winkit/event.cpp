#include "platform/winkit/event.h"

#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

HXEvent HXEvent::mouseEvent(HXEventType type, HXPoint location, uint32_t flags, HXTimeInterval timestamp,
    int windowNumber, int eventNumber, int clickCount, float pressure)
{
    HXEvent e;
    e._type = type;
    e._location = location;
    e._modifierFlags = flags;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._eventNumber = eventNumber;
    e._clickCount = clickCount;
    e._pressure = pressure;
    if (type == HXRightMouseDown || type == HXRightMouseUp || type == HXRightMouseDragged)
        e._buttonNumber = 1;
    else if (type == HXOtherMouseDown || type == HXOtherMouseUp || type == HXOtherMouseDragged)
        e._buttonNumber = 2;
    return e;
}

HXEvent HXEvent::keyEvent(HXEventType type, HXPoint location, uint32_t flags, HXTimeInterval timestamp,
    int windowNumber, std::string characters, std::string charactersIgnoringModifiers, bool isARepeat, uint16_t keyCode)
{
    HXEvent e;
    e._type = type;
    e._location = location;
    e._modifierFlags = flags;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._characters = std::move(characters);
    e._charactersIgnoringModifiers = std::move(charactersIgnoringModifiers);
    e._isARepeat = isARepeat;
    e._keyCode = keyCode;
    return e;
}

HXEvent HXEvent::enterExitEvent(HXEventType type, HXPoint location, uint32_t flags, HXTimeInterval timestamp,
    int windowNumber, int trackingNumber, void* userData)
{
    HXEvent e;
    e._type = type;
    e._location = location;
    e._modifierFlags = flags;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._trackingNumber = trackingNumber;
    e._userData = userData;
    return e;
}

HXEvent HXEvent::otherEvent(HXEventType type, HXPoint location, uint32_t flags, HXTimeInterval timestamp,
    int windowNumber, int16_t subtype, long data1, long data2)
{
    HXEvent e;
    e._type = type;
    e._location = location;
    e._modifierFlags = flags;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._subtype = subtype;
    e._data1 = data1;
    e._data2 = data2;
    return e;
}

HXEvent HXEvent::scrollEvent(HXPoint location, uint32_t flags, HXTimeInterval timestamp, int windowNumber,
    double deltaX, double deltaY)
{
    HXEvent e;
    e._type = HXScrollWheel;
    e._location = location;
    e._modifierFlags = flags;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._deltaX = deltaX;
    e._deltaY = deltaY;
    return e;
}

HXEvent HXEvent::magnifyEvent(HXPoint location, HXTimeInterval timestamp, int windowNumber, double magnification)
{
    HXEvent e;
    e._type = HXEventTypeMagnify;
    e._location = location;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._magnification = magnification;
    return e;
}

HXEvent HXEvent::swipeEvent(HXPoint location, HXTimeInterval timestamp, int windowNumber, double deltaX, double deltaY)
{
    HXEvent e;
    e._type = HXEventTypeSwipe;
    e._location = location;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._deltaX = deltaX;
    e._deltaY = deltaY;
    return e;
}

HXEvent HXEvent::gestureEvent(HXEventType type, HXPoint location, HXTimeInterval timestamp, int windowNumber,
    int16_t subtype, double deltaX, double deltaY)
{
    HXEvent e;
    e._type = type;
    e._location = location;
    e._timestamp = timestamp;
    e._windowNumber = windowNumber;
    e._subtype = subtype;
    e._deltaX = deltaX;
    e._deltaY = deltaY;
    return e;
}

std::shared_ptr<HXWindow> HXEvent::window() const
{
    if (!_windowNumber || !HXApplication::hasSharedApplication())
        return nullptr;
    return HXApplication::sharedApplication()->windowWithWindowNumber(_windowNumber);
}

char32_t HXEvent::firstCharacterIgnoringModifiers() const
{
    const std::string& s = _charactersIgnoringModifiers;
    if (s.empty())
        return 0;
    unsigned char c = s[0];
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    char32_t cp = c & (0x3F >> extra);
    for (int i = 1; i <= extra && size_t(i) < s.size(); ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

bool HXEvent::isMouseEvent() const
{
    switch (_type) {
    case HXLeftMouseDown:
    case HXLeftMouseUp:
    case HXRightMouseDown:
    case HXRightMouseUp:
    case HXMouseMoved:
    case HXLeftMouseDragged:
    case HXRightMouseDragged:
    case HXOtherMouseDown:
    case HXOtherMouseUp:
    case HXOtherMouseDragged:
    case HXScrollWheel:
    case HXEventTypeMagnify:
    case HXEventTypeSwipe:
    case HXEventTypeRotate:
    case HXEventTypeGesture:
    case HXEventTypeBeginGesture:
    case HXEventTypeEndGesture:
        return true;
    default:
        return false;
    }
}

uint32_t HXEvent::modifierFlagsNow()
{
    return HXApplication::sharedApplication()->windowServer().modifierFlags();
}

HXPoint HXEvent::mouseLocation() { return HXApplication::sharedApplication()->windowServer().mouseLocation(); }

std::string HXStringFromCharacter(char32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xF0 | (c >> 18));
        s += char(0x80 | ((c >> 12) & 0x3F));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}
