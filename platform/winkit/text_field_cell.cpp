#include "platform/winkit/text_field_cell.h"

#include "platform/drawing/bezier_path.h"
#include "platform/winkit/control.h"
#include "platform/winkit/field_editor.h"
#include "platform/winkit/text_view.h"
#include "platform/winkit/window.h"

HXTextFieldCell::HXTextFieldCell(std::string text)
    : HXCell(std::move(text))
{
    setEditable(true);
    setSelectable(true);
    setBezeled(true);
    setAlignment(HXLeftTextAlignment);
}

void HXTextFieldCell::setPlaceholderString(const std::string& placeholder)
{
    _placeholderString = placeholder;
    noteChanged();
}

void HXTextFieldCell::setDrawsBackground(bool flag)
{
    _drawsBackground = flag;
    noteChanged();
}

void HXTextFieldCell::setBackgroundColor(const HXColor& color)
{
    _backgroundColor = color;
    noteChanged();
}

std::shared_ptr<HXTextView> HXTextFieldCell::fieldEditorForView(HXView& controlView)
{
    auto window = controlView.window();
    return HXFieldEditor::fieldEditorForWindow(window.get(), true);
}

HXSize HXTextFieldCell::cellSizeForBounds(HXRect bounds) const
{
    HXStringAttributes a;
    a.font = font();
    std::string text = displayedString();
    HXSize size = HXStringDrawing::sizeWithAttributes(text.empty() ? (_placeholderString.empty() ? " " : _placeholderString) : text, a);
    size.width += 8;
    size.height += isBezeled() || isBordered() ? 8 : 2;
    return { std::min(size.width, bounds.size.width), std::min(size.height, bounds.size.height) };
}

HXRect HXTextFieldCell::titleRectForBounds(HXRect bounds) const
{
    return isBezeled() || isBordered() ? HXInsetRect(bounds, 5, 3) : HXInsetRect(bounds, 2, 0);
}

void HXTextFieldCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (isBezeled())
        HXControlStyle::drawPanel(cellFrame, _drawsBackground ? _backgroundColor : HXColor::clearColor(),
            isEnabled() ? HXControlStyle::borderColor() : HXControlStyle::trackColor(), 3);
    else {
        if (_drawsBackground) {
            _backgroundColor.setFill();
            HXBezierPath::fillRect(cellFrame);
        }
        if (isBordered()) {
            HXControlStyle::borderColor().setStroke();
            HXBezierPath::strokeRect(HXInsetRect(cellFrame, 0.5, 0.5));
        }
    }
    drawInteriorWithFrame(cellFrame, controlView);
}

void HXTextFieldCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    // While the field editor is over the text, it draws it.
    if (auto* control = dynamic_cast<HXControl*>(&controlView); control && control->currentEditor())
        return;
    HXRect r = titleRectForBounds(cellFrame);
    std::string text = displayedString();
    HXStringAttributes a;
    a.font = font();
    a.paragraphStyle = HXParagraphStyle { alignment(), lineBreakMode() };
    if (text.empty()) {
        if (_placeholderString.empty())
            return;
        text = _placeholderString;
        a.foregroundColor = HXColor::colorWithCalibratedWhite(0.62);
    } else
        a.foregroundColor = isEnabled() ? textColor() : HXControlStyle::textColor(false);
    double h = HXStringDrawing::sizeWithAttributes(text, a).height;
    double y = HXMidY(r) - h / 2;
    HXStringDrawing::drawInRect(text, { { r.origin.x, y }, { r.size.width, h } }, a);
}

void HXTextFieldCell::setUpFieldEditorAttributes(HXTextView& editor)
{
    HXCell::setUpFieldEditorAttributes(editor);
    editor.setDrawsBackground(_drawsBackground);
    editor.setBackgroundColor(_backgroundColor);
    // The window's one field editor also edits secure fields, which set this again.
    editor.setSecure(false);
}

std::vector<std::string> HXTextFieldCell::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    names.push_back(HXAccessibilityValueAttribute);
    names.push_back(HXAccessibilityPlaceholderValueAttribute);
    names.push_back(HXAccessibilityHelpAttribute);
    return names;
}

HXAccessibilityValue HXTextFieldCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return isEditable() ? HXAccessibilityTextFieldRole : HXAccessibilityStaticTextRole;
    if (attribute == HXAccessibilityValueAttribute) {
        if (auto* control = dynamic_cast<HXControl*>(controlView()))
            return control->stringValue();
        return stringValue();
    }
    if (attribute == HXAccessibilityPlaceholderValueAttribute)
        return _placeholderString;
    return HXCell::accessibilityAttributeValue(attribute);
}

bool HXTextFieldCell::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    return attribute == HXAccessibilityValueAttribute && isEditable() && isEnabled();
}

void HXTextFieldCell::accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute)
{
    if (!accessibilityIsAttributeSettable(attribute))
        return;
    if (auto* control = dynamic_cast<HXControl*>(controlView()))
        control->setStringValue(value.stringValue());
    else
        setStringValue(value.stringValue());
}
