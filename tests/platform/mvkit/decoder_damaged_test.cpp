// Damaged media: garbage sample data and samples beyond the end of their file give errors or damaged
// pictures and silence, never a crash or a hang.
#include "fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/audio_track_decoder.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/movie_player.h"
#include "platform/mvkit/playback/video_track_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

using namespace movara::test;

namespace {

struct Damaged {
    std::string path;
    MVMovieFileDescription file;
};

// A copy of the fixture with its media data overwritten by a pattern (the header kept).
Damaged garbledCopy(const std::filesystem::path& original, const TempDir& dir)
{
    Damaged d;
    d.path = (dir / "garbled.mov").string();
    std::filesystem::copy_file(original, d.path);
    d.file = *MVReadMovieFile(d.path, nullptr);
    for (const auto& atom : d.file.topLevelAtoms) {
        if (atom.type != MVFourCC("mdat"))
            continue;
        std::fstream f(d.path, std::ios::in | std::ios::out | std::ios::binary);
        for (uint64_t at = atom.offset + atom.headerSize + 64; at < atom.offset + atom.size; at += 7) {
            f.seekp(std::streamoff(at));
            f.put(char(at * 31));
        }
    }
    return d;
}

} // namespace

TEST(DamagedMediaTest, GarbageDataDecodesToSomethingOrNothing)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    TempDir dir;
    auto damaged = garbledCopy(path, dir);
    for (size_t i = 0; i < damaged.file.movie.tracks.size(); ++i) {
        HXError error;
        auto source = MVFileSampleSource::sourceWithFile(damaged.path, i, &error);
        ASSERT_TRUE(source);
        if (source->mediaType() == MVFourCC("vide")) {
            auto decoder = MVVideoTrackDecoder::decoderWithSource(source, &error, 2);
            ASSERT_TRUE(decoder);
            for (int64_t t = 0; t < decoder->editMap().duration(); t = decoder->nextChangeAfter(t))
                decoder->frameAtTime(t, &error); // any answer, but an answer
            decoder->frameAtTime(0, &error);
        } else {
            auto decoder = MVAudioTrackDecoder::decoderWithSource(source, { 44100, 2 }, &error);
            ASSERT_TRUE(decoder);
            std::vector<float> out(4096 * 2);
            for (int64_t at = 0; at < decoder->frameCount(); at += 4096)
                decoder->read(at, 4096, out.data(), &error);
            for (float v : out)
                EXPECT_TRUE(std::isfinite(v));
        }
    }
}

TEST(DamagedMediaTest, SamplesBeyondTheFileAreErrors)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    ASSERT_TRUE(file);
    const int32_t scale = int32_t(file->movie.header.timeScale);
    std::vector<MVPlayerTrack> tracks;
    for (auto track : file->movie.tracks) {
        for (auto& offset : track.media.information.sampleTable.chunkOffsets)
            offset += uint64_t(1) << 40; // far past the end of the file
        auto source = std::make_shared<MVFileSampleSource>(track, scale, path.string());
        if (source->mediaType() == MVFourCC("vide")) {
            auto decoder = MVVideoTrackDecoder::decoderWithSource(source, &error);
            ASSERT_TRUE(decoder);
            HXError readError;
            EXPECT_FALSE(decoder->frameAtTime(0, &readError));
            EXPECT_EQ(readError.code(), MVStatusInvalidSample);
        } else {
            auto decoder = MVAudioTrackDecoder::decoderWithSource(source, { 44100, 2 }, &error);
            ASSERT_TRUE(decoder);
            std::vector<float> out(1000 * 2, 1.0f);
            HXError readError;
            EXPECT_FALSE(decoder->read(0, 1000, out.data(), &readError));
            EXPECT_EQ(out, std::vector<float>(2000, 0.0f));
        }
        tracks.push_back({ track.header.trackID, source, true, 0, {} });
    }
    // The player plays it as nothing: no pictures, silence, and it still reaches the end.
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    {
        MVMoviePlayerOptions options;
        options.makeAudioOutput = [](MVAudioFormat format, MVAudioOutput::RenderCallback render) {
            return std::make_unique<MVSilentAudioOutput>(
                format, std::move(render), [] { return HXRunLoop::main().now(); });
        };
        auto player = MVMoviePlayer::player(scale, options);
        player->setTracks(tracks, int64_t(file->movie.header.duration), nullptr);
        bool ended = false;
        player->onDidEnd = [&] { ended = true; };
        player->setRate(1);
        clock->advance(3.5);
        EXPECT_TRUE(ended);
        ASSERT_EQ(player->presentedPictures().size(), 1u);
        EXPECT_FALSE(player->presentedPictures()[0].picture.frame);
    }
    HXRunLoop::main().setClock(nullptr);
}

TEST(DamagedMediaTest, MissingFilesAndTracks)
{
    HXError error;
    EXPECT_FALSE(MVFileSampleSource::sourceWithFile("/nonexistent/movie.mov", 0, &error));
    EXPECT_FALSE(error.domain().empty());
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    error = HXError();
    EXPECT_FALSE(MVFileSampleSource::sourceWithFile(path, 99, &error));
    EXPECT_EQ(error.code(), MVStatusInvalidSample);
    EXPECT_FALSE(MVVideoTrackDecoder::decoderWithSource(nullptr, &error));
    EXPECT_FALSE(MVAudioTrackDecoder::decoderWithSource(nullptr, { 44100, 2 }, &error));
}
