// The player against a manual clock and a silent sound output: sync of picture and sound, the
// pictures it presents, ends, many open-play-close cycles, and sound at other speeds, pitches and
// backward.
#include "audio_capture.h"
#include "decoder_test_support.h"
#include "fixtures.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/audio_tempo_filter.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/movie_player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace movara::test;

namespace {

struct OpenedMovie {
    std::vector<MVPlayerTrack> tracks;
    int32_t timeScale = 600;
    int64_t duration = 0;
};

OpenedMovie openMovie(const std::string& path)
{
    OpenedMovie movie;
    HXError error;
    auto file = MVReadMovieFile(path, &error);
    if (!file)
        return movie;
    movie.timeScale = int32_t(file->movie.header.timeScale);
    movie.duration = int64_t(file->movie.header.duration);
    for (size_t i = 0; i < file->movie.tracks.size(); ++i) {
        const auto& t = file->movie.tracks[i];
        movie.tracks.push_back({ t.header.trackID,
            std::make_shared<MVFileSampleSource>(t, movie.timeScale, path), true, t.header.layer, {} });
    }
    return movie;
}

std::string makeLongMovie(const TempDir& dir)
{
    auto path = (dir / "long.mov").string();
    auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=size=96x64:rate=25:duration=61", "-f", "lavfi", "-i",
        "sine=frequency=300:sample_rate=44100:duration=61", "-c:v", "libx264", "-preset", "ultrafast", "-g",
        "25", "-bf", "2", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "48k", path });
    return result.status == 0 ? path : std::string();
}

} // namespace

TEST(PlaybackSyncTest, PictureStaysWithTheSoundClockForAMinute)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    auto path = makeLongMovie(dir);
    ASSERT_FALSE(path.empty());
    auto expected = ffmpegFrameHashes(path);
    ASSERT_GE(expected.size(), 1500u);
    ManualClockScope scope;
    auto movie = openMovie(path);
    auto player = MVMoviePlayer::player(movie.timeScale, silentOptions());
    HXError error;
    ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, &error)) << error.localizedDescription();
    ASSERT_TRUE(player->hasSound());

    player->setRate(1);
    double worst = 0;
    size_t checkedHashes = 0;
    for (int tick = 0; tick < 60 * 60; ++tick) {
        scope.clock->advance(1.0 / 60);
        const auto& pictures = player->presentedPictures();
        ASSERT_EQ(pictures.size(), 1u);
        const auto& picture = pictures[0].picture;
        ASSERT_TRUE(picture.frame);
        double shown = double(picture.start) / movie.timeScale;
        double heard = player->audioClockTime();
        worst = std::max(worst, std::abs(heard - shown));
        ASSERT_LE(std::abs(heard - shown), 0.040) << "at tick " << tick;
        if (tick % 97 == 0) {
            size_t index = size_t(std::llround(shown * 25));
            ASSERT_LT(index, expected.size());
            EXPECT_EQ(pictureMD5(picture.frame->avFrame()), expected[index].md5) << shown;
            ++checkedHashes;
        }
    }
    EXPECT_GT(checkedHashes, 30u);
    EXPECT_NEAR(player->currentTime() / double(movie.timeScale), 60.0, 0.05);
    RecordProperty("worstOffsetMilliseconds", int(worst * 1000));
}

TEST(PlaybackTest, PlaysToTheEndStopsAndShowsTheLastPicture)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    auto expected = ffmpegFrameHashes(path);
    ASSERT_FALSE(expected.empty());
    ManualClockScope scope;
    auto movie = openMovie(path);
    auto player = MVMoviePlayer::player(movie.timeScale, silentOptions());
    ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
    std::vector<std::string> events;
    player->onRateChange = [&](double rate) { events.push_back("rate " + std::to_string(int(rate))); };
    player->onDidEnd = [&] { events.push_back("end"); };
    player->onTimeJump = [&] { events.push_back("jump"); };

    player->setCurrentTime(movie.duration - movie.timeScale / 2);
    player->setRate(1);
    scope.clock->advance(1.0);
    EXPECT_EQ(player->rate(), 0);
    EXPECT_EQ(player->currentTime(), movie.duration);
    EXPECT_EQ(events, (std::vector<std::string> { "jump", "rate 1", "rate 0", "end" }));
    ASSERT_EQ(player->presentedPictures().size(), 1u);
    EXPECT_EQ(pictureMD5(player->presentedPictures()[0].picture.frame->avFrame()), expected.back().md5);

    // Going back a frame and to the beginning shows those pictures at once.
    player->step(-1);
    EXPECT_EQ(pictureMD5(player->presentedPictures()[0].picture.frame->avFrame()),
        expected[expected.size() - 2].md5);
    player->gotoBeginning();
    EXPECT_EQ(player->currentTime(), 0);
    EXPECT_EQ(pictureMD5(player->presentedPictures()[0].picture.frame->avFrame()), expected.front().md5);
    player->step(3);
    EXPECT_EQ(pictureMD5(player->presentedPictures()[0].picture.frame->avFrame()), expected[3].md5);

    // A still picture at any time, decoded on the spot.
    auto stills = player->picturesAtTime(movie.timeScale); // 1 s: picture 25
    ASSERT_EQ(stills.size(), 1u);
    EXPECT_EQ(pictureMD5(stills[0].picture.frame->avFrame()), expected[25].md5);

    // Preroll shows the picture at once and play goes on from there.
    player->preroll(2 * movie.timeScale, 1);
    EXPECT_EQ(pictureMD5(player->presentedPictures()[0].picture.frame->avFrame()), expected[50].md5);
    player->setRate(1);
    scope.clock->advance(0.21);
    EXPECT_EQ(pictureMD5(player->presentedPictures()[0].picture.frame->avFrame()), expected[55].md5);
}

