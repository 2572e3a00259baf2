// Composing the pictures of several visual tracks at 1080p: what a second track costs per frame, by
// graphics mode, against placing one picture that fills the movie (the work of the single-track
// path, a copy of the converted picture).
#include "platform/mvkit/playback/picture_compositor.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstring>

namespace {

MVImageBuffer solid(int width, int height, uint8_t value)
{
    MVImageBuffer image;
    image.width = width;
    image.height = height;
    image.bytesPerRow = width * 4;
    image.pixels.assign(size_t(width) * size_t(height) * 4, value);
    return image;
}

void BM_SinglePictureCopy1080p(benchmark::State& state)
{
    const auto picture = solid(1920, 1080, 200);
    cairo_surface_t* canvas = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1920, 1080);
    for (auto _ : state) {
        unsigned char* pixels = cairo_image_surface_get_data(canvas);
        const int stride = cairo_image_surface_get_stride(canvas);
        for (int y = 0; y < 1080; ++y)
            std::memcpy(
                pixels + size_t(y) * size_t(stride), picture.pixels.data() + size_t(y) * 1920 * 4, 1920 * 4);
        cairo_surface_mark_dirty(canvas);
        benchmark::DoNotOptimize(pixels);
    }
    cairo_surface_destroy(canvas);
}
BENCHMARK(BM_SinglePictureCopy1080p)->Unit(benchmark::kMillisecond);

void BM_TwoTracks1080p(benchmark::State& state)
{
    const auto back = solid(1920, 1080, 200);
    const auto front = solid(640, 360, 40);
    const uint16_t mode = uint16_t(state.range(0));
    const MVCompositedPicture pictures[] = {
        { &back, 1920, 1080, {}, MVGraphicsModeCopy, { 0x8000, 0x8000, 0x8000 } },
        { &front, 640, 360, { 1, 0, 0, 1, 1200, 640 }, mode, { 0x8000, 0x8000, 0x8000 } },
    };
    cairo_surface_t* canvas = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1920, 1080);
    for (auto _ : state)
        MVComposePictures(canvas, { 0, 0, 1920, 1080 }, pictures);
    cairo_surface_destroy(canvas);
}
BENCHMARK(BM_TwoTracks1080p)
    ->Arg(MVGraphicsModeCopy)
    ->Arg(MVGraphicsModeBlend)
    ->Arg(MVGraphicsModeTransparent)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
