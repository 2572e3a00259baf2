#include "platform/mvkit/playback/image_buffer_pool.h"

#include <algorithm>
#include <chrono>

std::shared_ptr<MVImageBufferPool> MVImageBufferPool::pool(size_t budgetBytes, size_t minimumCount, double wait)
{
    return std::shared_ptr<MVImageBufferPool>(new MVImageBufferPool(budgetBytes, minimumCount, wait));
}

MVImageBufferPool::MVImageBufferPool(size_t budgetBytes, size_t minimumCount, double wait)
    : _budget(budgetBytes)
    , _minimumCount(std::max<size_t>(1, minimumCount))
    , _wait(std::max(0.0, wait))
{
}

size_t MVImageBufferPool::countForBytes(size_t bytes) const
{
    return std::max(_minimumCount, _budget / std::max<size_t>(1, bytes));
}

size_t MVImageBufferPool::outstandingCount() const
{
    std::lock_guard lock(_mutex);
    return _outstanding;
}

size_t MVImageBufferPool::freeCount() const
{
    std::lock_guard lock(_mutex);
    return _free.size();
}

std::shared_ptr<MVImageBuffer> MVImageBufferPool::take(size_t bytes)
{
    std::unique_ptr<MVImageBuffer> buffer;
    {
        std::unique_lock lock(_mutex);
        const size_t limit = countForBytes(bytes);
        // Free buffers of another size are of no use: they go, and make room.
        std::erase_if(_free, [&](const auto& b) {
            return b->pixels.capacity() < bytes || b->pixels.capacity() > 2 * bytes;
        });
        if (_free.empty() && _outstanding >= limit)
            _returned.wait_for(lock, std::chrono::duration<double>(_wait),
                [&] { return !_free.empty() || _outstanding < limit; });
        if (!_free.empty()) {
            buffer = std::move(_free.back());
            _free.pop_back();
        }
        ++_outstanding;
    }
    if (!buffer)
        buffer = std::make_unique<MVImageBuffer>();
    std::weak_ptr<MVImageBufferPool> weak = weak_from_this();
    return std::shared_ptr<MVImageBuffer>(buffer.release(), [weak](MVImageBuffer* b) {
        if (auto self = weak.lock())
            self->give(b);
        else
            delete b;
    });
}

void MVImageBufferPool::give(MVImageBuffer* buffer)
{
    std::unique_ptr<MVImageBuffer> owned(buffer);
    {
        std::lock_guard lock(_mutex);
        if (_outstanding > 0)
            --_outstanding;
        // Kept while the budget holds it (a buffer of the size in use fits, as the one just given back).
        const size_t bytes = owned->pixels.capacity();
        if (_outstanding + _free.size() < countForBytes(bytes))
            _free.push_back(std::move(owned));
    }
    _returned.notify_all();
    // `owned`, when not kept, is freed here, outside the lock.
}
