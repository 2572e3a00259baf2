// Opening a two-hour movie of about a million samples: our reader (parsing the whole 'moov', then
// indexing every sample table) against `ffprobe` on the same file, reported as a ratio at the end.
//
// The movie is made on first run with ffmpeg (ten seconds of 16x16 H.264 at 120 fps and 8 kHz AAC, looped
// to two hours without re-encoding: about 860,000 video and 56,000 audio samples) and kept in
// $TMPDIR/movara-bench/ for later runs.
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

const std::string& moviePath()
{
    static std::string path = movara::bench::loopedMovie("two_hours.mp4",
        { "-f", "lavfi", "-i", "testsrc=size=16x16:rate=120:duration=10", "-f", "lavfi", "-i",
            "sine=sample_rate=8000:duration=10", "-c:v", "libx264", "-preset", "ultrafast", "-g", "120",
            "-c:a", "aac", "-b:a", "16k", "-f", "mp4" },
        { "-t", "7200", "-c", "copy", "-f", "mp4" });
    return path;
}

void BM_OpenMovie_ours(benchmark::State& state)
{
    const auto& path = moviePath();
    uint64_t samples = 0;
    for (auto _ : state) {
        HXError error;
        auto file = MVReadMovieFile(path, &error);
        if (!file) {
            state.SkipWithError("the movie could not be read");
            return;
        }
        samples = 0;
        for (const auto& track : file->movie.tracks) {
            MVSampleTableIndex index(track.media.information.sampleTable);
            samples += index.sampleCount();
            benchmark::DoNotOptimize(index.locationForSample(index.sampleCount() / 2));
        }
    }
    state.counters["samples"] = double(samples);
}
BENCHMARK(BM_OpenMovie_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenMovie_ffprobe(benchmark::State& state)
{
    const auto& path = moviePath();
    for (auto _ : state) {
        if (movara::bench::runProgram({ "ffprobe", "-v", "quiet", "-show_entries", "format=duration", "-of", "csv=p=0", "-o",
                "/dev/null", path })
            != 0) {
            state.SkipWithError("ffprobe failed");
            return;
        }
    }
}
BENCHMARK(BM_OpenMovie_ffprobe)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

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
    return movara::bench::runBenchmarks(argc, argv, "ffprobe", movara::bench::RatioKind::Time);
}
