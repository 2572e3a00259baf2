// Playback of the movie model: pictures after edits and across a segment pasted from another file,
// and the movie's notifications while it plays.
#include "audio_capture.h"
#include "decoder_test_support.h"
#include "fixtures.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/movie_playback.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

// The frontmost picture shown (tracks in an empty segment show nothing and let those behind show).
std::string hashOfTopPicture(const std::vector<MVMoviePlayer::PresentedPicture>& pictures)
{
    for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
        if (it->picture.frame)
            return pictureMD5(it->picture.frame->avFrame());
    return "none";
}

} // namespace

TEST(MoviePlaybackTest, PicturesAcrossASegmentPastedFromAnotherFile)
{
    MOVARA_REQUIRE_FIXTURE(pathA, MovieFixture::H264AacMov); // 3 s, 25 fps
    MOVARA_REQUIRE_FIXTURE(pathB, MovieFixture::MjpegPcmMov); // 2 s, 10 fps
    auto hashesA = ffmpegFrameHashes(pathA);
    auto hashesB = ffmpegFrameHashes(pathB);
    ASSERT_EQ(hashesA.size(), 75u);
    ASSERT_EQ(hashesB.size(), 20u);
    ManualClockScope scope;
    HXError error;
    auto movieA = MVMovie::movieWithFile(pathA, &error);
    auto movieB = MVMovie::movieWithFile(pathB, &error);
    ASSERT_TRUE(movieA && movieB) << error.localizedDescription();
    auto playback = MVMoviePlayback::playbackForMovie(movieA, silentOptions());
    EXPECT_EQ(MVMoviePlayback::playbackForMovie(movieA), playback);

    // Paste all of B at 1 s: A[0, 1) B[0, 2) A[1, 3).
    const int32_t scale = movieA->timeScale();
    movieA->setSelection({ MVMakeTime(scale, scale), MVMakeTime(0, scale) });
    ASSERT_TRUE(movieA->paste(movieB));
    ASSERT_EQ(movieA->duration().timeValue * 1000 / scale, 5000);

    struct Case {
        double seconds;
        const std::vector<FrameLine>* file;
        size_t picture;
    };
    const Case cases[] = {
        { 0.0, &hashesA, 0 },
        { 0.5, &hashesA, 12 },
        { 0.99, &hashesA, 24 },
        { 1.0, &hashesB, 0 },
        { 1.55, &hashesB, 5 },
        { 2.95, &hashesB, 19 },
        { 3.0, &hashesA, 25 },
        { 4.2, &hashesA, 55 },
        { 4.99, &hashesA, 74 },
        { 1.3, &hashesB, 3 },
        { 0.2, &hashesA, 5 },
    };
    for (const auto& c : cases) {
        MVTime t = MVMakeTime(int64_t(std::llround(c.seconds * scale)), scale);
        EXPECT_EQ(hashOfTopPicture(playback->picturesAtTime(t)), (*c.file)[c.picture].md5)
            << "still " << c.seconds;
        movieA->setCurrentTime(t); // the movie's own setter: the playback seeks and presents
        EXPECT_EQ(hashOfTopPicture(playback->player().presentedPictures()), (*c.file)[c.picture].md5)
            << "presented " << c.seconds;
    }

    // Undo of the paste by edit state: the pictures of A alone again.
    movieA->deleteSegment({ MVMakeTime(scale, scale), MVMakeTime(2 * scale, scale) });
    EXPECT_EQ(
        hashOfTopPicture(playback->picturesAtTime(MVMakeTime(scale + scale / 2, scale))), hashesA[37].md5);
}

TEST(MoviePlaybackTest, MovieSettersPlayAndPlaybackPostsTheMovieNotifications)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    ManualClockScope scope;
    HXError error;
    auto movie = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(movie);
    auto playback = MVMoviePlayback::playbackForMovie(movie, silentOptions());
    std::vector<std::string> posted;
    std::vector<double> rates;
    auto& center = HXNotificationCenter::defaultCenter();
    std::vector<HXObserverToken> tokens;
    for (const char* name :
        { MVMovieRateDidChangeNotification, MVMovieTimeDidChangeNotification, MVMovieDidEndNotification })
        tokens.push_back(center.addObserver(name, movie.get(), [&, name](const HXNotification& n) {
            posted.push_back(name);
            if (std::string(name) == MVMovieRateDidChangeNotification)
                rates.push_back(n.userInfo().at(MVMovieRateDidChangeNotificationParameter).realValue());
        }));

    const int32_t scale = movie->timeScale();
    movie->setCurrentTime(MVMakeTime(2 * scale, scale));
    movie->play();
    EXPECT_TRUE(playback->isPlaying());
    scope.clock->advance(0.5);
    EXPECT_NEAR(MVTimeInScale(playback->currentTime(), 1000).timeValue, 2500, 20);
    scope.clock->advance(1.0); // past the end
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_EQ(movie->rate(), 0);
    EXPECT_TRUE(MVTimeEqual(movie->currentTime(), movie->duration()));
    EXPECT_TRUE(playback->isDone());
    EXPECT_EQ(posted,
        (std::vector<std::string> { MVMovieTimeDidChangeNotification, MVMovieRateDidChangeNotification,
            MVMovieTimeDidChangeNotification, MVMovieRateDidChangeNotification, MVMovieDidEndNotification }));
    EXPECT_EQ(rates, (std::vector<double> { 1.0, 0.0 }));

    // Looping: no end, the time wraps.
    posted.clear();
    playback->setLoops(true);
    playback->gotoBeginning();
    playback->play();
    scope.clock->advance(3.5);
    EXPECT_TRUE(playback->isPlaying());
    EXPECT_NEAR(MVTimeInScale(playback->currentTime(), 1000).timeValue, 500, 20);
    EXPECT_EQ(std::count(posted.begin(), posted.end(), std::string(MVMovieDidEndNotification)), 0);

    // Muting the movie silences the mix; the level bars read zero when stopped.
    movie->setMuted(true);
    EXPECT_TRUE(playback->player().movieAudioSettings().muted);
    playback->stop();
    for (float level : playback->equalizerBandLevels().levels)
        EXPECT_EQ(level, 0.0f);
    for (auto token : tokens)
        center.removeObserver(token);
}
