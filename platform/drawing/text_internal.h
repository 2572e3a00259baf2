#pragma once
// Pango contexts shared by the text classes.
#include <cairo.h>

typedef struct _PangoContext PangoContext;

namespace hx_text {

// This thread's context for measuring: 72 dots per inch (one point is one unit), metrics not hinted, so
// that sizes do not depend on where the text is later drawn.
PangoContext* measuringContext();

// A new context for drawing into `cr` with the same settings and `cr`'s transform (caller unrefs).
PangoContext* createDrawingContext(cairo_t* cr, bool antialias);

} // namespace hx_text
