// The one-job progress sheet: its job runs beyond the queue's limit, goes ahead of other waiters for a
// resource, and the sheet's return code tells how the job ended.
#include "job_test_support.h"

#include "export/job_progress_window_controller.h"
#include "export/job_view.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"

#include <gtest/gtest.h>

using namespace movara::test::jobs;

namespace {

class JobProgressSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        manager = std::make_unique<JobManager>(1, scriptedWorker);
    }
    void TearDown() override
    {
        manager.reset();
        HXDocumentController::setSharedDocumentController(nullptr);
        HXApplication::setSharedApplication(nullptr);
    }

    std::shared_ptr<HXHeadlessWindowServer> server;
    std::shared_ptr<HXApplication> app;
    std::unique_ptr<JobManager> manager;
};

TEST_F(JobProgressSheetTest, ReturnCodeTellsHowTheJobEnded)
{
    struct Case {
        const char* name;
        Steps steps;
        bool cancel;
        long returnCode;
    };
    const Case cases[] = {
        { "complete", { step("exit", 0) }, false, 0 },
        { "canceled", { step("waitFor", "Cancel"), step("exit", 0) }, true, 1 },
        { "exit status 3", { step("exit", 3) }, false, -1 },
        { "error code 5", { send({ { "errorCode", 5 } }), step("exit", 0) }, false, -1 },
        { "error code -36", { send({ { "errorCode", -36 } }), step("exit", 1) }, false, -36 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto sheet = JobProgressWindowController::jobProgressWindowControllerWithParams(
            scriptParams(c.steps), *manager);
        sheet->start();
        if (c.cancel) {
            ASSERT_TRUE(runUntil([&] { return sheet->job()->state() == JobState::Started; }));
            sheet->progressView()->fireAction(); // the sheet's Cancel
        }
        ASSERT_TRUE(runUntil([&] { return sheet->returnCode().has_value(); }));
        EXPECT_EQ(*sheet->returnCode(), c.returnCode);
        auto job = sheet->job();
        sheet.reset();
        EXPECT_TRUE(std::find(manager->jobs().begin(), manager->jobs().end(), job) == manager->jobs().end())
            << "the controller takes its job out of the queue";
    }
}

TEST_F(JobProgressSheetTest, RunsBeyondTheLimitAndAheadOfOtherWaiters)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto holder = manager->newJobWithParams(
        scriptParams({ send({ { "requestResource", "ZantrelScript" } }), step("waitFor", "Result"),
            step("waitFor", "Result"), step("exit", 0) }),
        delegate);
    manager->startJob(holder, false);
    ASSERT_TRUE(runUntil([&] { return manager->resourceAllocation("ZantrelScript").size() == 1; }));
    auto waiter = manager->newJobWithParams(scriptParams({ send({ { "requestResource", "ZantrelScript" } }),
                                                step("waitFor", "Result"), step("exit", 0) }),
        delegate);
    manager->startJob(waiter, true);
    ASSERT_TRUE(runUntil([&] { return !waiter->blockingResource().empty(); }));

    auto sheet = JobProgressWindowController::jobProgressWindowControllerWithParams(
        scriptParams({ send({ { "requestResource", "ZantrelScript" }, { "progress", 0.5 } }),
            step("waitFor", "Result"), step("exit", 0) }),
        *manager);
    sheet->start();
    EXPECT_NE(sheet->job()->state(), JobState::Pending) << "forced past the limit of one job";
    ASSERT_TRUE(runUntil([&] { return manager->resourceQueue("ZantrelScript").size() == 2; }));
    EXPECT_EQ(manager->resourceQueue("ZantrelScript").front(), sheet->job());
    EXPECT_EQ(manager->resourceAllocation("ZantrelScript").size(), 1u) << "never two holders";
    EXPECT_DOUBLE_EQ(sheet->progressView()->progress(), 0.5);
    // The holder lets go (a second "Result" tells the scripted worker to go on).
    manager->sendDictionary(HXPropertyList::Dictionary { { "Result", true } }, holder);

    ASSERT_TRUE(
        runUntil([&] { return sheet->returnCode().has_value() && isFinal(waiter) && isFinal(holder); }));
    EXPECT_EQ(*sheet->returnCode(), 0);
    EXPECT_EQ(waiter->state(), JobState::Complete);
}

} // namespace
