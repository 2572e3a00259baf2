#include "player/timeline/fake_frame_formatter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string FakeFrameFormatter::textForFrames(int64_t time, int32_t scale, double frameRate)
{
    double frames = scale > 0 && frameRate > 0 ? double(time) * frameRate / double(scale) : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%0.0f F", frames);
    return text;
}

bool FakeFrameFormatter::select(int index, bool doubleClick)
{
    bool answer = TimeFormatter::select(index, doubleClick);
    if (selectionMode() == 1) {
        _selStart = 0;
        _selEnd = -1;
    }
    return answer;
}

bool FakeFrameFormatter::incrementField(int step)
{
    double rate = staticFrameRate();
    if (rate > 0 && _scale > 0) {
        // A whole number of units per frame step, kept inside 64 bits for any rate.
        double units = std::clamp(std::trunc(step * double(_scale) / rate), -9.0e18, 9.0e18);
        _time = std::max<int64_t>(addClamped(_time, int64_t(units)), 0);
    }
    _editState = FieldEdit;
    _modified = true;
    if (auto text = formatTime())
        _timeString = *text;
    return true;
}

std::optional<MVTime> FakeFrameFormatter::committedTime(const std::string& text, int state) const
{
    if (state != FieldEdit)
        return TimeFormatter::committedTime(text, state);
    if (!_movie)
        return std::nullopt;
    // Stepped with the arrows: the stepped time itself.
    return MVTime { limitedValue(addClamped(_time, _timeOrigin)), _scale, 0 };
}
