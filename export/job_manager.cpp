#include "export/job_manager.h"

#include "diagnostics/perf_collector.h"
#include "export/mail_attachments.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/error.h"
#include "platform/basekit/message_connection.h"
#include "platform/basekit/process_info.h"
#include "platform/basekit/socket.h"
#include "platform/basekit/task.h"
#include "platform/basekit/timer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary output of a job, when it has one.
std::string temporaryOutput(const Job& job)
{
    const auto& params = job.params();
    auto temporary = params.find("MVExpNameOutTemporary");
    auto out = params.find("MVExpNameOut");
    if (temporary == params.end() || !temporary->second.boolValue() || out == params.end())
        return {};
    return out->second.stringValue();
}

// The copy of its movie a job hands to another program (the mail program), when it has one.
std::string attachment(const Job& job)
{
    auto found = job.params().find("MVPublishAttachment");
    return found != job.params().end() && found->second.isString() ? found->second.stringValue()
                                                                   : std::string();
}

// Removes a job's temporary output with the share folder made for it, and what the worker left beside it
// (a partial file). Only such a folder is ever touched: a job's parameters name no other file that could go
// with it.
void removeTemporaryOutput(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return;
    const std::string folder = path.substr(0, slash);
    if (folder.compare(folder.rfind('/') + 1, 13, "movara-share-") != 0)
        return;
    MVPMailAttachments::removeFolderOfOneJob(folder);
}

// Everything a job that will not complete has left outside the queue.
void removeJobFiles(const Job& job)
{
    if (auto output = temporaryOutput(job); !output.empty())
        removeTemporaryOutput(output);
    if (auto handedOver = attachment(job); !handedOver.empty())
        MVPMailAttachments::remove(handedOver);
}

// Resources and their free slots at start.
const std::pair<const char*, int64_t> kResources[] = {
    { "CPU", 0x7fffffff },
    { "Network", 0x7fffffff },
    { "ZantrelScript", 1 },
    { "Bluetooth", 1 },
};

std::string randomSecret()
{
    unsigned char bytes[32];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        filled += size_t(n);
    }
    if (filled < sizeof bytes) {
        int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && filled < sizeof bytes) {
            ssize_t n = ::read(fd, bytes + filled, sizeof bytes - filled);
            if (n <= 0)
                break;
            filled += size_t(n);
        }
        if (fd >= 0)
            ::close(fd);
    }
    if (filled < sizeof bytes)
        return {}; // no randomness: the job cannot be started safely
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

// Compares without leaking through timing how much of the secret a guess got right.
bool sameSecret(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

template<typename T> void eraseValue(std::vector<T>& v, const T& value)
{
    v.erase(std::remove(v.begin(), v.end(), value), v.end());
}

} // namespace

// ---- creation -------------------------------------------------------------------------------------------

// ---- the export profile: with "MOVIEPLAYEREXPORTPROFILE" set, the queue's run and each job's named task
// ("MVPerfTaskName") are timed by the collector registered as "JobManager" ----
namespace {

void logJobBoundary(const std::shared_ptr<Job>& job, bool begin)
{
    auto collector = MVPerfCollector::collectorForTest("JobManager");
    auto it = job->params().find("MVPerfTaskName");
    if (!collector || it == job->params().end() || !it->second.isString())
        return;
    if (begin)
        collector->startMeasurementOfTask(it->second.stringValue());
    else
        collector->stopMeasurementOfTask(it->second.stringValue());
}

void logQueueBoundary(bool begin)
{
    auto collector = MVPerfCollector::collectorForTest("JobManager");
    if (!collector)
        return;
    if (begin) {
        collector->startMeasurementOfMainTask();
        return;
    }
    // The profiling run ends when its queue runs empty.
    collector->stopMeasurementOfMainTask();
    collector->writeResults();
    collector->terminateApp();
}

} // namespace
// ---- end of the export profile's helpers ----

JobManager& JobManager::sharedJobManager()
{
    // Made on first use and kept for the life of the process.
    static JobManager* manager = [] {
        auto* made = new JobManager(maxConcurrentJobsFromEnvironment(), defaultHelperPath());
        // Kept to the end, so the attachments it handed out go when the program exits.
        std::atexit([] { sharedJobManager().removeAttachments(); });
        return made;
    }();
    return *manager;
}

