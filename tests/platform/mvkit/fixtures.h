#pragma once
// Small movie fixtures for the media-layer tests, made with the `ffmpeg` command-line tool.
//
// Each fixture is generated once per test program (on first use) into a temporary folder that lives
// until the program exits, so tests can share them read-only. Copy a fixture before changing it.
// When `ffmpeg` is missing, fixturePath() answers an empty path: use MOVARA_REQUIRE_FIXTURE to skip.
//
// The helper is header-only so that the unit and the peer test programs both get it.
//
// All fixtures are tiny: 160x120 pictures, a few seconds, so they are made in well under a second each.
#include "test_support.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace movara::test {

enum class MovieFixture {
    H264AacMov, // .mov: H.264 (with B-frames, so 'ctts' and 'stss') + AAC, 3 s at 25 fps
    H264AacMp4, // .mp4: the same streams in an 'isom' file with 'ftyp'
    MjpegPcmMov, // .mov: Motion JPEG + 16-bit PCM, 2 s at 10 fps
    TimecodeMov, // .mov: H.264 with a timecode track ('tmcd', referenced through 'tref')
    ChaptersMp4, // .mp4: H.264 + AAC with two chapters (a text track referenced through 'chap')
    SubtitleMov, // .mov: H.264 + a 'tx3g' subtitle track with two cues
    MetadataMov, // .mov: H.264 with a title and a custom key in 'meta' ('mdta' keys)
    H264AacMkv, // .mkv: H.264 + AAC (another container, for the import)
    MjpegPcmAvi, // .avi: Motion JPEG + PCM
    PcmWav, // .wav: 16-bit PCM, 2 s
    Mp3Audio, // .mp3: MP3 audio, 2 s
    MpegTs, // .ts: H.264 + AAC in an MPEG transport stream
    PngMov, // .mov: PNG pictures (each one whole), 1 s at 10 fps
    Pcm71Mov, // .mov: 7.1 sound (16-bit PCM, 48 kHz, a tone of its own in each channel), 1 s
};

// The fixture's path, making it on first use; empty when ffmpeg is not available or failed.
std::filesystem::path fixturePath(MovieFixture fixture);
// A short name for messages ("h264_aac.mov").
std::string fixtureName(MovieFixture fixture);

} // namespace movara::test

// ---- Implementation