TEST(PlaybackTest, LoopingPlaysOnThroughTheEnd)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    ManualClockScope scope;
    auto movie = openMovie(path);
    auto player = MVMoviePlayer::player(movie.timeScale, silentOptions());
    ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
    player->clock().setLoopMode(MVLoopMode::Loop);
    player->setRate(1);
    scope.clock->advance(3.5); // the movie is 3 s long
    EXPECT_EQ(player->rate(), 1);
    EXPECT_NEAR(double(player->currentTime()) / movie.timeScale, 0.5, 0.05);
    EXPECT_NEAR(player->audioClockTime(), 0.5, 0.05);

    // Backward play (no sound) back through the start.
    player->setRate(-1);
    scope.clock->advance(1.0);
    EXPECT_NEAR(double(player->currentTime()) / movie.timeScale, 2.5, 0.05);
    ASSERT_TRUE(player->presentedPictures()[0].picture.frame);
}

TEST(PlaybackTest, HundredOpenPlayCloseCycles)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    ManualClockScope scope;
    for (int cycle = 0; cycle < 100; ++cycle) {
        auto movie = openMovie(path);
        auto options = silentOptions();
        options.frameWait = cycle % 2 ? 0.0 : 10.0; // half of them drop late pictures
        auto player = MVMoviePlayer::player(movie.timeScale, options);
        ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
        player->setCurrentTime((cycle * 37) % movie.duration);
        player->setRate(cycle % 3 == 0 ? 2 : 1);
        scope.clock->advance(0.1);
        player->setRate(0);
    }
}

TEST(PlaybackTest, SoundKeepsItsPitchAtFastAndSlowRatesAndShiftsItAtOneSpeed)
{
    // The fixture's sound is a 440 Hz sine: heard at 440 Hz at every rate, an octave up at +1200 cents.
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    ManualClockScope scope;
    auto movie = openMovie(path);
    struct Case {
        double rate;
        double cents;
        double heardFrequency;
    };
    const Case cases[] = { { 1.0, 0, 440 }, { 2.0, 0, 440 }, { 0.5, 0, 440 }, { 1.5, 0, 440 },
        { 2.5, 0, 440 }, { 1.0, 1200, 880 }, { 1.0, -1200, 220 }, { 1.5, 1200, 880 } };
    for (const auto& c : cases) {
        auto player = MVMoviePlayer::player(movie.timeScale, silentOptions());
        ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
        player->setNumberOfBandLevels(12);
        player->setPitch(c.cents);
        player->setRate(c.rate);
        scope.clock->advance(1.0);
        // The clock follows the sound at this rate: the shift does not change the speed.
        EXPECT_NEAR(double(player->currentTime()) / movie.timeScale, c.rate, 0.03) << c.rate;
        EXPECT_NEAR(player->audioClockTime(), c.rate, 0.03) << c.rate;
        auto levels = player->audioLevels();
        int loudest = 0;
        for (uint32_t b = 1; b < levels.numberOfBandLevels; ++b)
            if (levels.level(0, b) > levels.level(0, uint32_t(loudest)))
                loudest = int(b);
        EXPECT_LE(MVAudioLevelMeter::bandEdge(loudest, 12, 44100), c.heardFrequency) << c.rate;
        EXPECT_GT(MVAudioLevelMeter::bandEdge(loudest + 1, 12, 44100), c.heardFrequency) << c.rate;
    }
    // Slower than half speed or faster than four times the picture plays alone, either way.
    const double silentRates[] = { 5, 0.25, -0.25, -6 };
    for (double rate : silentRates) {
        auto player = MVMoviePlayer::player(movie.timeScale, silentOptions());
        ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
        const int64_t start = movie.duration / 2;
        player->setCurrentTime(start);
        player->setRate(rate);
        scope.clock->advance(0.2);
        EXPECT_NEAR(double(player->currentTime() - start) / movie.timeScale, 0.2 * rate, 0.02) << rate;
        for (float level : player->audioLevels().levels)
            EXPECT_EQ(level, 0.0f) << rate;
    }
}