JobManager::JobManager(int maxConcurrentJobs, std::string helperPath)
    : _maxConcurrentJobs(std::max(1, maxConcurrentJobs))
    , _helperPath(std::move(helperPath))
{
    for (const auto& [name, slots] : kResources) {
        _resourceAvailability[name] = slots;
        _resourceQueues[name];
        _resourceAllocation[name];
    }
    // The export profile's collector, when its switch is set.
    if (auto collector = MVPerfCollector::initTestingEnvVar("MOVIEPLAYEREXPORTPROFILE")) {
        MVPerfCollector::setCollectorForTest(collector, "JobManager");
        collector->setResultsPathFromEnvVar("MOVIEPLAYERRESULTSPATH");
    }
}

JobManager::~JobManager()
{
    *_alive = false;
    for (const auto& job : _liveJobs) {
        closeChannels(*job);
        if (job->_task)
            job->_task->kill();
        job->_task.reset();
        if (job->_holdsSuddenTermination) {
            job->_holdsSuddenTermination = false;
            HXProcessInfo::processInfo().enableSuddenTermination();
        }
    }
    if (_timer)
        _timer->invalidate();
    // What jobs that never ended were to write goes too.
    for (const auto& job : _jobs)
        if (job->_state != JobState::Complete)
            removeJobFiles(*job);
    removeAttachments();
}

int JobManager::maxConcurrentJobsFromString(const char* text)
{
    if (!text)
        return INT_MAX;
    // As atoi reads it: optional blanks and sign, then leading digits; anything else counts as 0.
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = std::min<long long>(value * 10 + (*p - '0'), INT_MAX);
        ++p;
    }
    if (negative)
        value = -value;
    return int(std::max<long long>(1, value));
}

int JobManager::maxConcurrentJobsFromEnvironment()
{
    return maxConcurrentJobsFromString(std::getenv("MAXCONCURRENTJOBS"));
}

std::string JobManager::defaultHelperPath()
{
    return HXBundle::mainBundle()->pathForAuxiliaryExecutable("MVPlayerHelper");
}

bool JobManager::hasTimer() const
{
    return _timer && _timer->isValid();
}

std::shared_ptr<Job> JobManager::newJobWithParams(
    const HXPropertyList::Dictionary& params, std::weak_ptr<JobDelegate> delegate)
{
    auto job = std::make_shared<Job>(params, std::move(delegate));
    _jobs.push_back(job);
    return job;
}

void JobManager::setState(const std::shared_ptr<Job>& job, JobState state)
{
    job->_state = state;
    if (!JobStateIsFinal(state))
        return;
    // The temporary output has been handed on, or never will be: it goes however the job ended. The
    // program a completed job handed its attachment to may read it later; it goes with the job.
    if (auto output = temporaryOutput(*job); !output.empty())
        removeTemporaryOutput(output);
    auto handedOver = attachment(*job);
    if (handedOver.empty())
        return;
    if (state != JobState::Complete)
        MVPMailAttachments::remove(handedOver);
    else if (std::find(_attachments.begin(), _attachments.end(), handedOver) == _attachments.end())
        _attachments.push_back(handedOver);
}

void JobManager::removeAttachments()
{
    for (const auto& path : _attachments)
        MVPMailAttachments::remove(path);
    _attachments.clear();
}

// ---- starting -------------------------------------------------------------------------------------------

