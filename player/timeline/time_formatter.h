#pragma once
// TimeFormatter: hours, minutes and seconds ("00:01:30"), hours not wrapped at 24.
//
// A commit reads the fields as hours, minutes and seconds after the origin, or a typed entry as
// [+|-]hours.minutes.seconds.frames read from the right ("1." is one second, "+1." one second later than
// now, "120" 120 frames at the movie's frame rate; without a frame rate, frames count nothing).
#include "player/timeline/generic_formatter.h"

class TimeFormatter : public GenericFormatter {
public:
    explicit TimeFormatter(int type)
        : GenericFormatter(type)
    {
    }

    std::optional<std::string> formatTime() override { return textForTime(_time, _scale); }
    // "HH:MM:SS" of whole seconds; "00:00:00" for a zero time or scale.
    static std::string textForTime(int64_t time, int32_t scale);

protected:
    std::optional<MVTime> committedTime(const std::string& text, int state) const override;
    std::optional<std::string> formatTimeAt(int64_t movieTimeValue) const override
    {
        return textForTime(addClamped(movieTimeValue, -_timeOrigin), movieTimeScale());
    }
};
