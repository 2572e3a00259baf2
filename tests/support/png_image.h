#pragma once
// A PNG file read through Cairo, for tests that compare what was drawn or printed with a picture ffmpeg
// decoded: mean colours of rectangles, and the rectangle of what is not paper. Header only, so that only
// the test programs that use it link Cairo.
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>

namespace movara::test {

struct PixelRect {
    double x = 0, y = 0, width = 0, height = 0; // pixels, top-left origin
};

class PNGImage {
public:
    explicit PNGImage(const std::filesystem::path& png);
    ~PNGImage();
    PNGImage(const PNGImage&) = delete;
    PNGImage& operator=(const PNGImage&) = delete;

    bool ok() const;
    int width() const;
    int height() const;
    // The mean colour of a rectangle as r, g, b (0 to 255).
    std::array<double, 3> mean(const PixelRect& rect) const;
    // The smallest rectangle holding every pixel that is not white (all channels above `white`); empty
    // when the image is all white.
    PixelRect inkBounds(int white = 240) const;

private:
    cairo_surface_t* _surface = nullptr;
};

// How many of columns × rows blocks of `picture` have, in the same block of `where` on `page`, a mean
// colour within `tolerance` in each channel (blocks are compared a little inside their edges).
int matchingBlocks(
    const PNGImage& picture, const PNGImage& page, const PixelRect& where, int columns, int rows, double tolerance);

inline PNGImage::PNGImage(const std::filesystem::path& png)
    : _surface(cairo_image_surface_create_from_png(png.c_str()))
{
}

inline PNGImage::~PNGImage() { cairo_surface_destroy(_surface); }

inline bool PNGImage::ok() const { return cairo_surface_status(_surface) == CAIRO_STATUS_SUCCESS; }

inline int PNGImage::width() const { return cairo_image_surface_get_width(_surface); }

inline int PNGImage::height() const { return cairo_image_surface_get_height(_surface); }

namespace detail {

inline uint32_t pixel(cairo_surface_t* surface, int x, int y)
{
    const auto* data = cairo_image_surface_get_data(surface);
    return reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(surface))[x];
}

} // namespace detail

inline std::array<double, 3> PNGImage::mean(const PixelRect& rect) const
{
    std::array<double, 3> sum {};
    int n = 0;
    int x0 = std::max(0, int(rect.x)), y0 = std::max(0, int(rect.y));
    int x1 = std::min(width(), int(rect.x + rect.width)), y1 = std::min(height(), int(rect.y + rect.height));
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            uint32_t p = detail::pixel(_surface, x, y);
            sum[0] += (p >> 16) & 0xFF;
            sum[1] += (p >> 8) & 0xFF;
            sum[2] += p & 0xFF;
            ++n;
        }
    for (auto& v : sum)
        v /= std::max(n, 1);
    return sum;
}

inline PixelRect PNGImage::inkBounds(int white) const
{
    int left = width(), top = height(), right = -1, bottom = -1;
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) {
            uint32_t p = detail::pixel(_surface, x, y);
            if (int((p >> 16) & 0xFF) > white && int((p >> 8) & 0xFF) > white && int(p & 0xFF) > white)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    if (right < 0)
        return {};
    return { double(left), double(top), double(right - left + 1), double(bottom - top + 1) };
}

inline int matchingBlocks(
    const PNGImage& picture, const PNGImage& page, const PixelRect& where, int columns, int rows, double tolerance)
{
    int matching = 0;
    const double pw = picture.width() / double(columns), ph = picture.height() / double(rows);
    const double gw = where.width / columns, gh = where.height / rows;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            auto want = picture.mean({ column * pw + 2, row * ph + 2, pw - 4, ph - 4 });
            auto got = page.mean({ where.x + column * gw + 3, where.y + row * gh + 3, gw - 6, gh - 6 });
            bool near = true;
            for (int c = 0; c < 3; ++c)
                near = near && std::fabs(want[c] - got[c]) < tolerance;
            matching += near;
        }
    return matching;
}

} // namespace movara::test
