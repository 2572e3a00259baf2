// Sound decoded through the track decoder against what `ffmpeg` decodes from the same file.
#include "decoder_test_support.h"
#include "fixtures.h"

#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/mvkit/playback/file_sample_source.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

std::shared_ptr<MVFileSampleSource> soundSource(const std::string& path)
{
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    if (!file)
        return nullptr;
    for (size_t i = 0; i < file->movie.tracks.size(); ++i)
        if (file->movie.tracks[i].media.handler.componentSubtype == MVFourCC("soun"))
            return MVFileSampleSource::sourceWithFile(path, i, &error);
    return nullptr;
}

// Largest difference between the two, over the shorter length.
float maxDifference(const std::vector<float>& a, const std::vector<float>& b, size_t offset = 0)
{
    float worst = 0;
    for (size_t i = 0; i + offset < a.size() && i < b.size(); ++i)
        worst = std::max(worst, std::abs(a[i + offset] - b[i]));
    return worst;
}

} // namespace

struct SoundCase {
    MovieFixture fixture;
    MVAudioFormat format;
    float tolerance; // decoding only: float rounding; resampling: the filters' start-up may differ a little
    float jumpTolerance;
};

class DecodedSoundTest : public ::testing::TestWithParam<SoundCase> { };

TEST_P(DecodedSoundTest, WholeTrackMatchesFfmpeg)
{
    const auto& c = GetParam();
    MOVARA_REQUIRE_FIXTURE(path, c.fixture);
    auto expected = ffmpegSamples(path, c.format.sampleRate, c.format.channelCount);
    ASSERT_FALSE(expected.empty());
    HXError error;
    auto decoder = MVAudioTrackDecoder::decoderWithSource(soundSource(path), c.format, &error);
    ASSERT_TRUE(decoder) << error.localizedDescription();
    const size_t channels = size_t(c.format.channelCount);
    const int64_t frames = decoder->frameCount();
    // The track ends where its edit list ends; ffmpeg may go on with the encoder's padding of the last
    // block.
    const int64_t theirs = int64_t(expected.size() / channels);
    EXPECT_LE(frames, theirs + 64);
    EXPECT_GE(frames, theirs - 1024 * c.format.sampleRate / 44100 - 64);

    // Read in odd-sized pieces, as an output callback would.
    std::vector<float> ours(size_t(frames) * channels);
    for (int64_t at = 0; at < frames;) {
        int n = int(std::min<int64_t>(frames - at, 937));
        ASSERT_TRUE(decoder->read(at, n, ours.data() + size_t(at) * channels, &error))
            << error.localizedDescription();
        at += n;
    }
    EXPECT_LT(maxDifference(ours, expected), c.tolerance);

    // A jump into the middle reads the same samples as reading through, once the resampler's filter
    // has filled again: to codec rounding at the track's own rate, to a fraction of a sample's phase
    // when resampling.
    const int64_t middle = frames / 2 + 17;
    std::vector<float> piece(4000 * channels);
    ASSERT_TRUE(decoder->read(middle, 4000, piece.data(), &error));
    const size_t settle = 64 * channels;
    piece.erase(piece.begin(), piece.begin() + ptrdiff_t(settle));
    EXPECT_LT(maxDifference(ours, piece, size_t(middle) * channels + settle), c.jumpTolerance);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecodedSoundTest,
    ::testing::Values(SoundCase { MovieFixture::H264AacMov, { 44100, 1 }, 1e-5f, 1e-4f },
        SoundCase { MovieFixture::H264AacMov, { 44100, 2 }, 1e-5f, 1e-4f },
        SoundCase { MovieFixture::H264AacMp4, { 48000, 2 }, 1e-3f, 5e-3f },
        SoundCase { MovieFixture::MjpegPcmMov, { 22050, 1 }, 1e-6f, 1e-6f },
        SoundCase { MovieFixture::MjpegPcmMov, { 48000, 2 }, 1e-3f, 5e-3f },
        // Every speaker of 7.1 folded down to two where ffmpeg folds it.
        SoundCase { MovieFixture::Pcm71Mov, { 48000, 2 }, 1e-4f, 1e-4f }));

TEST(DecodedSoundEditTest, SegmentsPlayTheirMediaAndEmptySegmentsAreSilent)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::MjpegPcmMov);
    auto original = soundSource(path);
    ASSERT_TRUE(original);
    const MVAudioFormat format { 22050, 1 };
    auto expected = ffmpegSamples(path, 22050, 1);
    ASSERT_GE(expected.size(), 44100u);
    // Movie: 0.5 s from media 1.0 s, 0.25 s empty, 0.5 s from media 0.
    MVTrackDescription track = original->track();
    int32_t movieScale = original->movieTimeScale();
    int32_t mediaScale = original->mediaTimeScale();
    track.editList = MVEditList {};
    track.editList->entries = {
        { uint64_t(movieScale / 2), mediaScale, 0x10000 },
        { uint64_t(movieScale / 4), -1, 0x10000 },
        { uint64_t(movieScale / 2), 0, 0x10000 },
    };
    HXError error;
    auto decoder = MVAudioTrackDecoder::decoderWithSource(
        std::make_shared<MVFileSampleSource>(track, movieScale, path), format, &error);
    ASSERT_TRUE(decoder);
    ASSERT_EQ(decoder->frameCount(), 27563); // 1.25 s, rounded
    std::vector<float> ours(size_t(decoder->frameCount()));
    ASSERT_TRUE(decoder->read(0, int(ours.size()), ours.data(), &error));
    for (size_t i = 0; i < 11025; ++i)
        ASSERT_NEAR(ours[i], expected[22050 + i], 1e-6) << i;
    for (size_t i = 11025; i < 16538; ++i)
        ASSERT_EQ(ours[i], 0.0f) << i;
    for (size_t i = 16538; i < ours.size(); ++i)
        ASSERT_NEAR(ours[i], expected[i - 16538], 1e-6) << i;
    // Past the end: silence, no error.
    std::vector<float> after(100, 1.0f);
    EXPECT_TRUE(decoder->read(decoder->frameCount() + 10, 100, after.data(), &error));
    EXPECT_EQ(after, std::vector<float>(100, 0.0f));
}
