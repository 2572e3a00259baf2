#include "core/time_strings.h"

#include "platform/basekit/bundle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

__extension__ typedef __int128 Int128;

bool isIndefinite(MVTime time)
{
    return (time.flags & MVTimeFlagIndefinite) != 0;
}

std::string indeterminateTime()
{
    return HXLocalizedString("mvpIndeterminateTime");
}

template<class... Args> std::string print(const char* format, Args... args)
{
    char buffer[160];
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0)
        return {};
    return std::string(buffer, std::min(size_t(n), sizeof buffer - 1));
}

struct Fields {
    long long days = 0, hours = 0, minutes = 0, seconds = 0, hundredths = 0;
};

bool crack(MVTime time, Fields& f)
{
    int64_t d, h, m, s, c;
    if (!MVPCrackTime(time, &d, &h, &m, &s, &c))
        return false;
    f = { d, h, m, s, c };
    return true;
}

} // namespace

bool MVPCrackTime(
    MVTime time, int64_t* days, int64_t* hours, int64_t* minutes, int64_t* seconds, int64_t* hundredths)
{
    if (isIndefinite(time) || time.timeScale < 1)
        return false;
    const int64_t value = time.timeValue;
    const int64_t scale = time.timeScale;
    const int64_t s = value / scale;
    const int64_t d = s / 86400;
    const int64_t h = s / 3600 - d * 24;
    const int64_t m = s / 60 - d * 1440 - h * 60;
    const int64_t sec = s - d * 86400 - h * 3600 - m * 60;
    // value × 100 can pass the 64-bit range for very long times; the wider type keeps it exact.
    const Int128 total = Int128(value) * 100 / scale;
    const int64_t c
        = int64_t(total - Int128(d) * 8640000 - Int128(h) * 360000 - Int128(m) * 6000 - Int128(sec) * 100);
    if (days)
        *days = d;
    if (hours)
        *hours = h;
    if (minutes)
        *minutes = m;
    if (seconds)
        *seconds = sec;
    if (hundredths)
        *hundredths = c;
    return true;
}

std::string MVPStringForTimeAndDurationWithLeadingZero(MVTime time, MVTime duration, bool leadingZero)
{
    Fields f;
    // A duration without a usable scale cannot be divided out: it has no form to choose.
    if (!crack(time, f) || duration.timeScale < 1)
        return indeterminateTime();
    const int64_t d = duration.timeValue / duration.timeScale;
    if (d > 86399 || d < 0)
        return print("%lld:%02lld:%02lld:%02lld.%02lld", f.days, f.hours, f.minutes, f.seconds, f.hundredths);
    if (d > 3599)
        return print("%lld:%02lld:%02lld.%02lld", f.hours, f.minutes, f.seconds, f.hundredths);
    if (d > 59)
        return print("%lld:%02lld.%02lld", f.minutes, f.seconds, f.hundredths);
    if (leadingZero)
        return print("0:%02lld.%02lld", f.seconds, f.hundredths);
    return print("%lld.%02lld", f.seconds, f.hundredths);
}

std::string MVPStringForTimeAndDuration(MVTime time, MVTime duration)
{
    return MVPStringForTimeAndDurationWithLeadingZero(time, duration, false);
}

std::string MVPStringForTime(MVTime time)
{
    return MVPStringForTimeAndDurationWithLeadingZero(time, time, false);
}

std::string MVPTimeInfoString(MVTime time, float frameRate)
{
    Fields f;
    if (!crack(time, f))
        return indeterminateTime();
    // A rate that is not a finite positive number of a sensible size prints without frames.
    const double rate = frameRate;
    if (!(rate > 0) || !std::isfinite(rate) || rate > double(std::numeric_limits<int32_t>::max()))
        return print("%lld:%02lld:%02lld:%02lld.%02lld", f.days, f.hours, f.minutes, f.seconds, f.hundredths);
    const double remainder = double(time.timeValue % time.timeScale);
    const long long frame = (long long)(std::trunc(rate * remainder / double(time.timeScale)));
    long long whole = (long long)(std::floor(rate));
    long long fraction = std::llround((rate - double(whole)) * 100.0);
    if (fraction >= 100) {
        // 59.996 rounds up to the next whole rate rather than printing a fraction of 100.
        whole += 1;
        fraction = 0;
    }
    if (fraction != 0)
        return print("%lld:%02lld:%02lld:%02lld.%02lld/%02lld.%02lld", f.days, f.hours, f.minutes, f.seconds,
            frame, whole, fraction);
    return print(
        "%lld:%02lld:%02lld:%02lld.%02lld/%02lld", f.days, f.hours, f.minutes, f.seconds, frame, whole);
}

bool MVPTimeIsDefined(MVTime time)
{
    return time.timeValue != 0 || time.timeScale != 0 || isIndefinite(time);
}

bool MVPTimeIsUndefined(MVTime time)
{
    return !MVPTimeIsDefined(time);
}

bool MVPTimeIsDefinite(MVTime time)
{
    return !isIndefinite(time);
}

bool MVPTimeIsIndefinite(MVTime time)
{
    return isIndefinite(time);
}

bool MVPTimeIsFinite(MVTime time)
{
    return time.timeScale >= 1 && !isIndefinite(time);
}

bool MVPTimeIsInfinite(MVTime time)
{
    return time.timeScale == 0 && !isIndefinite(time);
}

bool MVPTimeIsPositiveInfinity(MVTime time)
{
    return time.timeValue > 0 && time.timeScale == 0 && !isIndefinite(time);
}

bool MVPTimeIsNegativeInfinity(MVTime time)
{
    return time.timeValue < 0 && time.timeScale == 0 && !isIndefinite(time);
}
