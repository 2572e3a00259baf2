#include "platform/mvkit/playback/picture_compositor.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

MVAffine MVAffineForMatrixRecord(const MVMatrixRecord& matrix)
{
    auto f = [&](size_t i) { return double(matrix.values[i]) / 65536.0; };
    return { f(0), f(1), f(3), f(4), f(6), f(7) };
}

MVPictureBox MVPictureBoxForTrack(double width, double height, const MVAffine& m)
{
    if (!(width > 0 && height > 0))
        return {};
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (auto [x, y] : { std::pair { 0.0, 0.0 }, { width, 0.0 }, { 0.0, height }, { width, height } }) {
        double px = m.a * x + m.c * y + m.tx, py = m.b * x + m.d * y + m.ty;
        minX = std::min(minX, px);
        minY = std::min(minY, py);
        maxX = std::max(maxX, px);
        maxY = std::max(maxY, py);
    }
    if (!std::isfinite(minX) || !std::isfinite(minY) || !std::isfinite(maxX) || !std::isfinite(maxY))
        return {};
    return { minX, minY, maxX - minX, maxY - minY };
}

MVPictureBox MVPictureBoxUnion(const MVPictureBox& a, const MVPictureBox& b)
{
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    double x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return { x, y, std::max(a.x + a.width, b.x + b.width) - x, std::max(a.y + a.height, b.y + b.height) - y };
}

namespace {

// Where the picture's pixels land on the canvas.
cairo_matrix_t pictureToCanvas(
    const MVCompositedPicture& p, const MVPictureBox& box, int canvasWidth, int canvasHeight)
{
    cairo_matrix_t result, step;
    cairo_matrix_init_scale(&result, p.trackWidth / p.image->width, p.trackHeight / p.image->height);
    cairo_matrix_init(&step, p.matrix.a, p.matrix.b, p.matrix.c, p.matrix.d, p.matrix.tx, p.matrix.ty);
    cairo_matrix_multiply(&result, &result, &step);
    cairo_matrix_init_translate(&step, -box.x, -box.y);
    cairo_matrix_multiply(&result, &result, &step);
    cairo_matrix_init_scale(&step, canvasWidth / box.width, canvasHeight / box.height);
    cairo_matrix_multiply(&result, &result, &step);
    return result;
}

void paint(cairo_surface_t* target, cairo_surface_t* source, const cairo_matrix_t& matrix, double alpha,
    cairo_filter_t filter)
{
    cairo_t* cr = cairo_create(target);
    cairo_set_matrix(cr, &matrix);
    // The picture's edge pixels reach right to the edge of its box (not faded into what is outside),
    // and the box's edge is where the picture ends.
    cairo_rectangle(cr, 0, 0, cairo_image_surface_get_width(source), cairo_image_surface_get_height(source));
    cairo_clip(cr);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), filter);
    if (alpha >= 1)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, alpha);
    cairo_destroy(cr);
}

// Blend and transparent work channel by channel on what is behind: the picture is placed on a layer of
// its own first (covering the canvas from `left`, `top`), then combined pixel by pixel, in integers.
void combine(cairo_surface_t* canvas, cairo_surface_t* layer, int left, int top, const MVCompositedPicture& p)
{
    cairo_surface_flush(canvas);
    cairo_surface_flush(layer);
    const int width = cairo_image_surface_get_width(layer), height = cairo_image_surface_get_height(layer);
    unsigned char* dst = cairo_image_surface_get_data(canvas);
    const unsigned char* src = cairo_image_surface_get_data(layer);
    const int dstStride = cairo_image_surface_get_stride(canvas),
              srcStride = cairo_image_surface_get_stride(layer);
    // Memory order B, G, R, A; the operation colour is R, G, B. Weights in 256ths.
    auto weightOf = [](uint16_t c) { return int((uint32_t(c) * 256 + 32767) / 65535); };
    const int weight[4] = { weightOf(p.opColor[2]), weightOf(p.opColor[1]), weightOf(p.opColor[0]),
        (weightOf(p.opColor[0]) + weightOf(p.opColor[1]) + weightOf(p.opColor[2]) + 1) / 3 };
    const int key[3] = { p.opColor[2] >> 8, p.opColor[1] >> 8, p.opColor[0] >> 8 };
    // Lossy pictures seldom hit the key colour exactly.
    constexpr int kKeyTolerance = 6;
    constexpr int kScale = 256 * 255;
    for (int y = 0; y < height; ++y) {
        unsigned char* d = dst + size_t(y + top) * size_t(dstStride) + size_t(left) * 4;
        const unsigned char* s = src + size_t(y) * size_t(srcStride);
        for (int x = 0; x < width; ++x, d += 4, s += 4) {
            const int alpha = s[3];
            if (alpha == 0)
                continue;
            if (p.graphicsMode == MVGraphicsModeTransparent) {
                if (alpha == 255 && std::abs(s[0] - key[0]) <= kKeyTolerance
                    && std::abs(s[1] - key[1]) <= kKeyTolerance && std::abs(s[2] - key[2]) <= kKeyTolerance)
                    continue;
                for (int c = 0; c < 4; ++c)
                    d[c] = (unsigned char)(s[c] + (d[c] * (255 - alpha) + 127) / 255);
                continue;
            }
            // What is behind gives way by the weight where the picture covers it; the picture adds by
            // the weight (its pixels are premultiplied by their coverage already).
            for (int c = 0; c < 4; ++c) {
                const int w = weight[c];
                d[c] = (unsigned char)std::min(
                    255, (d[c] * (kScale - w * alpha) + s[c] * w * 255 + kScale / 2) / kScale);
            }
        }
    }
    cairo_surface_mark_dirty(canvas);
}

