// Opening movies (files, URLs, data references, attributes, bad input), load states, attributes and the
// format representation.
#include "fixtures.h"
#include "movie_test_support.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

TEST(MovieOpen, BadInputGivesAClearError)
{
    TempDir dir;
    writeFile(dir / "garbage.mov", std::string(4096, 'x'));
    writeFile(dir / "empty.mov", "");
    // A 'moov' whose size runs past the end of the file.
    writeFile(dir / "truncated.mov", std::string("\0\0\x10\0moov\0\0\0\x6cmvhd", 16));
    struct Case {
        const char* name;
        std::string path;
        std::string domain;
    };
    const Case cases[] = {
        { "missing file", (dir / "missing.mov").string(), HXPOSIXErrorDomain },
        { "a folder", dir.path().string(), HXPOSIXErrorDomain },
        { "not a movie", (dir / "garbage.mov").string(), HXOSStatusErrorDomain },
        { "empty file", (dir / "empty.mov").string(), HXOSStatusErrorDomain },
        { "truncated header", (dir / "truncated.mov").string(), HXOSStatusErrorDomain },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXError error;
        EXPECT_EQ(MVMovie::movieWithFile(c.path, &error), nullptr);
        EXPECT_EQ(error.domain(), c.domain);
        EXPECT_FALSE(error.localizedDescription().empty());
    }
    HXError error;
    EXPECT_EQ(MVMovie::movieWithAttributes({ { MVMovieURLAttribute, "not a url" } }, &error), nullptr);
    EXPECT_EQ(error.code(), -50);
}

TEST(MovieOpen, FileUrlAttributesAndDataReferenceOpenTheSameMovie)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    HXError error;
    auto byPath = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(byPath) << error.localizedDescription();
    auto byURL = MVMovie::movieWithURL(HXURL::fileURLWithPath(path.string()), &error);
    auto byAttributes = MVMovie::movieWithAttributes(
        { { MVMovieFileNameAttribute, path.string() }, { MVMoviePreferredVolumeAttribute, 0.5 } }, &error);
    auto byReference = MVMovie::movieWithDataReference(
        MVDataReference::dataReferenceWithReferenceToFile(path.string()), &error);
    for (auto& m : { byURL, byAttributes, byReference }) {
        ASSERT_TRUE(m);
        EXPECT_EQ(m->trackCount(), 2);
        EXPECT_EQ(m->durationValue(), byPath->durationValue());
        EXPECT_EQ(m->fileName(), byPath->fileName());
    }
    EXPECT_FLOAT_EQ(byAttributes->preferredVolume(), 0.5f);
    EXPECT_TRUE(byPath->hasVideo());
    EXPECT_TRUE(byPath->hasAudio());
    EXPECT_EQ(byPath->naturalSize(), (std::pair<double, double>(160, 120)));
    EXPECT_NEAR(double(byPath->durationValue()) / byPath->timeScale(), 3.0, 0.05);
    EXPECT_EQ(byPath->displayName(), "h264_aac.mov");
    EXPECT_TRUE(MVMovie::canInitWithURL(HXURL::fileURLWithPath(path.string())));
    EXPECT_FALSE(MVMovie::canInitWithFile("/tmp/notes.txt"));
    EXPECT_TRUE(byPath->canUpdateMovieFile());
}

TEST(MovieOpen, OtherContainersComeThroughTheImport)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::MjpegPcmAvi);
    HXError error;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    EXPECT_TRUE(m->hasVideo());
    EXPECT_FALSE(m->canUpdateMovieFile()); // not a movie file: save as instead
}

TEST(MovieOpen, LoadStateReachesCompleteOnTheRunLoop)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::MjpegPcmMov);
    std::vector<int64_t> states;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVMovieLoadStateDidChangeNotification, nullptr, [&states](const HXNotification& n) {
            states.push_back(n.userInfo().at(MVMovieLoadStateNotificationParameter).integerValue());
        });
    HXError error;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->loadState(), MVMovieLoadStateComplete);
    EXPECT_TRUE(states.empty()); // not from inside the open call
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.2, true);
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(states, (std::vector<int64_t> { MVMovieLoadStateComplete }));
}

TEST(MovieAttributes, GetAndSetByName)
{
    auto m = videoMovie(10);
    struct Case {
        const char* key;
        HXPropertyList value;
    };
    const Case cases[] = {
        { MVMoviePosterTimeAttribute, MVStringFromTime(MVMakeTime(120, 600)) },
        { MVMovieCurrentTimeAttribute, MVStringFromTime(MVMakeTime(60, 600)) },
        { MVMoviePreferredRateAttribute, 2.0 },
        { MVMoviePreferredVolumeAttribute, 0.25 },
        { MVMovieVolumeAttribute, 0.5 },
        { MVMovieMutedAttribute, true },
        { MVMovieRateAttribute, 1.0 },
        { MVMovieDisplayNameAttribute, "Holiday" },
        { "MVMovieSomethingElseAttribute", "kept as given" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        m->setAttributeForKey(c.value, c.key);
        EXPECT_EQ(m->attributeForKey(c.key), c.value);
    }
    EXPECT_TRUE(m->isPlaying());
    EXPECT_EQ(
        m->attributeForKey(MVMovieDurationAttribute).stringValue(), MVStringFromTime(MVMakeTime(600, 600)));
    EXPECT_TRUE(m->attributeForKey(MVMovieHasVideoAttribute).boolValue());
    m->setAttributeForKey(false, MVMovieHasVideoAttribute); // derived: ignored
    EXPECT_TRUE(m->attributeForKey(MVMovieHasVideoAttribute).boolValue());
    EXPECT_EQ(m->movieAttributes().count(MVMovieFileNameAttribute), 0u);
}

TEST(MovieAttributes, RateChangeIsNotifiedWithItsParameter)
{
    auto m = videoMovie(2);
    double rate = -1;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        MVMovieRateDidChangeNotification, m.get(), [&rate](const HXNotification& n) {
            rate = n.userInfo().at(MVMovieRateDidChangeNotificationParameter).realValue();
        });
    m->setPreferredRate(1.5f);
    m->play();
    EXPECT_DOUBLE_EQ(rate, 1.5);
    m->stop();
    EXPECT_DOUBLE_EQ(rate, 0.0);
    HXNotificationCenter::defaultCenter().removeObserver(token);
}