void JobManager::startJob(const std::shared_ptr<Job>& jobRef, bool force)
{
    auto job = jobRef;
    if (!job)
        return;
    if (job->_state == JobState::Starting || job->_state == JobState::Started
        || job->_state == JobState::Canceling)
        return;
    if (job->_state != JobState::Pending) {
        // A job run again starts from a clean report.
        job->_errorCode.reset();
        job->_errorMessage.reset();
        job->_exitCode.reset();
        job->_termSig.reset();
        job->_workerFailed = false;
        setState(job, JobState::Pending);
        if (auto delegate = job->delegate())
            delegate->jobPending(job);
        if (job->_state != JobState::Pending)
            return; // the delegate canceled it
    }
    if (!force && _runningJobs >= _maxConcurrentJobs)
        return;

    HXProcessInfo::processInfo().disableSuddenTermination();
    job->_holdsSuddenTermination = true;
    setState(job, JobState::Starting);
    job->_startedAt = HXRunLoop::main().now();
    job->_connectionEndedAt = 0;
    job->_workerExitedAt = 0;
    job->_cancelSentAt = 0;
    ++_runningJobs;
    _liveJobs.push_back(job);
    if (!hasTimer()) {
        std::weak_ptr<bool> alive = _alive;
        _timer = HXTimer::scheduledTimer(1.0, true,
            [this, alive](HXTimer&) {
                if (alive.lock())
                    update();
            },
            { HXRunLoopCommonModes });
        if (!_queueRunning) {
            _queueRunning = true;
            logQueueBoundary(true); // export profile
        }
    }
    if (auto delegate = job->delegate())
        delegate->jobStarting(job);
    if (job->_state != JobState::Starting)
        return;

    HXError error;
    if (!launchWorker(job, &error))
        endJobWithoutWorker(job, error.localizedDescription());
}

bool JobManager::launchWorker(const std::shared_ptr<Job>& job, HXError* error)
{
    auto listener = HXSocketListener::listenOnLocalPort(0, 1, error);
    if (!listener)
        return false;
    std::string secret = randomSecret();
    if (secret.empty()) {
        *error = HXError::withDescription(
            HXPOSIXErrorDomain, EIO, "No random numbers are available to protect the worker's connection.");
        return false;
    }
    // The secret goes through a pipe the worker inherits, never on its command line.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = HXError::posix(errno, "Cannot make a pipe for the worker");
        return false;
    }
    bool written = ::write(pipeFds[1], secret.data(), secret.size()) == ssize_t(secret.size());
    ::close(pipeFds[1]);
    if (!written) {
        ::close(pipeFds[0]);
        *error = HXError::posix(errno, "Cannot hand the worker its secret");
        return false;
    }

    auto task = HXTask::task();
    task->setLaunchPath(_helperPath);
    task->setArguments({ std::to_string(listener->port()) });
    auto environment = HXProcessInfo::processInfo().environment();
    environment[MVPlayerHelperSecretFDEnvironmentKey] = std::to_string(pipeFds[0]);
    task->setEnvironment(environment);
    task->addInheritedFileDescriptor(pipeFds[0]);
    task->setStandardInput(HXTaskStream::Null);
    std::weak_ptr<bool> alive = _alive;
    std::weak_ptr<Job> weakJob = job;
    task->setTerminationHandler([this, alive, weakJob](HXTask& t) {
        auto job = weakJob.lock();
        if (!alive.lock() || !job)
            return;
        workerExited(job, int(t.terminationReason()), t.terminationStatus());
    });
    bool launched = task->launch(error);
    ::close(pipeFds[0]);
    if (!launched)
        return false;

    job->_task = task;
    job->_pid = task->processIdentifier();
    job->_listener = listener;
    job->_secret = secret;
    listener->onAccept = [this, alive, weakJob](std::shared_ptr<HXSocketConnection> socket) {
        auto job = weakJob.lock();
        if (!alive.lock() || !job) {
            socket->close();
            return;
        }
        accepted(job, std::move(socket));
    };
    return true;
}

