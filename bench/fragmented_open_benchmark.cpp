// Opening a two-hour fragmented MP4 (an empty header, then a fragment every two seconds, as recorders
// and streaming write them): our reader (walking the top-level atoms, reading every fragment header
// into the sample tables, then indexing them) against libavformat's avformat_open_input +
// avformat_find_stream_info in the same process on the same file, reported as a ratio at the end.
//
// The movie is made on first run with ffmpeg (ten seconds of 64x64 H.264 at 25 fps and AAC, looped to
// two hours without re-encoding: 180,000 video and about 340,000 audio samples in 3,600 fragments) and
// kept in $TMPDIR/movara-bench/ for later runs.
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavformat/avformat.h>
}

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
    const auto& path = moviePath();
    uint64_t samples = 0;
    for (auto _ : state) {
        HXError error;
        auto file = MVReadMovieFile(path, &error);
        if (!file || !file->warnings.empty()) {
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
BENCHMARK(BM_OpenFragmented_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_OpenFragmented_avformat(benchmark::State& state)
{
    const auto& path = moviePath();
    av_log_set_level(AV_LOG_QUIET);
    for (auto _ : state) {
        AVFormatContext* context = nullptr;
        if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) {
            state.SkipWithError("libavformat could not open the movie");
            return;
        }
        if (avformat_find_stream_info(context, nullptr) < 0) {
            avformat_close_input(&context);
            state.SkipWithError("libavformat found no streams");
            return;
        }
        benchmark::DoNotOptimize(context->duration);
        avformat_close_input(&context);
    }
}
BENCHMARK(BM_OpenFragmented_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "avformat", movara::bench::RatioKind::Time);
}
