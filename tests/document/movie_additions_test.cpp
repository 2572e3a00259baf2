#include "document/movie_additions.h"
#include "document/track_additions.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/data_reference.h"
#include "document/time_code_media.h"
#include "test_support.h"
#include "tests/platform/mvkit/fixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using movara::test::fixturePath;
using movara::test::MovieFixture;

std::shared_ptr<MVMovie> openFixture(MovieFixture fixture)
{
    auto path = fixturePath(fixture);
    if (path.empty())
        return nullptr;
    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    EXPECT_TRUE(movie) << error.localizedDescription();
    return movie;
}

#define OPEN_OR_SKIP(var, fixture)                                                                           \
    auto var = openFixture(fixture);                                                                         \
    if (!var)                                                                                                \
        GTEST_SKIP() << "ffmpeg is needed for the fixtures";

TEST(MovieAdditions, DataSizeStrings)
{
    const std::pair<double, const char*> cases[] = {
        { 0, "  0 bytes" },
        { 5, "  5 bytes" },
        { 1023, "1023 bytes" },
        { 1024, "1.00 KB" },
        { 1536, "1.50 KB" },
        { 1048575, "1024.00 KB" },
        { 1048576, "1.00 MB" },
        { 3.0 * (1 << 30), "3.00 GB" },
        { 1099511627776.0, "1.00 TB" },
        { 1125899906842624.0, "1.00 PB" },
        { 1152921504606846976.0 * 2, "2.00 EB" },
        { 1152921504606846976.0 * 4096, "4096.00 EB" },
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(MVPMovieAdditions::dataSizeStringForSize(bytes), expected) << bytes;
}

TEST(MovieAdditions, DataRateStringsChooseTheUnitOnBytesAndPrintBits)
{
    const std::pair<int64_t, const char*> cases[] = {
        { 0, "0.00 bits/s" },
        { 999, "7992.00 bits/s" },
        { 1000, "8.00 kbit/s" },
        { 999999, "7999.99 kbit/s" },
        { 1000000, "8.00 Mbit/s" },
        { 1000000000, "8.00 Gbit/s" },
    };
    for (const auto& [rate, expected] : cases)
        EXPECT_EQ(MVPMovieAdditions::dataRateStringForRate(rate), expected) << rate;
}

TEST(MovieAdditions, InfoTextsOfARealMovie)
{
    OPEN_OR_SKIP(movie, MovieFixture::H264AacMov);
    EXPECT_EQ(MVPMovieAdditions::normalSizeString(*movie), std::optional<std::string>("160 x 120 pixels"));
    EXPECT_EQ(MVPMovieAdditions::durationStringForInfoPanel(*movie).substr(0, 12), "0:00:00:03.0");
    EXPECT_EQ(MVPMovieAdditions::currentTimeStringForInfoPanel(*movie), "0:00:00:00.00");
    EXPECT_EQ(MVPMovieAdditions::bitRateString(*movie), "(while playing)");
    movie->play();
    EXPECT_EQ(MVPMovieAdditions::bitRateString(*movie), "0.00 kbit/s");
    movie->stop();
    EXPECT_EQ(MVPMovieAdditions::chapterFormatString(), "Chapters");
    EXPECT_EQ(MVPMovieAdditions::layer(*movie), -32768);

    const int64_t size = movie->dataSize();
    ASSERT_GT(size, 1024);
    EXPECT_EQ(
        MVPMovieAdditions::dataSizeString(*movie), MVPMovieAdditions::dataSizeStringForSize(double(size)));
    EXPECT_NE(MVPMovieAdditions::dataSizeString(*movie).find(" KB"), std::string::npos);

    // 3 s of 64 kbit/s sound and tiny pictures: tens of kilobytes a second.
    const int64_t rate = MVPMovieAdditions::dataRate(*movie);
    EXPECT_NEAR(double(rate), double(size) / 3.0, double(size) * 0.05);
    EXPECT_EQ(MVPMovieAdditions::dataRateString(*movie), MVPMovieAdditions::dataRateStringForRate(rate));
    uint64_t trackBytes = 0;
    for (const auto& track : movie->tracks()) {
        trackBytes += MVPTrackAdditions::dataSize(*track);
        EXPECT_EQ(MVPTrackAdditions::dataSizeString(*track),
            MVPMovieAdditions::dataSizeStringForSize(double(MVPTrackAdditions::dataSize(*track))));
        if (track->mediaType() == MVFourCC("soun")) {
            // AAC at 64 kbit/s: about 8000 bytes a second, printed in kilobits.
            EXPECT_NEAR(double(MVPTrackAdditions::dataRate(*track)), 8000.0, 1500.0);
            EXPECT_NE(MVPTrackAdditions::dataRateString(*track).find("kbit/s"), std::string::npos);
        }
    }
    EXPECT_EQ(trackBytes, uint64_t(size)) << "the movie shows every sample of its tracks";

    int64_t samples = 0;
    for (const auto& track : movie->tracks())
        samples += MVPTrackAdditions::sampleCount(*track);
    EXPECT_EQ(MVPMovieAdditions::sampleCount(*movie), samples);
    EXPECT_GE(samples, 75) << "3 s of video at 25 fps, plus the sound";
}

TEST(MovieAdditions, EmptyMovieHasNoNormalSize)
{
    auto movie = MVMovie::movie();
    EXPECT_EQ(MVPMovieAdditions::normalSizeString(*movie), std::nullopt);
    EXPECT_EQ(MVPMovieAdditions::sampleCount(*movie), 0);
    EXPECT_EQ(MVPMovieAdditions::dataSizeString(*movie), "  0 bytes");
    EXPECT_EQ(MVPMovieAdditions::dataRate(*movie), 0) << "no duration, no division";
}

TEST(MovieAdditions, TracksOfInterest)
{
    OPEN_OR_SKIP(movie, MovieFixture::TimecodeMov);
    int interesting = 0;
    for (const auto& track : movie->tracks()) {
        bool expected = track->mediaType() == MVFourCC("vide") || track->mediaType() == MVFourCC("soun");
        EXPECT_EQ(MVPMovieAdditions::isTrackOfInterest(*movie, *track), expected) << track->mediaType();
        interesting += expected;
    }
    EXPECT_GE(interesting, 1);
    EXPECT_TRUE(std::any_of(movie->tracks().begin(), movie->tracks().end(), [&](const auto& t) {
        return !MVPMovieAdditions::isTrackOfInterest(*movie, *t);
    })) << "the timecode track is of no interest";
}

TEST(MovieAdditions, UseEditStateIsUndoable)
{
    OPEN_OR_SKIP(movie, MovieFixture::MjpegPcmMov);
    const int64_t fullDuration = movie->durationValue();
    auto full = MVPMovieAdditions::editState(*movie);
    movie->setSelection(
        { MVMakeTime(0, movie->timeScale()), MVMakeTime(movie->timeScale(), movie->timeScale()) });
    movie->clear();
    const int64_t cutDuration = movie->durationValue();
    ASSERT_LT(cutDuration, fullDuration);

    HXUndoManager undo;
    movie->setUndoManager(&undo);
    movie->setChanged(false);
    MVPMovieAdditions::useEditState(movie, full);
    EXPECT_EQ(movie->durationValue(), fullDuration);
    EXPECT_TRUE(movie->hasChanged());
    ASSERT_TRUE(undo.canUndo());

    undo.undo();
    EXPECT_EQ(movie->durationValue(), cutDuration);
    ASSERT_TRUE(undo.canRedo());
    undo.redo();
    EXPECT_EQ(movie->durationValue(), fullDuration);
    movie->setUndoManager(nullptr);
}

TEST(MovieAdditions, ClearMetaDataRemovesStoredItems)
{
    OPEN_OR_SKIP(movie, MovieFixture::MetadataMov);
    movie->userData().items.push_back({ MVFourCC("LOOP"), { 0, 0, 0, 1 } });
    MVMetadataItem other;
    other.key = { 0, { 0xA9, 'n', 'a', 'm' } };
    movie->metadata().items.push_back(other);
    MVMetadataItem keyValue;
    keyValue.key = { MVFourCC("kvst"), { 'k' } };
    movie->metadata().items.push_back(keyValue);

    MVPMovieAdditions::clearMetaData(*movie);
    EXPECT_TRUE(movie->userData().items.empty());
    for (const auto& item : movie->metadata().items)
        EXPECT_EQ(item.key.keyNamespace, 0u) << "only items outside the three key spaces stay";
    EXPECT_EQ(movie->metadata().items.size(), 1u);
}

TEST(MovieAdditions, ForcedToAppearToBePlaying)
{
    auto a = MVMovie::movie();
    auto b = MVMovie::movie();
    EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(a));
    MVPMovieAdditions::setForcedToAppearToBePlaying(a, true);
    MVPMovieAdditions::setForcedToAppearToBePlaying(a, true);
    EXPECT_TRUE(MVPMovieAdditions::isForcedToAppearToBePlaying(a));
    EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(b));
    MVPMovieAdditions::setForcedToAppearToBePlaying(a, false);
    EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(a)) << "one removal undoes repeated adds";
    EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(nullptr));

    // A movie freed while marked is never touched again, and a new movie is not taken for it.
    MVPMovieAdditions::setForcedToAppearToBePlaying(b, true);
    b.reset();
    for (int i = 0; i < 8; ++i) {
        auto fresh = MVMovie::movie();
        EXPECT_FALSE(MVPMovieAdditions::isForcedToAppearToBePlaying(fresh));
    }
}

