// Reading the fixtures and writing their headers back: the atoms come out byte for byte.
#include "fixtures.h"
#include "test_support.h"

#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"

#include <gtest/gtest.h>

namespace {

using movara::test::MovieFixture;

MVBytes topLevelAtomBytes(const std::filesystem::path& path, const MVMovieFileDescription& d, uint32_t type)
{
    std::string all = movara::test::readFile(path);
    for (const auto& loc : d.topLevelAtoms)
        if (loc.type == type)
            return MVBytes(all.begin() + long(loc.offset), all.begin() + long(loc.offset + loc.size));
    return {};
}

class AtomRoundTrip : public ::testing::TestWithParam<MovieFixture> { };

TEST_P(AtomRoundTrip, MovieHeaderBytesAreReproduced)
{
    MOVARA_REQUIRE_FIXTURE(path, GetParam());
    HXError error;
    auto d = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(d) << error.code();
    EXPECT_TRUE(d->warnings.empty()) << d->warnings.front();
    ASSERT_FALSE(d->movie.tracks.empty());

    MVBytes original = topLevelAtomBytes(path, *d, MVFourCC("moov"));
    MVBytes written = MVSerializeMovieAtom(d->movie);
    EXPECT_EQ(written.size(), original.size());
    EXPECT_TRUE(written == original);

    if (d->fileType) {
        EXPECT_EQ(MVSerializeFileTypeAtom(*d->fileType), topLevelAtomBytes(path, *d, MVFourCC("ftyp")));
    }

    // And the written header parses to the same description.
    auto again = MVParseMovieAtom(written, &error);
    ASSERT_TRUE(again);
    EXPECT_TRUE(*again == d->movie);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AtomRoundTrip,
    ::testing::Values(MovieFixture::H264AacMov, MovieFixture::H264AacMp4, MovieFixture::MjpegPcmMov,
        MovieFixture::TimecodeMov, MovieFixture::ChaptersMp4, MovieFixture::SubtitleMov,
        MovieFixture::MetadataMov),
    [](const auto& info) {
        auto name = movara::test::fixtureName(info.param);
        for (auto& c : name)
            if (!isalnum(uint8_t(c)))
                c = '_';
        return name;
    });

} // namespace
