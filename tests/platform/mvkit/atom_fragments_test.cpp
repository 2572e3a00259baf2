// Movie fragments built byte by byte (defaults from 'trex' and 'tfhd', base data offsets, decode times
// with a gap, signed composition offsets, sync flags, a hostile run), and cutting sample tables short.
#include "fixtures.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

struct RunSpec {
    uint32_t flags = 0; // 'trun' flags
    uint32_t count = 0;
    std::optional<uint32_t> firstSampleFlags;
    std::vector<std::vector<uint32_t>> records; // per sample, in the order of the flags
};

struct TrackFragmentSpec {
    uint32_t trackID = 1;
    uint32_t tfhdFlags = 0x020000; // default-base-is-moof
    std::vector<uint32_t> tfhdFields; // in the order of the flags
    std::optional<uint64_t> decodeTime;
    RunSpec run;
};

// A 'moof' of the given track fragments whose runs' data starts in the 'mdat' right after it, one run
// after another, each holding `dataSizes[i]` bytes.
MVBytes movieFragment(std::vector<TrackFragmentSpec> trafs, const std::vector<uint32_t>& dataSizes)
{
    // Written twice: first to learn the size of the 'moof' (data offsets count from its start).
    uint32_t moofSize = 0;
    MVBytes out;
    for (int pass = 0; pass < 2; ++pass) {
        MVByteWriter w;
        size_t moof = w.beginAtom(MVFourCC("moof"));
        size_t mfhd = w.beginAtom(MVFourCC("mfhd"));
        w.u32(0);
        w.u32(1);
        w.endAtom(mfhd);
        uint32_t dataOffset = moofSize + 8;
        for (size_t i = 0; i < trafs.size(); ++i) {
            const auto& t = trafs[i];
            size_t traf = w.beginAtom(MVFourCC("traf"));
            size_t tfhd = w.beginAtom(MVFourCC("tfhd"));
            w.u32(t.tfhdFlags);
            w.u32(t.trackID);
            for (uint32_t f : t.tfhdFields)
                w.u32(f);
            w.endAtom(tfhd);
            if (t.decodeTime) {
                size_t tfdt = w.beginAtom(MVFourCC("tfdt"));
                w.u32(0x01000000);
                w.u64(*t.decodeTime);
                w.endAtom(tfdt);
            }
            size_t trun = w.beginAtom(MVFourCC("trun"));
            w.u32(0x01000000 | t.run.flags);
            w.u32(t.run.count);
            if (t.run.flags & 0x1)
                w.u32(dataOffset);
            if (t.run.firstSampleFlags)
                w.u32(*t.run.firstSampleFlags);
            for (const auto& record : t.run.records)
                for (uint32_t v : record)
                    w.u32(v);
            w.endAtom(trun);
            w.endAtom(traf);
            dataOffset += dataSizes.at(i);
        }
        w.endAtom(moof);
        moofSize = uint32_t(w.size());
        uint32_t total = 0;
        for (auto s : dataSizes)
            total += s;
        size_t mdat = w.beginAtom(MVFourCC("mdat"));
        w.zeros(total);
        w.endAtom(mdat);
        out = w.buffer();
    }
    return out;
}

constexpr uint32_t kAnnouncedDuration = 4321; // 'mehd', in the movie's time scale

MVRawAtom movieExtends()
{
    MVByteWriter w;
    auto trex = [&w](uint32_t trackID, uint32_t duration, uint32_t size, uint32_t flags) {
        size_t at = w.beginAtom(MVFourCC("trex"));
        w.u32(0);
        w.u32(trackID);
        w.u32(1);
        w.u32(duration);
        w.u32(size);
        w.u32(flags);
        w.endAtom(at);
    };
    trex(1, 512, 0, 0x01010000); // video: not sync unless told
    trex(2, 1024, 10, 0x02000000); // sound: every sample sync
    size_t mehd = w.beginAtom(MVFourCC("mehd"));
    w.u32(0);
    w.u32(kAnnouncedDuration);
    w.endAtom(mehd);
    return { MVFourCC("mvex"), w.buffer() };
}

class AtomFragmentsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto path = fixturePath(MovieFixture::H264AacMp4);
        if (path.empty())
            GTEST_SKIP() << "ffmpeg is needed for the fixture";
        HXError error;
        auto file = MVReadMovieFile(path.string(), &error);
        ASSERT_TRUE(file);
        header = file->movie;
        ASSERT_EQ(header.tracks.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            auto& t = header.tracks[i];
            t.header.trackID = uint32_t(i + 1);
            t.editList.reset();
            auto descriptions = t.media.information.sampleTable.sampleDescriptions;
            t.media.information.sampleTable = {};
            t.media.information.sampleTable.sampleDescriptions = descriptions;
        }
        header.unknownChildren.push_back(movieExtends());
        header.childOrder.clear();
    }

    MVMovieFileDescription read(const MVBytes& bytes)
    {
        auto src = MVByteSource::fromMemory(bytes);
        HXError error;
        auto file = MVReadMovieFile(*src, &error);
        EXPECT_TRUE(file) << error.localizedDescription();
        return file ? *file : MVMovieFileDescription {};
    }

    MVMovieDescription header;
};

TEST_F(AtomFragmentsTest, DefaultsOffsetsTimesAndFlagsBecomeOrdinaryTables)
{
    MVBytes bytes = MVSerializeMovieAtom(header);
    uint64_t firstData = 0, secondData = 0;
    {
        // Video: three samples of the size 'tfhd' gives, the first marked sync, signed composition
        // offsets; sound: two samples of the 'trex' defaults.
        TrackFragmentSpec video { 1, 0x020010, { 100 }, 1000,
            { 0x805, 3, 0x02000000, { { 1024 }, { uint32_t(-512) }, { 0 } } } };
        TrackFragmentSpec sound { 2, 0x020000, {}, 0, { 0x001, 2, {}, {} } };
        auto moof = movieFragment({ video, sound }, { 300, 20 });
        firstData = bytes.size() + (moof.size() - 320);
        bytes.insert(bytes.end(), moof.begin(), moof.end());
    }
    {
        // Video again after a gap of 256, with its own sizes and the description index from 'tfhd'.
        TrackFragmentSpec video { 1, 0x020002, { 1 }, 1000 + 3 * 512 + 256,
            { 0x201, 2, {}, { { 7 }, { 9 } } } };
        auto moof = movieFragment({ video }, { 16 });
        secondData = bytes.size() + (moof.size() - 16);
        bytes.insert(bytes.end(), moof.begin(), moof.end());
    }
    {
        // A run of four billion samples of no bytes each: more than the file could hold.
        TrackFragmentSpec hostile { 2, 0x020000, {}, std::nullopt, { 0x000, 0xFFFFFFFF, {}, {} } };
        auto moof = movieFragment({ hostile }, { 0 });
        bytes.insert(bytes.end(), moof.begin(), moof.end());
    }
    auto file = read(bytes);
    ASSERT_EQ(file.warnings.size(), 1u);
    EXPECT_NE(file.warnings[0].find("runs past the end of the file"), std::string::npos) << file.warnings[0];
    EXPECT_NE(file.warnings[0].find("the 2 before it kept"), std::string::npos) << file.warnings[0];

    const auto& video = file.movie.tracks[0];
    const auto& v = video.media.information.sampleTable;
    EXPECT_EQ(v.sampleSizes, (std::vector<uint32_t> { 100, 100, 100, 7, 9 }));
    EXPECT_EQ(v.chunkOffsets, (std::vector<uint64_t> { firstData, secondData }));
    EXPECT_EQ(v.sampleToChunk, (std::vector<MVSampleToChunkEntry> { { 1, 3, 1 }, { 2, 2, 1 } }));
    EXPECT_EQ(v.timeToSample, (std::vector<MVTimeToSampleEntry> { { 2, 512 }, { 1, 768 }, { 2, 512 } }));
    // The picture the run would show 512 before it is decoded shows when it is decoded, every other
    // one 512 later with it.
    EXPECT_TRUE(v.hasCompositionOffsets);
    EXPECT_EQ(v.compositionOffsetVersion, 0);
    EXPECT_EQ(
        v.compositionOffsets, (std::vector<MVCompositionOffsetEntry> { { 1, 1536 }, { 1, 0 }, { 3, 512 } }));
    EXPECT_TRUE(v.hasSyncSamples);
    EXPECT_EQ(v.syncSamples, (std::vector<uint32_t> { 1 }));
    EXPECT_EQ(video.media.header.duration, uint64_t(5 * 512 + 256));
    // The video starts 1000 media units after the sound: an empty edit says so.
    ASSERT_TRUE(video.editList);
    ASSERT_EQ(video.editList->entries.size(), 2u);
    uint32_t movieScale = file.movie.header.timeScale;
    double videoScale = video.media.header.timeScale;
    EXPECT_EQ(video.editList->entries[0].mediaTime, -1);
    EXPECT_NEAR(double(video.editList->entries[0].segmentDuration), 1000 / videoScale * movieScale, 1);
    EXPECT_EQ(video.editList->entries[1].mediaTime, 0);
    // With a fragment left out the announced duration is not what the movie has: its tracks tell.
    EXPECT_EQ(
        file.movie.header.duration, std::max(video.header.duration, file.movie.tracks[1].header.duration));

    const auto& s = file.movie.tracks[1].media.information.sampleTable;
    EXPECT_EQ(s.sampleSizes, (std::vector<uint32_t> { 10, 10 }));
    EXPECT_EQ(s.chunkOffsets, (std::vector<uint64_t> { firstData + 300 }));
    EXPECT_EQ(s.timeToSample, (std::vector<MVTimeToSampleEntry> { { 2, 1024 } }));
    EXPECT_FALSE(s.hasCompositionOffsets);
    EXPECT_FALSE(s.hasSyncSamples);
    EXPECT_FALSE(file.movie.tracks[1].editList);

    // Nothing of the fragments is left to write back.
    EXPECT_TRUE(std::none_of(file.movie.unknownChildren.begin(), file.movie.unknownChildren.end(),
        [](const MVRawAtom& a) { return a.type == MVFourCC("mvex"); }));
    EXPECT_TRUE(file.topLevelUnknownAtoms.empty());
}

