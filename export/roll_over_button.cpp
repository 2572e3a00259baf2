#include "export/roll_over_button.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/image.h"
#include "platform/winkit/text_drawing.h"

RollOverButton::RollOverButton(HXRect frame)
    : HXButton(frame, {})
{
}

RollOverButton::~RollOverButton() = default;

void RollOverButton::setImage(std::shared_ptr<HXImage> image)
{
    _image = std::move(image);
    if (!(_inside && _imageOver))
        _shownImage = _image;
    setNeedsDisplay(true);
}

void RollOverButton::setImageOver(std::shared_ptr<HXImage> image)
{
    _imageOver = std::move(image);
    if (_inside)
        _shownImage = _imageOver ? _imageOver : _image;
    setNeedsDisplay(true);
}

void RollOverButton::setAlternateImage(std::shared_ptr<HXImage> image)
{
    _altImage = std::move(image);
    if (!(_inside && _altImageOver))
        _shownAltImage = _altImage;
    setNeedsDisplay(true);
}

void RollOverButton::setAlternateImageOver(std::shared_ptr<HXImage> image)
{
    _altImageOver = std::move(image);
    if (_inside)
        _shownAltImage = _altImageOver ? _altImageOver : _altImage;
    setNeedsDisplay(true);
}

void RollOverButton::mouseEntered(const HXEvent&)
{
    _inside = true;
    if (_imageOver)
        _shownImage = _imageOver;
    if (_altImageOver)
        _shownAltImage = _altImageOver;
    setNeedsDisplay(true);
}

void RollOverButton::mouseExited(const HXEvent&)
{
    _inside = false;
    if (_imageOver)
        _shownImage = _image;
    if (_altImageOver)
        _shownAltImage = _altImage;
    setNeedsDisplay(true);
}

void RollOverButton::resetTrackingRect()
{
    if (_trackingTag) {
        removeTrackingRect(_trackingTag);
        _trackingTag = 0;
    }
    if (!window())
        return;
    auto self = std::dynamic_pointer_cast<HXResponder>(shared_from_this());
    _trackingTag = addTrackingRect(bounds(), self, nullptr, _inside);
}

void RollOverButton::setFrame(HXRect frame)
{
    HXButton::setFrame(frame);
    resetTrackingRect();
}

void RollOverButton::viewDidMoveToWindow()
{
    HXButton::viewDidMoveToWindow();
    resetTrackingRect();
}

void RollOverButton::drawRect(HXRect)
{
    auto image = isHighlighted() && _shownAltImage ? _shownAltImage : _shownImage;
    if (image && image->isValid()) {
        image->drawInRect(bounds());
        return;
    }
    // No images in the bundle: a round stop mark, darker while pressed or under the mouse.
    HXRect box = HXInsetRect(bounds(), 1, 1);
    double shade = isHighlighted() ? 0.35 : (_inside ? 0.5 : 0.65);
    auto circle = HXBezierPath::bezierPathWithOvalInRect(box);
    HXColor::colorWithCalibratedWhite(shade).setFill();
    circle.fill();
    auto cross = HXBezierPath::bezierPath();
    double inset = box.size.width * 0.3;
    cross.moveToPoint({ box.origin.x + inset, box.origin.y + inset });
    cross.lineToPoint({ box.origin.x + box.size.width - inset, box.origin.y + box.size.height - inset });
    cross.moveToPoint({ box.origin.x + inset, box.origin.y + box.size.height - inset });
    cross.lineToPoint({ box.origin.x + box.size.width - inset, box.origin.y + inset });
    cross.setLineWidth(1.5);
    HXColor::whiteColor().setStroke();
    cross.stroke();
}
