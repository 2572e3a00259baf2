#include "platform/basekit/run_loop.h"

#include "platform/basekit/error.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/uncaught_exception.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr HXTimeInterval kForever = std::numeric_limits<HXTimeInterval>::infinity();

// Captured while the library is loaded, which happens on the main thread before main() runs.
const std::thread::id gMainThread = std::this_thread::get_id();

struct FdSource {
    HXRunLoopSourceID id = 0;
    int fd = -1;
    uint32_t events = 0;
    HXRunLoop::FileDescriptorCallback callback;
    HXRunLoopModes modes;
    bool removed = false;
};

struct EventHook {
    HXRunLoopSourceID id = 0;
    std::function<bool()> dispatch;
    HXTimeInterval maximumWait = -1;
    HXRunLoopModes modes;
    bool removed = false;
};

struct Observer {
    HXRunLoopSourceID id = 0;
    uint32_t activities = 0;
    std::function<void(HXRunLoopActivity)> callback;
    HXRunLoopModes modes;
    bool removed = false;
};

struct QueuedPerform {
    int order = 0;
    uint64_t sequence = 0;
    std::function<void()> fn;
    HXRunLoopModes modes;
    const void* target = nullptr;
    bool cancelled = false;
};

struct DelayedPerform {
    const void* target = nullptr;
    std::string name;
    std::weak_ptr<HXTimer> timer;
};

struct TimerEntry {
    std::shared_ptr<HXTimer> timer;
    HXRunLoopModes modes;
};

// Work handed over by another thread; `done` is signalled when a waiting caller may go on.
struct CrossThreadWork {
    std::function<void()> fn;
    HXRunLoopModes modes;
    struct Waiter {
        std::mutex lock;
        std::condition_variable condition;
        bool done = false;
    };
    std::shared_ptr<Waiter> waiter;
};

void addModes(HXRunLoopModes& into, const HXRunLoopModes& modes)
{
    for (const auto& mode : modes) {
        if (std::find(into.begin(), into.end(), mode) == into.end())
            into.push_back(mode);
    }
}

} // namespace

struct HXRunLoop::State {
    std::set<std::string> commonModes { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode,
        HXModalPanelRunLoopMode };
    std::vector<std::string> modeStack;
    std::vector<bool> stopRequested; // one flag per run in progress

    std::vector<TimerEntry> timers;
    uint64_t timerOrder = 0;
    std::vector<DelayedPerform> delayedPerforms;
    std::vector<std::shared_ptr<QueuedPerform>> performs;
    uint64_t performSequence = 0;

    std::map<HXRunLoopSourceID, std::shared_ptr<FdSource>> sources;
    std::map<HXRunLoopSourceID, std::shared_ptr<EventHook>> hooks;
    std::map<HXRunLoopSourceID, std::shared_ptr<Observer>> observers;
    HXRunLoopSourceID nextID = 1;

    bool lastPassWaited = false;

    int wakeFd = -1;
    std::mutex crossThreadLock;
    std::vector<CrossThreadWork> crossThread;

    bool serves(const HXRunLoopModes& modes, const std::string& mode) const
    {
        for (const auto& m : modes) {
            if (m == mode)
                return true;
            if (m == HXRunLoopCommonModes && commonModes.count(mode))
                return true;
        }
        return false;
    }

    TimerEntry* findTimer(const HXTimer* timer)
    {
        for (auto& entry : timers) {
            if (entry.timer.get() == timer)
                return &entry;
        }
        return nullptr;
    }
};

// MARK: Clocks

HXTimeInterval HXMonotonicClock::now() const
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void HXManualClock::advance(HXTimeInterval seconds)
{
    if (seconds < 0)
        seconds = 0;
    if (!_runLoop) {
        _now += seconds;
        return;
    }
    std::string mode = _runLoop->currentMode();
    if (mode.empty())
        mode = HXDefaultRunLoopMode;
    HXTimeInterval target = _now + seconds;
    _runLoop->runInMode(mode, seconds, false);
    // A stop() from a callback may end the run early; the clock still arrives where it was sent.
    if (_now < target)
        _now = target;
}

// MARK: Life

HXRunLoop& HXRunLoop::main()
{
    // Never destroyed: objects with static lifetime may still remove their sources at exit.
    static HXRunLoop* loop = new HXRunLoop();
    return *loop;
}

bool HXRunLoop::isMainThread()
{
    return std::this_thread::get_id() == gMainThread;
}

