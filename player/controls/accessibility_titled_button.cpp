#include "player/controls/accessibility_titled_button.h"

bool AccessibilityTitledButtonCell::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute || attribute == HXAccessibilityRoleDescriptionAttribute)
        return true;
    return HXButtonCell::accessibilityIsAttributeSettable(attribute);
}

void AccessibilityTitledButtonCell::accessibilitySetValue(
    const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute == HXAccessibilityTitleAttribute || attribute == HXAccessibilityRoleDescriptionAttribute) {
        // Compared with the attribute being set, not with the other one: a role description that reads
        // like the title is still a role description.
        std::string text = value.stringValue();
        if (accessibilityAttributeValue(attribute) == HXAccessibilityValue(text))
            return;
        if (attribute == HXAccessibilityTitleAttribute) {
            _accessibilityTitle = text;
            _hasAccessibilityTitle = true;
        } else {
            _accessibilityRoleDescription = text;
            _hasAccessibilityRoleDescription = true;
        }
        return;
    }
    HXButtonCell::accessibilitySetValue(value, attribute);
}

HXAccessibilityValue AccessibilityTitledButtonCell::accessibilityAttributeValue(
    const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute && _hasAccessibilityTitle)
        return _accessibilityTitle;
    if (attribute == HXAccessibilityRoleDescriptionAttribute && _hasAccessibilityRoleDescription)
        return _accessibilityRoleDescription;
    return HXButtonCell::accessibilityAttributeValue(attribute);
}

HXCellFactory& AccessibilityTitledButton::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<AccessibilityTitledButtonCell>(); };
    return factory;
}

AccessibilityTitledButton::AccessibilityTitledButton(HXRect frame)
    : AccessibilityTitledButton(std::static_pointer_cast<AccessibilityTitledButtonCell>(cellClass()()), frame)
{
}

AccessibilityTitledButton::AccessibilityTitledButton(
    std::shared_ptr<AccessibilityTitledButtonCell> cell, HXRect frame)
    : HXButton(cell ? std::move(cell) : std::make_shared<AccessibilityTitledButtonCell>(), frame)
{
}
