#pragma once
// HXEvent: one input event as a value: mouse, keyboard, scroll wheel, gestures, tracking-rectangle
// enter/exit and application-defined events. Type codes, masks and modifier bits are numbered as stored
// and compared by the program's code.
#include "platform/basekit/run_loop.h"
#include "platform/drawing/geometry.h"

#include <cstdint>
#include <memory>
#include <string>

class HXWindow;

enum HXEventType : int {
    HXLeftMouseDown = 1,
    HXLeftMouseUp = 2,
    HXRightMouseDown = 3,
    HXRightMouseUp = 4,
    HXMouseMoved = 5,
    HXLeftMouseDragged = 6,
    HXRightMouseDragged = 7,
    HXMouseEntered = 8,
    HXMouseExited = 9,
    HXKeyDown = 10,
    HXKeyUp = 11,
    HXFlagsChanged = 12,
    HXAppKitDefined = 13,
    HXSystemDefined = 14,
    HXApplicationDefined = 15,
    HXPeriodic = 16,
    HXCursorUpdate = 17,
    HXEventTypeRotate = 18,
    HXEventTypeBeginGesture = 19,
    HXEventTypeEndGesture = 20,
    HXScrollWheel = 22,
    HXOtherMouseDown = 25,
    HXOtherMouseUp = 26,
    HXOtherMouseDragged = 27,
    HXEventTypeGesture = 29,
    HXEventTypeMagnify = 30,
    HXEventTypeSwipe = 31,
};

using HXEventMask = uint64_t;
constexpr HXEventMask HXEventMaskFromType(HXEventType type) { return HXEventMask(1) << type; }
inline constexpr HXEventMask HXLeftMouseDownMask = HXEventMask(1) << HXLeftMouseDown;
inline constexpr HXEventMask HXLeftMouseUpMask = HXEventMask(1) << HXLeftMouseUp;
inline constexpr HXEventMask HXRightMouseDownMask = HXEventMask(1) << HXRightMouseDown;
inline constexpr HXEventMask HXRightMouseUpMask = HXEventMask(1) << HXRightMouseUp;
inline constexpr HXEventMask HXMouseMovedMask = HXEventMask(1) << HXMouseMoved;
inline constexpr HXEventMask HXLeftMouseDraggedMask = HXEventMask(1) << HXLeftMouseDragged;
inline constexpr HXEventMask HXRightMouseDraggedMask = HXEventMask(1) << HXRightMouseDragged;
inline constexpr HXEventMask HXMouseEnteredMask = HXEventMask(1) << HXMouseEntered;
inline constexpr HXEventMask HXMouseExitedMask = HXEventMask(1) << HXMouseExited;
inline constexpr HXEventMask HXKeyDownMask = HXEventMask(1) << HXKeyDown;
inline constexpr HXEventMask HXKeyUpMask = HXEventMask(1) << HXKeyUp;
inline constexpr HXEventMask HXFlagsChangedMask = HXEventMask(1) << HXFlagsChanged;
inline constexpr HXEventMask HXApplicationDefinedMask = HXEventMask(1) << HXApplicationDefined;
inline constexpr HXEventMask HXPeriodicMask = HXEventMask(1) << HXPeriodic;
inline constexpr HXEventMask HXScrollWheelMask = HXEventMask(1) << HXScrollWheel;
inline constexpr HXEventMask HXOtherMouseDownMask = HXEventMask(1) << HXOtherMouseDown;
inline constexpr HXEventMask HXOtherMouseUpMask = HXEventMask(1) << HXOtherMouseUp;
inline constexpr HXEventMask HXOtherMouseDraggedMask = HXEventMask(1) << HXOtherMouseDragged;
inline constexpr HXEventMask HXAnyEventMask = ~HXEventMask(0);

