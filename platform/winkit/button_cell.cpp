#include "platform/winkit/button_cell.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/image.h"
#include "platform/winkit/button.h"
#include "platform/winkit/view.h"

#include <algorithm>

HXButtonCell::HXButtonCell(std::string title)
    : HXCell(std::move(title))
{
    setBordered(true);
    setAlignment(HXCenterTextAlignment);
}

void HXButtonCell::setButtonType(HXButtonType type)
{
    _buttonType = type;
    if (isMarkType()) {
        setBordered(false);
        setAlignment(HXLeftTextAlignment);
    }
    noteChanged();
}

bool HXButtonCell::toggles() const
{
    switch (_buttonType) {
    case HXPushOnPushOffButton:
    case HXToggleButton:
    case HXSwitchButton:
    case HXRadioButton:
    case HXOnOffButton:
        return true;
    default:
        return false;
    }
}

void HXButtonCell::setTitle(const std::string& title)
{
    HXCell::setTitle(title);
    HXCell::setObjectValue(HXPropertyList(title));
}

void HXButtonCell::setImage(std::shared_ptr<HXImage> image)
{
    HXCell::setImage(std::move(image));
    if (_imagePosition == HXNoImage)
        _imagePosition = title().empty() ? HXImageOnly : HXImageLeft;
}

void HXButtonCell::setAlternateTitle(const std::string& title)
{
    _alternateTitle = title;
    noteChanged();
}

void HXButtonCell::setAlternateImage(std::shared_ptr<HXImage> image)
{
    _alternateImage = std::move(image);
    noteChanged();
}

void HXButtonCell::setImagePosition(HXCellImagePosition position)
{
    _imagePosition = position;
    noteChanged();
}

void HXButtonCell::setBezelStyle(HXBezelStyle style)
{
    _bezelStyle = style;
    noteChanged();
}

void HXButtonCell::setTransparent(bool flag)
{
    _transparent = flag;
    noteChanged();
}

void HXButtonCell::setKeyEquivalent(const std::string& key)
{
    _keyEquivalent = key;
    noteChanged();
}

std::string HXButtonCell::shownTitle() const
{
    bool alternate = (_buttonType == HXMomentaryChangeButton && isHighlighted())
        || (_buttonType == HXToggleButton && state() == HXOnState);
    return alternate && !_alternateTitle.empty() ? _alternateTitle : title();
}

std::shared_ptr<HXImage> HXButtonCell::shownImage() const
{
    bool alternate = (_buttonType == HXMomentaryChangeButton && isHighlighted())
        || ((_buttonType == HXToggleButton || _buttonType == HXPushOnPushOffButton) && state() == HXOnState);
    return alternate && _alternateImage ? _alternateImage : image();
}

void HXButtonCell::mouseUpInside()
{
    if (_buttonType == HXRadioButton) {
        setState(HXOnState);
        // Radio buttons side by side with the same action form one group: only one is on.
        auto* view = controlView();
        auto parent = view ? view->superview() : nullptr;
        if (!parent)
            return;
        for (const auto& sibling : parent->subviews()) {
            auto* button = dynamic_cast<HXButton*>(sibling.get());
            if (!button || button == view || button->buttonCell()->buttonType() != HXRadioButton)
                continue;
            if (button->action() == action())
                button->setState(HXOffState);
        }
        return;
    }
    if (toggles())
        setNextState();
}

HXRect HXButtonCell::markRect(HXRect frame) const
{
    double side = 14;
    return { { frame.origin.x + 2, HXMidY(frame) - side / 2 }, { side, side } };
}

HXSize HXButtonCell::cellSizeForBounds(HXRect bounds) const
{
    HXStringAttributes a;
    a.font = font();
    HXSize text = title().empty() ? HXSize {} : HXStringDrawing::sizeWithAttributes(title(), a);
    HXSize size;
    if (isMarkType())
        size = { 22 + text.width, std::max(18.0, text.height + 2) };
    else if (_imagePosition == HXImageOnly && image())
        size = image()->size();
    else {
        size = { text.width + (isBordered() ? 28 : 8), std::max(isBordered() ? 24.0 : 18.0, text.height + 6) };
        if (image() && _imagePosition != HXNoImage)
            size.width += image()->size().width + 4;
    }
    size.width = std::min(size.width, bounds.size.width);
    size.height = std::min(size.height, bounds.size.height);
    return size;
}

void HXButtonCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (_transparent)
        return;
    if (isBordered() && !isMarkType()) {
        bool pressed = isHighlighted() && _buttonType != HXMomentaryChangeButton;
        bool on = state() == HXOnState && (_buttonType == HXPushOnPushOffButton || _buttonType == HXOnOffButton);
        bool isDefault = _keyEquivalent == "\r";
        HXColor fill = pressed ? HXControlStyle::pressedFaceColor()
            : (isDefault && isEnabled()) || on ? HXControlStyle::accentColor()
                                               : HXControlStyle::faceColor();
        HXColor stroke = (isDefault && isEnabled()) || on ? HXControlStyle::accentColor().colorWithAlphaComponent(0.9)
                                                          : HXControlStyle::borderColor();
        double radius = _bezelStyle == HXRoundedBezelStyle ? HXControlStyle::cornerRadius + 1 : 2;
        HXControlStyle::drawPanel(HXInsetRect(cellFrame, 1, 1), fill, stroke, radius);
    }
    drawInteriorWithFrame(cellFrame, controlView);
}

void HXButtonCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    (void)controlView;
    bool enabled = isEnabled();
    HXStringAttributes a;
    a.font = font();
    bool onAccent = isBordered() && !isMarkType() && enabled && !isHighlighted()
        && (_keyEquivalent == "\r" || (state() == HXOnState && (_buttonType == HXPushOnPushOffButton || _buttonType == HXOnOffButton)));
    a.foregroundColor = onAccent ? HXColor::whiteColor() : HXControlStyle::textColor(enabled);
    if (isMarkType()) {
        HXRect mark = markRect(cellFrame);
        bool on = state() != HXOffState;
        HXColor fill = on && enabled ? HXControlStyle::accentColor() : HXControlStyle::faceColor();
        if (isHighlighted())
            fill = on ? HXControlStyle::accentColor().colorWithAlphaComponent(0.7) : HXControlStyle::pressedFaceColor();
        HXColor stroke = on && enabled ? HXControlStyle::accentColor() : HXControlStyle::borderColor();
        if (_buttonType == HXRadioButton) {
            auto circle = HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(mark, 0.5, 0.5));
            fill.setFill();
            circle.fill();
            stroke.setStroke();
            circle.stroke();
            if (on) {
                HXColor::whiteColor().setFill();
                HXBezierPath::bezierPathWithOvalInRect(HXInsetRect(mark, 4.5, 4.5)).fill();
            }
        } else {
            HXControlStyle::drawPanel(mark, fill, stroke, 3);
            if (state() == HXMixedState) {
                HXColor::whiteColor().setFill();
                HXBezierPath::fillRect({ { mark.origin.x + 3, HXMidY(mark) - 1 }, { mark.size.width - 6, 2 } });
            } else if (on) {
                auto check = HXBezierPath::bezierPath();
                bool flipped = controlView.isFlipped();
                auto at = [&](double fx, double fy) {
                    double y = flipped ? mark.origin.y + mark.size.height * (1 - fy) : mark.origin.y + mark.size.height * fy;
                    return HXPoint { mark.origin.x + mark.size.width * fx, y };
                };
                check.moveToPoint(at(0.22, 0.52));
                check.lineToPoint(at(0.42, 0.30));
                check.lineToPoint(at(0.78, 0.72));
                check.setLineWidth(2);
                HXColor::whiteColor().setStroke();
                check.stroke();
            }
        }
        a.paragraphStyle = HXParagraphStyle { HXLeftTextAlignment, lineBreakMode() };
        HXRect text { { HXMaxX(mark) + 6, cellFrame.origin.y }, { std::max(0.0, HXMaxX(cellFrame) - HXMaxX(mark) - 6), cellFrame.size.height } };
        double h = HXStringDrawing::sizeWithAttributes(title().empty() ? " " : title(), a).height;
        HXStringDrawing::drawInRect(title(), { { text.origin.x, HXMidY(text) - h / 2 }, { text.size.width, h } }, a);
        return;
    }
    HXRect content = HXInsetRect(cellFrame, isBordered() ? 6 : 0, 0);
    auto picture = shownImage();
    if (picture && _imagePosition != HXNoImage) {
        HXSize s = picture->size();
        HXRect imageRect;
        if (_imagePosition == HXImageOnly || _imagePosition == HXImageOverlaps || shownTitle().empty()) {
            double scale = std::min({ 1.0, s.width > 0 ? content.size.width / s.width : 1, s.height > 0 ? content.size.height / s.height : 1 });
            HXSize fitted { s.width * scale, s.height * scale };
            imageRect = HXIntegralRect({ { HXMidX(content) - fitted.width / 2, HXMidY(content) - fitted.height / 2 }, fitted });
            picture->drawInRect(imageRect, HXZeroRect, HXCompositeSourceOver, enabled ? 1.0 : 0.5);
            if (_imagePosition == HXImageOnly || shownTitle().empty())
                return;
        } else {
            imageRect = HXIntegralRect({ { content.origin.x, HXMidY(content) - s.height / 2 }, s });
            if (_imagePosition == HXImageRight)
                imageRect.origin.x = HXMaxX(content) - s.width;
            picture->drawInRect(imageRect, HXZeroRect, HXCompositeSourceOver, enabled ? 1.0 : 0.5);
            if (_imagePosition == HXImageLeft)
                content = { { HXMaxX(imageRect) + 4, content.origin.y }, { HXMaxX(content) - HXMaxX(imageRect) - 4, content.size.height } };
            else if (_imagePosition == HXImageRight)
                content.size.width -= s.width + 4;
        }
    }
    a.paragraphStyle = HXParagraphStyle { alignment(), HXLineBreakByTruncatingTail };
    std::string text = shownTitle();
    double h = HXStringDrawing::sizeWithAttributes(text.empty() ? " " : text, a).height;
    HXStringDrawing::drawInRect(text, { { content.origin.x, HXMidY(content) - h / 2 }, { content.size.width, h } }, a);
}

