// Damaged movie files: every truncation of a fixture and thousands of byte flips give an error or a usable
// description, never a crash or a hang (run under AddressSanitizer, which fails on any bad access).
#include "fixtures.h"
#include "test_support.h"

#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/sample_table.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using movara::test::MovieFixture;

MVBytes readBytes(const std::filesystem::path& p)
{
    std::string s = movara::test::readFile(p);
    return MVBytes(s.begin(), s.end());
}

// Reads, and when that works uses what it got the way the model will: looks samples up and writes it back.
void exercise(std::span<const uint8_t> bytes)
{
    auto src = MVByteSource::fromMemory(bytes);
    HXError error;
    auto d = MVReadMovieFile(*src, &error);
    if (!d) {
        EXPECT_NE(error.code(), 0);
        return;
    }
    for (const auto& track : d->movie.tracks) {
        MVSampleTableIndex index(track.media.information.sampleTable);
        uint32_t n = index.sampleCount();
        for (uint32_t s : { 0u, n / 2, n ? n - 1 : 0, n }) {
            index.timingForSample(s);
            index.locationForSample(s);
            index.syncSampleAtOrBefore(s);
        }
        index.sampleForDecodeTime(index.duration() / 2);
        for (uint32_t c = 0; c < std::min<uint32_t>(index.chunkCount(), 4); ++c)
            index.chunk(c);
    }
    MVBytes again = MVSerializeMovieAtom(d->movie);
    EXPECT_TRUE(MVParseMovieAtom(again, &error).has_value());
}

class Robustness : public ::testing::TestWithParam<MovieFixture> { };

TEST_P(Robustness, EveryTruncation)
{
    MOVARA_REQUIRE_FIXTURE(path, GetParam());
    MVBytes bytes = readBytes(path);
    auto d = MVReadMovieFile(path.string(), nullptr);
    ASSERT_TRUE(d);
    // Every length through the header atoms, then a stride through the media data.
    uint64_t headerEnd = 0;
    for (const auto& a : d->topLevelAtoms)
        if (a.type != MVFourCC("mdat"))
            headerEnd = std::max(headerEnd, a.offset + a.size);
    for (size_t n = 0; n <= bytes.size(); n += (n < headerEnd + 64 || n + 64 > bytes.size()) ? 1 : 997)
        exercise(std::span<const uint8_t>(bytes.data(), n));
}

TEST_P(Robustness, RandomByteFlipsInTheHeader)
{
    MOVARA_REQUIRE_FIXTURE(path, GetParam());
    MVBytes bytes = readBytes(path);
    auto d = MVReadMovieFile(path.string(), nullptr);
    ASSERT_TRUE(d);
    MVAtomLocation moov;
    for (const auto& a : d->topLevelAtoms)
        if (a.type == MVFourCC("moov"))
            moov = a;
    std::mt19937 random(12345);
    std::uniform_int_distribution<uint64_t> where(moov.offset, moov.offset + moov.size - 1);
    std::uniform_int_distribution<int> value(0, 255), count(1, 4);
    for (int i = 0; i < 1500; ++i) {
        MVBytes damaged = bytes;
        for (int k = count(random); k > 0; --k)
            damaged[where(random)] = uint8_t(value(random));
        exercise(damaged);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Robustness,
    ::testing::Values(MovieFixture::H264AacMov, MovieFixture::ChaptersMp4), [](const auto& info) {
        return info.param == MovieFixture::H264AacMov ? std::string("h264_aac_mov")
                                                      : std::string("chapters_mp4");
    });

TEST(Robustness, FilesThatAreNotMovies)
{
    struct Case {
        const char* name;
        MVBytes bytes;
    };
    const Case cases[] = {
        { "empty", {} },
        { "text", MVBytes { 'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n' } },
        { "only media data", MVBytes { 0, 0, 0, 12, 'm', 'd', 'a', 't', 1, 2, 3, 4 } },
        { "a 'moov' claiming 4 GiB", MVBytes { 0xFF, 0xFF, 0xFF, 0xFF, 'm', 'o', 'o', 'v', 0, 0, 0, 0 } },
        { "a 64-bit 'moov' claiming 2^63",
            MVBytes { 0, 0, 0, 1, 'm', 'o', 'o', 'v', 0x80, 0, 0, 0, 0, 0, 0, 0 } },
    };
    for (const auto& c : cases) {
        auto src = MVByteSource::fromMemory(c.bytes);
        HXError error;
        auto d = MVReadMovieFile(*src, &error);
        if (d) {
            EXPECT_FALSE(d->warnings.empty()) << c.name;
        } else {
            EXPECT_EQ(error.domain(), HXOSStatusErrorDomain) << c.name;
        }
    }
    HXError error;
    EXPECT_FALSE(MVReadMovieFile("/nonexistent/movie.mov", &error));
    EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
    EXPECT_FALSE(MVReadMovieFile("/tmp", &error));
}

} // namespace
