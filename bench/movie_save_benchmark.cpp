// Saving a movie self-contained (open, then copy and interleave every sample into a new file) against
// `ffmpeg -c copy` of the same file into a new .mov, reported as a ratio at the end.
//
// The movie is made on first run with ffmpeg (two minutes of 640x360 MPEG-4 video at 30 fps and 48 kHz
// AAC, about 3,600 video and 5,600 audio samples, some tens of megabytes) and kept in $TMPDIR/movara-bench/.
#include "platform/mvkit/movie.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path benchDir()
{
    fs::path dir = fs::temp_directory_path() / "movara-bench";
    fs::create_directories(dir);
    return dir;
}

const std::string& sourcePath()
{
    static std::string path = [] {
        fs::path movie = benchDir() / "two_minutes.mov";
        if (!fs::exists(movie)) {
            fs::path partial = benchDir() / "two_minutes.partial.mov";
            std::fprintf(stderr, "making %s (once)...\n", movie.c_str());
            if (movara::bench::runProgram({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=640x360:rate=30:duration=120", "-f", "lavfi", "-i",
                    "sine=sample_rate=48000:duration=120", "-c:v", "mpeg4", "-q:v", "4", "-c:a", "aac",
                    partial.string() })
                != 0) {
                std::fprintf(stderr, "ffmpeg could not make the movie\n");
                std::exit(1);
            }
            fs::rename(partial, movie);
        }
        return movie.string();
    }();
    return path;
}

void BM_SaveSelfContained_ours(benchmark::State& state)
{
    const auto& source = sourcePath();
    auto target = (benchDir() / "saved_ours.mov").string();
    for (auto _ : state) {
        HXError error;
        auto movie = MVMovie::movieWithFile(source, &error);
        if (!movie || !movie->writeToFile(target, { { MVMovieFlatten, true } }, &error)) {
            state.SkipWithError(error.localizedDescription().c_str());
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(source)));
    fs::remove(target);
}
BENCHMARK(BM_SaveSelfContained_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_SaveSelfContained_ffmpeg(benchmark::State& state)
{
    const auto& source = sourcePath();
    auto target = (benchDir() / "saved_ffmpeg.mov").string();
    for (auto _ : state) {
        if (movara::bench::runProgram({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source, "-map", "0", "-c", "copy",
                target })
            != 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(source)));
    fs::remove(target);
}
BENCHMARK(BM_SaveSelfContained_ffmpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "ffmpeg", movara::bench::RatioKind::Time);
}