namespace movara::test {

namespace fixtures_detail {

struct Recipe {
    const char* fileName;
    std::vector<std::string> inputs; // ffmpeg arguments before the output options
    std::vector<std::string> output; // output options
};

inline const std::vector<std::string> kVideo
    = { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3" };
inline const std::vector<std::string> kAudio
    = { "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=3" };

inline std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline const std::vector<std::string> kH264
    = { "-c:v", "libx264", "-preset", "ultrafast", "-g", "12", "-bf", "2", "-pix_fmt", "yuv420p" };

inline Recipe recipeFor(MovieFixture f, const std::filesystem::path& dir)
{
    switch (f) {
    case MovieFixture::H264AacMov:
        return { "h264_aac.mov", join({ kVideo, kAudio }),
            join({ kH264, { "-c:a", "aac", "-b:a", "64k" } }) };
    case MovieFixture::H264AacMp4:
        return { "h264_aac.mp4", join({ kVideo, kAudio }),
            join({ kH264, { "-c:a", "aac", "-b:a", "64k" } }) };
    case MovieFixture::MjpegPcmMov:
        return { "mjpeg_pcm.mov",
            { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=2", "-f", "lavfi", "-i",
                "sine=frequency=220:sample_rate=22050:duration=2" },
            { "-c:v", "mjpeg", "-q:v", "8", "-c:a", "pcm_s16le" } };
    case MovieFixture::TimecodeMov:
        return { "timecode.mov", kVideo, join({ kH264, { "-timecode", "01:00:00:00" } }) };
    case MovieFixture::ChaptersMp4: {
        writeFile(dir / "chapters.txt",
            ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=Opening\n"
            "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Closing\n");
        return { "chapters.mp4", join({ kVideo, kAudio, { "-i", (dir / "chapters.txt").string() } }),
            join({ kH264,
                { "-c:a", "aac", "-b:a", "64k", "-map", "0", "-map", "1", "-map_metadata", "2",
                    "-map_chapters", "2" } }) };
    }
    case MovieFixture::SubtitleMov:
        writeFile(dir / "cues.srt",
            "1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:02,800\nWorld\n");
        return { "subtitle.mov", join({ kVideo, { "-i", (dir / "cues.srt").string() } }),
            join({ kH264, { "-c:s", "mov_text", "-map", "0", "-map", "1" } }) };
    case MovieFixture::MetadataMov:
        return { "metadata.mov", kVideo,
            join({ kH264,
                { "-movflags", "use_metadata_tags", "-metadata", "title=Fixture Title", "-metadata",
                    "com.example.rating=5" } }) };
    case MovieFixture::H264AacMkv:
        return { "h264_aac.mkv", join({ kVideo, kAudio }),
            join({ kH264, { "-c:a", "aac", "-b:a", "64k" } }) };
    case MovieFixture::MjpegPcmAvi:
        return { "mjpeg_pcm.avi",
            { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=2", "-f", "lavfi", "-i",
                "sine=frequency=220:sample_rate=22050:duration=2" },
            { "-c:v", "mjpeg", "-q:v", "8", "-c:a", "pcm_s16le" } };
    case MovieFixture::PcmWav:
        return { "pcm.wav", { "-f", "lavfi", "-i", "sine=frequency=330:sample_rate=16000:duration=2" },
            { "-c:a", "pcm_s16le" } };
    case MovieFixture::Mp3Audio:
        return { "audio.mp3", { "-f", "lavfi", "-i", "sine=frequency=330:sample_rate=44100:duration=2" },
            { "-c:a", "libmp3lame", "-b:a", "64k" } };
    case MovieFixture::MpegTs:
        return { "h264_aac.ts", join({ kVideo, kAudio }), join({ kH264, { "-c:a", "aac", "-b:a", "64k" } }) };
    case MovieFixture::PngMov:
        return { "png.mov", { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=1" },
            { "-c:v", "png" } };
    case MovieFixture::Pcm71Mov:
        return { "pcm71.mov",
            { "-f", "lavfi", "-i",
                "aevalsrc=0.2*sin(2*PI*300*t)|0.2*sin(2*PI*500*t)|0.2*sin(2*PI*700*t)|0.2*sin(2*PI*90*t)"
                "|0.2*sin(2*PI*1100*t)|0.2*sin(2*PI*1300*t)|0.2*sin(2*PI*1700*t)|0.2*sin(2*PI*1900*t)"
                ":s=48000:d=1:c=7.1" },
            { "-c:a", "pcm_s16le" } };
    }
    return {};
}

// The folder lives as long as the program and is removed at its exit.
inline TempDir& fixtureDir()
{
    static TempDir dir;
    return dir;
}

} // namespace fixtures_detail

inline std::string fixtureName(MovieFixture fixture)
{
    return fixtures_detail::recipeFor(fixture, fixtures_detail::fixtureDir().path()).fileName;
}

inline std::filesystem::path fixturePath(MovieFixture fixture)
{
    static std::mutex mutex;
    static std::map<MovieFixture, std::filesystem::path> made;
    std::lock_guard lock(mutex);
    if (auto it = made.find(fixture); it != made.end())
        return it->second;
    std::filesystem::path result;
    if (haveProgram("ffmpeg")) {
        auto dir = fixtures_detail::fixtureDir().path();
        fixtures_detail::Recipe r = fixtures_detail::recipeFor(fixture, dir);
        auto path = dir / r.fileName;
        std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y" };
        argv.insert(argv.end(), r.inputs.begin(), r.inputs.end());
        argv.insert(argv.end(), r.output.begin(), r.output.end());
        argv.push_back(path.string());
        if (runCommand(argv).status == 0 && std::filesystem::exists(path))
            result = path;
    }
    made[fixture] = result;
    return result;
}

} // namespace movara::test

// Skips the current test when the fixture cannot be made; otherwise declares `const auto name` = path.
#define MOVARA_REQUIRE_FIXTURE(name, fixture)                                                                \
    const auto name = ::movara::test::fixturePath(fixture);                                                  \
    if (name.empty())                                                                                        \
    GTEST_SKIP() << "ffmpeg could not make " << ::movara::test::fixtureName(fixture)
