#pragma once
// JobProgressWindowController: runs one job under a progress sheet, outside the queue's limit on concurrent
// jobs (the movie document's background save). The sheet ends with return code 0 when the job completed,
// 1 when it was canceled, and the job's error code when that is negative (else -1) when it failed.
#include "export/job.h"
#include "platform/winkit/window_controller.h"

#include <functional>
#include <memory>
#include <optional>

class JobManager;
class JobView;

class JobProgressWindowController : public HXWindowController, public JobDelegate {
public:
    // A controller with its job made (on the shared queue unless another is given) and its sheet loaded.
    static std::shared_ptr<JobProgressWindowController> jobProgressWindowControllerWithParams(
        const HXPropertyList::Dictionary& params);
    static std::shared_ptr<JobProgressWindowController> jobProgressWindowControllerWithParams(
        const HXPropertyList::Dictionary& params, JobManager& manager);

    explicit JobProgressWindowController(JobManager& manager); // use the functions above
    // Takes its job out of the queue.
    ~JobProgressWindowController() override;

    // Starts the job at once.
    void start();
    // The sheet's Cancel button.
    void cancel(HXObject* sender = nullptr);

    std::shared_ptr<Job> job() const { return _job; }
    std::shared_ptr<JobView> progressView() const { return _progressIndicator; }
    // The code the sheet ended with (nullopt while the job runs).
    std::optional<long> returnCode() const { return _returnCode; }
    // Told once, with that code, when the job has ended: also when its sheet was never shown (the job
    // failed as it started, or the window it was meant for already had a sheet).
    std::function<void(long returnCode)> onEnd;

    void jobPending(const std::shared_ptr<Job>& job) override;
    void jobStarting(const std::shared_ptr<Job>& job) override;
    void jobStarted(const std::shared_ptr<Job>& job) override;
    void jobBlocked(const std::shared_ptr<Job>& job, const std::string& resource) override;
    void jobUnblocked(const std::shared_ptr<Job>& job, const std::string& resource) override;
    void jobSentMessage(const std::shared_ptr<Job>& job, const HXPropertyList& message) override;
    void jobComplete(const std::shared_ptr<Job>& job) override;
    void jobErrored(const std::shared_ptr<Job>& job) override;
    void jobCanceled(const std::shared_ptr<Job>& job) override;

private:
    void load(const HXPropertyList::Dictionary& params);
    void endSheet(long returnCode);

    JobManager& _manager;
    std::shared_ptr<JobView> _progressIndicator;
    std::shared_ptr<Job> _job;
    std::optional<long> _returnCode;
};