TEST(TrackAdditions, UndefinedKeysAnswerNothing)
{
    OPEN_OR_SKIP(movie, MovieFixture::H264AacMov);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(MVPTrackAdditions::valueForUndefinedKey(*movie->tracks().front(), "bogus").isNull());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("MVPTrackAdditions: Undefined Key: bogus"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);

    testing::internal::CaptureStderr();
    EXPECT_TRUE(MVPMovieAdditions::valueForUndefinedKey(*movie, "bogus").isNull());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(MovieAdditions, FormatSummaryOfRealMovies)
{
    struct Case {
        MovieFixture fixture;
        const char* expected;
    };
    const Case cases[] = {
        { MovieFixture::H264AacMov, "H.264, 160 x 120\nAAC, Mono, 44.100 kHz" },
        { MovieFixture::MjpegPcmMov, "Photo - JPEG, 160 x 120\nLinear PCM, Mono, 22.050 kHz" },
        { MovieFixture::PcmWav, "Linear PCM, Mono, 16.000 kHz" },
        // The time-code track adds no line.
        { MovieFixture::TimecodeMov, "H.264, 160 x 120" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(movara::test::fixtureName(c.fixture));
        OPEN_OR_SKIP(movie, c.fixture);
        EXPECT_EQ(MVPMovieAdditions::formatString(*movie), c.expected);
    }
}

TEST(MovieAdditions, FormatSummarySkipsDisabledTracksAndEmptyMovies)
{
    EXPECT_EQ(MVPMovieAdditions::formatString(*MVMovie::movie()), "");
    OPEN_OR_SKIP(movie, MovieFixture::H264AacMov);
    for (const auto& track : movie->tracks())
        if (track->mediaType() == MVFourCC("vide"))
            track->setEnabled(false);
    EXPECT_EQ(MVPMovieAdditions::formatString(*movie), "AAC, Mono, 44.100 kHz");
}

TEST(MovieAdditions, MPEGVideoIsOfInterestAndNamesItsCodecAndSize)
{
    if (!movara::test::haveProgram("ffmpeg"))
        GTEST_SKIP() << "no ffmpeg";
    movara::test::TempDir dir;
    auto path = dir.path() / "mpeg1.mov";
    auto made = movara::test::runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f",
        "lavfi", "-i", "testsrc=size=96x64:rate=25:duration=0.4", "-c:v", "mpeg1video", path.string() });
    ASSERT_EQ(made.status, 0);
    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    ASSERT_FALSE(movie->tracks().empty());
    const auto& track = *movie->tracks().front();
    EXPECT_TRUE(MVPMovieAdditions::hasMPEGCharacteristic(track));
    EXPECT_TRUE(MVPMovieAdditions::isTrackOfInterest(*movie, track));
    std::string format = MVPMovieAdditions::formatString(*movie);
    EXPECT_NE(format.find("96 x 64"), std::string::npos) << format;
    EXPECT_EQ(format.find('\n'), std::string::npos) << "one line for one track: " << format;
}

