// The decoded sound and pictures a stream holds for its player.
#include "platform/mvkit/streaming/stream_buffers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

std::vector<float> frames(int count, float value, int channels = 2)
{
    return std::vector<float>(size_t(count * channels), value);
}

std::vector<float> readBack(const MVStreamSoundStore& store, int64_t position, int64_t count)
{
    std::vector<float> out(size_t(count * store.channelCount()), -1.0f);
    store.read(position, count, out.data());
    return out;
}

MVStreamPictureQueue::Picture picture(int64_t start, int64_t end = 0)
{
    return { start, end ? end : start + 10, nullptr, nullptr, nullptr };
}

} // namespace

TEST(StreamSoundStoreTest, PlacesBlocksJoinsJitterAndLeavesGapsSilent)
{
    MVStreamSoundStore store(2, 4);
    EXPECT_TRUE(store.isEmpty());
    EXPECT_EQ(store.write(100, frames(10, 0.5f).data(), 10), 100);
    // Two frames late: joined to the end, no gap.
    EXPECT_EQ(store.write(112, frames(10, 0.25f).data(), 10), 110);
    EXPECT_EQ(store.end(), 120);
    // Far later: a gap of silence.
    EXPECT_EQ(store.write(200, frames(5, 1.0f).data(), 5), 200);

    auto out = readBack(store, 95, 30);
    EXPECT_EQ(out[0], 0.0f); // before the first block
    EXPECT_EQ(out[2 * 5], 0.5f);
    EXPECT_EQ(out[2 * 15], 0.25f);
    EXPECT_EQ(out[2 * 29], 0.0f); // 124: in the gap
    EXPECT_EQ(readBack(store, 202, 1)[0], 1.0f);

    store.trimBefore(150);
    EXPECT_EQ(store.start(), 200);
    EXPECT_EQ(readBack(store, 100, 1)[0], 0.0f);
}

TEST(StreamSoundStoreTest, ConvertingKeepsWhatIsHeldAtItsTimeInTheNewFormat)
{
    // Stereo at one rate to mono at twice the rate: every frame doubled, its channels summed.
    const auto doubled = [](const std::vector<float>& samples) {
        std::vector<float> out;
        for (size_t i = 0; i + 1 < samples.size(); i += 2)
            out.insert(out.end(), 2, samples[i] + samples[i + 1]);
        return out;
    };
    const struct {
        const char* name;
        std::vector<std::pair<int64_t, int>> blocks; // position, frames (stereo)
        double scale;
        std::function<std::vector<float>(const std::vector<float>&)> convert;
        int64_t start, end;
    } cases[] = {
        { "doubled", { { 100, 10 }, { 110, 10 } }, 2.0, doubled, 200, 240 },
        // A block made one frame longer than its time: the one before it ends where it starts.
        { "overlap", { { 100, 10 }, { 110, 10 } }, 2.0,
            [&](const std::vector<float>& s) {
                auto out = doubled(s);
                out.push_back(out.back());
                return out;
            },
            200, 241 },
        { "nothing comes out", { { 100, 10 } }, 2.0, [](const std::vector<float>&) { return std::vector<float> {}; },
            0, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MVStreamSoundStore store(2, 4);
        float value = 0.125f;
        for (const auto& [position, count] : c.blocks) {
            store.write(position, frames(count, value).data(), count);
            value *= 2;
        }
        store.convert(1, c.scale, c.convert);
        EXPECT_EQ(store.channelCount(), 1);
        EXPECT_EQ(store.start(), c.start);
        EXPECT_EQ(store.end(), c.end);
        if (c.end > 0) {
            // The first block's sound up to where the second one's starts, then the second one's.
            EXPECT_EQ(readBack(store, 219, 1)[0], 0.25f);
            EXPECT_EQ(readBack(store, 220, 1)[0], 0.5f);
        }
    }
}

TEST(StreamSoundStoreTest, SoundFromBeforeWhatIsHeldStartsOver)
{
    MVStreamSoundStore store(1, 4);
    store.write(1000, frames(100, 0.5f, 1).data(), 100);
    store.write(10, frames(10, 0.75f, 1).data(), 10);
    EXPECT_EQ(store.start(), 10);
    EXPECT_EQ(store.end(), 20);
    EXPECT_EQ(readBack(store, 1000, 1)[0], 0.0f);
}

TEST(StreamPictureQueueTest, ShowsThePictureForATimeAndDropsOlderOnes)
{
    MVStreamPictureQueue queue(8);
    EXPECT_FALSE(queue.pictureAt(0));
    for (int64_t t : { 20, 40, 60, 80 })
        ASSERT_TRUE(queue.push(picture(t), 0));
    // Before the first picture, the first one shows.
    ASSERT_TRUE(queue.pictureAt(0));
    EXPECT_EQ(queue.pictureAt(0)->start, 20);
    // Each picture lasts until the next begins.
    EXPECT_EQ(queue.pictureAt(45)->start, 40);
    EXPECT_EQ(queue.pictureAt(45)->end, 60);
    EXPECT_EQ(queue.count(), 3u);
    // Past the last one, the last one stays.
    EXPECT_EQ(queue.pictureAt(500)->start, 80);
    EXPECT_EQ(queue.count(), 1u);
    // A picture older than the last is refused.
    EXPECT_TRUE(queue.push(picture(70), 0));
    EXPECT_EQ(queue.count(), 1u);
}

TEST(StreamPictureQueueTest, AFullQueueWaitsUntilShownOrCleared)
{
    MVStreamPictureQueue queue(2);
    ASSERT_TRUE(queue.push(picture(0), 0));
    ASSERT_TRUE(queue.push(picture(10), 0));
    std::atomic<int> result { -1 };
    std::thread decoder([&] { result = queue.push(picture(20), 0) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result, -1); // waiting for room
    queue.pictureAt(10); // the first picture goes: room
    decoder.join();
    EXPECT_EQ(result, 1);

    result = -1;
    std::thread late([&] { result = queue.push(picture(40), 0) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result, -1);
    queue.clear(1); // a seek: the waiting picture is refused, not left waiting
    late.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(queue.count(), 0u);
    EXPECT_FALSE(queue.push(picture(50), 0)); // of the old generation
    EXPECT_TRUE(queue.push(picture(50), 1));
}
