// The movie's play modes, sound and picture settings and its stepping, with and without a playback:
// what is set on the movie plays, what is set on the playback is the movie's, and a movie without a
// playback keeps its values and moves its stored time.
#include "fixtures.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace movara::test;

namespace {

class MovieSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MOVARA_SILENT_AUDIO", "1", 1);
        HXRunLoop::main().setClock(clock);
    }
    void TearDown() override { HXRunLoop::main().setClock(nullptr); }

    std::shared_ptr<MVMovie> open(MovieFixture fixture)
    {
        auto path = fixturePath(fixture);
        if (path.empty())
            return nullptr;
        HXError error;
        auto movie = MVMovie::movieWithFile(path.string(), &error);
        EXPECT_TRUE(movie) << error.localizedDescription();
        return movie;
    }

    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
};

int64_t millis(MVTime time)
{
    return MVTimeInScale(time, 1000).timeValue;
}

} // namespace

TEST_F(MovieSettingsTest, NewMoviesHaveNeutralPictureAndSoundSettings)
{
    auto movie = MVMovie::movie();
    EXPECT_EQ(movie->visualBrightness(), 0);
    EXPECT_EQ(movie->visualSaturation(), 1);
    EXPECT_EQ(movie->visualHue(), 0);
    EXPECT_EQ(movie->visualContrast(), 1);
    EXPECT_EQ(movie->pitch(), 0);
    EXPECT_EQ(movie->gain(), 1);
}

