#include "platform/drawing/text_internal.h"

#include <pango/pangocairo.h>

namespace hx_text {
namespace {

void configure(PangoContext* context, cairo_antialias_t antialias)
{
    pango_cairo_context_set_resolution(context, 72);
    // Unhinted metrics and unrounded positions: a string measures the same wherever it is drawn.
    pango_context_set_round_glyph_positions(context, FALSE);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, antialias);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
}

struct MeasuringContext {
    PangoContext* context;
    MeasuringContext()
        : context(pango_font_map_create_context(pango_cairo_font_map_get_default()))
    {
        configure(context, CAIRO_ANTIALIAS_GRAY);
    }
    ~MeasuringContext() { g_object_unref(context); }
};

} // namespace

PangoContext* measuringContext()
{
    thread_local MeasuringContext measuring;
    return measuring.context;
}

PangoContext* createDrawingContext(cairo_t* cr, bool antialias)
{
    PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    // Grayscale smoothing (our surfaces have no subpixel order); without antialiasing, plain pixels.
    configure(context, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    pango_cairo_update_context(cr, context);
    return context;
}

} // namespace hx_text
