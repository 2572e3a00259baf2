// Still pictures of a movie against ffmpeg's own conversion of the same picture.
#include "fixtures.h"

#include "platform/mvkit/playback/movie_frame_image.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace movara::test;

TEST(MovieFrameImageTest, PictureAtATimeLooksLikeFfmpegs)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    // Picture 25 (1 s) as B, G, R, A bytes, converted the way still pictures are (high quality).
    auto theirs = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-i", path.string(), "-vf",
        "select=eq(n\\,25)", "-sws_flags", "bicubic+accurate_rnd+full_chroma_int", "-frames:v", "1", "-f",
        "rawvideo", "-pix_fmt", "bgra", "-" });
    ASSERT_EQ(theirs.status, 0);
    ASSERT_EQ(theirs.output.size(), 160u * 120u * 4u);
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie);
    auto image = MVMovieFrameImageAtTime(movie, MVMakeTime(1, 1), {}, MVApertureMode::Clean, &error);
    ASSERT_TRUE(image) << error.localizedDescription();
    ASSERT_EQ(image->size().width, 160);
    auto rep = image->bitmapImageRep();
    ASSERT_TRUE(rep);
    ASSERT_EQ(rep->pixelsWide(), 160);
    const unsigned char* ours = rep->bitmapData();
    double total = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160 * 4; ++x)
            total += std::abs(int(ours[size_t(y) * rep->bytesPerRow() + size_t(x)])
                - int(uint8_t(theirs.output[size_t(y) * 640 + size_t(x)])));
    EXPECT_LT(total / (160.0 * 120.0 * 4.0), 0.5);

    // Scaled, and nothing past the end.
    auto small = MVMovieFrameImageAtTime(movie, MVMakeTime(1, 1), HXMakeSize(40, 30));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size().width, 40);
    EXPECT_FALSE(MVMovieFrameImageAtTime(movie, MVMakeTime(10, 1)));
    EXPECT_FALSE(MVMovieFrameImageAtTime(nullptr, MVMakeTime(0, 1)));
}
