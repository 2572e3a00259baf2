// Playback: decoding a 1080p H.264 movie through our pipeline (samples read from the file, decoded in
// presentation order with their times) against libavcodec decoding the same packets in the same process
// with the same thread count, the packets read beforehand (the limit of any decode path; reported as a
// speed ratio, libavcodec's time over ours: 1.0 means as fast), memory while
// playing that movie, the time from opening a movie to its first picture being presented, and how closely
// the pictures keep to the sound on the real sound device.
//
// The movie (10 s of 1920x1080 H.264 with B-frames at 25 fps, and AAC sound) is made on first run with
// ffmpeg and kept in $TMPDIR/movara-bench/ for later runs. Set MOVARA_BENCH_THREADS to change the
// decoder thread count (default 4).
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/mvkit/playback/video_track_decoder.h"

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

int threadCount()
{
    const char* text = std::getenv("MOVARA_BENCH_THREADS");
    int n = text ? std::atoi(text) : 4;
    return n > 0 ? n : 4;
}

const std::string& moviePath()
{
    static std::string path = [] {
        fs::path dir = fs::temp_directory_path() / "movara-bench";
        fs::create_directories(dir);
        fs::path movie = dir / "hd_1080p.mov";
        if (!fs::exists(movie)) {
            fs::path partial = dir / "hd_1080p.partial.mov";
            std::fprintf(stderr, "making %s (once)...\n", movie.c_str());
            if (movara::bench::runProgram({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=1920x1080:rate=25:duration=10", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=48000:duration=10", "-c:v", "libx264", "-preset",
                    "veryfast", "-bf", "2", "-g", "50", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "128k",
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

std::shared_ptr<MVFileSampleSource> videoSource()
{
    auto file = MVReadMovieFile(moviePath(), nullptr);
    if (!file)
        return nullptr;
    for (size_t i = 0; i < file->movie.tracks.size(); ++i)
        if (file->movie.tracks[i].media.handler.componentSubtype == MVFourCC("vide"))
            return MVFileSampleSource::sourceWithFile(moviePath(), i, nullptr);
    return nullptr;
}

// Every picture in order, as playing at full speed does.
void BM_Decode1080p_ours(benchmark::State& state)
{
    auto source = videoSource();
    if (!source) {
        state.SkipWithError("the movie could not be read");
        return;
    }
    int64_t pictures = 0;
    for (auto _ : state) {
        auto decoder = MVVideoTrackDecoder::decoderWithSource(source, nullptr, threadCount());
        pictures = 0;
        const int64_t end = decoder->editMap().duration();
        for (int64_t t = 0; t < end; t = decoder->nextChangeAfter(t)) {
            auto frame = decoder->frameAtTime(t, nullptr);
            benchmark::DoNotOptimize(frame);
            ++pictures;
        }
    }
    state.counters["pictures"] = double(pictures);
    state.counters["threads"] = threadCount();
}
BENCHMARK(BM_Decode1080p_ours)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The movie's video packets, read once with libavformat.
struct Packets {
    AVCodecParameters* parameters = nullptr;
    std::vector<AVPacket*> packets;
};

const Packets& videoPackets()
{
    static Packets result = [] {
        Packets p;
        AVFormatContext* context = nullptr;
        if (avformat_open_input(&context, moviePath().c_str(), nullptr, nullptr) < 0)
            return p;
        avformat_find_stream_info(context, nullptr);
        const int stream = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream >= 0) {
            p.parameters = avcodec_parameters_alloc();
            avcodec_parameters_copy(p.parameters, context->streams[stream]->codecpar);
            AVPacket* packet = av_packet_alloc();
            while (av_read_frame(context, packet) >= 0) {
                if (packet->stream_index == stream)
                    p.packets.push_back(av_packet_clone(packet));
                av_packet_unref(packet);
            }
            av_packet_free(&packet);
        }
        avformat_close_input(&context);
        return p;
    }();
    return result;
}

void BM_Decode1080p_avcodec(benchmark::State& state)
{
    av_log_set_level(AV_LOG_QUIET);
    const Packets& p = videoPackets();
    const AVCodec* codec = p.parameters ? avcodec_find_decoder(p.parameters->codec_id) : nullptr;
    if (!codec) {
        state.SkipWithError("libavcodec cannot decode the movie");
        return;
    }
    int64_t pictures = 0;
    AVFrame* frame = av_frame_alloc();
    for (auto _ : state) {
        AVCodecContext* context = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(context, p.parameters);
        context->thread_count = threadCount();
        if (avcodec_open2(context, codec, nullptr) < 0) {
            avcodec_free_context(&context);
            state.SkipWithError("libavcodec cannot open the decoder");
            break;
        }
        pictures = 0;
        auto receive = [&] {
            while (avcodec_receive_frame(context, frame) == 0) {
                ++pictures;
                av_frame_unref(frame);
            }
        };
        for (AVPacket* packet : p.packets) {
            while (avcodec_send_packet(context, packet) == AVERROR(EAGAIN))
                receive();
            receive();
        }
        avcodec_send_packet(context, nullptr);
        receive();
        avcodec_free_context(&context);
    }
    av_frame_free(&frame);
    state.counters["pictures"] = double(pictures);
    state.counters["threads"] = threadCount();
}
BENCHMARK(BM_Decode1080p_avcodec)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

long residentKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

// Opening the movie and showing its first picture, through the movie model.
void BM_OpenToFirstPicture(benchmark::State& state)
{
    setenv("MOVARA_SILENT_AUDIO", "1", 1);
    const auto& path = moviePath();
    for (auto _ : state) {
        auto movie = MVMovie::movieWithFile(path, nullptr);
        auto playback = MVMoviePlayback::playbackForMovie(movie);
        const auto& pictures = playback->player().presentedPictures();
        if (pictures.empty() || !pictures.front().picture.frame) {
            state.SkipWithError("no picture");
            return;
        }
    }
}
BENCHMARK(BM_OpenToFirstPicture)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Plays three seconds in real time (silent sound output on the real clock) and reports the resident
// memory the process grew by, and its peak.
void BM_MemoryWhilePlaying1080p(benchmark::State& state)
{
    setenv("MOVARA_SILENT_AUDIO", "1", 1);
    const auto& path = moviePath();
    long before = residentKilobytes("VmRSS:");
    long grown = 0;
    for (auto _ : state) {
        auto movie = MVMovie::movieWithFile(path, nullptr);
        auto playback = MVMoviePlayback::playbackForMovie(movie);
        playback->play();
        long peak = 0;
        const double until = HXRunLoop::main().now() + 3.0;
        while (HXRunLoop::main().now() < until) {
            HXRunLoop::main().runUntilDate(std::min(until, HXRunLoop::main().now() + 0.25));
            peak = std::max(peak, residentKilobytes("VmRSS:"));
        }
        grown = peak - before;
        playback->stop();
    }
    state.counters["rssGrowthMB"] = double(grown) / 1024.0;
    state.counters["peakRSSMB"] = double(residentKilobytes("VmHWM:")) / 1024.0;
}
BENCHMARK(BM_MemoryWhilePlaying1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Plays five seconds in real time through the sound device (SDL; silent when there is none, or with
// MOVARA_SILENT_AUDIO set) and reports the largest distance between a presented picture's time and the
// sound heard when it was presented. With 25 pictures a second, anything below 40 ms keeps each
// picture on screen while its sound plays.
void BM_PictureSoundSync(benchmark::State& state)
{
    const auto& path = moviePath();
    double worst = 0;
    int presented = 0;
    for (auto _ : state) {
        auto movie = MVMovie::movieWithFile(path, nullptr);
        auto playback = MVMoviePlayback::playbackForMovie(movie);
        playback->player().onPictureChange = [&] {
            const auto& pictures = playback->player().presentedPictures();
            if (pictures.empty() || !pictures[0].picture.frame || !playback->isPlaying())
                return;
            double shown = double(pictures[0].picture.start) / movie->timeScale();
            worst = std::max(worst, std::abs(playback->player().audioClockTime() - shown));
            ++presented;
        };
        playback->play();
        HXRunLoop::main().runUntilDate(HXRunLoop::main().now() + 5.0);
        playback->stop();
        playback->player().onPictureChange = nullptr;
    }
    state.counters["worstOffsetMs"] = worst * 1000;
    state.counters["pictures"] = presented;
}
BENCHMARK(BM_PictureSoundSync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return movara::bench::runBenchmarks(argc, argv, "avcodec", movara::bench::RatioKind::Speed);
}
