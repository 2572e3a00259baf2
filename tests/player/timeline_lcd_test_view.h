#pragma once
// The time display with its questions to the movie answered by the test: the kind of movie, a panorama
// controller, the chapter mode and the level bands of its sound.
#include "player/timeline/lcd_view.h"

#include <vector>

namespace movara::test {

class TestLCDView : public MVPLCDView {
public:
    using MVPLCDView::MVPLCDView;

    unsigned type = 0;
    bool vr = false;
    int chapterMode = 0;
    bool equalizer = false;
    unsigned channels = 2;
    unsigned bands = 4;
    int bandChanges = 0;
    std::vector<float> playing; // channel by channel, `bands` each

protected:
    unsigned queryMovieType() const override { return movie() ? type : 0; }
    bool queryHasVRController() const override { return vr; }
    int queryChapterMode() const override { return chapterMode; }
    bool queryHasEqualizer() const override { return equalizer; }
    unsigned queryNumberOfEqualizerDeviceChannels() const override { return channels; }
    unsigned queryNumberOfEqualizerBandLevels() const override { return bands; }
    void querySetNumberOfEqualizerBandLevels(unsigned b) override
    {
        bands = b;
        ++bandChanges;
    }
    void queryEqualizerBandLevels(MVAudioFrequencyLevels& levels) const override
    {
        for (size_t i = 0; i < levels.levels.size() && i < playing.size(); ++i)
            levels.levels[i] = playing[i];
    }
};

} // namespace movara::test
