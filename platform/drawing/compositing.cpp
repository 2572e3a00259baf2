// Compositing operations in cairo terms, including the ones cairo has no operator for.
#include "platform/drawing/drawing_internal.h"

#include <algorithm>
#include <cstdint>

namespace hx_drawing {
namespace {

bool cairoOperatorFor(HXCompositingOperation op, cairo_operator_t* out)
{
    switch (op) {
    case HXCompositeClear:
        *out = CAIRO_OPERATOR_CLEAR;
        return true;
    case HXCompositeCopy:
        *out = CAIRO_OPERATOR_SOURCE;
        return true;
    case HXCompositeSourceOver:
        *out = CAIRO_OPERATOR_OVER;
        return true;
    case HXCompositeSourceIn:
        *out = CAIRO_OPERATOR_IN;
        return true;
    case HXCompositeSourceOut:
        *out = CAIRO_OPERATOR_OUT;
        return true;
    case HXCompositeSourceAtop:
        *out = CAIRO_OPERATOR_ATOP;
        return true;
    case HXCompositeDestinationOver:
        *out = CAIRO_OPERATOR_DEST_OVER;
        return true;
    case HXCompositeDestinationIn:
        *out = CAIRO_OPERATOR_DEST_IN;
        return true;
    case HXCompositeDestinationOut:
        *out = CAIRO_OPERATOR_DEST_OUT;
        return true;
    case HXCompositeDestinationAtop:
        *out = CAIRO_OPERATOR_DEST_ATOP;
        return true;
    case HXCompositeXOR:
        *out = CAIRO_OPERATOR_XOR;
        return true;
    case HXCompositePlusLighter:
        *out = CAIRO_OPERATOR_ADD;
        return true;
    case HXCompositePlusDarker:
        return false;
    }
    *out = CAIRO_OPERATOR_OVER; // an unknown number draws as the default
    return true;
}

// Operators cairo confines to the drawn shape; the others (in, out, dest-in, dest-atop) reach the
// whole clip.
bool isBoundedByShape(cairo_operator_t op)
{
    return op != CAIRO_OPERATOR_IN && op != CAIRO_OPERATOR_OUT && op != CAIRO_OPERATOR_DEST_IN
        && op != CAIRO_OPERATOR_DEST_ATOP;
}

// Copies what the drawing target holds into the current group, in device space.
void copyParentInto(cairo_t* cr, cairo_surface_t* parent)
{
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, parent, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
}

// dst = plus-darker(src, dst), premultiplied ARGB32, for every pixel the two surfaces share in
// device space.
void blendPlusDarker(cairo_surface_t* srcSurface, cairo_surface_t* dstSurface)
{
    cairo_surface_flush(srcSurface);
    cairo_surface_flush(dstSurface);
    double sox = 0, soy = 0, dox = 0, doy = 0;
    cairo_surface_get_device_offset(srcSurface, &sox, &soy);
    cairo_surface_get_device_offset(dstSurface, &dox, &doy);
    cairo_surface_t* src = cairo_surface_map_to_image(srcSurface, nullptr);
    cairo_surface_t* dst = cairo_surface_map_to_image(dstSurface, nullptr);
    if (cairo_image_surface_get_format(src) == CAIRO_FORMAT_ARGB32
        && cairo_image_surface_get_format(dst) == CAIRO_FORMAT_ARGB32) {
        int sw = cairo_image_surface_get_width(src), sh = cairo_image_surface_get_height(src);
        int dw = cairo_image_surface_get_width(dst), dh = cairo_image_surface_get_height(dst);
        int sstride = cairo_image_surface_get_stride(src), dstride = cairo_image_surface_get_stride(dst);
        const unsigned char* sdata = cairo_image_surface_get_data(src);
        unsigned char* ddata = cairo_image_surface_get_data(dst);
        // Pixel (i, j) of src is device point (i − sox, j − soy), pixel (i − sox + dox, ...) of dst.
        int shiftX = int(dox - sox), shiftY = int(doy - soy);
        for (int j = 0; j < sh; ++j) {
            int dj = j + shiftY;
            if (dj < 0 || dj >= dh)
                continue;
            auto* srow = reinterpret_cast<const uint32_t*>(sdata + size_t(j) * sstride);
            auto* drow = reinterpret_cast<uint32_t*>(ddata + size_t(dj) * dstride);
            for (int i = 0; i < sw; ++i) {
                int di = i + shiftX;
                if (di < 0 || di >= dw)
                    continue;
                uint32_t s = srow[i];
                uint32_t sa = s >> 24;
                if (sa == 0)
                    continue;
                uint32_t d = drow[di];
                uint32_t da = d >> 24;
                uint32_t out = 0;
                uint32_t ra = sa + da - (sa * da + 127) / 255;
                out |= std::min<uint32_t>(ra, 255) << 24;
                for (int shift = 0; shift <= 16; shift += 8) {
                    int sc = int((s >> shift) & 0xff), dc = int((d >> shift) & 0xff);
                    // sa·da·max(0, s/sa + d/da − 1) + s·(1 − da) + d·(1 − sa), in 0…255 units.
                    int burn = std::max(0, sc * int(da) + dc * int(sa) - int(sa * da));
                    int v = (burn + sc * (255 - int(da)) + dc * (255 - int(sa)) + 127) / 255;
                    out |= uint32_t(std::clamp(v, 0, int(std::min<uint32_t>(ra, 255)))) << shift;
                }
                drow[di] = out;
            }
        }
    }
    cairo_surface_unmap_image(srcSurface, src);
    cairo_surface_unmap_image(dstSurface, dst);
    cairo_surface_mark_dirty(dstSurface);
}

// A group holding (source op destination) over the clip, as a pattern (caller destroys).
cairo_pattern_t* composedGroup(cairo_t* cr, HXCompositingOperation op, double alpha)
{
    cairo_surface_t* parent = cairo_get_group_target(cr);
    cairo_pattern_t* source = cairo_pattern_reference(cairo_get_source(cr));
    cairo_push_group(cr);
    copyParentInto(cr, parent);
    cairo_set_source(cr, source);
    paintWithOperation(cr, op, alpha);
    cairo_pattern_destroy(source);
    return cairo_pop_group(cr);
}

} // namespace

void setSourceColor(cairo_t* cr, const HXColor& color)
{
    cairo_set_source_rgba(
        cr, color.redComponent(), color.greenComponent(), color.blueComponent(), color.alphaComponent());
}

void paintWithOperation(cairo_t* cr, HXCompositingOperation op, double alpha)
{
    alpha = std::clamp(alpha, 0.0, 1.0);
    cairo_operator_t cop;
    if (cairoOperatorFor(op, &cop)) {
        cairo_save(cr);
        cairo_set_operator(cr, cop);
        if (alpha >= 1)
            cairo_paint(cr);
        else
            cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
        return;
    }
    // Plus-darker: the source alone in one group, the destination copied into another, blended by
    // hand, and the result put back through the clip.
    cairo_surface_t* parent = cairo_get_group_target(cr);
    cairo_save(cr);
    cairo_push_group(cr);
    copyParentInto(cr, parent);
    cairo_push_group(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_t* sourceGroup = cairo_pop_group(cr);
    cairo_surface_t* sourceSurface = nullptr;
    if (cairo_pattern_get_surface(sourceGroup, &sourceSurface) == CAIRO_STATUS_SUCCESS)
        blendPlusDarker(sourceSurface, cairo_get_group_target(cr));
    cairo_pattern_destroy(sourceGroup);
    cairo_pop_group_to_source(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
}

void drawWithOperation(cairo_t* cr, HXCompositingOperation op, const std::function<void(cairo_t*)>& coverage)
{
    cairo_operator_t cop;
    if (cairoOperatorFor(op, &cop) && isBoundedByShape(cop)) {
        cairo_save(cr);
        cairo_set_operator(cr, cop);
        coverage(cr);
        cairo_restore(cr);
        return;
    }
    cairo_save(cr);
    // The shape's coverage alone, drawn in opaque black so that the source's own alpha is not counted twice.
    cairo_pattern_t* source = cairo_pattern_reference(cairo_get_source(cr));
    cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    coverage(cr);
    cairo_pattern_t* mask = cairo_pop_group(cr);
    cairo_set_source(cr, source);
    cairo_pattern_t* composed = composedGroup(cr, op, 1);
    // Where the mask covers, the composed result replaces the destination; elsewhere nothing changes.
    cairo_set_source(cr, composed);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(composed);
    cairo_pattern_destroy(mask);
    cairo_pattern_destroy(source);
    cairo_restore(cr);
}

cairo_filter_t cairoFilter(HXImageInterpolation interpolation)
{
    switch (interpolation) {
    case HXImageInterpolationNone:
        return CAIRO_FILTER_NEAREST;
    case HXImageInterpolationLow:
        return CAIRO_FILTER_FAST;
    case HXImageInterpolationHigh:
        return CAIRO_FILTER_BEST;
    case HXImageInterpolationDefault:
        break;
    }
    return CAIRO_FILTER_GOOD;
}

} // namespace hx_drawing
