// The decode worker: pictures in order for a consumer that keeps up, and one that falls behind.
#include "fixtures.h"

#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/video_decode_worker.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

std::unique_ptr<MVVideoDecodeWorker> workerFor(const std::string& path, int64_t* sampleCount, int32_t* scale)
{
    HXError error;
    auto source = MVFileSampleSource::sourceWithFile(path, 0, &error); // the video track comes first
    if (!source)
        return nullptr;
    *sampleCount = source->sampleCount();
    *scale = source->movieTimeScale();
    return std::make_unique<MVVideoDecodeWorker>(MVVideoTrackDecoder::decoderWithSource(source, &error, 2));
}

} // namespace

TEST(DecodeWorkerTest, ConsumerThatFallsBehindCatchesUpWithoutDecodingAgain)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov); // 75 pictures, a sync sample every 12
    struct Case {
        int stride; // pictures the consumer moves on between requests
        int direction;
    };
    // Backward, each run of pictures is decoded once from its sync sample, not once for every picture.
    for (const Case& c : { Case { 1, 1 }, Case { 3, 1 }, Case { 10, 1 }, Case { 1, -1 }, Case { 4, -1 } }) {
        int64_t samples = 0;
        int32_t scale = 0;
        auto worker = workerFor(path.string(), &samples, &scale);
        ASSERT_TRUE(worker);
        const int first = c.direction > 0 ? 0 : 74;
        worker->seek(int64_t(first) * scale / 25, c.direction);
        for (int picture = first; picture >= 0 && picture < 75; picture += c.stride * c.direction) {
            const int64_t time = int64_t(picture) * scale / 25;
            // The consumer jumps ahead and waits for the worker to get there; asking with no wait would
            // race the worker on a busy machine and make the test itself seek.
            auto p = worker->pictureAt(time, 10.0);
            if (!p) {
                worker->seek(time, c.direction);
                p = worker->pictureAt(time, 10.0);
            }
            ASSERT_TRUE(p && p->frame) << "picture " << picture;
            EXPECT_LE(p->start, time);
            EXPECT_GT(p->end, time);
        }
        EXPECT_LE(worker->samplesDecoded(), c.direction > 0 ? samples : 2 * samples)
            << "stride " << c.stride << " direction " << c.direction;
    }
}

TEST(DecodeWorkerTest, FarJumpsAndDirectionChangesStartAgain)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    int64_t samples = 0;
    int32_t scale = 0;
    auto worker = workerFor(path.string(), &samples, &scale);
    ASSERT_TRUE(worker);
    const int64_t times[] = { 0, 2 * scale, scale / 2, int64_t(2.9 * scale) };
    const int directions[] = { 1, 1, -1, 0 };
    for (size_t i = 0; i < 4; ++i) {
        worker->seek(times[i], directions[i]);
        auto p = worker->pictureAt(times[i], 10.0);
        ASSERT_TRUE(p && p->frame) << i;
        EXPECT_LE(p->start, times[i]);
        EXPECT_GT(p->end, times[i]);
    }
    // Past the end: nothing to show, at once.
    worker->seek(10 * scale, 1);
    auto p = worker->pictureAt(10 * scale, 0);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->frame);
}
