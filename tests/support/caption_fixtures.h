#pragma once
// Movies with closed captions, made with the ffmpeg command line: pop-on CEA-608 captions either in a
// closed-caption track ('c608', written by ffmpeg from a Scenarist file) or carried in the pictures of an
// H.264 track (A/53 caption data in SEI messages, put into ffmpeg's raw stream before it is muxed).
#include "test_support.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace movara::test {

struct CaptionCue {
    double seconds; // when its loading starts (it shows a few frames later, at its end-of-caption)
    std::string text; // capitals, digits and blanks; empty: erase the shown caption
};

// The byte pairs of a cue in field 1, channel 1, with odd parity: a pop-on caption on row 15, or an erase.
inline std::vector<std::pair<uint8_t, uint8_t>> captionPairs(const std::string& text)
{
    auto parity = [](uint8_t b) {
        int ones = 0;
        for (int i = 0; i < 7; ++i)
            ones += (b >> i) & 1;
        return uint8_t(ones % 2 == 0 ? (b | 0x80) : b);
    };
    std::vector<std::pair<uint8_t, uint8_t>> pairs;
    auto twice = [&](uint8_t a, uint8_t b) { pairs.insert(pairs.end(), 2, { a, b }); };
    if (text.empty()) {
        twice(0x94, 0x2C); // erase displayed memory
        return pairs;
    }
    twice(0x94, 0x20); // resume caption loading
    twice(0x94, 0xAE); // erase non-displayed memory
    twice(0x94, 0x70); // row 15, column 0
    for (size_t i = 0; i < text.size(); i += 2)
        pairs.push_back({ parity(uint8_t(text[i])), i + 1 < text.size() ? parity(uint8_t(text[i + 1])) : uint8_t(0x80) });
    twice(0x94, 0x2F); // end of caption: show it
    return pairs;
}

// A movie of `seconds` with a test picture (160 × 120, 25 per second) and a closed-caption track.
inline bool makeCaptionTrackMovie(const std::filesystem::path& path, const std::vector<CaptionCue>& cues, int seconds = 5)
{
    std::string scc = "Scenarist_SCC V1.0\n\n";
    for (const auto& cue : cues) {
        int frames = int(std::lround(cue.seconds * 30));
        char time[32];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d:%02d", frames / 108000, frames / 1800 % 60, frames / 30 % 60,
            frames % 30);
        scc += time;
        scc += '\t';
        bool first = true;
        for (auto [a, b] : captionPairs(cue.text)) {
            char word[8];
            std::snprintf(word, sizeof word, "%s%02x%02x", first ? "" : " ", a, b);
            scc += word;
            first = false;
        }
        scc += "\n\n";
    }
    auto sccPath = path.parent_path() / (path.stem().string() + ".scc");
    writeFile(sccPath, scc);
    return runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
               "testsrc=size=160x120:rate=25:duration=" + std::to_string(seconds), "-i", sccPath.string(), "-map",
               "0", "-map", "1", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:s", "copy", path.string() })
               .status
        == 0;
}

// A movie of `seconds` whose H.264 pictures (160 × 120, 25 per second, no reordering) carry the cues:
// one caption byte pair per picture from each cue's time on.
inline bool makeCaptionsInPicturesMovie(const std::filesystem::path& path, const std::vector<CaptionCue>& cues, int seconds = 5)
{
    auto raw = path.parent_path() / (path.stem().string() + ".h264");
    if (runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
            "testsrc=size=160x120:rate=25:duration=" + std::to_string(seconds), "-c:v", "libx264", "-bf", "0",
            "-threads", "1", "-pix_fmt", "yuv420p", "-f", "h264", raw.string() })
            .status
        != 0)
        return false;
    // The pair each picture carries.
    std::vector<std::vector<std::pair<uint8_t, uint8_t>>> perPicture(size_t(seconds * 25));
    for (const auto& cue : cues) {
        size_t at = size_t(std::lround(cue.seconds * 25));
        for (auto pair : captionPairs(cue.text)) {
            while (at < perPicture.size() && !perPicture[at].empty())
                ++at;
            if (at < perPicture.size())
                perPicture[at].push_back(pair);
        }
    }
    // Each picture's first slice (first_mb_in_slice 0) gets an SEI message before it.
    std::string in = readFile(raw), out;
    size_t picture = 0;
    size_t at = 0;
    while (at < in.size()) {
        size_t start = in.find(std::string("\0\0\1", 3), at);
        if (start == std::string::npos) {
            out += in.substr(at);
            break;
        }
        size_t codeStart = start > 0 && in[start - 1] == '\0' ? start - 1 : start;
        out += in.substr(at, codeStart - at);
        size_t header = start + 3;
        if (header + 1 < in.size()) {
            int type = uint8_t(in[header]) & 0x1F;
            bool firstSlice = (type == 1 || type == 5) && (uint8_t(in[header + 1]) & 0x80);
            if (firstSlice) {
                if (picture < perPicture.size() && !perPicture[picture].empty()) {
                    std::string sei("\0\0\0\1\x06\x04", 6);
                    std::string payload = std::string("\xB5\x00\x31GA94\x03", 8);
                    payload += char(0x40 | perPicture[picture].size());
                    payload += '\xFF';
                    for (auto [a, b] : perPicture[picture])
                        payload += std::string { '\xFC', char(a), char(b) };
                    payload += '\xFF';
                    sei += char(payload.size());
                    sei += payload;
                    sei += '\x80';
                    out += sei;
                }
                ++picture;
            }
        }
        size_t next = in.find(std::string("\0\0\1", 3), header);
        size_t end = next == std::string::npos ? in.size() : (in[next - 1] == '\0' ? next - 1 : next);
        out += in.substr(codeStart, end - codeStart);
        at = end;
    }
    writeFile(raw, out);
    return runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-framerate", "25", "-f", "h264", "-i", raw.string(),
               "-c", "copy", path.string() })
               .status
        == 0;
}

} // namespace movara::test
