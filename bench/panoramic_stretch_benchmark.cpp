// The panoramic stretch on 1080p frames, one core: our remap of a 1920x1080 RGBA frame (a 16:9 picture
// presented on a 21:9 display, so the middle is squeezed by 4/3 and the edges carry the stretch), alone
// and as the filter's output image (a new bitmap per frame, as a presentation gets it), against ffmpeg's
// scale filter widening 1440x1080 RGBA frames to 1920x1080 (the same number of output pixels, bilinear)
// with one thread. ffmpeg's time per frame is the difference between a run with the scale filter and
// the same run without it, over 200 frames of its test source. The ratio printed at the end is ffmpeg's
// time over ours: 1.0 means as fast.
#include "fullscreen/panoramic_stretch_filter.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPeerFrames = 200;

const MVPPanoramicStretchAxis kAxisX { kWidth / 2.0, kWidth / 2.0, (2560.0 / 1920.0) / (1080.0 / 1080.0),
    MVPPanoramicStretchDefaultIntensity };

std::vector<uint8_t> testFrame()
{
    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
    uint32_t seed = 12345;
    for (auto& byte : pixels) {
        seed = seed * 1664525u + 1013904223u;
        byte = uint8_t(seed >> 24);
    }
    return pixels;
}

void BM_PanoramicStretch1080p_ours(benchmark::State& state)
{
    auto source = testFrame();
    std::vector<uint8_t> destination(source.size());
    for (auto _ : state) {
        MVPPanoramicStretchApply(
            source.data(), kWidth * 4, destination.data(), kWidth * 4, kWidth, kHeight, kAxisX, {});
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PanoramicStretch1080p_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_PanoramicFilterOutputImage1080p(benchmark::State& state)
{
    auto pixels = testFrame();
    auto image = HXBitmapImageRep::initWithRGBAData(pixels.data(), kWidth, kHeight, kWidth * 4);
    MVPPanoramicStretchFilter filter;
    filter.setValueForKey(image, MVPPanoramicStretchFilterInputImageKey);
    MVPPanoramicStretchSetInputsForFrame(filter, { kWidth, kHeight }, { 2560, 1080 }, { kWidth, kHeight });
    for (auto _ : state) {
        auto output = filter.outputImage();
        benchmark::DoNotOptimize(output.get());
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PanoramicFilterOutputImage1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Runs ffmpeg with `filters` over the test source; the wall time in seconds, or a negative number when it
// failed.
double runFfmpeg(const std::string& filters)
{
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-filter_threads",
        "1", "-f", "lavfi", "-i", "testsrc2=s=1920x1080", "-frames:v", std::to_string(kPeerFrames), "-vf",
        filters, "-f", "null", "-" };
    auto start = std::chrono::steady_clock::now();
    if (movara::bench::runProgram(argv) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_PanoramicStretch1080p_ffmpeg(benchmark::State& state)
{
    for (auto _ : state) {
        double base = runFfmpeg("format=rgba,crop=1440:1080:0:0");
        double scaled = runFfmpeg("format=rgba,crop=1440:1080:0:0,scale=1920:1080:flags=bilinear");
        if (base < 0 || scaled < 0) {
            state.SkipWithError("ffmpeg failed (is it installed?)");
            return;
        }
        state.SetIterationTime(std::max(scaled - base, 1e-9) / kPeerFrames);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PanoramicStretch1080p_ffmpeg)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "ffmpeg", movara::bench::RatioKind::Speed);
}