// Modifier flags (the device-independent bits live in the upper half).
enum : uint32_t {
    HXAlphaShiftKeyMask = 1u << 16,
    HXShiftKeyMask = 1u << 17,
    HXControlKeyMask = 1u << 18,
    HXAlternateKeyMask = 1u << 19,  // Option
    HXCommandKeyMask = 1u << 20,
    HXNumericPadKeyMask = 1u << 21,
    HXHelpKeyMask = 1u << 22,
    HXFunctionKeyMask = 1u << 23,
    HXDeviceIndependentModifierFlagsMask = 0xffff0000u,
};

// Characters of the function keys, as they appear in characters() (private-use code points, UTF-8 encoded).
enum : char32_t {
    HXUpArrowFunctionKey = 0xF700,
    HXDownArrowFunctionKey = 0xF701,
    HXLeftArrowFunctionKey = 0xF702,
    HXRightArrowFunctionKey = 0xF703,
    HXF1FunctionKey = 0xF704,
    HXDeleteFunctionKey = 0xF728,
    HXHomeFunctionKey = 0xF729,
    HXEndFunctionKey = 0xF72B,
    HXPageUpFunctionKey = 0xF72C,
    HXPageDownFunctionKey = 0xF72D,
};
// Plain control characters as key characters.
inline constexpr char HXBackspaceCharacter = 8;
inline constexpr char HXTabCharacter = 9;
inline constexpr char HXBackTabCharacter = 25;
inline constexpr char HXCarriageReturnCharacter = 13;
inline constexpr char HXEnterCharacter = 3;
inline constexpr char HXEscapeCharacter = 27;
inline constexpr char HXDeleteCharacter = 127;

// Hardware-independent key codes (positions on a US keyboard) for the keys the program checks.
enum HXKeyCode : uint16_t {
    HXKeyCodeA = 0x00,
    HXKeyCodeReturn = 0x24,
    HXKeyCodeTab = 0x30,
    HXKeyCodeSpace = 0x31,
    HXKeyCodeDelete = 0x33,  // backspace
    HXKeyCodeEscape = 0x35,
    HXKeyCodeCommand = 0x37,
    HXKeyCodeShift = 0x38,
    HXKeyCodeCapsLock = 0x39,
    HXKeyCodeOption = 0x3A,
    HXKeyCodeControl = 0x3B,
    HXKeyCodeKeypadEnter = 0x4C,
    HXKeyCodeHome = 0x73,
    HXKeyCodePageUp = 0x74,
    HXKeyCodeForwardDelete = 0x75,
    HXKeyCodeEnd = 0x77,
    HXKeyCodePageDown = 0x79,
    HXKeyCodeLeftArrow = 0x7B,
    HXKeyCodeRightArrow = 0x7C,
    HXKeyCodeDownArrow = 0x7D,
    HXKeyCodeUpArrow = 0x7E,
    HXKeyCodeUnknown = 0xFFFF,
};

// Subtypes of swipe/gesture events are not distinguished; the translation lives in deltaX/deltaY.

class HXEvent {
public:
    HXEvent() = default;

    static HXEvent mouseEvent(HXEventType type, HXPoint locationInWindow, uint32_t modifierFlags,
        HXTimeInterval timestamp, int windowNumber, int eventNumber = 0, int clickCount = 1, float pressure = 1);
    static HXEvent keyEvent(HXEventType type, HXPoint locationInWindow, uint32_t modifierFlags,
        HXTimeInterval timestamp, int windowNumber, std::string characters, std::string charactersIgnoringModifiers,
        bool isARepeat, uint16_t keyCode);
    static HXEvent enterExitEvent(HXEventType type, HXPoint locationInWindow, uint32_t modifierFlags,
        HXTimeInterval timestamp, int windowNumber, int trackingNumber, void* userData);
    static HXEvent otherEvent(HXEventType type, HXPoint locationInWindow, uint32_t modifierFlags,
        HXTimeInterval timestamp, int windowNumber, int16_t subtype, long data1, long data2);
    static HXEvent scrollEvent(HXPoint locationInWindow, uint32_t modifierFlags, HXTimeInterval timestamp,
        int windowNumber, double deltaX, double deltaY);
    static HXEvent magnifyEvent(HXPoint locationInWindow, HXTimeInterval timestamp, int windowNumber,
        double magnification);
    static HXEvent swipeEvent(HXPoint locationInWindow, HXTimeInterval timestamp, int windowNumber,
        double deltaX, double deltaY);
    // A trackpad gesture event (begin, end, or one step of a gesture): its kind in `subtype` and, for a
    // step, the fingers' horizontal and vertical translation in deltaX and deltaY.
    static HXEvent gestureEvent(HXEventType type, HXPoint locationInWindow, HXTimeInterval timestamp,
        int windowNumber, int16_t subtype, double deltaX = 0, double deltaY = 0);

