#include "player/timeline/lcd_media_source.h"

#include "platform/mvkit/chapters.h"
#include "platform/winkit/pasteboard.h"

#include "timeline_test_movies.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

// Ten seconds of pictures at 10 fps, time scale 600: frames every 60 units, 6000 in all.
class MediaSourceTest : public ::testing::Test {
protected:
    void SetUp() override { source.setMovie(movie); }

    void select(int64_t start, int64_t duration)
    {
        movie->setSelection({ MVMakeTime(start, 600), MVMakeTime(duration, 600) });
    }
    std::pair<int64_t, int64_t> selection() const
    {
        auto s = movie->selection();
        return { MVTimeInScale(s.time, 600).timeValue, MVTimeInScale(s.duration, 600).timeValue };
    }
    int64_t now() const { return MVTimeInScale(movie->currentTime(), 600).timeValue; }

    std::shared_ptr<MVMovie> movie = pictureMovie(600, 60, 100);
    MVPLCDMediaSource source;
};

using Range = std::pair<int64_t, int64_t>;

TEST_F(MediaSourceTest, FractionsFollowTheMovie)
{
    movie->setCurrentTime(MVMakeTime(1500, 600));
    select(600, 1200);
    EXPECT_DOUBLE_EQ(source.currentTimePercent(), 0.25);
    EXPECT_DOUBLE_EQ(source.selectionStartPercent(), 0.1);
    EXPECT_DOUBLE_EQ(source.selectionEndPercent(), 0.3);
    EXPECT_DOUBLE_EQ(source.selectionDurationPercent(), 0.2);
    EXPECT_TRUE(source.hasSelection());
    EXPECT_EQ(source.selectionEnd().timeValue, 1800);
    // A time in another scale is read in the movie's.
    movie->setCurrentTime(MVMakeTime(5, 2));
    EXPECT_DOUBLE_EQ(source.currentTimePercent(), 0.25);
    select(600, 0);
    EXPECT_FALSE(source.hasSelection());
}

TEST_F(MediaSourceTest, FractionSettersComputeTimes)
{
    const struct {
        const char* name;
        std::function<void(MVPLCDMediaSource&)> call;
        Range selection;
    } cases[] = {
        { "start and end", [](auto& s) { s.setSelectionStartPercentSelectionEndPercent(0.1, 0.3); },
            { 600, 1200 } },
        { "start and duration", [](auto& s) { s.setSelectionStartPercentSelectionDurationPercent(0.1, 0.2); },
            { 600, 1200 } },
        { "duration keeps the start", [](auto& s) { s.setSelectionDurationPercent(0.5); }, { 1200, 3000 } },
        { "truncated toward zero",
            [](auto& s) { s.setSelectionStartPercentSelectionEndPercent(0.05, 0.3333); }, { 300, 1699 } },
        { "start keeps the end", [](auto& s) { s.setSelectionStartPercent(0.1); }, { 600, 1200 } },
        { "start after the end collapses", [](auto& s) { s.setSelectionStartPercent(0.5); }, { 3000, 0 } },
        { "end after the start", [](auto& s) { s.setSelectionEndPercent(0.5); }, { 1200, 1800 } },
        { "end before the start collapses", [](auto& s) { s.setSelectionEndPercent(0.1); }, { 600, 0 } },
        { "nearer end: the start", [](auto& s) { s.setSelectionPercent(0.1); }, { 600, 1200 } },
        { "nearer end: the end", [](auto& s) { s.setSelectionPercent(0.4); }, { 1200, 1200 } },
        { "midpoint moves the end", [](auto& s) { s.setSelectionPercent(0.25); }, { 1200, 300 } },
    };
    for (const auto& c : cases) {
        select(1200, 600); // 0.2 … 0.3
        c.call(source);
        EXPECT_EQ(selection(), c.selection) << c.name;
    }
    source.setCurrentTimePercent(0.5);
    EXPECT_EQ(now(), 3000);
}

TEST_F(MediaSourceTest, AMovieWithoutDurationReadsZeroAndPlacesAtTheStart)
{
    auto empty = MVMovie::movie();
    MVPLCDMediaSource s;
    s.setMovie(empty);
    empty->setCurrentTime(MVMakeTime(300, 600));
    empty->setSelection({ MVMakeTime(60, 600), MVMakeTime(60, 600) });
    EXPECT_FALSE(s.hasDuration());
    EXPECT_EQ(s.currentTimePercent(), 0);
    EXPECT_EQ(s.selectionStartPercent(), 0);
    EXPECT_EQ(s.selectionDurationPercent(), 0);
    s.setCurrentTimePercent(0.7);
    EXPECT_EQ(empty->currentTime().timeValue, 0);
}

