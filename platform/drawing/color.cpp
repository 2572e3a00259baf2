#include "platform/drawing/color.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

double clampComponent(double v)
{
    return std::isnan(v) ? 0 : std::clamp(v, 0.0, 1.0);
}

bool isWhiteSpace(HXColor::Space s)
{
    return s == HXColor::Space::CalibratedWhite || s == HXColor::Space::DeviceWhite;
}

bool isDeviceSpace(HXColor::Space s)
{
    return s == HXColor::Space::DeviceRGB || s == HXColor::Space::DeviceWhite;
}

double luminance(double r, double g, double b)
{
    return 0.299 * r + 0.587 * g + 0.114 * b;
}

constexpr char archiveMagic[4] = { 'H', 'X', 'C', 'o' };
constexpr uint8_t archiveVersion = 1;

void putDouble(std::vector<uint8_t>& out, double v)
{
    uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int i = 7; i >= 0; --i)
        out.push_back(uint8_t(bits >> (8 * i)));
}

double getDouble(const uint8_t* p)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | p[i];
    return std::bit_cast<double>(bits);
}

} // namespace

HXColor::HXColor(Space space, double c0, double c1, double c2, double alpha)
    : _space(space)
    , _c { clampComponent(c0), clampComponent(c1), clampComponent(c2) }
    , _alpha(clampComponent(alpha))
{
    if (isWhiteSpace(space))
        _c[1] = _c[2] = 0;
}

HXColor HXColor::colorWithCalibratedRed(double r, double g, double b, double a)
{
    return HXColor(Space::CalibratedRGB, r, g, b, a);
}

HXColor HXColor::colorWithDeviceRed(double r, double g, double b, double a)
{
    return HXColor(Space::DeviceRGB, r, g, b, a);
}

HXColor HXColor::colorWithCalibratedWhite(double w, double a)
{
    return HXColor(Space::CalibratedWhite, w, 0, 0, a);
}

HXColor HXColor::colorWithDeviceWhite(double w, double a)
{
    return HXColor(Space::DeviceWhite, w, 0, 0, a);
}

HXColor HXColor::blackColor()
{
    return colorWithCalibratedWhite(0, 1);
}
HXColor HXColor::whiteColor()
{
    return colorWithCalibratedWhite(1, 1);
}
HXColor HXColor::clearColor()
{
    return colorWithCalibratedWhite(0, 0);
}
HXColor HXColor::grayColor()
{
    return colorWithCalibratedWhite(0.5, 1);
}
HXColor HXColor::lightGrayColor()
{
    return colorWithCalibratedWhite(2.0 / 3.0, 1);
}
HXColor HXColor::darkGrayColor()
{
    return colorWithCalibratedWhite(1.0 / 3.0, 1);
}
HXColor HXColor::redColor()
{
    return colorWithCalibratedRed(1, 0, 0, 1);
}
HXColor HXColor::greenColor()
{
    return colorWithCalibratedRed(0, 1, 0, 1);
}
HXColor HXColor::blueColor()
{
    return colorWithCalibratedRed(0, 0, 1, 1);
}
HXColor HXColor::yellowColor()
{
    return colorWithCalibratedRed(1, 1, 0, 1);
}
HXColor HXColor::orangeColor()
{
    return colorWithCalibratedRed(1, 0.5, 0, 1);
}

HXColor HXColor::controlColor()
{
    return colorWithCalibratedWhite(0.91, 1);
}
HXColor HXColor::controlBackgroundColor()
{
    return whiteColor();
}
HXColor HXColor::controlTextColor()
{
    return blackColor();
}
HXColor HXColor::disabledControlTextColor()
{
    return colorWithCalibratedWhite(0, 0.25);
}
HXColor HXColor::selectedControlColor()
{
    return colorWithCalibratedRed(0.71, 0.84, 1.0, 1);
}
HXColor HXColor::alternateSelectedControlColor()
{
    return colorWithCalibratedRed(0.22, 0.46, 0.84, 1);
}
HXColor HXColor::selectedTextBackgroundColor()
{
    return colorWithCalibratedRed(0.71, 0.84, 1.0, 1);
}
HXColor HXColor::windowBackgroundColor()
{
    return colorWithCalibratedWhite(0.93, 1);
}
HXColor HXColor::textColor()
{
    return blackColor();
}
HXColor HXColor::textBackgroundColor()
{
    return whiteColor();
}
HXColor HXColor::keyboardFocusIndicatorColor()
{
    return colorWithCalibratedRed(0.23, 0.52, 0.95, 0.8);
}
HXColor HXColor::gridColor()
{
    return colorWithCalibratedWhite(0.8, 1);
}