TEST_F(MovieSettingsTest, MovieSettingsReachItsPlayback)
{
    auto movie = open(MovieFixture::H264AacMov);
    if (!movie)
        GTEST_SKIP() << "no ffmpeg";
    // Set before the playback exists: it starts from them.
    movie->setLoopingMode(MVMovieLoopingMode::BackAndForth);
    movie->setPitch(300);
    movie->setVisualContrast(1.5f);
    auto playback = MVMoviePlayback::playbackForMovie(movie);
    EXPECT_EQ(playback->player().clock().loopMode(), MVLoopMode::BackAndForth);
    EXPECT_EQ(playback->player().pitch(), 300);
    EXPECT_EQ(playback->visualAdjustments().contrast, 1.5f);

    struct Case {
        const char* name;
        std::function<void(MVMovie&)> set;
        std::function<bool(MVMoviePlayback&)> applied;
    };
    const Case cases[] = {
        { "no looping", [](MVMovie& m) { m.setLoops(false); },
            [](MVMoviePlayback& p) { return p.player().clock().loopMode() == MVLoopMode::None; } },
        { "looping", [](MVMovie& m) { m.setLoops(true); },
            [](MVMoviePlayback& p) { return p.player().clock().loopMode() == MVLoopMode::Loop; } },
        { "back and forth", [](MVMovie& m) { m.setLoopsBackAndForth(true); },
            [](MVMoviePlayback& p) { return p.loopsBackAndForth(); } },
        { "back and forth off keeps looping", [](MVMovie& m) { m.setLoopsBackAndForth(false); },
            [](MVMoviePlayback& p) { return p.player().clock().loopMode() == MVLoopMode::Loop; } },
        { "selection only", [](MVMovie& m) { m.setPlaysSelectionOnly(true); },
            [](MVMoviePlayback& p) { return p.player().clock().playsSelectionOnly(); } },
        { "all frames", [](MVMovie& m) { m.setPlaysAllFrames(true); },
            [](MVMoviePlayback& p) { return p.player().clock().playsAllFrames(); } },
        { "balance", [](MVMovie& m) { m.setBalance(-0.5f); },
            [](MVMoviePlayback& p) { return p.player().movieAudioSettings().balance == -0.5f; } },
        { "bass", [](MVMovie& m) { m.setBass(6); },
            [](MVMoviePlayback& p) { return p.player().movieAudioSettings().bass == 6; } },
        { "treble", [](MVMovie& m) { m.setTreble(-3); },
            [](MVMoviePlayback& p) { return p.player().movieAudioSettings().treble == -3; } },
        { "gain", [](MVMovie& m) { m.setGain(0.25f); },
            [](MVMoviePlayback& p) { return p.player().movieAudioSettings().gain == 0.25f; } },
        { "volume", [](MVMovie& m) { m.setVolume(0.5f); },
            [](MVMoviePlayback& p) { return p.player().movieAudioSettings().volume == 0.5f; } },
        { "pitch", [](MVMovie& m) { m.setPitch(-700); },
            [](MVMoviePlayback& p) { return p.player().pitch() == -700; } },
        { "pitch out of reach", [](MVMovie& m) { m.setPitch(5000); },
            [](MVMoviePlayback& p) { return p.player().pitch() == 1200; } },
        { "brightness", [](MVMovie& m) { m.setVisualBrightness(0.25f); },
            [](MVMoviePlayback& p) { return p.visualAdjustments().brightness == 0.25f; } },
        { "saturation", [](MVMovie& m) { m.setVisualSaturation(0); },
            [](MVMoviePlayback& p) { return p.visualAdjustments().saturation == 0; } },
        { "hue", [](MVMovie& m) { m.setVisualHue(90); },
            [](MVMoviePlayback& p) { return p.visualAdjustments().hue == 90; } },
        { "contrast not a number", [](MVMovie& m) { m.setVisualContrast(NAN); },
            [](MVMoviePlayback& p) { return p.visualAdjustments().contrast == 1; } },
    };
    for (const auto& c : cases) {
        c.set(*movie);
        EXPECT_TRUE(c.applied(*playback)) << c.name;
    }

    // A track's sound settings are the track's, and each change of one reaches the playback at once.
    auto sound = movie->tracksOfMediaType(MVFourCC("soun")).front();
    const uint32_t id = sound->trackID();
    MVAudioMixSettings trackSettings;
    trackSettings.gain = 0.5f;
    trackSettings.balance = 0.25f;
    trackSettings.bass = 3;
    trackSettings.muted = true;
    playback->setTrackSoundSettings(id, trackSettings);
    EXPECT_EQ(sound->gain(), 0.5f);
    EXPECT_TRUE(sound->isMuted());
    EXPECT_EQ(sound->attributeForKey(MVTrackBalanceAttribute).realValue(), 0.25);
    EXPECT_EQ(playback->player().trackAudioSettings(id), trackSettings);
    sound->setTreble(-4);
    EXPECT_EQ(playback->player().trackAudioSettings(id).treble, -4);
    sound->setMuted(false);
    EXPECT_FALSE(playback->player().trackAudioSettings(id).muted);
    sound->setGain(2);
    EXPECT_EQ(playback->player().trackAudioSettings(id).gain, 2);
    sound->setBass(-1);
    EXPECT_EQ(playback->player().trackAudioSettings(id).bass, -1);
    sound->setVolume(0.75f);
    EXPECT_EQ(playback->player().trackAudioSettings(id).volume, 0.75f);
    sound->setAttributeForKey(-0.5, MVTrackBalanceAttribute);
    EXPECT_EQ(playback->player().trackAudioSettings(id).balance, -0.5f);

    // The playback's setters are the movie's.
    playback->setLoops(false);
    EXPECT_FALSE(movie->loops());
    playback->setPlaysAllFrames(false);
    EXPECT_FALSE(movie->playsAllFrames());
    playback->setBass(-2);
    EXPECT_EQ(movie->bass(), -2);
    playback->setPitch(100);
    EXPECT_EQ(movie->pitch(), 100);
    playback->setVisualAdjustments({ 0.1f, 2, 0.5f, 45 });
    EXPECT_EQ(movie->visualBrightness(), 0.1f);
    EXPECT_EQ(movie->visualContrast(), 2);
    EXPECT_EQ(movie->visualSaturation(), 0.5f);
    EXPECT_EQ(movie->visualHue(), 45);
}

