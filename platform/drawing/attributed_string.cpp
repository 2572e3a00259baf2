#include "platform/drawing/attributed_string.h"

#include "platform/drawing/drawing_internal.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/text_internal.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double defaultFontSize = 12;

const HXFont& defaultFont()
{
    thread_local const HXFont font = HXFont::systemFontOfSize(defaultFontSize);
    return font;
}

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Pango wants valid UTF-8; a stray byte becomes '?' so that byte offsets of the runs stay put.
std::string validUTF8(const std::string& s)
{
    std::string out = s;
    const char* end = nullptr;
    size_t offset = 0;
    while (!g_utf8_validate(out.data() + offset, gssize(out.size() - offset), &end)) {
        offset = size_t(end - out.data());
        if (offset >= out.size())
            break;
        out[offset] = '?';
    }
    return out;
}

HXParagraphStyle paragraphStyleOf(const HXAttributedString& s)
{
    HXRange run;
    for (size_t i = 0; i < s.length(); i = run.location + std::max<size_t>(run.length, 1)) {
        HXStringAttributes a = s.attributesAtIndex(i, &run);
        if (a.paragraphStyle)
            return *a.paragraphStyle;
    }
    return {};
}

std::optional<HXShadow> shadowOf(const HXAttributedString& s)
{
    HXRange run;
    for (size_t i = 0; i < s.length(); i = run.location + std::max<size_t>(run.length, 1)) {
        HXStringAttributes a = s.attributesAtIndex(i, &run);
        if (a.shadow)
            return a.shadow;
    }
    return std::nullopt;
}

bool limitsWidth(double width)
{
    return width >= 0 && std::isfinite(width);
}

// Whether the layout is made to the width by Pango (wrapping, truncating) rather than clipped by us.
bool pangoHandlesWidth(HXLineBreakMode mode)
{
    return mode != HXLineBreakByClipping;
}

HXSize logicalSize(PangoLayout* layout)
{
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return { double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE };
}

// Horizontal offset of a clipped (unwrapped) layout of `textWidth` within `width`.
double alignmentOffset(HXTextAlignment alignment, double width, double textWidth)
{
    switch (alignment) {
    case HXCenterTextAlignment:
        return (width - textWidth) / 2;
    case HXRightTextAlignment:
        return width - textWidth;
    default:
        return 0;
    }
}

// Three box blurs approximate a Gaussian; works on an A8 (or ARGB32 alpha) image in place.
void blurAlpha(cairo_surface_t* surface, int radius)
{
    cairo_surface_flush(surface);
    cairo_surface_t* image = cairo_surface_map_to_image(surface, nullptr);
    cairo_format_t format = cairo_image_surface_get_format(image);
    if (radius > 0 && (format == CAIRO_FORMAT_A8 || format == CAIRO_FORMAT_ARGB32)) {
        int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
        int stride = cairo_image_surface_get_stride(image);
        unsigned char* data = cairo_image_surface_get_data(image);
        std::vector<uint8_t> a(size_t(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                a[size_t(y) * w + x] = format == CAIRO_FORMAT_A8
                    ? data[size_t(y) * stride + x]
                    : uint8_t(reinterpret_cast<const uint32_t*>(data + size_t(y) * stride)[x] >> 24);
            }
        }
        std::vector<uint8_t> tmp(a.size());
        int window = 2 * radius + 1;
        auto pass = [&](bool horizontal) {
            int lines = horizontal ? h : w, len = horizontal ? w : h;
            for (int l = 0; l < lines; ++l) {
                auto at = [&](int i) -> uint8_t& {
                    return horizontal ? a[size_t(l) * w + i] : a[size_t(i) * w + l];
                };
                auto out = [&](int i) -> uint8_t& {
                    return horizontal ? tmp[size_t(l) * w + i] : tmp[size_t(i) * w + l];
                };
                int sum = 0;
                for (int i = -radius; i <= radius; ++i)
                    sum += (i >= 0 && i < len) ? at(i) : 0;
                for (int i = 0; i < len; ++i) {
                    out(i) = uint8_t(sum / window);
                    int add = i + radius + 1, drop = i - radius;
                    sum += (add < len ? at(add) : 0) - (drop >= 0 ? at(drop) : 0);
                }
            }
            a.swap(tmp);
        };
        for (int k = 0; k < 3; ++k) {
            pass(true);
            pass(false);
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t v = a[size_t(y) * w + x];
                if (format == CAIRO_FORMAT_A8)
                    data[size_t(y) * stride + x] = v;
                else
                    reinterpret_cast<uint32_t*>(data + size_t(y) * stride)[x] = uint32_t(v) << 24;
            }
        }
    }
    cairo_surface_unmap_image(surface, image);
    cairo_surface_mark_dirty(surface);
}

