#include "player/timeline/slider_selection_marker_button.h"

#include "platform/drawing/image.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/window.h"
#include "player/timeline/slider_media_source_protocol.h"

MVPSliderSelectionMarkerButton::MVPSliderSelectionMarkerButton(
    Edge edge, HXRect frame, MVPSliderMediaSourceProtocol* source)
    : HXButton(frame)
    , _edge(edge)
    , _mediaSource(source)
{
    setBordered(false);
}

MVPSliderSelectionMarkerButton::~MVPSliderSelectionMarkerButton() = default;

void MVPSliderSelectionMarkerButton::setMediaSource(MVPSliderMediaSourceProtocol* source)
{
    _mediaSource = source;
}

// ---- Time operations

MVTime MVPSliderSelectionMarkerButton::currentTime() const
{
    if (!_mediaSource)
        return MVZeroTime;
    return _edge == Edge::Start ? _mediaSource->selectionStart() : _mediaSource->selectionEnd();
}

void MVPSliderSelectionMarkerButton::setCurrentTime(MVTime time)
{
    if (_mediaSource) {
        if (_edge == Edge::Start)
            _mediaSource->setSelectionStart(time);
        else
            _mediaSource->setSelectionEnd(time);
    }
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderSelectionMarkerButton::stepWithoutNotice(bool forward)
{
    if (!_mediaSource)
        return;
    if (_edge == Edge::Start) {
        if (forward)
            _mediaSource->stepSelectionStartForward();
        else
            _mediaSource->stepSelectionStartBackward();
    } else {
        if (forward)
            _mediaSource->stepSelectionEndForward();
        else
            _mediaSource->stepSelectionEndBackward();
    }
}

void MVPSliderSelectionMarkerButton::stepForward()
{
    stepWithoutNotice(true);
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderSelectionMarkerButton::stepBackward()
{
    stepWithoutNotice(false);
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

// ---- Looks and keys

bool MVPSliderSelectionMarkerButton::isFocused() const
{
    auto w = window();
    return w && w->firstResponder().get() == static_cast<const HXResponder*>(this);
}

std::string MVPSliderSelectionMarkerButton::imageName() const
{
    bool selection = _mediaSource && _mediaSource->hasSelection();
    return std::string("LCDSliderSelection") + (_edge == Edge::Start ? "Start" : "End") + "Marker"
        + (selection ? "" : "NoLine") + (isFocused() ? "On" : "Off") + ".tif";
}

void MVPSliderSelectionMarkerButton::drawRect(HXRect)
{
    auto image = HXImage::imageNamed(imageName());
    if (!image)
        return;
    image->setFlipped(isFlipped());
    image->drawInRect(bounds(), HXZeroRect, HXCompositeSourceOver, _fader.drawingAlpha());
}

bool MVPSliderSelectionMarkerButton::becomeFirstResponder()
{
    HXButton::becomeFirstResponder();
    setNeedsDisplay(true);
    return true;
}

bool MVPSliderSelectionMarkerButton::resignFirstResponder()
{
    bool resigned = HXButton::resignFirstResponder();
    setNeedsDisplay(true);
    return resigned;
}

void MVPSliderSelectionMarkerButton::keyDown(const HXEvent& event)
{
    char32_t c = event.firstCharacterIgnoringModifiers();
    bool arrow = c == HXLeftArrowFunctionKey || c == HXRightArrowFunctionKey;
    if (isFocused() && arrow && !(event.modifierFlags() & (HXCommandKeyMask | HXAlternateKeyMask))) {
        stepWithoutNotice(c == HXRightArrowFunctionKey);
        return;
    }
    HXButton::keyDown(event);
}

void MVPSliderSelectionMarkerButton::viewWillMoveToSuperview(HXView* newSuperview)
{
    if (!newSuperview && superview())
        setFadeTimer(nullptr);
    HXButton::viewWillMoveToSuperview(newSuperview);
}
