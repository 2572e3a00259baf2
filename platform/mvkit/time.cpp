#include "platform/mvkit/time.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <vector>

namespace {

__extension__ typedef __int128 Int128;

constexpr Int128 kInt64Max = std::numeric_limits<int64_t>::max();
constexpr Int128 kInt64Min = std::numeric_limits<int64_t>::min();

// A time as one of four kinds; finite times as an exact fraction num/den with den > 0.
struct Rational {
    enum Kind { NegativeInfinity, Finite, PositiveInfinity, Indefinite } kind = Finite;
    Int128 num = 0;
    Int128 den = 1;
};

Rational toRational(MVTime t)
{
    Rational r;
    if (t.flags & MVTimeFlagIndefinite) {
        r.kind = Rational::Indefinite;
    } else if (t.timeScale == 0) {
        // Scale 0: infinities by sign; {0, 0} is the undefined time, taken as zero.
        r.kind = t.timeValue > 0 ? Rational::PositiveInfinity
            : t.timeValue < 0    ? Rational::NegativeInfinity
                                 : Rational::Finite;
    } else {
        r.num = t.timeValue;
        r.den = t.timeScale;
        if (r.den < 0) {
            r.num = -r.num;
            r.den = -r.den;
        }
    }
    return r;
}

int64_t clamp64(Int128 v)
{
    return v > kInt64Max ? std::numeric_limits<int64_t>::max()
        : v < kInt64Min  ? std::numeric_limits<int64_t>::min()
                         : int64_t(v);
}

enum class Rounding { Nearest, TowardZero, Down };

// num/den with den > 0, rounded as asked; Nearest sends halves away from zero.
Int128 divide(Int128 num, Int128 den, Rounding rounding)
{
    Int128 q = num / den; // truncates toward zero
    Int128 r = num % den;
    if (r == 0)
        return q;
    switch (rounding) {
    case Rounding::TowardZero:
        return q;
    case Rounding::Down:
        return num < 0 ? q - 1 : q;
    case Rounding::Nearest: {
        Int128 twice = (r < 0 ? -r : r) * 2;
        if (twice >= den)
            return num < 0 ? q - 1 : q + 1;
        return q;
    }
    }
    return q;
}

MVTime infinity(bool positive)
{
    return MVTime { positive ? 1 : -1, 0, 0 };
}

MVTime fromRational(const Rational& r, int32_t scale, Rounding rounding)
{
    switch (r.kind) {
    case Rational::Indefinite:
        return MVIndefiniteTime;
    case Rational::PositiveInfinity:
        return infinity(true);
    case Rational::NegativeInfinity:
        return infinity(false);
    case Rational::Finite:
        break;
    }
    if (scale < 1)
        return MVIndefiniteTime;
    return MVTime { clamp64(divide(r.num * scale, r.den, rounding)), scale, 0 };
}

MVTime convert(MVTime time, int32_t newScale, Rounding rounding)
{
    if (time.timeScale == newScale && !(time.flags & MVTimeFlagIndefinite) && newScale >= 1)
        return MVTime { time.timeValue, newScale, 0 };
    return fromRational(toRational(time), newScale, rounding);
}

// Adds (sign +1) or subtracts (sign −1) two non-finite-aware rationals; nullopt-free: answers the kind.
Rational combine(const Rational& a, const Rational& b, int sign)
{
    Rational r;
    if (a.kind == Rational::Indefinite || b.kind == Rational::Indefinite) {
        r.kind = Rational::Indefinite;
        return r;
    }
    auto bKind = b.kind;
    if (sign < 0 && bKind != Rational::Finite)
        bKind = bKind == Rational::PositiveInfinity ? Rational::NegativeInfinity : Rational::PositiveInfinity;
    if (a.kind != Rational::Finite && bKind != Rational::Finite) {
        r.kind = a.kind == bKind ? a.kind : Rational::Indefinite; // ∞ − ∞ has no value
        return r;
    }
    if (a.kind != Rational::Finite) {
        r.kind = a.kind;
        return r;
    }
    if (bKind != Rational::Finite) {
        r.kind = bKind;
        return r;
    }
    return r; // both finite: the caller does the arithmetic in a chosen scale
}

MVTime addInScale(MVTime a, MVTime b, int sign)
{
    Rational ra = toRational(a), rb = toRational(b);
    Rational k = combine(ra, rb, sign);
    if (k.kind != Rational::Finite || ra.kind != Rational::Finite || rb.kind != Rational::Finite)
        return fromRational(k, 1, Rounding::Nearest);
    int32_t scale = a.timeScale;
    if (scale < 1 && !(scale < 0)) {
        // a is the undefined time: the result takes b's scale.
        if (b.timeScale == 0)
            return MVTime { 0, 0, 0 };
        scale = b.timeScale < 0 ? (b.timeScale == std::numeric_limits<int32_t>::min() ? 1 : -b.timeScale)
                                : b.timeScale;
    } else if (scale < 0) {
        scale = scale == std::numeric_limits<int32_t>::min() ? 1 : -scale;
    }
    Int128 av = divide(ra.num * scale, ra.den, Rounding::Nearest);
    Int128 bv = divide(rb.num * scale, rb.den, Rounding::Nearest);
    return MVTime { clamp64(sign > 0 ? av + bv : av - bv), scale, 0 };
}

Int128 gcd128(Int128 a, Int128 b)
{
    if (a < 0)
        a = -a;
    if (b < 0)
        b = -b;
    while (b != 0) {
        Int128 t = a % b;
        a = b;
        b = t;
    }
    return a;
}

} // namespace

