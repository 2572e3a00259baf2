#pragma once
// ImagePopUpButton: a pop-up button that shows only a picture, stretched to its bounds. Assistive
// software reads a description ("mvpAXURLPopupButtonValue") instead of the selected item.
#include "platform/winkit/pop_up_button.h"
#include "platform/winkit/pop_up_button_cell.h"

#include <memory>

class HXImage;

class ImagePopUpButtonCell : public HXPopUpButtonCell {
public:
    using HXPopUpButtonCell::HXPopUpButtonCell;
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
};

class ImagePopUpButton : public HXPopUpButton {
public:
    explicit ImagePopUpButton(HXRect frame = HXZeroRect);
    static std::shared_ptr<ImagePopUpButton> imagePopUpButtonWithFrame(HXRect frame)
    {
        return std::make_shared<ImagePopUpButton>(frame);
    }

    // The picture is marked flipped as the button is, so that it stands upright.
    void setImage(std::shared_ptr<HXImage> image);
    const std::shared_ptr<HXImage>& image() const { return _image; }

    void drawRect(HXRect dirtyRect) override;

private:
    std::shared_ptr<HXImage> _image;
};
