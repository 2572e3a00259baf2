// A composition rendered into a movie file: ffprobe reads the movie with the chosen length, size and
// frame rate, and ffmpeg decodes the colour the composition drew.
#include "platform/vckit/composition_movie_export.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using movara::test::haveProgram;
using movara::test::runCommand;

const char* kGreen = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>size</key><array><integer>64</integer><integer>48</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>0</real><real>1</real><real>0</real></array></dict>
  </array>
</dict></plist>)";

TEST(CompositionMoviePeer, FfprobeReadsTheChosenDuration)
{
    if (!haveProgram("ffprobe") || !haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffprobe or ffmpeg is missing";
    movara::test::TempDir dir;
    movara::test::writeFile(dir / "green.vcomp", kGreen);
    for (double seconds : { 2.0, 0.5 }) {
        std::string movie = (dir / ("out" + std::to_string(int(seconds * 10)) + ".mov")).string();
        HXError error;
        ASSERT_TRUE(
            VCCompositionFileWriteMovieFile((dir / "green.vcomp").string(), movie, 0, 0, seconds, &error))
            << error.localizedDescription();
        auto probe = runCommand({ "ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames",
            "-show_entries", "stream=codec_name,width,height,nb_read_frames,duration", "-of",
            "default=noprint_wrappers=1", movie });
        ASSERT_EQ(probe.status, 0) << probe.output;
        EXPECT_NE(probe.output.find("codec_name=mjpeg"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("width=64"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("height=48"), std::string::npos) << probe.output;
        EXPECT_NE(probe.output.find("nb_read_frames=" + std::to_string(int(seconds * 30))), std::string::npos)
            << probe.output;
        auto at = probe.output.find("duration=");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NEAR(std::stod(probe.output.substr(at + 9)), seconds, 0.01);
    }
    // The first frame decodes green.
    auto rgb = runCommand({ "ffmpeg", "-v", "error", "-i", (dir / "out20.mov").string(), "-frames:v", "1",
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-" });
    ASSERT_EQ(rgb.status, 0);
    ASSERT_GE(rgb.output.size(), size_t(64 * 48 * 3));
    size_t middle = (24 * 64 + 32) * 3;
    EXPECT_LT(uint8_t(rgb.output[middle]), 40);
    EXPECT_GT(uint8_t(rgb.output[middle + 1]), 215);
    EXPECT_LT(uint8_t(rgb.output[middle + 2]), 40);
}

TEST(CompositionMoviePeer, BadRequestsLeaveNoFile)
{
    movara::test::TempDir dir;
    movara::test::writeFile(dir / "green.vcomp", kGreen);
    std::string movie = (dir / "out.mov").string();
    for (double seconds : { 0.0, -1.0, 1e9 }) {
        HXError error;
        EXPECT_FALSE(
            VCCompositionFileWriteMovieFile((dir / "green.vcomp").string(), movie, 0, 0, seconds, &error));
        EXPECT_FALSE(std::filesystem::exists(movie));
    }
    HXError error;
    EXPECT_FALSE(VCCompositionFileWriteMovieFile((dir / "missing.vcomp").string(), movie, 0, 0, 1, &error));
    EXPECT_FALSE(std::filesystem::exists(movie));
    EXPECT_FALSE(VCCompositionFileWriteMovieFile(
        (dir / "green.vcomp").string(), (dir / "no/such/dir/out.mov").string(), 0, 0, 1, &error));
}

} // namespace
