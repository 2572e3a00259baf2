#pragma once
// HXTimer: a one-shot or repeating timer of a run loop. A scheduled timer is kept alive by the loop until it
// is invalidated (a one-shot timer invalidates itself after firing), so callers may hold it weakly.
// Fire dates are seconds on the run loop's clock (HXRunLoop::now()).
#include "platform/basekit/run_loop.h"

#include <functional>
#include <memory>

class HXTimer : public std::enable_shared_from_this<HXTimer> {
public:
    using Callback = std::function<void(HXTimer&)>;

    // A timer not yet added to a loop; it first fires `interval` seconds from now on the main loop's clock
    // (or at `fireDate`). Add it with HXRunLoop::addTimer.
    static std::shared_ptr<HXTimer> timer(HXTimeInterval interval, bool repeats, Callback callback);
    static std::shared_ptr<HXTimer> timer(
        HXTimeInterval fireDate, HXTimeInterval interval, bool repeats, Callback callback);
    // A timer added to the main run loop in the default mode (or in `modes`).
    static std::shared_ptr<HXTimer> scheduledTimer(HXTimeInterval interval, bool repeats, Callback callback,
        const HXRunLoopModes& modes = { HXDefaultRunLoopMode });

    HXTimer(HXTimeInterval fireDate, HXTimeInterval interval, bool repeats, Callback callback);

    // Fires now, outside the schedule: a repeating timer keeps its fire date, a one-shot one is invalidated.
    void fire();
    void invalidate();
    bool isValid() const { return _valid; }

    HXTimeInterval fireDate() const { return _fireDate; }
    void setFireDate(HXTimeInterval date);
    HXTimeInterval timeInterval() const { return _interval; } // 0 for a one-shot timer
    bool repeats() const { return _repeats; }

private:
    friend class HXRunLoop;
    void fireScheduled(HXTimeInterval now);

    HXTimeInterval _fireDate;
    HXTimeInterval _interval;
    bool _repeats;
    bool _valid = true;
    Callback _callback;
    HXRunLoop* _runLoop = nullptr; // the loop it was added to
    uint64_t _order = 0; // tie-break between equal fire dates: the order of adding
};
