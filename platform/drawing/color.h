#pragma once
// HXColor: a colour as a value, in RGB or white (gray), each with alpha, plus the named colours the program
// and its toolkit use. "Calibrated" and "device" spaces are both plain sRGB-like values here (there is no
// colour management); they are kept apart because stored values and callers ask which one they hold.
#include "platform/basekit/property_list.h"

#include <optional>
#include <string>
#include <string_view>

// Colour space names, as passed to colorUsingColorSpaceName and answered by colorSpaceName.
inline constexpr const char* HXCalibratedRGBColorSpace = "HXCalibratedRGBColorSpace";
inline constexpr const char* HXDeviceRGBColorSpace = "HXDeviceRGBColorSpace";
inline constexpr const char* HXCalibratedWhiteColorSpace = "HXCalibratedWhiteColorSpace";
inline constexpr const char* HXDeviceWhiteColorSpace = "HXDeviceWhiteColorSpace";

class HXColor {
public:
    enum class Space { CalibratedRGB, DeviceRGB, CalibratedWhite, DeviceWhite };

    // Opaque black in calibrated white.
    HXColor() = default;

    // Components are clamped to 0 ... 1 (a value that is not a number becomes 0).
    static HXColor colorWithCalibratedRed(double red, double green, double blue, double alpha = 1);
    static HXColor colorWithDeviceRed(double red, double green, double blue, double alpha = 1);
    static HXColor colorWithCalibratedWhite(double white, double alpha = 1);
    static HXColor colorWithDeviceWhite(double white, double alpha = 1);

    // Named colours.
    static HXColor blackColor();
    static HXColor whiteColor();
    static HXColor clearColor(); // black with alpha 0
    static HXColor grayColor(); // white 0.5
    static HXColor lightGrayColor(); // white 2/3
    static HXColor darkGrayColor(); // white 1/3
    static HXColor redColor();
    static HXColor greenColor();
    static HXColor blueColor();
    static HXColor yellowColor();
    static HXColor orangeColor();
    // Toolkit colours (the look of our controls).
    static HXColor controlColor();
    static HXColor controlBackgroundColor();
    static HXColor controlTextColor();
    static HXColor disabledControlTextColor();
    static HXColor selectedControlColor();
    static HXColor alternateSelectedControlColor();
    static HXColor selectedTextBackgroundColor();
    static HXColor windowBackgroundColor();
    static HXColor textColor();
    static HXColor textBackgroundColor();
    static HXColor keyboardFocusIndicatorColor();
    static HXColor gridColor();

    Space space() const { return _space; }
    std::string colorSpaceName() const;
    bool isRGB() const { return _space == Space::CalibratedRGB || _space == Space::DeviceRGB; }

    // The colour in another space, or nullopt for a name that is no colour space. RGB to white takes the
    // luminance (0.299 R + 0.587 G + 0.114 B); white to RGB repeats the white.
    std::optional<HXColor> colorUsingColorSpaceName(std::string_view name) const;
    HXColor colorUsingSpace(Space space) const;

    // Components. In a white space the RGB components all give the white; in an RGB space white gives the
    // luminance, so every component can be read from every colour.
    double redComponent() const;
    double greenComponent() const;
    double blueComponent() const;
    double whiteComponent() const;
    double alphaComponent() const { return _alpha; }
    void getRed(double* red, double* green, double* blue, double* alpha) const;
    void getWhite(double* white, double* alpha) const;

    HXColor colorWithAlphaComponent(double alpha) const;
    // (1 − fraction) of this colour plus fraction of `other`, in RGB of this colour's kind (calibrated or
    // device), alpha included; fraction clamped to 0 ... 1.
    HXColor blendedColorWithFraction(double fraction, const HXColor& other) const;

    // Sets the colour for fills and strokes of the current graphics context (graphics_context.cpp); without
    // a current context these do nothing.
    void set() const;
    void setFill() const;
    void setStroke() const;

    // The archived form kept in the user defaults: a small binary blob, "HXCo", a version byte, the space
    // byte, the component count, then the components (alpha last) as big-endian IEEE doubles. Reading
    // refuses anything else (wrong magic, version, space, count or length, components that are not finite
    // or outside 0 ... 1) with nullopt.
    HXData archivedData() const;
    static std::optional<HXColor> colorWithArchivedData(const HXData& data);

    bool operator==(const HXColor&) const = default;

private:
    HXColor(Space space, double c0, double c1, double c2, double alpha);

    Space _space = Space::CalibratedWhite;
    double _c[3] = { 0, 0, 0 }; // red, green, blue; or white in _c[0]
    double _alpha = 1;
};