const MVTime MVZeroTime { 0, 1, 0 };
const MVTime MVIndefiniteTime { 0, 0, MVTimeFlagIndefinite };

MVTime MVMakeTime(int64_t timeValue, int32_t timeScale)
{
    return MVTime { timeValue, timeScale, 0 };
}

MVTime MVMakeTimeWithTimeInterval(double interval)
{
    if (std::isnan(interval))
        return MVIndefiniteTime;
    double units = std::round(interval * MVTimeIntervalTimeScale);
    // 2^63 is exactly representable; anything at or past it does not fit.
    if (!(units < 9223372036854775808.0) || !(units >= -9223372036854775808.0))
        return MVIndefiniteTime;
    return MVTime { int64_t(units), MVTimeIntervalTimeScale, 0 };
}

bool MVGetTimeInterval(MVTime time, double* outInterval)
{
    bool ok = MVTimeIsNumeric(time);
    if (outInterval)
        *outInterval = ok ? double(time.timeValue) / double(time.timeScale) : 0.0;
    return ok;
}

bool MVTimeIsIndefinite(MVTime time)
{
    return (time.flags & MVTimeFlagIndefinite) != 0;
}

bool MVTimeIsNumeric(MVTime time)
{
    return !MVTimeIsIndefinite(time) && time.timeScale >= 1;
}

int MVTimeCompare(MVTime a, MVTime b)
{
    Rational ra = toRational(a), rb = toRational(b);
    if (ra.kind != rb.kind)
        return ra.kind < rb.kind ? -1 : 1;
    if (ra.kind != Rational::Finite)
        return 0;
    // |num| < 2^63 and den < 2^31: each product stays below 2^94.
    Int128 l = ra.num * rb.den, r = rb.num * ra.den;
    return l < r ? -1 : (l > r ? 1 : 0);
}

bool MVTimeEqual(MVTime a, MVTime b)
{
    return MVTimeCompare(a, b) == 0;
}

MVTime MVTimeIncrement(MVTime a, MVTime b)
{
    return addInScale(a, b, 1);
}

MVTime MVTimeDecrement(MVTime a, MVTime b)
{
    return addInScale(a, b, -1);
}

MVTime MVTimeAdd(MVTime a, MVTime b)
{
    Rational ra = toRational(a), rb = toRational(b);
    Rational k = combine(ra, rb, 1);
    if (k.kind != Rational::Finite || ra.kind != Rational::Finite || rb.kind != Rational::Finite)
        return fromRational(k, 1, Rounding::Nearest);
    if (a.timeScale == 0)
        return b.timeScale == 0 ? MVTime { 0, 0, 0 } : MVTimeInScale(b, b.timeScale > 0 ? b.timeScale : 1);
    if (b.timeScale == 0)
        return MVTimeInScale(a, a.timeScale > 0 ? a.timeScale : 1);
    Int128 lcm = ra.den / gcd128(ra.den, rb.den) * rb.den;
    int32_t scale
        = lcm <= std::numeric_limits<int32_t>::max() ? int32_t(lcm) : int32_t(std::max(ra.den, rb.den));
    Int128 v = divide(ra.num * scale, ra.den, Rounding::Nearest)
        + divide(rb.num * scale, rb.den, Rounding::Nearest);
    return MVTime { clamp64(v), scale, 0 };
}

