#include "player/timeline/slider_playhead_button.h"

#include "platform/basekit/user_defaults.h"
#include "platform/drawing/image.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/window.h"
#include "player/timeline/slider_geometry.h"
#include "player/timeline/slider_media_source_protocol.h"

bool MVPIsFullKeyboardAccessEnabled()
{
    return (HXUserDefaults::standardUserDefaults().integerForKey("HXKeyboardUIMode") & 2) != 0;
}

MVPSliderPlayheadButton::MVPSliderPlayheadButton(
    HXRect frame, MVPSliderMediaSourceProtocol* source, unsigned style)
    : HXButton(frame)
    , _style(style)
{
    setBordered(false);
    setMediaSource(source);
}

MVPSliderPlayheadButton::~MVPSliderPlayheadButton()
{
    if (_windowUpdateObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_windowUpdateObserver);
}

void MVPSliderPlayheadButton::setMediaSource(MVPSliderMediaSourceProtocol* source)
{
    _mediaSource = source;
    _mediaSourceViewIsFirstResponder = mediaViewIsFirstResponderOf(window().get());
}

void MVPSliderPlayheadButton::setStyle(unsigned style)
{
    _style = style;
    setNeedsDisplay(true);
}

// ---- Time operations

MVTime MVPSliderPlayheadButton::currentTime() const
{
    return _mediaSource ? _mediaSource->currentTime() : MVZeroTime;
}

void MVPSliderPlayheadButton::setCurrentTime(MVTime time)
{
    if (_mediaSource)
        _mediaSource->setCurrentTime(time);
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderPlayheadButton::stepForward()
{
    if (_mediaSource)
        _mediaSource->stepForward();
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

void MVPSliderPlayheadButton::stepBackward()
{
    if (_mediaSource)
        _mediaSource->stepBackward();
    HXAccessibility::postNotification(*this, HXAccessibilityValueChangedNotification);
}

// ---- Focus

bool MVPSliderPlayheadButton::mediaViewIsFirstResponderOf(const HXWindow* window) const
{
    if (!window || !_mediaSource)
        return false;
    auto view = _mediaSource->mediaView();
    return view && window->firstResponder() == std::static_pointer_cast<HXResponder>(view);
}

void MVPSliderPlayheadButton::viewWillMoveToWindow(HXWindow* newWindow)
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_windowUpdateObserver) {
        center.removeObserver(_windowUpdateObserver);
        _windowUpdateObserver = 0;
    }
    if (newWindow) {
        _mediaSourceViewIsFirstResponder = mediaViewIsFirstResponderOf(window().get());
        _windowUpdateObserver = center.addObserver(this, HXWindowDidUpdateNotification, newWindow,
            [this](const HXNotification&) { windowDidUpdate(); });
    }
    HXButton::viewWillMoveToWindow(newWindow);
}

void MVPSliderPlayheadButton::windowDidUpdate()
{
    bool focused = mediaViewIsFirstResponderOf(window().get());
    if (focused != _mediaSourceViewIsFirstResponder) {
        _mediaSourceViewIsFirstResponder = focused;
        setNeedsDisplay(true);
    }
}

bool MVPSliderPlayheadButton::becomeFirstResponder()
{
    HXButton::becomeFirstResponder();
    setNeedsDisplay(true);
    return true;
}

bool MVPSliderPlayheadButton::resignFirstResponder()
{
    bool resigned = HXButton::resignFirstResponder();
    setNeedsDisplay(true);
    return resigned;
}

// ---- Drawing

bool MVPSliderPlayheadButton::isLit() const
{
    auto w = window();
    if (w && w->firstResponder().get() == static_cast<const HXResponder*>(this))
        return true;
    return !MVPIsFullKeyboardAccessEnabled() && _mediaSourceViewIsFirstResponder;
}

std::string MVPSliderPlayheadButton::imageName() const
{
    if (_style == MVPSliderGeometry::kFullScreenStyle)
        return "FSLCDSliderPlayHead.tif";
    return isLit() ? "LCDSliderPlayHeadOn.tif" : "LCDSliderPlayHeadOff.tif";
}

void MVPSliderPlayheadButton::drawRect(HXRect)
{
    auto image = HXImage::imageNamed(imageName());
    if (!image)
        return;
    image->setFlipped(isFlipped());
    image->drawInRect(bounds(), HXZeroRect, HXCompositeSourceOver, 1);
}
