#pragma once
// HXSecureTextField: a text field for passwords. Its text shows as one bullet per character, while it is
// edited too; it cannot be copied or cut, and assistive programs learn that it is a secure field but not
// what it holds.
#include "platform/winkit/text_field.h"

class HXSecureTextFieldCell : public HXTextFieldCell {
public:
    explicit HXSecureTextFieldCell(std::string text = {});

    HXSize cellSizeForBounds(HXRect bounds) const override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;
    void setUpFieldEditorAttributes(HXTextView& editor) override;
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

    // One bullet for each character of `text`.
    static std::string bulletsFor(const std::string& text);
};

class HXSecureTextField : public HXTextField {
public:
    explicit HXSecureTextField(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
};
