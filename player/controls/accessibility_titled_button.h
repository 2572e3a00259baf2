#pragma once
// AccessibilityTitledButton: a button whose accessibility title and role description can be set from code
// (the player's buttons are pictures without a visible label). The cell keeps both.
#include "platform/winkit/button.h"
#include "platform/winkit/button_cell.h"

#include <string>

class AccessibilityTitledButtonCell : public HXButtonCell {
public:
    using HXButtonCell::HXButtonCell;

    const std::string& accessibilityTitle() const { return _accessibilityTitle; }
    const std::string& accessibilityRoleDescription() const { return _accessibilityRoleDescription; }

    // The title and the role description are settable; each is stored only when it differs from what
    // that attribute reads now.
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    std::string _accessibilityTitle;
    std::string _accessibilityRoleDescription;
    bool _hasAccessibilityTitle = false;
    bool _hasAccessibilityRoleDescription = false;
};

class AccessibilityTitledButton : public HXButton {
public:
    explicit AccessibilityTitledButton(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<AccessibilityTitledButtonCell> titledCell() const
    {
        return std::static_pointer_cast<AccessibilityTitledButtonCell>(cell());
    }

protected:
    AccessibilityTitledButton(std::shared_ptr<AccessibilityTitledButtonCell> cell, HXRect frame);
};
