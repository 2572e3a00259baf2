#pragma once
// FakeFrameFormatter: frame numbers worked out from the time and the movie's frame rate ("45 F"), for
// movies without a time-code track. The text is only ever replaced as a whole; the arrow keys step
// whole frames.
#include "player/timeline/time_formatter.h"

class FakeFrameFormatter : public TimeFormatter {
public:
    explicit FakeFrameFormatter(int type)
        : TimeFormatter(type)
    {
    }

    std::optional<std::string> formatTime() override
    {
        return textForFrames(_time, _scale, staticFrameRate());
    }
    // time × rate ÷ scale rounded to a whole frame, "%0.0f F"; 0 frames without a scale or rate.
    static std::string textForFrames(int64_t time, int32_t scale, double frameRate);

    bool select(int index, bool doubleClick) override;
    bool moveField(int direction) override
    {
        (void)direction;
        return false;
    }
    bool incrementField(int step) override;

protected:
    std::optional<MVTime> committedTime(const std::string& text, int state) const override;
    std::optional<std::string> formatTimeAt(int64_t movieTimeValue) const override
    {
        return textForFrames(addClamped(movieTimeValue, -_timeOrigin), movieTimeScale(), staticFrameRate());
    }
};
