#include "player/controls/image_pop_up_button.h"

#include "platform/drawing/image.h"
#include "player/controls/accessibility_additions.h"

#include <algorithm>

std::vector<std::string> ImagePopUpButtonCell::accessibilityAttributeNames() const
{
    auto names = HXPopUpButtonCell::accessibilityAttributeNames();
    names.erase(
        std::remove(names.begin(), names.end(), std::string(HXAccessibilityValueAttribute)), names.end());
    if (std::find(names.begin(), names.end(), HXAccessibilityDescriptionAttribute) == names.end())
        names.push_back(HXAccessibilityDescriptionAttribute);
    return names;
}

HXAccessibilityValue ImagePopUpButtonCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityDescriptionAttribute)
        return MVPAccessibility::localizedString("mvpAXURLPopupButtonValue");
    if (attribute == HXAccessibilityValueAttribute)
        return {};
    return HXPopUpButtonCell::accessibilityAttributeValue(attribute);
}

ImagePopUpButton::ImagePopUpButton(HXRect frame)
    : HXPopUpButton(frame, false)
{
    auto cell = std::make_shared<ImagePopUpButtonCell>();
    setCell(cell);
}

void ImagePopUpButton::setImage(std::shared_ptr<HXImage> image)
{
    _image = std::move(image);
    // Drawn upright in the button's own coordinates.
    if (_image)
        _image->setFlipped(isFlipped());
    setNeedsDisplay(true);
}

void ImagePopUpButton::drawRect(HXRect)
{
    if (_image)
        _image->drawInRect(bounds(), HXZeroRect, HXCompositeSourceOver, 1.0);
}
