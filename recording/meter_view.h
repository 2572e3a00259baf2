#pragma once
// MVPMeterView: the recording window's sound level, a horizontal bar of lit and unlit slices cut from an
// "on" and an "off" bar image. The bar is a left cap 7 points wide, slices of 5 and an end of 4; the
// images are re-cut to the view's width (surplus slices skipped, missing ones repeated) when the view's
// size changes, and only the stretch between the old and the new level is redrawn when the level moves.
#include "platform/winkit/view.h"

#include <memory>
#include <string>

class HXImage;

class MVPMeterView : public HXView {
public:
    static std::shared_ptr<MVPMeterView> meterViewWithFrame(HXRect frame);
    explicit MVPMeterView(HXRect frame);

    // Linear amplitude 0 ... 1; below 0.05 counts as 0.
    void setValue(float value);
    float value() const { return _value; }
    void setOnImage(std::shared_ptr<HXImage> image) { _onImage = std::move(image); }
    void setOffImage(std::shared_ptr<HXImage> image) { _offImage = std::move(image); }
    const std::shared_ptr<HXImage>& onImage() const { return _onImage; }
    const std::shared_ptr<HXImage>& offImage() const { return _offImage; }
    float numSlices() const { return _numSlices; }

    void drawRect(HXRect dirtyRect) override;

    // The geometry, for a bar `width` points wide with `slices` slices.
    static float updateNumSlices(double width);
    static float splicePointFor(float value, float slices); // x where the lit part ends
    // The stretch to redraw when the level moves from `from` to `to` (from ≤ to); empty when none.
    static HXRect invalidRect(float from, float to, float slices, double height);
    // The named bar image cut to the view's bounds (as it is when it already fits).
    std::shared_ptr<HXImage> loadScaledImage(const std::string& name) const;
    static std::shared_ptr<HXImage> scaledImage(const std::shared_ptr<HXImage>& image, HXSize bounds);

private:
    void updateNumSlices() { _numSlices = updateNumSlices(bounds().size.width); }
    void invalidateValue(float from, float to);

    std::shared_ptr<HXImage> _onImage, _offImage;
    HXSize _lastSize { -1, -1 };
    float _numSlices = 0;
    float _value = 0;
};
