// The progress sheet: its texts, its bar, the sheet on the movie window, a click on Cancel, and the
// procedure it leaves on no movie once it is gone.
#include "movie_document_test_support.h"

#include "document/movie_progress_window_controller.h"
#include "platform/basekit/bundle.h"
#include "platform/winkit/button.h"
#include "platform/winkit/progress_indicator.h"
#include "platform/winkit/text_field.h"
#include "platform/winkit/window.h"

using namespace movara::test::document;

namespace {

class ProgressSheetTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        movieWindow = std::make_shared<HXWindow>(HXMakeRect(100, 100, 480, 360), HXTitledWindowMask);
        movieWindow->setReleasedWhenClosed(false);
        movieWindow->makeKeyAndOrderFront();
        movie = MVMovie::movie();
        controller
            = MVPMovieProgressWindowController::movieProgressWindowControllerWithMovie(movie, movieWindow);
    }

    // A click in the sheet: press at `down`, release at `up` (window coordinates).
    void click(HXPoint down, HXPoint up)
    {
        int number = controller->window()->windowNumber();
        app->postEvent(HXEvent::mouseEvent(HXLeftMouseDown, down, 0, 0, number), false);
        app->postEvent(HXEvent::mouseEvent(HXLeftMouseUp, up, 0, 0, number), false);
    }

    HXPoint insideCancel()
    {
        return HXMakePoint(
            HXMidX(controller->cancelButton()->frame()), HXMidY(controller->cancelButton()->frame()));
    }

    std::shared_ptr<HXWindow> movieWindow;
    std::shared_ptr<MVMovie> movie;
    std::shared_ptr<MVPMovieProgressWindowController> controller;
};

TEST(ProgressSheetTexts, StatusForEachOperation)
{
    const struct {
        short operation;
        const char* key; // null: no status text
    } cases[] = {
        { 0, nullptr },
        { 1, "mvpProgressFlatteningMovie" },
        { 4, "mvpProgressPasting" },
        { 7, "mvpProgressCutting" },
        { 12, "mvpProgressExportingMovie" },
        { 13, nullptr },
        { -1, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        auto text = MVPMovieProgressWindowController::statusStringForOperation(c.operation);
        if (!c.key)
            EXPECT_FALSE(text);
        else
            EXPECT_EQ(text, HXLocalizedString(c.key, {}));
    }
}

TEST(ProgressSheetTexts, PercentIsTruncated)
{
    const struct {
        int32_t fixed;
        const char* text;
    } cases[] = { { 0, "0%" }, { 32768, "50%" }, { 65535, "99%" }, { 65536, "100%" }, { 655, "0%" },
        { 656, "1%" } };
    for (const auto& c : cases)
        EXPECT_EQ(MVPMovieProgressWindowController::percentString(c.fixed), c.text) << c.fixed;
}

TEST_F(ProgressSheetTest, OpenUpdateCloseShowsTheSheetOnTheMovieWindow)
{
    EXPECT_EQ(controller->progressUpdate(MVPMovieProgressOpen, 1, 0), MVPMovieProgressContinue);
    EXPECT_EQ(movieWindow->attachedSheet(), controller->window());
    EXPECT_EQ(
        controller->statusTextField()->stringValue(), HXLocalizedString("mvpProgressFlatteningMovie", {}));
    EXPECT_EQ(controller->detailTextField()->stringValue(), "0%");

    EXPECT_EQ(controller->progressUpdate(MVPMovieProgressUpdatePercent, 1, 32768), MVPMovieProgressContinue);
    EXPECT_DOUBLE_EQ(controller->progressIndicator()->doubleValue(), 0.5);
    EXPECT_EQ(controller->detailTextField()->stringValue(), "50%");

    EXPECT_EQ(controller->progressUpdate(MVPMovieProgressClose, 1, 65536), MVPMovieProgressContinue);
    EXPECT_EQ(movieWindow->attachedSheet(), nullptr);
    EXPECT_FALSE(controller->window()->isVisible());
}

TEST_F(ProgressSheetTest, UnknownOperationLeavesTheStatusEmptyButMovesTheBar)
{
    controller->progressUpdate(MVPMovieProgressOpen, 13, 0);
    EXPECT_EQ(controller->statusTextField()->stringValue(), "");
    controller->progressUpdate(MVPMovieProgressUpdatePercent, 13, 16384);
    EXPECT_DOUBLE_EQ(controller->progressIndicator()->doubleValue(), 0.25);
    EXPECT_EQ(controller->detailTextField()->stringValue(), "25%");
    controller->progressUpdate(MVPMovieProgressClose, 13, 0);
}

TEST_F(ProgressSheetTest, OnlyAClickOnCancelCancels)
{
    auto canceled = count(MVPMovieProgressUserCanceledNotification, controller.get());
    controller->progressUpdate(MVPMovieProgressOpen, 1, 0);
    HXPoint outside = HXMakePoint(10, 100);

    const struct {
        const char* name;
        bool downOnCancel;
        bool upOnCancel;
        short answer;
    } cases[] = {
        { "released outside", false, false, MVPMovieProgressContinue },
        { "pressed on Cancel, released outside", true, false, MVPMovieProgressContinue },
        { "pressed outside, released on Cancel", false, true, MVPMovieProgressContinue },
        { "on Cancel", true, true, MVPMovieProgressUserCanceled },
    };
    int expectedNotes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        click(c.downOnCancel ? insideCancel() : outside, c.upOnCancel ? insideCancel() : outside);
        EXPECT_EQ(controller->progressUpdate(MVPMovieProgressUpdatePercent, 1, 100), c.answer);
        // The clicks are taken off the queue either way.
        EXPECT_EQ(app->pendingEventCount(), 0u);
        expectedNotes += c.answer == MVPMovieProgressUserCanceled;
        EXPECT_EQ(*canceled, expectedNotes);
    }
    controller->progressUpdate(MVPMovieProgressClose, 1, 65536);
}

