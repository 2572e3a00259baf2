#pragma once
// Job: one long media task carried out by a worker process (MVPlayerHelper), as the job queue
// (JobManager) keeps it: its parameters, its delegate, its state and what its worker reported.
//
// JobDelegate: told about every change of a job. Callbacks come on the main thread; a delegate may remove
// the job (JobManager::removeJob) from inside one.
#include "platform/basekit/property_list.h"
#include "platform/basekit/run_loop.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Job;
class HXTask;
class HXSocketListener;
class HXMessageConnection;

// The states of a job. The words are those the job dictionary of other programs and the processing
// window use ("new", "pending", ...).
enum class JobState { New, Pending, Starting, Started, Canceling, Canceled, Errored, Complete };
const char* JobStateName(JobState state);
// Canceled, errored and complete: the job will not change again.
bool JobStateIsFinal(JobState state);

class JobDelegate {
public:
    virtual ~JobDelegate() = default;
    virtual void jobPending(const std::shared_ptr<Job>& job) = 0;
    virtual void jobStarting(const std::shared_ptr<Job>& job) = 0;
    virtual void jobStarted(const std::shared_ptr<Job>& job) = 0;
    virtual void jobBlocked(const std::shared_ptr<Job>& job, const std::string& resource) = 0;
    virtual void jobUnblocked(const std::shared_ptr<Job>& job, const std::string& resource) = 0;
    // Every message of the job's worker, after the queue has handled its own keys.
    virtual void jobSentMessage(const std::shared_ptr<Job>& job, const HXPropertyList& message) = 0;
    virtual void jobComplete(const std::shared_ptr<Job>& job) = 0;
    virtual void jobErrored(const std::shared_ptr<Job>& job) = 0;
    virtual void jobCanceled(const std::shared_ptr<Job>& job) = 0;
};

class Job : public std::enable_shared_from_this<Job> {
public:
    Job(HXPropertyList::Dictionary params, std::weak_ptr<JobDelegate> delegate);
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // The parameters handed in by the caller; the worker gets them as its first message.
    const HXPropertyList::Dictionary& params() const { return _params; }
    std::shared_ptr<JobDelegate> delegate() const { return _delegate.lock(); }
    JobState state() const { return _state; }
    const char* stateName() const { return JobStateName(_state); }

    // Paths the worker registered; deleted when the job ends.
    const std::vector<std::string>& registeredFiles() const { return _registeredFiles; }
    // The worker's process id, 0 before it is started and after it ended.
    int pid() const { return _pid; }
    // The descriptor of the worker's connection, -1 while there is none.
    int socket() const;
    // What the worker reported, and how it ended (0 / empty when absent).
    bool hasErrorCode() const { return _errorCode.has_value(); }
    int64_t errorCode() const { return _errorCode.value_or(0); }
    bool hasErrorMessage() const { return _errorMessage.has_value(); }
    const std::string& errorMessage() const;
    bool hasExitCode() const { return _exitCode.has_value(); }
    int exitCode() const { return _exitCode.value_or(0); }
    bool hasTermSig() const { return _termSig.has_value(); }
    int termSig() const { return _termSig.value_or(0); }
    // The resource the job waits for ("" when it waits for none).
    const std::string& blockingResource() const { return _blockingResource; }

    // Values the delegates keep with the job (the processing window's "status", "progress", ...).
    HXPropertyList::Dictionary& userInfo() { return _userInfo; }
    const HXPropertyList::Dictionary& userInfo() const { return _userInfo; }
    // The job as one dictionary: the queue's keys and the delegates' (for logs and scripts).
    HXPropertyList::Dictionary dictionary() const;

private:
    friend class JobManager;

    HXPropertyList::Dictionary _params;
    std::weak_ptr<JobDelegate> _delegate;
    JobState _state = JobState::New;
    std::vector<std::string> _registeredFiles;
    int _pid = 0;
    std::optional<int64_t> _errorCode;
    std::optional<std::string> _errorMessage;
    std::optional<int> _exitCode;
    std::optional<int> _termSig;
    std::string _blockingResource;
    HXPropertyList::Dictionary _userInfo;

    // The worker and its connection, while the job runs.
    std::shared_ptr<HXTask> _task;
    std::shared_ptr<HXSocketListener> _listener;
    std::vector<std::shared_ptr<HXMessageConnection>> _unprovenConnections;
    std::shared_ptr<HXMessageConnection> _connection;
    std::string _secret;
    HXTimeInterval _startedAt = 0; // when the worker was launched
    HXTimeInterval _cancelSentAt = 0;
    HXTimeInterval _connectionEndedAt = 0; // the worker closed its connection (0: not yet)
    HXTimeInterval _workerExitedAt = 0; // the worker process ended (0: not yet)
    bool _workerFailed = false; // the worker broke the protocol, stalled or did not connect in time
    bool _holdsSuddenTermination = false; // this job disabled sudden termination and owes one enable
    int _waitStatusReason = 0; // 1 exit, 2 signal (as HXTaskTerminationReason)
    int _waitStatus = 0;
};
