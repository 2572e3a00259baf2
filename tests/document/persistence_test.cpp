// The per-movie settings as bytes in the movie's metadata and user data.
#include "movie_document_test_support.h"

#include "document/persistence.h"
#include "platform/mvkit/metadata.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <cstring>

using namespace movara::test::document;

namespace {

class PersistenceTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        movie = MVMovie::movie();
        doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    }

    std::optional<MVMetadataValue> item(const char* key)
    {
        return MVMetadataFirstValue(
            movie->metadata(), MVMetadataKey { MVFourCC("mdta"), MVBytes(key, key + std::strlen(key)) });
    }
    int itemCount(const char* key)
    {
        return MVMetadataCountItems(
            movie->metadata(), MVMetadataKey { MVFourCC("mdta"), MVBytes(key, key + std::strlen(key)) });
    }

    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVPMovieDocument> doc;
};

TEST_F(PersistenceTest, WritingReplacesEveryItemOfTheKeyAndNothingOnlyRemoves)
{
    const uint8_t old1[] = { 1 }, old2[] = { 2 }, fresh[] = { 9, 8 };
    MVPMetaDataContainer container = MVPMetaDataContainer::forMovie(*movie);
    MVUserDataAddItem(movie->userData(), MVFourCC("SelO"), { 1 });
    MVUserDataAddItem(movie->userData(), MVFourCC("SelO"), { 2 });
    MVMetadataAddItem(movie->metadata(), { MVFourCC("mdta"), { 'S', 'e', 'l', 'O' } }, { 0, 0, 0, { 5 } });
    MVPPersistence::setMetaDataItemValueForKey(container, fresh, 2, "SelO", 0, MVPPersistenceUserDataKeyType);
    EXPECT_EQ(MVUserDataCountItems(movie->userData(), MVFourCC("SelO")), 1);
    EXPECT_EQ(userData(*movie, "SelO"), (MVBytes { 9, 8 }));
    EXPECT_EQ(itemCount("SelO"), 1) << "the other key space is left alone";

    MVPPersistence::setMovieMetaDataItemValue(old1, 1, "com.example.k", 0, *movie);
    MVPPersistence::setMovieMetaDataItemValue(old2, 1, "com.example.k", 0, *movie);
    EXPECT_EQ(itemCount("com.example.k"), 1);
    EXPECT_EQ(item("com.example.k")->bytes, MVBytes { 2 });
    MVPPersistence::setMovieMetaDataItemValue(nullptr, 0, "com.example.k", 0, *movie);
    EXPECT_EQ(itemCount("com.example.k"), 0);
    EXPECT_FALSE(MVPPersistence::hasMovieMetaDataItem("com.example.k", *movie));

    MVPPersistence::setMetaDataItemValueForKey({}, fresh, 2, "SelO", 0, MVPPersistenceUserDataKeyType);
    EXPECT_FALSE(
        MVPPersistence::metaDataItemValueForKey({}, "SelO", MVPPersistenceUserDataKeyType, nullptr, 0));
}

TEST_F(PersistenceTest, ReadersCopyNoMoreThanTheirBufferAndShortItemsReadAsZeroPadded)
{
    const uint8_t longValue[] = { 0x3F, 0x80, 0, 0, 0xAA, 0xBB };
    MVPPersistence::setMovieMetaDataItemValue(longValue, 6, MVPPersistenceAudioGainKey, 23, *movie);
    EXPECT_FLOAT_EQ(MVPPersistence::movieAudioGain(*movie), 1.0f);
    uint8_t buffer[2] = {};
    EXPECT_TRUE(MVPPersistence::movieMetaDataItemValueForKey(MVPPersistenceAudioGainKey, buffer, 2, *movie));
    EXPECT_EQ(buffer[1], 0x80);

    const uint8_t shortValue[] = { 0x3F };
    MVPPersistence::setMovieMetaDataItemValue(shortValue, 1, MVPPersistenceAudioBassKey, 23, *movie);
    float bass = MVPPersistence::movieAudioBass(*movie);
    uint32_t bits;
    std::memcpy(&bits, &bass, 4);
    EXPECT_EQ(bits, 0x3F000000u) << "the missing bytes read as zero";
    EXPECT_EQ(MVPPersistence::movieAudioTreble(*movie), 0.0f) << "absent";
    EXPECT_FALSE(MVPPersistence::movieAudioMute(*movie));
}

