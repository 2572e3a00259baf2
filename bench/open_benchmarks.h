#pragma once
// The two sides of an open benchmark, shared by the benchmarks that open a movie file: our reader (the
// whole header parsed, every sample table indexed, one sample located in each) and libavformat's
// avformat_open_input + avformat_find_stream_info in the same process on the same file.
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <string>

namespace movara::bench {

// Indexes every track's sample table and locates one sample in each; answers how many samples there are.
inline uint64_t indexSampleTables(const std::vector<MVTrackDescription>& tracks)
{
    uint64_t samples = 0;
    for (const auto& track : tracks) {
        MVSampleTableIndex index(track.media.information.sampleTable);
        samples += index.sampleCount();
        benchmark::DoNotOptimize(index.locationForSample(index.sampleCount() / 2));
    }
    return samples;
}

// `clean`: a file the reader had to work around (warnings) counts as a failure.
inline void openWithOurReader(benchmark::State& state, const std::string& path, bool clean)
{
    uint64_t samples = 0;
    for (auto _ : state) {
        HXError error;
        auto file = MVReadMovieFile(path, &error);
        if (!file || (clean && !file->warnings.empty())) {
            state.SkipWithError("the movie could not be read");
            return;
        }
        samples = indexSampleTables(file->movie.tracks);
    }
    state.counters["samples"] = double(samples);
}

inline void openWithAVFormat(benchmark::State& state, const std::string& path)
{
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

// libavformat's side of a whole index: the movie opened, then every packet read.
inline void readEveryPacketWithAVFormat(benchmark::State& state, const std::string& path)
{
    av_log_set_level(AV_LOG_QUIET);
    uint64_t packets = 0;
    for (auto _ : state) {
        AVFormatContext* context = nullptr;
        if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0
            || avformat_find_stream_info(context, nullptr) < 0) {
            avformat_close_input(&context);
            state.SkipWithError("libavformat could not open the movie");
            return;
        }
        AVPacket* packet = av_packet_alloc();
        packets = 0;
        while (av_read_frame(context, packet) >= 0) {
            ++packets;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        avformat_close_input(&context);
    }
    state.counters["samples"] = double(packets);
}

} // namespace movara::bench
