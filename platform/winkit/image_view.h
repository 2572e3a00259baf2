#pragma once
// HXImageView: a control that shows an image (HXImageCell), scaled and aligned as asked, on an optional
// frame.
#include "platform/winkit/control.h"
#include "platform/winkit/image_cell.h"

class HXImageView : public HXControl {
public:
    explicit HXImageView(HXRect frame = HXZeroRect);
    static HXCellFactory& cellClass();
    std::shared_ptr<HXImageCell> imageCell() const { return std::static_pointer_cast<HXImageCell>(cell()); }

    std::shared_ptr<HXImage> image() const { return cell()->image(); }
    void setImage(std::shared_ptr<HXImage> image);
    HXImageScaling imageScaling() const { return imageCell()->imageScaling(); }
    void setImageScaling(HXImageScaling scaling) { imageCell()->setImageScaling(scaling); }
    HXImageAlignment imageAlignment() const { return imageCell()->imageAlignment(); }
    void setImageAlignment(HXImageAlignment alignment) { imageCell()->setImageAlignment(alignment); }
    HXImageFrameStyle imageFrameStyle() const { return imageCell()->imageFrameStyle(); }
    void setImageFrameStyle(HXImageFrameStyle style) { imageCell()->setImageFrameStyle(style); }
    bool isEditable() const { return cell()->isEditable(); }
    void setEditable(bool flag);
    bool animates() const { return _animates; }
    void setAnimates(bool flag) { _animates = flag; }
    // Where the image is drawn now, in the view's coordinates.
    HXRect imageRect() const { return imageCell()->imageRectForBounds(bounds(), isFlipped()); }

    void mouseDown(const HXEvent& event) override;

private:
    bool _animates = true;
};