TEST(MovieFormatRepresentation, RoundTripsThroughData)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    HXError error;
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(m);
    m->setSelection({ MVMakeTime(1, 1), MVMakeTime(1, 1) });
    m->clear();
    auto data = m->movieFormatRepresentation();
    ASSERT_GT(data.size(), 100u);
    auto copy = MVMovie::movieWithData(data, &error);
    ASSERT_TRUE(copy) << error.localizedDescription();
    ASSERT_EQ(copy->trackCount(), m->trackCount());
    for (int i = 1; i <= m->trackCount(); ++i) {
        EXPECT_EQ(copy->trackAtIndex(i)->edits(), m->trackAtIndex(i)->edits());
        EXPECT_EQ(copy->trackAtIndex(i)->media()->samples(), m->trackAtIndex(i)->media()->samples());
        EXPECT_EQ(
            copy->trackAtIndex(i)->media()->dataReferences(), m->trackAtIndex(i)->media()->dataReferences());
    }
    EXPECT_EQ(copy->dataSize(), m->dataSize());
    EXPECT_LT(m->dataSize(), int64_t(std::filesystem::file_size(path)));
    // Damaged data is refused.
    data.resize(data.size() / 2);
    EXPECT_EQ(MVMovie::movieWithData(data, &error), nullptr);
    EXPECT_EQ(MVMovie::movieWithData({ 1, 2, 3 }, &error), nullptr);
}

TEST(MovieOpen, WholeMovieFileInMemory)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::MjpegPcmMov);
    auto bytes = readFile(path);
    auto block = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
    HXError error;
    auto m
        = MVMovie::movieWithDataReference(MVDataReference::dataReferenceWithReferenceToData(block), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    auto fromFile = MVMovie::movieWithFile(path.string(), &error);
    auto track = m->tracksOfMediaType(MVFourCC("vide")).front();
    auto fileTrack = fromFile->tracksOfMediaType(MVFourCC("vide")).front();
    auto a = track->media()->getSample(0, &error);
    auto b = fileTrack->media()->getSample(0, &error);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->bytes, b->bytes);
}

TEST(MovieTracks, NewRemoveAndIdentity)
{
    auto m = videoMovie(3);
    auto text = m->newTrack(MVFourCC("text"), 600);
    EXPECT_EQ(text->trackID(), 2u);
    EXPECT_EQ(text->index(), 2);
    EXPECT_EQ(m->trackByID(2), text);
    EXPECT_EQ(m->tracksOfMediaType(MVFourCC("text")).size(), 1u);
    m->removeTrack(text);
    EXPECT_EQ(text->index(), 0);
    EXPECT_EQ(m->trackByID(2), nullptr);
    m->insertTrack(text, 1);
    EXPECT_EQ(m->trackAtIndex(1), text);
    EXPECT_EQ(m->trackAtIndex(0), nullptr);
    EXPECT_EQ(m->trackAtIndex(3), nullptr);
}

} // namespace

namespace {

TEST(MoviePlaybackSettings, StoredAndAnnouncedOnChange)
{
    auto m = videoMovie(2);
    std::vector<std::string> posted;
    auto token = HXNotificationCenter::defaultCenter().addObserver(
        "", m.get(), [&posted](const HXNotification& n) { posted.push_back(n.name()); });
    struct Case {
        std::function<void()> change;
        const char* notification;
    };
    const Case cases[] = {
        { [&] { m->setBalance(-0.5f); }, MVMovieBalanceDidChangeNotification },
        { [&] { m->setBass(0.25f); }, MVMovieBassDidChangeNotification },
        { [&] { m->setTreble(-0.25f); }, MVMovieTrebleDidChangeNotification },
        { [&] { m->setVolume(0.5f); }, MVMovieVolumeDidChangeNotification },
        { [&] { m->setMuted(true); }, MVMovieMutedDidChangeNotification },
        { [&] { m->setVisualContrast(0.2f); }, MVMovieVisualAdjustmentsDidChangeNotification },
        { [&] { m->setLoopingMode(MVMovieLoopingMode::BackAndForth); }, MVMovieLoopingDidChangeNotification },
        { [&] { m->setControllerType(MVMovieControllerTypeNone); }, MVMovieControllerDidChangeNotification },
    };
    for (const auto& c : cases) {
        posted.clear();
        c.change();
        EXPECT_EQ(posted, std::vector<std::string> { c.notification });
        posted.clear();
        c.change(); // the same value again: nothing to announce
        EXPECT_TRUE(posted.empty()) << c.notification;
    }
    HXNotificationCenter::defaultCenter().removeObserver(token);
    m->setBalance(7);
    EXPECT_FLOAT_EQ(m->balance(), 1.0f);
    EXPECT_EQ(m->loopingMode(), MVMovieLoopingMode::BackAndForth);
    EXPECT_EQ(m->controllerType(), MVMovieControllerTypeNone);
}

} // namespace