void drawShadow(
    cairo_t* cr, PangoLayout* layout, double x, double y, const HXShadow& shadow, double deviceScale)
{
    HXColor color = shadow.shadowColor.value_or(HXColor::blackColor().colorWithAlphaComponent(1.0 / 3.0));
    // Local space runs downwards on screen: a shadow offset upwards is a negative y here.
    double sx = x + shadow.shadowOffset.width, sy = y - shadow.shadowOffset.height;
    double blur
        = std::isfinite(shadow.shadowBlurRadius) ? std::clamp(shadow.shadowBlurRadius, 0.0, 100.0) : 0;
    cairo_save(cr);
    if (blur <= 0) {
        cairo_move_to(cr, sx, sy);
        pango_cairo_layout_path(cr, layout);
        hx_drawing::setSourceColor(cr, color);
        cairo_fill(cr);
        cairo_restore(cr);
        return;
    }
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    double margin = blur * 2;
    cairo_new_path(cr);
    cairo_rectangle(cr, sx + double(ink.x) / PANGO_SCALE - margin, sy + double(ink.y) / PANGO_SCALE - margin,
        double(ink.width) / PANGO_SCALE + 2 * margin, double(ink.height) / PANGO_SCALE + 2 * margin);
    cairo_clip(cr);
    cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
    cairo_move_to(cr, sx, sy);
    pango_cairo_layout_path(cr, layout);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    cairo_fill(cr);
    cairo_pattern_t* mask = cairo_pop_group(cr);
    cairo_surface_t* surface = nullptr;
    if (cairo_pattern_get_surface(mask, &surface) == CAIRO_STATUS_SUCCESS)
        blurAlpha(surface, std::max(1, int(std::lround(blur * deviceScale / 2))));
    hx_drawing::setSourceColor(cr, color);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(mask);
    cairo_restore(cr);
}

// Lays `text` out and draws it with the top-left of its box at `topLeft` (user space); `width` < 0 for
// no limit; `clip` is the rectangle to clip to, when drawing in a rectangle.
void drawText(const HXAttributedString& text, const HXPoint& anchor, bool anchorIsTop, double width,
    const std::optional<HXRect>& clip)
{
    auto context = HXGraphicsContext::currentContext();
    if (!context || text.length() == 0)
        return;
    cairo_t* cr = context->cairo();
    HXParagraphStyle style = paragraphStyleOf(text);
    cairo_save(cr);
    if (clip)
        context->clipToRect(*clip);
    // A local space with y running down the screen from the anchor.
    cairo_translate(cr, anchor.x, anchor.y);
    if (!context->isFlipped())
        cairo_scale(cr, 1, -1);
    PangoContext* pango = hx_text::createDrawingContext(cr, context->shouldAntialias());
    bool limited = limitsWidth(width);
    PangoLayout* layout
        = text.createLayout(pango, (limited && pangoHandlesWidth(style.lineBreakMode)) ? width : -1);
    HXSize size = logicalSize(layout);
    double x = 0, y = anchorIsTop ? 0 : -size.height;
    if (limited && !pangoHandlesWidth(style.lineBreakMode))
        x = alignmentOffset(style.alignment, width, size.width);
    double m[2] = { 1, 0 };
    cairo_user_to_device_distance(cr, &m[0], &m[1]);
    if (auto shadow = shadowOf(text))
        drawShadow(cr, layout, x, y, *shadow, std::hypot(m[0], m[1]));
    cairo_move_to(cr, x, y);
    hx_drawing::setSourceColor(cr, HXColor::blackColor());
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    g_object_unref(pango);
    cairo_restore(cr);
}