HXRunLoop::HXRunLoop()
    : _clock(std::make_shared<HXMonotonicClock>())
    , _state(std::make_unique<State>())
{
    _state->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (_state->wakeFd < 0)
        HXLog("HXRunLoop: eventfd failed: " + HXError::posix(errno).localizedDescription());
}

HXRunLoop::~HXRunLoop()
{
    for (auto& entry : _state->timers)
        entry.timer->_runLoop = nullptr;
    _clock->attach(nullptr);
    if (_state->wakeFd >= 0)
        ::close(_state->wakeFd);
}

void HXRunLoop::setClock(std::shared_ptr<HXClock> clock)
{
    if (!clock)
        clock = std::make_shared<HXMonotonicClock>();
    _clock->attach(nullptr);
    _clock = std::move(clock);
    _clock->attach(this);
}

// MARK: Modes

const std::string& HXRunLoop::currentMode() const
{
    static const std::string none;
    return _state->modeStack.empty() ? none : _state->modeStack.back();
}

void HXRunLoop::addCommonMode(const std::string& mode)
{
    if (mode != HXRunLoopCommonModes)
        _state->commonModes.insert(mode);
}

bool HXRunLoop::isCommonMode(const std::string& mode) const
{
    return _state->commonModes.count(mode) != 0;
}

int HXRunLoop::runDepth() const
{
    return int(_state->modeStack.size());
}

// MARK: Timers

void HXRunLoop::addTimer(const std::shared_ptr<HXTimer>& timer, const std::string& mode)
{
    addTimer(timer, HXRunLoopModes { mode });
}

void HXRunLoop::addTimer(const std::shared_ptr<HXTimer>& timer, const HXRunLoopModes& modes)
{
    if (!timer || !timer->isValid())
        return;
    if (timer->_runLoop && timer->_runLoop != this) {
        HXLog("HXRunLoop: a timer can belong to one run loop only");
        return;
    }
    if (TimerEntry* entry = _state->findTimer(timer.get())) {
        addModes(entry->modes, modes);
        return;
    }
    timer->_runLoop = this;
    timer->_order = ++_state->timerOrder;
    TimerEntry entry { timer, {} };
    addModes(entry.modes, modes);
    _state->timers.push_back(std::move(entry));
}

void HXRunLoop::timerDidChange(HXTimer&)
{
    // Fire dates are read afresh on every pass; nothing is cached.
}

void HXRunLoop::timerDidInvalidate(HXTimer& timer)
{
    auto& timers = _state->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                     [&](const TimerEntry& e) { return e.timer.get() == &timer; }),
        timers.end());
}

HXTimeInterval HXRunLoop::nextFireDate(const std::string& mode) const
{
    HXTimeInterval next = kForever;
    for (const auto& entry : _state->timers) {
        if (entry.timer->isValid() && _state->serves(entry.modes, mode))
            next = std::min(next, entry.timer->fireDate());
    }
    return next;
}

// MARK: Performs

void HXRunLoop::performAfterDelay(
    const void* target, HXTimeInterval delay, std::function<void()> fn, const HXRunLoopModes& modes)
{
    performAfterDelay(target, std::string(), delay, std::move(fn), modes);
}

void HXRunLoop::performAfterDelay(const void* target, const std::string& name, HXTimeInterval delay,
    std::function<void()> fn, const HXRunLoopModes& modes)
{
    auto& performs = _state->delayedPerforms;
    performs.erase(std::remove_if(performs.begin(), performs.end(),
                       [](const DelayedPerform& p) {
                           auto timer = p.timer.lock();
                           return !timer || !timer->isValid();
                       }),
        performs.end());
    auto timer = std::make_shared<HXTimer>(
        now() + std::max(0.0, delay), 0.0, false, [fn = std::move(fn)](HXTimer&) { fn(); });
    addTimer(timer, modes);
    performs.push_back({ target, name, timer });
}

void HXRunLoop::cancelPerformRequests(const void* target)
{
    // Collected first: invalidating a timer may run destructors that queue or cancel other performs.
    std::vector<std::shared_ptr<HXTimer>> doomed;
    for (auto& p : _state->delayedPerforms) {
        if (p.target == target) {
            if (auto timer = p.timer.lock())
                doomed.push_back(timer);
        }
    }
    for (auto& p : _state->performs) {
        if (p->target == target && target)
            p->cancelled = true;
    }
    auto& performs = _state->performs;
    performs.erase(
        std::remove_if(performs.begin(), performs.end(), [](const auto& p) { return p->cancelled; }),
        performs.end());
    for (auto& timer : doomed)
        timer->invalidate();
}

