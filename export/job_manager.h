#pragma once
// JobManager: the queue of background jobs. Each job runs in its own worker process (MVPlayerHelper) that
// talks to the player over a loopback TCP connection in framed XML property lists (HXMessageFraming).
//
// Starting a job: the queue listens on 127.0.0.1 (a port the system picks), launches the worker with that
// port as its one argument and hands it a secret through an inherited pipe whose descriptor number is in the
// environment variable "MVPLAYERHELPER_SECRET_FD". The worker's first frame must be {"MVHelperSecret":
// secret}; only then does it get the job's parameters. Connections that do not prove themselves are closed.
//
// Nothing here blocks: accepting, reading frames and reaping workers are run-loop sources, and a repeating
// one-second timer (present while jobs run) ends workers that never connect, ignore a cancel, or close
// their connection but keep running. A job that fails in any of these ways ends "errored".
//
// Resources are named slots that workers ask for ("CPU", "Network", "ZantrelScript", "Bluetooth"); a
// single-slot resource is never held by two jobs at once.
#include "export/job.h"

#include "platform/basekit/property_list.h"
#include "platform/basekit/run_loop.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class HXTimer;
class HXError;

// Environment variable naming the descriptor from which a worker reads its secret.
inline constexpr const char* MVPlayerHelperSecretFDEnvironmentKey = "MVPLAYERHELPER_SECRET_FD";
// Key of the worker's first frame.
inline constexpr const char* MVPlayerHelperSecretKey = "MVHelperSecret";

class JobManager {
public:
    static JobManager& sharedJobManager();

    // A queue with the given limit of concurrent jobs and worker program.
    JobManager(int maxConcurrentJobs, std::string helperPath);
    // Kills the workers of jobs still running.
    ~JobManager();
    JobManager(const JobManager&) = delete;
    JobManager& operator=(const JobManager&) = delete;

    // The limit from "MAXCONCURRENTJOBS": leading decimal digits (none: 0), at least 1; unset: no limit.
    static int maxConcurrentJobsFromEnvironment();
    static int maxConcurrentJobsFromString(const char* text);
    // The main bundle's helper program MVPlayerHelper (in libexec/).
    static std::string defaultHelperPath();

    int maxConcurrentJobs() const { return _maxConcurrentJobs; }
    const std::string& helperPath() const { return _helperPath; }
    void setHelperPath(std::string path) { _helperPath = std::move(path); }
    // Bounds on a misbehaving worker, in seconds: to connect and prove itself; to end after a cancel; to
    // end after closing its connection (or to close it after ending); for a frame that stopped arriving.
    void setConnectTimeout(HXTimeInterval seconds) { _connectTimeout = seconds; }
    void setCancelTimeout(HXTimeInterval seconds) { _cancelTimeout = seconds; }
    void setExitTimeout(HXTimeInterval seconds) { _exitTimeout = seconds; }
    void setStallTimeout(HXTimeInterval seconds) { _stallTimeout = seconds; }
    // The largest frame a worker may send.
    void setMaximumFrameSize(size_t bytes) { _maximumFrameSize = bytes; }

    // Jobs.
    std::shared_ptr<Job> newJobWithParams(
        const HXPropertyList::Dictionary& params, std::weak_ptr<JobDelegate> delegate);
    // Queues the job ("pending") and starts it when a run slot is free or `force` is set.
    void startJob(const std::shared_ptr<Job>& job, bool force);
    // A pending job is taken out of the queue ("canceled"); a started one is asked to stop and ends when its
    // worker does ("canceling", then "canceled"); a starting one is ended at once.
    void cancelJob(const std::shared_ptr<Job>& job);
    // Ends a running job at once: its worker is killed and the job is "canceled".
    void killJob(const std::shared_ptr<Job>& job);
    // Cancels the job and forgets it; a worker still running is ended in the background.
    void removeJob(const std::shared_ptr<Job>& job);
    // Lets a job that waits for a resource have the next free slot before older waiters.
    void blessJob(const std::shared_ptr<Job>& job);
    // Quitting: cancels pending jobs and kills running ones (their registered files are deleted).
    void killAllJobs();