void JobManager::accepted(const std::shared_ptr<Job>& job, std::shared_ptr<HXSocketConnection> socket)
{
    if (job->_state != JobState::Starting || job->_connection) {
        socket->close();
        return;
    }
    auto connection = HXMessageConnection::withConnection(std::move(socket));
    connection->setMaximumFrameSize(_maximumFrameSize);
    connection->setStallTimeout(_stallTimeout);
    connection->setIdleTimeout(_connectTimeout);
    job->_unprovenConnections.push_back(connection);
    std::weak_ptr<bool> alive = _alive;
    std::weak_ptr<Job> weakJob = job;
    std::weak_ptr<HXMessageConnection> weakConnection = connection;
    auto forget = [alive, weakJob, weakConnection] {
        auto job = weakJob.lock();
        auto connection = weakConnection.lock();
        if (alive.lock() && job && connection)
            eraseValue(job->_unprovenConnections, connection);
    };
    connection->onClose = forget;
    connection->onMessage = [this, alive, weakJob, weakConnection, forget](const HXPropertyList& message) {
        auto job = weakJob.lock();
        auto connection = weakConnection.lock();
        if (!alive.lock() || !job || !connection)
            return;
        const auto& secret = message[MVPlayerHelperSecretKey];
        if (job->_state == JobState::Starting && secret.isString()
            && sameSecret(secret.stringValue(), job->_secret)) {
            provenConnection(job, connection);
        } else {
            // Not our worker: it learns nothing and the listener waits for the real one.
            HXLog("A connection to a job's port did not prove itself and was closed.");
            connection->close();
            forget();
        }
    };
}

void JobManager::provenConnection(
    const std::shared_ptr<Job>& jobRef, const std::shared_ptr<HXMessageConnection>& connection)
{
    auto job = jobRef;
    eraseValue(job->_unprovenConnections, connection);
    for (const auto& other : job->_unprovenConnections)
        other->close();
    job->_unprovenConnections.clear();
    if (job->_listener) {
        job->_listener->close();
        job->_listener.reset();
    }
    job->_connection = connection;
    connection->setIdleTimeout(0); // a worker may be silent for as long as its work takes
    std::weak_ptr<bool> alive = _alive;
    std::weak_ptr<Job> weakJob = job;
    connection->onMessage = [this, alive, weakJob](const HXPropertyList& message) {
        auto job = weakJob.lock();
        if (alive.lock() && job)
            handleMessage(job, message);
    };
    connection->onError = [this, alive, weakJob](const HXError& error) {
        auto job = weakJob.lock();
        if (alive.lock() && job)
            connectionFailed(job, error.localizedDescription());
    };
    connection->onClose = [this, alive, weakJob] {
        auto job = weakJob.lock();
        if (alive.lock() && job)
            connectionEnded(job);
    };

    HXError error;
    if (!connection->sendMessage(HXPropertyList(job->_params), &error)) {
        failWorker(job, "The job's parameters cannot be sent: " + error.localizedDescription());
        return;
    }
    setState(job, JobState::Started);
    logJobBoundary(job, true); // export profile
    if (auto delegate = job->delegate())
        delegate->jobStarted(job);
}

// ---- messages -------------------------------------------------------------------------------------------

void JobManager::handleMessage(const std::shared_ptr<Job>& jobRef, const HXPropertyList& message)
{
    auto job = jobRef;
    if (JobStateIsFinal(job->_state))
        return;
    if (const auto& name = message["requestResource"]; name.isString())
        requestResource(name.stringValue(), job);
    if (const auto& name = message["releaseResource"]; name.isString())
        releaseResource(name.stringValue(), job);
    if (const auto& path = message["registerFile"]; path.isString()) {
        auto& files = job->_registeredFiles;
        if (std::find(files.begin(), files.end(), path.stringValue()) == files.end())
            files.push_back(path.stringValue());
    }
    if (const auto& path = message["unregisterFile"]; path.isString())
        eraseValue(job->_registeredFiles, path.stringValue());
    if (const auto& code = message["errorCode"]; code.isNumber())
        job->_errorCode = code.integerValue();
    if (const auto& text = message["errorMessage"]; text.isString())
        job->_errorMessage = text.stringValue();
    if (const auto& text = message["log"]; text.isString())
        HXLog("Message: " + text.stringValue());
    if (auto delegate = job->delegate())
        delegate->jobSentMessage(job, message);
}

bool JobManager::sendDictionary(const HXPropertyList& dictionary, const std::shared_ptr<Job>& job)
{
    if (!job || !job->_connection || !job->_connection->isOpen())
        return false;
    return job->_connection->sendMessage(dictionary);
}

// ---- the end of a worker --------------------------------------------------------------------------------

void JobManager::connectionFailed(const std::shared_ptr<Job>& job, const std::string& reason)
{
    failWorker(job, reason);
}