void HXRunLoop::cancelPerformRequests(const void* target, const std::string& name)
{
    std::vector<std::shared_ptr<HXTimer>> doomed;
    for (auto& p : _state->delayedPerforms) {
        if (p.target == target && p.name == name) {
            if (auto timer = p.timer.lock())
                doomed.push_back(timer);
        }
    }
    for (auto& timer : doomed)
        timer->invalidate();
}

void HXRunLoop::perform(std::function<void()> fn, int order, const HXRunLoopModes& modes, const void* target)
{
    auto p = std::make_shared<QueuedPerform>();
    p->order = order;
    p->sequence = ++_state->performSequence;
    p->fn = std::move(fn);
    p->modes = modes;
    p->target = target;
    _state->performs.push_back(std::move(p));
}

void HXRunLoop::performOnMainThread(std::function<void()> fn, bool wait, const HXRunLoopModes& modes)
{
    if (wait && isMainThread()) {
        fn();
        return;
    }
    HXRunLoop& loop = main();
    CrossThreadWork work { std::move(fn), modes, nullptr };
    std::shared_ptr<CrossThreadWork::Waiter> waiter;
    if (wait) {
        waiter = std::make_shared<CrossThreadWork::Waiter>();
        work.waiter = waiter;
    }
    {
        std::lock_guard guard(loop._state->crossThreadLock);
        loop._state->crossThread.push_back(std::move(work));
    }
    loop.wakeUp();
    if (waiter) {
        std::unique_lock lock(waiter->lock);
        waiter->condition.wait(lock, [&] { return waiter->done; });
    }
}

void HXRunLoop::wakeUp()
{
    if (_state->wakeFd < 0)
        return;
    uint64_t one = 1;
    ssize_t n = ::write(_state->wakeFd, &one, sizeof one);
    (void)n; // a full counter already means "awake"
}

// MARK: Sources, hooks, observers

HXRunLoopSourceID HXRunLoop::addFileDescriptor(
    int fd, uint32_t events, FileDescriptorCallback callback, const HXRunLoopModes& modes)
{
    auto source = std::make_shared<FdSource>();
    source->id = _state->nextID++;
    source->fd = fd;
    source->events = events;
    source->callback = std::move(callback);
    source->modes = modes;
    _state->sources[source->id] = source;
    return source->id;
}

void HXRunLoop::setFileDescriptorEvents(HXRunLoopSourceID id, uint32_t events)
{
    auto it = _state->sources.find(id);
    if (it != _state->sources.end())
        it->second->events = events;
}

void HXRunLoop::removeSource(HXRunLoopSourceID id)
{
    if (auto it = _state->sources.find(id); it != _state->sources.end()) {
        it->second->removed = true;
        _state->sources.erase(it);
    }
    if (auto it = _state->hooks.find(id); it != _state->hooks.end()) {
        it->second->removed = true;
        _state->hooks.erase(it);
    }
    if (auto it = _state->observers.find(id); it != _state->observers.end()) {
        it->second->removed = true;
        _state->observers.erase(it);
    }
}

HXRunLoopSourceID HXRunLoop::addEventHook(
    std::function<bool()> dispatch, HXTimeInterval maximumWait, const HXRunLoopModes& modes)
{
    auto hook = std::make_shared<EventHook>();
    hook->id = _state->nextID++;
    hook->dispatch = std::move(dispatch);
    hook->maximumWait = maximumWait;
    hook->modes = modes;
    _state->hooks[hook->id] = hook;
    return hook->id;
}

HXRunLoopSourceID HXRunLoop::addObserver(
    uint32_t activities, std::function<void(HXRunLoopActivity)> callback, const HXRunLoopModes& modes)
{
    auto observer = std::make_shared<Observer>();
    observer->id = _state->nextID++;
    observer->activities = activities;
    observer->callback = std::move(callback);
    observer->modes = modes;
    _state->observers[observer->id] = observer;
    return observer->id;
}

// MARK: Running

namespace {

void notifyObservers(HXRunLoop::State& state, HXRunLoopActivity activity, const std::string& mode)
{
    std::vector<std::shared_ptr<Observer>> snapshot;
    for (auto& [id, observer] : state.observers) {
        if ((observer->activities & activity) && state.serves(observer->modes, mode))
            snapshot.push_back(observer);
    }
    for (auto& observer : snapshot) {
        if (!observer->removed)
            observer->callback(activity);
    }
}

} // namespace

