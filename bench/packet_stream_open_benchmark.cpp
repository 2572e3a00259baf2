// Opening a long MPEG transport stream, in the same process on the same file, reported as a ratio at
// the end:
// - open: our import as the player opens a movie (every stream described, the first part's samples
//   rewritten into the cache and their sample tables built, the movie playable; the rest is read
//   afterwards on a thread of its own) against libavformat's avformat_open_input +
//   avformat_find_stream_info (after which it can play, and reads the rest as it plays);
// - whole: our import with the rest read too (every sample rewritten into the cache, as an open did
//   before long files were deferred) against libavformat opening the file and reading every packet.
//
// The file is made on first run with ffmpeg (ten seconds of 64x64 H.264 at 25 fps and AAC, looped to
// half an hour without re-encoding) and kept in $TMPDIR/movara-bench/ for later runs. The cache is a
// folder of the benchmark's own, emptied before every whole import.
#include "bench/bench_support.h"
#include "bench/open_benchmarks.h"

#include "platform/mvkit/import/movie_importer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

const std::string& moviePath()
{
    static std::string path = movara::bench::loopedMovie("half_hour.ts",
        { "-f", "lavfi", "-i", "testsrc=size=64x64:rate=25:duration=10", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=10", "-c:v", "libx264", "-preset", "ultrafast", "-g", "50",
            "-c:a", "aac", "-b:a", "32k", "-f", "mpegts" },
        { "-t", "1800", "-c", "copy", "-f", "mpegts" });
    return path;
}

const std::filesystem::path& cacheHome()
{
    static std::filesystem::path home = [] {
        auto dir
            = std::filesystem::temp_directory_path() / ("movara-bench-cache-" + std::to_string(::getpid()));
        ::setenv("XDG_CACHE_HOME", dir.c_str(), 1);
        return dir;
    }();
    return home;
}

void importTransportStream(benchmark::State& state, bool whole)
{
    cacheHome();
    MVImportOptions options;
    options.deferLongFiles = !whole;
    uint64_t samples = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(cacheHome()); // no earlier import's samples
        state.ResumeTiming();
        HXError error;
        auto imported = MVImportMovieFile(moviePath(), &error, options);
        if (!imported || !imported->problems.empty() || (imported->continuation != nullptr) == whole) {
            std::string why = !imported    ? error.localizedDescription()
                : !imported->problems.empty() ? imported->problems.front()
                : whole                       ? "the file was not imported whole"
                                              : "the file was not opened from its first part";
            state.SkipWithError(why.c_str());
            return;
        }
        samples = movara::bench::indexSampleTables(imported->file.movie.tracks);
        state.PauseTiming();
        imported.reset(); // the first part's samples go
        state.ResumeTiming();
    }
    state.counters["samples"] = double(samples);
}

void BM_OpenTransportStream_ours(benchmark::State& state)
{
    importTransportStream(state, false);
}
BENCHMARK(BM_OpenTransportStream_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenTransportStream_avformat(benchmark::State& state)
{
    movara::bench::openWithAVFormat(state, moviePath());
}
BENCHMARK(BM_OpenTransportStream_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_WholeTransportStream_ours(benchmark::State& state)
{
    importTransportStream(state, true);
}
BENCHMARK(BM_WholeTransportStream_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_WholeTransportStream_avformat(benchmark::State& state)
{
    movara::bench::readEveryPacketWithAVFormat(state, moviePath());
}
BENCHMARK(BM_WholeTransportStream_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    int status = movara::bench::runBenchmarks(argc, argv, "avformat", movara::bench::RatioKind::Time);
    std::error_code ec;
    std::filesystem::remove_all(cacheHome(), ec);
    return status;
}
