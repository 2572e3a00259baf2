// Text tracks: sample texts, the text at a movie time, and the texts the player presents.
#include "fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/movie_player.h"
#include "platform/mvkit/playback/text_track_reader.h"

#include <gtest/gtest.h>

using namespace movara::test;

TEST(TextTrackTest, SampleTexts)
{
    struct Case {
        const char* name;
        MVBytes bytes;
        uint32_t format;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        { "utf-8", { 0, 5, 'H', 'e', 'l', 'l', 'o', 0, 0, 0, 8 }, MVFourCC("tx3g"), "Hello" },
        { "empty", { 0, 0 }, MVFourCC("tx3g"), "" },
        { "mac roman", { 0, 4, 'C', 'a', 'f', 0x8E }, MVFourCC("text"), "Caf\xC3\xA9" },
        { "mac roman, ASCII only", { 0, 3, 'C', 'a', 't' }, MVFourCC("text"), "Cat" },
        { "mac roman that is not UTF-8", { 0, 3, 0xC3, 'a', 0x8E }, MVFourCC("text"),
            "\xE2\x88\x9A"
            "a\xC3\xA9" },
        { "utf-8 written under the classic format", { 0, 5, 0xC3, 0x89, 't', 0xC3, 0xA9 }, MVFourCC("text"),
            "\xC3\x89t\xC3\xA9" },
        { "utf-16 big-endian", { 0, 6, 0xFE, 0xFF, 0, 'O', 0, 'k' }, MVFourCC("tx3g"), "Ok" },
        { "utf-16 little-endian", { 0, 4, 0xFF, 0xFE, 0xAC, 0x20 }, MVFourCC("tx3g"), "\xE2\x82\xAC" },
        { "count past the end", { 0, 9, 'a' }, MVFourCC("tx3g"), std::nullopt },
        { "no count", { 7 }, MVFourCC("tx3g"), std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVTextTrackReader::textFromSample(c.bytes, c.format), c.expected) << c.name;
}

TEST(TextTrackTest, SubtitlesAtTheirTimes)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::SubtitleMov); // "Hello" 0.5–1.5 s, "World" 2.0–2.8 s
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    ASSERT_TRUE(file);
    std::shared_ptr<MVFileSampleSource> text;
    std::vector<MVPlayerTrack> tracks;
    const int32_t scale = int32_t(file->movie.header.timeScale);
    for (const auto& t : file->movie.tracks) {
        auto source = std::make_shared<MVFileSampleSource>(t, scale, path.string());
        if (MVTextTrackReader::isTextMedia(source->mediaType()))
            text = source;
        tracks.push_back({ t.header.trackID, source, true, t.header.layer, {} });
    }
    ASSERT_TRUE(text);
    MVTextTrackReader reader(text);
    struct Case {
        double seconds;
        const char* expected;
    };
    const Case cases[] = { { 0.2, "" }, { 0.5, "Hello" }, { 1.49, "Hello" }, { 1.6, "" }, { 2.0, "World" },
        { 2.79, "World" }, { 2.9, "" }, { 100, "" }, { -1, "" } };
    for (const auto& c : cases)
        EXPECT_EQ(reader.textAtTime(int64_t(c.seconds * scale)), c.expected) << c.seconds;

    HXRunLoop::main().setClock(std::make_shared<HXManualClock>());
    {
        MVMoviePlayerOptions options;
        options.makeAudioOutput = [](MVAudioFormat format, MVAudioOutput::RenderCallback render) {
            return std::make_unique<MVSilentAudioOutput>(
                format, std::move(render), [] { return HXRunLoop::main().now(); });
        };
        auto player = MVMoviePlayer::player(scale, options);
        ASSERT_TRUE(player->setTracks(tracks, int64_t(file->movie.header.duration), &error));
        ASSERT_EQ(player->presentedTexts().size(), 1u);
        EXPECT_EQ(player->presentedTexts()[0].text, "");
        int changes = 0;
        player->onPictureChange = [&] { ++changes; };
        player->setCurrentTime(scale * 6 / 10);
        EXPECT_EQ(player->presentedTexts()[0].text, "Hello");
        EXPECT_GE(changes, 1);
    }
    HXRunLoop::main().setClock(nullptr);
}
