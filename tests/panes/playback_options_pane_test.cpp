// The playback options panes: the movie's start-up settings with their controls and undo, the
// full-screen setting kept by the document, and a track's chapter, alternate, language (by classic
// number, ISO letters or extended tag) and hints.
#include "movie_playback_options_pane.h"
#include "track_languages.h"
#include "track_playback_options_pane.h"

#include "pane_test_support.h"

#include "platform/basekit/locale.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/startup_settings.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace movara::test;

namespace {

std::shared_ptr<MVPMoviePlaybackOptionsPane> moviePane(const std::shared_ptr<MVMovie>& movie, MVPPaneHost* host)
{
    auto pane = std::make_shared<MVPMoviePlaybackOptionsPane>(movie, paneBundle("PlaybackOptionsPane"), host);
    pane->view();
    pane->startInspection();
    return pane;
}

std::shared_ptr<MVPTrackPlaybackOptionsPane> trackPane(const std::shared_ptr<MVTrack>& track, MVPPaneHost* host)
{
    auto pane = std::make_shared<MVPTrackPlaybackOptionsPane>(track, paneBundle("PlaybackOptionsPane"), host);
    pane->view();
    pane->startInspection();
    return pane;
}

} // namespace

TEST(PlaybackOptionsPane, ControlsFollowTheMovie)
{
    UndoableMovie sound(monoSoundMovie());
    UndoableMovie video(videoAndSoundMovie());
    if (!sound || !video)
        GTEST_SKIP() << "ffmpeg could not make the movies";
    RecordingPaneHost host;
    struct Case {
        std::shared_ptr<MVMovie> movie;
        bool conformed, boxesEnabled;
    } cases[] = { { sound.movie, false, false }, { video.movie, false, true }, { video.movie, true, true } };
    for (const auto& c : cases) {
        MVMovieSetConformed(*c.movie, c.conformed);
        auto pane = moviePane(c.movie, &host);
        EXPECT_EQ(pane->conformButton->isEnabled(), c.boxesEnabled);
        EXPECT_EQ(pane->autoCaptureButton->isEnabled(), c.boxesEnabled);
        EXPECT_EQ(pane->aperturePopup->isEnabled(), c.conformed);
        EXPECT_EQ(pane->aperturePopup->selectedTag(), c.conformed ? 1 : 0);
        EXPECT_EQ(std::any_cast<uint32_t>(pane->controllerPopup->selectedItem()->representedObject()),
            MVMovieControllerTypeStandard);
    }
}

TEST(PlaybackOptionsPane, EachMovieSettingIsUndoable)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    RecordingPaneHost host;
    auto pane = moviePane(m.movie, &host);
    struct Case {
        const char* what;
        std::shared_ptr<HXButton> button;
        std::function<bool()> read;
    } cases[] = {
        { "auto play", pane->autoPlayButton, [&] { return MVMovieAutoPlay(*m.movie); } },
        { "auto close", pane->autoCloseButton, [&] { return MVMovieAutoCloseWhenDone(*m.movie); } },
        { "auto quit", pane->autoQuitButton, [&] { return MVMovieAutoQuitWhenDone(*m.movie); } },
        { "auto present", pane->autoCaptureButton, [&] { return host.settings["FullscreenPreferenceAutoPresent"].boolValue(); } },
        { "conform", pane->conformButton, [&] { return MVMovieConformed(*m.movie); } },
    };
    for (const auto& c : cases) {
        m.undo->removeAllActions();
        EXPECT_FALSE(c.read()) << c.what;
        c.button->setState(1);
        c.button->sendAction();
        EXPECT_TRUE(c.read()) << c.what;
        EXPECT_EQ(c.button->state(), 1) << c.what;
        c.button->sendAction(); // the same state again: nothing to undo
        m.undo->undo();
        EXPECT_FALSE(c.read()) << c.what;
        EXPECT_EQ(c.button->state(), 0) << c.what;
        EXPECT_FALSE(m.undo->canUndo()) << c.what << ": one undo step";
        m.undo->redo();
        EXPECT_TRUE(c.read()) << c.what;
    }
    EXPECT_TRUE(pane->aperturePopup->isEnabled()) << "conformed now";

    // Aperture mode and controller type.
    pane->aperturePopup->selectItemWithTag(2);
    pane->aperturePopup->sendAction();
    EXPECT_EQ(MVMoviePlayerApertureMode(*m.movie), 2u);
    EXPECT_EQ(m.movie->attributeForKey(MVMovieApertureModeAttribute).stringValue(), "production");
    m.undo->undo();
    EXPECT_EQ(MVMoviePlayerApertureMode(*m.movie), 1u) << "clean, as a conformed movie shows";
    EXPECT_EQ(pane->aperturePopup->selectedTag(), 1);
    m.undo->removeAllActions();
    pane->selectMCType(pane->controllerPopup->itemArray()[0].get()); // already in force
    EXPECT_FALSE(m.undo->canUndo());
    pane->selectMCType(pane->controllerPopup->itemArray()[1].get());
    EXPECT_EQ(m.movie->controllerType(), MVMovieControllerTypeNone);
    m.undo->undo();
    EXPECT_EQ(m.movie->controllerType(), MVMovieControllerTypeStandard);
    EXPECT_EQ(pane->controllerPopup->indexOfSelectedItem(), 0);
}

