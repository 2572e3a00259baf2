// Pictures decoded through the track decoders against what `ffmpeg` decodes from the same file.
#include "decoder_test_support.h"
#include "fixtures.h"

#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/video_track_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace movara::test;

namespace {

std::shared_ptr<MVFileSampleSource> videoSource(const std::string& path)
{
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    if (!file)
        return nullptr;
    for (size_t i = 0; i < file->movie.tracks.size(); ++i)
        if (file->movie.tracks[i].media.handler.componentSubtype == MVFourCC("vide"))
            return MVFileSampleSource::sourceWithFile(path, i, &error);
    return nullptr;
}

// The movie time (in `scale` units) just inside the picture that starts at `seconds`.
int64_t movieUnits(double seconds, int32_t scale)
{
    return int64_t(std::ceil(seconds * scale - 1e-6));
}

std::string hashAt(MVVideoTrackDecoder& decoder, int64_t movieTime)
{
    HXError error;
    auto frame = decoder.frameAtTime(movieTime, &error);
    return frame ? pictureMD5(frame->avFrame()) : "none: " + error.localizedDescription();
}

} // namespace

class DecodedPictureTest : public ::testing::TestWithParam<MovieFixture> { };

TEST_P(DecodedPictureTest, EveryPictureInOrderAndAfterSeeksMatchesFfmpeg)
{
    MOVARA_REQUIRE_FIXTURE(path, GetParam());
    auto expected = ffmpegFrameHashes(path);
    ASSERT_FALSE(expected.empty());
    auto source = videoSource(path);
    ASSERT_TRUE(source);
    HXError error;
    auto decoder = MVVideoTrackDecoder::decoderWithSource(source, &error);
    ASSERT_TRUE(decoder) << error.localizedDescription();
    int32_t scale = source->movieTimeScale();

    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(hashAt(*decoder, movieUnits(expected[i].time, scale)), expected[i].md5) << "picture " << i;

    // Random jumps, backward included, must land on the same pictures.
    std::vector<size_t> order(expected.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (size_t i : order)
        EXPECT_EQ(hashAt(*decoder, movieUnits(expected[i].time, scale)), expected[i].md5) << "picture " << i;
}

TEST_P(DecodedPictureTest, PlayingThroughDecodesEverySampleOnce)
{
    MOVARA_REQUIRE_FIXTURE(path, GetParam());
    auto source = videoSource(path);
    ASSERT_TRUE(source);
    // Frame threads hold pictures back, so the last ones come after the decoder was drained.
    for (int threads : { 1, 4 }) {
        HXError error;
        auto decoder = MVVideoTrackDecoder::decoderWithSource(source, &error, threads);
        ASSERT_TRUE(decoder);
        int64_t pictures = 0;
        for (int64_t t = 0; t < decoder->editMap().duration(); t = decoder->nextChangeAfter(t)) {
            ASSERT_TRUE(decoder->frameAtTime(t, &error)) << t;
            ++pictures;
        }
        EXPECT_EQ(pictures, source->sampleCount());
        EXPECT_EQ(decoder->samplesDecoded(), source->sampleCount()) << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecodedPictureTest,
    ::testing::Values(
        MovieFixture::H264AacMov, MovieFixture::H264AacMp4, MovieFixture::MjpegPcmMov, MovieFixture::PngMov));

TEST(DecodedPictureEditTest, EditedTrackShowsThePicturesItsSegmentsName)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    auto expected = ffmpegFrameHashes(path);
    ASSERT_EQ(expected.size(), 75u);
    auto original = videoSource(path);
    ASSERT_TRUE(original);
    // Three segments: the second second of the movie, one second of nothing, then the first half second.
    MVTrackDescription track = original->track();
    int32_t movieScale = original->movieTimeScale();
    int64_t start = track.editList ? track.editList->entries.at(0).mediaTime : 0;
    int32_t mediaScale = original->mediaTimeScale();
    track.editList = MVEditList {};
    track.editList->entries = {
        { uint64_t(movieScale), start + mediaScale, 0x10000 },
        { uint64_t(movieScale), -1, 0x10000 },
        { uint64_t(movieScale / 2), start, 0x10000 },
    };
    auto source = std::make_shared<MVFileSampleSource>(track, movieScale, path);
    HXError error;
    auto decoder = MVVideoTrackDecoder::decoderWithSource(source, &error);
    ASSERT_TRUE(decoder);

    struct Case {
        double movieSeconds;
        int expectedPicture; // −1: nothing shown
    };
    const Case cases[] = {
        { 0.0, 25 },
        { 0.5, 37 },
        { 0.99, 49 },
        { 1.0, -1 },
        { 1.7, -1 },
        { 2.0, 0 },
        { 2.3, 7 },
        { 2.49, 12 },
        { 2.5, -1 },
    };
    for (const auto& c : cases) {
        auto frame = decoder->frameAtTime(movieUnits(c.movieSeconds, movieScale), &error);
        if (c.expectedPicture < 0)
            EXPECT_FALSE(frame) << c.movieSeconds;
        else
            EXPECT_TRUE(frame && pictureMD5(frame->avFrame()) == expected[size_t(c.expectedPicture)].md5)
                << c.movieSeconds;
    }
    EXPECT_EQ(decoder->nextChangeAfter(0), movieScale / 25);
    EXPECT_EQ(decoder->nextChangeAfter(movieUnits(0.99, movieScale)), movieScale);
    EXPECT_EQ(decoder->nextChangeAfter(movieUnits(1.5, movieScale)), 2 * movieScale);
}
