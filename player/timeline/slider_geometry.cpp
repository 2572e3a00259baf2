#include "player/timeline/slider_geometry.h"

#include <algorithm>
#include <cmath>

namespace MVPSliderGeometry {

namespace {

// The knobs' travel is the width less the track's margins and half a knob on either side.
constexpr double kKnobTravelMargin = 17;

double R(double v)
{
    return std::round(v); // halves away from zero
}

// A percent that is a number in 0..1 whatever the arithmetic gave (NaN counts as the start).
double clampedPercent(double p)
{
    if (!(p > 0))
        return 0;
    return std::min(p, 1.0);
}

} // namespace

HXSize playheadSize(unsigned style)
{
    return style == kFullScreenStyle ? HXSize { 9, 9 } : HXSize { 13, 12 };
}

HXRect trackFrame(double width, unsigned style)
{
    if (style == kFullScreenStyle)
        return HXMakeRect(0, 0, width, 13);
    return HXMakeRect(8, 6, width - 16, 8);
}

HXRect ticksFrame(double width)
{
    return HXMakeRect(8, 1, width - 16, 7);
}

HXPoint playheadOrigin(double width, unsigned style, double currentTimePercent)
{
    if (style == kFullScreenStyle)
        return { R((width - 13) * currentTimePercent) + 2, 2 };
    return { R((width - kKnobTravelMargin) * currentTimePercent) + 2, 6 };
}

HXPoint startMarkerOrigin(double width, double selectionStartPercent)
{
    return { R((width - kKnobTravelMargin) * selectionStartPercent), 1 };
}

HXPoint endMarkerOrigin(double width, double selectionEndPercent)
{
    return { R((width - kKnobTravelMargin) * selectionEndPercent) + 8, 1 };
}

double knobDragPercent(double x, double width)
{
    double travel = width - kKnobTravelMargin;
    if (!(travel > 0))
        return 0;
    return clampedPercent(std::min(std::max(x - 8.5, 0.0), travel) / travel);
}

double stripPercent(double x, double width)
{
    if (!(width > 0))
        return 0;
    return clampedPercent(std::min(std::max(x, 0.0), width) / width);
}

HXRect selectionRect(HXRect bounds, double s, double d, bool inset)
{
    HXRect b = inset
        ? HXMakeRect(bounds.origin.x, bounds.origin.y + 1, bounds.size.width, bounds.size.height - 2)
        : bounds;
    double w = b.size.width;
    double x0 = R(s * w);
    return HXMakeRect(b.origin.x + x0, b.origin.y, R(w * (s + d)) - x0, b.size.height);
}

HXRect selectionInvalidationRect(HXRect bounds, double s, double d)
{
    HXRect r = selectionRect(bounds, s, d, false);
    return HXMakeRect(r.origin.x - 1, r.origin.y, r.size.width + 2, r.size.height);
}

DropCandidate nearestDropCandidate(const std::vector<DropCandidate>& candidates, double x)
{
    DropCandidate best = candidates.front();
    double bestDistance = std::abs(x - best.x);
    for (size_t i = 1; i < candidates.size(); ++i) {
        double distance = std::abs(x - candidates[i].x);
        if (distance < bestDistance) {
            best = candidates[i];
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace MVPSliderGeometry