void JobManager::failWorker(const std::shared_ptr<Job>& jobRef, const std::string& reason)
{
    auto job = jobRef;
    if (JobStateIsFinal(job->_state))
        return;
    if (!job->_workerFailed) {
        job->_workerFailed = true;
        if (!job->_errorMessage)
            job->_errorMessage = reason;
        HXLog("Job worker failed: " + reason);
    }
    closeChannels(*job);
    job->_connectionEndedAt = HXRunLoop::main().now();
    if (job->_task && job->_workerExitedAt == 0)
        job->_task->kill(); // the job ends when the worker has been reaped
    else
        finishJob(job);
}

void JobManager::connectionEnded(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    job->_connection.reset();
    job->_connectionEndedAt = HXRunLoop::main().now();
    if (job->_workerExitedAt != 0 || !job->_task)
        finishJob(job);
}

void JobManager::workerExited(const std::shared_ptr<Job>& jobRef, int reason, int status)
{
    auto job = jobRef;
    if (JobStateIsFinal(job->_state) || !job->_task)
        return;
    job->_waitStatusReason = reason;
    job->_waitStatus = status;
    job->_workerExitedAt = HXRunLoop::main().now();
    job->_task.reset();
    if (job->_state == JobState::Starting) {
        job->_workerFailed = true;
        if (!job->_errorMessage)
            job->_errorMessage = "The worker ended before it connected.";
    }
    // A worker that never proved itself has nothing more to say; one that did may still have bytes on
    // the way: its connection's end finishes the job (or the watchdog, when the connection stays open).
    if (!job->_connection || !job->_connection->isOpen())
        finishJob(job);
}

void JobManager::endJobWithoutWorker(const std::shared_ptr<Job>& job, const std::string& reason)
{
    job->_workerFailed = true;
    if (!job->_errorMessage)
        job->_errorMessage = reason;
    HXLog("Job worker failed: " + reason);
    job->_task.reset();
    finishJob(job);
}

void JobManager::closeChannels(Job& job)
{
    for (const auto& connection : job._unprovenConnections)
        connection->close();
    job._unprovenConnections.clear();
    if (job._listener) {
        job._listener->close();
        job._listener.reset();
    }
    if (job._connection) {
        job._connection->close();
        job._connection.reset();
    }
}

void JobManager::leaveRunning(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    eraseValue(_liveJobs, job);
    logJobBoundary(job, false); // export profile
    if (_runningJobs > 0 && --_runningJobs == 0 && _timer) {
        _timer->invalidate();
        _timer.reset();
    }
    if (job->_holdsSuddenTermination) {
        job->_holdsSuddenTermination = false;
        HXProcessInfo::processInfo().enableSuddenTermination();
    }
}

void JobManager::finishJob(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (JobStateIsFinal(job->_state))
        return;
    closeChannels(*job);
    job->_task.reset();
    deleteRegisteredFilesForJob(job);
    leaveRunning(job);
    clearResources(job);

    JobState final;
    if (job->_state == JobState::Canceling) {
        final = JobState::Canceled;
    } else if (job->errorCode() != 0 || job->_workerFailed) {
        final = JobState::Errored;
        if (job->_waitStatusReason == int(HXTaskTerminationReason::Exit) && job->_waitStatus != 0)
            job->_exitCode = job->_waitStatus;
        else if (job->_waitStatusReason == int(HXTaskTerminationReason::UncaughtSignal))
            job->_termSig = job->_waitStatus;
    } else if (job->_waitStatusReason == int(HXTaskTerminationReason::Exit) && job->_waitStatus == 0) {
        final = JobState::Complete;
    } else {
        final = JobState::Errored;
        if (job->_waitStatusReason == int(HXTaskTerminationReason::UncaughtSignal))
            job->_termSig = job->_waitStatus;
        else
            job->_exitCode = job->_waitStatus;
    }
    job->_pid = 0;
    setState(job, final);
    if (auto delegate = job->delegate()) {
        if (final == JobState::Canceled)
            delegate->jobCanceled(job);
        else if (final == JobState::Errored)
            delegate->jobErrored(job);
        else
            delegate->jobComplete(job);
    }
    kickoffJob();
}

