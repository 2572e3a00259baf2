#pragma once
// MVImageBufferPool: the buffers a decode thread converts pictures into, used again once the screen is
// done with them (a fresh buffer of some megabytes for every picture would cost the clearing of fresh
// pages), and kept within a budget of memory.
//
// take() hands out a buffer whose last holder gives it back to the pool. While the buffers out and
// free already fill the budget (never fewer than `minimumCount` of them), take() waits up to `wait`
// seconds for one to come back, and only then makes another: a preparer that runs ahead of the screen
// waits for the picture the screen let go of, rather than hold a third picture of a size that takes tens
// of megabytes. A buffer that outlives its pool is simply freed.
#include "platform/mvkit/playback/frame_converter.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

class MVImageBufferPool : public std::enable_shared_from_this<MVImageBufferPool> {
public:
    static std::shared_ptr<MVImageBufferPool> pool(
        size_t budgetBytes = size_t(64) << 20, size_t minimumCount = 2, double wait = 0.04);

    // A buffer for a picture of `bytes` (its contents are whatever it held before).
    std::shared_ptr<MVImageBuffer> take(size_t bytes);

    // Buffers handed out and not yet given back, and free ones kept.
    size_t outstandingCount() const;
    size_t freeCount() const;
    // How many buffers of `bytes` the budget holds.
    size_t countForBytes(size_t bytes) const;

private:
    MVImageBufferPool(size_t budgetBytes, size_t minimumCount, double wait);
    void give(MVImageBuffer* buffer);

    const size_t _budget;
    const size_t _minimumCount;
    const double _wait;
    mutable std::mutex _mutex;
    std::condition_variable _returned;
    std::vector<std::unique_ptr<MVImageBuffer>> _free;
    size_t _outstanding = 0;
};
