#pragma once
// MVPSliderSelectionTicksView: the thin strip under the slider's track. A press or drag in it moves the
// nearer end of the selection, and the current time with it, to that point; it fades in and out with
// the selection indicators.
#include "platform/winkit/view.h"
#include "player/timeline/slider_fader.h"

#include <memory>

class MVPSliderMediaSourceProtocol;

class MVPSliderSelectionTicksView : public HXView {
public:
    explicit MVPSliderSelectionTicksView(HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr);
    static std::shared_ptr<MVPSliderSelectionTicksView> sliderSelectionTicksViewWithFrame(
        HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr)
    {
        return std::make_shared<MVPSliderSelectionTicksView>(frame, source);
    }

    MVPSliderMediaSourceProtocol* mediaSource() const { return _mediaSource; }
    void setMediaSource(MVPSliderMediaSourceProtocol* source) { _mediaSource = source; }

    void setSelectionHidden(bool hidden, bool fade) { _fader.setSelectionHidden(hidden, fade); }
    void fade() { _fader.fade(); }
    void setFadeTimer(std::shared_ptr<HXTimer> timer) { _fader.setFadeTimer(std::move(timer)); }
    float alphaValue() const { return _fader.alphaValue(); }
    bool isFading() const { return _fader.isFading(); }

    void mouseDownOrDrag(const HXEvent& event);

    // HXView, HXResponder.
    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void mouseDragged(const HXEvent& event) override;
    void mouseUp(const HXEvent& event) override;
    void viewWillMoveToSuperview(HXView* newSuperview) override;
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }

private:
    MVPSliderMediaSourceProtocol* _mediaSource = nullptr;
    MVPSliderFader _fader { *this };
};
