// The processing window: what each row shows (status texts, progress bar rules, time estimates, elapsed
// time), the rows' places and colours, the edited state and the close guard — headless.
#include "job_test_support.h"
#include "test_support.h"

#include "export/job_view.h"
#include "export/processing_document.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

// The texts below are the built-in English ones: the tests run against a bundle without strings tables.
const bool kEmptyBundle = [] {
    static TempDir bundle;
    ::setenv("MOVARA_BUNDLE_DIR", bundle.path().c_str(), 1);
    return true;
}();

std::shared_ptr<Job> jobWith(HXPropertyList::Dictionary info)
{
    auto job = std::make_shared<Job>(HXPropertyList::Dictionary {}, std::weak_ptr<JobDelegate>());
    job->userInfo() = std::move(info);
    return job;
}

HXDate at(double seconds)
{
    return HXDate { 800000000.0 + seconds };
}

TEST(ProcessingRows, StatusWordsDecideTextActionAndBar)
{
    ASSERT_TRUE(kEmptyBundle);
    enum Bar { Indeterminate, Hidden, Determinate };
    struct Case {
        const char* name;
        HXPropertyList::Dictionary info;
        std::string statusText;
        const char* action; // nullptr: left as it was
        Bar bar;
        double value;
    };
    const Case cases[] = {
        { "new", { { "status", "new" }, { "progress", -1.0 } }, "", "jobStopAction:", Indeterminate, 0 },
        { "pending", { { "status", "pending" } }, "Waiting to start", "jobStopAction:", Hidden, 0 },
        { "starting", { { "status", "starting" } }, "Starting", "jobStopAction:", Indeterminate, 0 },
        { "started", { { "status", "started" } }, "Started", "jobStopAction:", Indeterminate, 0 },
        { "waiting", { { "status", "waiting" } }, "Waiting", "jobStopAction:", Hidden, 0 },
        { "continuing", { { "status", "continuing" } }, "Continuing", "jobStopAction:", Hidden, 0 },
        { "exporting", { { "status", "ExportState" }, { "progress", 0.5 }, { "operation", 13 } }, "Exporting",
            nullptr, Determinate, 0.5 },
        { "publishing", { { "status", "PublishState" }, { "progress", -1.0 } }, "Publishing", nullptr,
            Indeterminate, 0 },
        { "uploading", { { "status", "DAVQuillonUploadingState" }, { "progress", 1.5 } }, "Uploading",
            nullptr, Hidden, 0 },
        { "device", { { "status", "DSTransferringFileState" }, { "progress", 0.0 } }, "Transferring the file",
            nullptr, Determinate, 0 },
        { "unknown word keeps the text", { { "status", "Polishing" }, { "statusText", "Exporting" } },
            "Exporting", nullptr, Determinate, 0 },
        { "errored", { { "status", "errored" } }, "Failed", "jobRemoveAction:", Hidden, 0 },
        { "offset and length",
            { { "status", "ExportState" }, { "offset", 512 }, { "length", 2048 }, { "operation", 13 } },
            "Exporting", nullptr, Determinate, 0.25 },
        { "length below a kilobyte",
            { { "status", "ExportState" }, { "offset", 100 }, { "length", 400 }, { "operation", 13 } },
            "Exporting", nullptr, Determinate, 0.25 },
        { "length of nothing", { { "status", "ExportState" }, { "offset", 0 }, { "length", 0 } }, "Exporting",
            nullptr, Indeterminate, 0 },
        { "offset past the length", { { "status", "ExportState" }, { "offset", 4096 }, { "length", 2048 } },
            "Exporting", nullptr, Hidden, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto job = jobWith(c.info);
        auto shown = ProcessingDocument::rowPresentationForJob(*job);
        EXPECT_EQ(shown.statusText, c.statusText);
        EXPECT_EQ(job->userInfo()["statusText"].stringValue(), c.statusText);
        EXPECT_EQ(shown.action, c.action ? HXSelector(c.action) : HXSelector());
        EXPECT_EQ(shown.progressHidden, c.bar == Hidden);
        if (c.bar != Hidden) {
            EXPECT_EQ(shown.indeterminate, c.bar == Indeterminate);
        }
        if (c.bar == Determinate) {
            EXPECT_DOUBLE_EQ(shown.progress, c.value);
        }
    }
}

TEST(ProcessingRows, FailureTextTellsWhatWentWrong)
{
    struct Case {
        int64_t errorCode;
        const char* errorMessage;
        int exitCode;
        int termSig;
        const char* text;
    };
    const Case cases[] = {
        { 0, nullptr, 0, 11, "Failed with signal {11}" },
        { 0, nullptr, 3, 0, "Failed with exit status <3>" },
        { -36, nullptr, 0, 0, "Failed: The file could not be read or written. (-36)" },
        { -2019, nullptr, 0, 0, "Failed: The operation was stopped. (-2019)" },
        { -31337, nullptr, 0, 0, "Failed: An error occurred. (-31337)" }, // a code nobody knows
        { 5, "Disk full", 1, 0, "Failed: Disk full (5)" },
        { 0, nullptr, 0, 0, "Failed" },
    };
    for (const auto& c : cases) {
        HXPropertyList::Dictionary message;
        // The job's fields are the queue's: fill them the way a worker does, through a scripted run.
        JobManager manager(INT_MAX, scriptedWorker);
        auto delegate = std::make_shared<RecordingDelegate>();
        Steps steps;
        if (c.errorCode)
            message["errorCode"] = c.errorCode;
        if (c.errorMessage)
            message["errorMessage"] = c.errorMessage;
        if (!message.empty())
            steps.push_back(send(message));
        steps.push_back(c.termSig ? step("crash", true) : step("exit", c.exitCode));
        auto job = manager.newJobWithParams(scriptParams(steps), delegate);
        manager.startJob(job, false);
        ASSERT_TRUE(runUntil([&] { return isFinal(job); }));
        EXPECT_EQ(ProcessingDocument::failureText(*job), c.text);
    }
}

TEST(ProcessingRows, TimeEstimates)
{
    struct Case {
        double elapsed;
        double p;
        const char* text;
    };
    const Case cases[] = {
        { 60, 0.25, " \u2014 about 3 minutes left" },
        { 1, 0.5, " \u2014 estimating the time left" },
        { 2.0, 0.5, " \u2014 estimating the time left" },
        { 100, 0.99, " \u2014 about 1 minute left" },
        { 90, 0.5, " \u2014 about 1 minute left" },
        { 3660, 0.5, " \u2014 about 1 h 1 min left" },
        { 3600, 0.5, " \u2014 about 60 minutes left" },
        { 60, 0.0, "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessingDocument::timeEstimateText(c.elapsed, c.p), c.text) << c.elapsed << " " << c.p;
}

TEST(ProcessingRows, EstimateMeasuresFromStartToLatestUpdate)
{
    auto job = jobWith({ { "status", "ExportState" }, { "progress", 0.25 }, { "startTime", at(0) },
        { "updateTime", at(60) } });
    EXPECT_EQ(ProcessingDocument::rowPresentationForJob(*job).timeText, " \u2014 about 3 minutes left");
}

TEST(ProcessingRows, OperationThirteenTurnsTheEstimateOffUntilTheStatusChanges)
{
    auto job = jobWith({ { "status", "ExportState" }, { "progress", 0.5 }, { "operation", 13 },
        { "startTime", at(0) }, { "updateTime", at(60) } });
    EXPECT_EQ(ProcessingDocument::rowPresentationForJob(*job).timeText, "");
    EXPECT_EQ(job->userInfo()["noTimeEstimate"].stringValue(), "ExportState");
    job->userInfo()["operation"] = 1;
    EXPECT_EQ(ProcessingDocument::rowPresentationForJob(*job).timeText, "") << "still the same status word";
    job->userInfo()["status"] = "PublishState";
    EXPECT_EQ(ProcessingDocument::rowPresentationForJob(*job).timeText, " \u2014 about 1 minute left");
}

TEST(ProcessingRows, ElapsedTimeStrings)
{
    struct Case {
        int64_t seconds;
        const char* text;
    };
    const Case cases[] = {
        { 0, "Elapsed time: 00:00" },
        { 61, "Elapsed time: 01:01" },
        { 3599, "Elapsed time: 59:59" },
        { 3600, "Elapsed time: 01:00:00" },
        { 3725, "Elapsed time: 01:02:05" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(JobView::elapsedTimeString(c.seconds), c.text);
}

TEST(ProcessingRows, ElapsedTimeRunsPausesAndStops)
{
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    auto row = JobView::make(HXMakeRect(0, 0, 400, JobView::rowHeight));
    EXPECT_EQ(row->elapsedText(), "");
    row->startElapsedTime();
    clock->advance(5.5);
    EXPECT_EQ(row->elapsedText(), "Elapsed time: 00:05");
    row->pauseElapsedTime();
    clock->advance(10);
    EXPECT_EQ(row->elapsedText(), "Elapsed time: 00:05");
    row->startElapsedTime();
    clock->advance(3);
    EXPECT_EQ(row->elapsedText(), "Elapsed time: 00:08");
    row->stopElapsedTime();
    row->startElapsedTime();
    clock->advance(1);
    EXPECT_EQ(row->elapsedText(), "Elapsed time: 00:01");
    row->stopElapsedTime();
    HXRunLoop::main().setClock(nullptr);
}

TEST(ProcessingRows, AnIndeterminateBarMovesWhileItShowsInAWindow)
{
    auto server = HXHeadlessWindowServer::install();
    auto clock = std::make_shared<HXManualClock>();
    HXRunLoop::main().setClock(clock);
    auto window = std::make_shared<HXWindow>(HXMakeRect(0, 0, 400, JobView::rowHeight), HXTitledWindowMask);
    auto row = JobView::make(HXMakeRect(0, 0, 400, JobView::rowHeight));
    row->setProgressHidden(false);
    EXPECT_FALSE(row->isAnimating()) << "not in a window";
    window->contentView()->addSubview(row);
    EXPECT_TRUE(row->isAnimating());
    clock->advance(1.0);
    EXPECT_GE(row->animationPhase(), 11);
    struct Step {
        const char* what;
        std::function<void()> change;
        bool animating;
    };
    const Step steps[] = {
        { "determinate", [&] { row->setIndeterminate(false); }, false },
        { "indeterminate again", [&] { row->setIndeterminate(true); }, true },
        { "hidden", [&] { row->setProgressHidden(true); }, false },
        { "shown", [&] { row->setProgressHidden(false); }, true },
        { "out of its window", [&] { row->removeFromSuperview(); }, false },
    };
    for (const auto& step : steps) {
        step.change();
        EXPECT_EQ(row->isAnimating(), step.animating) << step.what;
        const long phase = row->animationPhase();
        clock->advance(0.5);
        EXPECT_EQ(row->animationPhase() > phase, step.animating) << step.what;
    }
    HXRunLoop::main().setClock(nullptr);
    HXApplication::setSharedApplication(nullptr);
}

// A processing document over its own queue, in a headless application on the real clock (its jobs run
// real worker processes).
class ProcessingDocumentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        manager = std::make_unique<JobManager>(1, scriptedWorker);
        document = std::make_shared<ProcessingDocument>(*manager);
        document->makeWindowControllers();
    }
    void TearDown() override
    {
        HXAlert::setAlertDidAppearHandler(nullptr);
        document.reset();
        manager.reset();
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    // A job whose worker cannot be started: it fails at once and its row stays.
    std::shared_ptr<Job> addFailingJob(const std::string& title)
    {
        manager->setHelperPath("/nonexistent/MVPlayerHelper");
        auto job = document->addJobWithParams(HXPropertyList::Dictionary { { "description", title } });
        manager->setHelperPath(scriptedWorker);
        return job;
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::unique_ptr<JobManager> manager;
    std::shared_ptr<ProcessingDocument> document;
};

TEST_F(ProcessingDocumentTest, RowsStackNewestAtTheBottomAndTheWindowGrowsDownwards)
{
    auto first = addFailingJob("one");
    auto window = document->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    HXRect frame = window->frame();
    EXPECT_EQ(document->jobViewForJob(first)->frame(), HXMakeRect(0, 0, frame.size.width, 62));

    auto second = addFailingJob("two");
    auto third = addFailingJob("three");
    HXRect grown = window->frame();
    EXPECT_DOUBLE_EQ(grown.size.height, frame.size.height + 124);
    EXPECT_DOUBLE_EQ(grown.origin.y + grown.size.height, frame.origin.y + frame.size.height)
        << "top edge kept";
    EXPECT_DOUBLE_EQ(document->jobViewForJob(first)->frame().origin.y, 124);
    EXPECT_DOUBLE_EQ(document->jobViewForJob(second)->frame().origin.y, 62);
    EXPECT_DOUBLE_EQ(document->jobViewForJob(third)->frame().origin.y, 0);

    // The failed rows stay, with the failure and a button that removes them.
    auto row = document->jobViewForJob(second);
    EXPECT_EQ(second->state(), JobState::Errored);
    EXPECT_EQ(row->status().rfind("Failed: ", 0), 0u) << row->status();
    EXPECT_EQ(row->action(), HXSelector("jobRemoveAction:"));

    // Removing the middle row: the top one moves down, the window shrinks, the colours alternate again.
    auto secondRow = document->jobViewForJob(second);
    secondRow->fireAction();
    EXPECT_EQ(document->jobCount(), 2u);
    EXPECT_EQ(secondRow->superview(), nullptr);
    EXPECT_DOUBLE_EQ(window->frame().size.height, frame.size.height + 62);
    EXPECT_DOUBLE_EQ(document->jobViewForJob(first)->frame().origin.y, 62);
    EXPECT_DOUBLE_EQ(document->jobViewForJob(third)->frame().origin.y, 0);
    EXPECT_EQ(document->jobViewForJob(first)->backgroundColor(), HXColor::whiteColor());
    EXPECT_EQ(document->jobViewForJob(third)->backgroundColor(), ProcessingDocument::rowColor(1));
    EXPECT_TRUE(manager->jobs().size() == 2);

    document->jobViewForJob(first)->fireAction();
    document->jobViewForJob(third)->fireAction();
    EXPECT_TRUE(document->isClosed()) << "the last row's removal closes the document";
}

TEST_F(ProcessingDocumentTest, EstimateClockRestartsOnlyWhenProgressStartsOver)
{
    auto job = addFailingJob("progress");
    struct Step {
        HXPropertyList::Dictionary message;
        bool restarts;
    };
    const Step steps[] = {
        { { { "progress", 0.25 } }, true }, // the first progress
        { { { "progress", 0.5 } }, false },
        { { { "progress", 0.3 } }, true }, // went back
        { { { "progress", -1.0 } }, false }, // unknown: not a fraction
        { { { "progress", 0.4 } }, true }, // after an unknown amount
        { { { "progress", 1.5 } }, false },
        { { { "offset", 100 }, { "length", 1000 } }, true }, // first byte position
        { { { "offset", 200 }, { "length", 1000 } }, false },
        { { { "offset", 300 } }, false }, // no length: not a byte position
        { { { "status", "ExportState" } }, false },
    };
    auto& info = job->userInfo();
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        info["startTime"] = at(0);
        document->jobSentMessage(job, steps[i].message);
        EXPECT_EQ(info["startTime"].dateValue() != at(0), steps[i].restarts);
        // Progress and byte positions replace each other.
        if (steps[i].message.count("progress")) {
            EXPECT_FALSE(info.count("offset"));
            EXPECT_FALSE(info.count("length"));
        } else if (steps[i].message.count("length")) {
            EXPECT_FALSE(info.count("progress"));
        }
    }
}

TEST_F(ProcessingDocumentTest, SingleDocumentIsMadeOnFirstUseAndForgottenWhenClosed)
{
    EXPECT_EQ(ProcessingDocument::currentProcessingDocument(), nullptr);
    auto shared = ProcessingDocument::processingDocument();
    ASSERT_TRUE(shared);
    EXPECT_EQ(ProcessingDocument::processingDocument(), shared);
    EXPECT_EQ(ProcessingDocument::currentProcessingDocument(), shared);
    auto& documents = HXDocumentController::sharedDocumentController()->documents();
    EXPECT_NE(std::find(documents.begin(), documents.end(), shared), documents.end());
    EXPECT_EQ(shared->window()->title(), "Export Progress");
    shared->close();
    EXPECT_EQ(ProcessingDocument::currentProcessingDocument(), nullptr);
    auto fresh = ProcessingDocument::processingDocument();
    EXPECT_NE(fresh, shared);
    fresh->close();
}

TEST_F(ProcessingDocumentTest, RefusesParametersThatAreNoDictionary)
{
    EXPECT_EQ(document->addJobWithParams(HXPropertyList()), nullptr);
    EXPECT_EQ(document->addJobWithParams(HXPropertyList("not a job")), nullptr);
    EXPECT_EQ(document->jobCount(), 0u);
    EXPECT_TRUE(manager->jobs().empty());
}

TEST_F(ProcessingDocumentTest, EditedWhileJobsAreUnderWayAndStopButtonCancelsAPendingJob)
{
    auto running = document->addJobWithParams(scriptParams({ step("waitFor", "Cancel"), step("exit", 0) }));
    auto pending = document->addJobWithParams(scriptParams({ step("exit", 0) }));
    EXPECT_EQ(pending->state(), JobState::Pending);
    EXPECT_EQ(document->numRunningJobs(), 2);
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(document->jobViewForJob(pending)->status(), "Waiting to start");

    document->jobViewForJob(pending)->fireAction();
    EXPECT_EQ(pending->state(), JobState::Canceled);
    EXPECT_EQ(document->jobCount(), 1u) << "a canceled job's row goes";
    EXPECT_EQ(document->numRunningJobs(), 1);

    ASSERT_TRUE(runUntil([&] { return running->state() == JobState::Started; }));
    auto row = document->jobViewForJob(running);
    EXPECT_EQ(row->status(), "Started");
    EXPECT_TRUE(row->isElapsedTimeRunning());
    row->fireAction();
    ASSERT_TRUE(runUntil([&] { return isFinal(running); }));
    EXPECT_EQ(document->numRunningJobs(), 0);
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_TRUE(document->isClosed());
}

TEST_F(ProcessingDocumentTest, ProgressMessagesMoveTheBar)
{
    auto job = document->addJobWithParams(
        scriptParams({ send({ { "status", "ExportState" }, { "progress", 0.25 } }), step("waitFor", "Cancel"),
            step("exit", 0) }));
    auto row = document->jobViewForJob(job);
    ASSERT_TRUE(runUntil([&] { return row->status().rfind("Exporting", 0) == 0; }));
    EXPECT_FALSE(row->isProgressHidden());
    EXPECT_FALSE(row->isIndeterminate());
    EXPECT_DOUBLE_EQ(row->progress(), 0.25);
    EXPECT_TRUE(job->userInfo().count("startTime"));
    manager->killAllJobs();
}

TEST_F(ProcessingDocumentTest, CloseGuardAsksAndStoppingEndsTheJobsAndTheirFiles)
{
    TempDir temp;
    auto partial = temp / "export.partial";
    auto running = document->addJobWithParams(scriptParams({ step("writeFile", partial.string()),
        send({ { "registerFile", partial.string() } }), step("sleep", 30.0) }));
    auto pending = document->addJobWithParams(scriptParams({ step("exit", 0) }));
    ASSERT_TRUE(runUntil([&] { return running->registeredFiles().size() == 1; }));

    struct Case {
        const char* button;
        bool closes;
    };
    for (const Case& c : { Case { "Don't Quit", false }, Case { "Quit", true } }) {
        HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
            for (auto& button : alert.buttons()) {
                if (button->title() == c.button) {
                    HXRect r = button->convertRectToView(button->bounds(), nullptr);
                    HXHeadlessWindowServer::postClick(alert.window(), { HXMidX(r), HXMidY(r) });
                    return;
                }
            }
            ADD_FAILURE() << "no button " << c.button;
        });
        std::optional<bool> answer;
        document->canCloseDocument([&](bool shouldClose) { answer = shouldClose; });
        ASSERT_TRUE(runUntil(
            [&] {
                app->processPendingEvents();
                return answer.has_value();
            },
            5));
        EXPECT_EQ(*answer, c.closes);
        if (!c.closes) {
            EXPECT_EQ(pending->state(), JobState::Pending) << "the queue is left as it was";
            EXPECT_EQ(running->state(), JobState::Started);
        }
    }
    EXPECT_EQ(running->state(), JobState::Canceled);
    EXPECT_EQ(pending->state(), JobState::Canceled);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_EQ(manager->runningJobs(), 0);
}

} // namespace
