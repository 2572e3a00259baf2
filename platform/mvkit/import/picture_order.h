// The order a decoder shows H.264 and HEVC pictures in, for streams whose container gives only their
// decode times (AVI, raw streams): presentation times, in decode order, as a decoder would show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <utility>



class MVPictureOrder {
public:
    // `delay`: the pictures the decoder holds back before it shows one, as the stream declares it.
    explicit MVPictureOrder(int delay = 0);

    // The next picture in decode order: its decode time (increasing), its order count when the parser
    // read one (a picture without one is shown after those before it), and whether it is a key picture.
    void add(int64_t decodeTime, std::optional<int32_t> count, bool key);
    // After the last picture: every picture held is shown.
    void finish();
    // The presentation time of the earliest picture (in decode order) not yet taken, once it is known.
    std::optional<int64_t> take();
    size_t waiting() const { return _times.size(); }

private:
    void showNext();

    int _delay;
    uint64_t _added = 0;
    uint64_t _firstWaiting = 0; // decode index of _times' front
    std::deque<std::optional<int64_t>> _times; // presentation times of the waiting pictures
    std::deque<int64_t> _decodeTimes; // of the pictures from the next one to be shown on
    std::set<std::pair<int64_t, uint64_t>> _held; // (count, decode index) of pictures not yet shown
    int64_t _highest = INT64_MIN; // the highest count held or shown since the last key picture
    int64_t _lastShown = INT64_MIN;
    std::deque<int64_t> _recentlyShown; // counts of the last pictures shown since the last key picture
    int64_t _step = 1; // between the last two decode times
};


