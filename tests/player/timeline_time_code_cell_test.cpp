#include "player/timeline/time_code_cell.h"

#include "document/movie_document.h"
#include "player/timeline/fake_frame_formatter.h"
#include "player/timeline/frame_formatter.h"
#include "player/timeline/time_formatter.h"

#include "timeline_test_movies.h"

#include <gtest/gtest.h>

#include <typeinfo>

using namespace movara::test;

namespace {

class TimeCodeCellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        token = HXNotificationCenter::defaultCenter().addObserver(
            MVPTimeCodeModeDidChange, nullptr, [this](const HXNotification& n) {
                modes.push_back(n.userInfo().at(MVPLCDTimeModeKey).integerValue());
                movies.push_back(n.userInfo().at(MVPLCDTimeModeMovieKey).integerValue());
            });
        cell->setEditable(true);
    }
    void TearDown() override { HXNotificationCenter::defaultCenter().removeObserver(token); }

    void fillMenu(std::initializer_list<int> tags) { addModes(*cell->menu(), tags); }
    static void addModes(HXMenu& menu, std::initializer_list<int> tags)
    {
        // Items come tagged with their mode, as the display makes them.
        for (int tag : tags) {
            auto item = std::make_shared<HXMenuItem>("mode", HXSelector(), "");
            item->setTag(tag);
            menu.addItem(item);
        }
    }
    int checkedTag() const
    {
        int checked = 0;
        auto menu = cell->menu();
        for (long i = 0; i < menu->numberOfItems(); ++i)
            if (menu->itemAtIndex(i)->state() == HXOnState)
                checked = checked ? -1 : int(menu->itemAtIndex(i)->tag());
        return checked;
    }

    std::shared_ptr<MVPTimeCodeCell> cell = std::make_shared<MVPTimeCodeCell>();
    std::shared_ptr<MVMovie> movie = pictureMovie(600, 20, 1800);
    std::vector<int64_t> modes;
    std::vector<int64_t> movies;
    HXObserverToken token = 0;
};

TEST_F(TimeCodeCellTest, AMovieBringsTheFirstModeAndAnnouncesIt)
{
    EXPECT_EQ(cell->formatter(), nullptr);
    EXPECT_EQ(cell->mode(), 1);
    movie->setCurrentTime(MVMakeTime(90 * 600, 600));
    cell->setMovie(movie);
    ASSERT_NE(cell->formatter(), nullptr);
    EXPECT_EQ(typeid(*cell->formatter()), typeid(TimeFormatter));
    EXPECT_EQ(cell->stringValue(), "00:01:30");
    EXPECT_EQ(modes, std::vector<int64_t> { 1 });
    EXPECT_EQ(movies, std::vector<int64_t> { MVPMovieDocument::timeModeMovieValue(movie.get()) });
    cell->setMovie(movie); // the same movie: nothing new
    EXPECT_EQ(modes.size(), 1u);
}

TEST_F(TimeCodeCellTest, TheMenuPicksModesAndCarriesTheCheckMark)
{
    cell->setMovie(movie);
    fillMenu({ 1, 5 });
    EXPECT_EQ(checkedTag(), 1);
    auto menu = cell->menu();
    menu->performActionForItemAtIndex(1);
    EXPECT_EQ(cell->mode(), 5);
    EXPECT_EQ(typeid(*cell->formatter()), typeid(FakeFrameFormatter));
    EXPECT_EQ(checkedTag(), 5);
    EXPECT_EQ(modes.back(), 5);
    cell->removeAllItems();
    EXPECT_EQ(menu->numberOfItems(), 0);
    cell->setEditable(false);
    EXPECT_EQ(cell->menu(), nullptr);
    EXPECT_EQ(cell->mode(), 1);
}

TEST_F(TimeCodeCellTest, FlushingFallsBackToOfferedModes)
{
    const struct {
        const char* name;
        int mode;
        std::initializer_list<int> offered;
        int after;
    } cases[] = {
        { "an offered mode stays", 2, { 1, 2, 4 }, 2 },
        { "frames of a lost time-code track become frames from the rate", 4, { 1, 5 }, 5 },
        { "time code without a track becomes hours-minutes-seconds", 3, { 1, 5 }, 1 },
        { "mode 1 always stays", 1, {}, 1 },
        { "frames with neither frame mode offered", 4, { 1 }, 1 },
    };
    for (const auto& c : cases) {
        auto fresh = std::make_shared<MVPTimeCodeCell>();
        fresh->setEditable(true);
        fresh->setMovie(movie);
        fresh->chooseFormatter(c.mode);
        addModes(*fresh->menu(), c.offered);
        fresh->flushFormatterCache();
        EXPECT_EQ(fresh->mode(), c.after) << c.name;
    }
}

