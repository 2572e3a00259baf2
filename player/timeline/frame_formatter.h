#pragma once
// FrameFormatter: frame numbers of the time-code track ("1800 F"), counted from the track's first frame
// unless absolute frame numbers are asked for.
//
// The text is only ever replaced as a whole. A typed number is a frame (+n and -n step from the current
// frame); the arrow keys step frames. Frame numbers are 64-bit.
#include "player/timeline/time_code_formatter.h"

class FrameFormatter : public TimeCodeFormatter {
public:
    explicit FrameFormatter(int type)
        : TimeCodeFormatter(type)
    {
    }

    std::optional<std::string> formatTime() override;
    std::string maxTimeString() override;
    int selectionMode() const override;
    bool select(int index, bool doubleClick) override;
    bool moveField(int direction) override
    {
        (void)direction;
        return false;
    }
    // Steps the shown frame by `step` frames (not before the track's first frame).
    bool incrementField(int step) override;
    void applyEdit() override;

protected:
    std::optional<MVTime> committedTime(const std::string& text, int state) const override;
    std::optional<std::string> formatTimeAt(int64_t movieTimeValue) const override;
    std::string textForTimeCode(const MVTimeCode& timeCode) const;
};
