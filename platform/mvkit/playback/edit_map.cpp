#include "platform/mvkit/playback/edit_map.h"

#include <algorithm>

__extension__ typedef __int128 MVInt128;

namespace {

// a * b / c rounded toward negative infinity, without overflowing on the way.
int64_t mulDivFloor(int64_t a, int64_t b, int64_t c)
{
    MVInt128 p = MVInt128(a) * b;
    MVInt128 q = p / c;
    if ((p % c != 0) && ((p < 0) != (c < 0)))
        --q;
    return int64_t(q);
}

// a * b / c rounded toward positive infinity.
int64_t mulDivCeil(int64_t a, int64_t b, int64_t c)
{
    return -mulDivFloor(-a, b, c);
}

} // namespace

MVEditMap::MVEditMap(const std::vector<MVEditListEntry>& edits, int32_t movieTimeScale,
    int32_t mediaTimeScale, int64_t mediaDuration)
    : _movieScale(std::max(1, movieTimeScale))
    , _mediaScale(std::max(1, mediaTimeScale))
{
    int64_t at = 0;
    if (edits.empty()) {
        if (mediaDuration > 0)
            _segments.push_back({ 0, mulDivFloor(mediaDuration, _movieScale, _mediaScale), 0, 0x10000 });
        return;
    }
    for (const auto& e : edits) {
        if (e.segmentDuration == 0 || e.segmentDuration > uint64_t(INT64_MAX / 2))
            continue;
        Segment s { at, int64_t(e.segmentDuration), e.mediaTime < 0 ? -1 : e.mediaTime, e.mediaRate };
        if (s.mediaRate <= 0 && !s.isEmpty())
            s.mediaRate = 0x10000; // a dwell or a backward segment plays as a normal one
        _segments.push_back(s);
        at += s.movieDuration;
    }
}

std::optional<size_t> MVEditMap::segmentIndexAt(int64_t movieTime) const
{
    if (movieTime < 0)
        return std::nullopt;
    auto it = std::upper_bound(_segments.begin(), _segments.end(), movieTime,
        [](int64_t t, const Segment& s) { return t < s.movieEnd(); });
    if (it == _segments.end())
        return std::nullopt;
    return size_t(it - _segments.begin());
}

int64_t MVEditMap::mediaDuration(const Segment& s) const
{
    return mulDivFloor(mulDivFloor(s.movieDuration, _mediaScale, _movieScale), s.mediaRate, 0x10000);
}

std::optional<int64_t> MVEditMap::mediaTimeAt(int64_t movieTime) const
{
    auto index = segmentIndexAt(movieTime);
    if (!index)
        return std::nullopt;
    const Segment& s = _segments[*index];
    if (s.isEmpty())
        return std::nullopt;
    int64_t offset = mulDivFloor(
        movieTime - s.movieStart, int64_t(_mediaScale) * s.mediaRate, int64_t(_movieScale) * 0x10000);
    return s.mediaTime + offset;
}

int64_t MVEditMap::movieTimeForMediaTime(const Segment& s, int64_t mediaTime) const
{
    return s.movieStart
        + mulDivCeil(
            mediaTime - s.mediaTime, int64_t(_movieScale) * 0x10000, int64_t(_mediaScale) * s.mediaRate);
}
