#include "platform/mvkit/streaming/rtp_sequence_counter.h"

#include <algorithm>

void MVRTPSequenceCounter::receive(uint16_t sequenceNumber)
{
    ++_received;
    if (!_started) {
        _started = true;
        _base = _highest = sequenceNumber;
        _receivedNow = 1;
        return;
    }
    // The extended number closest to the highest one.
    const uint16_t highLow = uint16_t(_highest & 0xFFFF);
    const int delta = int16_t(uint16_t(sequenceNumber - highLow));
    if (delta > kMaxDropout || delta < -kMaxMisorder) {
        // The sender started over (or jumped): what was counted stands, a new count begins.
        _earlierExpected += int64_t(_highest - _base) + 1;
        _earlierReceived += _receivedNow;
        _base = _highest = sequenceNumber;
        _receivedNow = 1;
        return;
    }
    ++_receivedNow;
    if (delta > 0)
        _highest += uint32_t(delta);
}

int64_t MVRTPSequenceCounter::expected() const
{
    if (!_started)
        return 0;
    return _earlierExpected + int64_t(_highest - _base) + 1;
}

int64_t MVRTPSequenceCounter::lost() const
{
    if (!_started)
        return 0;
    const int64_t now = std::max<int64_t>(0, int64_t(_highest - _base) + 1 - _receivedNow);
    const int64_t earlier = std::max<int64_t>(0, _earlierExpected - _earlierReceived);
    return now + earlier;
}