TEST_F(ProgressSheetTest, MovieReportsReachTheSheetAndACancelStopsTheWrite)
{
    // The movie's own procedure speaks fractions and says what it does; the sheet shows both.
    ASSERT_TRUE(movie->progressProc());
    const auto proc = movie->progressProc();
    for (auto operation : { MVMovieProgressOperation::Flatten, MVMovieProgressOperation::Import,
             MVMovieProgressOperation::Export }) {
        SCOPED_TRACE(int(operation));
        EXPECT_EQ(proc(MVMovieProgressMessage::Open, operation, 0), 0);
        EXPECT_EQ(movieWindow->attachedSheet(), controller->window());
        EXPECT_EQ(controller->statusTextField()->stringValue(),
            MVPMovieProgressWindowController::statusStringForOperation(short(operation)).value_or("none"));
        EXPECT_EQ(proc(MVMovieProgressMessage::Percent, operation, 0.75), 0);
        EXPECT_EQ(controller->detailTextField()->stringValue(), "75%");
        click(insideCancel(), insideCancel());
        EXPECT_NE(proc(MVMovieProgressMessage::Percent, operation, 0.8), 0);
        proc(MVMovieProgressMessage::Close, operation, 1);
        EXPECT_EQ(movieWindow->attachedSheet(), nullptr);
    }
}

TEST_F(ProgressSheetTest, NoMovieKeepsAProcedureOfAControllerThatLetItGo)
{
    auto other = MVMovie::movie();
    controller->setMovie(other);
    EXPECT_FALSE(movie->progressProc()) << "the old movie keeps no procedure";
    EXPECT_TRUE(other->progressProc());

    // A movie that outlives its controller has nothing left to call.
    controller.reset();
    EXPECT_FALSE(other->progressProc());
}

TEST_F(ProgressSheetTest, WithoutAMovieWindowReportsOnlyMoveTheBar)
{
    controller->setMovieWindow(nullptr);
    EXPECT_EQ(controller->progressUpdate(MVPMovieProgressOpen, 1, 0), MVPMovieProgressContinue);
    EXPECT_FALSE(controller->window()->isVisible());
    controller->progressUpdate(MVPMovieProgressUpdatePercent, 1, 65536);
    EXPECT_EQ(controller->detailTextField()->stringValue(), "100%");
    controller->progressUpdate(MVPMovieProgressClose, 1, 65536);
}

} // namespace
