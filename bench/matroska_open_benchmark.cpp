// Opening a two-hour Matroska file, next to the two-hour fragmented MP4 of fragmented_open_benchmark,
// in the same process on the same file, each reported as a ratio at the end:
// - open: our import as the player opens a movie (every stream described, the sample tables of the first
//   clusters built, the movie playable; the rest is read afterwards on a thread of its own) against
//   libavformat's avformat_open_input + avformat_find_stream_info (after which it can play, and reads the
//   rest as it plays);
// - whole index: our import with the rest read too (every block's place, time and sync flag in the sample
//   tables) against libavformat opening the file and reading every packet.
//
// The file is made on first run with ffmpeg (ten seconds of 64x64 H.264 at 25 fps and AAC, looped to two
// hours without re-encoding: 180,000 video and about 340,000 audio blocks) and kept in
// $TMPDIR/movara-bench/ for later runs.
#include "bench/bench_support.h"
#include "bench/open_benchmarks.h"

#include "platform/mvkit/import/movie_importer.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string& moviePath()
{
    static std::string path = movara::bench::loopedMovie("two_hours.mkv",
        { "-f", "lavfi", "-i", "testsrc=size=64x64:rate=25:duration=10", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=10", "-c:v", "libx264", "-preset", "ultrafast", "-g", "50",
            "-c:a", "aac", "-b:a", "32k", "-f", "matroska" },
        { "-t", "7200", "-c", "copy", "-f", "matroska" });
    return path;
}

// Our import as the player opens a movie; with `whole`, the rest of the file read too.
void importMatroska(benchmark::State& state, bool whole)
{
    MVImportOptions options;
    options.deferLongFiles = true;
    uint64_t samples = 0;
    for (auto _ : state) {
        HXError error;
        auto imported = MVImportMovieFile(moviePath(), &error, options);
        if (!imported || !imported->problems.empty() || !imported->cacheLeases.empty()) {
            state.SkipWithError("the file was not imported in place");
            return;
        }
        if (!whole) {
            samples = movara::bench::indexSampleTables(imported->file.movie.tracks);
            continue;
        }
        auto rest = imported->continuation ? imported->continuation->finish(&error) : std::nullopt;
        if (!rest) {
            state.SkipWithError("the rest of the file was not read");
            return;
        }
        samples = movara::bench::indexSampleTables(rest->tracks);
    }
    state.counters["samples"] = double(samples);
}

void BM_OpenMatroska_ours(benchmark::State& state)
{
    importMatroska(state, false);
}
BENCHMARK(BM_OpenMatroska_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenMatroska_avformat(benchmark::State& state)
{
    movara::bench::openWithAVFormat(state, moviePath());
}
BENCHMARK(BM_OpenMatroska_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_IndexMatroska_ours(benchmark::State& state)
{
    importMatroska(state, true);
}
BENCHMARK(BM_IndexMatroska_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_IndexMatroska_avformat(benchmark::State& state)
{
    movara::bench::readEveryPacketWithAVFormat(state, moviePath());
}
BENCHMARK(BM_IndexMatroska_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "avformat", movara::bench::RatioKind::Time);
}
