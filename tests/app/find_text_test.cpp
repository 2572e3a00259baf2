// The Find Text panel over a movie's text track: forward and backward, with and without case and
// wrap-around, the search position kept between searches and reset when the document changes, and no
// document (closed or gone) searched at all.
#include "document/find_text_controller.h"

#include "document/movie_document.h"
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/application.h"
#include "platform/winkit/button.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/text_field.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

class FindTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HXHeadlessWindowServer::install();
        HXApplication::setSharedApplication(std::make_shared<HXApplication>());
        // One text track of four lines, a second apart (600 units each at scale 600).
        auto movie = MVMovie::movie();
        auto result = MVImportText(*movie, "The cat sat\rnothing here\rA CAT ran\rcat and cat", nullptr, 0);
        ASSERT_TRUE(result.track);
        document = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        ASSERT_TRUE(document && document->movie());
        controller = std::make_shared<FindTextController>();
        controller->window();
        controller->setMovieDocument(document);
    }

    void TearDown() override
    {
        controller.reset();
        document.reset();
        HXApplication::setSharedApplication(nullptr);
    }

    int64_t now() const { return MVTimeInScale(document->movie()->currentTime(), 600).timeValue; }

    void setOptions(const std::string& text, bool ignoreCase, bool wrap)
    {
        controller->findTextTextField()->setStringValue(text);
        controller->ignoreCaseCheckBox()->setState(ignoreCase ? 1 : 0);
        controller->wrapAroundCheckBox()->setState(wrap ? 1 : 0);
    }

    // Sets the panel's options and finds the next (or previous) hit, as its buttons do.
    void find(const std::string& text, bool ignoreCase, bool wrap, bool forward)
    {
        setOptions(text, ignoreCase, wrap);
        if (forward)
            controller->doFindNextText();
        else
            controller->doFindPreviousText();
    }

    std::shared_ptr<MVPMovieDocument> document;
    std::shared_ptr<FindTextController> controller;
};

TEST_F(FindTextTest, SearchesStepByStep)
{
    struct Step {
        const char* name;
        const char* text;
        bool ignoreCase;
        bool wrap;
        bool forward;
        int64_t time; // where the movie is afterwards (scale 600)
        int32_t offset; // the offset of the hit kept
    };
    // Each row runs on the state the previous one left.
    const Step steps[] = {
        { "first hit, ignoring case", "cat", true, false, true, 0, 4 },
        { "next hit: past the first one", "cat", true, false, true, 1200, 2 },
        { "next hit in the last line", "cat", true, false, true, 1800, 0 },
        { "the same line again, further on", "cat", true, false, true, 1800, 8 },
        { "past the last hit without wrap-around: stays", "cat", true, false, true, 1800, 8 },
        { "with wrap-around: back to the first line", "cat", true, true, true, 0, 4 },
        { "matching case skips the capitals", "cat", false, false, true, 1800, 0 },
        { "backward: the earlier hit, at the start of its line", "cat", false, false, false, 0, 4 },
        { "backward past the first hit without wrap-around: stays", "cat", false, false, false, 0, 4 },
        { "backward with wrap-around: the last hit", "cat", false, true, false, 1800, 8 },
        { "not there: nothing moves", "dog", true, true, true, 1800, 8 },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        find(step.text, step.ignoreCase, step.wrap, step.forward);
        EXPECT_EQ(now(), step.time);
        EXPECT_EQ(controller->foundOffset(), step.offset);
        EXPECT_EQ(controller->foundTrackIndex(), 1);
    }
}

TEST_F(FindTextTest, BackwardFromAResetSearchesBeforeTheCurrentTime)
{
    document->movie()->setCurrentTime(MVMakeTime(1500, 600));
    controller->resetFindNextState();
    setOptions("NOTHING", true, false);
    controller->doFindPreviousText();
    EXPECT_EQ(now(), 600);
    EXPECT_EQ(controller->foundOffset(), 0);
}