HXRunLoopRunResult HXRunLoop::runInMode(
    const std::string& mode, HXTimeInterval seconds, bool returnAfterSourceHandled)
{
    HXTimeInterval limit = seconds >= kForever ? kForever : now() + std::max(0.0, seconds);
    _state->modeStack.push_back(mode);
    _state->stopRequested.push_back(false);
    // Popped even when a callback throws, so that the loop's idea of its current mode stays right.
    struct RunGuard {
        HXRunLoop::State& state;
        const std::string& mode;
        ~RunGuard()
        {
            notifyObservers(state, HXRunLoopExit, mode);
            state.stopRequested.pop_back();
            state.modeStack.pop_back();
        }
    } guard { *_state, mode };
    notifyObservers(*_state, HXRunLoopEntry, mode);
    for (;;) {
        bool handled = runPass(mode, limit);
        bool waited = _state->lastPassWaited;
        if (_state->stopRequested.back())
            return HXRunLoopRunResult::Stopped;
        if (returnAfterSourceHandled && handled)
            return HXRunLoopRunResult::HandledSource;
        // After a pass that slept, one more pass serves what fell due at the very end.
        if (now() >= limit && !waited)
            return HXRunLoopRunResult::TimedOut;
    }
}

bool HXRunLoop::runMode(const std::string& mode, HXTimeInterval limitDate)
{
    return runInMode(mode, std::max(0.0, limitDate - now()), true) == HXRunLoopRunResult::HandledSource;
}

void HXRunLoop::runUntilDate(HXTimeInterval limitDate)
{
    runInMode(HXDefaultRunLoopMode, std::max(0.0, limitDate - now()), false);
}

void HXRunLoop::run()
{
    runInMode(HXDefaultRunLoopMode, kForever, false);
}

void HXRunLoop::stop()
{
    if (!_state->stopRequested.empty())
        _state->stopRequested.back() = true;
}

