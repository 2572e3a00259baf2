#pragma once
// RollOverButton: a borderless image button that shows other images while the mouse is over it. The plain
// and alternate (pressed) images each have an "over" variant; without images it draws a small stop mark.
#include "platform/winkit/control.h"

#include <memory>

class HXImage;

class RollOverButton : public HXButton {
public:
    explicit RollOverButton(HXRect frame = HXZeroRect);
    ~RollOverButton() override;

    std::shared_ptr<HXImage> image() const { return _image; }
    void setImage(std::shared_ptr<HXImage> image);
    std::shared_ptr<HXImage> imageOver() const { return _imageOver; }
    void setImageOver(std::shared_ptr<HXImage> image);
    std::shared_ptr<HXImage> alternateImage() const { return _altImage; }
    void setAlternateImage(std::shared_ptr<HXImage> image);
    std::shared_ptr<HXImage> alternateImageOver() const { return _altImageOver; }
    void setAlternateImageOver(std::shared_ptr<HXImage> image);

    // What the button shows now: the plain or over image, and for the pressed state the alternate one.
    std::shared_ptr<HXImage> shownImage() const { return _shownImage; }
    std::shared_ptr<HXImage> shownAlternateImage() const { return _shownAltImage; }
    bool isMouseInside() const { return _inside; }

    void mouseEntered(const HXEvent& event) override;
    void mouseExited(const HXEvent& event) override;
    void setFrame(HXRect frame) override;
    void viewDidMoveToWindow() override;
    void drawRect(HXRect dirtyRect) override;

private:
    void resetTrackingRect();

    std::shared_ptr<HXImage> _image;
    std::shared_ptr<HXImage> _imageOver;
    std::shared_ptr<HXImage> _altImage;
    std::shared_ptr<HXImage> _altImageOver;
    std::shared_ptr<HXImage> _shownImage;
    std::shared_ptr<HXImage> _shownAltImage;
    HXTrackingRectTag _trackingTag = 0;
    bool _inside = false;
};
