#pragma once
// AccessibilityTitledTextField: a text field whose accessibility title can be set from code; the cell
// keeps whatever it is given.
#include "platform/winkit/text_field.h"
#include "platform/winkit/text_field_cell.h"

class AccessibilityTitledTextFieldCell : public HXTextFieldCell {
public:
    using HXTextFieldCell::HXTextFieldCell;

    const HXAccessibilityValue& accessibilityTitle() const { return _accessibilityTitle; }

    std::vector<std::string> accessibilityAttributeNames() const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    HXAccessibilityValue _accessibilityTitle;
};

class AccessibilityTitledTextField : public HXTextField {
public:
    explicit AccessibilityTitledTextField(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<AccessibilityTitledTextFieldCell> titledCell() const
    {
        return std::static_pointer_cast<AccessibilityTitledTextFieldCell>(cell());
    }

protected:
    AccessibilityTitledTextField(std::shared_ptr<AccessibilityTitledTextFieldCell> cell, HXRect frame);
};