HXRect measure(const HXAttributedString& text, double width)
{
    if (text.length() == 0)
        return HXZeroRect;
    HXParagraphStyle style = paragraphStyleOf(text);
    bool limited = limitsWidth(width) && width > 0;
    PangoLayout* layout = text.createLayout(
        hx_text::measuringContext(), (limited && pangoHandlesWidth(style.lineBreakMode)) ? width : -1);
    HXSize size = logicalSize(layout);
    g_object_unref(layout);
    if (limited)
        size.width = std::min(size.width, width);
    return { {}, size };
}

} // namespace

HXStringAttributes HXStringAttributes::mergedWith(const HXStringAttributes& other) const
{
    HXStringAttributes m = *this;
    if (other.font)
        m.font = other.font;
    if (other.foregroundColor)
        m.foregroundColor = other.foregroundColor;
    if (other.paragraphStyle)
        m.paragraphStyle = other.paragraphStyle;
    if (other.underlineStyle)
        m.underlineStyle = other.underlineStyle;
    if (other.shadow)
        m.shadow = other.shadow;
    return m;
}

HXAttributedString::HXAttributedString(std::string string, HXStringAttributes attributes)
    : _string(std::move(string))
{
    if (!_string.empty())
        _runs.push_back({ 0, _string.size(), std::move(attributes) });
}

void HXAttributedString::normalize()
{
    std::vector<Run> merged;
    for (auto& run : _runs) {
        if (run.length == 0)
            continue;
        if (!merged.empty() && merged.back().attributes == run.attributes)
            merged.back().length += run.length;
        else
            merged.push_back(std::move(run));
    }
    _runs = std::move(merged);
}

void HXAttributedString::setAttributes(const HXStringAttributes& attributes, HXRange range)
{
    size_t len = _string.size();
    if (range.location == HXNotFound || range.location >= len)
        return;
    size_t start = range.location;
    size_t end = range.length > len - start ? len : start + range.length;
    while (start > 0 && isContinuationByte(_string[start]))
        --start;
    while (end < len && isContinuationByte(_string[end]))
        ++end;
    if (start >= end)
        return;
    std::vector<Run> out;
    for (const auto& run : _runs) {
        size_t rs = run.start, re = run.start + run.length;
        if (re <= start || rs >= end) {
            out.push_back(run);
            continue;
        }
        if (rs < start)
            out.push_back({ rs, start - rs, run.attributes });
        if (re > end)
            out.push_back({ end, re - end, run.attributes });
    }
    out.push_back({ start, end - start, attributes });
    std::sort(out.begin(), out.end(), [](const Run& a, const Run& b) { return a.start < b.start; });
    _runs = std::move(out);
    normalize();
}

void HXAttributedString::addAttributes(const HXStringAttributes& attributes, HXRange range)
{
    size_t len = _string.size();
    if (range.location == HXNotFound || range.location >= len)
        return;
    size_t start = range.location;
    size_t end = range.length > len - start ? len : start + range.length;
    while (start > 0 && isContinuationByte(_string[start]))
        --start;
    while (end < len && isContinuationByte(_string[end]))
        ++end;
    std::vector<Run> out;
    for (const auto& run : _runs) {
        size_t rs = run.start, re = run.start + run.length;
        if (re <= start || rs >= end) {
            out.push_back(run);
            continue;
        }
        size_t ms = std::max(rs, start), me = std::min(re, end);
        if (rs < ms)
            out.push_back({ rs, ms - rs, run.attributes });
        out.push_back({ ms, me - ms, run.attributes.mergedWith(attributes) });
        if (me < re)
            out.push_back({ me, re - me, run.attributes });
    }
    _runs = std::move(out);
    normalize();
}

HXStringAttributes HXAttributedString::attributesAtIndex(size_t index, HXRange* effectiveRange) const
{
    for (const auto& run : _runs) {
        if (index >= run.start && index < run.start + run.length) {
            if (effectiveRange)
                *effectiveRange = { run.start, run.length };
            return run.attributes;
        }
    }
    if (effectiveRange)
        *effectiveRange = { std::min(index, _string.size()), 0 };
    return {};
}

