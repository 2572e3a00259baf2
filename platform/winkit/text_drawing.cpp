#include "platform/winkit/text_drawing.h"

#include "platform/drawing/graphics_context.h"

#include <pango/pangocairo.h>

namespace winkit {
namespace {

PangoLayout* makeLayout(cairo_t* cr, const std::string& text, const TextStyle& style, double width)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_absolute_size(font, style.size * PANGO_SCALE);
    pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), int(text.size()));
    if (width > 0) {
        pango_layout_set_width(layout, int(width * PANGO_SCALE));
        if (style.wrap)
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        else
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    if (style.centered)
        pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    return layout;
}

}  // namespace

HXSize measureText(const std::string& text, const TextStyle& style, double width)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    PangoLayout* layout = makeLayout(cr, text, style, style.wrap ? width : 0);
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return { double(w) / PANGO_SCALE, double(h) / PANGO_SCALE };
}

void drawText(const std::string& text, HXRect rect, const TextStyle& style)
{
    auto context = HXGraphicsContext::currentContext();
    if (!context || text.empty())
        return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    PangoLayout* layout = makeLayout(cr, text, style, rect.size.width);
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    double textHeight = double(h) / PANGO_SCALE;
    // Device rows go downwards; a user space whose y goes up (unflipped view) needs the text turned over.
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    bool yUp = m.yy < 0;
    double top = yUp ? HXMaxY(rect) : HXMinY(rect);
    double inset = style.wrap ? 0 : std::max(0.0, (rect.size.height - textHeight) / 2);
    cairo_translate(cr, rect.origin.x, top);
    if (yUp)
        cairo_scale(cr, 1, -1);
    cairo_translate(cr, 0, inset);
    cairo_set_source_rgba(cr, style.color.redComponent(), style.color.greenComponent(), style.color.blueComponent(),
        style.color.alphaComponent());
    pango_cairo_update_layout(cr, layout);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_restore(cr);
}

}  // namespace winkit

namespace winkit {

void fillRect(HXRect rect, const HXColor& color, bool copy)
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_set_operator(cr, copy ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
    cairo_set_source_rgba(cr, color.redComponent(), color.greenComponent(), color.blueComponent(), color.alphaComponent());
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_fill(cr);
    cairo_restore(cr);
}

void strokeRect(HXRect rect, const HXColor& color, double width)
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    cairo_t* cr = context->cairo();
    cairo_save(cr);
    cairo_set_source_rgba(cr, color.redComponent(), color.greenComponent(), color.blueComponent(), color.alphaComponent());
    cairo_set_line_width(cr, width);
    rect = HXInsetRect(rect, width / 2, width / 2);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_stroke(cr);
    cairo_restore(cr);
}

}  // namespace winkit