TEST_F(MovieSettingsTest, SteppingAndJumpingWithAndWithoutAPlayback)
{
    // 2 s at 10 frames a second, every frame a key frame.
    auto movie = open(MovieFixture::MjpegPcmMov);
    if (!movie)
        GTEST_SKIP() << "no ffmpeg";
    const int32_t scale = movie->timeScale();
    ASSERT_EQ(scale % 10, 0);
    const int64_t frame = scale / 10;
    movie->setSelection({ MVMakeTime(scale / 2, scale), MVMakeTime(scale, scale) });
    for (bool withPlayback : { false, true }) {
        std::shared_ptr<MVMoviePlayback> playback;
        if (withPlayback)
            playback = MVMoviePlayback::playbackForMovie(movie);
        const std::string name = withPlayback ? "with playback" : "without playback";
        movie->setPlaysSelectionOnly(false);
        movie->setCurrentTime(MVMakeTime(0, scale));
        movie->stepForward();
        EXPECT_EQ(MVTimeInScale(movie->currentTime(), scale).timeValue, frame) << name;
        movie->step(3);
        EXPECT_EQ(MVTimeInScale(movie->currentTime(), scale).timeValue, 4 * frame) << name;
        movie->stepBackward();
        EXPECT_EQ(MVTimeInScale(movie->currentTime(), scale).timeValue, 3 * frame) << name;
        movie->step(-10); // stops at the start
        EXPECT_EQ(MVTimeInScale(movie->currentTime(), scale).timeValue, 0) << name;
        movie->stepByTime(MVMakeTime(1, 2));
        EXPECT_EQ(millis(movie->currentTime()), 500) << name;

        movie->gotoEnd();
        EXPECT_EQ(millis(movie->currentTime()), 2000) << name;
        EXPECT_TRUE(movie->isDone()) << name;
        // Play on the last picture starts the movie again from its start, forward and backward alike.
        movie->play();
        EXPECT_TRUE(movie->isPlaying()) << name;
        EXPECT_LT(millis(movie->currentTime()), 100) << name;
        movie->stop();
        movie->setPreferredRate(-1.0f);
        movie->gotoBeginning();
        movie->play();
        EXPECT_TRUE(movie->isPlaying()) << name;
        EXPECT_GT(millis(movie->currentTime()), 1900) << name;
        movie->stop();
        movie->setPreferredRate(1.0f);
        movie->gotoEnd();
        movie->stepBackward(); // at the end the last frame shows: back to the one before it
        EXPECT_EQ(MVTimeInScale(movie->currentTime(), scale).timeValue, 2 * scale - 2 * frame) << name;
        EXPECT_FALSE(movie->isDone()) << name;

        // Only the selection (0.5 s to 1.5 s) plays: its ends are the ends.
        movie->setPlaysSelectionOnly(true);
        movie->gotoBeginning();
        EXPECT_EQ(millis(movie->currentTime()), 500) << name;
        EXPECT_FALSE(movie->isDoneConsideringPlaySelectionOnly()) << name;
        movie->gotoEnd();
        EXPECT_EQ(millis(movie->currentTime()), 1500) << name;
        EXPECT_TRUE(movie->isDoneConsideringPlaySelectionOnly()) << name;
        EXPECT_FALSE(movie->isDone()) << name;

        movie->setPosterTime(MVMakeTime(scale / 4, scale));
        movie->gotoPosterTime();
        EXPECT_EQ(millis(movie->currentTime()), 250) << name;
        if (playback) { // the playback went along
            EXPECT_EQ(millis(playback->currentTime()), 250);
        }
    }
    EXPECT_FALSE(movie->hasTimeCodeTrack());
    auto timecode = open(MovieFixture::TimecodeMov);
    ASSERT_TRUE(timecode);
    EXPECT_TRUE(timecode->hasTimeCodeTrack());
}

TEST_F(MovieSettingsTest, SteppingStopsAPlayingMovie)
{
    auto movie = open(MovieFixture::H264AacMov);
    if (!movie)
        GTEST_SKIP() << "no ffmpeg";
    auto playback = MVMoviePlayback::playbackForMovie(movie);
    movie->play();
    clock->advance(0.5);
    movie->stepForward();
    EXPECT_EQ(movie->rate(), 0);
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_GE(millis(movie->currentTime()), 500);

    // Without a playback the movie stops too.
    auto alone = open(MovieFixture::H264AacMov);
    alone->setRate(1);
    alone->stepBackward();
    EXPECT_EQ(alone->rate(), 0);
}

TEST_F(MovieSettingsTest, WhoHearsOfANewTimeWhilePlayingReadsThatTime)
{
    auto movie = open(MovieFixture::H264AacMov);
    if (!movie)
        GTEST_SKIP() << "no ffmpeg";
    auto playback = MVMoviePlayback::playbackForMovie(movie);
    movie->play();
    clock->advance(0.2);
    // The time display and the timeline read the time back when told of it.
    std::vector<int64_t> heard;
    auto token = HXNotificationCenter::defaultCenter().addObserver(MVMovieTimeDidChangeNotification,
        movie.get(), [&](const HXNotification&) { heard.push_back(millis(movie->currentTime())); });
    movie->setCurrentTime(MVMakeTime(1500, 1000));
    HXNotificationCenter::defaultCenter().removeObserver(token);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NEAR(heard[0], 1500, 1);
    EXPECT_TRUE(playback->isPlaying());
}
