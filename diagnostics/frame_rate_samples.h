#pragma once
// The frame-rate samples of the playback and resize profiles: a reading counts when it is at least 0 and
// below 200 frames per second (anything else is a glitch of the measurement), and an average is reported
// only from more than two readings.
#include <optional>

struct MVPerfFrameRateSamples {
    double sum = 0;
    double count = 0;
    int lastSample = 0;

    // True when the reading was counted.
    bool add(double framesPerSecond)
    {
        if (!(framesPerSecond >= 0 && framesPerSecond < 200))
            return false;
        sum += framesPerSecond;
        lastSample = int(framesPerSecond);
        count += 1;
        return true;
    }
    std::optional<double> average() const
    {
        if (count > 2)
            return sum / count;
        return std::nullopt;
    }
};