TEST_F(FindTextTest, FlagsGivenToTheSearch)
{
    // The search answers the same as the movie's own search with the flags the options make (from the
    // start of the text shown: no hit was made yet).
    struct Case {
        bool ignoreCase, wrap, forward;
        int flags;
    };
    const Case cases[] = { { true, false, true, 0 }, { false, false, true, 2 }, { true, true, true, 8 },
        { false, true, false, 2 | 4 | 8 }, { true, false, false, 4 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        document->movie()->setCurrentTime(MVMakeTime(900, 600));
        controller->resetFindNextState();
        auto expected = document->movie()->findText("cat", 1, MVMakeTime(900, 600), 0, c.flags);
        MVTime got = controller->findTextTime("cat", c.ignoreCase, c.wrap, c.forward);
        if (MVTimeIsIndefinite(expected.time)) {
            EXPECT_TRUE(MVTimeIsIndefinite(got));
        } else {
            EXPECT_TRUE(MVTimeEqual(got, expected.time));
            EXPECT_EQ(controller->foundOffset(), expected.offset);
        }
    }
}

TEST_F(FindTextTest, ThePositionResetsWhenTheDocumentChanges)
{
    setOptions("cat", true, false);
    controller->doFindNextText();
    controller->doFindNextText();
    ASSERT_EQ(controller->foundOffset(), 2);
    controller->bumpOffset(3);
    EXPECT_EQ(controller->foundOffset(), 5);

    // A new movie in the document starts the search over.
    auto other = MVMovie::movie();
    MVImportText(*other, "cat", nullptr, 0);
    document->setMovie(other);
    EXPECT_EQ(controller->foundOffset(), 0);
    EXPECT_EQ(controller->foundTrackIndex(), 1);
    EXPECT_EQ(controller->foundTime().timeValue, 0);

    // Another document does too.
    controller->bumpOffset(4);
    auto second = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    controller->setMovieDocument(second);
    EXPECT_EQ(controller->foundOffset(), 0);
    EXPECT_EQ(controller->movieDocument(), second);
}

TEST_F(FindTextTest, NoDocumentNoSearch)
{
    // An empty text searches nothing.
    document->movie()->setCurrentTime(MVMakeTime(600, 600));
    setOptions("", true, true);
    controller->doFindNextText();
    EXPECT_EQ(now(), 600);

    // A closed document is forgotten; Find then does nothing until another one is set.
    setOptions("cat", true, true);
    document->close();
    EXPECT_EQ(controller->movieDocument(), nullptr);
    controller->doFindNextText();
    EXPECT_TRUE(MVTimeIsIndefinite(controller->findTextTime("cat", true, true, true)));

    // A document that goes away without closing is not reached either.
    auto fleeting = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    controller->setMovieDocument(fleeting);
    fleeting.reset();
    EXPECT_EQ(controller->movieDocument(), nullptr);
    controller->doFindNextText();
    controller->resetFindNextState();
    EXPECT_TRUE(MVTimeIsIndefinite(controller->findTextTime("cat", true, true, true)));
}

TEST_F(FindTextTest, AHitAtTheStartOfTheTextShownIsFound)
{
    // The movie shows "The cat sat" and no search was made yet: its hit is the first one, even at the
    // very start of the text; once the movie is moved to another text the offset of the last hit does not
    // count there.
    struct Step {
        const char* name;
        const char* text;
        int64_t at; // where the movie is put first, -1 to leave it
        bool forward;
        int64_t time;
        int32_t offset;
    };
    const Step steps[] = {
        { "at the start of the first text", "t", -1, true, 0, 0 },
        { "moved to a text after the last hit", "a", 1200, true, 1200, 0 },
        { "moved back to a text before the hit", "the", 0, true, 0, 0 },
        { "played on within the text of the hit: on past it", "t", 300, true, 0, 6 },
        { "backward from a text after the hit", "nothing", 1500, false, 600, 0 },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.at >= 0)
            document->movie()->setCurrentTime(MVMakeTime(step.at, 600));
        find(step.text, true, false, step.forward);
        EXPECT_EQ(now(), step.time);
        EXPECT_EQ(controller->foundOffset(), step.offset);
    }
}

