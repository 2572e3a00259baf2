#pragma once
// AccessibilityTitledSlider: a slider whose accessibility title can be set from code. The cell keeps it;
// a title that is not text is ignored.
#include "platform/winkit/slider.h"
#include "platform/winkit/slider_cell.h"

#include <string>

class AccessibilityTitledSliderCell : public HXSliderCell {
public:
    using HXSliderCell::HXSliderCell;

    const std::string& accessibilityTitle() const { return _accessibilityTitle; }

    std::vector<std::string> accessibilityAttributeNames() const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    std::string _accessibilityTitle;
    bool _hasAccessibilityTitle = false;
};

class AccessibilityTitledSlider : public HXSlider {
public:
    explicit AccessibilityTitledSlider(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<AccessibilityTitledSliderCell> titledCell() const
    {
        return std::static_pointer_cast<AccessibilityTitledSliderCell>(cell());
    }

protected:
    AccessibilityTitledSlider(std::shared_ptr<AccessibilityTitledSliderCell> cell, HXRect frame);
};
