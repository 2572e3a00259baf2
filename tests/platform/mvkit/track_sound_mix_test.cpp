// A track's sound settings changed while its movie plays are heard at once: two sound tracks with a
// tone each, one of them changed on the track itself, and the tones measured in what the output got.
#include "audio_capture.h"

#include "platform/basekit/run_loop.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"

#include <gtest/gtest.h>

#include <functional>

using namespace movara::test;

namespace {

// The low tone lies below the bass shelf's corner, the high one far below the treble shelf's.
constexpr int kLow = 150, kHigh = 1000;
// A present tone is an eighth of full scale, near 0.125; what is gone is below a hundredth of that.
constexpr double kPresent = 0.05, kGone = 0.001;

class TrackSoundMixTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXRunLoop::main().setClock(clock);
        if (haveProgram("ffmpeg"))
            made = makeTwoToneMovie(dir / "tones.mov", kLow, kHigh, 3);
    }
    void TearDown() override { HXRunLoop::main().setClock(nullptr); }

    // A quarter of a second more of play, heard from the start.
    std::vector<float> listen()
    {
        recording->samples.clear();
        clock->advance(0.25);
        return recording->samples;
    }

    TempDir dir;
    bool made = false;
    std::shared_ptr<HXManualClock> clock = std::make_shared<HXManualClock>();
    RecordingOutput* recording = nullptr;
};

} // namespace

TEST_F(TrackSoundMixTest, EachTrackSettingIsHeardAtOnce)
{
    if (!made)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    enum Heard { Gone, Same, Lower };
    struct Case {
        const char* name;
        std::function<void(MVTrack&)> change;
        Heard left, right; // the low track's tone in the left and right channel
    };
    const Case cases[] = {
        { "muted", [](MVTrack& t) { t.setMuted(true); }, Gone, Gone },
        { "volume 0", [](MVTrack& t) { t.setVolume(0); }, Gone, Gone },
        { "gain 0", [](MVTrack& t) { t.setGain(0); }, Gone, Gone },
        { "half volume", [](MVTrack& t) { t.setVolume(0.5f); }, Lower, Lower },
        { "balance right", [](MVTrack& t) { t.setAttributeForKey(1.0, MVTrackBalanceAttribute); }, Gone,
            Same },
        { "balance left", [](MVTrack& t) { t.setAttributeForKey(-1.0, MVTrackBalanceAttribute); }, Same,
            Gone },
        { "bass down", [](MVTrack& t) { t.setBass(-8); }, Lower, Lower },
        { "treble down", [](MVTrack& t) { t.setTreble(-8); }, Same, Same },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto movie = MVMovie::movieWithFile((dir / "tones.mov").string(), nullptr);
        ASSERT_TRUE(movie);
        auto sounds = movie->tracksOfMediaType(MVFourCC("soun"));
        ASSERT_EQ(sounds.size(), 2u);
        recording = nullptr;
        auto playback = MVMoviePlayback::playbackForMovie(movie, recordingOptions(&recording));
        playback->setRate(1);
        ASSERT_TRUE(recording);
        auto before = listen();
        const auto format = recording->format();
        for (int channel : { 0, 1 }) {
            EXPECT_GT(toneAmplitude(before, format.channelCount, format.sampleRate, kLow, channel), kPresent);
            EXPECT_GT(
                toneAmplitude(before, format.channelCount, format.sampleRate, kHigh, channel), kPresent);
        }

        c.change(*sounds[0]);
        auto after = listen();
        ASSERT_GT(after.size(), size_t(format.channelCount * format.sampleRate / 5));
        const Heard expected[] = { c.left, c.right };
        for (int channel : { 0, 1 }) {
            SCOPED_TRACE(channel ? "right" : "left");
            double was = toneAmplitude(before, format.channelCount, format.sampleRate, kLow, channel);
            double low = toneAmplitude(after, format.channelCount, format.sampleRate, kLow, channel);
            switch (expected[channel]) {
            case Gone:
                EXPECT_LT(low, kGone);
                break;
            case Same:
                EXPECT_NEAR(low, was, was * 0.05);
                break;
            case Lower:
                EXPECT_LT(low, was * 0.9);
                EXPECT_GT(low, kGone);
                break;
            }
            // The other track plays on as it was.
            double high = toneAmplitude(after, format.channelCount, format.sampleRate, kHigh, channel);
            EXPECT_NEAR(high, toneAmplitude(before, format.channelCount, format.sampleRate, kHigh, channel),
                0.02 * high);
        }
        EXPECT_EQ(playback->player().trackAudioSettings(sounds[0]->trackID()),
            playback->trackSoundSettings(sounds[0]->trackID()));
        playback->stop();
    }
}

TEST_F(TrackSoundMixTest, ATrackOfAnotherMovieChangesNothingHere)
{
    if (!made)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto movie = MVMovie::movieWithFile((dir / "tones.mov").string(), nullptr);
    auto other = MVMovie::movieWithFile((dir / "tones.mov").string(), nullptr);
    ASSERT_TRUE(movie && other);
    auto playback = MVMoviePlayback::playbackForMovie(movie, recordingOptions(&recording));
    playback->setRate(1);
    listen();
    // Same track IDs, another movie.
    for (const auto& track : other->tracksOfMediaType(MVFourCC("soun")))
        track->setMuted(true);
    auto after = listen();
    const auto format = recording->format();
    EXPECT_GT(toneAmplitude(after, format.channelCount, format.sampleRate, kLow), kPresent);
    EXPECT_GT(toneAmplitude(after, format.channelCount, format.sampleRate, kHigh), kPresent);
}
