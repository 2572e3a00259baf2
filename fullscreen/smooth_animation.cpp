#include "fullscreen/smooth_animation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

MVPSmoothAnimation::MVPSmoothAnimation(double duration)
    : _duration(duration)
{
}

MVPSmoothAnimation::~MVPSmoothAnimation()
{
    if (_timer)
        _timer->invalidate();
}

void MVPSmoothAnimation::setTimer(std::shared_ptr<HXTimer> timer)
{
    if (_timer == timer)
        return;
    if (_timer)
        _timer->invalidate();
    _timer = std::move(timer);
}

void MVPSmoothAnimation::startAnimation()
{
    if (_animating)
        return;
    if (_delegate && !_delegate->smoothAnimationShouldStart(*this))
        return;
    if (_currentProgress >= 1)
        _currentProgress = 0;
    auto& loop = HXRunLoop::current();
    float interval = 1.0f / _frameRate;
    auto timer = HXTimer::timer(interval, true, [this](HXTimer&) { animationTimer(); });
    setTimer(timer);
    loop.addTimer(timer, HXEventTrackingRunLoopMode);
    _animating = true;
    _elapsedTime = loop.now();
}

void MVPSmoothAnimation::stopAnimation()
{
    if (!_animating)
        return;
    _animating = false;
    setTimer(nullptr);
    if (_delegate)
        _delegate->smoothAnimationDidStop(*this);
}

void MVPSmoothAnimation::setCurrentProgress(float progress)
{
    _currentProgress = progress;
    if (_delegate)
        _delegate->smoothAnimationDidReachProgress(*this, progress);
}

float MVPSmoothAnimation::currentValue() const
{
    float s = std::sin(_currentProgress * std::numbers::pi_v<float> / 2);
    return s * s;
}

void MVPSmoothAnimation::animationTimer()
{
    double now = HXRunLoop::current().now();
    double progress = _currentProgress + (now - _elapsedTime) / _duration;
    _elapsedTime = now;
    if (!(progress <= 1)) {
        // An overshoot (or a duration of 0) ends exactly at 1.
        setCurrentProgress(1);
        finish();
        return;
    }
    setCurrentProgress(float(progress));
    if (_currentProgress == 1)
        finish();
}

void MVPSmoothAnimation::finish()
{
    _animating = false;
    setTimer(nullptr);
    if (_delegate)
        _delegate->smoothAnimationDidEnd(*this);
}

// ---- MVPAnimatedFrame ----

MVPAnimatedFrame::MVPAnimatedFrame(const HXRect& startFrame, const HXRect& endFrame)
    : _startFrame(startFrame)
    , _deltaFrame { { endFrame.origin.x - startFrame.origin.x, endFrame.origin.y - startFrame.origin.y },
        { endFrame.size.width - startFrame.size.width, endFrame.size.height - startFrame.size.height } }
{
}

HXRect MVPAnimatedFrame::frameForAnimationPercentComplete(float fraction) const
{
    double f = std::clamp(double(fraction), 0.0, 1.0);
    return { { _startFrame.origin.x + f * _deltaFrame.origin.x,
                 _startFrame.origin.y + f * _deltaFrame.origin.y },
        { _startFrame.size.width + f * _deltaFrame.size.width,
            _startFrame.size.height + f * _deltaFrame.size.height } };
}

float MVPAnimatedFrame::animationPercentCompleteForFrame(const HXRect& frame) const
{
    const double values[] = { frame.origin.x - _startFrame.origin.x, frame.origin.y - _startFrame.origin.y,
        frame.size.width - _startFrame.size.width, frame.size.height - _startFrame.size.height };
    const double deltas[]
        = { _deltaFrame.origin.x, _deltaFrame.origin.y, _deltaFrame.size.width, _deltaFrame.size.height };
    double smallest = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 4; ++i) {
        if (deltas[i] != 0)
            smallest = std::min(smallest, values[i] / deltas[i]);
    }
    if (std::isinf(smallest))
        return 1;
    return float(std::clamp(smallest, 0.0, 1.0));
}
