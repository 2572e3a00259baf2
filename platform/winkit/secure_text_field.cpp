#include "platform/winkit/secure_text_field.h"

#include "platform/winkit/control.h"

namespace {
constexpr const char* kSecureTextFieldSubrole = "AXSecureTextField";
}

HXSecureTextFieldCell::HXSecureTextFieldCell(std::string text)
    : HXTextFieldCell(std::move(text))
{
}

std::string HXSecureTextFieldCell::bulletsFor(const std::string& text)
{
    std::string bullets;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            bullets += "\u2022";
    return bullets;
}

HXSize HXSecureTextFieldCell::cellSizeForBounds(HXRect bounds) const
{
    // Measured as it is drawn, so that a long password does not tell its letters by the field's size.
    HXTextFieldCell copy(bulletsFor(stringValue()));
    copy.setFont(font());
    copy.setBezeled(isBezeled());
    copy.setBordered(isBordered());
    copy.setPlaceholderString(placeholderString());
    return copy.cellSizeForBounds(bounds);
}

void HXSecureTextFieldCell::drawInteriorWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (auto* control = dynamic_cast<HXControl*>(&controlView); control && control->currentEditor())
        return;
    HXRect r = titleRectForBounds(cellFrame);
    std::string text = stringValue();
    HXStringAttributes a;
    a.font = font();
    a.paragraphStyle = HXParagraphStyle { alignment(), HXLineBreakByClipping };
    if (text.empty()) {
        if (placeholderString().empty())
            return;
        text = placeholderString();
        a.foregroundColor = HXColor::colorWithCalibratedWhite(0.62);
    } else {
        text = bulletsFor(text);
        a.foregroundColor = isEnabled() ? textColor() : HXControlStyle::textColor(false);
    }
    double h = HXStringDrawing::sizeWithAttributes(text, a).height;
    HXStringDrawing::drawInRect(text, { { r.origin.x, HXMidY(r) - h / 2 }, { r.size.width, h } }, a);
}

void HXSecureTextFieldCell::setUpFieldEditorAttributes(HXTextView& editor)
{
    HXTextFieldCell::setUpFieldEditorAttributes(editor);
    editor.setSecure(true);
}

std::vector<std::string> HXSecureTextFieldCell::accessibilityAttributeNames() const
{
    auto names = HXTextFieldCell::accessibilityAttributeNames();
    names.push_back(HXAccessibilitySubroleAttribute);
    return names;
}

HXAccessibilityValue HXSecureTextFieldCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilitySubroleAttribute)
        return std::string(kSecureTextFieldSubrole);
    if (attribute == HXAccessibilityValueAttribute)
        return std::string();
    return HXTextFieldCell::accessibilityAttributeValue(attribute);
}

HXCellFactory& HXSecureTextField::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXSecureTextFieldCell>(); };
    return factory;
}

HXSecureTextField::HXSecureTextField(HXRect frame)
    : HXTextField(std::static_pointer_cast<HXTextFieldCell>(cellClass()()), frame)
{
}
