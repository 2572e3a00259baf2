// Every per-movie setting written on save, read back from a real file on open and applied when the movie
// is playable; ffprobe reads the reverse-DNS keys we write.
#include "movie_document_test_support.h"

#include "core/preferences.h"
#include "document/persistence.h"
#include "platform/mvkit/metadata.h"
#include "platform/winkit/window.h"
#include "tests/platform/mvkit/fixtures.h"

#include <cstring>
#include <sstream>

using namespace movara::test;
using namespace movara::test::document;

namespace {

class PersistenceRoundTripTest : public DocumentTest { };

MVBytes metadataBytes(const MVMetadata& metadata, const char* key)
{
    auto value = MVMetadataFirstValue(
        metadata, MVMetadataKey { MVFourCC("mdta"), MVBytes(key, key + std::strlen(key)) });
    return value ? value->bytes : MVBytes {};
}

uint32_t metadataType(const MVMetadata& metadata, const char* key)
{
    auto value = MVMetadataFirstValue(
        metadata, MVMetadataKey { MVFourCC("mdta"), MVBytes(key, key + std::strlen(key)) });
    return value ? value->dataType : 0xFFFFFFFF;
}

TEST_F(PersistenceRoundTripTest, EverySettingSurvivesSaveAndReopen)
{
    auto fixture = fixturePath(MovieFixture::H264AacMov);
    if (fixture.empty() || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    auto saved = dir.path() / "settings.mov";

    auto doc = MVPMovieDocument::documentWithContentsOfFile(fixture.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc);
    doc->makeWindowControllers();
    doc->movieWindow()->setFrame({ { 40, 300 }, { 320, 240 } }, false);
    MVMovie& movie = *doc->movie();
    movie.setGain(0.75f);
    movie.setTreble(3);
    movie.setBass(-2);
    movie.setBalance(-0.5f);
    movie.setPitch(100);
    movie.setMuted(true);
    movie.setVisualBrightness(0.25f);
    movie.setVisualSaturation(1.5f);
    movie.setVisualHue(10);
    movie.setVisualContrast(1.25f);
    movie.setLoopingMode(MVMovieLoopingMode::BackAndForth);
    movie.setPlaysSelectionOnly(true);
    movie.setPlaysAllFrames(true);
    auto sound = movie.tracksOfMediaType(MVFourCC("soun")).at(0);
    sound->setGain(0.5f);
    sound->setTreble(-4);
    sound->setBass(5);
    sound->setMuted(true);
    FSPresentationSettings settings;
    settings.size = 1;
    settings.slideShowMode = true;
    settings.autoPresent = false;
    settings.captureAllDisplays = true;
    settings.color = HXColor::colorWithCalibratedRed(0, 0.5, 1);
    doc->setPersistentFullscreenSettings(settings);

    MVPPersistence::saveMetaDataItemsFromMovie(*doc);
    HXError error;
    ASSERT_TRUE(movie.writeToFile(saved.string(), {}, &error)) << error.localizedDescription();

    // The bytes in the file, read back by the model.
    auto stored = MVMovie::movieWithFile(saved.string(), &error);
    ASSERT_TRUE(stored) << error.localizedDescription();
    const MVMetadata& m = stored->metadata();
    EXPECT_EQ(metadataBytes(m, MVPPersistenceAudioGainKey), (MVBytes { 0x3F, 0x40, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceAudioTrebleKey), (MVBytes { 0x40, 0x40, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceAudioBassKey), (MVBytes { 0xC0, 0, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceAudioBalanceKey), (MVBytes { 0xBF, 0, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceAudioPitchShiftKey), (MVBytes { 0x42, 0xC8, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceAudioMuteKey), MVBytes { 1 });
    EXPECT_EQ(metadataType(m, MVPPersistenceAudioMuteKey), 0u);
    EXPECT_EQ(metadataBytes(m, MVPPersistenceVisualBrightnessKey), (MVBytes { 0x3E, 0x80, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceVisualColorKey), (MVBytes { 0x3F, 0xC0, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceVisualTintKey), (MVBytes { 0x41, 0x20, 0, 0 }));
    EXPECT_EQ(metadataBytes(m, MVPPersistenceVisualContrastKey), (MVBytes { 0x3F, 0xA0, 0, 0 }));
    for (const char* key : { MVPPersistenceAudioGainKey, MVPPersistenceVisualContrastKey })
        EXPECT_EQ(metadataType(m, key), 23u) << key;
    EXPECT_EQ(metadataType(m, MVPPersistencePlayerVersionKey), 1u);
    auto storedSound = stored->tracksOfMediaType(MVFourCC("soun")).at(0);
    EXPECT_EQ(
        metadataBytes(storedSound->metadata(), MVPPersistenceAudioGainKey), (MVBytes { 0x3F, 0, 0, 0 }));
    EXPECT_EQ(metadataBytes(storedSound->metadata(), MVPPersistenceAudioMuteKey), MVBytes { 1 });
    EXPECT_TRUE(metadataBytes(storedSound->metadata(), MVPPersistenceAudioPitchShiftKey).empty())
        << "tracks have no pitch shift";
    EXPECT_EQ(userData(*stored, "LOOP"), (MVBytes { 0, 0, 0, 1 }));
    EXPECT_EQ(userData(*stored, "SelO"), MVBytes { 1 });
    EXPECT_EQ(userData(*stored, "AllF"), MVBytes { 1 });
    EXPECT_EQ(userData(*stored, "ptv "), (MVBytes { 0, 1, 0, 0, 0, 0, 1, 0 }));
    EXPECT_EQ(userData(*stored, "ptvc"), (MVBytes { 0, 0, 0x7F, 0xFF, 0xFF, 0xFF }));
    EXPECT_EQ(userData(*stored, "ptva"), MVBytes { 1 });
    // Top = 800 − (300 + 240) = 260 (0x0104), left = 40 (0x0028).
    EXPECT_EQ(userData(*stored, "WLOC"), (MVBytes { 0x01, 0x04, 0x00, 0x28 }));

    // Reopened in a document, the settings apply.
    // (With "play sound in the front player only" on, a window that becomes main unmutes its movie; the
    // stored mute is what is checked here.)
    MVPPreferences::preferences().setPreference(
        HXPropertyList(false), kGeneralPreferencePlaySoundInFrontPlayerOnly, false);
    auto reopened = MVPMovieDocument::documentWithContentsOfFile(saved.string(), "Movie", false, nullptr);
    ASSERT_TRUE(reopened);
    reopened->makeWindowControllers();
    reopened->showWindows();
    const MVMovie& r = *reopened->movie();
    EXPECT_FLOAT_EQ(r.gain(), 0.75f);
    EXPECT_FLOAT_EQ(r.treble(), 3);
    EXPECT_FLOAT_EQ(r.bass(), -2);
    EXPECT_FLOAT_EQ(r.balance(), -0.5f);
    EXPECT_FLOAT_EQ(r.pitch(), 100);
    EXPECT_TRUE(r.isMuted());
    EXPECT_FLOAT_EQ(r.visualBrightness(), 0.25f);
    EXPECT_FLOAT_EQ(r.visualSaturation(), 1.5f);
    EXPECT_FLOAT_EQ(r.visualHue(), 10);
    EXPECT_FLOAT_EQ(r.visualContrast(), 1.25f);
    EXPECT_EQ(r.loopingMode(), MVMovieLoopingMode::BackAndForth);
    EXPECT_TRUE(r.playsSelectionOnly());
    EXPECT_TRUE(r.playsAllFrames());
    auto reopenedSound = r.tracksOfMediaType(MVFourCC("soun")).at(0);
    EXPECT_FLOAT_EQ(reopenedSound->gain(), 0.5f);
    EXPECT_FLOAT_EQ(reopenedSound->treble(), -4);
    EXPECT_FLOAT_EQ(reopenedSound->bass(), 5);
    EXPECT_TRUE(reopenedSound->isMuted());
    const auto& fs = reopened->persistentFullscreenSettings();
    EXPECT_EQ(fs.size, 1);
    EXPECT_EQ(fs.slideShowMode, true);
    EXPECT_EQ(fs.autoPresent, false);
    EXPECT_EQ(fs.captureAllDisplays, true);
    ASSERT_TRUE(fs.color);
    EXPECT_NEAR(fs.color->greenComponent(), 0.5, 1e-4);
    EXPECT_FALSE(reopened->isFullScreen());
    HXRect frame = reopened->movieWindow()->frame();
    EXPECT_EQ(frame.origin.x, 40);
    EXPECT_EQ(frame.origin.y + frame.size.height, 540);

    // ffprobe sees the keys and the text stamps.
    auto probe = runCommand(
        { "ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "default", saved.string() });
    ASSERT_EQ(probe.status, 0) << probe.output;
    for (const char* key :
        { MVPPersistenceAudioGainKey, MVPPersistenceAudioMuteKey, MVPPersistenceVisualBrightnessKey,
            MVPPersistencePlayerVersionKey, MVPPersistenceFrameworkVersionKey })
        EXPECT_NE(probe.output.find(std::string("TAG:") + key + "="), std::string::npos) << key << "\n"
                                                                                         << probe.output;
    EXPECT_NE(probe.output.find(std::string("TAG:") + MVPPersistenceFrameworkVersionKey + "="
                  + MVPPersistence::frameworkVersionString()),
        std::string::npos)
        << probe.output;
    std::istringstream lines(probe.output);
    for (std::string line; std::getline(lines, line);) {
        std::string prefix = std::string("TAG:") + MVPPersistenceAudioGainKey + "=";
        if (line.rfind(prefix, 0) == 0) {
            EXPECT_NEAR(std::stod(line.substr(prefix.size())), 0.75, 1e-6) << line;
        }
    }
}

TEST_F(PersistenceRoundTripTest, AMovieThatStoppedLoopingLosesItsLoopItem)
{
    auto fixture = fixturePath(MovieFixture::H264AacMov);
    if (fixture.empty())
        GTEST_SKIP() << "ffmpeg is needed";
    TempDir dir;
    auto first = dir.path() / "first.mov", second = dir.path() / "second.mov";
    auto doc = MVPMovieDocument::documentWithContentsOfFile(fixture.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc);
    doc->movie()->setLoopingMode(MVMovieLoopingMode::Loop);
    MVPPersistence::saveMetaDataItemsFromMovie(*doc);
    HXError error;
    ASSERT_TRUE(doc->movie()->writeToFile(first.string(), {}, &error)) << error.localizedDescription();

    auto reopened = MVPMovieDocument::documentWithContentsOfFile(first.string(), "Movie", false, nullptr);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->movie()->loopingMode(), MVMovieLoopingMode::Loop);
    reopened->movie()->setLoopingMode(MVMovieLoopingMode::None);
    MVPPersistence::saveMetaDataItemsFromMovie(*reopened);
    ASSERT_TRUE(reopened->movie()->writeToFile(second.string(), {}, &error)) << error.localizedDescription();
    auto last = MVMovie::movieWithFile(second.string(), &error);
    ASSERT_TRUE(last);
    EXPECT_FALSE(userData(*last, "LOOP"));
    EXPECT_EQ(last->loopingMode(), MVMovieLoopingMode::None);
}

} // namespace
