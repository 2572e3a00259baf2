#pragma once
// MVPSliderPlayheadButton: the timeline slider's knob for the current time. The slider view drags it; the
// knob takes the keyboard focus, answers the accessibility model as the current time's value indicator
// and lights up while it — or, without full keyboard access, the movie view — has the focus.
#include "platform/basekit/notification_center.h"
#include "platform/mvkit/time.h"
#include "platform/winkit/button.h"

#include <memory>
#include <string>

class MVPSliderMediaSourceProtocol;

// Whether the user reaches every control with the Tab key. Read from the user default "HXKeyboardUIMode"
// (bit 1 set: full access); off unless set.
bool MVPIsFullKeyboardAccessEnabled();

class MVPSliderPlayheadButton : public HXButton {
public:
    MVPSliderPlayheadButton(HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr, unsigned style = 0);
    ~MVPSliderPlayheadButton() override;
    static std::shared_ptr<MVPSliderPlayheadButton> sliderPlayheadButtonWithFrame(
        HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr, unsigned style = 0)
    {
        return std::make_shared<MVPSliderPlayheadButton>(frame, source, style);
    }

    // The source is not retained. Setting it refreshes whether its movie view has the focus.
    MVPSliderMediaSourceProtocol* mediaSource() const { return _mediaSource; }
    void setMediaSource(MVPSliderMediaSourceProtocol* source);
    unsigned style() const { return _style; }
    void setStyle(unsigned style);

    // The current time; the changers post the accessibility value change.
    MVTime currentTime() const;
    void setCurrentTime(MVTime time);
    void stepForward();
    void stepBackward();

    bool mediaSourceViewIsFirstResponder() const { return _mediaSourceViewIsFirstResponder; }
    bool isLit() const;
    std::string imageName() const;
    // Follows the window's first responder (run on the window's did-update notification).
    void windowDidUpdate();

    // HXView, HXResponder.
    void drawRect(HXRect dirtyRect) override;
    bool acceptsFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isOpaque() const override { return false; }
    void viewWillMoveToWindow(HXWindow* newWindow) override;

    // Accessibility: the current time's value indicator, child of the slider's track.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;
    bool accessibilityIsIgnored() const override;

private:
    bool mediaViewIsFirstResponderOf(const HXWindow* window) const;

    MVPSliderMediaSourceProtocol* _mediaSource = nullptr;
    bool _mediaSourceViewIsFirstResponder = false;
    unsigned _style = 0;
    HXObserverToken _windowUpdateObserver = 0;
};