TEST(PlaybackTest, SoundAtRateOneIsTheDecodedSound)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    auto expected = ffmpegSamples(path, 44100, 2);
    ASSERT_GE(expected.size(), 2u * 44100);
    ManualClockScope scope;
    auto movie = openMovie(path);
    RecordingOutput* recording = nullptr;
    auto player = MVMoviePlayer::player(movie.timeScale, recordingOptions(&recording));
    ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
    player->setRate(1);
    // The sound is handed on at the player's ticks, which follow the pictures' times: one tick more
    // passes the second.
    scope.clock->advance(1.0 + MVMoviePlayerOptions().tickInterval);
    ASSERT_TRUE(recording);
    ASSERT_GE(recording->samples.size(), 2u * 44000);
    float worst = 0;
    for (size_t i = 0; i < recording->samples.size(); ++i)
        worst = std::max(worst, std::abs(recording->samples[i] - expected[i]));
    EXPECT_LT(worst, 1e-5f);
}

TEST(PlaybackTest, SoundAtOtherSpeedsPitchesAndBackwardIsFfmpegsFilteredDecode)
{
    // Our sound against ffmpeg's decode of the same track through the same filters (backward: ffmpeg
    // reverses the part before the start).
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    ManualClockScope scope;
    auto movie = openMovie(path);
    struct Case {
        double rate;
        double cents;
        double start; // seconds
        float tolerance;
    };
    // Backward each piece is decoded from a new start, where the codec settles a little differently.
    const Case cases[] = {
        { 1.5, 0, 0, 1e-4f },
        { 0.75, 0, 0, 1e-4f },
        { 3.0, 0, 0.5, 1e-4f },
        { 1.0, 300, 0, 1e-4f },
        { 1.0, -500, 1.0, 1e-4f },
        { 1.25, 200, 0, 1e-4f },
        { -1.0, 0, 2.0, 2e-3f },
        { -1.5, 0, 2.5, 2e-3f },
        { -1.0, 400, 2.0, 2e-3f },
    };
    for (const auto& c : cases) {
        const std::string name = "rate " + std::to_string(c.rate) + " cents " + std::to_string(c.cents);
        std::string filters = c.rate > 0 ? "atrim=start=" + std::to_string(c.start)
                                         : "atrim=end=" + std::to_string(c.start) + ",areverse";
        filters += ",aformat=sample_fmts=flt:sample_rates=44100:channel_layouts=stereo";
        const std::string chain = MVAudioTempoFilter::filterDescription(std::abs(c.rate), c.cents, 44100);
        if (!chain.empty())
            filters += "," + chain;
        auto result = runCommand({ "ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-map", "0:a:0",
            "-af", filters, "-f", "f32le", "-" });
        ASSERT_EQ(result.status, 0) << filters;
        std::vector<float> expected(result.output.size() / sizeof(float));
        std::memcpy(expected.data(), result.output.data(), expected.size() * sizeof(float));

        RecordingOutput* recording = nullptr;
        auto player = MVMoviePlayer::player(movie.timeScale, recordingOptions(&recording));
        ASSERT_TRUE(player->setTracks(movie.tracks, movie.duration, nullptr));
        player->setCurrentTime(int64_t(std::llround(c.start * movie.timeScale)));
        player->setPitch(c.cents);
        player->setRate(c.rate);
        scope.clock->advance(0.5);
        ASSERT_TRUE(recording);
        const size_t count = std::min(recording->samples.size(), expected.size());
        ASSERT_GE(count, size_t(2 * 44100 * 0.45)) << name;
        float worst = 0;
        double energy = 0;
        for (size_t i = 0; i < count; ++i) {
            worst = std::max(worst, std::abs(recording->samples[i] - expected[i]));
            energy += double(expected[i]) * expected[i];
        }
        EXPECT_LT(worst, c.tolerance) << name;
        EXPECT_GT(std::sqrt(energy / double(count)), 0.01) << name; // not silence against silence
        // The clock went the way of the sound.
        // (as of the player's last tick, at most one tick interval ago)
        EXPECT_NEAR(double(player->currentTime()) / movie.timeScale, c.start + 0.5 * c.rate,
            0.03 + std::abs(c.rate) * MVMoviePlayerOptions().tickInterval)
            << name;
    }
}
