// Saving a movie self-contained (open, then copy and interleave every sample into a new file) against
// libavformat remuxing the same file into a new .mov in the same process (open and probe, then every
// packet copied through the mov muxer, as `-c copy` does), reported as a ratio at the end. Our save is
// durable (the file and its folder are synced before it reports success); the peer's file is synced the
// same way, so both do the same work.
//
// The movie is made on first run with ffmpeg (two minutes of 640x360 MPEG-4 video at 30 fps and 48 kHz
// AAC, about 3,600 video and 5,600 audio samples, some tens of megabytes) and kept in $TMPDIR/movara-bench/.
#include "platform/mvkit/movie.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <unistd.h>

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

// One remux through libavformat; false when a step failed.
bool remux(const std::string& source, const std::string& target)
{
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, source.c_str(), nullptr, nullptr) < 0)
        return false;
    bool ok = avformat_find_stream_info(input, nullptr) >= 0;
    AVFormatContext* output = nullptr;
    ok = ok && avformat_alloc_output_context2(&output, nullptr, "mov", target.c_str()) >= 0;
    for (unsigned i = 0; ok && i < input->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        ok = stream && avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) >= 0;
        if (ok) {
            stream->codecpar->codec_tag = 0;
            stream->time_base = input->streams[i]->time_base;
        }
    }
    ok = ok && avio_open(&output->pb, target.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(output, nullptr) >= 0;
    AVPacket* packet = av_packet_alloc();
    while (ok && av_read_frame(input, packet) >= 0) {
        AVStream* from = input->streams[packet->stream_index];
        AVStream* to = output->streams[packet->stream_index];
        av_packet_rescale_ts(packet, from->time_base, to->time_base);
        packet->pos = -1;
        ok = av_interleaved_write_frame(output, packet) >= 0;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    ok = ok && av_write_trailer(output) >= 0;
    if (output) {
        if (output->pb)
            avio_closep(&output->pb);
        avformat_free_context(output);
    }
    avformat_close_input(&input);
    // Durable like ours: the file's bytes and its name on the disk.
    for (const std::string& path : { target, fs::path(target).parent_path().string() }) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ok = ok && fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    return ok;
}

void BM_SaveSelfContained_avformat(benchmark::State& state)
{
    av_log_set_level(AV_LOG_QUIET);
    const auto& source = sourcePath();
    auto target = (benchDir() / "saved_avformat.mov").string();
    for (auto _ : state) {
        if (!remux(source, target)) {
            state.SkipWithError("libavformat could not remux the movie");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(fs::file_size(source)));
    fs::remove(target);
}
BENCHMARK(BM_SaveSelfContained_avformat)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "avformat", movara::bench::RatioKind::Time);
}
