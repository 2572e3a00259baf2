#pragma once
// HXFormCell: one entry of a form: a title on the left ("Data rate:") and a text field for its value on
// the right. The title takes a column of its own width; unless one is set, that is the width the title
// needs. The cell's title is the label, its string/object value the field's text (through its formatter).
#include "platform/winkit/text_field_cell.h"

class HXFormCell : public HXTextFieldCell {
public:
    explicit HXFormCell(std::string title = {});

    // The width of the title column: the set width; when none is set (-1), the widest title of the form
    // the cell is in, or the title's own width outside a form.
    double titleWidth() const;
    // What the title alone needs (with the gap before the field); 0 without a title.
    double naturalTitleWidth() const;
    // The same, measured against `size` (never wider than the cell).
    double titleWidth(HXSize size) const;
    void setTitleWidth(double width);
    const HXFont& titleFont() const { return _titleFont; }
    void setTitleFont(const HXFont& font);
    HXTextAlignment titleAlignment() const { return _titleAlignment; }
    void setTitleAlignment(HXTextAlignment alignment);
    // The frame of the value's field within `bounds` (the title column left out). The text field cell's
    // own geometry (titleRectForBounds) applies within this frame.
    HXRect fieldFrameForBounds(HXRect bounds) const;

    HXSize cellSizeForBounds(HXRect bounds) const override;
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;

    // Accessibility: the title describes the field.
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

    static constexpr double titleGap = 4;

private:
    double _titleWidth = -1;
    HXFont _titleFont;
    HXTextAlignment _titleAlignment = HXRightTextAlignment;
};