MVTime MVTimeInScale(MVTime time, int32_t newScale)
{
    return convert(time, newScale, Rounding::Nearest);
}

MVTime MVTimeInScaleTruncating(MVTime time, int32_t newScale)
{
    return convert(time, newScale, Rounding::TowardZero);
}

MVTime MVTimeInScaleFloor(MVTime time, int32_t newScale)
{
    return convert(time, newScale, Rounding::Down);
}

MVTime MVTimeMin(MVTime a, MVTime b)
{
    return MVTimeCompare(b, a) < 0 ? b : a;
}

MVTime MVTimeMax(MVTime a, MVTime b)
{
    return MVTimeCompare(b, a) > 0 ? b : a;
}

MVTime MVTimeAbs(MVTime time)
{
    if (MVTimeCompare(time, MVZeroTime) >= 0)
        return time;
    if (time.timeScale == 0)
        return infinity(true);
    if (time.timeScale < 0)
        return MVTimeInScale(
            time, time.timeScale == std::numeric_limits<int32_t>::min() ? 1 : -time.timeScale);
    if (time.timeValue == std::numeric_limits<int64_t>::min())
        return MVTime { std::numeric_limits<int64_t>::max(), time.timeScale, 0 };
    return MVTime { -time.timeValue, time.timeScale, 0 };
}

// ---- Text form

std::string MVStringFromTime(MVTime time)
{
    if (MVTimeIsIndefinite(time))
        return "indefinite";
    char buf[96];
    if (time.timeScale < 1) {
        std::snprintf(buf, sizeof buf, "%lld/%d", (long long)time.timeValue, time.timeScale);
        return buf;
    }
    bool negative = time.timeValue < 0;
    // The magnitude of INT64_MIN does not fit int64_t; unsigned arithmetic holds it.
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(time.timeValue) : uint64_t(time.timeValue);
    uint64_t scale = uint64_t(time.timeScale);
    uint64_t seconds = magnitude / scale, units = magnitude % scale;
    unsigned long long days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60,
                       secs = seconds % 60;
    std::snprintf(buf, sizeof buf, "%s%llu:%02llu:%02llu:%02llu.%llu/%d", negative ? "-" : "", days, hours,
        minutes, secs, (unsigned long long)units, time.timeScale);
    return buf;
}

namespace {

// A run of decimal digits that fits 64 bits unsigned; nothing else.
std::optional<uint64_t> parseDigits(const std::string& s)
{
    if (s.empty() || s.size() > 19)
        return std::nullopt;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + uint64_t(c - '0');
    }
    return v;
}

} // namespace

