// Numbered image sequences made by ffmpeg, opened as movies and saved: the saved movie decodes to the
// images.
#include "movie_peer_fixtures.h"
#include "platform/mvkit/movie_image_sequence.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

TEST(ImageSequencePeer, ImagesBecomeFramesOfASavedMovie)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    // Any still image libavcodec decodes and movie files name: PNG, JPEG, TIFF, Targa ...
    for (const char* ext : { "png", "jpg", "tif", "tga" }) {
        SCOPED_TRACE(ext);
        std::string pattern = (dir / (std::string("shot%03d.") + ext)).string();
        ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                 "testsrc=size=64x48:rate=10:duration=1", "-start_number", "7", pattern })
                      .status,
            0);
        auto first = dir / (std::string("shot007.") + ext);
        auto files = MVImageSequenceFiles(first.string());
        ASSERT_EQ(files.size(), 10u);
        EXPECT_EQ(files.back(), (dir / (std::string("shot016.") + ext)).string());

        HXError error;
        auto m = MVMovieWithImageSequence(first.string(), 60, 600, &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        EXPECT_EQ(m->durationValue(), 600);
        EXPECT_EQ(m->naturalSize(), (std::pair<double, double>(64, 48)));
        auto saved = dir / (std::string("sequence-") + ext + ".mov");
        ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
        auto streams = probeStreams(saved);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(streams[0].frames, 10);
        EXPECT_NEAR(streams[0].duration, 1.0, 0.001);
        auto images = frameHashes(pattern, "", { "-start_number", "7" });
        ASSERT_EQ(images.size(), 10u);
        EXPECT_EQ(frameHashes(saved), images);
    }
}

TEST(ImageSequencePeer, NotAnImageOrNoFile)
{
    TempDir dir;
    writeFile(dir / "notes001.txt", "not an image");
    HXError error;
    EXPECT_EQ(MVMovieWithImageSequence((dir / "notes001.txt").string(), 60, 600, &error), nullptr);
    EXPECT_EQ(error.code(), -2102);
    EXPECT_EQ(MVMovieWithImageSequence((dir / "missing001.png").string(), 60, 600, &error), nullptr);
    EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
    EXPECT_EQ(MVImageSequenceFiles((dir / "notes001.txt").string()).size(), 1u);
}

} // namespace
