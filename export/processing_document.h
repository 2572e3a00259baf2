#pragma once
// ProcessingDocument: the processing window, one row (JobView) per background job, newest at the bottom.
// At most one exists; it is made when the first job is queued and closes when its last row goes. While
// some shown job is under way the document counts as edited, so closing or quitting asks first — and
// stopping there ends the jobs and deletes the files their workers registered.
//
// The rows' texts come from keys the document keeps in each job's user info: "stage" (the title),
// "status", "statusText", "progress", "offset", "length", "startTime", "updateTime", "operation" and
// "noTimeEstimate".
#include "export/job.h"
#include "platform/drawing/color.h"
#include "platform/winkit/document.h"
#include "platform/winkit/selector.h"

#include <memory>
#include <string>
#include <vector>

class JobManager;
class JobView;
class HXWindow;

class ProcessingDocument : public HXDocument, public JobDelegate {
public:
    // The single document, made, added to the document controller and shown on first use.
    static std::shared_ptr<ProcessingDocument> processingDocument();
    // The document if it exists; never makes one.
    static std::shared_ptr<ProcessingDocument> currentProcessingDocument();

    // A document over `manager` (the shared queue for the single document).
    explicit ProcessingDocument(JobManager& manager);
    ~ProcessingDocument() override;

    // Queues a job with a row; a value that is no dictionary (an unreadable export-session file) is
    // refused with a log line and no row. The job starts when a run slot is free.
    std::shared_ptr<Job> addJobWithParams(const HXPropertyList& params);
    // Cancels and forgets the job and takes its row away.
    void removeJob(const std::shared_ptr<Job>& job);
    void cancelJob(const std::shared_ptr<Job>& job);
    // Redraws the job's row from the job.
    void updateJob(const std::shared_ptr<Job>& job);
    void recolorJobRows();
    // Moves the rows of the jobs before `index` (drawn above it) by `yDelta` points.
    void moveJobViewsBelowIndex(size_t index, double yDelta);

    size_t jobCount() const { return _jobs.size(); }
    std::shared_ptr<Job> jobAtIndex(size_t index) const
    {
        return index < _jobs.size() ? _jobs[index] : nullptr;
    }
    std::shared_ptr<JobView> jobViewForJob(const std::shared_ptr<Job>& job) const;
    std::shared_ptr<HXWindow> window() const { return _procWindow; }
    int numRunningJobs() const { return _numRunningJobs; }
    void incrementNumRunningJobs();
    void decrementNumRunningJobs();

    // Row actions (sender: the row).
    void jobStopAction(HXObject* sender);
    void jobRemoveAction(HXObject* sender);

    // The document.
    std::string displayName() const override;
    std::string windowNibName() const override { return "ProcessingWindow"; }
    void makeWindowControllers() override;
    void canCloseDocument(std::function<void(bool shouldClose)> completion) override;
    void close() override;

    // The queue's notifications.
    void jobPending(const std::shared_ptr<Job>& job) override;
    void jobStarting(const std::shared_ptr<Job>& job) override;
    void jobStarted(const std::shared_ptr<Job>& job) override;
    void jobBlocked(const std::shared_ptr<Job>& job, const std::string& resource) override;
    void jobUnblocked(const std::shared_ptr<Job>& job, const std::string& resource) override;
    void jobSentMessage(const std::shared_ptr<Job>& job, const HXPropertyList& message) override;
    void jobComplete(const std::shared_ptr<Job>& job) override;
    void jobErrored(const std::shared_ptr<Job>& job) override;
    void jobCanceled(const std::shared_ptr<Job>& job) override;

    // What a row shows for a job, as updateJob works it out (it also notes "statusText" and
    // "noTimeEstimate" in the job).
    struct RowPresentation {
        std::string statusText; // without the time estimate
        std::string timeText; // "" when there is no estimate
        HXSelector action;
        bool progressHidden = false;
        bool indeterminate = true;
        double progress = 0;
    };
    static RowPresentation rowPresentationForJob(Job& job);
    // The status line of a job that failed, from its error code and message, exit code or signal.
    static std::string failureText(const Job& job);
    // The estimate of the time left after `elapsed` seconds at fraction `p` (0 < p <= 1).
    static std::string timeEstimateText(double elapsed, double p);

    static HXColor rowColor(size_t index);

private:
    void buildWindow();
    void stopAndClose(std::function<void(bool)> completion);

    JobManager& _manager;
    std::shared_ptr<HXWindow> _procWindow;
    std::vector<std::shared_ptr<Job>> _jobs;
    std::vector<std::shared_ptr<JobView>> _jobViews; // parallel to _jobs
    int _numRunningJobs = 0;
};
