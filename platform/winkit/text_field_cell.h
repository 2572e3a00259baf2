#pragma once
// HXTextFieldCell: the cell of text fields: a line of text on an optional bezel and background, with a
// placeholder shown while it is empty. It chooses the field editor its control types with.
#include "platform/winkit/cell.h"

class HXTextFieldCell : public HXCell {
public:
    explicit HXTextFieldCell(std::string text = {});

    const std::string& placeholderString() const { return _placeholderString; }
    void setPlaceholderString(const std::string& placeholder);
    bool drawsBackground() const { return _drawsBackground; }
    void setDrawsBackground(bool flag);
    HXColor backgroundColor() const { return _backgroundColor; }
    void setBackgroundColor(const HXColor& color);

    // The text as it is drawn and measured: the string value, unless a subclass hides it.
    virtual std::string displayedString() const { return stringValue(); }

    // The text view that edits for `controlView`: the window's shared field editor unless a subclass
    // brings its own.
    virtual std::shared_ptr<HXTextView> fieldEditorForView(HXView& controlView);

    bool acceptsFirstResponder() const override { return isEnabled() && isSelectable(); }
    HXSize cellSizeForBounds(HXRect bounds) const override;
    HXRect titleRectForBounds(HXRect bounds) const override;
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;
    void setUpFieldEditorAttributes(HXTextView& editor) override;

    // Accessibility: a text field (static text when it cannot be edited) whose value is its text.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    bool accessibilityIsAttributeSettable(const std::string& attribute) const override;
    void accessibilitySetValue(const HXAccessibilityValue& value, const std::string& attribute) override;

private:
    std::string _placeholderString;
    bool _drawsBackground = true;
    HXColor _backgroundColor = HXColor::textBackgroundColor();
};
