#include "platform/basekit/timer.h"

#include "platform/basekit/uncaught_exception.h"

#include <limits>

#include <cmath>

namespace {
// A repeating timer with no interval would fire on every pass; give it a floor instead.
constexpr HXTimeInterval kMinimumInterval = 0.0001;
} // namespace

std::shared_ptr<HXTimer> HXTimer::timer(HXTimeInterval interval, bool repeats, Callback callback)
{
    return timer(HXRunLoop::main().now() + std::max(0.0, interval), interval, repeats, std::move(callback));
}

std::shared_ptr<HXTimer> HXTimer::timer(
    HXTimeInterval fireDate, HXTimeInterval interval, bool repeats, Callback callback)
{
    return std::make_shared<HXTimer>(fireDate, interval, repeats, std::move(callback));
}

std::shared_ptr<HXTimer> HXTimer::scheduledTimer(
    HXTimeInterval interval, bool repeats, Callback callback, const HXRunLoopModes& modes)
{
    auto t = timer(interval, repeats, std::move(callback));
    HXRunLoop::main().addTimer(t, modes);
    return t;
}

HXTimer::HXTimer(HXTimeInterval fireDate, HXTimeInterval interval, bool repeats, Callback callback)
    : _fireDate(fireDate)
    , _interval(repeats ? std::max(interval, kMinimumInterval) : 0.0)
    , _repeats(repeats)
    , _callback(std::move(callback))
{
}

void HXTimer::fire()
{
    if (!_valid)
        return;
    auto self = shared_from_this();
    Callback callback = _callback; // a copy: invalidating from inside must not destroy the running callback
    if (callback)
        callback(*this);
    if (!_repeats)
        invalidate();
}

void HXTimer::fireScheduled(HXTimeInterval now)
{
    auto self = shared_from_this(); // the callback may drop the last outside reference
    // A one-shot timer is taken off the schedule while its callback runs, so a nested run of the loop
    // inside the callback does not fire it again.
    constexpr HXTimeInterval kNever = std::numeric_limits<HXTimeInterval>::infinity();
    if (!_repeats)
        setFireDate(kNever);
    if (_repeats) {
        // Missed firings are skipped, not caught up with: the next date is the first one after now.
        HXTimeInterval next = _fireDate + _interval;
        if (next <= now)
            next = _fireDate + (std::floor((now - _fireDate) / _interval) + 1) * _interval;
        while (next <= now)
            next += _interval;
        _fireDate = next;
    }
    Callback callback = _callback; // a copy: invalidating from inside must not destroy the running callback
    if (callback)
        HXRunCatchingUncaughtExceptions([&] { callback(*this); });
    // A one-shot timer ends after firing, unless its callback gave it a new date to fire at.
    if (!_repeats && _valid && _fireDate == kNever)
        invalidate();
}

void HXTimer::invalidate()
{
    if (!_valid)
        return;
    _valid = false;
    auto self = weak_from_this().lock(); // the loop may hold the last reference
    if (_runLoop) {
        HXRunLoop* loop = _runLoop;
        _runLoop = nullptr;
        loop->timerDidInvalidate(*this);
    }
    // Whatever the callback captured goes now, not when the last reference to the timer goes.
    Callback dropped = std::move(_callback);
    _callback = nullptr;
}

void HXTimer::setFireDate(HXTimeInterval date)
{
    _fireDate = date;
    if (_runLoop)
        _runLoop->timerDidChange(*this);
}
