#include "export/processing_document.h"

#include "export/job_manager.h"
#include "export/job_view.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/strings.h"
#include "platform/mvkit/error_strings.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/application.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <algorithm>
#include <cmath>

namespace {

std::shared_ptr<ProcessingDocument>& singleton()
{
    static std::shared_ptr<ProcessingDocument> document;
    return document;
}

// The localized text for `key`; `fallback` when the strings table has none.
std::string text(const std::string& key, const std::string& fallback)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, fallback);
}

const HXPropertyList* find(const HXPropertyList::Dictionary& d, const std::string& key)
{
    auto it = d.find(key);
    return it == d.end() ? nullptr : &it->second;
}

constexpr double kRowHeight = JobView::rowHeight;
constexpr double kWindowWidth = 420;

// The row's status words and what each one shows.
struct StatusRow {
    const char* status;
    const char* key; // localized status text ("" for none)
    const char* fallback;
    const char* action; // nullptr: unchanged
    double progress; // NAN: unchanged
};

const StatusRow kStatusRows[] = {
    { "new", "", "", "jobStopAction:", -1.0 },
    { "pending", "mvpPending", "Waiting to start", "jobStopAction:", 2.0 },
    { "starting", "mvpStarting", "Starting", "jobStopAction:", -1.0 },
    { "started", "mvpStarted", "Started", "jobStopAction:", -1.0 },
    { "errored", "", "", "jobRemoveAction:", 2.0 },
    { "waiting", "mvpWaiting", "Waiting", "jobStopAction:", 2.0 },
    { "continuing", "mvpContinuing", "Continuing", "jobStopAction:", 2.0 },
    { "ExportState", "mvpExporting", "Exporting", nullptr, NAN },
    { "PublishState", "mvpPublishing", "Publishing", nullptr, NAN },
    { "DSWaitingForDeviceState", "mvpDeviceSupportWaitingForDevice", "Waiting for the device", nullptr, NAN },
    { "DSNegotiatingState", "mvpDeviceSupportNegotiating", "Negotiating with the device", nullptr, NAN },
    { "DSTransferringFileState", "mvpDeviceSupportTransferringFile", "Transferring the file", nullptr, NAN },
    { "DAVQuillonUploadingState", "mvpUploadingToCastworks", "Uploading", nullptr, NAN },
};

} // namespace

// ---- the single document --------------------------------------------------------------------------------

std::shared_ptr<ProcessingDocument> ProcessingDocument::processingDocument()
{
    auto& document = singleton();
    if (!document) {
        document = std::make_shared<ProcessingDocument>(JobManager::sharedJobManager());
        HXDocumentController::sharedDocumentController()->addDocument(document);
        document->makeWindowControllers();
        document->showWindows();
    }
    return document;
}

std::shared_ptr<ProcessingDocument> ProcessingDocument::currentProcessingDocument()
{
    return singleton();
}

ProcessingDocument::ProcessingDocument(JobManager& manager)
    : _manager(manager)
{
    setActionHandler("jobStopAction:", [this](HXObject* sender) { jobStopAction(sender); });
    setActionHandler("jobRemoveAction:", [this](HXObject* sender) { jobRemoveAction(sender); });
}

ProcessingDocument::~ProcessingDocument() = default;

std::string ProcessingDocument::displayName() const
{
    return text("mvpExportWindowTitle", "Export Progress");
}

HXColor ProcessingDocument::rowColor(size_t index)
{
    return index % 2 == 0 ? HXColor::whiteColor()
                          : HXColor::colorWithCalibratedRed(0.9294, 0.9294, 0.9294, 1.0);
}

void ProcessingDocument::buildWindow()
{
    if (_procWindow)
        return;
    _procWindow = std::make_shared<HXWindow>(HXMakeRect(200, 500, kWindowWidth, kRowHeight),
        HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask);
    _procWindow->setTitle(displayName());
    _procWindow->setReleasedWhenClosed(false);
}

void ProcessingDocument::makeWindowControllers()
{
    buildWindow();
    auto controller = std::make_shared<HXWindowController>(_procWindow);
    controller->setShouldCloseDocument(true);
    addWindowController(controller);
}

// ---- rows -----------------------------------------------------------------------------------------------

std::shared_ptr<JobView> ProcessingDocument::jobViewForJob(const std::shared_ptr<Job>& job) const
{
    auto it = std::find(_jobs.begin(), _jobs.end(), job);
    return it == _jobs.end() ? nullptr : _jobViews[size_t(it - _jobs.begin())];
}

