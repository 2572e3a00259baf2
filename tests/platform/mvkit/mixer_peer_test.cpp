// A decoded track mixed at various settings against `ffmpeg`'s decode of the same track.
#include "decoder_test_support.h"
#include "fixtures.h"

#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/audio_mixer.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/mvkit/playback/file_sample_source.h"

#include <gtest/gtest.h>

using namespace movara::test;

TEST(MixedSoundTest, MixOfOneTrackFollowsItsSettings)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    const MVAudioFormat format { 44100, 2 };
    auto reference = ffmpegSamples(path, format.sampleRate, format.channelCount);
    ASSERT_FALSE(reference.empty());
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    ASSERT_TRUE(file);
    size_t soundIndex = 0;
    while (file->movie.tracks.at(soundIndex).media.handler.componentSubtype != MVFourCC("soun"))
        ++soundIndex;

    struct Case {
        const char* name;
        MVAudioMixSettings track;
        MVAudioMixSettings movie;
        float left; // factor against the reference
        float right;
    };
    const Case cases[] = {
        { "unity", {}, {}, 1, 1 },
        { "track volume", { .volume = 0.5f }, {}, 0.5f, 0.5f },
        { "movie volume", {}, { .volume = 0.25f }, 0.25f, 0.25f },
        { "balance left", { .balance = -1 }, {}, 1, 0 },
        { "movie balance", {}, { .balance = 0.5f }, 0.5f, 1 },
        { "track muted", { .muted = true }, {}, 0, 0 },
        { "movie muted", {}, { .muted = true }, 0, 0 },
    };
    for (const auto& c : cases) {
        auto decoder = MVAudioTrackDecoder::decoderWithSource(
            MVFileSampleSource::sourceWithFile(path, soundIndex, &error), format, &error);
        ASSERT_TRUE(decoder);
        MVAudioMixer mixer(format);
        mixer.setMovieSettings(c.movie);
        const int block = 1024;
        std::vector<float> in(size_t(block) * 2), out(size_t(block) * 2);
        float worst = 0;
        for (int64_t at = 0; at + block <= decoder->frameCount(); at += block) {
            ASSERT_TRUE(decoder->read(at, block, in.data(), &error));
            MVAudioMixer::Input input { 2, in.data(), c.track };
            mixer.mix({ &input, 1 }, block, out.data());
            for (size_t i = 0; i < out.size(); ++i) {
                float expected = reference[size_t(at) * 2 + i] * (i % 2 ? c.right : c.left);
                worst = std::max(worst, std::abs(out[i] - expected));
            }
        }
        EXPECT_LT(worst, 1e-5f) << c.name;
    }
}