    HXEventType type() const { return _type; }
    uint32_t modifierFlags() const { return _modifierFlags; }
    HXTimeInterval timestamp() const { return _timestamp; }
    int windowNumber() const { return _windowNumber; }
    // The window the event is for, or null (looked up by number among the application's windows).
    std::shared_ptr<HXWindow> window() const;
    int eventNumber() const { return _eventNumber; }
    HXPoint locationInWindow() const { return _location; }

    // Keys. characters() is UTF-8 text after the modifiers were applied; charactersIgnoringModifiers()
    // ignores every modifier but Shift.
    const std::string& characters() const { return _characters; }
    const std::string& charactersIgnoringModifiers() const { return _charactersIgnoringModifiers; }
    bool isARepeat() const { return _isARepeat; }
    uint16_t keyCode() const { return _keyCode; }
    // The first character of charactersIgnoringModifiers() as a code point (0 when empty).
    char32_t firstCharacterIgnoringModifiers() const;

    // Mouse.
    int clickCount() const { return _clickCount; }
    int buttonNumber() const { return _buttonNumber; }
    float pressure() const { return _pressure; }
    int trackingNumber() const { return _trackingNumber; }
    void* userData() const { return _userData; }

    // Scroll wheel and gestures.
    double deltaX() const { return _deltaX; }
    double deltaY() const { return _deltaY; }
    double deltaZ() const { return _deltaZ; }
    double magnification() const { return _magnification; }
    int16_t subtype() const { return _subtype; }
    long data1() const { return _data1; }
    long data2() const { return _data2; }

    bool isMouseEvent() const;
    bool isKeyEvent() const { return _type == HXKeyDown || _type == HXKeyUp || _type == HXFlagsChanged; }

    // Builders for backends and tests.
    HXEvent& setLocationInWindow(HXPoint p) { _location = p; return *this; }
    HXEvent& setWindowNumber(int n) { _windowNumber = n; return *this; }
    HXEvent& setButtonNumber(int n) { _buttonNumber = n; return *this; }
    HXEvent& setModifierFlags(uint32_t f) { _modifierFlags = f; return *this; }
    HXEvent& setDeltaZ(double dz) { _deltaZ = dz; return *this; }

    // The modifier keys held now, and the mouse position in screen coordinates now.
    static uint32_t modifierFlagsNow();
    static HXPoint mouseLocation();
    // Seconds between two clicks that still count as one double click.
    static HXTimeInterval doubleClickInterval() { return 0.5; }
    // The magnification a pinch must reach before a view treats it as a zoom.
    static double standardMagnificationThreshold() { return 0.3; }

private:
    HXEventType _type = HXApplicationDefined;
    uint32_t _modifierFlags = 0;
    HXTimeInterval _timestamp = 0;
    int _windowNumber = 0;
    int _eventNumber = 0;
    HXPoint _location;
    std::string _characters;
    std::string _charactersIgnoringModifiers;
    bool _isARepeat = false;
    uint16_t _keyCode = HXKeyCodeUnknown;
    int _clickCount = 0;
    int _buttonNumber = 0;
    float _pressure = 0;
    int _trackingNumber = 0;
    void* _userData = nullptr;
    double _deltaX = 0, _deltaY = 0, _deltaZ = 0;
    double _magnification = 0;
    int16_t _subtype = 0;
    long _data1 = 0, _data2 = 0;
};

// UTF-8 encoding of one code point (for building key characters such as the function keys).
std::string HXStringFromCharacter(char32_t c);
