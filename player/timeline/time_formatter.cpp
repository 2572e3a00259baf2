#include "player/timeline/time_formatter.h"

#include <cmath>
#include <cstdio>

std::string TimeFormatter::textForTime(int64_t time, int32_t scale)
{
    if (time == 0 || scale <= 0)
        return "00:00:00";
    int64_t s = time / scale;
    // Before the origin: the distance with a minus sign, rather than a sign in every field.
    bool negative = s < 0;
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(s) : uint64_t(s);
    char text[48];
    std::snprintf(text, sizeof text, "%s%02llu:%02llu:%02llu", negative ? "-" : "",
        (unsigned long long)(magnitude / 3600), (unsigned long long)(magnitude / 60 % 60),
        (unsigned long long)(magnitude % 60));
    return text;
}

std::optional<MVTime> TimeFormatter::committedTime(const std::string& text, int state) const
{
    if (!_movie)
        return std::nullopt;
    MVTime now = MVTimeInScaleFloor(_movie->currentTime(), _movie->timeScale());
    int64_t scale = _movie->timeScale();
    int64_t value = 0;
    if (state == FieldEdit) {
        auto f = scanIntegers(text, 3);
        int64_t seconds
            = addClamped(addClamped(multiplyClamped(f[0], 3600), multiplyClamped(f[1], 60)), f[2]);
        value = addClamped(multiplyClamped(seconds, scale), _timeOrigin);
    } else {
        auto parsed = dotParse(text);
        if (!parsed)
            return std::nullopt;
        auto& p = *parsed;
        p.resize(5, 0);
        int64_t sign = p[0];
        int64_t seconds
            = addClamped(addClamped(multiplyClamped(p[4], 3600), multiplyClamped(p[3], 60)), p[2]);
        // Frames need a frame rate; without one they add nothing (never a division by zero).
        double rate = staticFrameRate();
        double frameUnits = rate > 0 ? std::trunc(double(p[1]) * double(scale) / rate) : 0;
        frameUnits = std::fmin(frameUnits, 9.0e18);
        if (sign == 0) {
            value = addClamped(addClamped(multiplyClamped(seconds, scale), int64_t(frameUnits)), _timeOrigin);
        } else {
            // Relative to the current movie time, which already includes the origin.
            value = addClamped(now.timeValue, multiplyClamped(sign, multiplyClamped(seconds, scale)));
            value = addClamped(value, sign * int64_t(frameUnits));
        }
    }
    return MVTime { limitedValue(value), now.timeScale, now.flags };
}
