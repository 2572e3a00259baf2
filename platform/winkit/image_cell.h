#pragma once
// HXImageCell: an image scaled into its frame as the scaling says, on an optional frame.
#include "platform/winkit/cell.h"

enum HXImageScaling : int {
    HXImageScaleProportionallyDown = 0,
    HXImageScaleAxesIndependently = 1,
    HXImageScaleNone = 2,
    HXImageScaleProportionallyUpOrDown = 3,
};

enum HXImageAlignment : int {
    HXImageAlignCenter = 0,
    HXImageAlignTop = 1,
    HXImageAlignTopLeft = 2,
    HXImageAlignTopRight = 3,
    HXImageAlignLeft = 4,
    HXImageAlignBottom = 5,
    HXImageAlignBottomLeft = 6,
    HXImageAlignBottomRight = 7,
    HXImageAlignRight = 8,
};

enum HXImageFrameStyle : int {
    HXImageFrameNone = 0,
    HXImageFramePhoto = 1,
    HXImageFrameGrayBezel = 2,
    HXImageFrameGroove = 3,
    HXImageFrameButton = 4,
};

class HXImageCell : public HXCell {
public:
    explicit HXImageCell(std::shared_ptr<HXImage> image = nullptr);

    HXImageScaling imageScaling() const { return _imageScaling; }
    void setImageScaling(HXImageScaling scaling);
    HXImageAlignment imageAlignment() const { return _imageAlignment; }
    void setImageAlignment(HXImageAlignment alignment);
    HXImageFrameStyle imageFrameStyle() const { return _imageFrameStyle; }
    void setImageFrameStyle(HXImageFrameStyle style);

    // Where the image goes in `bounds` (in the control's coordinates; `flipped` when y grows down).
    HXRect imageRectForBounds(HXRect bounds, bool flipped) const;
    HXRect imageRectForBounds(HXRect bounds) const override;
    HXRect drawingRectForBounds(HXRect bounds) const override;
    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;

    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    HXImageScaling _imageScaling = HXImageScaleProportionallyDown;
    HXImageAlignment _imageAlignment = HXImageAlignCenter;
    HXImageFrameStyle _imageFrameStyle = HXImageFrameNone;
};
