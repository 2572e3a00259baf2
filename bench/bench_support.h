#pragma once
// What the benchmarks share: running a peer tool (ffmpeg, ffprobe) and printing each of our figures as a
// ratio against the peer's figure measured in the same run.
//
// A pair is two benchmarks named X_ours and X_<peer> (for example BM_Open_ours and BM_Open_ffprobe); run
// options that the library appends to names ("/min_time:3.000", "/manual_time", ...) are ignored.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace movara::bench {

// Runs a program (no shell) and waits for it; its exit status, or -1 when it did not exit normally.
inline int runProgram(std::vector<std::string> argv)
{
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The movie `name` in $TMPDIR/movara-bench/, made on first use and kept for later runs: ffmpeg makes a
// short piece from `piece` (input and output options, without the output file), then loops it without
// re-encoding into the movie with the output options `loop`. Exits when ffmpeg fails.
inline std::string loopedMovie(
    const std::string& name, const std::vector<std::string>& piece, const std::vector<std::string>& loop)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "movara-bench";
    fs::create_directories(dir);
    fs::path movie = dir / name;
    if (fs::exists(movie))
        return movie.string();
    fs::path pieceFile = dir / ("piece-" + name), partial = dir / ("partial-" + name);
    std::fprintf(stderr, "making %s (once)...\n", movie.c_str());
    std::vector<std::string> make = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    make.insert(make.end(), piece.begin(), piece.end());
    make.push_back(pieceFile.string());
    std::vector<std::string> looped
        = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-stream_loop", "-1", "-i", pieceFile.string() };
    looped.insert(looped.end(), loop.begin(), loop.end());
    looped.push_back(partial.string());
    if (runProgram(make) != 0 || runProgram(looped) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the movie\n");
        std::exit(1);
    }
    fs::rename(partial, movie);
    return movie.string();
}

// A two-hour movie of about 900,000 samples (ten seconds of 16x16 H.264 at 120 fps and 8 kHz AAC, looped
// without re-encoding), for the benchmarks of opening and editing at scale.
inline const std::string& twoHourMovie()
{
    static std::string path = loopedMovie("two_hours.mp4",
        { "-f", "lavfi", "-i", "testsrc=size=16x16:rate=120:duration=10", "-f", "lavfi", "-i",
            "sine=sample_rate=8000:duration=10", "-c:v", "libx264", "-preset", "ultrafast", "-g", "120",
            "-c:a", "aac", "-b:a", "16k", "-f", "mp4" },
        { "-t", "7200", "-c", "copy", "-f", "mp4" });
    return path;
}

// Time: ours/peer of the times (below 1 means we are faster). Speed: peer time over ours (above 1 means
// we are faster), for figures that are read as throughput.
enum class RatioKind { Time, Speed };

class PeerRatioReporter : public benchmark::ConsoleReporter {
public:
    PeerRatioReporter(std::string peer, RatioKind kind)
        : _peer(std::move(peer))
        , _kind(kind)
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (!r.error_occurred)
                _times[withoutRunOptions(r.benchmark_name())] = r.GetAdjustedRealTime();
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const auto& [name, ours] : _times) {
            auto at = name.find("_ours");
            if (at == std::string::npos)
                continue;
            std::string peerName = name.substr(0, at) + "_" + _peer + name.substr(at + 5);
            auto it = _times.find(peerName);
            if (it == _times.end() || ours <= 0 || it->second <= 0)
                continue;
            std::string pair = name.substr(0, at) + name.substr(at + 5);
            if (_kind == RatioKind::Time)
                std::printf("ratio %s: time ours/%s = %.3f (%.2f vs %.2f)\n", pair.c_str(), _peer.c_str(),
                    ours / it->second, ours, it->second);
            else
                std::printf("ratio %s: speed ours/%s = %.3f (%.2f vs %.2f)\n", pair.c_str(), _peer.c_str(),
                    it->second / ours, ours, it->second);
        }
    }

private:
    static std::string withoutRunOptions(const std::string& name)
    {
        std::string kept;
        size_t start = 0;
        while (start <= name.size()) {
            size_t end = name.find('/', start);
            std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
            bool option = part.find(':') != std::string::npos || part == "manual_time" || part == "real_time"
                || part == "process_time";
            if (!option)
                kept += (kept.empty() ? "" : "/") + part;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return kept;
    }

    std::string _peer;
    RatioKind _kind;
    std::map<std::string, double> _times;
};

inline int runBenchmarks(int argc, char** argv, const std::string& peer, RatioKind kind)
{
    benchmark::Initialize(&argc, argv);
    PeerRatioReporter reporter(peer, kind);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace movara::bench
