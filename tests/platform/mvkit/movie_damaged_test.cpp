// Damaged headers: every usable part opens, and walking, reading, editing and saving the movie give
// errors or results, never a crash, a hang or runaway memory.
#include "fixtures.h"
#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/movie.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace movara::test;

namespace {

TEST(MovieDamaged, DamagedTablesNeverCrashOrHang)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::H264AacMov);
    HXError error;
    auto original = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(original);
    auto table = [](MVMovieFileDescription& f) -> MVSampleTable& {
        return f.movie.tracks.at(0).media.information.sampleTable;
    };
    struct Case {
        const char* name;
        std::function<void(MVMovieFileDescription&)> damage;
    };
    const Case cases[] = {
        { "billions of constant-size samples",
            [&](auto& f) {
                table(f).sampleSizes.clear();
                table(f).constantSampleSize = 1;
                table(f).sampleCount = 0xFFFFFFFF;
                table(f).sampleToChunk = { { 1, 0xFFFFFFFF, 1 } };
            } },
        { "chunks far past the end of the file",
            [&](auto& f) {
                for (auto& o : table(f).chunkOffsets)
                    o += uint64_t(1) << 40;
            } },
        { "no sample-to-chunk table", [&](auto& f) { table(f).sampleToChunk.clear(); } },
        { "a description index of 0",
            [&](auto& f) {
                for (auto& r : table(f).sampleToChunk)
                    r.sampleDescriptionIndex = 0;
            } },
        { "a description index past the list",
            [&](auto& f) {
                for (auto& r : table(f).sampleToChunk)
                    r.sampleDescriptionIndex = 99;
            } },
        { "a data reference index past the list",
            [&](auto& f) { table(f).sampleDescriptions.at(0).dataReferenceIndex = 7; } },
        { "no sample descriptions", [&](auto& f) { table(f).sampleDescriptions.clear(); } },
        { "zero durations",
            [&](auto& f) {
                for (auto& r : table(f).timeToSample)
                    r.sampleDuration = 0;
            } },
        { "huge durations",
            [&](auto& f) {
                for (auto& r : table(f).timeToSample)
                    r.sampleDuration = 0xFFFFFFFF;
            } },
        { "a media time scale of 0", [&](auto& f) { f.movie.tracks[0].media.header.timeScale = 0; } },
        { "a movie time scale of 0", [&](auto& f) { f.movie.header.timeScale = 0; } },
        { "an edit of rate 0",
            [&](auto& f) {
                f.movie.tracks[0].editList = MVEditList { 0, 0, { { 600, 0, 0 } }, {}, {} };
            } },
        { "a reversed edit",
            [&](auto& f) {
                f.movie.tracks[0].editList = MVEditList { 0, 0, { { 600, 300, -0x10000 } }, {}, {} };
            } },
        { "edits of absurd length",
            [&](auto& f) {
                f.movie.tracks[0].editList = MVEditList { 1, 0,
                    { { uint64_t(1) << 62, 0, 0x10000 }, { uint64_t(1) << 62, 0, 0x10000 } }, {}, {} };
            } },
        { "an edit before the media",
            [&](auto& f) {
                f.movie.tracks[0].editList = MVEditList { 0, 0, { { 600, -77, 0x10000 } }, {}, {} };
            } },
        { "an edit past the media",
            [&](auto& f) {
                f.movie.tracks[0].editList = MVEditList { 0, 0, { { 600, 1 << 30, 0x10000 } }, {}, {} };
            } },
        { "a reference to a missing track",
            [&](auto& f) {
                f.movie.tracks[0].references = { { MVFourCC("chap"), { 99, 0 } } };
            } },
        { "an alias record of garbage",
            [&](auto& f) {
                f.movie.tracks[0].media.information.dataInformation.entries
                    = { { MVFourCC("alis"), 0, 0, MVBytes(200, 0xFF) } };
            } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto began = std::chrono::steady_clock::now();
        TempDir dir;
        auto file = *original;
        c.damage(file);
        HXError openError;
        // What a reader would hand over goes through the same checks as a file.
        auto m = MVMovie::movieWithData(MVSerializeMovieAtom(file.movie), &openError, path.string());
        auto direct = MVMovie::movieWithDescription(file, path.string());
        EXPECT_EQ(!m, !direct);
        if (!m) {
            EXPECT_FALSE(openError.domain().empty());
        }
        for (auto& movie : { m, direct }) {
            if (!movie)
                continue;
            for (auto& t : movie->tracks()) {
                int steps = 0;
                for (int64_t at = 0; steps < 5000; ++steps) {
                    auto next = t->nextInterestingTime(at, MVNextTimeMediaSample);
                    if (next.time < 0 || next.time <= at)
                        break;
                    at = next.time;
                }
                HXError sampleError;
                t->media()->getSample(0, &sampleError);
            }
            movie->setSelection({ MVMakeTime(1, 2), MVMakeTime(1, 2) });
            movie->cut();
            HXError saveError;
            auto target = dir / "saved.mov";
            if (!movie->writeToFile(target.string(), {}, &saveError)) {
                EXPECT_FALSE(saveError.domain().empty());
            }
            movie->writeToFile((dir / "ref.mov").string(), { { MVMovieFlatten, false } }, &saveError);
        }
        // A damaged table must not make the work grow beyond what the file holds.
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(20));
    }
}

