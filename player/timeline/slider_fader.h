#pragma once
// MVPSliderFader: the fade in and out that the slider's selection markers and tick strip share. A fade
// runs on a repeating 0.05 s timer (also while the mouse is held down) that moves the opacity by 0.2 a
// tick, so a whole fade takes five ticks. Fading in unhides the view on the first tick and stops at full
// opacity; fading out stops at none and hides the view. Without a fade the state is set at once.
#include "platform/basekit/timer.h"

#include <memory>

class HXView;

class MVPSliderFader {
public:
    static constexpr double kFadeInterval = 0.05;
    static constexpr float kFadeStep = 0.2f;

    // `view` is the view that fades; it owns the fader.
    explicit MVPSliderFader(HXView& view)
        : _view(view)
    {
    }
    ~MVPSliderFader() { setFadeTimer(nullptr); }
    MVPSliderFader(const MVPSliderFader&) = delete;
    MVPSliderFader& operator=(const MVPSliderFader&) = delete;

    // A fade starts only when it goes the other way from the current (or last) one.
    void setSelectionHidden(bool hidden, bool fade);
    // One tick of the fade timer.
    void fade();
    // Holds `timer` and invalidates the one held before.
    void setFadeTimer(std::shared_ptr<HXTimer> timer);

    // Opacity to draw with (may step past 0 or 1 by a fraction of a step; drawing clamps it).
    float alphaValue() const { return _alphaValue; }
    // Opacity for drawing: alphaValue() kept within 0..1.
    double drawingAlpha() const;
    bool fadingIn() const { return _fadingIn; }
    bool isFading() const { return _fadeTimer != nullptr; }

private:
    HXView& _view;
    bool _fadingIn = true; // visible after creation
    float _alphaValue = 1.0f;
    std::shared_ptr<HXTimer> _fadeTimer;
};
