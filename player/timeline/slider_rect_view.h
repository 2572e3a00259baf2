#pragma once
// MVPSliderRectView: the timeline slider's track. It draws the bar with its loaded part and the selection
// band, scrubs the movie when pressed or dragged (Shift held extends the selection), and — after a press
// held still for one second inside the selection — drags the selected media out as a movie on the drag
// pasteboard, made only when a destination asks for it.
#include "platform/mvkit/time.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/dragging.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/view.h"

#include <memory>
#include <string>

class MVPSliderMediaSourceProtocol;
class MVPSliderView;

class MVPSliderRectView : public HXView,
                          public HXDraggingSource,
                          public HXPasteboardOwner,
                          public HXAccessibilityElement {
public:
    // Seconds a press inside the selection must be held still before the selection is dragged out.
    static constexpr double kDragDelay = 1.0;

    MVPSliderRectView(HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr, unsigned style = 0);
    ~MVPSliderRectView() override;
    static std::shared_ptr<MVPSliderRectView> sliderRectViewWithFrame(
        HXRect frame, MVPSliderMediaSourceProtocol* source = nullptr, unsigned style = 0)
    {
        return std::make_shared<MVPSliderRectView>(frame, source, style);
    }

    MVPSliderMediaSourceProtocol* mediaSource() const { return _mediaSource; }
    void setMediaSource(MVPSliderMediaSourceProtocol* source) { _mediaSource = source; }
    // The receiver of the action after each scrub (the slider view).
    std::shared_ptr<HXObject> target() const { return _target.lock(); }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    HXSelector action() const { return _action; }
    void setAction(HXSelector action) { _action = action; }
    bool enableScrubbing() const { return _enableScrubbing; }
    void setEnableScrubbing(bool enable) { _enableScrubbing = enable; }
    unsigned style() const { return _style; }
    void setStyle(unsigned style);

    // Redraws the union of the selection as last drawn and the source's selection now.
    void updateSelection();
    // Redraws the whole track.
    void updateLoadPercent();
    double selectionStartPercent() const { return _selectionStartPercent; }
    double selectionDurationPercent() const { return _selectionDurationPercent; }

    // The current time; the changers post the accessibility value change.
    MVTime currentTime() const;
    void setCurrentTime(MVTime time);
    void stepForward();
    void stepBackward();

    // Moves the time (and with Shift held, the selection) to the event's position.
    void scrub(const HXEvent& event);
    // Drags the selection out; runs until the drag ends.
    void startDrag(const HXEvent& event);
    void cancelDragTimer();
    bool isDraggingTimerRunning() const { return _draggingTimerRunning; }

    // HXView, HXResponder.
    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void mouseDragged(const HXEvent& event) override;
    void mouseUp(const HXEvent& event) override;
    void viewWillMoveToSuperview(HXView* newSuperview) override;
    bool acceptsFirstMouse(const HXEvent*) const override { return true; }

    // HXDraggingSource.
    unsigned draggingSourceOperationMaskForLocal(bool isLocal) override;
    bool ignoreModifierKeysWhileDragging() override { return true; }
    // HXPasteboardOwner: the dragged selection, made when a destination reads it.
    void pasteboardProvideDataForType(HXPasteboard& pasteboard, const std::string& type) override;

    // Accessibility: a horizontal slider with the subrole "AXTimeline" whose children are the knobs.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;
    bool accessibilityIsIgnored() const override { return false; }
    std::shared_ptr<HXObject> accessibilityHitTest(HXPoint point) override;
    std::shared_ptr<HXObject> accessibilityFocusedUIElement() override;

private:
    std::shared_ptr<MVPSliderView> sliderView() const;
    void sendAction();

    MVPSliderMediaSourceProtocol* _mediaSource = nullptr;
    std::weak_ptr<HXObject> _target;
    HXSelector _action;
    double _selectionStartPercent = 0;
    double _selectionDurationPercent = 0;
    bool _draggingTimerRunning = false;
    bool _enableScrubbing = true;
    unsigned _style = 0;
};