// ---- cancel, kill, remove -------------------------------------------------------------------------------

void JobManager::cancelJob(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (!job)
        return;
    switch (job->_state) {
    case JobState::Pending:
        // Out of the queue: it will not start later.
        setState(job, JobState::Canceled);
        if (auto delegate = job->delegate())
            delegate->jobCanceled(job);
        break;
    case JobState::Starting:
        // The worker has not been given anything yet: end it at once.
        killJob(job);
        break;
    case JobState::Started:
        if (!sendDictionary(HXPropertyList::Dictionary { { "Cancel", true } }, job)) {
            killJob(job);
            break;
        }
        setState(job, JobState::Canceling);
        job->_cancelSentAt = HXRunLoop::main().now();
        break;
    default:
        break;
    }
}

void JobManager::killJob(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (!job)
        return;
    if (job->_state != JobState::Starting && job->_state != JobState::Started
        && job->_state != JobState::Canceling)
        return;
    closeChannels(*job);
    if (job->_task) {
        job->_task->kill(); // reaped by its run-loop source; the job no longer listens for it
        job->_task.reset();
    }
    job->_pid = 0;
    setState(job, JobState::Canceled);
    clearResources(job);
    deleteRegisteredFilesForJob(job);
    if (auto delegate = job->delegate())
        delegate->jobCanceled(job);
    leaveRunning(job);
    kickoffJob();
}

void JobManager::removeJob(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (!job)
        return;
    cancelJob(job);
    // One never started has nothing that ends it: what it was to write goes now. A completed one takes
    // its attachment with it. One still stopping leaves its files when its worker has ended.
    if (job->_state == JobState::New) {
        removeJobFiles(*job);
    } else if (job->_state == JobState::Complete) {
        if (auto handedOver = attachment(*job); !handedOver.empty()) {
            MVPMailAttachments::remove(handedOver);
            eraseValue(_attachments, handedOver);
        }
    }
    eraseValue(_jobs, job);
}

void JobManager::killAllJobs()
{
    auto jobs = _jobs;
    for (const auto& job : jobs) {
        if (job->_state == JobState::Pending)
            cancelJob(job);
    }
    auto live = _liveJobs;
    for (const auto& job : live)
        killJob(job);
}

void JobManager::kickoffJob()
{
    for (const auto& job : _jobs) {
        if (job->_state == JobState::Pending) {
            auto next = job;
            startJob(next, false);
            return;
        }
    }
    if (_runningJobs == 0 && _queueRunning) {
        _queueRunning = false;
        logQueueBoundary(false); // export profile
    }
}

// ---- the watchdog ---------------------------------------------------------------------------------------

void JobManager::update()
{
    servicePorts();
}

bool JobManager::servicePorts()
{
    bool acted = false;
    HXTimeInterval now = HXRunLoop::main().now();
    auto live = _liveJobs;
    for (const auto& job : live) {
        if (JobStateIsFinal(job->_state))
            continue;
        bool exited = job->_workerExitedAt != 0;
        bool connectionOpen = job->_connection && job->_connection->isOpen();
        if (job->_state == JobState::Starting && !exited && now - job->_startedAt > _connectTimeout) {
            failWorker(job, "The worker did not connect in time.");
            acted = true;
        } else if (job->_state == JobState::Canceling && !exited && job->_task
            && now - job->_cancelSentAt > _cancelTimeout) {
            HXLog("A canceled job's worker did not stop; it is being ended.");
            job->_task->kill();
            job->_cancelSentAt = now;
            acted = true;
        } else if (job->_connectionEndedAt != 0 && !exited && job->_task
            && now - job->_connectionEndedAt > _exitTimeout) {
            failWorker(job, "The worker closed its connection but did not end.");
            job->_connectionEndedAt = now;
            acted = true;
        } else if (exited && connectionOpen && now - job->_workerExitedAt > _exitTimeout) {
            // Something the worker left behind holds its connection open.
            closeChannels(*job);
            finishJob(job);
            acted = true;
        }
    }
    return acted;
}

