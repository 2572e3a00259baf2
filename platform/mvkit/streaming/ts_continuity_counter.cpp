#include "platform/mvkit/streaming/ts_continuity_counter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr uint16_t kNullPID = 0x1FFF;

} // namespace

void MVTSContinuityCounter::receive(const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        if (_partialSize == 0) {
            // A packet begins at a sync byte; anything else before one is skipped.
            const auto* sync = static_cast<const uint8_t*>(std::memchr(bytes, kSyncByte, size));
            if (!sync)
                return;
            size -= size_t(sync - bytes);
            bytes = sync;
            if (size >= kPacketSize) {
                packet(bytes);
                bytes += kPacketSize;
                size -= kPacketSize;
                continue;
            }
        }
        const size_t take = std::min(size, kPacketSize - _partialSize);
        std::memcpy(_partial.data() + _partialSize, bytes, take);
        _partialSize += take;
        bytes += take;
        size -= take;
        if (_partialSize == kPacketSize) {
            packet(_partial.data());
            _partialSize = 0;
        }
    }
}

void MVTSContinuityCounter::packet(const uint8_t* p)
{
    ++_received;
    // A packet the sender marked as damaged tells nothing reliable about its PID.
    if (p[1] & 0x80)
        return;
    const uint16_t pid = uint16_t(((p[1] & 0x1F) << 8) | p[2]);
    if (pid == kNullPID)
        return;
    const int control = (p[3] >> 4) & 3;
    const int8_t counter = int8_t(p[3] & 0x0F);
    int8_t& last = _last[pid];
    const bool adaptation = control & 2;
    const bool payload = control & 1;
    // The discontinuity indicator: the counter may start anywhere.
    const bool discontinuity = adaptation && p[4] > 0 && (p[5] & 0x80);
    if (!payload) {
        // The counter does not step without payload.
        if (discontinuity)
            last = -1;
        return;
    }
    // A repeat (the sender may send a packet twice) loses nothing.
    if (last >= 0 && !discontinuity && counter != last)
        _lost += (counter - last - 1) & 0x0F;
    last = counter;
}
