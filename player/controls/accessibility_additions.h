#pragma once
// Accessibility helpers every control of the player uses: our controls show no label of their own, so
// their titles and role descriptions are set from code, as override values where the element keeps them
// and otherwise through the element's own settable attributes.
#include "platform/winkit/accessibility.h"

#include <string>

namespace MVPAccessibility {

// Sets `value` for `attribute` on `element`: as an override value when the element keeps overrides,
// else through its settable attribute, else not at all.
void invokeAccessibilitySetOverrideValue(
    HXObject& element, const HXAccessibilityValue& value, const std::string& attribute);
// The toolkit always has the accessibility model the controls rely on.
inline bool isSystemVersion4AndAbove()
{
    return true;
}
// The main bundle's text for `key` (the key itself when the strings table has none).
std::string localizedString(const std::string& key);

} // namespace MVPAccessibility
