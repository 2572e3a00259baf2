#pragma once
// ImageAndTextCell: a text cell that draws a small icon before its text (the favorites list's name
// column). The icon sits 3 points from the left edge, centred vertically; the text, and the field editor
// while the text is edited, take the rest of the cell. Without an icon the text still starts 3 points in.
#include "platform/winkit/text_field_cell.h"

class ImageAndTextCell : public HXTextFieldCell {
public:
    explicit ImageAndTextCell(std::string text = {});

    // The text cell's size, widened by the icon's width and the 3-point gap.
    HXSize cellSize() const override;
    // Where the icon goes in `cellFrame` (the zero rectangle without an icon).
    HXRect imageFrameForCellFrame(HXRect cellFrame) const;
    // What is left of `cellFrame` for the text.
    HXRect textFrameForCellFrame(HXRect cellFrame) const;

    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void editWithFrame(HXRect frame, HXView& controlView, HXTextView& editor, const HXEvent* event) override;
    void selectWithFrame(
        HXRect frame, HXView& controlView, HXTextView& editor, size_t start, size_t length) override;

    static constexpr double kImageGap = 3;

private:
    double stripWidth() const;
};
