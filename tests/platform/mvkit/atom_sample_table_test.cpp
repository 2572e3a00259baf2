// Lookups on compact sample tables: time ↔ sample, sample → chunk and offset, sync samples.
#include "fixtures.h"

#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include <gtest/gtest.h>

namespace {

// Five samples: durations 100, 100, 100, 50, 50; chunks of 2, 2, 1 samples; sizes 10..50; sync 1 and 4.
MVSampleTable table()
{
    MVSampleTable t;
    t.timeToSample = { { 3, 100 }, { 0, 999 }, { 2, 50 } }; // an empty run in between is harmless
    t.hasCompositionOffsets = true;
    t.compositionOffsets = { { 1, 100 }, { 1, -100 }, { 3, 0 } };
    t.hasSyncSamples = true;
    t.syncSamples = { 1, 4 };
    t.sampleToChunk = { { 1, 2, 1 }, { 3, 1, 2 } };
    t.sampleCount = 5;
    t.sampleSizes = { 10, 20, 30, 40, 50 };
    t.chunkOffsets = { 1000, 2000, 3000 };
    return t;
}

TEST(SampleTable, DurationsBeyondSixtyFourBitsEndTheRunsWithAProblem)
{
    MVSampleTable t = table();
    // Two runs whose products each fit but whose sum does not, then a product that alone does not.
    t.timeToSample = { { 3, 100 }, { 2292569916u, 4166385752u }, { 4000000000u, 4000000000u } };
    MVSampleTableIndex index(t);
    EXPECT_FALSE(index.problems().empty());
    EXPECT_GE(index.duration(), 300);
}

TEST(SampleTable, Lookups)
{
    MVSampleTable t = table();
    MVSampleTableIndex index(t);
    EXPECT_TRUE(index.problems().empty());
    EXPECT_EQ(index.sampleCount(), 5u);
    EXPECT_EQ(index.duration(), 400);

    struct Sample {
        int64_t decodeTime;
        uint32_t duration;
        int32_t compositionOffset;
        uint32_t chunk;
        uint64_t offset;
        uint32_t size;
        uint32_t description;
        bool sync;
        uint32_t syncAtOrBefore;
    };
    const Sample expected[] = {
        { 0, 100, 100, 0, 1000, 10, 1, true, 0 },
        { 100, 100, -100, 0, 1010, 20, 1, false, 0 },
        { 200, 100, 0, 1, 2000, 30, 1, false, 0 },
        { 300, 50, 0, 1, 2030, 40, 1, true, 3 },
        { 350, 50, 0, 2, 3000, 50, 2, false, 3 },
    };
    auto expanded = index.expand();
    ASSERT_EQ(expanded.size(), 5u);
    for (uint32_t s = 0; s < 5; ++s) {
        const auto& e = expected[s];
        auto timing = index.timingForSample(s);
        auto location = index.locationForSample(s);
        ASSERT_TRUE(timing && location) << s;
        EXPECT_EQ(timing->decodeTime, e.decodeTime) << s;
        EXPECT_EQ(timing->duration, e.duration) << s;
        EXPECT_EQ(timing->compositionOffset, e.compositionOffset) << s;
        EXPECT_EQ(location->chunk, e.chunk) << s;
        EXPECT_EQ(location->offset, e.offset) << s;
        EXPECT_EQ(location->size, e.size) << s;
        EXPECT_EQ(location->sampleDescriptionIndex, e.description) << s;
        EXPECT_EQ(index.isSyncSample(s), e.sync) << s;
        EXPECT_EQ(index.syncSampleAtOrBefore(s), e.syncAtOrBefore) << s;
        EXPECT_EQ(index.sampleForDecodeTime(e.decodeTime), s);
        EXPECT_EQ(index.sampleForDecodeTime(e.decodeTime + e.duration - 1), s);
        EXPECT_EQ(expanded[s].offset, e.offset);
        EXPECT_EQ(expanded[s].decodeTime, e.decodeTime);
        EXPECT_EQ(expanded[s].isSync, e.sync);
    }
    EXPECT_FALSE(index.sampleForDecodeTime(-1));
    EXPECT_FALSE(index.sampleForDecodeTime(400));
    EXPECT_FALSE(index.timingForSample(5));
    EXPECT_FALSE(index.locationForSample(5));
    EXPECT_EQ(index.chunk(1)->size, 70u);
    EXPECT_EQ(index.chunk(2)->sampleCount, 1u);
}

TEST(SampleTable, InconsistentTablesAreReportedAndBounded)
{
    struct Case {
        const char* name;
        void (*damage)(MVSampleTable&);
        uint32_t samples;
    };
    const Case cases[] = {
        { "fewer timed samples",
            [](MVSampleTable& t) {
                t.timeToSample = { { 3, 100 } };
            },
            3 },
        { "fewer sizes than counted", [](MVSampleTable& t) { t.sampleSizes.resize(2); }, 2 },
        { "chunk runs out of order",
            [](MVSampleTable& t) {
                t.sampleToChunk = { { 2, 2, 1 } };
            },
            0 },
        { "more chunks than the runs cover", [](MVSampleTable& t) { t.chunkOffsets.push_back(4000); }, 5 },
        { "no chunks", [](MVSampleTable& t) { t.chunkOffsets.clear(); }, 0 },
    };
    for (const auto& c : cases) {
        MVSampleTable t = table();
        c.damage(t);
        MVSampleTableIndex index(t);
        EXPECT_FALSE(index.problems().empty()) << c.name;
        EXPECT_EQ(index.sampleCount(), c.samples) << c.name;
        for (uint32_t s = 0; s <= 5; ++s) {
            index.locationForSample(s);
            index.timingForSample(s);
        }
        index.expand();
    }
    // Constant sample sizes: offsets without a size table.
    MVSampleTable t = table();
    t.sampleSizes.clear();
    t.constantSampleSize = 4;
    MVSampleTableIndex index(t);
    EXPECT_EQ(index.locationForSample(1)->offset, 1004u);
    EXPECT_EQ(index.chunk(0)->size, 8u);
}

TEST(SampleTable, AgreesWithItsExpansionOnAFixture)
{
    MOVARA_REQUIRE_FIXTURE(path, movara::test::MovieFixture::H264AacMov);
    auto file = MVReadMovieFile(path.string(), nullptr);
    ASSERT_TRUE(file);
    for (const auto& track : file->movie.tracks) {
        MVSampleTableIndex index(track.media.information.sampleTable);
        EXPECT_TRUE(index.problems().empty());
        auto all = index.expand();
        ASSERT_EQ(all.size(), index.sampleCount());
        for (uint32_t s = 0; s < all.size(); ++s) {
            ASSERT_EQ(index.locationForSample(s)->offset, all[s].offset) << s;
            ASSERT_EQ(index.timingForSample(s)->decodeTime, all[s].decodeTime) << s;
            ASSERT_EQ(index.sampleForDecodeTime(all[s].decodeTime), s);
            auto sync = index.syncSampleAtOrBefore(s);
            ASSERT_TRUE(sync);
            ASSERT_TRUE(all[*sync].isSync);
        }
    }
}

} // namespace
