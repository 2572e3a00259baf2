#pragma once
// MVPSmoothAnimation: a progress from 0 to 1 over a duration, moved by a repeating timer that runs only
// while the run loop is in its event-tracking mode, with an eased value sin²(progress × π/2).
// MVPAnimatedFrame: a rectangle interpolated between a start and an end.
#include "platform/basekit/timer.h"
#include "platform/drawing/geometry.h"

#include <memory>

class MVPSmoothAnimation;

// What an animation tells its delegate. Only the progress message must be answered.
class MVPSmoothAnimationDelegate {
public:
    virtual ~MVPSmoothAnimationDelegate() = default;
    virtual bool smoothAnimationShouldStart(MVPSmoothAnimation&) { return true; }
    virtual void smoothAnimationDidReachProgress(MVPSmoothAnimation& animation, float progress) = 0;
    virtual void smoothAnimationDidEnd(MVPSmoothAnimation&) { }
    virtual void smoothAnimationDidStop(MVPSmoothAnimation&) { }
};

class MVPSmoothAnimation {
public:
    explicit MVPSmoothAnimation(double duration);
    ~MVPSmoothAnimation();
    MVPSmoothAnimation(const MVPSmoothAnimation&) = delete;
    MVPSmoothAnimation& operator=(const MVPSmoothAnimation&) = delete;

    // Nothing when already running or when the delegate declines. A finished progress starts again at 0.
    void startAnimation();
    // Stops a running animation and tells the delegate.
    void stopAnimation();
    bool isAnimating() const { return _animating; }

    float currentProgress() const { return _currentProgress; }
    // Sets the progress and tells the delegate (always, even when it did not change).
    void setCurrentProgress(float progress);
    // The eased value sin²(progress × π/2), in single precision.
    float currentValue() const;

    // One tick: the time since the last tick over the duration is added to the progress; reaching 1
    // (an overshoot counts as exactly 1) finishes the animation.
    void animationTimer();

    double duration() const { return _duration; }
    void setDuration(double duration) { _duration = duration; }
    float frameRate() const { return _frameRate; }
    void setFrameRate(float rate) { _frameRate = rate; }
    // The delegate is not owned.
    MVPSmoothAnimationDelegate* delegate() const { return _delegate; }
    void setDelegate(MVPSmoothAnimationDelegate* delegate) { _delegate = delegate; }
    const std::shared_ptr<HXTimer>& timer() const { return _timer; }
    // Replacing the timer invalidates the old one.
    void setTimer(std::shared_ptr<HXTimer> timer);

private:
    void finish();

    std::shared_ptr<HXTimer> _timer;
    MVPSmoothAnimationDelegate* _delegate = nullptr;
    double _duration;
    double _elapsedTime = 0; // the run loop's time of the last tick
    float _frameRate = 30.0f;
    bool _animating = false;
    float _currentProgress = 0;
};

class MVPAnimatedFrame {
public:
    MVPAnimatedFrame(const HXRect& startFrame, const HXRect& endFrame);

    // start + fraction × (end − start) per component, the fraction limited to 0 ... 1.
    HXRect frameForAnimationPercentComplete(float fraction) const;
    // How far `frame` is along the way: the smallest fraction over the components that change (those
    // that do not change say nothing), limited to 0 ... 1; 1 when nothing changes at all.
    float animationPercentCompleteForFrame(const HXRect& frame) const;
    HXRect startFrame() const { return _startFrame; }

private:
    HXRect _startFrame;
    HXRect _deltaFrame;
};