TEST_F(AtomFragmentsTest, FragmentsWithoutAnnouncementOrForUnknownTracksAreLeftOutAndSaid)
{
    TrackFragmentSpec stranger { 9, 0x020010, { 4 }, 0, { 0x001, 1, {}, {} } };
    TrackFragmentSpec sound { 2, 0x020000, {}, 0, { 0x001, 1, {}, {} } };
    auto moof = movieFragment({ stranger, sound }, { 4, 10 });

    MVBytes bytes = MVSerializeMovieAtom(header);
    bytes.insert(bytes.end(), moof.begin(), moof.end());
    auto file = read(bytes);
    ASSERT_EQ(file.warnings.size(), 1u);
    EXPECT_NE(file.warnings[0].find("track 9"), std::string::npos);
    EXPECT_EQ(file.movie.header.duration, kAnnouncedDuration);
    // The stranger's data still counts for where the next track fragment's data begins.
    EXPECT_EQ(file.movie.tracks[1].media.information.sampleTable.chunkOffsets,
        (std::vector<uint64_t> { MVSerializeMovieAtom(header).size() + moof.size() - 10 }));

    // Without 'mvex' the movie does not announce fragments.
    header.unknownChildren.clear();
    bytes = MVSerializeMovieAtom(header);
    bytes.insert(bytes.end(), moof.begin(), moof.end());
    file = read(bytes);
    ASSERT_EQ(file.warnings.size(), 1u);
    EXPECT_NE(file.warnings[0].find("does not announce"), std::string::npos);
    EXPECT_EQ(file.movie.tracks[1].media.information.sampleTable.sampleCount, 0u);
}

TEST(SampleTableTruncation, KeepsTheFirstSamplesExactly)
{
    for (auto fixture : { MovieFixture::H264AacMov, MovieFixture::MjpegPcmMov }) {
        MOVARA_REQUIRE_FIXTURE(path, fixture);
        HXError error;
        auto file = MVReadMovieFile(path.string(), &error);
        ASSERT_TRUE(file);
        for (const auto& track : file->movie.tracks) {
            const auto& table = track.media.information.sampleTable;
            MVSampleTableIndex full(table);
            auto all = full.expand();
            uint32_t n = full.sampleCount();
            ASSERT_GT(n, 3u);
            for (uint32_t count : { 0u, 1u, n / 2, n - 1, n }) {
                SCOPED_TRACE(fixtureName(fixture) + " track " + std::to_string(track.header.trackID)
                    + " cut to " + std::to_string(count));
                auto cut = table;
                MVTruncateSampleTable(cut, count);
                MVSampleTableIndex index(cut);
                EXPECT_TRUE(index.problems().empty()) << index.problems().front();
                auto kept = index.expand();
                ASSERT_EQ(kept.size(), count);
                for (uint32_t i = 0; i < count; ++i) {
                    EXPECT_EQ(kept[i].offset, all[i].offset);
                    EXPECT_EQ(kept[i].size, all[i].size);
                    EXPECT_EQ(kept[i].decodeTime, all[i].decodeTime);
                    EXPECT_EQ(kept[i].compositionOffset, all[i].compositionOffset);
                    EXPECT_EQ(kept[i].isSync, all[i].isSync);
                }
            }
        }
    }
}

} // namespace
