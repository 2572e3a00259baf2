#pragma once
// ImageSlider: a slider drawn from pictures — a bar, a knob, a knob while dragged, and the disabled
// variants — with insets that keep the knob (and the presses) off the ends of the bar. It looks active
// while its window is key, or always when told so (the full-screen panel).
#include "player/controls/detent_slider.h"

#include <memory>

class HXImage;

class ImageSliderCell : public MVPDetentSliderCell {
public:
    ImageSliderCell() = default;

    std::shared_ptr<HXImage> barImage() const { return _barImage; }
    void setBarImage(std::shared_ptr<HXImage> image)
    {
        _barImage = std::move(image);
        noteChanged();
    }
    std::shared_ptr<HXImage> barDisabledImage() const { return _barDisabledImage; }
    void setBarDisabledImage(std::shared_ptr<HXImage> image)
    {
        _barDisabledImage = std::move(image);
        noteChanged();
    }
    std::shared_ptr<HXImage> knobImage() const { return _knobImage; }
    void setKnobImage(std::shared_ptr<HXImage> image)
    {
        _knobImage = std::move(image);
        noteChanged();
    }
    std::shared_ptr<HXImage> knobAlternateImage() const { return _knobAlternateImage; }
    void setKnobAlternateImage(std::shared_ptr<HXImage> image)
    {
        _knobAlternateImage = std::move(image);
        noteChanged();
    }
    std::shared_ptr<HXImage> knobDisabledImage() const { return _knobDisabledImage; }
    void setKnobDisabledImage(std::shared_ptr<HXImage> image)
    {
        _knobDisabledImage = std::move(image);
        noteChanged();
    }

    void setOffset(double left, double right, double top, double bottom);
    double leftOffset() const { return _leftOffset; }
    double rightOffset() const { return _rightOffset; }
    double topOffset() const { return _topOffset; }
    double bottomOffset() const { return _bottomOffset; }
    bool alwaysActive() const { return _alwaysActive; }
    void setAlwaysActive(bool flag)
    {
        _alwaysActive = flag;
        noteChanged();
    }
    bool isMouseTracking() const { return _mouseTracking; }

    // Active: the window is key, or always active.
    bool isActive() const;
    // The pictures the current state draws.
    std::shared_ptr<HXImage> currentBarImage() const;
    std::shared_ptr<HXImage> currentKnobImage() const;

    double knobThickness() const override;
    HXRect knobRectFlipped(bool flipped) const override;
    // The value under `point` (in the control view), along the bar between the insets.
    double valueForKnobAtPoint(HXPoint point) const;

    void drawWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawInteriorWithFrame(HXRect cellFrame, HXView& controlView) override;
    void drawBarInside(HXRect rect, bool flipped) override;
    using MVPDetentSliderCell::drawKnob;
    void drawKnob(HXRect knobRect) override;
    void drawTickMarks() override;
    // The knob's own ring is drawn with it.
    bool controlDrawsFocusRing() const override { return false; }

    // Presses between the insets only.
    bool startTrackingAt(HXPoint startPoint, HXView& controlView) override;
    bool continueTracking(HXPoint lastPoint, HXPoint currentPoint, HXView& controlView) override;
    void stopTracking(HXPoint lastPoint, HXPoint stopPoint, HXView& controlView, bool mouseIsUp) override;

private:
    HXRect frameForGeometry() const;

    std::shared_ptr<HXImage> _barImage;
    std::shared_ptr<HXImage> _barDisabledImage;
    std::shared_ptr<HXImage> _knobImage;
    std::shared_ptr<HXImage> _knobAlternateImage;
    std::shared_ptr<HXImage> _knobDisabledImage;
    bool _mouseTracking = false;
    bool _alwaysActive = false;
    double _leftOffset = 0;
    double _rightOffset = 0;
    double _topOffset = 0;
    double _bottomOffset = 0;
    double _grabOffset = 0; // where the knob was taken, from its middle
};

class ImageSlider : public MVPDetentSlider {
public:
    explicit ImageSlider(HXRect frame = HXZeroRect);
    ~ImageSlider() override;
    static HXCellFactory& cellClass();
    std::shared_ptr<ImageSliderCell> imageSliderCell() const
    {
        return std::static_pointer_cast<ImageSliderCell>(cell());
    }

    std::shared_ptr<HXImage> barImage() const { return imageSliderCell()->barImage(); }
    void setBarImage(std::shared_ptr<HXImage> image) { imageSliderCell()->setBarImage(std::move(image)); }
    std::shared_ptr<HXImage> barDisabledImage() const { return imageSliderCell()->barDisabledImage(); }
    void setBarDisabledImage(std::shared_ptr<HXImage> image)
    {
        imageSliderCell()->setBarDisabledImage(std::move(image));
    }
    std::shared_ptr<HXImage> knobImage() const { return imageSliderCell()->knobImage(); }
    void setKnobImage(std::shared_ptr<HXImage> image) { imageSliderCell()->setKnobImage(std::move(image)); }
    std::shared_ptr<HXImage> knobAlternateImage() const { return imageSliderCell()->knobAlternateImage(); }
    void setKnobAlternateImage(std::shared_ptr<HXImage> image)
    {
        imageSliderCell()->setKnobAlternateImage(std::move(image));
    }
    std::shared_ptr<HXImage> knobDisabledImage() const { return imageSliderCell()->knobDisabledImage(); }
    void setKnobDisabledImage(std::shared_ptr<HXImage> image)
    {
        imageSliderCell()->setKnobDisabledImage(std::move(image));
    }
    void setOffset(double left, double right, double top, double bottom)
    {
        imageSliderCell()->setOffset(left, right, top, bottom);
        setNeedsDisplay(true);
    }
    double leftOffset() const { return imageSliderCell()->leftOffset(); }
    double rightOffset() const { return imageSliderCell()->rightOffset(); }
    double topOffset() const { return imageSliderCell()->topOffset(); }
    double bottomOffset() const { return imageSliderCell()->bottomOffset(); }
    bool alwaysActive() const { return imageSliderCell()->alwaysActive(); }
    void setAlwaysActive(bool flag) { imageSliderCell()->setAlwaysActive(flag); }

    void viewDidMoveToWindow() override;

protected:
    ImageSlider(std::shared_ptr<ImageSliderCell> cell, HXRect frame);

private:
    void observeWindowKeyState();
    uint64_t _keyObservers[2] = { 0, 0 };
};
