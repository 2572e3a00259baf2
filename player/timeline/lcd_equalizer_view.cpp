#include "player/timeline/lcd_equalizer_view.h"

#include "platform/basekit/bundle.h"
#include "platform/drawing/image.h"
#include "platform/winkit/window.h"

#include <algorithm>

namespace {

constexpr double kLitHeight
    = MVPEqualizerView::kEqualizerNumberOfRows * MVPEqualizerView::kEqualizerBarHeight;

MVAudioFrequencyLevels zeroLevels(unsigned channels, unsigned bands)
{
    MVAudioFrequencyLevels levels;
    levels.numberOfChannels = channels;
    levels.numberOfBandLevels = bands;
    levels.levels.assign(size_t(channels) * bands, 0.0f);
    return levels;
}

} // namespace

std::shared_ptr<MVPEqualizerView> MVPEqualizerView::equalizerViewWithFrame(HXRect frame)
{
    return std::make_shared<MVPEqualizerView>(frame);
}

MVPEqualizerView::MVPEqualizerView(HXRect frame)
    : HXView(frame)
    , _audioFrequencyLevels(zeroLevels(kEqualizerDefaultNumberOfChannels, kEqualizerDefaultNumberOfBands))
{
}

void MVPEqualizerView::setNumberOfChannels(uint8_t channels, uint8_t bandLevels)
{
    if (_audioFrequencyLevels.numberOfChannels == channels
        && _audioFrequencyLevels.numberOfBandLevels == bandLevels)
        return;
    _audioFrequencyLevels = zeroLevels(channels, bandLevels);
    setNeedsDisplay(true);
}

void MVPEqualizerView::setAudioFrequencyLevels(MVAudioFrequencyLevels levels)
{
    // A buffer whose counts promise more levels than it holds is taken with what it holds, as zeros.
    levels.levels.resize(size_t(levels.numberOfChannels) * levels.numberOfBandLevels, 0.0f);
    _audioFrequencyLevels = std::move(levels);
    setNeedsDisplay(true);
}

void MVPEqualizerView::clearBandLevels()
{
    std::fill(_audioFrequencyLevels.levels.begin(), _audioFrequencyLevels.levels.end(), 0.0f);
    display();
}

void MVPEqualizerView::updateBandLevels(const MVAudioFrequencyLevels& levels)
{
    size_t theirs
        = std::min(size_t(levels.numberOfChannels) * levels.numberOfBandLevels, levels.levels.size());
    size_t count = std::min(theirs, _audioFrequencyLevels.levels.size());
    std::copy_n(levels.levels.begin(), count, _audioFrequencyLevels.levels.begin());
    display();
}

std::vector<MVPEqualizerView::Bar> MVPEqualizerView::bars() const
{
    std::vector<Bar> result;
    const auto& l = _audioFrequencyLevels;
    if (l.numberOfChannels == 0 || l.numberOfBandLevels == 0)
        return result;
    unsigned bands = std::min(l.numberOfBandLevels, kEqualizerMaxBandsDrawn);
    double x = 0;
    for (unsigned group = 0; group < 2; ++group) {
        // One channel shows in both groups; channels past the second are not shown.
        unsigned channel = std::min(group, l.numberOfChannels - 1);
        for (unsigned band = 0; band < bands; ++band) {
            size_t index = size_t(channel) * l.numberOfBandLevels + band;
            double v = index < l.levels.size() ? std::clamp(double(l.levels[index]), 0.0, 1.0) : 0.0;
            double h = kLitHeight * v;
            result.push_back({ HXMakeRect(x, 0, kEqualizerBarWidth, h),
                HXMakeRect(x, h, kEqualizerBarWidth, kLitHeight - h) });
            x += kEqualizerBarWidth;
        }
        x += kEqualizerGroupGap;
    }
    return result;
}

void MVPEqualizerView::drawRect(HXRect)
{
    auto on = HXImage::imageNamed("LCDEqualizerOn.tif");
    auto off = HXImage::imageNamed("LCDEqualizerOff.tif");
    for (const Bar& bar : bars()) {
        if (on && bar.on.size.height > 0)
            on->drawInRect(
                bar.on, HXMakeRect(0, 0, bar.on.size.width, bar.on.size.height), HXCompositeSourceOver, 1.0);
        if (off && bar.off.size.height > 0)
            off->drawInRect(bar.off, HXMakeRect(0, bar.off.origin.y, bar.off.size.width, bar.off.size.height),
                HXCompositeSourceOver, 1.0);
    }
}

std::vector<std::string> MVPEqualizerView::accessibilityAttributeNames() const
{
    static const std::vector<std::string> names = [] {
        auto list = HXAccessibility::viewAttributeNames();
        for (const char* name :
            { HXAccessibilityFocusedAttribute, HXAccessibilityRoleAttribute, HXAccessibilityParentAttribute,
                HXAccessibilityPositionAttribute, HXAccessibilitySizeAttribute,
                HXAccessibilityWindowAttribute, HXAccessibilityEnabledAttribute,
                HXAccessibilityTopLevelUIElementAttribute, HXAccessibilityDescriptionAttribute })
            if (std::find(list.begin(), list.end(), name) == list.end())
                list.push_back(name);
        return list;
    }();
    return names;
}

HXAccessibilityValue MVPEqualizerView::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityEnabledAttribute)
        return true;
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityImageRole;
    if (attribute == HXAccessibilityWindowAttribute || attribute == HXAccessibilityTopLevelUIElementAttribute)
        return HXAccessibilityValue::Element(window());
    if (attribute == HXAccessibilityDescriptionAttribute)
        return HXBundle::mainBundle()->localizedStringForKey("mvpAXEqualizerRoleDescription", {}, {});
    return HXAccessibility::viewAttributeValue(*this, attribute);
}
