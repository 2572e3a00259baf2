// Movie-level editing: selection edits, undo and redo, notifications, the changed flag, edit states,
// and pasting between movies (media shared, samples taken over, new tracks).
#include "movie_test_support.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/movie_pasteboard.h"

#include <gtest/gtest.h>

using namespace movara::test::movie;

namespace {

MVTimeRange seconds(double start, double length)
{
    return { MVMakeTime(int64_t(start * 600), 600), MVMakeTime(int64_t(length * 600), 600) };
}

class EditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        movie = videoMovie(10);
        movie->setUndoManager(&undo);
        observer = HXNotificationCenter::defaultCenter().addObserver(
            MVMovieEditedNotification, movie.get(), [this](const HXNotification&) { ++editedCount; });
    }
    void TearDown() override { HXNotificationCenter::defaultCenter().removeObserver(observer); }

    std::vector<int> shown() const { return shownBytes(*movie->trackAtIndex(1)); }

    HXUndoManager undo; // outlives the movie, as the document's does
    std::shared_ptr<MVMovie> movie;
    HXObserverToken observer = 0;
    int editedCount = 0;
};

TEST_F(EditTest, SelectionEditsUndoAndRedo)
{
    struct Case {
        const char* name;
        MVTimeRange selection;
        std::function<void(MVMovie&)> edit;
        std::vector<int> after;
        const char* actionName;
    };
    const Case cases[] = {
        { "cut", seconds(0.2, 0.3), [](MVMovie& m) { m.cut(); }, { 0, 1, 5, 6, 7, 8, 9 }, "Cut" },
        { "clear", seconds(0, 0.5), [](MVMovie& m) { m.clear(); }, { 5, 6, 7, 8, 9 }, "Clear" },
        { "trim", seconds(0.3, 0.2), [](MVMovie& m) { m.trim(); }, { 3, 4 }, "Trim" },
        { "paste over the selection", seconds(0.8, 0.2),
            [](MVMovie& m) {
                m.setSelection(seconds(0, 0.2));
                m.copy();
                m.setSelection(seconds(0.8, 0.2));
                m.paste(nullptr);
            },
            { 0, 1, 2, 3, 4, 5, 6, 7, 0, 1 }, "Paste" },
        { "paste at a point inserts", seconds(0.5, 0),
            [](MVMovie& m) {
                auto segment = MVMovie::movie();
                m.setSelection(seconds(9 * 0.1, 0.1));
                segment = m.copySelection();
                m.setSelection(seconds(0.5, 0));
                m.paste(segment);
            },
            { 0, 1, 2, 3, 4, 9, 5, 6, 7, 8, 9 }, "Paste" },
        { "insert empty time", seconds(0, 0), [](MVMovie& m) { m.insertEmptySegment(seconds(0.1, 0.2)); },
            { 0, -1, -1, 1, 2, 3, 4, 5, 6, 7, 8, 9 }, "Insert" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        movie = videoMovie(10);
        movie->setUndoManager(&undo);
        undo.removeAllActions();
        const auto original = shown();
        movie->setSelection(c.selection);
        int postedBefore = editedCount;
        HXObserverToken token = HXNotificationCenter::defaultCenter().addObserver(
            MVMovieEditedNotification, movie.get(), [this](const HXNotification&) { ++editedCount; });
        c.edit(*movie);
        EXPECT_EQ(shown(), c.after);
        EXPECT_TRUE(movie->hasChanged());
        EXPECT_GT(editedCount, postedBefore);
        EXPECT_EQ(undo.undoActionName(), c.actionName);
        undo.undo();
        EXPECT_EQ(shown(), original);
        EXPECT_EQ(undo.redoActionName(), c.actionName);
        undo.redo();
        EXPECT_EQ(undo.undoActionName(), c.actionName);
        EXPECT_EQ(shown(), c.after);
        HXNotificationCenter::defaultCenter().removeObserver(token);
    }
}

TEST_F(EditTest, NothingSelectedChangesNothing)
{
    movie->setSelection(seconds(0.3, 0));
    movie->clear();
    movie->trim();
    EXPECT_FALSE(movie->cut()->hasDuration());
    EXPECT_EQ(editedCount, 0);
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(movie->hasChanged());
    EXPECT_FALSE(movie->paste(MVMovie::movie())); // an empty movie pastes nothing
}

TEST_F(EditTest, PasteIntoAnotherMovieTakesSamplesOverAndUndoRemovesThem)
{
    auto other = videoMovie(4, 1, 100); // bytes 100..103
    auto targetTrack = other->trackAtIndex(1);
    other->setUndoManager(&undo);
    const auto samplesBefore = targetTrack->media()->sampleCount();
    movie->setSelection(seconds(0.2, 0.2));
    auto segment = movie->copy();
    EXPECT_EQ(MVMoviePasteboard::generalPasteboard().movie(), segment);
    other->setSelection(seconds(0.1, 0));
    ASSERT_TRUE(other->paste(nullptr));
    ASSERT_EQ(other->trackCount(), 1); // matching track: the samples joined its media
    EXPECT_EQ(shownBytes(*targetTrack), (std::vector<int> { 100, 2, 3, 101, 102, 103 }));
    EXPECT_EQ(targetTrack->media()->sampleCount(), samplesBefore + 2);
    undo.undo();
    EXPECT_EQ(shownBytes(*targetTrack), (std::vector<int> { 100, 101, 102, 103 }));
    EXPECT_EQ(targetTrack->media()->sampleCount(), samplesBefore);
}

TEST_F(EditTest, PasteOfAnotherKindAddsATrackThatUndoRemovesButKeepsValid)
{
    auto sound = MVMovie::movie();
    auto soundTrack = sound->newTrack(MVFourCC("soun"), 8000);
    MVSampleDescription d;
    d.format = MVFourCC("twos");
    soundTrack->media()->addSample(MVBytes(800, 1), 800, 1, MVSampleDescriptionBytes(d), 0);
    soundTrack->insertMedia(0, 0, 800);
    movie->setSelection(seconds(0.5, 0));
    ASSERT_TRUE(movie->paste(sound));
    ASSERT_EQ(movie->trackCount(), 2);
    auto added = movie->trackAtIndex(2);
    EXPECT_EQ(added->mediaType(), MVFourCC("soun"));
    EXPECT_EQ(added->edits(), (std::vector<MVTrackEdit> { { 300, -1, 0x10000 }, { 60, 0, 0x10000 } }));
    // The video gets a gap where the sound was inserted.
    EXPECT_EQ(shown(), (std::vector<int> { 0, 1, 2, 3, 4, -1, 5, 6, 7, 8, 9 }));
    undo.undo();
    EXPECT_EQ(movie->trackCount(), 1);
    EXPECT_EQ(added->movie(), nullptr);
    EXPECT_EQ(added->media()->sampleCount(), 1); // still a whole track
    undo.redo();
    EXPECT_EQ(movie->trackAtIndex(2), added);
}

TEST_F(EditTest, EditStatesSnapshotAllTracks)
{
    auto state = movie->newEditState();
    // The snapshot shares the sample table instead of copying it; a change to the media copies then.
    auto media = movie->trackAtIndex(1)->media();
    EXPECT_EQ(state.tracks[0].media.sharedSamples.get(), &media->samples());
    media->addSample({ 42 }, 60, 1, videoDescription(), 0);
    EXPECT_NE(state.tracks[0].media.sharedSamples.get(), &media->samples());
    EXPECT_EQ(state.tracks[0].media.sharedSamples->size(), 10u);
    movie->setSelection(seconds(0, 0.5));
    movie->clear();
    movie->newTrack(MVFourCC("text"), 600);
    movie->useEditState(state);
    EXPECT_EQ(movie->trackCount(), 1);
    EXPECT_EQ(shown(), (std::vector<int> { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 }));
}

TEST_F(EditTest, AddScaledStretchesToTheSelection)
{
    auto overlay = videoMovie(2, 1, 50); // 0.2 s
    movie->setSelection(seconds(0.2, 0.4));
    ASSERT_TRUE(movie->addScaled(overlay));
    ASSERT_EQ(movie->trackCount(), 2);
    auto added = movie->trackAtIndex(2);
    EXPECT_EQ(added->duration(), 360);
    EXPECT_EQ(added->trackTimeToMediaTime(119), -1);
    EXPECT_EQ(added->trackTimeToMediaTime(120), 0);
    EXPECT_EQ(added->trackTimeToMediaTime(240), 60); // 0.2 s into a 2x slower segment: media 0.1 s
    undo.undo();
    EXPECT_EQ(movie->trackCount(), 1);
}

TEST_F(EditTest, PosterTimeChangeIsUndoable)
{
    movie->setPosterTime(MVMakeTime(300, 600));
    undo.undo();
    EXPECT_TRUE(MVTimeEqual(movie->posterTime(), MVMakeTime(0, 600)));
}

} // namespace
