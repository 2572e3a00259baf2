// Opening a two-hour fragmented MP4 (an empty header, then a fragment every two seconds, as recorders
// and streaming write them): our reader (walking the top-level atoms, reading every fragment header
// into the sample tables, then indexing them) against libavformat's avformat_open_input +
// avformat_find_stream_info in the same process on the same file, reported as a ratio at the end.
//
// The movie is made on first run with ffmpeg (ten seconds of 64x64 H.264 at 25 fps and AAC, looped to
// two hours without re-encoding: 180,000 video and about 340,000 audio samples in 3,600 fragments) and
// kept in $TMPDIR/movara-bench/ for later runs.
#include "bench/bench_support.h"
#include "bench/open_benchmarks.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string& moviePath()
{
    static std::string path = movara::bench::loopedMovie("two_hours_fragmented.mp4",
        { "-f", "lavfi", "-i", "testsrc=size=64x64:rate=25:duration=10", "-f", "lavfi", "-i",
            "sine=sample_rate=48000:duration=10", "-c:v", "libx264", "-preset", "ultrafast", "-g", "50",
            "-c:a", "aac", "-b:a", "32k", "-f", "mp4" },
        { "-t", "7200", "-c", "copy", "-movflags", "frag_keyframe+empty_moov+default_base_moof", "-f",
            "mp4" });
    return path;
}

void BM_OpenFragmented_ours(benchmark::State& state)
{
    movara::bench::openWithOurReader(state, moviePath(), true);
}
BENCHMARK(BM_OpenFragmented_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenFragmented_avformat(benchmark::State& state)
{
    movara::bench::openWithAVFormat(state, moviePath());
}
BENCHMARK(BM_OpenFragmented_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "avformat", movara::bench::RatioKind::Time);
}
