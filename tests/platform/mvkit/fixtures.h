#pragma once
// Small movie fixtures for the media-layer tests, made with the `ffmpeg` command-line tool.
//
// Each fixture is generated once per test program (on first use) into a temporary folder that lives
// until the program exits, so tests can share them read-only. Copy a fixture before changing it.
// When `ffmpeg` is missing, fixturePath() answers an empty path: use MOVARA_REQUIRE_FIXTURE to skip.
//
// All fixtures are tiny: 160x120 pictures, a few seconds, so they are made in well under a second each.
#include <filesystem>
#include <string>

namespace movara::test {

enum class MovieFixture {
    H264AacMov,    // .mov: H.264 (with B-frames, so 'ctts' and 'stss') + AAC, 3 s at 25 fps
    H264AacMp4,    // .mp4: the same streams in an 'isom' file with 'ftyp'
    MjpegPcmMov,   // .mov: Motion JPEG + 16-bit PCM, 2 s at 10 fps
    TimecodeMov,   // .mov: H.264 with a timecode track ('tmcd', referenced through 'tref')
    ChaptersMp4,   // .mp4: H.264 + AAC with two chapters (a text track referenced through 'chap')
    SubtitleMov,   // .mov: H.264 + a 'tx3g' subtitle track with two cues
    MetadataMov,   // .mov: H.264 with a title and a custom key in 'meta' ('mdta' keys)
    H264AacMkv,    // .mkv: H.264 + AAC (another container, for the import)
    MjpegPcmAvi,   // .avi: Motion JPEG + PCM
    PcmWav,        // .wav: 16-bit PCM, 2 s
    Mp3Audio,      // .mp3: MP3 audio, 2 s
    MpegTs,        // .ts: H.264 + AAC in an MPEG transport stream
};

// The fixture's path, making it on first use; empty when ffmpeg is not available or failed.
std::filesystem::path fixturePath(MovieFixture fixture);
// A short name for messages ("h264_aac.mov").
std::string fixtureName(MovieFixture fixture);

}  // namespace movara::test

// Skips the current test when the fixture cannot be made; otherwise declares `const auto name` = path.
#define MOVARA_REQUIRE_FIXTURE(name, fixture)                                       \
    const auto name = ::movara::test::fixturePath(fixture);                         \
    if (name.empty())                                                               \
    GTEST_SKIP() << "ffmpeg could not make " << ::movara::test::fixtureName(fixture)
