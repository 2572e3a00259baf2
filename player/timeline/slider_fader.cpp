#include "player/timeline/slider_fader.h"

#include "platform/winkit/view.h"

#include <algorithm>
#include <cmath>

void MVPSliderFader::setSelectionHidden(bool hidden, bool fade)
{
    if (fade) {
        if (hidden == _fadingIn) {
            auto timer = HXTimer::timer(kFadeInterval, true, [this](HXTimer&) { this->fade(); });
            HXRunLoop::main().addTimer(
                timer, HXRunLoopModes { HXDefaultRunLoopMode, HXEventTrackingRunLoopMode });
            setFadeTimer(timer);
        }
    } else {
        setFadeTimer(nullptr);
        _view.setHidden(hidden);
        _alphaValue = hidden ? 0.0f : 1.0f;
        _view.setNeedsDisplay(true);
    }
    _fadingIn = !hidden;
}

void MVPSliderFader::fade()
{
    _alphaValue += _fadingIn ? kFadeStep : -kFadeStep;
    // Five steps of 0.2 leave a rounding error in single precision; a fade must end on its fifth tick.
    if (std::abs(_alphaValue) < 1e-4f)
        _alphaValue = 0;
    else if (std::abs(_alphaValue - 1) < 1e-4f)
        _alphaValue = 1;
    if (_fadingIn) {
        if (_view.isHidden())
            _view.setHidden(false);
        if (_alphaValue >= 1.0f)
            setFadeTimer(nullptr);
    } else if (_alphaValue <= 0.0f) {
        setFadeTimer(nullptr);
        _view.setHidden(true);
    }
    if (_view.window())
        _view.display();
    else
        _view.setNeedsDisplay(true);
}

void MVPSliderFader::setFadeTimer(std::shared_ptr<HXTimer> timer)
{
    if (timer == _fadeTimer)
        return;
    auto old = std::move(_fadeTimer);
    _fadeTimer = std::move(timer);
    if (old)
        old->invalidate();
}

double MVPSliderFader::drawingAlpha() const
{
    return std::clamp(double(_alphaValue), 0.0, 1.0);
}