void HXAttributedString::appendAttributedString(const HXAttributedString& other)
{
    size_t offset = _string.size();
    _string += other._string;
    for (auto run : other._runs) {
        run.start += offset;
        _runs.push_back(std::move(run));
    }
    normalize();
}

PangoLayout* HXAttributedString::createLayout(PangoContext* context, double width) const
{
    PangoLayout* layout = pango_layout_new(context);
    std::string text = validUTF8(_string);
    pango_layout_set_text(layout, text.data(), int(text.size()));
    pango_layout_set_font_description(layout, defaultFont().pangoFontDescription());

    PangoAttrList* list = pango_attr_list_new();
    for (const auto& run : _runs) {
        auto insert = [&](PangoAttribute* attr) {
            attr->start_index = guint(run.start);
            attr->end_index = guint(run.start + run.length);
            pango_attr_list_insert(list, attr);
        };
        const auto& a = run.attributes;
        if (a.font)
            insert(pango_attr_font_desc_new(a.font->pangoFontDescription()));
        if (a.foregroundColor) {
            auto c16 = [](double v) { return guint16(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); };
            insert(pango_attr_foreground_new(c16(a.foregroundColor->redComponent()),
                c16(a.foregroundColor->greenComponent()), c16(a.foregroundColor->blueComponent())));
            insert(pango_attr_foreground_alpha_new(c16(a.foregroundColor->alphaComponent())));
        }
        if (a.underlineStyle && *a.underlineStyle != HXUnderlineStyleNone)
            insert(pango_attr_underline_new(*a.underlineStyle == HXUnderlineStyleDouble
                    ? PANGO_UNDERLINE_DOUBLE
                    : PANGO_UNDERLINE_SINGLE));
    }
    pango_layout_set_attributes(layout, list);
    pango_attr_list_unref(list);

    HXParagraphStyle style = paragraphStyleOf(*this);
    switch (style.alignment) {
    case HXRightTextAlignment:
        pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
        break;
    case HXCenterTextAlignment:
        pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
        break;
    case HXJustifiedTextAlignment:
        pango_layout_set_justify(layout, TRUE);
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        break;
    default:
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        break;
    }
    if (width >= 0 && std::isfinite(width)) {
        pango_layout_set_width(layout, int(std::min(width, 1e6) * PANGO_SCALE));
        switch (style.lineBreakMode) {
        case HXLineBreakByCharWrapping:
            pango_layout_set_wrap(layout, PANGO_WRAP_CHAR);
            break;
        case HXLineBreakByTruncatingHead:
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_START);
            break;
        case HXLineBreakByTruncatingTail:
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
            break;
        case HXLineBreakByTruncatingMiddle:
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE);
            break;
        default:
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
            break;
        }
    }
    return layout;
}

HXSize HXAttributedString::size() const
{
    return measure(*this, -1).size;
}

HXRect HXAttributedString::boundingRectWithSize(const HXSize& size, unsigned) const
{
    return measure(*this, size.width);
}

void HXAttributedString::drawAtPoint(const HXPoint& point) const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    drawText(*this, point, context->isFlipped(), -1, std::nullopt);
}

void HXAttributedString::drawInRect(const HXRect& rect) const
{
    auto context = HXGraphicsContext::currentContext();
    if (!context || HXIsEmptyRect(rect))
        return;
    HXPoint top { HXMinX(rect), context->isFlipped() ? HXMinY(rect) : HXMaxY(rect) };
    drawText(*this, top, true, rect.size.width, rect);
}

namespace HXStringDrawing {

HXSize sizeWithAttributes(const std::string& string, const HXStringAttributes& attributes)
{
    return HXAttributedString(string, attributes).size();
}

HXRect boundingRectWithSize(
    const std::string& string, const HXSize& size, unsigned options, const HXStringAttributes& attributes)
{
    return HXAttributedString(string, attributes).boundingRectWithSize(size, options);
}

void drawAtPoint(const std::string& string, const HXPoint& point, const HXStringAttributes& attributes)
{
    HXAttributedString(string, attributes).drawAtPoint(point);
}

void drawInRect(const std::string& string, const HXRect& rect, const HXStringAttributes& attributes)
{
    HXAttributedString(string, attributes).drawInRect(rect);
}

} // namespace HXStringDrawing