TEST_F(FindTextTest, SubtitlesOfAMovieWithSoundAndPictures)
{
    // Subtitles that start off the grid of both the pictures (10 a second) and the sound: every find
    // lands on the start of the subtitle that holds the hit, forward and backward.
    movara::test::TempDir folder;
    auto path = folder / "subtitled.mov";
    ASSERT_TRUE(movara::test::makeSubtitledMovie(path,
        { { 0.0, 0.9, "Hello there" }, { 1.234, 2.0, "Été à Paris" }, { 2.345, 3.0, "nothing" },
            { 3.456, 4.0, "CAT and cat" } },
        4));
    HXError error;
    auto movie = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto subtitled = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    ASSERT_TRUE(subtitled);
    controller->setMovieDocument(subtitled);
    auto ms = [&] { return MVTimeInScale(movie->currentTime(), 1000).timeValue; };

    struct Step {
        const char* name;
        const char* text;
        bool ignoreCase, wrap, forward;
        int64_t time; // ms
        int32_t offset;
    };
    // Each row runs on the state the previous one left.
    const Step steps[] = {
        { "forward from the start", "hello", true, true, true, 0, 0 },
        { "accented, ignoring case", "ÉTÉ", true, false, true, 1234, 0 },
        { "accented, matching case: not there further on", "ÉTÉ", false, false, true, 1234, 0 },
        { "in the last subtitle", "cat", true, false, true, 3456, 0 },
        { "further on in the last subtitle", "cat", true, false, true, 3456, 8 },
        { "past the last hit with wrap-around: its subtitle's first hit", "cat", true, true, true, 3456, 0 },
        { "backward with wrap-around: the last hit", "cat", true, true, false, 3456, 8 },
        { "backward: the start of the earlier subtitle", "paris", true, false, false, 1234, 9 },
        { "backward to the first subtitle", "there", true, false, false, 0, 6 },
        { "backward past the only hit with wrap-around: the same one", "there", true, true, false, 0, 6 },
        { "forward past the only hit with wrap-around: the same one", "there", true, true, true, 0, 6 },
        { "not there: nothing moves", "absent", true, true, true, 0, 6 },
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        find(step.text, step.ignoreCase, step.wrap, step.forward);
        EXPECT_EQ(ms(), step.time);
        EXPECT_EQ(controller->foundOffset(), step.offset);
        EXPECT_TRUE(MVTimeEqual(movie->currentTime(), controller->foundTime()));
    }
    controller->setMovieDocument(nullptr);
}

TEST_F(FindTextTest, AMovieWithoutText)
{
    auto silent = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    controller->setMovieDocument(silent);
    for (bool forward : { true, false }) {
        SCOPED_TRACE(forward);
        EXPECT_TRUE(MVTimeIsIndefinite(controller->findTextTime("cat", true, true, forward)));
        find("cat", true, true, forward);
        EXPECT_EQ(MVTimeInScale(silent->movie()->currentTime(), 600).timeValue, 0);
    }
}

TEST_F(FindTextTest, SharedController)
{
    EXPECT_EQ(FindTextController::existingFindTextController(), nullptr);
    auto shared = FindTextController::findTextController();
    EXPECT_EQ(FindTextController::findTextController(), shared);
    EXPECT_EQ(FindTextController::existingFindTextController(), shared);
}

} // namespace

TEST_F(FindTextTest, TheDocumentsFindCommandsDriveTheSharedPanel)
{
    document->performAction(HXSelector("findText:"), nullptr);
    auto shared = FindTextController::existingFindTextController();
    ASSERT_TRUE(shared);
    EXPECT_TRUE(shared->window()->isVisible());
    shared->findTextTextField()->setStringValue("cat");
    shared->ignoreCaseCheckBox()->setState(1);
    shared->wrapAroundCheckBox()->setState(0);

    // Each command searches on from one character past (or before) the last hit.
    struct Step {
        const char* action;
        int64_t time;
    } steps[] = {
        { "findNextText:", 0 },
        { "findNextText:", 1200 },
        { "findPreviousText:", 0 },
    };
    for (const auto& step : steps) {
        document->performAction(HXSelector(step.action), nullptr);
        EXPECT_EQ(now(), step.time) << step.action;
    }
    shared->setMovieDocument(nullptr);
    shared->close();
}