TEST_F(PersistenceTest, FloatsAreStoredBigEndianWithTheirDataType)
{
    movie->newTrack(MVFourCC("soun"), 44100);
    auto track = movie->tracks().front();
    movie->setGain(0.5f);
    movie->setMuted(true);
    track->setGain(0.25f);
    track->setMuted(true);
    MVPPersistence::saveMovieAudioGain(*movie);
    MVPPersistence::saveMovieAudioMute(*movie);
    MVPPersistence::saveTrackAudioGain(*track);
    MVPPersistence::saveTrackAudioMute(*track);
    ASSERT_TRUE(item(MVPPersistenceAudioGainKey));
    EXPECT_EQ(item(MVPPersistenceAudioGainKey)->bytes, (MVBytes { 0x3F, 0, 0, 0 }));
    EXPECT_EQ(item(MVPPersistenceAudioGainKey)->dataType, 23u);
    EXPECT_EQ(item(MVPPersistenceAudioMuteKey)->bytes, MVBytes { 1 });
    EXPECT_EQ(item(MVPPersistenceAudioMuteKey)->dataType, 0u);
    EXPECT_FLOAT_EQ(MVPPersistence::trackAudioGain(*track), 0.25f);
    EXPECT_TRUE(MVPPersistence::trackAudioMute(*track));
    EXPECT_FALSE(MVPPersistence::hasMovieMetaDataItem(MVPPersistenceAudioTrebleKey, *movie));
}

TEST_F(PersistenceTest, LoopingIsWrittenOnlyWhileTheMovieLoops)
{
    struct Case {
        MVMovieLoopingMode mode;
        std::optional<MVBytes> expected;
    };
    const Case cases[] = {
        { MVMovieLoopingMode::Loop, MVBytes { 0, 0, 0, 0 } },
        { MVMovieLoopingMode::BackAndForth, MVBytes { 0, 0, 0, 1 } },
        { MVMovieLoopingMode::None, std::nullopt },
    };
    setUserData(*movie, "LOOP", { 0, 0, 0, 1 });
    for (const auto& c : cases) {
        movie->setLoopingMode(c.mode);
        MVPPersistence::saveMovieLooping(*movie);
        EXPECT_EQ(userData(*movie, "LOOP"), c.expected) << int(c.mode);
    }
    movie->setPlaysSelectionOnly(true);
    MVPPersistence::saveMoviePlayOnlySelection(*movie);
    MVPPersistence::saveMoviePlayAllFrames(*movie);
    EXPECT_EQ(userData(*movie, "SelO"), MVBytes { 1 });
    EXPECT_EQ(userData(*movie, "AllF"), MVBytes { 0 });
}

TEST_F(PersistenceTest, FullScreenItemsAreWrittenOnlyForSettingsTheDocumentHas)
{
    struct Case {
        const char* name;
        FSPresentationSettings settings;
        MVBytes ptv, ptvc, ptva; // empty: the old item stays
    };
    const MVBytes oldPtv { 0, 4, 0, 0, 0, 0, 0, 0 }, oldPtvc { 1, 2, 3, 4, 5, 6 }, oldPtva { 7 };
    auto sized = [](std::optional<int64_t> size, std::optional<bool> slideShow = {},
                     std::optional<bool> autoPresent = {}) {
        FSPresentationSettings s;
        s.size = size;
        s.slideShowMode = slideShow;
        s.autoPresent = autoPresent;
        return s;
    };
    auto colored = [](HXColor color) {
        FSPresentationSettings s;
        s.color = color;
        return s;
    };
    FSPresentationSettings capturing;
    capturing.captureAllDisplays = false;
    const Case cases[] = {
        { "nothing", {}, {}, {}, {} },
        { "size 2, slide show, auto-present", sized(2, true, true), { 0, 2, 0, 0, 0, 0, 1, 1 }, {}, {} },
        { "size 7 is written as 3", sized(7), { 0, 3, 0, 0, 0, 0, 0, 0 }, {}, {} },
        { "letterbox is written as 3", sized(16), { 0, 3, 0, 0, 0, 0, 0, 0 }, {}, {} },
        { "negative size is written as 3", sized(-1), { 0, 3, 0, 0, 0, 0, 0, 0 }, {}, {} },
        { "no size but auto-present", sized(std::nullopt, std::nullopt, true), { 0, 3, 0, 0, 0, 0, 0, 1 }, {},
            {} },
        { "colour", colored(HXColor::colorWithCalibratedRed(1, 0.5, 0)), {}, { 0xFF, 0xFF, 0x7F, 0xFF, 0, 0 },
            {} },
        { "grey colour in RGB", colored(HXColor::colorWithCalibratedWhite(1)), {},
            { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF }, {} },
        { "capture all displays", capturing, {}, {}, { 0 } },
    };
    for (const auto& c : cases) {
        setUserData(*movie, "ptv ", oldPtv);
        setUserData(*movie, "ptvc", oldPtvc);
        setUserData(*movie, "ptva", oldPtva);
        doc->setPersistentFullscreenSettings(c.settings);
        MVPPersistence::saveMoviePrintToVideo(*doc);
        MVPPersistence::saveMoviePTVBackgroundColor(*doc);
        MVPPersistence::saveMoviePTVDisplayID(*doc);
        EXPECT_EQ(*userData(*movie, "ptv "), c.ptv.empty() ? oldPtv : c.ptv) << c.name;
        EXPECT_EQ(*userData(*movie, "ptvc"), c.ptvc.empty() ? oldPtvc : c.ptvc) << c.name;
        EXPECT_EQ(*userData(*movie, "ptva"), c.ptva.empty() ? oldPtva : c.ptva) << c.name;
    }
}