TEST_F(MediaSourceTest, ChapterClipUsesTheCurrentChapter)
{
    HXError error;
    ASSERT_TRUE(MVMovieSetChapters(
        *movie, { { "One", MVMakeTime(0, 600) }, { "Two", MVMakeTime(3000, 600) } }, &error));
    source.setMovie(movie, true);
    movie->setCurrentTime(MVMakeTime(4000, 600));
    ASSERT_EQ(source.currentChapterIndex(), 2);
    EXPECT_EQ(source.timeStart().timeValue, 3000);
    EXPECT_EQ(source.duration().timeValue, 2999); // one unit short of the end
    EXPECT_DOUBLE_EQ(source.currentTimePercent(), 1000.0 / 2999);
    source.setCurrentTimePercent(0);
    EXPECT_EQ(now(), 3000);

    // A selection reaching outside the chapter reads as none, and the next end set starts from the
    // chapter's start.
    select(1000, 2500);
    EXPECT_FALSE(source.hasSelection());
    EXPECT_EQ(source.selectionStartPercent(), 0);
    EXPECT_EQ(source.selectionEndPercent(), 0);
    source.setSelectionEndPercent(0.5);
    EXPECT_EQ(selection(), (Range { 3000, 1499 }));
    EXPECT_TRUE(source.hasSelection());
    // Without chapters there is no clip.
    MVPLCDMediaSource plain;
    plain.setMovie(pictureMovie(600, 60, 100), true);
    EXPECT_FALSE(plain.isChapterModeClip());
}

TEST_F(MediaSourceTest, SteppingTheSelectionEnds)
{
    const struct {
        const char* name;
        Range before;
        void (MVPLCDMediaSource::*step)();
        Range after;
    } cases[] = {
        { "end forward", { 600, 600 }, &MVPLCDMediaSource::stepSelectionEndForward, { 600, 660 } },
        { "end back", { 600, 600 }, &MVPLCDMediaSource::stepSelectionEndBackward, { 600, 540 } },
        { "end back of an empty selection does nothing", { 600, 0 },
            &MVPLCDMediaSource::stepSelectionEndBackward, { 600, 0 } },
        { "end forward of an empty selection extends it", { 600, 0 },
            &MVPLCDMediaSource::stepSelectionEndForward, { 600, 60 } },
        { "start back", { 600, 600 }, &MVPLCDMediaSource::stepSelectionStartBackward, { 540, 660 } },
        { "start forward", { 600, 600 }, &MVPLCDMediaSource::stepSelectionStartForward, { 660, 540 } },
        { "start forward of an empty selection does nothing", { 600, 0 },
            &MVPLCDMediaSource::stepSelectionStartForward, { 600, 0 } },
    };
    for (const auto& c : cases) {
        select(c.before.first, c.before.second);
        (source.*c.step)();
        EXPECT_EQ(selection(), c.after) << c.name;
    }
}

TEST_F(MediaSourceTest, PauseAndUnpauseKeepTheRate)
{
    movie->setRate(1.5f);
    source.pause();
    EXPECT_EQ(movie->rate(), 0);
    // A second pause (a scrub whose release was swallowed) must not forget the rate.
    source.pause();
    source.unpause();
    EXPECT_EQ(movie->rate(), 1.5f);
    source.stop();
    source.unpause();
    EXPECT_EQ(movie->rate(), 0);
    source.pause();
    source.unpause();
    EXPECT_EQ(movie->rate(), 0);
}

TEST_F(MediaSourceTest, MediaDraggedOutAndIn)
{
    auto pasteboard = HXPasteboard::pasteboardWithUniqueName();
    EXPECT_EQ(source.durationPercentOfMediaFromPasteboard(*pasteboard), 0);
    source.insertMediaFromPasteboard(*pasteboard, 0.5, false);
    EXPECT_EQ(movie->durationValue(), 6000);

    select(0, 600);
    source.addSelectionToPasteboard(*pasteboard, "other");
    EXPECT_TRUE(pasteboard->types().empty());
    source.addSelectionToPasteboard(*pasteboard, source.dragTypes().front());
    EXPECT_DOUBLE_EQ(source.durationPercentOfMediaFromPasteboard(*pasteboard), 1.0 / 11);

    // Dropped at the middle: the new media is selected where it went.
    movie->setCurrentTime(MVMakeTime(120, 600));
    source.insertMediaFromPasteboard(*pasteboard, 0.5, false);
    EXPECT_EQ(movie->durationValue(), 6600);
    EXPECT_EQ(selection(), (Range { 3000, 600 }));

    // Moved later: the drop point moves back with the media after the removed selection.
    source.insertMediaFromPasteboard(*pasteboard, 6000.0 / 6600, true);
    EXPECT_EQ(movie->durationValue(), 6600);
    EXPECT_EQ(selection(), (Range { 5400, 600 }));
}

TEST_F(MediaSourceTest, DeletingTheSelection)
{
    std::vector<int64_t> codes;
    source.setErrorPresenter([&codes](const HXError& error) { codes.push_back(error.code()); });
    select(600, 0);
    source.deleteSelection();
    EXPECT_EQ(movie->durationValue(), 6000);
    select(600, 600);
    source.deleteSelection();
    EXPECT_EQ(movie->durationValue(), 5400);
    EXPECT_EQ(selection(), (Range { 600, 0 }));
    EXPECT_TRUE(codes.empty());
    // A range the movie refuses is reported, and nothing changes.
    select(-600, 1200);
    source.deleteSelection();
    EXPECT_EQ(codes, std::vector<int64_t> { 5 });
    EXPECT_EQ(movie->durationValue(), 5400);
}

} // namespace
