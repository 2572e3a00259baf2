#pragma once
// HXSecureTextField: a text field for passwords. Its text shows as one bullet per character, while it is
// edited too; it cannot be copied or cut, and assistive programs learn that it is a secure field but not
// what it holds.
#include "platform/winkit/text_field.h"

class HXSecureTextFieldCell : public HXTextFieldCell {
public:
    explicit HXSecureTextFieldCell(std::string text = {});

    // One bullet for each character, so that neither the letters nor their widths show.
    std::string displayedString() const override { return HXTextView::bulletsFor(stringValue()); }
    void setUpFieldEditorAttributes(HXTextView& editor) override;
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
};

class HXSecureTextField : public HXTextField {
public:
    explicit HXSecureTextField(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
};
