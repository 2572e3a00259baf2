#include "player/controls/accessibility_titled_slider.h"

#include <algorithm>

std::vector<std::string> AccessibilityTitledSliderCell::accessibilityAttributeNames() const
{
    auto names = HXSliderCell::accessibilityAttributeNames();
    if (std::find(names.begin(), names.end(), HXAccessibilityTitleAttribute) == names.end())
        names.push_back(HXAccessibilityTitleAttribute);
    return names;
}

bool AccessibilityTitledSliderCell::accessibilityIsAttributeSettable(const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute)
        return true;
    return HXSliderCell::accessibilityIsAttributeSettable(attribute);
}

void AccessibilityTitledSliderCell::accessibilitySetValue(
    const HXAccessibilityValue& value, const std::string& attribute)
{
    if (attribute != HXAccessibilityTitleAttribute) {
        HXSliderCell::accessibilitySetValue(value, attribute);
        return;
    }
    if (!value.isString())
        return;
    if (_hasAccessibilityTitle && _accessibilityTitle == value.stringValue())
        return;
    _accessibilityTitle = value.stringValue();
    _hasAccessibilityTitle = true;
}

HXAccessibilityValue AccessibilityTitledSliderCell::accessibilityAttributeValue(
    const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute && _hasAccessibilityTitle)
        return _accessibilityTitle;
    return HXSliderCell::accessibilityAttributeValue(attribute);
}

HXCellFactory& AccessibilityTitledSlider::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<AccessibilityTitledSliderCell>(); };
    return factory;
}

AccessibilityTitledSlider::AccessibilityTitledSlider(HXRect frame)
    : AccessibilityTitledSlider(std::static_pointer_cast<AccessibilityTitledSliderCell>(cellClass()()), frame)
{
}

AccessibilityTitledSlider::AccessibilityTitledSlider(
    std::shared_ptr<AccessibilityTitledSliderCell> cell, HXRect frame)
    : HXSlider(cell ? std::move(cell) : std::make_shared<AccessibilityTitledSliderCell>(), frame)
{
}
