#pragma once
// Helpers for the decoding tests: frame hashes as `ffmpeg -f framemd5` makes them, and reading its
// output.
#include "test_support.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/md5.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace movara::test {

// The MD5 of a picture's planes packed without padding (what the framemd5 muxer hashes).
inline std::string pictureMD5(const AVFrame* frame)
{
    int size = av_image_get_buffer_size(AVPixelFormat(frame->format), frame->width, frame->height, 1);
    std::vector<uint8_t> buffer(size_t(std::max(size, 0)));
    av_image_copy_to_buffer(buffer.data(), size, frame->data, frame->linesize, AVPixelFormat(frame->format),
        frame->width, frame->height, 1);
    uint8_t digest[16];
    av_md5_sum(digest, buffer.data(), size);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

struct FrameLine {
    double time = 0; // seconds
    std::string md5;
};

// The pictures ffmpeg decodes from the first video stream of `path`, in presentation order.
inline std::vector<FrameLine> ffmpegFrameHashes(const std::string& path)
{
    // The pictures as stored: a display matrix turns them only when they are shown.
    auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-noautorotate", "-i", path, "-map", "0:v:0",
        "-fps_mode", "passthrough", "-f", "framemd5", "-" });
    std::vector<FrameLine> lines;
    if (result.status != 0)
        return lines;
    std::istringstream in(result.output);
    std::string line;
    int num = 1, den = 1;
    while (std::getline(in, line)) {
        if (line.rfind("#tb 0:", 0) == 0) {
            std::sscanf(line.c_str(), "#tb 0: %d/%d", &num, &den);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        long long stream, dts, pts, duration, size;
        char hash[40] = {};
        if (std::sscanf(line.c_str(), "%lld, %lld, %lld, %lld, %lld, %39s", &stream, &dts, &pts, &duration,
                &size, hash)
            == 6)
            lines.push_back({ double(pts) * num / den, hash });
    }
    return lines;
}

// The interleaved 32-bit float samples ffmpeg decodes from the first sound stream, converted to
// `channels` channels at `rate`.
inline std::vector<float> ffmpegSamples(const std::string& path, int rate, int channels)
{
    auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-map", "0:a:0", "-ar",
        std::to_string(rate), "-ac", std::to_string(channels), "-f", "f32le", "-" });
    std::vector<float> samples(result.output.size() / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), result.output.data(), samples.size() * sizeof(float));
    return samples;
}

} // namespace movara::test
