#pragma once
// HXScreen: one display, as a value. Frames are in the global space: origin at the bottom left of the
// first (primary) screen, y up. visibleFrame leaves out what the desktop reserves (panels, docks).
#include "platform/basekit/property_list.h"
#include "platform/drawing/geometry.h"

#include <memory>
#include <vector>

inline constexpr const char* HXApplicationDidChangeScreenParametersNotification
    = "HXApplicationDidChangeScreenParametersNotification";
inline constexpr const char* HXScreenNumber = "HXScreenNumber";

using HXWindowDepth = int;

class HXScreen {
public:
    HXScreen() = default;
    HXScreen(uint32_t number, HXRect frame, HXRect visibleFrame, int bitsPerPixel = 24, double scaleFactor = 1)
        : _number(number)
        , _frame(frame)
        , _visibleFrame(visibleFrame)
        , _bitsPerPixel(bitsPerPixel)
        , _scaleFactor(scaleFactor)
    {
    }

    // All screens, the primary first; the main screen is the one of the key window (else the first).
    static std::vector<HXScreen> screens();
    static std::optional<HXScreen> mainScreen();
    static std::optional<HXScreen> screenWithNumber(uint32_t number);

    HXRect frame() const { return _frame; }
    HXRect visibleFrame() const { return _visibleFrame; }
    HXWindowDepth depth() const { return _bitsPerPixel; }
    int bitsPerPixel() const { return _bitsPerPixel; }
    double userSpaceScaleFactor() const { return _scaleFactor; }
    uint32_t screenNumber() const { return _number; }
    // "HXScreenNumber" and the size ("HXDeviceSize", "{w, h}") and bits per pixel ("HXDeviceBitsPerPixel").
    HXPropertyList::Dictionary deviceDescription() const;

    // Screens are the same screen when their numbers are.
    bool operator==(const HXScreen& other) const { return _number == other._number; }

private:
    uint32_t _number = 0;
    HXRect _frame;
    HXRect _visibleFrame;
    int _bitsPerPixel = 24;
    double _scaleFactor = 1;
};

inline int HXBitsPerPixelFromDepth(HXWindowDepth depth) { return depth; }