std::string HXColor::colorSpaceName() const
{
    switch (_space) {
    case Space::CalibratedRGB:
        return HXCalibratedRGBColorSpace;
    case Space::DeviceRGB:
        return HXDeviceRGBColorSpace;
    case Space::CalibratedWhite:
        return HXCalibratedWhiteColorSpace;
    case Space::DeviceWhite:
        return HXDeviceWhiteColorSpace;
    }
    return HXCalibratedWhiteColorSpace;
}

std::optional<HXColor> HXColor::colorUsingColorSpaceName(std::string_view name) const
{
    if (name == HXCalibratedRGBColorSpace)
        return colorUsingSpace(Space::CalibratedRGB);
    if (name == HXDeviceRGBColorSpace)
        return colorUsingSpace(Space::DeviceRGB);
    if (name == HXCalibratedWhiteColorSpace)
        return colorUsingSpace(Space::CalibratedWhite);
    if (name == HXDeviceWhiteColorSpace)
        return colorUsingSpace(Space::DeviceWhite);
    return std::nullopt;
}

HXColor HXColor::colorUsingSpace(Space space) const
{
    if (space == _space)
        return *this;
    if (isWhiteSpace(space))
        return HXColor(space, whiteComponent(), 0, 0, _alpha);
    return HXColor(space, redComponent(), greenComponent(), blueComponent(), _alpha);
}

double HXColor::redComponent() const
{
    return _c[0];
}
double HXColor::greenComponent() const
{
    return isWhiteSpace(_space) ? _c[0] : _c[1];
}
double HXColor::blueComponent() const
{
    return isWhiteSpace(_space) ? _c[0] : _c[2];
}

double HXColor::whiteComponent() const
{
    return isWhiteSpace(_space) ? _c[0] : clampComponent(luminance(_c[0], _c[1], _c[2]));
}

void HXColor::getRed(double* red, double* green, double* blue, double* alpha) const
{
    if (red)
        *red = redComponent();
    if (green)
        *green = greenComponent();
    if (blue)
        *blue = blueComponent();
    if (alpha)
        *alpha = _alpha;
}

void HXColor::getWhite(double* white, double* alpha) const
{
    if (white)
        *white = whiteComponent();
    if (alpha)
        *alpha = _alpha;
}

HXColor HXColor::colorWithAlphaComponent(double alpha) const
{
    HXColor c = *this;
    c._alpha = clampComponent(alpha);
    return c;
}

HXColor HXColor::blendedColorWithFraction(double fraction, const HXColor& other) const
{
    double f = clampComponent(fraction);
    Space space = isDeviceSpace(_space) ? Space::DeviceRGB : Space::CalibratedRGB;
    auto mix = [f](double a, double b) { return a + (b - a) * f; };
    return HXColor(space, mix(redComponent(), other.redComponent()),
        mix(greenComponent(), other.greenComponent()), mix(blueComponent(), other.blueComponent()),
        mix(_alpha, other._alpha));
}

HXData HXColor::archivedData() const
{
    std::vector<uint8_t> out(std::begin(archiveMagic), std::end(archiveMagic));
    out.push_back(archiveVersion);
    out.push_back(uint8_t(_space));
    bool white = isWhiteSpace(_space);
    out.push_back(white ? 2 : 4);
    if (white) {
        putDouble(out, _c[0]);
    } else {
        for (double c : _c)
            putDouble(out, c);
    }
    putDouble(out, _alpha);
    return HXData(std::move(out));
}

std::optional<HXColor> HXColor::colorWithArchivedData(const HXData& data)
{
    const auto& b = data.bytes;
    constexpr size_t header = 7;
    if (b.size() < header || std::memcmp(b.data(), archiveMagic, 4) != 0 || b[4] != archiveVersion)
        return std::nullopt;
    if (b[5] > uint8_t(Space::DeviceWhite))
        return std::nullopt;
    Space space = Space(b[5]);
    size_t count = isWhiteSpace(space) ? 2 : 4;
    if (b[6] != count || b.size() != header + 8 * count)
        return std::nullopt;
    double v[4] = { 0, 0, 0, 0 };
    for (size_t i = 0; i < count; ++i) {
        v[i] = getDouble(b.data() + header + 8 * i);
        if (!std::isfinite(v[i]) || v[i] < 0 || v[i] > 1)
            return std::nullopt;
    }
    if (count == 2)
        return HXColor(space, v[0], 0, 0, v[1]);
    return HXColor(space, v[0], v[1], v[2], v[3]);
}
