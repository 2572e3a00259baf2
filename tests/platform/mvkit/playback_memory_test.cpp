// What playback holds in memory for large pictures: the decoder's threads, each with a picture in flight,
// and the pool of pictures converted for the screen.
#include "platform/mvkit/playback/decoder.h"
#include "platform/mvkit/playback/image_buffer_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

TEST(PlaybackMemoryTest, DecoderThreadsFollowThePictureSize)
{
    struct Case {
        int width, height;
        unsigned processors;
        int threads; // 0: libavcodec's own choice
    };
    const Case cases[] = {
        { 0, 0, 8, 0 }, // size unknown
        { 640, 360, 8, 0 },
        { 1920, 1080, 8, 0 }, // nine threads of 1080p pictures fit the budget
        { 3840, 2160, 8, 5 }, // 12 MB pictures: five in flight
        { 3840, 2160, 2, 0 }, // three threads fit anyway
        { 3840, 2160, 32, 5 },
        { 7680, 4320, 8, 2 }, // never fewer than two
        { 7680, 4320, 1, 2 },
        { 3840, 2160, 0, 0 }, // processors unknown
    };
    for (const Case& c : cases)
        EXPECT_EQ(MVDecoderThreadCountForPicture(c.width, c.height, c.processors), c.threads)
            << c.width << "x" << c.height << " on " << c.processors;
}

namespace {

constexpr size_t kMB = size_t(1) << 20;

std::shared_ptr<MVImageBuffer> filled(const std::shared_ptr<MVImageBufferPool>& pool, size_t bytes)
{
    auto buffer = pool->take(bytes);
    buffer->pixels.resize(bytes);
    return buffer;
}

} // namespace

TEST(PlaybackMemoryTest, PoolCountsBuffersByTheBudget)
{
    struct Case {
        size_t budget, minimum, bytes, count;
    };
    const Case cases[] = {
        { 64 * kMB, 2, 8 * kMB, 8 },
        { 64 * kMB, 2, 33 * kMB, 2 },
        { 64 * kMB, 2, 100 * kMB, 2 },
        { 64 * kMB, 3, 33 * kMB, 3 },
        { 64 * kMB, 2, 0, 64 * kMB },
    };
    for (const Case& c : cases)
        EXPECT_EQ(MVImageBufferPool::pool(c.budget, c.minimum)->countForBytes(c.bytes), c.count) << c.bytes;
}

TEST(PlaybackMemoryTest, PoolUsesBuffersGivenBackAgain)
{
    auto pool = MVImageBufferPool::pool(4 * kMB, 2, 0);
    const uint8_t* storage = nullptr;
    {
        auto buffer = filled(pool, kMB);
        storage = buffer->pixels.data();
        EXPECT_EQ(pool->outstandingCount(), 1u);
    }
    EXPECT_EQ(pool->outstandingCount(), 0u);
    EXPECT_EQ(pool->freeCount(), 1u);
    auto again = pool->take(kMB);
    EXPECT_EQ(again->pixels.data(), storage);
    // A buffer of another size is not handed out for a picture it does not fit.
    again.reset();
    auto larger = pool->take(3 * kMB);
    EXPECT_TRUE(larger->pixels.empty());
    EXPECT_EQ(pool->freeCount(), 0u);
}

TEST(PlaybackMemoryTest, PoolAtItsBudgetWaitsForABufferToComeBack)
{
    // Two pictures fit: a third take waits for one of them.
    auto pool = MVImageBufferPool::pool(2 * kMB, 2, 10.0);
    auto first = filled(pool, kMB);
    auto second = filled(pool, kMB);
    const uint8_t* storage = first->pixels.data();
    auto third = std::async(std::launch::async, [&] { return pool->take(kMB); });
    EXPECT_EQ(third.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    first.reset();
    ASSERT_EQ(third.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto given = third.get();
    EXPECT_EQ(given->pixels.data(), storage);
    EXPECT_EQ(pool->outstandingCount(), 2u);
}

TEST(PlaybackMemoryTest, PoolAtItsBudgetMakesAnotherBufferAfterItsWait)
{
    // A screen that holds on to its pictures costs the decode thread a short wait, never a hang.
    auto pool = MVImageBufferPool::pool(2 * kMB, 2, 0.05);
    auto first = filled(pool, kMB);
    auto second = filled(pool, kMB);
    const auto start = std::chrono::steady_clock::now();
    auto third = pool->take(kMB);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
    ASSERT_TRUE(third);
    EXPECT_EQ(pool->outstandingCount(), 3u);
    // Given back beyond the budget, the extra buffer is freed rather than kept.
    third.reset();
    second.reset();
    first.reset();
    EXPECT_EQ(pool->outstandingCount(), 0u);
    EXPECT_EQ(pool->freeCount(), 2u);
}

TEST(PlaybackMemoryTest, BufferOutlivingItsPoolIsFreed)
{
    auto pool = MVImageBufferPool::pool();
    auto buffer = filled(pool, kMB);
    pool.reset();
    buffer.reset(); // the sanitizer sees a leak or a use after free
    SUCCEED();
}
