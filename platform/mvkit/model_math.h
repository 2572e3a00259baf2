#pragma once
// Exact integer arithmetic for time conversions inside the movie model (products need 128 bits).
#include <cstdint>

namespace mvmodel {

__extension__ typedef __int128 Int128;

// value * num / den rounded down, up, or to the nearest (halves away from zero); den > 0.
inline int64_t mulDivFloor(int64_t value, int64_t num, int64_t den)
{
    Int128 p = Int128(value) * num;
    Int128 q = p / den;
    if (p % den != 0 && p < 0)
        --q;
    return int64_t(q);
}

inline int64_t mulDivCeil(int64_t value, int64_t num, int64_t den)
{
    return -mulDivFloor(-value, num, den);
}

inline int64_t mulDivRound(int64_t value, int64_t num, int64_t den)
{
    Int128 p = Int128(value) * num;
    return int64_t((p + (p >= 0 ? den / 2 : -(den / 2))) / den);
}

} // namespace mvmodel
