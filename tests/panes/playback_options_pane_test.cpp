// The playback options panes: the movie's start-up settings with their controls and undo, the
// full-screen setting kept by the document, and a track's chapter, alternate, language and hints.
#include "movie_playback_options_pane.h"
#include "track_playback_options_pane.h"

#include "pane_test_support.h"

#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/startup_settings.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

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
