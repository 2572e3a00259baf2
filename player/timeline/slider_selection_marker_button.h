#pragma once
// The selection markers of the timeline slider: the in-point (start) and out-point (end) knobs. They do
// not track the mouse themselves — the slider view drags them — but take the keyboard focus, step their
// end of the selection with the left and right arrow keys, fade with the selection indicators and answer
// the accessibility model as value indicators of the selection's ends.
#include "platform/mvkit/time.h"
#include "platform/winkit/button.h"
#include "player/timeline/slider_fader.h"

#include <memory>
#include <string>

class MVPSliderMediaSourceProtocol;

class MVPSliderSelectionMarkerButton : public HXButton {
public:
    enum class Edge { Start, End };

    MVPSliderSelectionMarkerButton(Edge edge, HXRect frame, MVPSliderMediaSourceProtocol* source);
    ~MVPSliderSelectionMarkerButton() override;

    Edge edge() const { return _edge; }
    // The source is not retained: its owner clears it before going away.
    MVPSliderMediaSourceProtocol* mediaSource() const { return _mediaSource; }
    void setMediaSource(MVPSliderMediaSourceProtocol* source);

    // Fading with the selection indicators.
    void setSelectionHidden(bool hidden, bool fade) { _fader.setSelectionHidden(hidden, fade); }
    void fade() { _fader.fade(); }
    void setFadeTimer(std::shared_ptr<HXTimer> timer) { _fader.setFadeTimer(std::move(timer)); }
    float alphaValue() const { return _fader.alphaValue(); }
    bool isFading() const { return _fader.isFading(); }

    // The marker's time: its end of the selection. The changers post the accessibility value change.
    MVTime currentTime() const;
    void setCurrentTime(MVTime time);
    void stepForward();
    void stepBackward();

    // The image drawn now (selection present or not, focused or not).
    std::string imageName() const;
    bool isFocused() const;

    // HXView, HXResponder.
    void drawRect(HXRect dirtyRect) override;
    void keyDown(const HXEvent& event) override;
    bool acceptsFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isOpaque() const override { return false; }
    void viewWillMoveToSuperview(HXView* newSuperview) override;

    // Accessibility: a value indicator of the selection's end, child of the slider's track.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;
    bool accessibilityIsIgnored() const override;
    std::shared_ptr<HXObject> accessibilityHitTest(HXPoint point) override;
    std::shared_ptr<HXObject> accessibilityFocusedUIElement() override;

private:
    void stepWithoutNotice(bool forward);

    Edge _edge;
    MVPSliderMediaSourceProtocol* _mediaSource = nullptr;
    MVPSliderFader _fader { *this };
};

class MVPSliderSelectionStartMarkerButton : public MVPSliderSelectionMarkerButton {
public:
    explicit MVPSliderSelectionStartMarkerButton(HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr)
        : MVPSliderSelectionMarkerButton(Edge::Start, frame, source)
    {
    }
    static std::shared_ptr<MVPSliderSelectionStartMarkerButton> sliderSelectionStartMarkerButtonWithFrame(
        HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr)
    {
        return std::make_shared<MVPSliderSelectionStartMarkerButton>(frame, source);
    }
};

class MVPSliderSelectionEndMarkerButton : public MVPSliderSelectionMarkerButton {
public:
    explicit MVPSliderSelectionEndMarkerButton(HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr)
        : MVPSliderSelectionMarkerButton(Edge::End, frame, source)
    {
    }
    static std::shared_ptr<MVPSliderSelectionEndMarkerButton> sliderSelectionEndMarkerButtonWithFrame(
        HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr)
    {
        return std::make_shared<MVPSliderSelectionEndMarkerButton>(frame, source);
    }
};
