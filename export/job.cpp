#include "export/job.h"

#include "platform/basekit/message_connection.h"
#include "platform/basekit/socket.h"
#include "platform/basekit/task.h"

const char* JobStateName(JobState state)
{
    switch (state) {
    case JobState::New:
        return "new";
    case JobState::Pending:
        return "pending";
    case JobState::Starting:
        return "starting";
    case JobState::Started:
        return "started";
    case JobState::Canceling:
        return "canceling";
    case JobState::Canceled:
        return "canceled";
    case JobState::Errored:
        return "errored";
    case JobState::Complete:
        return "complete";
    }
    return "";
}

bool JobStateIsFinal(JobState state)
{
    return state == JobState::Canceled || state == JobState::Errored || state == JobState::Complete;
}

Job::Job(HXPropertyList::Dictionary params, std::weak_ptr<JobDelegate> delegate)
    : _params(std::move(params))
    , _delegate(std::move(delegate))
{
}

Job::~Job() = default;

int Job::socket() const
{
    if (_connection && _connection->connection() && _connection->isOpen())
        return _connection->connection()->fileDescriptor();
    return -1;
}

const std::string& Job::errorMessage() const
{
    static const std::string empty;
    return _errorMessage ? *_errorMessage : empty;
}

HXPropertyList::Dictionary Job::dictionary() const
{
    HXPropertyList::Dictionary d = _userInfo;
    d["params"] = _params;
    d["state"] = stateName();
    HXPropertyList::Array files;
    for (const auto& path : _registeredFiles)
        files.emplace_back(path);
    d["registeredFiles"] = files;
    if (_pid)
        d["pid"] = _pid;
    if (socket() >= 0)
        d["socket"] = socket();
    if (_errorCode)
        d["errorCode"] = *_errorCode;
    if (_errorMessage)
        d["errorMessage"] = *_errorMessage;
    if (_exitCode)
        d["exitCode"] = *_exitCode;
    if (_termSig)
        d["termSig"] = *_termSig;
    if (!_blockingResource.empty())
        d["blockingResource"] = _blockingResource;
    return d;
}
