#pragma once
// MVPEqualizerView: the time display's audio level bars — two groups of up to seven bars, one group per
// channel (a mono buffer shows its channel in both), each bar lit from the bottom by its level 0..1.
// The view keeps a level buffer of its own; the display copies the movie's levels into it.
#include "platform/mvkit/playback/audio_level_meter.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/view.h"

#include <cstdint>
#include <memory>

class MVPEqualizerView : public HXView, public HXAccessibilityElement {
public:
    static constexpr unsigned kEqualizerDefaultNumberOfChannels = 2;
    static constexpr unsigned kEqualizerDefaultNumberOfBands = 7;
    static constexpr int kEqualizerNumberOfRows = 8;
    static constexpr double kEqualizerBarHeight = 2;
    static constexpr double kEqualizerBarWidth = 3;
    static constexpr double kEqualizerGroupGap = 2;
    static constexpr unsigned kEqualizerMaxBandsDrawn = 7;

    static std::shared_ptr<MVPEqualizerView> equalizerViewWithFrame(HXRect frame);
    explicit MVPEqualizerView(HXRect frame = HXZeroRect);

    // Replaces the buffer with a zero-filled one of these counts (nothing when they are already so).
    void setNumberOfChannels(uint8_t channels, uint8_t bandLevels);
    void setAudioFrequencyLevels(MVAudioFrequencyLevels levels);
    const MVAudioFrequencyLevels& audioFrequencyLevels() const { return _audioFrequencyLevels; }
    uint8_t numberOfChannels() const { return uint8_t(_audioFrequencyLevels.numberOfChannels); }
    uint8_t numberOfBandLevels() const { return uint8_t(_audioFrequencyLevels.numberOfBandLevels); }

    // Every level to 0, redrawn at once.
    void clearBandLevels();
    // Copies as many levels as both buffers hold, redrawn at once.
    void updateBandLevels(const MVAudioFrequencyLevels& levels);

    // One lit bar: where the "on" part and the "off" part go (the on part is empty for level 0).
    struct Bar {
        HXRect on;
        HXRect off;
    };
    // The bars drawn, left to right: up to seven per group, two groups; none without channels or bands.
    std::vector<Bar> bars() const;

    void drawRect(HXRect dirtyRect) override;

    bool accessibilityIsIgnored() const override { return false; }
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    MVAudioFrequencyLevels _audioFrequencyLevels;
};
