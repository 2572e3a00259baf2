#include "player/controls/accessibility_titled_text_field.h"

#include <algorithm>

std::vector<std::string> AccessibilityTitledTextFieldCell::accessibilityAttributeNames() const
{
    auto names = HXTextFieldCell::accessibilityAttributeNames();
    if (std::find(names.begin(), names.end(), HXAccessibilityTitleAttribute) == names.end())
        names.push_back(HXAccessibilityTitleAttribute);
    return names;
}

bool AccessibilityTitledTextFieldCell::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute)
        return true;
    return HXTextFieldCell::accessibilityIsAttributeSettable(attribute);
}

void AccessibilityTitledTextFieldCell::accessibilitySetValue(
    const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute == HXAccessibilityTitleAttribute) {
        _accessibilityTitle = value;
        return;
    }
    HXTextFieldCell::accessibilitySetValue(value, attribute);
}

HXAccessibilityValue AccessibilityTitledTextFieldCell::accessibilityAttributeValue(
    const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute && !_accessibilityTitle.isNull())
        return _accessibilityTitle;
    return HXTextFieldCell::accessibilityAttributeValue(attribute);
}

HXCellFactory& AccessibilityTitledTextField::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<AccessibilityTitledTextFieldCell>(); };
    return factory;
}

AccessibilityTitledTextField::AccessibilityTitledTextField(HXRect frame)
    : AccessibilityTitledTextField(
        std::static_pointer_cast<AccessibilityTitledTextFieldCell>(cellClass()()), frame)
{
}

AccessibilityTitledTextField::AccessibilityTitledTextField(
    std::shared_ptr<AccessibilityTitledTextFieldCell> cell, HXRect frame)
    : HXTextField(cell ? std::move(cell) : std::make_shared<AccessibilityTitledTextFieldCell>(), frame)
{
}
