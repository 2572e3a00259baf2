#include "platform/mvkit/import/picture_order.h"

#include <algorithm>

namespace {

// A decoder that finds a picture it should have shown earlier holds back one more; never more than this.
constexpr int kMostHeld = 16;

} // namespace

MVPictureOrder::MVPictureOrder(int delay)
    : _delay(std::clamp(delay, 0, kMostHeld))
{
}

void MVPictureOrder::add(int64_t decodeTime, std::optional<int32_t> count, bool key)
{
    int64_t order = count ? int64_t(*count) : (_highest == INT64_MIN ? 0 : _highest + 1);
    // A key picture whose count goes back starts the counting again: no picture is shown across it.
    if (key && count && order < _highest) {
        while (!_held.empty())
            showNext();
        _highest = _lastShown = INT64_MIN;
        _recentlyShown.clear();
    }
    // One that should have been shown before pictures already shown: the decoder learns to hold back as
    // many more.
    if (order < _lastShown) {
        int early = int(std::count_if(_recentlyShown.begin(), _recentlyShown.end(),
            [&](int64_t shown) { return shown > order; }));
        _delay = std::clamp(early, _delay, kMostHeld);
    }
    if (!_decodeTimes.empty())
        _step = std::max<int64_t>(decodeTime - _decodeTimes.back(), 1);
    _highest = std::max(_highest, order);
    _held.emplace(order, _added++);
    _decodeTimes.push_back(decodeTime);
    _times.emplace_back();
    while (_held.size() > size_t(_delay))
        showNext();
}

void MVPictureOrder::finish()
{
    while (!_held.empty())
        showNext();
}

// Shows the held picture of the lowest count: at the decode time of the picture as many places after its
// rank as the decoder holds back (past the last, a picture's time more for each).
void MVPictureOrder::showNext()
{
    auto [order, index] = *_held.begin();
    _held.erase(_held.begin());
    const size_t d = size_t(_delay);
    int64_t time = _decodeTimes.size() > d
        ? _decodeTimes[d]
        : _decodeTimes.back() + int64_t(d - (_decodeTimes.size() - 1)) * _step;
    _times[size_t(index - _firstWaiting)] = time;
    _decodeTimes.pop_front();
    _lastShown = order;
    _recentlyShown.push_back(order);
    if (_recentlyShown.size() > size_t(kMostHeld))
        _recentlyShown.pop_front();
}

std::optional<int64_t> MVPictureOrder::take()
{
    if (_times.empty() || !_times.front())
        return std::nullopt;
    int64_t time = *_times.front();
    _times.pop_front();
    ++_firstWaiting;
    return time;
}
