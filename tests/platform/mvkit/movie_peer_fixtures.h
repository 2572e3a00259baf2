#pragma once
// Small movies made by the ffmpeg command line for the movie model's peer tests, and the peer checks
// (ffprobe stream facts, ffmpeg frame hashes). Header-only: each peer test file is its own unit.
#include "test_support.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace movara::test::movie {

// The fields of one frame line of ffmpeg's framemd5 output (stream, dts, pts, duration, size, hash).
inline std::vector<std::string> framemd5Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream f(line);
    for (std::string field; std::getline(f, field, ',');)
        if (auto start = field.find_first_not_of(' '); start != std::string::npos)
            fields.push_back(field.substr(start));
        else
            fields.emplace_back();
    return fields;
}

// Makes `path` with ffmpeg: a 160x120 test picture at 10 frames per second, every frame a key frame
// (so cuts at any frame decode the same), and a sine tone, for `seconds`. Empty `audioCodec`: no sound.
inline bool makeMovie(const std::filesystem::path& path, int seconds, const std::string& audioCodec = "aac",
    const std::string& pattern = "testsrc")
{
    std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
        pattern + "=size=160x120:rate=10:duration=" + std::to_string(seconds) };
    if (!audioCodec.empty()) {
        args.insert(args.end(),
            { "-f", "lavfi", "-i",
                "sine=frequency=440:sample_rate=8000:duration=" + std::to_string(seconds) });
    }
    args.insert(args.end(), { "-c:v", "mpeg4", "-g", "1", "-q:v", "6" });
    if (!audioCodec.empty())
        args.insert(args.end(), { "-c:a", audioCodec });
    args.push_back(path.string());
    return runCommand(args).status == 0 && std::filesystem::exists(path);
}

// ffmpeg's frame hashes of the decoded frames, one line per frame without the timing columns (so cut
// movies can be compared with parts of the source). `map` picks streams ("0:v", "0:a", or all).
inline std::vector<std::string> frameHashes(const std::filesystem::path& path, const std::string& map = "",
    const std::vector<std::string>& inputOptions = {})
{
    std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "error" };
    args.insert(args.end(), inputOptions.begin(), inputOptions.end());
    args.insert(args.end(), { "-i", path.string() });
    if (!map.empty())
        args.insert(args.end(), { "-map", map });
    args.insert(args.end(), { "-f", "framemd5", "-" });
    auto result = runCommand(args);
    std::vector<std::string> hashes;
    if (result.status != 0)
        return hashes;
    std::istringstream in(result.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        // stream, dts, pts, duration, size, hash: keep stream, size and hash.
        auto fields = framemd5Fields(line);
        if (fields.size() >= 6)
            hashes.push_back(fields[0] + "," + fields[4] + "," + fields[5]);
    }
    return hashes;
}

// ffmpeg's decoded frames with the time each shows at (seconds, from the stream's time base) and its
// hash, and the warnings ffmpeg gave on the way (a sample it had to skip, a description it cannot read).
struct TimedFrame {
    double time = 0;
    std::string hash;
};
struct TimedFrames {
    std::vector<TimedFrame> frames;
    std::string warnings;
};

inline TimedFrames timedFrames(const std::filesystem::path& path, const std::string& map,
    const std::vector<std::string>& inputOptions = {})
{
    TimedFrames out;
    auto log = std::filesystem::path(path).concat(".log");
    std::vector<std::string> args = { "ffmpeg", "-nostdin", "-v", "warning" };
    args.insert(args.end(), inputOptions.begin(), inputOptions.end());
    args.insert(args.end(),
        { "-i", path.string(), "-map", map, "-fps_mode", "passthrough", "-enc_time_base", "-1", "-f",
            "framemd5", "-" });
    // The warnings go to a file beside the movie, the frames to the output.
    std::string command;
    for (const auto& a : args)
        command += "'" + a + "' ";
    auto result = runCommand({ "sh", "-c", command + "2>'" + log.string() + "'" });
    out.warnings = readFile(log);
    std::filesystem::remove(log);
    if (result.status != 0)
        return out;
    std::istringstream in(result.output);
    std::string line;
    double base = 0;
    while (std::getline(in, line)) {
        if (line.rfind("#tb 0:", 0) == 0) {
            auto slash = line.find('/');
            base = std::stod(line.substr(6, slash - 6)) / std::stod(line.substr(slash + 1));
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        auto fields = framemd5Fields(line);
        if (fields.size() >= 6)
            out.frames.push_back({ std::stod(fields[2]) * base, fields[5] });
    }
    return out;
}

// ffprobe's view of each stream: codec, frame count and duration.
struct StreamFacts {
    std::string codec;
    long frames = 0;
    double duration = 0;
};

inline std::vector<StreamFacts> probeStreams(const std::filesystem::path& path)
{
    auto result = runCommand({ "ffprobe", "-v", "error", "-count_packets", "-show_entries",
        "stream=codec_name,nb_read_packets,duration", "-of", "csv=p=0", path.string() });
    std::vector<StreamFacts> out;
    std::istringstream in(result.output);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string codec, duration, frames;
        std::getline(f, codec, ',');
        std::getline(f, duration, ',');
        std::getline(f, frames, ',');
        StreamFacts s;
        s.codec = codec;
        s.duration = duration.empty() || duration == "N/A" ? 0 : std::stod(duration);
        s.frames = frames.empty() ? 0 : std::stol(frames);
        out.push_back(s);
    }
    return out;
}

// ffprobe's format tags as "key=value" lines.
inline std::string probeTags(const std::filesystem::path& path, const std::string& section = "format_tags")
{
    return runCommand(
        { "ffprobe", "-v", "error", "-show_entries", section, "-of", "default=nw=1", path.string() })
        .output;
}

} // namespace movara::test::movie