TEST(MovieDamaged, TooManySamplesIsRefusedWithAClearError)
{
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::MjpegPcmMov);
    HXError error;
    auto file = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(file);
    auto& t = file->movie.tracks.at(0).media.information.sampleTable;
    t.sampleSizes.clear();
    t.constantSampleSize = 1;
    t.sampleCount = 0xFFFFFFFF;
    t.sampleToChunk = { { 1, 0xFFFFFFFF, 1 } };
    EXPECT_EQ(MVMovie::movieWithData(MVSerializeMovieAtom(file->movie), &error), nullptr);
    EXPECT_EQ(error.code(), MVStatusFileTooLarge);
    EXPECT_EQ(MVMovie::movieWithDescription(*file, path.string()), nullptr);
    // As a file on disk.
    TempDir dir;
    MVBytes header = MVSerializeMovieAtom(file->movie);
    writeFile(dir / "damaged.mov", std::string(header.begin(), header.end()));
    EXPECT_EQ(MVMovie::movieWithFile((dir / "damaged.mov").string(), &error), nullptr);
    EXPECT_EQ(error.code(), MVStatusFileTooLarge);
}

// A movie file of `size` bytes: the header of `movie`, then media data up to that size.
std::string movieFileOfSize(const MVMovieDescription& movie, uint32_t size)
{
    MVBytes header = MVSerializeMovieAtom(movie);
    std::string bytes(header.begin(), header.end());
    uint32_t rest = size - uint32_t(bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes += char(rest >> (24 - 8 * i));
    bytes += "mdat";
    bytes.resize(size, '\0');
    return bytes;
}

TEST(MovieDamaged, SamplesTheirFileCannotHoldAreRefusedAndAFileCutShortOpens)
{
    MOVARA_REQUIRE_FIXTURE(fixture, MovieFixture::H264AacMov);
    auto original = MVReadMovieFile(fixture.string(), nullptr);
    ASSERT_TRUE(original);
    constexpr uint32_t fileSize = 65536;
    constexpr uint32_t count = 40;
    struct Case {
        const char* name;
        std::function<uint32_t(uint32_t)> offset; // of sample i, each in a chunk of its own
        std::function<uint32_t(uint32_t)> size; // of sample i
        uint32_t constantSize = 0;
        const char* dataFile = nullptr; // the samples lie in another file: "small" (1000 bytes), "missing"
        int64_t keeps = -1; // samples the track keeps; -1: refused as damaged
    };
    auto inside = [](uint32_t i) { return 4096 + 1000 * i; };
    auto believable = [](uint32_t) { return 1000u; };
    const Case cases[] = {
        { "believable samples inside the file", inside, believable, 0, nullptr, count },
        { "one sample larger than the whole file", inside,
            [](uint32_t i) { return i == 2 ? fileSize + 1 : 1000u; } },
        { "one sample of 4 GB", inside, [](uint32_t i) { return i == 0 ? 0xF0000000u : 1000u; } },
        { "every sample as large as the whole file", inside, [](uint32_t) { return fileSize; }, 0, nullptr,
            -1 },
        { "every sample of half the file, twenty files' worth", inside,
            [](uint32_t) { return fileSize / 2; } },
        { "a constant size larger than the file", inside, {}, fileSize + 1 },
        { "a file cut short: samples past its end", [](uint32_t i) { return 60000 + 1000 * i; }, believable,
            0, nullptr, 5 },
        { "a file cut inside a large sample", [](uint32_t i) { return 60000 + 1000 * i; },
            [](uint32_t i) { return i == 4 ? 30000u : 1000u; }, 0, nullptr, 4 },
        { "chunks that share their bytes", [](uint32_t) { return 4096u; }, [](uint32_t) { return 30000u; }, 0,
            nullptr, count },
        { "another file that holds less than a sample", [](uint32_t i) { return 10 * i; },
            [](uint32_t) { return 2000u; }, 0, "small", -1 },
        { "another file that is missing", [](uint32_t i) { return 10 * i; },
            [](uint32_t) { return 0xF000000u; }, 0, "missing", count },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto path = dir / "movie.mov";
        auto movie = original->movie;
        movie.tracks.resize(1);
        auto& track = movie.tracks[0];
        track.editList.reset();
        track.media.header.duration = count * 100;
        track.header.duration = count * 100 * movie.header.timeScale / track.media.header.timeScale;
        auto& t = track.media.information.sampleTable;
        t.timeToSample = { { count, 100 } };
        t.hasCompositionOffsets = false;
        t.compositionOffsets.clear();
        t.hasSyncSamples = false;
        t.syncSamples.clear();
        t.sampleToChunk = { { 1, 1, 1 } };
        t.sampleCount = count;
        t.constantSampleSize = c.constantSize;
        t.sampleSizes.clear();
        t.chunkOffsets.clear();
        for (uint32_t i = 0; i < count; ++i) {
            if (c.size)
                t.sampleSizes.push_back(c.size(i));
            t.chunkOffsets.push_back(c.offset(i));
        }
        if (c.dataFile) {
            auto other = dir / "data.bin";
            if (std::strcmp(c.dataFile, "small") == 0)
                writeFile(other, std::string(1000, 'x'));
            track.media.information.dataInformation.entries
                = { MVMakeFileDataReference(other.string(), path.string()) };
        }
        writeFile(path, movieFileOfSize(movie, fileSize));

        HXError error;
        auto read = MVReadMovieFile(path.string(), &error);
        auto opened = MVMovie::movieWithFile(path.string(), &error);
        if (c.keeps < 0) {
            EXPECT_FALSE(read);
            ASSERT_FALSE(opened);
            EXPECT_EQ(error.code(), MVStatusBadMovieFile);
            EXPECT_NE(error.localizedDescription().find("damaged"), std::string::npos)
                << error.localizedDescription();
        } else {
            EXPECT_TRUE(read);
            ASSERT_TRUE(opened) << error.localizedDescription();
            ASSERT_EQ(opened->tracks().size(), 1u);
            EXPECT_EQ(opened->tracks()[0]->media()->sampleCount(), c.keeps);
        }
    }
}

} // namespace
