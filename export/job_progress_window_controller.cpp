#include "export/job_progress_window_controller.h"

#include "export/job_manager.h"
#include "export/job_view.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

#include <utility>

std::shared_ptr<JobProgressWindowController>
JobProgressWindowController::jobProgressWindowControllerWithParams(const HXPropertyList::Dictionary& params)
{
    return jobProgressWindowControllerWithParams(params, JobManager::sharedJobManager());
}

std::shared_ptr<JobProgressWindowController>
JobProgressWindowController::jobProgressWindowControllerWithParams(
    const HXPropertyList::Dictionary& params, JobManager& manager)
{
    auto controller = std::make_shared<JobProgressWindowController>(manager);
    controller->load(params);
    return controller;
}

JobProgressWindowController::JobProgressWindowController(JobManager& manager)
    : _manager(manager)
{
    setActionHandler("cancel:", [this](HXObject* sender) { cancel(sender); });
}

JobProgressWindowController::~JobProgressWindowController()
{
    if (_job)
        _manager.removeJob(_job);
}

void JobProgressWindowController::load(const HXPropertyList::Dictionary& params)
{
    // The sheet: one job row whose stop button cancels.
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 360, JobView::rowHeight), HXTitledWindowMask);
    _progressIndicator = JobView::make(HXMakeRect(0, 0, 360, JobView::rowHeight));
    auto description = params.find("description");
    _progressIndicator->setTitle(
        description != params.end() ? description->second.stringValue() : std::string());
    _progressIndicator->setTarget(shared_from_this());
    _progressIndicator->setAction("cancel:");
    _progressIndicator->setProgressHidden(false);
    _progressIndicator->setIndeterminate(true);
    sheet->contentView()->addSubview(_progressIndicator);
    setWindow(sheet);

    auto self = std::static_pointer_cast<JobProgressWindowController>(shared_from_this());
    _job = _manager.newJobWithParams(params, std::weak_ptr<JobDelegate>(self));
}

void JobProgressWindowController::start()
{
    _manager.startJob(_job, true);
}

void JobProgressWindowController::cancel(HXObject*)
{
    _manager.cancelJob(_job);
}

void JobProgressWindowController::endSheet(long returnCode)
{
    if (_returnCode)
        return;
    _returnCode = returnCode;
    _progressIndicator->stopElapsedTime();
    auto sheet = window();
    if (sheet && sheet->isSheet()) {
        if (auto app = HXApplication::sharedApplication())
            app->endSheet(sheet, returnCode);
    } else if (sheet) {
        sheet->orderOut();
    }
    if (auto ended = std::exchange(onEnd, nullptr))
        ended(returnCode);
}

void JobProgressWindowController::jobPending(const std::shared_ptr<Job>&)
{
}
void JobProgressWindowController::jobStarting(const std::shared_ptr<Job>&)
{
}
void JobProgressWindowController::jobUnblocked(const std::shared_ptr<Job>&, const std::string&)
{
}

void JobProgressWindowController::jobStarted(const std::shared_ptr<Job>&)
{
    _progressIndicator->startElapsedTime();
}

void JobProgressWindowController::jobBlocked(const std::shared_ptr<Job>& job, const std::string&)
{
    // The user waits on this sheet: the job goes ahead of the other waiters.
    _manager.blessJob(job);
}

void JobProgressWindowController::jobSentMessage(const std::shared_ptr<Job>&, const HXPropertyList& message)
{
    if (!message.contains("progress"))
        return;
    double p = message["progress"].realValue();
    _progressIndicator->setIndeterminate(p < 0);
    _progressIndicator->setProgress(p);
}

void JobProgressWindowController::jobComplete(const std::shared_ptr<Job>&)
{
    endSheet(0);
}

void JobProgressWindowController::jobCanceled(const std::shared_ptr<Job>&)
{
    endSheet(1);
}

void JobProgressWindowController::jobErrored(const std::shared_ptr<Job>& job)
{
    endSheet(job->errorCode() < 0 ? long(job->errorCode()) : -1);
}
