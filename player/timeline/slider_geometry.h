#pragma once
// The timeline slider's arithmetic: where its parts sit for a width and a style, which fraction of the
// source's range a mouse position stands for, the selection band of the track and the choice of the drop
// position. Pure functions, shared by the slider's views and their tests.
//
// Positions are "percents": fractions 0..1 of the media source's range. Widths are points; R(v) rounds to
// the nearest whole number with halves away from zero.
#include "platform/drawing/geometry.h"

#include <vector>

namespace MVPSliderGeometry {

// The two looks: the player window's controls bar and the full-screen controls.
inline constexpr unsigned kPlayerStyle = 0;
inline constexpr unsigned kFullScreenStyle = 1;

inline constexpr HXSize kMarkerSize { 9, 13 };
inline constexpr HXSize kDragIndicatorSize { 3, 13 };
HXSize playheadSize(unsigned style);

// Frames in the slider view of width `width`.
HXRect trackFrame(double width, unsigned style);
HXRect ticksFrame(double width);

// Knob origins for the source's percents.
HXPoint playheadOrigin(double width, unsigned style, double currentTimePercent);
HXPoint startMarkerOrigin(double width, double selectionStartPercent);
HXPoint endMarkerOrigin(double width, double selectionEndPercent);

// The percent a knob dragged to `x` (slider coordinates) stands for. The knobs travel over width − 17
// points; a slider with no room for that maps every position to the start.
double knobDragPercent(double x, double width);
// The percent of a click or drag at `x` on the track or the tick strip (their own coordinates, `width`
// wide); a strip without width maps to the start.
double stripPercent(double x, double width);

// The track's selection band for start `s` and length `d` (percents) within `bounds`; with `inset` one
// point shorter at the top and the bottom.
HXRect selectionRect(HXRect bounds, double s, double d, bool inset);
// What to redraw for a band: the band without inset, one point wider on each side.
HXRect selectionInvalidationRect(HXRect bounds, double s, double d);

// A place a drop may snap to: its x in the slider's coordinates and the percent it inserts at.
struct DropCandidate {
    double x = 0;
    double percent = 0;
};
// The candidate nearest to `x`; on a tie the earlier one wins. `candidates` must not be empty.
DropCandidate nearestDropCandidate(const std::vector<DropCandidate>& candidates, double x);

} // namespace MVPSliderGeometry