bool HXRunLoop::runPass(const std::string& mode, HXTimeInterval limitDate)
{
    State& state = *_state;
    bool handled = false;
    state.lastPassWaited = false;

    // 1. Work handed over by other threads.
    std::vector<CrossThreadWork> work;
    {
        std::lock_guard guard(state.crossThreadLock);
        auto& queue = state.crossThread;
        auto split = std::stable_partition(queue.begin(), queue.end(),
            [&](const CrossThreadWork& w) { return !state.serves(w.modes, mode); });
        std::move(split, queue.end(), std::back_inserter(work));
        queue.erase(split, queue.end());
    }
    for (auto& w : work) {
        // The waiting thread is released even when the work throws.
        struct Release {
            std::shared_ptr<CrossThreadWork::Waiter> waiter;
            ~Release()
            {
                if (!waiter)
                    return;
                std::lock_guard guard(waiter->lock);
                waiter->done = true;
                waiter->condition.notify_all();
            }
        } release { w.waiter };
        handled = true;
        HXRunCatchingUncaughtExceptions(w.fn);
    }

    // 2. Due timers, earliest first (equal dates in the order they were added).
    HXTimeInterval current = now();
    std::vector<std::shared_ptr<HXTimer>> due;
    for (const auto& entry : state.timers) {
        if (entry.timer->isValid() && entry.timer->fireDate() <= current && state.serves(entry.modes, mode))
            due.push_back(entry.timer);
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
        return a->fireDate() != b->fireDate() ? a->fireDate() < b->fireDate() : a->_order < b->_order;
    });
    for (auto& timer : due) {
        // An earlier callback may have invalidated it, moved it or taken it out of this mode.
        if (!timer->isValid() || timer->fireDate() > current)
            continue;
        TimerEntry* entry = state.findTimer(timer.get());
        if (!entry || !state.serves(entry->modes, mode))
            continue;
        timer->fireScheduled(current);
        handled = true;
    }

    // 3. Queued performs, by order.
    std::vector<std::shared_ptr<QueuedPerform>> batch;
    {
        auto& queue = state.performs;
        auto split = std::stable_partition(
            queue.begin(), queue.end(), [&](const auto& p) { return !state.serves(p->modes, mode); });
        std::move(split, queue.end(), std::back_inserter(batch));
        queue.erase(split, queue.end());
        std::stable_sort(
            batch.begin(), batch.end(), [](const auto& a, const auto& b) { return a->order < b->order; });
    }
    for (auto& p : batch) {
        if (p->cancelled)
            continue;
        p->cancelled = true; // ran: a later cancel has nothing to do
        HXRunCatchingUncaughtExceptions(p->fn);
        handled = true;
    }

    // 4. Event hooks of window backends.
    HXTimeInterval hookWait = kForever;
    {
        std::vector<std::shared_ptr<EventHook>> hooks;
        for (auto& [id, hook] : state.hooks) {
            if (state.serves(hook->modes, mode))
                hooks.push_back(hook);
        }
        for (auto& hook : hooks) {
            if (hook->removed)
                continue;
            if (hook->maximumWait >= 0)
                hookWait = std::min(hookWait, hook->maximumWait);
            if (hook->dispatch())
                handled = true;
        }
    }

    // 5. How long to wait.
    auto pendingWork = [&] {
        for (const auto& p : state.performs) {
            if (state.serves(p->modes, mode))
                return true;
        }
        std::lock_guard guard(state.crossThreadLock);
        for (const auto& w : state.crossThread) {
            if (state.serves(w.modes, mode))
                return true;
        }
        return false;
    };
    auto waitTime = [&] {
        if (handled || pendingWork())
            return 0.0;
        HXTimeInterval t = std::min(nextFireDate(mode), limitDate) - now();
        t = std::min(t, hookWait);
        return std::max(0.0, t);
    };
    HXTimeInterval wait = waitTime();
    if (wait > 0) {
        notifyObservers(state, HXRunLoopBeforeWaiting, mode);
        wait = waitTime();
    }

    // 6. Poll the descriptors (and sleep, on the real clock).
    std::vector<std::shared_ptr<FdSource>> polled;
    std::vector<pollfd> fds;
    if (state.wakeFd >= 0)
        fds.push_back({ state.wakeFd, POLLIN, 0 });
    for (auto& [id, source] : state.sources) {
        if (source->events == 0 || source->fd < 0 || !state.serves(source->modes, mode))
            continue;
        short events = 0;
        if (source->events & HXFileDescriptorReadable)
            events |= POLLIN;
        if (source->events & HXFileDescriptorWritable)
            events |= POLLOUT;
        fds.push_back({ source->fd, events, 0 });
        polled.push_back(source);
    }
    bool manual = _clock->isManual();
    int ready = 0;
    if (manual || wait <= 0) {
        ready = ::poll(fds.data(), fds.size(), manual && wait >= kForever ? -1 : 0);
    } else if (wait >= kForever) {
        ready = ::poll(fds.data(), fds.size(), -1);
    } else {
        timespec ts {};
        ts.tv_sec = time_t(wait);
        ts.tv_nsec = long((wait - double(ts.tv_sec)) * 1e9);
        ready = ::ppoll(fds.data(), fds.size(), &ts, nullptr);
    }
    if (ready < 0 && errno != EINTR)
        HXLog("HXRunLoop: poll failed: " + HXError::posix(errno).localizedDescription());
    if (wait > 0) {
        state.lastPassWaited = true;
        if (manual && ready <= 0 && wait < kForever) {
            if (auto* clock = dynamic_cast<HXManualClock*>(_clock.get()))
                clock->setNow(clock->now() + wait);
        }
    }

    // 7. Serve the descriptors that became ready; a source removed or added meanwhile is left alone.
    if (ready > 0) {
        size_t first = 0;
        if (state.wakeFd >= 0) {
            first = 1;
            if (fds[0].revents & POLLIN) {
                uint64_t count = 0;
                ssize_t n = ::read(state.wakeFd, &count, sizeof count);
                (void)n;
            }
        }
        for (size_t i = first; i < fds.size(); ++i) {
            short revents = fds[i].revents;
            if (!revents)
                continue;
            auto& source = polled[i - first];
            if (source->removed || source->fd != fds[i].fd)
                continue;
            if (revents & POLLNVAL) {
                HXLog("HXRunLoop: descriptor " + std::to_string(source->fd)
                    + " was closed before its source was removed; the source is switched off");
                source->events = 0;
                continue;
            }
            uint32_t events = 0;
            if (revents & (POLLIN | POLLPRI))
                events |= HXFileDescriptorReadable;
            if (revents & POLLOUT)
                events |= HXFileDescriptorWritable;
            if (revents & (POLLHUP | POLLERR))
                events |= (source->events & HXFileDescriptorReadable) ? HXFileDescriptorReadable
                                                                      : HXFileDescriptorWritable;
            events &= source->events;
            if (!events)
                continue;
            HXRunCatchingUncaughtExceptions([&] { source->callback(source->fd, events); });
            handled = true;
        }
    }

    // 8. The end of the pass.
    notifyObservers(state, HXRunLoopPassEnd, mode);
    return handled;
}
