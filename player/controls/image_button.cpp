#include "player/controls/image_button.h"

#include "platform/drawing/geometry.h"
#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/window.h"
#include "player/controls/accessibility_additions.h"
#include "player/controls/button_image_set.h"
#include "player/controls/control_tracking.h"

#include <algorithm>
#include <cmath>

// ---- ImageButtonCell
// ---------------------------------------------------------------------------------------

ImageButtonCell::ImageButtonCell()
{
    setBordered(false);
    setImagePosition(HXImageOnly);
}

void ImageButtonCell::setButtonImageSet(std::shared_ptr<MVPButtonImageSet> images)
{
    if (images == _images)
        return;
    _images = std::move(images);
    if (auto* control = dynamic_cast<HXControl*>(controlView()))
        control->updateCell(*this);
}

void ImageButtonCell::setSendActionOnHighlightChange(bool flag)
{
    _sendActionOnHighlightChange = flag;
    sendActionOn(flag ? 0 : HXLeftMouseUpMask);
}

int ImageButtonCell::nextState() const
{
    if (!_toggles)
        return state();
    switch (state()) {
    case HXOnState:
        return HXOffState;
    case HXOffState:
        return allowsMixedState() ? HXMixedState : HXOnState;
    default:
        return HXOnState;
    }
}

void ImageButtonCell::mouseUpInside()
{
    if (_toggles)
        setNextState();
}

void ImageButtonCell::highlight(bool flag, HXRect cellFrame, HXView& controlView)
{
    AccessibilityTitledButtonCell::highlight(flag, cellFrame, controlView);
    if (!_sendActionOnHighlightChange)
        return;
    if (auto* control = dynamic_cast<HXControl*>(&controlView))
        control->sendAction(action(), target().get());
}

void ImageButtonCell::performClick(HXObject* sender)
{
    if (!_sendActionOnHighlightChange) {
        AccessibilityTitledButtonCell::performClick(sender);
        return;
    }
    // A press and a release: the action goes with each, and nothing more.
    if (!isEnabled() || !controlView())
        return;
    auto keep = shared_from_this();
    HXView& view = *controlView();
    highlight(true, view.bounds(), view);
    highlight(false, view.bounds(), view);
    mouseUpInside();
}

MVPButtonImageState ImageButtonCell::buttonImageState() const
{
    MVPButtonImageState s;
    s.value = state();
    s.state = !isEnabled() ? -1 : (isHighlighted() ? 1 : 0);
    auto* view = controlView();
    auto window = view ? view->window() : nullptr;
    s.active = window && window->isMainWindow();
    s.rollover = false;
    return s;
}

std::shared_ptr<HXImage> ImageButtonCell::image() const
{
    if (!_images)
        return nullptr;
    MVPButtonImageState s = buttonImageState();
    auto image = _images->imageForValue(s.value, s.state, s.active, s.rollover);
    if (!image && !s.active)
        image = _images->imageForValue(s.value, s.state, true, s.rollover);
    if (!image && s.value == HXOnState)
        image = _images->imageForValue(HXOffState, s.state, true, s.rollover);
    return image;
}

HXSize ImageButtonCell::cellSize() const
{
    HXSize size;
    if (!_images)
        return size;
    for (const auto& image : _images->imageEnumerator()) {
        HXSize s = image->size();
        size.width = std::max(size.width, s.width);
        size.height = std::max(size.height, s.height);
    }
    return size;
}

HXSize ImageButtonCell::cellSizeForBounds(HXRect bounds) const
{
    HXSize size = cellSize();
    return { std::min(size.width, bounds.size.width), std::min(size.height, bounds.size.height) };
}

HXRect ImageButtonCell::imageRectForFrame(HXRect frame, HXView* view) const
{
    auto picture = image();
    if (!picture)
        return HXZeroRect;
    HXSize s = picture->size();
    HXRect rect { { HXMidX(frame) - s.width / 2, HXMidY(frame) - s.height / 2 }, s };
    if (view && view->window()) {
        // Whole pixels on the window, so that the artwork stays sharp.
        HXRect inWindow = view->convertRectToView(rect, nullptr);
        inWindow.origin = { std::round(inWindow.origin.x), std::round(inWindow.origin.y) };
        rect = view->convertRectFromView(inWindow, nullptr);
        rect.size = s;
    }
    return rect;
}

void ImageButtonCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    setControlView(&controlView);
    drawInteriorWithFrame(cellFrame, controlView);
}

void ImageButtonCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    auto picture = image();
    if (!picture)
        return;
    HXRect rect = imageRectForFrame(cellFrame, &controlView);
    HXGraphicsContext::saveGraphicsState();
    if (controlView.isFlipped()) {
        // Mirrored about the picture's middle so that it stands upright in a flipped view.
        HXAffineTransform t;
        t.translateXBy(0, HXMinY(rect) + HXMaxY(rect));
        t.scaleXBy(1, -1);
        t.concat();
    }
    picture->drawInRect(rect, HXZeroRect, HXCompositeSourceOver, 1.0);
    HXGraphicsContext::restoreGraphicsState();
    auto* control = dynamic_cast<HXControl*>(&controlView);
    if (control && control->showsKeyboardFocus()) {
        HXGraphicsContext::saveGraphicsState();
        HXControlStyle::drawFocusRing(
            HXInsetRect(rect, -1, -1), std::min(rect.size.width, rect.size.height) / 2);
        HXGraphicsContext::restoreGraphicsState();
    }
}

std::vector<std::string> ImageButtonCell::accessibilityActionNames() const
{
    auto names = AccessibilityTitledButtonCell::accessibilityActionNames();
    if (std::find(names.begin(), names.end(), HXAccessibilityPressAction) == names.end())
        names.push_back(HXAccessibilityPressAction);
    return names;
}

std::string ImageButtonCell::accessibilityActionDescription(const std::string& action) const
{
    // The description belongs to the action the buttons have: pressing.
    if (action == HXAccessibilityPressAction)
        return MVPAccessibility::localizedString("mvpPress");
    return AccessibilityTitledButtonCell::accessibilityActionDescription(action);
}

void ImageButtonCell::accessibilityPerformAction(const std::string& action)
{
    if (action != HXAccessibilityPressAction) {
        AccessibilityTitledButtonCell::accessibilityPerformAction(action);
        return;
    }
    static const HXSelector mute("mute:");
    auto* view = controlView();
    auto superview = view ? view->superview() : nullptr;
    if (superview && superview->respondsToAction(mute)) {
        superview->performAction(mute, nullptr);
        return;
    }
    if (!isEnabled())
        return;
    if (auto* control = dynamic_cast<HXControl*>(view))
        control->performClick(nullptr);
    else
        performClick(nullptr);
}

// ---- ImageButton
// -------------------------------------------------------------------------------------------

HXCellFactory& ImageButton::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<ImageButtonCell>(); };
    return factory;
}

ImageButton::ImageButton(HXRect frame)
    : ImageButton(std::static_pointer_cast<ImageButtonCell>(cellClass()()), frame)
{
}

ImageButton::ImageButton(std::shared_ptr<ImageButtonCell> cell, HXRect frame)
    : HXButton(cell ? std::move(cell) : std::make_shared<ImageButtonCell>(), frame)
{
    setBordered(false);
}

void ImageButton::setButtonImageSet(std::shared_ptr<MVPButtonImageSet> images)
{
    imageButtonCell()->setButtonImageSet(std::move(images));
    setNeedsDisplay(true);
}

std::shared_ptr<HXView> ImageButton::hitTest(HXPoint point)
{
    auto hit = HXButton::hitTest(point);
    if (hit.get() != this)
        return hit;
    // Only the round face counts: a circle as wide as the shorter side, in the middle of the bounds.
    auto parent = superview();
    HXPoint p = parent ? convertPointFromView(point, parent.get())
                       : HXPoint { point.x - frame().origin.x, point.y - frame().origin.y };
    HXRect b = bounds();
    double radius = std::min(b.size.width, b.size.height) / 2;
    double dx = p.x - HXMidX(b), dy = p.y - HXMidY(b);
    if (dx * dx + dy * dy <= radius * radius)
        return hit;
    return parent;
}

void ImageButton::mouseDown(const HXEvent& event)
{
    MVPTrackMouseInControl(*this, event);
}
