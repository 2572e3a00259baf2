#pragma once
// MVTSContinuityCounter: counts the packets of an MPEG transport stream that arrives over UDP, and
// those lost on the way, from each PID's 4-bit continuity counter. The counter steps once per packet
// that carries payload; a gap in it is that many packets of the PID lost (a stretch of 16 or more
// lost at once on one PID is seen modulo 16). A repeated packet, a packet marked discontinuous and the
// null packets lose nothing. The bytes may come in pieces of any size: a packet split between
// two pieces is put together, and bytes out of step with the sync byte are skipped until it comes.
#include <array>
#include <cstddef>
#include <cstdint>

class MVTSContinuityCounter {
public:
    static constexpr size_t kPacketSize = 188;

    MVTSContinuityCounter() { _last.fill(-1); }
    void receive(const uint8_t* bytes, size_t size);

    // Transport packets received whole, and those missing between them.
    int64_t received() const { return _received; }
    int64_t lost() const { return _lost; }
    int64_t expected() const { return _received + _lost; }

private:
    void packet(const uint8_t* p);

    // Per PID: the counter last seen with payload, -1 before the first.
    std::array<int8_t, 8192> _last;
    std::array<uint8_t, kPacketSize> _partial {};
    size_t _partialSize = 0;
    int64_t _received = 0;
    int64_t _lost = 0;
};
