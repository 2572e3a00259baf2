#include "platform/mvkit/playback/movie_clock.h"

#include <algorithm>
#include <cmath>

MVMovieClock::MVMovieClock(int32_t timeScale, TimeSource source)
    : _timeScale(std::max(1, timeScale))
    , _source(std::move(source))
{
    _anchorHost = _source ? _source() : 0;
}

void MVMovieClock::setTimeSource(TimeSource source)
{
    double now = presentTime();
    _source = std::move(source);
    anchor(now);
}

void MVMovieClock::setFollower(Follower follower)
{
    const double host = sourceNow();
    const double now = presentTimeAt(host);
    _follower = std::move(follower);
    anchorAt(now, host);
}

void MVMovieClock::setTimeScale(int32_t timeScale)
{
    timeScale = std::max(1, timeScale);
    double factor = double(timeScale) / _timeScale;
    const double host = sourceNow();
    double now = presentTimeAt(host) * factor;
    _duration = int64_t(std::llround(double(_duration) * factor));
    _selectionStart = int64_t(std::llround(double(_selectionStart) * factor));
    _selectionDuration = int64_t(std::llround(double(_selectionDuration) * factor));
    _timeScale = timeScale;
    anchorAt(now, host);
}

void MVMovieClock::anchorAt(double time, double host)
{
    _anchorTime = time;
    _anchorHost = host;
    _time = time;
}

double MVMovieClock::timeAt(double host) const
{
    return _anchorTime + (host - _anchorHost) * _rate * _timeScale;
}

double MVMovieClock::presentTimeAt(double host) const
{
    if (_held)
        return _time;
    // The sound may run a little past the movie's ends before the clock turns it round: the time does not.
    if (_follower && _rate != 0)
        return std::clamp(_follower(), 0.0, double(_duration));
    return timeAt(host);
}

double MVMovieClock::presentTime() const
{
    return presentTimeAt(sourceNow());
}

void MVMovieClock::setHeld(bool held)
{
    if (held == _held)
        return;
    const double host = sourceNow();
    anchorAt(presentTimeAt(host), host);
    _held = held;
}

int64_t MVMovieClock::currentTime() const
{
    return int64_t(std::floor(_time + 1e-9));
}

void MVMovieClock::setDuration(int64_t duration)
{
    _duration = std::max<int64_t>(0, duration);
    const double host = sourceNow();
    anchorAt(std::clamp(presentTimeAt(host), 0.0, double(_duration)), host);
}

void MVMovieClock::changeRate(double rate)
{
    const double host = sourceNow();
    changeRateAt(rate, presentTimeAt(host), host);
}

void MVMovieClock::changeRateAt(double rate, double time, double host)
{
    if (!std::isfinite(rate))
        rate = 0;
    if (rate == _rate)
        return;
    anchorAt(time, host);
    _rate = rate;
    if (onRateChange)
        onRateChange(rate);
}

void MVMovieClock::jumpTo(double time, double host)
{
    anchorAt(std::clamp(time, 0.0, double(_duration)), host);
    if (onTimeJump)
        onTimeJump();
}

void MVMovieClock::setRate(double rate)
{
    if (!std::isfinite(rate))
        rate = 0;
    // Only the selection plays: starting outside it starts at its near end.
    if (rate != 0 && _rate == 0 && _selectionOnly && _selectionDuration > 0) {
        double t = presentTime();
        if (t < rangeStart() || t > rangeEnd() || (rate > 0 && t >= rangeEnd())
            || (rate < 0 && t <= rangeStart()))
            jumpTo(double(rate > 0 ? rangeStart() : rangeEnd()));
    }
    changeRate(rate);
}

void MVMovieClock::setCurrentTime(int64_t time)
{
    jumpTo(double(time));
}

void MVMovieClock::setPlaysSelectionOnly(bool flag)
{
    _selectionOnly = flag;
}

void MVMovieClock::setSelection(int64_t start, int64_t duration)
{
    _selectionStart = std::max<int64_t>(0, start);
    _selectionDuration = std::max<int64_t>(0, duration);
}

int64_t MVMovieClock::rangeStart() const
{
    return (_selectionOnly && _selectionDuration > 0) ? std::min(_selectionStart, _duration) : 0;
}

int64_t MVMovieClock::rangeEnd() const
{
    return (_selectionOnly && _selectionDuration > 0)
        ? std::min(_selectionStart + _selectionDuration, _duration)
        : _duration;
}

bool MVMovieClock::isDone(bool considerSelection) const
{
    int64_t start = considerSelection ? rangeStart() : 0;
    int64_t end = considerSelection ? rangeEnd() : _duration;
    double t = _time;
    return _rate < 0 ? t <= double(start) : t >= double(end);
}

void MVMovieClock::update()
{
    if (_rate == 0)
        return;
    // The source is read once: the time is worked out from the anchor at that reading and only a change
    // moves the anchor, so nothing is lost between one update and the next.
    const double host = sourceNow();
    double t = presentTimeAt(host);
    if (_allFrames && _stepper && !isFollowing()) {
        // Never beyond the next frame: held back there, the time runs on from it.
        int direction = _rate > 0 ? 1 : -1;
        int64_t here = currentTime();
        int64_t next = _stepper(direction > 0 ? here : int64_t(std::ceil(_time - 1e-9)), direction);
        if (next != here && ((direction > 0 && t > double(next)) || (direction < 0 && t < double(next)))) {
            t = double(next);
            anchorAt(t, host);
        }
    }
    const double start = double(rangeStart()), end = double(rangeEnd());
    const double length = end - start;
    const bool forward = _rate > 0;
    if ((forward && t < end) || (!forward && t > start)) {
        _time = t;
        return;
    }
    if (_loopMode == MVLoopMode::None || length <= 0) {
        // Stopped right at the end: a clock that follows the sound may have heard a little past it.
        changeRateAt(0, forward ? end : start, host);
        if (onDidEnd)
            onDidEnd();
        return;
    }
    const double over = forward ? t - end : start - t; // how far past the end the time ran
    if (_loopMode == MVLoopMode::Loop) {
        double into = std::fmod(over, length);
        jumpTo(forward ? start + into : end - into, host);
        return;
    }
    // Back and forth: reflect at the end; an odd number of whole lengths past it reflects again.
    double cycles = std::floor(over / length);
    double into = over - cycles * length;
    bool turned = std::fmod(cycles, 2.0) == 0;
    double time = forward ? (turned ? end - into : start + into) : (turned ? start + into : end - into);
    anchorAt(time, host);
    if (turned) {
        _rate = -_rate;
        if (onRateChange)
            onRateChange(_rate);
    }
}

void MVMovieClock::step(int frames, int64_t defaultStep)
{
    changeRate(0);
    int64_t t = currentTime();
    if (_stepper) {
        int direction = frames > 0 ? 1 : -1;
        for (int i = 0; i < std::abs(frames); ++i) {
            int64_t next = _stepper(t, direction);
            if (next == t)
                break;
            t = next;
        }
    } else {
        t += int64_t(frames) * std::max<int64_t>(1, defaultStep);
    }
    jumpTo(double(std::clamp<int64_t>(t, 0, _duration)));
}

void MVMovieClock::stepByTime(int64_t delta)
{
    changeRate(0);
    jumpTo(double(std::clamp<int64_t>(currentTime() + delta, 0, _duration)));
}

void MVMovieClock::gotoBeginning()
{
    jumpTo(double(rangeStart()));
}

void MVMovieClock::gotoEnd()
{
    jumpTo(double(rangeEnd()));
}