std::optional<MVTime> MVTimeFromString(const std::string& text)
{
    if (text == "indefinite")
        return MVIndefiniteTime;
    auto slash = text.find('/');
    if (slash == std::string::npos)
        return std::nullopt;
    std::string left = text.substr(0, slash), right = text.substr(slash + 1);
    bool scaleNegative = !right.empty() && right[0] == '-';
    auto scaleDigits = parseDigits(scaleNegative ? right.substr(1) : right);
    if (!scaleDigits
        || *scaleDigits > uint64_t(std::numeric_limits<int32_t>::max()) + (scaleNegative ? 1 : 0))
        return std::nullopt;
    Int128 scale = scaleNegative ? -Int128(*scaleDigits) : Int128(*scaleDigits);
    bool negative = !left.empty() && left[0] == '-';
    if (negative)
        left.erase(0, 1);

    if (left.find_first_of(":.") == std::string::npos) {
        // Raw "V/S".
        auto v = parseDigits(left);
        if (!v)
            return std::nullopt;
        Int128 value = negative ? -Int128(*v) : Int128(*v);
        if (value > kInt64Max || value < kInt64Min)
            return std::nullopt;
        return MVTime { int64_t(value), int32_t(scale), 0 };
    }
    if (scale < 1)
        return std::nullopt;

    auto dot = left.rfind('.');
    if (dot == std::string::npos)
        return std::nullopt;
    auto units = parseDigits(left.substr(dot + 1));
    if (!units || Int128(*units) >= scale)
        return std::nullopt;
    std::vector<std::string> fields;
    std::string clock = left.substr(0, dot);
    size_t start = 0;
    for (;;) {
        auto colon = clock.find(':', start);
        fields.push_back(clock.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    if (fields.size() > 4)
        return std::nullopt;
    // From the right: seconds, minutes, hours, days. Every field but the leading one stays within its unit.
    static const uint64_t kUnit[] = { 1, 60, 3600, 86400 };
    static const uint64_t kLimit[] = { 60, 60, 24, 0 };
    Int128 seconds = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        size_t position = fields.size() - 1 - i;
        auto v = parseDigits(fields[position]);
        if (!v)
            return std::nullopt;
        if (position != 0 && *v >= kLimit[i])
            return std::nullopt;
        seconds += Int128(*v) * kUnit[i];
        if (seconds > kInt64Max + 1) // INT64_MIN's magnitude is one more than INT64_MAX
            return std::nullopt;
    }
    Int128 value = seconds * scale + Int128(*units);
    if (negative)
        value = -value;
    if (value > kInt64Max || value < kInt64Min)
        return std::nullopt;
    return MVTime { int64_t(value), int32_t(scale), 0 };
}

// ---- Ranges

MVTimeRange MVMakeTimeRange(MVTime time, MVTime duration)
{
    return MVTimeRange { time, duration };
}

MVTime MVTimeRangeEnd(MVTimeRange range)
{
    return MVTimeAdd(range.time, range.duration);
}

bool MVTimeRangeIsEmpty(MVTimeRange range)
{
    return !MVTimeIsIndefinite(range.duration) && MVTimeCompare(range.duration, MVZeroTime) <= 0;
}

bool MVTimeInTimeRange(MVTime time, MVTimeRange range)
{
    if (MVTimeIsIndefinite(time) || MVTimeIsIndefinite(range.time) || MVTimeRangeIsEmpty(range))
        return false;
    if (MVTimeCompare(time, range.time) < 0)
        return false;
    if (MVTimeIsIndefinite(range.duration))
        return true;
    return MVTimeCompare(time, MVTimeRangeEnd(range)) < 0;
}

MVTimeRange MVUnionTimeRange(MVTimeRange a, MVTimeRange b)
{
    if (MVTimeRangeIsEmpty(b))
        return a;
    if (MVTimeRangeIsEmpty(a))
        return b;
    MVTime start = MVTimeMin(a.time, b.time);
    MVTime end = MVTimeMax(MVTimeRangeEnd(a), MVTimeRangeEnd(b));
    if (MVTimeIsIndefinite(end))
        return MVTimeRange { start, MVIndefiniteTime };
    return MVTimeRange { start, MVTimeDecrement(MVTimeAdd(end, MVTime { 0, start.timeScale, 0 }), start) };
}

MVTimeRange MVIntersectionTimeRange(MVTimeRange a, MVTimeRange b)
{
    MVTime start = MVTimeMax(a.time, b.time);
    MVTime end = MVTimeMin(MVTimeRangeEnd(a), MVTimeRangeEnd(b));
    if (MVTimeIsIndefinite(end))
        return MVTimeRange { start, MVIndefiniteTime };
    if (MVTimeCompare(end, start) <= 0)
        return MVTimeRange { start, MVTime { 0, start.timeScale >= 1 ? start.timeScale : 1, 0 } };
    return MVTimeRange { start, MVTimeDecrement(MVTimeAdd(end, MVTime { 0, start.timeScale, 0 }), start) };
}

bool MVEqualTimeRanges(MVTimeRange a, MVTimeRange b)
{
    return MVTimeEqual(a.time, b.time) && MVTimeEqual(a.duration, b.duration);
}
