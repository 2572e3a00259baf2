#include "platform/winkit/secure_text_field.h"

namespace {
constexpr const char* kSecureTextFieldSubrole = "AXSecureTextField";
}

HXSecureTextFieldCell::HXSecureTextFieldCell(std::string text)
    : HXTextFieldCell(std::move(text))
{
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
