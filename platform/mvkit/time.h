#pragma once
// MVTime and MVTimeRange: media times as a count of units at a time scale (units per second).
//
// A time is exact: 1001/30000 stays 1001/30000. Arithmetic across scales uses 128-bit intermediates, so
// comparing or adding times never overflows on the way; only a result that does not fit its 64-bit value
// is clamped (to INT64_MIN/INT64_MAX).
//
// Special times:
// - indefinite: flag bit 0 set (`MVIndefiniteTime`); it compares greater than every other time and
//   propagates through arithmetic.
// - scale 0 with the flag clear: positive infinity when the value is > 0, negative infinity when < 0,
//   and the "undefined" time {0, 0, 0} when the value is 0. Undefined compares equal to zero.
// - a negative scale is read as value/scale mathematically (both signs flip).
#include <cstdint>
#include <optional>
#include <string>

inline constexpr uint32_t MVTimeFlagIndefinite = 1u << 0;

struct MVTime {
    int64_t timeValue = 0;
    int32_t timeScale = 0;
    uint32_t flags = 0;
};

struct MVTimeRange {
    MVTime time;
    MVTime duration;
};

// The zero time {0, 1, 0} and the indefinite time {0, 0, MVTimeFlagIndefinite}.
extern const MVTime MVZeroTime;
extern const MVTime MVIndefiniteTime;

// The time scale MVMakeTimeWithTimeInterval uses: microseconds.
inline constexpr int32_t MVTimeIntervalTimeScale = 1000000;

MVTime MVMakeTime(int64_t timeValue, int32_t timeScale);
// Seconds as a time at MVTimeIntervalTimeScale, rounded to the nearest unit (halves away from zero).
// NaN or an interval outside the 64-bit range gives MVIndefiniteTime.
MVTime MVMakeTimeWithTimeInterval(double interval);
// The time in seconds. False (and 0 stored) for an indefinite time or a scale below 1.
bool MVGetTimeInterval(MVTime time, double* outInterval);

bool MVTimeIsIndefinite(MVTime time);
// True for a definite time whose scale is at least 1.
bool MVTimeIsNumeric(MVTime time);

// -1 when a is earlier than b, 0 when they denote the same instant, 1 when later. Exact across scales.
int MVTimeCompare(MVTime a, MVTime b);
// Same instant (MVTimeCompare == 0); 1/2 equals 300/600. For field-wise identity compare the fields.
bool MVTimeEqual(MVTime a, MVTime b);

// a + b and a − b, in a's scale; b is converted to a's scale rounding to the nearest unit (halves away
// from zero). Indefinite in, indefinite out. When a's scale is below 1 (the undefined time, infinities)
// and b is numeric, the result is in b's scale.
MVTime MVTimeIncrement(MVTime a, MVTime b);
MVTime MVTimeDecrement(MVTime a, MVTime b);
// a + b exactly: in the least common multiple of the two scales when it fits 32 bits, else in the
// larger scale (then rounded as above).
MVTime MVTimeAdd(MVTime a, MVTime b);

// The time in another scale, rounded to the nearest unit with halves away from zero
// (1/3 s at scale 2 → 1/2; −1/4 s at scale 2 → −1/2). An indefinite time stays indefinite; a new scale
// below 1 gives MVIndefiniteTime; an infinite time keeps its sign at scale 0.
MVTime MVTimeInScale(MVTime time, int32_t newScale);
// The same conversion, truncating toward zero or rounding down (toward negative infinity).
MVTime MVTimeInScaleTruncating(MVTime time, int32_t newScale);
MVTime MVTimeInScaleFloor(MVTime time, int32_t newScale);

MVTime MVTimeMin(MVTime a, MVTime b);
MVTime MVTimeMax(MVTime a, MVTime b);
MVTime MVTimeAbs(MVTime time);

// Text form: "[-]D:HH:MM:SS.U/S" — days, hours, minutes, seconds, then U, the remaining units (0..S−1),
// and S, the scale; e.g. 83.5 s at scale 600 is "0:00:01:23.300/600". It is exact and reads back to the
// same time. An indefinite time is "indefinite"; a time with a scale below 1 is "V/S" (raw value and
// scale). MVTimeFromString also takes fewer leading fields ("1:23.300/600", "23.300/600") and the raw
// "V/S" form; it answers nothing for any other text.
std::string MVStringFromTime(MVTime time);
std::optional<MVTime> MVTimeFromString(const std::string& text);

MVTimeRange MVMakeTimeRange(MVTime time, MVTime duration);
// time + duration, exactly (MVTimeAdd). An indefinite duration gives an indefinite end.
MVTime MVTimeRangeEnd(MVTimeRange range);
// range.time ≤ time < end. An empty range contains nothing; an indefinite duration reaches forever.
bool MVTimeInTimeRange(MVTime time, MVTimeRange range);
// The smallest range covering both. An empty range (duration ≤ 0) adds nothing unless both are empty,
// then the first is answered.
MVTimeRange MVUnionTimeRange(MVTimeRange a, MVTimeRange b);
// The overlap; when the ranges do not overlap, an empty range at the later start.
MVTimeRange MVIntersectionTimeRange(MVTimeRange a, MVTimeRange b);
// Same start and same duration as instants (MVTimeEqual on both).
bool MVEqualTimeRanges(MVTimeRange a, MVTimeRange b);
bool MVTimeRangeIsEmpty(MVTimeRange range);