TEST(MovieAdditions, TimeStringsAsTimeCode)
{
    OPEN_OR_SKIP(movie, MovieFixture::TimecodeMov);
    struct Case {
        const char* name;
        bool timeCode;
        std::string duration, current;
    };
    const Case cases[] = {
        // 3 s at 25 frames a second; the track counts from one hour.
        { "time code", true, "00:00:03:00", "01:00:00:00" },
        { "clock", false, MVPMovieAdditions::durationStringForInfoPanel(*movie),
            MVPMovieAdditions::currentTimeStringForInfoPanel(*movie) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MVPMovieAdditions::durationStringForInfoPanel(*movie, c.timeCode), c.duration);
        EXPECT_EQ(MVPMovieAdditions::currentTimeStringForInfoPanel(*movie, c.timeCode), c.current);
    }
    movie->setCurrentTime(MVMakeTime(1, 1));
    EXPECT_EQ(MVPMovieAdditions::currentTimeStringForInfoPanel(*movie, true), "01:00:01:00");
}

TEST(MovieAdditions, TimeCodeWithoutATimeCodeTrackFallsBackToTheClock)
{
    OPEN_OR_SKIP(movie, MovieFixture::H264AacMov);
    EXPECT_EQ(MVPMovieAdditions::durationStringForInfoPanel(*movie, true),
        MVPMovieAdditions::durationStringForInfoPanel(*movie));
    EXPECT_EQ(MVPMovieAdditions::currentTimeStringForInfoPanel(*movie, true),
        MVPMovieAdditions::currentTimeStringForInfoPanel(*movie));
    auto empty = MVMovie::movie();
    EXPECT_EQ(MVPMovieAdditions::durationStringForInfoPanel(*empty, true),
        MVPMovieAdditions::durationStringForInfoPanel(*empty));
}

