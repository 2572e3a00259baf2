#include "player/controls/image_slider.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/window.h"

#include <algorithm>

// ---- ImageSliderCell
// ---------------------------------------------------------------------------------------

void ImageSliderCell::setOffset(double left, double right, double top, double bottom)
{
    _leftOffset = left;
    _rightOffset = right;
    _topOffset = top;
    _bottomOffset = bottom;
    noteChanged();
}

bool ImageSliderCell::isActive() const
{
    if (_alwaysActive)
        return true;
    auto* view = controlView();
    auto window = view ? view->window() : nullptr;
    return window && window->isKeyWindow();
}

std::shared_ptr<HXImage> ImageSliderCell::currentBarImage() const
{
    if (isActive() && isEnabled())
        return _barImage;
    return _barDisabledImage ? _barDisabledImage : _barImage;
}

std::shared_ptr<HXImage> ImageSliderCell::currentKnobImage() const
{
    auto normal = _mouseTracking && _knobAlternateImage ? _knobAlternateImage : _knobImage;
    if (isActive() && isEnabled())
        return normal;
    return _knobDisabledImage ? _knobDisabledImage : normal;
}

HXRect ImageSliderCell::frameForGeometry() const
{
    auto* view = controlView();
    return view ? view->bounds() : HXZeroRect;
}

double ImageSliderCell::knobThickness() const
{
    return _knobImage ? _knobImage->size().width : 0;
}

HXRect ImageSliderCell::knobRectFlipped(bool) const
{
    HXRect b = frameForGeometry();
    HXSize knob = _knobImage ? _knobImage->size() : HXSize {};
    double span = maxValue() - minValue();
    double fraction = minValue() < maxValue() ? (doubleValue() - minValue()) / span : 0;
    double x = b.origin.x + _leftOffset + fraction * (b.size.width - knob.width - _leftOffset - _rightOffset);
    double y = b.origin.y + _bottomOffset + (b.size.height - knob.height - _topOffset - _bottomOffset) * 0.5;
    return { { x, y }, knob };
}

double ImageSliderCell::valueForKnobAtPoint(HXPoint point) const
{
    HXRect b = frameForGeometry();
    double knob = knobThickness();
    double usable = b.size.width - knob - _leftOffset - _rightOffset;
    if (!(usable > 0) || !(minValue() < maxValue()))
        return minValue();
    double fraction = (point.x - _grabOffset - b.origin.x - _leftOffset - knob / 2) / usable;
    fraction = std::clamp(fraction, 0.0, 1.0);
    return minValue() + fraction * (maxValue() - minValue());
}

void ImageSliderCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    setControlView(&controlView);
    setCellFrame(cellFrame);
    if (numberOfTickMarks() > 0)
        drawTickMarks();
    drawBarInside(cellFrame, controlView.isFlipped());
    drawInteriorWithFrame(cellFrame, controlView);
    auto* control = dynamic_cast<HXControl*>(&controlView);
    bool focused = control && control->showsKeyboardFocus();
    HXGraphicsContext::saveGraphicsState();
    drawKnob(knobRectFlipped(controlView.isFlipped()));
    if (focused) {
        HXRect knob = knobRectFlipped(controlView.isFlipped());
        HXControlStyle::drawFocusRing(
            HXInsetRect(knob, -1, -1), std::min(knob.size.width, knob.size.height) / 2);
    }
    HXGraphicsContext::restoreGraphicsState();
}

// The bar and the knob are the whole picture: nothing is drawn between them.
void ImageSliderCell::drawInteriorWithFrame(HXRect, HXView&)
{
}

void ImageSliderCell::drawBarInside(HXRect rect, bool flipped)
{
    auto bar = currentBarImage();
    if (!bar)
        return;
    HXSize s = bar->size();
    HXPoint at { HXMidX(rect) - s.width / 2, HXMidY(rect) - s.height / 2 };
    if (flipped)
        at.y += s.height;
    bar->compositeToPoint(at, HXCompositeSourceOver);
}

void ImageSliderCell::drawKnob(HXRect knobRect)
{
    auto knob = currentKnobImage();
    if (!knob)
        return;
    HXPoint at = knobRect.origin;
    auto* view = controlView();
    if (view && view->isFlipped())
        at.y += knob->size().height;
    knob->compositeToPoint(at, HXCompositeSourceOver);
}

void ImageSliderCell::drawTickMarks()
{
    HXColor color = isActive() && isEnabled() ? HXColor::whiteColor() : HXColor::grayColor();
    color.setFill();
    for (long i = 0; i < numberOfTickMarks(); ++i)
        HXBezierPath::fillRect(rectOfTickMarkAtIndex(i));
}

bool ImageSliderCell::startTrackingAt(HXPoint startPoint, HXView& controlView)
{
    setControlView(&controlView);
    HXRect b = controlView.bounds();
    if (!(startPoint.x > _leftOffset && startPoint.x < b.size.width - _rightOffset))
        return false;
    _mouseTracking = true;
    setCellFrame(b);
    HXRect knob = knobRectFlipped(controlView.isFlipped());
    _grabOffset = HXPointInRect(startPoint, knob) ? startPoint.x - HXMidX(knob) : 0;
    if (_grabOffset == 0)
        setDoubleValue(valueForKnobAtPoint(startPoint));
    controlView.setNeedsDisplay(true);
    return true;
}

bool ImageSliderCell::continueTracking(HXPoint, HXPoint currentPoint, HXView& controlView)
{
    setDoubleValue(valueForKnobAtPoint(currentPoint));
    snapToDetent(&controlView);
    controlView.setNeedsDisplay(true);
    return true;
}

void ImageSliderCell::stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp)
{
    MVPDetentSliderCell::stopTracking(lastPoint, stopPoint, controlView, mouseIsUp);
    _mouseTracking = false;
    _grabOffset = 0;
    controlView.setNeedsDisplay(true);
}

// ---- ImageSlider
// -------------------------------------------------------------------------------------------

HXCellFactory& ImageSlider::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<ImageSliderCell>(); };
    return factory;
}

ImageSlider::ImageSlider(HXRect frame)
    : ImageSlider(std::static_pointer_cast<ImageSliderCell>(cellClass()()), frame)
{
}

ImageSlider::ImageSlider(std::shared_ptr<ImageSliderCell> cell, HXRect frame)
    : MVPDetentSlider(cell ? std::move(cell) : std::make_shared<ImageSliderCell>(), frame)
{
    setHasDetent(false);
}

ImageSlider::~ImageSlider()
{
    for (auto token : _keyObservers)
        if (token)
            HXNotificationCenter::defaultCenter().removeObserver(token);
}

void ImageSlider::viewDidMoveToWindow()
{
    MVPDetentSlider::viewDidMoveToWindow();
    observeWindowKeyState();
}

void ImageSlider::observeWindowKeyState()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto& token : _keyObservers) {
        if (token)
            center.removeObserver(token);
        token = 0;
    }
    auto window = this->window();
    if (!window)
        return;
    // The bar and knob look different in a window that is not key.
    auto redisplay = [this](const HXNotification&) { setNeedsDisplay(true); };
    _keyObservers[0] = center.addObserver(HXWindowDidBecomeKeyNotification, window.get(), redisplay);
    _keyObservers[1] = center.addObserver(HXWindowDidResignKeyNotification, window.get(), redisplay);
}