TEST_F(TimeCodeCellTest, OriginAndMaximumGoToTheActiveFormatterOnly)
{
    cell->setMovie(movie);
    cell->setTimeOrigin(600);
    cell->setTimeMaximum(6000);
    EXPECT_EQ(cell->timeOrigin(), 600);
    cell->chooseFormatter(5);
    EXPECT_EQ(cell->timeOrigin(), 0);
    EXPECT_EQ(cell->timeMaximum(), 0);
    cell->chooseFormatter(1);
    EXPECT_EQ(cell->timeOrigin(), 600);
}

TEST_F(TimeCodeCellTest, EditorCommandsDriveTheFormatter)
{
    movie->setCurrentTime(MVMakeTime(90 * 600, 600));
    cell->setMovie(movie);
    HXTextView editor;
    int ended = 0;
    cell->onEndEditing = [&ended](int) { ++ended; };
    cell->selectLastField(&editor);
    EXPECT_EQ(editor.string(), "00:01:30");
    EXPECT_EQ(editor.selectedRange(), (HXRange { 6, 2 }));
    cell->selectFirstField(&editor);
    EXPECT_EQ(editor.selectedRange(), (HXRange { 0, 2 }));

    const struct {
        const char* command;
        const char* text;
        HXRange selection;
    } steps[] = {
        { "moveRight:", "00:01:30", { 3, 2 } },
        { "moveUp:", "00:02:30", { 3, 2 } },
        { "moveDown:", "00:01:30", { 3, 2 } },
        { "moveDown:", "00:00:30", { 3, 2 } },
        { "deleteBackward:", "00:00:30", { 3, 2 } },
        { "moveLeft:", "00:00:30", { 0, 2 } },
        { "insertTab:", "00:00:30", { 3, 2 } },
    };
    for (const auto& s : steps) {
        EXPECT_TRUE(cell->doCommandBySelector(editor, HXSelector(s.command))) << s.command;
        EXPECT_EQ(editor.string(), s.text) << s.command;
        EXPECT_EQ(editor.selectedRange(), s.selection) << s.command;
    }
    EXPECT_FALSE(cell->doCommandBySelector(editor, HXSelector("pageDown:")));
    EXPECT_TRUE(cell->doCommandBySelector(editor, HXSelector("insertNewline:")));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(MVTimeInScale(movie->currentTime(), 600).timeValue, 30 * 600);

    // Typing over everything, then Escape: nothing moves.
    cell->formatter()->select(0, true);
    EXPECT_FALSE(cell->textViewShouldChangeText(editor, "5."));
    EXPECT_EQ(editor.string(), "5.");
    EXPECT_EQ(editor.selectedRange(), (HXRange { 2, 0 }));
    EXPECT_TRUE(cell->doCommandBySelector(editor, HXSelector("cancelOperation:")));
    EXPECT_EQ(editor.string(), "00:00:30");
    EXPECT_EQ(MVTimeInScale(movie->currentTime(), 600).timeValue, 30 * 600);

    // Tab from the last field commits and leaves.
    cell->selectLastField(&editor);
    cell->textViewShouldChangeText(editor, "9");
    EXPECT_TRUE(cell->doCommandBySelector(editor, HXSelector("insertTab:")));
    EXPECT_EQ(MVTimeInScale(movie->currentTime(), 600).timeValue, 9 * 600);
    cell->setEditable(false);
    EXPECT_FALSE(cell->doCommandBySelector(editor, HXSelector("moveUp:")));
}

TEST_F(TimeCodeCellTest, ClicksInTheEditor)
{
    cell->setMovie(movie);
    HXTextView editor;
    using Click = MVPTimeCodeCell::EditorClick;
    const struct {
        const char* name;
        bool fieldSelectedBefore;
        bool right;
        int clicks;
        Click answer;
        int modeAfter; // the formatter's selection mode afterwards
    } cases[] = {
        { "right click opens the menu", true, true, 1, Click::OpenMenu, 1 },
        { "single click without a selection opens the menu", false, false, 1, Click::OpenMenu, 0 },
        { "double click without a selection picks the field", false, false, 2, Click::Handled, 1 },
        { "triple click without a selection picks everything", false, false, 3, Click::Handled, -1 },
        { "single click with a selection picks the field", true, false, 1, Click::Handled, 1 },
        { "double click with a selection picks everything", true, false, 2, Click::Handled, -1 },
        { "four clicks pass", true, false, 4, Click::Pass, 1 },
    };
    for (const auto& c : cases) {
        cell->formatter()->cancelEdit();
        cell->formatter()->timeString();
        if (c.fieldSelectedBefore)
            cell->formatter()->select(4, false);
        EXPECT_EQ(cell->editorClick(editor, c.right, c.clicks, 4), c.answer) << c.name;
        EXPECT_EQ(cell->formatter()->selectionMode(), c.modeAfter) << c.name;
    }
}

} // namespace
