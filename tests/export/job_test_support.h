#pragma once
// Helpers for the job queue's tests: a delegate that records what it is told, running the main run loop
// until something happens, and the steps of the scripted test worker.
#include "export/job_manager.h"
#include "platform/basekit/process_info.h"
#include "platform/basekit/run_loop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace movara::test::jobs {

inline const std::string scriptedWorker = MOVARA_SCRIPTED_WORKER;
inline const std::string helperProgram = MOVARA_HELPER;

class RecordingDelegate : public JobDelegate {
public:
    std::vector<std::string> events; // "pending", "blocked:CPU", "message", "complete", ...
    std::vector<HXPropertyList> messages;
    std::function<void(const std::string& event, const std::shared_ptr<Job>& job)> onEvent;

    void jobPending(const std::shared_ptr<Job>& job) override { note("pending", job); }
    void jobStarting(const std::shared_ptr<Job>& job) override { note("starting", job); }
    void jobStarted(const std::shared_ptr<Job>& job) override { note("started", job); }
    void jobBlocked(const std::shared_ptr<Job>& job, const std::string& resource) override
    {
        note("blocked:" + resource, job);
    }
    void jobUnblocked(const std::shared_ptr<Job>& job, const std::string& resource) override
    {
        note("unblocked:" + resource, job);
    }
    void jobSentMessage(const std::shared_ptr<Job>& job, const HXPropertyList& message) override
    {
        messages.push_back(message);
        note("message", job);
    }
    void jobComplete(const std::shared_ptr<Job>& job) override { note("complete", job); }
    void jobErrored(const std::shared_ptr<Job>& job) override { note("errored", job); }
    void jobCanceled(const std::shared_ptr<Job>& job) override { note("canceled", job); }

    int count(const std::string& event) const
    {
        int n = 0;
        for (const auto& e : events)
            n += e == event;
        return n;
    }

private:
    void note(const std::string& event, const std::shared_ptr<Job>& job)
    {
        events.push_back(event);
        if (onEvent)
            onEvent(event, job);
    }
};

// Runs the main run loop until `done` answers true or `seconds` of real time have passed; true when done.
inline bool runUntil(const std::function<bool()>& done, double seconds = 15)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.02);
    }
    return true;
}

inline bool isFinal(const std::shared_ptr<Job>& job)
{
    return JobStateIsFinal(job->state());
}

// Steps of the scripted worker.
using Steps = HXPropertyList::Array;
inline HXPropertyList send(HXPropertyList::Dictionary message)
{
    return HXPropertyList::Dictionary { { "send", std::move(message) } };
}
inline HXPropertyList step(const std::string& name, HXPropertyList value)
{
    return HXPropertyList::Dictionary { { name, std::move(value) } };
}
inline HXPropertyList::Dictionary scriptParams(Steps steps)
{
    return { { "MVExpType", "Flatten" }, { "description", "test job" }, { "script", std::move(steps) } };
}

} // namespace movara::test::jobs
