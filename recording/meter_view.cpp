#include "recording/meter_view.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/drawing/image.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double capWidth = 7, sliceWidth = 5, endWidth = 4;

// The bar images of a bundle without artwork: 20 slices of green (lit) or dark grey (unlit) LEDs.
std::shared_ptr<HXImage> drawnBar(bool lit)
{
    const double width = capWidth + 20 * sliceWidth + endWidth, height = 12;
    auto image = HXImage::initWithSize({ width, height });
    image->drawInto([&] {
        HXColor::colorWithCalibratedWhite(0.15).set();
        HXBezierPath::fillRect(HXMakeRect(0, 0, width, height));
        for (int i = 0; i < 20; ++i) {
            double x = capWidth + i * sliceWidth;
            HXColor colour = !lit ? HXColor::colorWithCalibratedWhite(0.32)
                : i < 14          ? HXColor::colorWithCalibratedRed(0.35, 0.9, 0.3)
                : i < 18          ? HXColor::colorWithCalibratedRed(0.95, 0.85, 0.2)
                                  : HXColor::colorWithCalibratedRed(0.95, 0.3, 0.2);
            colour.set();
            HXBezierPath::fillRect(HXMakeRect(x, 2, sliceWidth - 1, height - 4));
        }
    });
    return image;
}

std::shared_ptr<HXImage> barImageNamed(const std::string& name)
{
    if (auto image = HXImage::imageNamed(name))
        return image;
    auto image = drawnBar(name.find("On") != std::string::npos);
    std::string base = name.substr(0, name.rfind('.'));
    image->setName(base);
    return image;
}

} // namespace

std::shared_ptr<MVPMeterView> MVPMeterView::meterViewWithFrame(HXRect frame)
{
    return std::make_shared<MVPMeterView>(frame);
}

MVPMeterView::MVPMeterView(HXRect frame)
    : HXView(frame)
{
}

float MVPMeterView::updateNumSlices(double width)
{
    return float(std::floor((width - capWidth - endWidth) / sliceWidth));
}

float MVPMeterView::splicePointFor(float value, float slices)
{
    return float(std::ceil(value * slices) * sliceWidth + capWidth);
}

HXRect MVPMeterView::invalidRect(float from, float to, float slices, double height)
{
    float a = splicePointFor(from, slices), b = splicePointFor(to, slices);
    if (a == b)
        return HXZeroRect;
    return HXMakeRect(a, 0, b - a, height);
}

void MVPMeterView::invalidateValue(float from, float to)
{
    HXRect rect = invalidRect(from, to, _numSlices, bounds().size.height);
    if (!HXIsEmptyRect(rect))
        setNeedsDisplayInRect(rect);
}

void MVPMeterView::setValue(float value)
{
    if (value < 0.05f)
        value = 0;
    if (value == _value)
        return;
    invalidateValue(std::min(value, _value), std::max(value, _value));
    _value = value;
}

std::shared_ptr<HXImage> MVPMeterView::scaledImage(const std::shared_ptr<HXImage>& image, HXSize bounds)
{
    if (!image)
        return nullptr;
    double target = std::floor((bounds.width - capWidth - endWidth) / sliceWidth) * sliceWidth + capWidth + endWidth;
    HXSize size = image->size();
    if (size.width == target || target <= 0 || bounds.height <= 0)
        return image;
    auto scaled = HXImage::initWithSize({ target, bounds.height });
    double h = bounds.height;
    scaled->drawInto([&] {
        auto piece = [&](double fromX, double width, double toX) {
            image->drawInRect(HXMakeRect(toX, 0, width, h), HXMakeRect(fromX, 0, width, size.height),
                HXCompositeSourceOver, 1);
        };
        piece(0, capWidth, 0);
        if (size.width > target) {
            // Surplus slices are skipped.
            double from = capWidth + (size.width - target);
            piece(from, size.width - from, capWidth);
        } else {
            // Missing slices repeat the first one.
            int repeats = int(std::ceil((target - size.width) / sliceWidth));
            for (int i = 0; i < repeats; ++i)
                piece(capWidth, sliceWidth, capWidth + i * sliceWidth);
            double x = capWidth + repeats * sliceWidth;
            piece(capWidth, size.width - capWidth, x);
        }
    });
    return scaled;
}

std::shared_ptr<HXImage> MVPMeterView::loadScaledImage(const std::string& name) const
{
    return scaledImage(barImageNamed(name), bounds().size);
}

void MVPMeterView::drawRect(HXRect dirtyRect)
{
    HXRect b = bounds();
    if (!HXEqualSizes(b.size, _lastSize)) {
        // The images are cut again only when the size has changed since the last drawing.
        setOnImage(loadScaledImage("LCDAudioBarOn.tif"));
        setOffImage(loadScaledImage("LCDAudioBarOff.tif"));
        updateNumSlices();
        _lastSize = b.size;
    }
    double end = std::floor((b.origin.x + b.size.width - capWidth - endWidth) / sliceWidth) * sliceWidth + capWidth
        + endWidth;
    HXRect rect = dirtyRect;
    if (HXMaxX(rect) > end)
        rect.size.width = end - rect.origin.x;
    if (rect.size.width <= 0 || rect.size.height <= 0)
        return;
    double splice = splicePointFor(_value, _numSlices);
    HXRect off = rect;
    if (rect.origin.x < splice && _onImage) {
        HXRect on = rect;
        on.size.width = std::min(HXMaxX(rect), splice) - rect.origin.x;
        _onImage->drawInRect(on, on, HXCompositeSourceOver, 1);
        off.origin.x = on.origin.x + on.size.width;
        off.size.width = HXMaxX(rect) - off.origin.x;
    }
    if (off.size.width > 0 && _offImage)
        _offImage->drawInRect(off, off, HXCompositeSourceOver, 1);
}