// ---- resources ------------------------------------------------------------------------------------------

std::optional<int64_t> JobManager::resourceAvailability(const std::string& name) const
{
    auto it = _resourceAvailability.find(name);
    if (it == _resourceAvailability.end())
        return std::nullopt;
    return it->second;
}

std::vector<std::shared_ptr<Job>> JobManager::resourceQueue(const std::string& name) const
{
    auto it = _resourceQueues.find(name);
    return it == _resourceQueues.end() ? std::vector<std::shared_ptr<Job>> {} : it->second;
}

std::vector<std::shared_ptr<Job>> JobManager::resourceAllocation(const std::string& name) const
{
    auto it = _resourceAllocation.find(name);
    return it == _resourceAllocation.end() ? std::vector<std::shared_ptr<Job>> {} : it->second;
}

void JobManager::requestResource(const std::string& name, const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (!job || !job->_blockingResource.empty())
        return;
    auto available = _resourceAvailability.find(name);
    if (available == _resourceAvailability.end() || available->second > 0) {
        grantResource(name, job);
        return;
    }
    _resourceQueues[name].push_back(job);
    job->_blockingResource = name;
    if (auto delegate = job->delegate())
        delegate->jobBlocked(job, name);
}

void JobManager::grantResource(const std::string& name, const std::shared_ptr<Job>& job)
{
    sendDictionary(HXPropertyList::Dictionary { { "Result", true } }, job);
    if (auto available = _resourceAvailability.find(name); available != _resourceAvailability.end())
        available->second -= 1;
    if (auto allocation = _resourceAllocation.find(name); allocation != _resourceAllocation.end())
        allocation->second.push_back(job);
}

void JobManager::releaseResource(const std::string& name, const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (auto allocation = _resourceAllocation.find(name); allocation != _resourceAllocation.end()) {
        auto& holders = allocation->second;
        auto it = std::find(holders.begin(), holders.end(), job);
        if (it == holders.end())
            return; // it holds no slot of that resource
        holders.erase(it);
    }
    auto available = _resourceAvailability.find(name);
    if (available == _resourceAvailability.end())
        return;
    available->second += 1;
    auto& waiting = _resourceQueues[name];
    // First come, first served.
    while (available->second > 0 && !waiting.empty()) {
        auto next = waiting.front();
        waiting.erase(waiting.begin());
        next->_blockingResource.clear();
        grantResource(name, next);
        if (auto delegate = next->delegate())
            delegate->jobUnblocked(next, name);
    }
}

void JobManager::clearResources(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (!job->_blockingResource.empty()) {
        eraseValue(_resourceQueues[job->_blockingResource], job);
        job->_blockingResource.clear();
    }
    std::vector<std::string> held;
    for (const auto& [name, holders] : _resourceAllocation) {
        for (const auto& holder : holders) {
            if (holder == job)
                held.push_back(name);
        }
    }
    for (const auto& name : held)
        releaseResource(name, job);
}

void JobManager::blessJob(const std::shared_ptr<Job>& jobRef)
{
    auto job = jobRef;
    if (!job || job->_blockingResource.empty())
        return;
    const std::string name = job->_blockingResource;
    auto& waiting = _resourceQueues[name];
    // To the head of the line. Granting beyond the free slots would let two jobs hold a single-slot
    // resource at once, so the job gets the next slot that frees (or this one, if one is free).
    eraseValue(waiting, job);
    waiting.insert(waiting.begin(), job);
    auto available = _resourceAvailability.find(name);
    if (available != _resourceAvailability.end() && available->second > 0) {
        waiting.erase(waiting.begin());
        job->_blockingResource.clear();
        grantResource(name, job);
        if (auto delegate = job->delegate())
            delegate->jobUnblocked(job, name);
    }
}

// ---- files ----------------------------------------------------------------------------------------------

void JobManager::deleteRegisteredFilesForJob(const std::shared_ptr<Job>& job)
{
    for (const auto& path : job->_registeredFiles) {
        struct stat st;
        // lstat: a registered symbolic link is removed itself, never what it points to.
        if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            ::unlink(path.c_str());
    }
    job->_registeredFiles.clear();
}