TEST(PlaybackOptionsPane, AutoPresentWithoutADocumentReadsNoAndStoresNothing)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    RecordingPaneHost host;
    host.hasDocument = false;
    auto pane = moviePane(m.movie, &host);
    pane->setAutoCaptures(true);
    EXPECT_FALSE(pane->autoCaptures());
    EXPECT_TRUE(host.settings.empty());
    EXPECT_FALSE(m.undo->canUndo());
    EXPECT_EQ(pane->autoCaptureButton->state(), 0);
}

TEST(PlaybackOptionsPane, StartupSettingsSurviveSaving)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    RecordingPaneHost host;
    auto pane = moviePane(m.movie, &host);
    pane->setAutoPlays(true);
    pane->setAutoQuits(true);
    pane->setPlayerApertureMode(3);
    EXPECT_TRUE(m.movie->hasChanged());
    TempDir dir;
    std::string path = (dir / "saved.mov").string();
    ASSERT_TRUE(m.movie->writeToFile(path, {}, nullptr));
    auto reopened = MVMovie::movieWithFile(path, nullptr);
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(MVMovieAutoPlay(*reopened));
    EXPECT_FALSE(MVMovieAutoCloseWhenDone(*reopened));
    EXPECT_TRUE(MVMovieAutoQuitWhenDone(*reopened));
    EXPECT_EQ(MVMoviePlayerApertureMode(*reopened), 3u);
    EXPECT_EQ(runCommand({ "ffprobe", "-v", "error", path }).status, 0);
}

TEST(PlaybackOptionsPane, TrackKeysUndoAndRefuseBadValues)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto video = m.movie->tracksOfMediaType(MVFourCC("vide")).at(0);
    auto sound = m.movie->tracksOfMediaType(MVFourCC("soun")).at(0);
    auto text = m.movie->newTrack(MVFourCC("text"), 600);
    RecordingPaneHost host;
    auto pane = trackPane(video, &host);
    EXPECT_EQ(pane->valueForKey("alternateTrackID"), HXPropertyList(0)) << "its own alternate";

    struct Case {
        const char* key;
        HXPropertyList before, after;
    } cases[] = {
        { "chapterTrackID", int64_t(0), int64_t(text->trackID()) },
        { "alternateTrackID", int64_t(0), int64_t(sound->trackID()) },
        { "language", int64_t(video->language()), int64_t(2) },
        { "cacheHint", false, true },
        { "preload", false, true },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pane->valueForKey(c.key), c.before) << c.key;
        ASSERT_TRUE(pane->setValueForKey(c.after, c.key)) << c.key;
        EXPECT_EQ(pane->valueForKey(c.key), c.after) << c.key;
        m.undo->undo();
        EXPECT_EQ(pane->valueForKey(c.key), c.before) << c.key;
        m.undo->redo();
        EXPECT_EQ(pane->valueForKey(c.key), c.after) << c.key;
    }
    EXPECT_EQ(video->referenceTrack(MVFourCC("chap"), 1), text);
    // The cache hint and the preload are the track's load settings, which its file keeps.
    EXPECT_TRUE(video->neverPurgeHint());
    EXPECT_EQ(video->loadSettings().preloadFlags, MVTrackPreloadAlways);
    EXPECT_EQ(video->loadSettings().preloadTime, -1) << "the whole track";
    EXPECT_EQ(video->alternateGroup(), sound->alternateGroup());
    EXPECT_NE(video->alternateGroup(), 0);
    // The pop-ups follow the bound keys.
    EXPECT_EQ(pane->chapterPopup->selectedTag(), long(text->trackID()));
    EXPECT_EQ(pane->languagePopup->selectedTag(), 2);

    struct Bad {
        const char* key;
        HXPropertyList value;
    } bad[] = {
        { "chapterTrackID", int64_t(sound->trackID()) }, // not a text track
        { "chapterTrackID", int64_t(99) }, // no such track
        { "alternateTrackID", int64_t(video->trackID()) }, // itself
        { "language", int64_t(70000) },
        { "language", "English" },
        { "speed", 1.0 },
    };
    while (m.undo->canUndo())
        m.undo->undo();
    for (const auto& b : bad) {
        EXPECT_FALSE(pane->setValueForKey(b.value, b.key)) << b.key;
        EXPECT_FALSE(m.undo->canUndo()) << b.key;
    }
}