void HXButtonCell::drawFocusRingMaskWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (isMarkType()) {
        HXControlStyle::drawFocusRing(markRect(cellFrame), _buttonType == HXRadioButton ? 7 : 3);
        return;
    }
    HXCell::drawFocusRingMaskWithFrame(cellFrame, controlView);
}

std::vector<std::string> HXButtonCell::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilityTitleAttribute);
    names.push_back(HXAccessibilityHelpAttribute);
    if (isMarkType() || toggles())
        names.push_back(HXAccessibilityValueAttribute);
    return names;
}

HXAccessibilityValue HXButtonCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute) {
        if (_buttonType == HXSwitchButton)
            return HXAccessibilityCheckBoxRole;
        if (_buttonType == HXRadioButton)
            return HXAccessibilityRadioButtonRole;
        return HXAccessibilityButtonRole;
    }
    if (attribute == HXAccessibilityValueAttribute) {
        if (!isMarkType() && !toggles())
            return {};
        return state() == HXMixedState ? 2 : state();
    }
    if (attribute == HXAccessibilityTitleAttribute)
        return shownTitle();
    return HXCell::accessibilityAttributeValue(attribute);
}

std::vector<std::string> HXButtonCell::accessibilityActionNames() const { return { HXAccessibilityPressAction }; }

void HXButtonCell::accessibilityPerformAction(const std::string& action)
{
    if (action != HXAccessibilityPressAction)
        return;
    if (auto* control = dynamic_cast<HXControl*>(controlView()))
        control->performClick(nullptr);
    else
        performClick(nullptr);
}
