#include "player/controls/accessibility_additions.h"

#include "platform/basekit/bundle.h"

namespace MVPAccessibility {

void invokeAccessibilitySetOverrideValue(
    HXObject& element, const HXAccessibilityValue& value, const std::string& attribute)
{
    if (HXAccessibility::setOverrideValue(element, value, attribute))
        return;
    if (HXAccessibility::isAttributeSettable(element, attribute))
        HXAccessibility::setValue(element, value, attribute);
}

std::string localizedString(const std::string& key)
{
    return HXBundle::mainBundle()->localizedStringForKey(key, {}, {});
}

} // namespace MVPAccessibility