TEST(PlaybackOptionsPane, TrackMenus)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    RecordingPaneHost host;
    auto video = m.movie->tracksOfMediaType(MVFourCC("vide")).at(0);
    auto pane = trackPane(video, &host);
    // No text tracks: only "None" (and its separator), disabled.
    EXPECT_FALSE(pane->chapterPopup->isEnabled());
    EXPECT_EQ(pane->chapterPopup->itemArray().front()->title(), "None");
    EXPECT_EQ(pane->chapterPopup->itemArray().size(), 2u);
    // Every other track is a possible alternate, titled by the host.
    EXPECT_TRUE(pane->alternatePopup->isEnabled());
    ASSERT_EQ(pane->alternatePopup->itemArray().size(), 3u);
    auto sound = m.movie->tracksOfMediaType(MVFourCC("soun")).at(0);
    EXPECT_EQ(pane->alternatePopup->itemArray()[2]->title(), "Track " + std::to_string(sound->trackID()));
    // A new text track appears in the chapter menu once the movie says it was edited.
    auto text = m.movie->newTrack(MVFourCC("text"), 600);
    m.movie->movieChanged();
    EXPECT_TRUE(pane->chapterPopup->isEnabled());
    EXPECT_EQ(pane->chapterPopup->itemArray().size(), 3u);
    pane->stopInspection();
}

TEST(PlaybackOptionsPane, TabNames)
{
    UndoableMovie m(videoAndSoundMovie());
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    MVPPlaybackOptionsPaneFactory factory;
    factory.setBundle(paneBundle("PlaybackOptionsPane"));
    EXPECT_EQ(factory.propertyInspectorNameForObject(MVPInspectedObject(m.movie)), "Movie Settings");
    EXPECT_EQ(factory.propertyInspectorNameForObject(MVPInspectedObject(m.movie->tracks()[0])), "Track Settings");
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPTrackPlaybackOptionsPane>(
        factory.propertyInspectorForObject(MVPInspectedObject(m.movie->tracks()[0]))));
}

namespace {

uint16_t packed(const char* letters)
{
    return MVPackedLanguage(letters).value_or(0);
}

std::string nameOf(const char* identifier)
{
    return HXLocale::displayNameForIdentifier(identifier).value_or("<none>");
}

// The language pop-up's items as tag and title.
std::vector<std::pair<long, std::string>> languageItems(const MVPTrackPlaybackOptionsPane& pane)
{
    std::vector<std::pair<long, std::string>> items;
    for (const auto& item : pane.languagePopup->itemArray())
        items.emplace_back(item->tag(), item->title());
    return items;
}

// Sound in French, as an MP4 file stores it: three ISO letters ("fra").
std::filesystem::path frenchMovie()
{
    return paneFixture("french.mp4",
        { "-f", "lavfi", "-i", "sine=frequency=440:duration=0.5:sample_rate=8000", "-c:a", "aac",
            "-metadata:s:a:0", "language=fra" });
}

void addExtendedLanguage(MVTrack& track, const std::string& tag)
{
    MVBytes payload { 0, 0, 0, 0 };
    payload.insert(payload.end(), tag.begin(), tag.end());
    payload.push_back(0);
    track.media()->storedDescription().unknownChildren.push_back({ MVFourCC("elng"), payload });
}

} // namespace

TEST(PlaybackOptionsPane, LanguageNamesOfCodesAndTags)
{
    struct Case {
        uint16_t code;
        std::string name, letters;
    } cases[] = {
        { packed("fra"), nameOf("fr"), "fra" },
        { 1, nameOf("fr"), "fra" }, // classic French
        { 2, nameOf("de"), "deu" },
        { packed("eng"), nameOf("en"), "eng" },
        { packed("qaa"), "qaa", "qaa" }, // reserved for local use: no name but its letters
        { 500, "500", "" }, // a classic number that names no language
        { MVPUndeterminedLanguage, "", "" },
        { MVPClassicUnspecifiedLanguage, "", "" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MVPLanguageName(c.code), c.name) << c.code;
        EXPECT_EQ(MVPISOLanguageForCode(c.code), c.letters) << c.code;
    }
    EXPECT_EQ(MVPLanguageTagName("fr-CA"), nameOf("fr_CA"));
    EXPECT_EQ(MVPISOLanguageForTag("de-DE"), "deu");
    EXPECT_EQ(MVPISOLanguageForTag("zh-Hant-TW"), "zho");
    EXPECT_EQ(MVPISOLanguageForTag(""), "");
    EXPECT_EQ(MVPLanguageTagName(std::string("fr\0CA", 5)), "");
}

