#pragma once
// MVRTPSequenceCounter: counts the packets of one RTP source from their 16-bit sequence numbers, the
// way a receiver report counts them: the packets expected are those from the first sequence number
// seen to the highest (its wrap-arounds included), the packets lost those expected and not received.
// A duplicate counts as received again, so it can hide a loss, as in the report; a packet from far
// before the highest one (a reordering that old is a restarted sender) starts the count afresh, the
// totals so far kept.
#include <cstdint>

class MVRTPSequenceCounter {
public:
    void receive(uint16_t sequenceNumber);

    int64_t received() const { return _received; }
    int64_t expected() const;
    int64_t lost() const;

private:
    static constexpr int kMaxDropout = 3000; // a jump forward further than this restarts the count
    static constexpr int kMaxMisorder = 100; // a packet this far behind the highest is merely late

    bool _started = false;
    uint32_t _base = 0; // extended sequence number of the first packet of the current count
    uint32_t _highest = 0; // extended highest sequence number
    int64_t _received = 0;
    // Totals of counts that were restarted.
    int64_t _earlierExpected = 0;
    int64_t _earlierReceived = 0;
    int64_t _receivedNow = 0; // received in the current count
};