// A copy of the picture covered by the mask: each pixel keeps the part the mask's luminance at that
// place gives it (the mask is stretched over the whole picture). Null when the mask cannot be used.
cairo_surface_t* maskedPicture(cairo_surface_t* picture, const MVImageBuffer& mask)
{
    if (mask.width < 1 || mask.height < 1 || mask.bytesPerRow < mask.width * 4
        || mask.pixels.size() < size_t(mask.bytesPerRow) * size_t(mask.height))
        return nullptr;
    cairo_surface_t* coverage = cairo_image_surface_create(CAIRO_FORMAT_A8, mask.width, mask.height);
    if (cairo_surface_status(coverage) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(coverage);
        return nullptr;
    }
    unsigned char* a = cairo_image_surface_get_data(coverage);
    const int stride = cairo_image_surface_get_stride(coverage);
    for (int y = 0; y < mask.height; ++y) {
        const uint8_t* m = mask.pixels.data() + size_t(y) * size_t(mask.bytesPerRow);
        for (int x = 0; x < mask.width; ++x, m += 4) // premultiplied, so a clear pixel is dark
            a[size_t(y) * size_t(stride) + size_t(x)] = uint8_t((m[2] * 77 + m[1] * 150 + m[0] * 29 + 128) >> 8);
    }
    cairo_surface_mark_dirty(coverage);

    const int width = cairo_image_surface_get_width(picture), height = cairo_image_surface_get_height(picture);
    cairo_surface_t* result = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(result);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(coverage);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_matrix_t scale;
    cairo_matrix_init_scale(&scale, double(mask.width) / width, double(mask.height) / height);
    cairo_pattern_set_matrix(pattern, &scale);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
    cairo_mask(cr, pattern);
    cairo_pattern_destroy(pattern);
    cairo_destroy(cr);
    cairo_surface_destroy(coverage);
    cairo_surface_flush(result);
    return result;
}

} // namespace

void MVComposePictures(
    cairo_surface_t* canvas, const MVPictureBox& box, std::span<const MVCompositedPicture> pictures)
{
    if (!canvas || box.isEmpty() || cairo_surface_status(canvas) != CAIRO_STATUS_SUCCESS
        || cairo_image_surface_get_format(canvas) != CAIRO_FORMAT_ARGB32)
        return;
    const int width = cairo_image_surface_get_width(canvas), height = cairo_image_surface_get_height(canvas);
    for (const auto& p : pictures) {
        const MVImageBuffer* image = p.image;
        if (!image || image->width < 1 || image->height < 1 || image->bytesPerRow < image->width * 4
            || image->pixels.size() < size_t(image->bytesPerRow) * size_t(image->height)
            || !(p.trackWidth > 0 && p.trackHeight > 0))
            continue;
        cairo_surface_t* source
            = cairo_image_surface_create_for_data(const_cast<unsigned char*>(image->pixels.data()),
                CAIRO_FORMAT_ARGB32, image->width, image->height, image->bytesPerRow);
        if (p.mask) {
            if (cairo_surface_t* masked = maskedPicture(source, *p.mask)) {
                cairo_surface_destroy(source);
                source = masked;
            }
        }
        const cairo_matrix_t matrix = pictureToCanvas(p, box, width, height);
        switch (p.graphicsMode) {
        case MVGraphicsModeBlend:
        case MVGraphicsModeTransparent: {
            // The layer covers only the part of the canvas the picture reaches.
            double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
            for (auto [x, y] : { std::pair { 0.0, 0.0 }, { double(image->width), 0.0 },
                     { 0.0, double(image->height) }, { double(image->width), double(image->height) } }) {
                cairo_matrix_transform_point(&matrix, &x, &y);
                minX = std::min(minX, x);
                minY = std::min(minY, y);
                maxX = std::max(maxX, x);
                maxY = std::max(maxY, y);
            }
            if (!std::isfinite(minX) || !std::isfinite(minY) || !std::isfinite(maxX) || !std::isfinite(maxY))
                break;
            const int left = int(std::clamp(std::floor(minX), 0.0, double(width)));
            const int top = int(std::clamp(std::floor(minY), 0.0, double(height)));
            const int right = int(std::clamp(std::ceil(maxX), 0.0, double(width)));
            const int bottom = int(std::clamp(std::ceil(maxY), 0.0, double(height)));
            if (right <= left || bottom <= top)
                break;
            cairo_surface_t* layer
                = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, right - left, bottom - top);
            cairo_matrix_t shifted = matrix;
            shifted.x0 -= left;
            shifted.y0 -= top;
            // The key colour must reach the comparison unmixed with its neighbours.
            paint(layer, source, shifted, 1,
                p.graphicsMode == MVGraphicsModeTransparent ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
            combine(canvas, layer, left, top, p);
            cairo_surface_destroy(layer);
            break;
        }
        case MVGraphicsModeStraightAlphaBlend:
            paint(canvas, source, matrix, (p.opColor[0] + p.opColor[1] + p.opColor[2]) / (3 * 65535.0),
                CAIRO_FILTER_GOOD);
            break;
        default:
            // Copy and the alpha modes: decoded video is opaque unless its format carries alpha, so
            // drawing over what is behind is a copy for the one and the alpha composition for the other.
            paint(canvas, source, matrix, 1, CAIRO_FILTER_GOOD);
            break;
        }
        cairo_surface_destroy(source);
    }
    cairo_surface_flush(canvas);
}
