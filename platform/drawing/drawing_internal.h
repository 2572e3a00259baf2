#pragma once
// Helpers shared by the drawing classes: colours and compositing operations in cairo terms.
#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"

#include <cairo.h>

#include <functional>

namespace hx_drawing {

void setSourceColor(cairo_t* cr, const HXColor& color);

// Paints the current source through the current clip with `op`, its opacity multiplied by `alpha`. All
// operations act only inside the clip, as the drawing model wants: the ones cairo treats as unbounded
// (source-in and the like) are kept to the clip, and plus-darker, which cairo lacks, is done by hand.
void paintWithOperation(cairo_t* cr, HXCompositingOperation op, double alpha = 1);

// Draws a shape with `op`: `coverage` draws the shape (a stroke, glyphs) with the current source; for
// operations cairo can apply to a shape directly it is called once with the operation set, for the others
// the shape is first rendered as a coverage mask and the operation applied through it, so that pixels
// outside the shape keep what they had.
void drawWithOperation(cairo_t* cr, HXCompositingOperation op, const std::function<void(cairo_t*)>& coverage);

// Image interpolation as a cairo filter.
cairo_filter_t cairoFilter(HXImageInterpolation interpolation);

} // namespace hx_drawing
