#pragma once
// HXProgressIndicator: a bar that fills from its minimum to its maximum, or, when indeterminate, a bar
// with a moving stripe (or a spinning wheel) while animated.
#include "platform/winkit/accessibility.h"
#include "platform/winkit/view.h"

#include <memory>

class HXTimer;

enum HXProgressIndicatorStyle : int { HXProgressIndicatorBarStyle = 0, HXProgressIndicatorSpinningStyle = 1 };

class HXProgressIndicator : public HXView, public HXAccessibilityElement {
public:
    explicit HXProgressIndicator(HXRect frame = HXZeroRect);
    ~HXProgressIndicator() override;

    HXProgressIndicatorStyle style() const { return _style; }
    void setStyle(HXProgressIndicatorStyle style);
    bool isIndeterminate() const { return _indeterminate; }
    void setIndeterminate(bool flag);
    double minValue() const { return _minValue; }
    void setMinValue(double value);
    double maxValue() const { return _maxValue; }
    void setMaxValue(double value);
    // Kept within the range; not a number reads as the minimum.
    double doubleValue() const { return _value; }
    void setDoubleValue(double value);
    void incrementBy(double delta) { setDoubleValue(_value + delta); }
    // The filled share of the bar, 0 ... 1.
    double fraction() const;
    bool isDisplayedWhenStopped() const { return _displayedWhenStopped; }
    void setDisplayedWhenStopped(bool flag);
    bool usesThreadedAnimation() const { return false; }
    void setUsesThreadedAnimation(bool) {}

    // The animation of an indeterminate indicator runs on the main run loop's timers.
    void startAnimation(HXObject* sender = nullptr);
    void stopAnimation(HXObject* sender = nullptr);
    bool isAnimating() const { return _timer != nullptr; }
    // The step of the animation (it counts up while animating).
    long animationPhase() const { return _phase; }
    void sizeToFit();

    void drawRect(HXRect dirtyRect) override;
    bool isFlipped() const override { return true; }

    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    HXProgressIndicatorStyle _style = HXProgressIndicatorBarStyle;
    bool _indeterminate = true;
    double _minValue = 0;
    double _maxValue = 100;
    double _value = 0;
    bool _displayedWhenStopped = true;
    std::shared_ptr<HXTimer> _timer;
    long _phase = 0;
};