    // Starts the oldest pending job, if any.
    void kickoffJob();
    // Sends one message to the job's worker; false when it has no connection or the message cannot be sent.
    bool sendDictionary(const HXPropertyList& dictionary, const std::shared_ptr<Job>& job);

    // Resources.
    void requestResource(const std::string& name, const std::shared_ptr<Job>& job);
    void grantResource(const std::string& name, const std::shared_ptr<Job>& job);
    void releaseResource(const std::string& name, const std::shared_ptr<Job>& job);
    void clearResources(const std::shared_ptr<Job>& job);
    // Free slots of a known resource (nullopt for an unknown name).
    std::optional<int64_t> resourceAvailability(const std::string& name) const;
    std::vector<std::shared_ptr<Job>> resourceQueue(const std::string& name) const;
    std::vector<std::shared_ptr<Job>> resourceAllocation(const std::string& name) const;

    void deleteRegisteredFilesForJob(const std::shared_ptr<Job>& job);
    // A job marked "MVExpNameOutTemporary" writes "MVExpNameOut" only to hand it on: the file goes with its
    // share folder when the job ends, however it ends. What it handed on is a copy, "MVPublishAttachment"
    // (a mail attachment, see MVPMailAttachments), which the receiving program may read long after the job:
    // that goes at once when the job fails or is canceled, and otherwise when the job is removed, when the
    // queue is destroyed (or the program exits, for the shared queue), or on this call.
    void removeAttachments();

    // The watchdog: ends jobs whose worker overran one of the time-outs. True when it ended one.
    bool servicePorts();

    const std::vector<std::shared_ptr<Job>>& jobs() const { return _jobs; }
    int runningJobs() const { return _runningJobs; }
    bool queueRunning() const { return _queueRunning; }
    bool hasTimer() const;

private:
    void update();
    bool launchWorker(const std::shared_ptr<Job>& job, HXError* error);
    void accepted(const std::shared_ptr<Job>& job, std::shared_ptr<class HXSocketConnection> socket);
    void provenConnection(
        const std::shared_ptr<Job>& job, const std::shared_ptr<HXMessageConnection>& connection);
    void handleMessage(const std::shared_ptr<Job>& job, const HXPropertyList& message);
    void connectionFailed(const std::shared_ptr<Job>& job, const std::string& reason);
    void connectionEnded(const std::shared_ptr<Job>& job);
    void workerExited(const std::shared_ptr<Job>& job, int reason, int status);
    void failWorker(const std::shared_ptr<Job>& job, const std::string& reason);
    void finishJob(const std::shared_ptr<Job>& job);
    void closeChannels(Job& job);
    void leaveRunning(const std::shared_ptr<Job>& job);
    void setState(const std::shared_ptr<Job>& job, JobState state);
    void endJobWithoutWorker(const std::shared_ptr<Job>& job, const std::string& reason);

    std::vector<std::shared_ptr<Job>> _jobs;
    std::vector<std::string> _attachments; // handed out by completed jobs
    std::vector<std::shared_ptr<Job>> _liveJobs; // jobs with a worker, also after removal
    std::shared_ptr<HXTimer> _timer;
    int _runningJobs = 0;
    std::map<std::string, int64_t> _resourceAvailability;
    std::map<std::string, std::vector<std::shared_ptr<Job>>> _resourceQueues;
    std::map<std::string, std::vector<std::shared_ptr<Job>>> _resourceAllocation;
    int _maxConcurrentJobs;
    bool _queueRunning = false;

    std::string _helperPath;
    HXTimeInterval _connectTimeout = 30;
    HXTimeInterval _cancelTimeout = 10;
    HXTimeInterval _exitTimeout = 5;
    HXTimeInterval _stallTimeout = 30;
    size_t _maximumFrameSize = 4u << 20;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true); // guards callbacks after destruction
};