TEST(MovieAdditions, LanguageAndSubtitleChoice)
{
    OPEN_OR_SKIP(movie, MovieFixture::SubtitleMov);
    auto subtitles = movie->subtitleTracks();
    ASSERT_FALSE(subtitles.empty());
    MVPMovieAdditions::setSubtitlesLanguageTrack(*movie, subtitles.front());
    EXPECT_TRUE(subtitles.front()->isEnabled());
    EXPECT_TRUE(movie->subtitlesVisible());
    MVPMovieAdditions::setSubtitlesLanguageTrack(*movie, nullptr);
    EXPECT_FALSE(movie->subtitlesVisible()) << "no track hides the subtitles";
}

TEST(TrackAdditions, FramesPerSecond)
{
    struct Case {
        MovieFixture fixture;
        uint32_t type;
        double expected;
    };
    const Case cases[] = {
        { MovieFixture::H264AacMov, MVFourCC("vide"), 25 },
        { MovieFixture::MjpegPcmMov, MVFourCC("vide"), 10 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(movara::test::fixtureName(c.fixture));
        OPEN_OR_SKIP(movie, c.fixture);
        for (const auto& track : movie->tracks()) {
            if (track->mediaType() == c.type) {
                EXPECT_EQ(MVPTrackAdditions::framesPerSecond(*track), c.expected);
            }
        }
    }
}

TEST(TrackAdditions, ConvertToDataRefWritesAMovieOfThatTrackAlone)
{
    OPEN_OR_SKIP(movie, MovieFixture::H264AacMov);
    std::shared_ptr<MVTrack> sound;
    for (const auto& track : movie->tracks())
        if (track->mediaType() == MVFourCC("soun"))
            sound = track;
    ASSERT_TRUE(sound);
    movara::test::TempDir dir;
    auto path = (dir.path() / "sound.mov").string();
    HXError error;
    ASSERT_TRUE(MVPTrackAdditions::convertToDataRef(
        sound, MVDataReference::dataReferenceWithReferenceToFile(path), &error))
        << error.localizedDescription();
    EXPECT_EQ(movie->tracks().size(), 2u) << "the source keeps its tracks";

    auto written = MVMovie::movieWithFile(path, &error);
    ASSERT_TRUE(written) << error.localizedDescription();
    ASSERT_EQ(written->tracks().size(), 1u);
    EXPECT_EQ(written->tracks().front()->mediaType(), MVFourCC("soun"));
    EXPECT_EQ(
        MVPTrackAdditions::sampleCount(*written->tracks().front()), MVPTrackAdditions::sampleCount(*sound));
}

TEST(TrackAdditions, ConvertToDataRefRefusesWhatItCannotWrite)
{
    OPEN_OR_SKIP(movie, MovieFixture::H264AacMov);
    movara::test::TempDir dir;
    struct Case {
        const char* name;
        std::shared_ptr<MVTrack> track;
        MVDataReference dataRef;
    };
    const Case cases[] = {
        { "no track", nullptr,
            MVDataReference::dataReferenceWithReferenceToFile((dir.path() / "a.mov").string()) },
        { "a track outside a movie", MVTrack::trackWithMedia(movie->tracks().front()->media()->clone(), 1),
            MVDataReference::dataReferenceWithReferenceToFile((dir.path() / "b.mov").string()) },
        { "memory", movie->tracks().front(),
            MVDataReference::dataReferenceWithReferenceToData(std::make_shared<std::vector<uint8_t>>()) },
        { "no reference", movie->tracks().front(), MVDataReference() },
        { "a missing folder", movie->tracks().front(),
            MVDataReference::dataReferenceWithReferenceToFile((dir.path() / "none" / "c.mov").string()) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXError error;
        EXPECT_FALSE(MVPTrackAdditions::convertToDataRef(c.track, c.dataRef, &error));
        EXPECT_FALSE(error.domain().empty());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing half-written";
}

} // namespace