TEST(PlaybackOptionsPane, LanguagesByISOLettersAndClassicNumbers)
{
    auto path = frenchMovie();
    UndoableMovie m(path);
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto sound = m.movie->tracksOfMediaType(MVFourCC("soun")).at(0);
    ASSERT_EQ(sound->language(), packed("fra"));
    RecordingPaneHost host;
    auto pane = trackPane(sound, &host);

    // An ISO-coded track is offered ISO codes, by name, its own selected.
    EXPECT_EQ(pane->languagePopup->selectedTag(), long(packed("fra")));
    ASSERT_TRUE(pane->languagePopup->selectedItem());
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("fr"));
    auto items = languageItems(*pane);
    ASSERT_GT(items.size(), 50u);
    EXPECT_EQ(items.front(), (std::pair<long, std::string>(MVPUndeterminedLanguage, "Unspecified")));
    for (const auto& [tag, title] : items) {
        EXPECT_GE(tag, 0x400) << title;
        EXPECT_FALSE(title.empty() || std::all_of(title.begin(), title.end(), ::isdigit)) << tag;
    }
    EXPECT_NE(
        std::find(items.begin(), items.end(), std::pair<long, std::string>(packed("eng"), nameOf("en"))),
        items.end());

    // Choosing German writes "deu", which other programs read; undo brings French back.
    ASSERT_TRUE(pane->setValueForKey(int64_t(packed("deu")), "language"));
    EXPECT_EQ(sound->language(), packed("deu"));
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("de"));
    TempDir dir;
    std::string saved = (dir / "german.mov").string();
    ASSERT_TRUE(m.movie->writeToFile(saved, {}, nullptr));
    auto probe = runCommand({ "ffprobe", "-v", "error", "-show_entries", "stream_tags=language", "-of",
        "default=noprint_wrappers=1:nokey=1", saved });
    EXPECT_EQ(probe.output, "deu\n");
    m.undo->undo();
    EXPECT_EQ(sound->language(), packed("fra"));

    // A classic-coded track is offered classic numbers.
    sound->setLanguage(1);
    pane = trackPane(sound, &host);
    EXPECT_EQ(pane->languagePopup->selectedTag(), 1);
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("fr"));
    items = languageItems(*pane);
    EXPECT_EQ(items.front().first, MVPClassicUnspecifiedLanguage);
    for (const auto& [tag, title] : items)
        EXPECT_TRUE(tag < 0x400 || tag == MVPClassicUnspecifiedLanguage) << title;
    ASSERT_TRUE(pane->setValueForKey(int64_t(0), "language"));
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("en"));

    // A code that is none of the offered languages comes last, by its name or letters.
    sound->setLanguage(packed("qaa"));
    pane = trackPane(sound, &host);
    EXPECT_EQ(languageItems(*pane).back(), (std::pair<long, std::string>(packed("qaa"), "qaa")));
    EXPECT_EQ(pane->languagePopup->selectedTag(), long(packed("qaa")));
}

TEST(PlaybackOptionsPane, ExtendedLanguageTagsNameTheTrackAndGiveWayToANewLanguage)
{
    auto path = frenchMovie();
    UndoableMovie m(path);
    if (!m)
        GTEST_SKIP() << "ffmpeg could not make the movie";
    auto sound = m.movie->tracksOfMediaType(MVFourCC("soun")).at(0);
    addExtendedLanguage(*sound, "fr-CA");
    RecordingPaneHost host;
    auto pane = trackPane(sound, &host);
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("fr_CA"));

    // Classic French is the same language: the tag stays.
    ASSERT_TRUE(pane->setValueForKey(int64_t(1), "language"));
    EXPECT_EQ(sound->extendedLanguageTagString(), "fr-CA");
    m.undo->undo();

    // English: the tag would hide it, so it goes; undo brings both back, redo takes both again.
    ASSERT_TRUE(pane->setValueForKey(int64_t(packed("eng")), "language"));
    EXPECT_EQ(sound->extendedLanguageTagString(), "");
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("en"));
    m.undo->undo();
    EXPECT_EQ(sound->language(), packed("fra"));
    EXPECT_EQ(sound->extendedLanguageTagString(), "fr-CA");
    EXPECT_EQ(pane->languagePopup->selectedItem()->title(), nameOf("fr_CA"));
    m.undo->redo();
    EXPECT_EQ(sound->language(), packed("eng"));
    EXPECT_EQ(sound->extendedLanguageTagString(), "");

    // The saved file says English.
    TempDir dir;
    std::string saved = (dir / "english.mov").string();
    ASSERT_TRUE(m.movie->writeToFile(saved, {}, nullptr));
    auto reopened = MVMovie::movieWithFile(saved, nullptr);
    ASSERT_TRUE(reopened);
    auto track = reopened->tracksOfMediaType(MVFourCC("soun")).at(0);
    EXPECT_EQ(track->language(), packed("eng"));
    EXPECT_EQ(track->extendedLanguageTagString(), "");
}