std::shared_ptr<Job> ProcessingDocument::addJobWithParams(const HXPropertyList& params)
{
    if (!params.isDictionary()) {
        HXLog("A job was not queued: its parameters are not a dictionary.");
        return nullptr;
    }
    auto self = std::static_pointer_cast<ProcessingDocument>(shared_from_this());
    auto job = _manager.newJobWithParams(params.dictionaryValue(), std::weak_ptr<JobDelegate>(self));
    auto& info = job->userInfo();
    info["stage"] = params["description"].stringValue();
    info["status"] = "new";
    info["progress"] = -1.0;
    _jobs.push_back(job);

    buildWindow();
    auto row = JobView::make(HXMakeRect(0, 0, _procWindow->frame().size.width, kRowHeight));
    row->setJob(job);
    row->setTitle(info["stage"].stringValue());
    row->setProgress(0);
    row->setIndeterminate(true);
    row->setProgressHidden(false);
    row->setTarget(self);
    row->setAction("jobStopAction:");
    row->setBackgroundColor(rowColor(_jobs.size() - 1));
    _jobViews.push_back(row);
    _procWindow->contentView()->addSubview(row);

    if (_jobs.size() == 1) {
        _procWindow->orderFront();
    } else {
        moveJobViewsBelowIndex(_jobs.size() - 1, kRowHeight);
        HXRect frame = _procWindow->frame();
        frame.size.height += kRowHeight;
        frame.origin.y -= kRowHeight;
        _procWindow->setFrame(frame, true);
    }
    _manager.startJob(job, false);
    return job;
}

void ProcessingDocument::removeJob(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    auto it = std::find(_jobs.begin(), _jobs.end(), job);
    if (it == _jobs.end()) {
        _manager.removeJob(job);
        return;
    }
    size_t index = size_t(it - _jobs.begin());
    auto row = _jobViews[index];
    // The row goes first, so that what the queue says while the job is removed finds no row.
    if (_jobs.size() > 1 && _procWindow) {
        HXRect frame = _procWindow->frame();
        frame.size.height -= kRowHeight;
        frame.origin.y += kRowHeight;
        _procWindow->setFrame(frame, true);
    }
    moveJobViewsBelowIndex(index, -kRowHeight);
    row->stopElapsedTime();
    row->removeFromSuperview();
    _jobViews.erase(_jobViews.begin() + long(index));
    _jobs.erase(_jobs.begin() + long(index));
    if (job->state() != JobState::New && !JobStateIsFinal(job->state()))
        decrementNumRunningJobs(); // it was counted from its pending notification on
    recolorJobRows();
    _manager.removeJob(job);
    if (_jobs.empty())
        close();
}

void ProcessingDocument::cancelJob(const std::shared_ptr<Job>& job)
{
    _manager.cancelJob(job);
}

void ProcessingDocument::recolorJobRows()
{
    for (size_t i = 0; i < _jobViews.size(); ++i)
        _jobViews[i]->setBackgroundColor(rowColor(i));
}

void ProcessingDocument::moveJobViewsBelowIndex(size_t index, double yDelta)
{
    for (size_t i = 0; i < index && i < _jobViews.size(); ++i) {
        HXRect frame = _jobViews[i]->frame();
        frame.origin.y += yDelta;
        _jobViews[i]->setFrame(frame);
        _jobViews[i]->setNeedsDisplay(true);
    }
}

void ProcessingDocument::jobStopAction(HXObject* sender)
{
    if (auto row = dynamic_cast<JobView*>(sender))
        cancelJob(row->job());
}

void ProcessingDocument::jobRemoveAction(HXObject* sender)
{
    if (auto row = dynamic_cast<JobView*>(sender)) {
        if (auto job = row->job())
            removeJob(job);
    }
}

void ProcessingDocument::incrementNumRunningJobs()
{
    if (_numRunningJobs++ == 0)
        updateChangeCount(HXChangeDone);
}

void ProcessingDocument::decrementNumRunningJobs()
{
    if (_numRunningJobs > 0 && --_numRunningJobs == 0)
        updateChangeCount(HXChangeCleared);
}

// ---- closing --------------------------------------------------------------------------------------------

void ProcessingDocument::canCloseDocument(std::function<void(bool shouldClose)> completion)
{
    if (_numRunningJobs == 0) {
        completion(true);
        return;
    }
    auto alert
        = HXAlert::alertWithMessageText(text("mvpExportStopAndQuit", "Stop the jobs in progress and quit?"),
            text("quit", "Quit"), text("dontQuit", "Don't Quit"), {}, {});
    std::weak_ptr<ProcessingDocument> weak = std::static_pointer_cast<ProcessingDocument>(shared_from_this());
    alert->beginSheetModalForWindow(_procWindow, [weak, completion](long returnCode) {
        auto self = weak.lock();
        if (returnCode != HXAlertDefaultReturn || !self) {
            completion(false);
            return;
        }
        self->stopAndClose(completion);
    });
}

