// Opening a two-hour movie of about a million samples: our reader (parsing the whole 'moov', then
// indexing every sample table) against libavformat's open and stream probe in the same process on the
// same file, reported as a ratio at the end.
//
// The movie is made on first run with ffmpeg (ten seconds of 16x16 H.264 at 120 fps and 8 kHz AAC, looped
// to two hours without re-encoding: about 860,000 video and 56,000 audio samples) and kept in
// $TMPDIR/movara-bench/ for later runs.
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include "bench/bench_support.h"
#include "bench/open_benchmarks.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

const std::string& moviePath() { return movara::bench::twoHourMovie(); }

void BM_OpenMovie_ours(benchmark::State& state)
{
    movara::bench::openWithOurReader(state, moviePath(), false);
}
BENCHMARK(BM_OpenMovie_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenMovie_avformat(benchmark::State& state)
{
    movara::bench::openWithAVFormat(state, moviePath());
}
BENCHMARK(BM_OpenMovie_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Lookups on the compact tables of the same movie: random samples, time → sample → location.
void BM_SampleLookup(benchmark::State& state)
{
    static auto file = MVReadMovieFile(moviePath(), nullptr);
    const auto& table = file->movie.tracks.at(0).media.information.sampleTable;
    MVSampleTableIndex index(table);
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> time(0, index.duration() - 1);
    for (auto _ : state) {
        auto sample = index.sampleForDecodeTime(time(random));
        benchmark::DoNotOptimize(index.locationForSample(*sample));
        benchmark::DoNotOptimize(index.syncSampleAtOrBefore(*sample));
    }
}
BENCHMARK(BM_SampleLookup);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "avformat", movara::bench::RatioKind::Time);
}