TEST_F(PersistenceTest, WindowLocationIsTheTopLeftInDisplayCoordinatesAndReadsBack)
{
    doc->makeWindowControllers();
    auto window = doc->movieWindow();
    ASSERT_TRUE(window);
    window->setFrame({ { 100, 200 }, { 320, 240 } }, false);
    MVPPersistence::saveMovieLocation(*doc);
    // Top = 800 − (200 + 240) = 360, left = 100.
    EXPECT_EQ(userData(*movie, "WLOC"), (MVBytes { 0x01, 0x68, 0x00, 0x64 }));

    auto reopened = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    HXPoint topLeft = reopened->persistentTopLeftPoint();
    EXPECT_EQ(topLeft.x, 100);
    EXPECT_EQ(topLeft.y, 440);
    reopened->makeWindowControllers();
    HXRect frame = reopened->movieWindow()->frame();
    EXPECT_EQ(frame.origin.x, 100);
    EXPECT_EQ(frame.origin.y + frame.size.height, 440);

    window->setFrame({ { -70000, 90000 }, { 320, 240 } }, false);
    MVPPersistence::saveMovieLocation(*doc);
    EXPECT_EQ(userData(*movie, "WLOC"), (MVBytes { 0x80, 0x00, 0x80, 0x00 })) << "limited to 16 bits";
}

TEST_F(PersistenceTest, ApplyingSetsOnlyWhatIsStored)
{
    auto sound = movie->newTrack(MVFourCC("soun"), 44100);
    // The track has no samples, so the movie has no sound of its own: only the track's items apply.
    const uint8_t half[] = { 0x3F, 0, 0, 0 }, on[] = { 1 };
    MVPPersistence::setTrackMetaDataItemValue(half, 4, MVPPersistenceAudioGainKey, 23, *sound);
    MVPPersistence::setTrackMetaDataItemValue(on, 1, MVPPersistenceAudioMuteKey, 0, *sound);
    sound->setBass(3);
    MVPPersistence::applyMetaDataItemsToMovie(*doc);
    EXPECT_FLOAT_EQ(sound->gain(), 0.5f);
    EXPECT_TRUE(sound->isMuted());
    EXPECT_FLOAT_EQ(sound->bass(), 3) << "no item: the track keeps its value";
}

TEST_F(PersistenceTest, VersionStampsNameThePlayerAndTheSystem)
{
    MVPPersistence::saveVersionStamps(*movie);
    auto player = item(MVPPersistencePlayerVersionKey);
    auto framework = item(MVPPersistenceFrameworkVersionKey);
    ASSERT_TRUE(player && framework);
    EXPECT_EQ(player->dataType, 1u);
    std::string playerText(player->bytes.begin(), player->bytes.end());
    EXPECT_NE(playerText[0], ' ') << "a version comes first: " << playerText;
    EXPECT_EQ(playerText.back(), ')');
    std::string text(framework->bytes.begin(), framework->bytes.end());
    EXPECT_NE(text.find(" 0x"), std::string::npos) << text;
    EXPECT_EQ(text.back(), ')');
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

} // namespace