void ProcessingDocument::stopAndClose(std::function<void(bool)> completion)
{
    // Workers left running would lose their connection and leave their temporary files behind: end them
    // now, which deletes what they registered.
    auto keep = std::static_pointer_cast<ProcessingDocument>(shared_from_this());
    auto jobs = _jobs;
    for (const auto& job : jobs) {
        if (job->state() == JobState::Pending)
            _manager.cancelJob(job);
        else
            _manager.killJob(job);
    }
    completion(true);
}

void ProcessingDocument::close()
{
    if (isClosed())
        return;
    auto keep = std::static_pointer_cast<ProcessingDocument>(shared_from_this());
    for (const auto& row : _jobViews)
        row->stopElapsedTime();
    HXDocument::close();
    if (singleton().get() == this)
        singleton().reset();
}

// ---- the queue's notifications --------------------------------------------------------------------------

void ProcessingDocument::jobPending(const std::shared_ptr<Job>& job)
{
    if (!jobViewForJob(job))
        return;
    job->userInfo()["status"] = "pending";
    job->userInfo()["progress"] = -1.0;
    updateJob(job);
    incrementNumRunningJobs();
}

void ProcessingDocument::jobStarting(const std::shared_ptr<Job>& job)
{
    if (!jobViewForJob(job))
        return;
    job->userInfo()["status"] = "starting";
    job->userInfo()["progress"] = -1.0;
    updateJob(job);
}

void ProcessingDocument::jobStarted(const std::shared_ptr<Job>& job)
{
    auto row = jobViewForJob(job);
    if (!row)
        return;
    job->userInfo()["status"] = "started";
    updateJob(job);
    row->startElapsedTime();
}

void ProcessingDocument::jobBlocked(const std::shared_ptr<Job>& job, const std::string&)
{
    auto row = jobViewForJob(job);
    if (!row)
        return;
    row->pauseElapsedTime();
    job->userInfo()["status"] = "waiting";
    job->userInfo()["progress"] = 0.0;
    updateJob(job);
}

void ProcessingDocument::jobUnblocked(const std::shared_ptr<Job>& job, const std::string&)
{
    auto row = jobViewForJob(job);
    if (!row)
        return;
    job->userInfo()["status"] = "continuing";
    updateJob(job);
    row->startElapsedTime();
}

void ProcessingDocument::jobComplete(const std::shared_ptr<Job>& job)
{
    if (!jobViewForJob(job))
        return;
    decrementNumRunningJobs();
    removeJob(job);
}

void ProcessingDocument::jobCanceled(const std::shared_ptr<Job>& job)
{
    auto row = jobViewForJob(job);
    if (!row)
        return;
    row->stopElapsedTime();
    decrementNumRunningJobs();
    removeJob(job);
}

void ProcessingDocument::jobErrored(const std::shared_ptr<Job>& job)
{
    auto row = jobViewForJob(job);
    if (!row)
        return;
    row->stopElapsedTime();
    decrementNumRunningJobs();
    job->userInfo()["status"] = "errored";
    updateJob(job);
}

void ProcessingDocument::jobSentMessage(const std::shared_ptr<Job>& job, const HXPropertyList& message)
{
    if (!jobViewForJob(job) || !message.isDictionary())
        return;
    auto& info = job->userInfo();
    bool changed = false;
    if (message.contains("status")) {
        info["status"] = message["status"];
        changed = true;
    }
    if (message.contains("progress")) {
        double p = message["progress"].realValue();
        HXDate now = HXDate::now();
        if (message["progress"].isNumber() && p >= 0 && p <= 1) {
            const HXPropertyList* earlier = find(info, "progress");
            if (!find(info, "startTime") || !earlier || earlier->realValue() < 0 || earlier->realValue() > p)
                info["startTime"] = now;
        }
        info["progress"] = p;
        info.erase("offset");
        info.erase("length");
        info["updateTime"] = now;
        updateJob(job);
    } else if (message.contains("offset") && message.contains("length")) {
        int64_t offset = message["offset"].integerValue();
        const HXPropertyList* earlier = find(info, "offset");
        if (offset >= 0 && (!earlier || earlier->integerValue() < 0))
            info["startTime"] = HXDate::now();
        info["offset"] = message["offset"];
        info["length"] = message["length"];
        info.erase("progress");
        info["updateTime"] = HXDate::now();
        changed = true;
    }
    if (message.contains("operation"))
        info["operation"] = message["operation"];
    if (changed)
        updateJob(job);
}

// ---- what a row shows -----------------------------------------------------------------------------------

void ProcessingDocument::updateJob(const std::shared_ptr<Job>& job)
{
    auto row = jobViewForJob(job);
    if (!row)
        return;
    RowPresentation shown = rowPresentationForJob(*job);
    if (shown.action)
        row->setAction(shown.action);
    row->setProgressHidden(shown.progressHidden);
    if (!shown.progressHidden) {
        row->setIndeterminate(shown.indeterminate);
        if (!shown.indeterminate)
            row->setProgress(shown.progress);
    }
    row->setStatus(shown.statusText + shown.timeText);
}

ProcessingDocument::RowPresentation ProcessingDocument::rowPresentationForJob(Job& job)
{
    auto& info = job.userInfo();
    RowPresentation shown;
    std::string status = info["status"].stringValue();
    const HXPropertyList* progress = find(info, "progress");
    double p = progress ? progress->realValue() : 0;
    shown.statusText = info["statusText"].stringValue();

    for (const auto& row : kStatusRows) {
        if (status != row.status)
            continue;
        if (status == "errored")
            shown.statusText = failureText(job);
        else
            shown.statusText = *row.key ? text(row.key, row.fallback) : std::string();
        if (row.action)
            shown.action = HXSelector(row.action);
        if (!std::isnan(row.progress))
            p = row.progress;
        break;
    }
    info["statusText"] = shown.statusText;

    const HXPropertyList* offset = find(info, "offset");
    const HXPropertyList* length = find(info, "length");
    if (offset && length) {
        // Counted in kilobytes as single-precision numbers; a total of nothing says nothing about progress.
        float total = float(length->realValue()) / 1024.0f;
        p = total > 0 ? double((float(offset->realValue()) / 1024.0f) / total) : -1.0;
    }
    if (std::isnan(p))
        p = -1.0;

    if (p < 0) {
        shown.indeterminate = true;
        shown.progressHidden = false;
    } else if (p > 1) {
        shown.progressHidden = true;
    } else {
        shown.indeterminate = false;
        shown.progressHidden = false;
        shown.progress = p;
        const HXPropertyList* operation = find(info, "operation");
        const HXPropertyList* noEstimate = find(info, "noTimeEstimate");
        if ((operation && operation->integerValue() == 13)
            || (noEstimate && noEstimate->stringValue() == status)) {
            info["noTimeEstimate"] = status;
        } else {
            const HXPropertyList* start = find(info, "startTime");
            const HXPropertyList* update = find(info, "updateTime");
            double elapsed = start && update
                ? update->dateValue().secondsSinceReferenceDate - start->dateValue().secondsSinceReferenceDate
                : 0;
            shown.timeText = timeEstimateText(elapsed, p);
        }
    }
    return shown;
}

std::string ProcessingDocument::timeEstimateText(double elapsed, double p)
{
    if (p <= 0)
        return {};
    if (elapsed <= 2.0)
        return text("mvpCalculatingEstimatedTime", " \u2014 estimating the time left");
    double raw = elapsed * (1 - p) / p / 60;
    int64_t minutes = std::max<int64_t>(1, int64_t(std::min(raw, 1e12)));
    if (minutes == 1)
        return HXString::format(
            text("mvpOneMinuteRemains", " \u2014 about %d minute left"), std::vector<HXPropertyList> { 1 });
    if (minutes > 60)
        return HXString::format(text("mvpHoursMinutesRemain", " \u2014 about %d h %d min left"),
            std::vector<HXPropertyList> { minutes / 60, minutes % 60 });
    return HXString::format(
        text("mvpMinutesRemains", " \u2014 about %d minutes left"), std::vector<HXPropertyList> { minutes });
}

std::string ProcessingDocument::failureText(const Job& job)
{
    int64_t e = job.errorCode();
    int x = job.exitCode();
    int s = job.termSig();
    std::optional<std::string> m;
    if (job.hasErrorMessage())
        m = job.errorMessage();
    else if (e != 0)
        m = MVLocalizedStringFromErrorCode(e).value_or(text("mvKitErrorCatchAll", "An error occurred."));
    std::string failed = text("mvpFailed", "Failed");
    using Args = std::vector<HXPropertyList>;
    if (m)
        return HXString::format("%@: %@ (%d)", Args { failed, *m, e });
    if (e != 0)
        return HXString::format("%@ (%d)", Args { failed, e });
    if (x != 0)
        return HXString::format("%@ <%d>", Args { text("mvpFailedExitCode", "Failed with exit status"), x });
    if (s != 0)
        return HXString::format("%@ {%d}", Args { text("mvpFailedSignal", "Failed with signal"), s });
    return failed;
}
