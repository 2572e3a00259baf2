// Writing files: temporary file and rename, cancel, header-only files, and updating a header in place.
#include "fixtures.h"
#include "test_support.h"

#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/movie_atom_writer.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/movie_file_writer.h"
#include "platform/mvkit/atoms/user_data_values.h"

#include <gtest/gtest.h>

namespace {

using movara::test::MovieFixture;
using movara::test::readFile;
using movara::test::TempDir;

size_t filesIn(const std::filesystem::path& dir)
{
    return size_t(
        std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

TEST(MovieFileWriter, CancelLeavesTheTargetAndNoTemporaryFile)
{
    MOVARA_REQUIRE_FIXTURE(source, MovieFixture::H264AacMov);
    TempDir dir;
    auto target = dir / "out.mov";
    movara::test::writeFile(target, "previous contents");
    auto d = MVReadMovieFile(source.string(), nullptr);
    ASSERT_TRUE(d);
    MVMediaDataLayout layout;
    ASSERT_TRUE(MVMakeSelfContainedLayout(*d, source.string(), layout, nullptr));
    MVMovieFileWriteOptions options;
    options.copyBufferSize = 4096;
    int calls = 0;
    options.progress = [&](double) { return ++calls < 5; };
    HXError error;
    EXPECT_FALSE(MVWriteMovieFile(target.string(), *d, layout, &error, options));
    EXPECT_EQ(error.code(), MVStatusProgressStopped);
    EXPECT_EQ(readFile(target), "previous contents");
    EXPECT_EQ(filesIn(dir.path()), 1u);
}

TEST(MovieFileWriter, MissingSourceFailsCleanly)
{
    MOVARA_REQUIRE_FIXTURE(source, MovieFixture::H264AacMov);
    TempDir dir;
    auto d = MVReadMovieFile(source.string(), nullptr);
    ASSERT_TRUE(d);
    MVMediaDataLayout layout;
    ASSERT_TRUE(MVMakeSelfContainedLayout(*d, source.string(), layout, nullptr));
    layout.sourcePaths[0] = (dir / "gone.mov").string();
    HXError error;
    EXPECT_FALSE(MVWriteMovieFile((dir / "out.mov").string(), *d, layout, &error));
    EXPECT_EQ(error.domain(), HXPOSIXErrorDomain);
    EXPECT_EQ(filesIn(dir.path()), 0u);

    // A layout naming a chunk the movie does not have.
    layout.chunks.push_back(MVChunkPlacement { 99, 0, {} });
    EXPECT_FALSE(MVWriteMovieFile((dir / "out.mov").string(), *d, layout, &error));
    EXPECT_EQ(error.code(), MVStatusParameterError);
}

TEST(MovieFileWriter, LargeReferencedOffsetsUse64BitChunkOffsets)
{
    // A header-only movie whose samples lie past 4 GiB in another file.
    MVMovieFileDescription d;
    MVTrackDescription track;
    track.header.trackID = 1;
    auto& t = track.media.information.sampleTable;
    t.chunkOffsets = { 0x123456789ull };
    track.media.information.dataInformation.entries = { MVMakeURLDataReference("file:///big.mov") };
    d.movie.tracks = { track };
    TempDir dir;
    HXError error;
    ASSERT_TRUE(MVWriteMovieFile((dir / "ref.mov").string(), d, {}, &error));
    auto back = MVReadMovieFile((dir / "ref.mov").string(), &error);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->movie.tracks[0].media.information.sampleTable.uses64BitChunkOffsets);
    EXPECT_EQ(back->movie.tracks[0].media.information.sampleTable.chunkOffsets[0], 0x123456789ull);
    ASSERT_EQ(back->topLevelAtoms.size(), 1u); // no 'ftyp' (none in the description), no 'mdat'
}

// The header of a copy of the fixture with a movie user data item added.
MVMovieDescription withTitle(MVMovieDescription movie, const std::string& title)
{
    if (!movie.userData)
        movie.userData = MVUserData {};
    movie.userData->items.push_back({ 0xA96E616D, MVSerializeInternationalText({ { 0, title } }) });
    return movie;
}

TEST(MovieFileWriter, UpdateInPlaceAppendsThenRetiresTheOldHeader)
{
    MOVARA_REQUIRE_FIXTURE(fixture, MovieFixture::H264AacMp4);
    TempDir dir;
    auto path = dir / "movie.mp4";
    std::filesystem::copy_file(fixture, path);
    auto before = MVReadMovieFile(path.string(), nullptr);
    ASSERT_TRUE(before);
    ASSERT_TRUE(MVCanUpdateMovieFileInPlace(path.string()));
    auto size = std::filesystem::file_size(path);

    HXError error;
    auto updated = withTitle(before->movie, "Updated");
    ASSERT_TRUE(MVUpdateMovieFileInPlace(path.string(), updated, &error));
    auto after = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->warnings.empty());
    EXPECT_TRUE(after->movie == updated);
    EXPECT_EQ(std::filesystem::file_size(path), size + MVSerializeMovieAtom(updated).size());
    // ffmpeg wrote ftyp, free (8 bytes), mdat, moov. The old header is now free space at its old place,
    // the new one follows it, and the media data did not move.
    auto types = [](const MVMovieFileDescription& f) {
        std::vector<uint32_t> out;
        for (const auto& a : f.topLevelAtoms)
            out.push_back(a.type);
        return out;
    };
    EXPECT_EQ(types(*after),
        (std::vector<uint32_t> {
            MVFourCC("ftyp"), MVFourCC("free"), MVFourCC("mdat"), MVFourCC("free"), MVFourCC("moov") }));

    // A second, smaller update fits the free space the first one left: the file does not grow.
    ASSERT_TRUE(MVUpdateMovieFileInPlace(path.string(), before->movie, &error));
    after = MVReadMovieFile(path.string(), &error);
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->movie == before->movie);
    EXPECT_EQ(types(*after),
        (std::vector<uint32_t> {
            MVFourCC("ftyp"), MVFourCC("free"), MVFourCC("mdat"), MVFourCC("moov"), MVFourCC("free") }));
    EXPECT_EQ(std::filesystem::file_size(path), size + MVSerializeMovieAtom(updated).size());
}

TEST(MovieFileWriter, EveryStepOfAnUpdateOpensWithOldOrNewHeader)
{
    // The states the file passes through: new header appended (old still first), then old retired.
    MOVARA_REQUIRE_FIXTURE(fixture, MovieFixture::H264AacMov);
    auto original = readFile(fixture);
    auto d = MVReadMovieFile(fixture.string(), nullptr);
    ASSERT_TRUE(d);
    auto updated = withTitle(d->movie, "New");
    MVBytes moov = MVSerializeMovieAtom(updated);
    std::string appended = original + std::string(moov.begin(), moov.end());
    for (size_t cut = original.size(); cut <= appended.size(); cut += 97) {
        // A crash while appending leaves a partial tail after the old header: the old header is read.
        std::string state = appended.substr(0, cut);
        auto src = MVByteSource::fromMemory(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(state.data()), state.size()));
        auto read = MVReadMovieFile(*src, nullptr);
        ASSERT_TRUE(read);
        EXPECT_TRUE(read->movie == d->movie);
    }
}

TEST(MovieFileWriter, CannotUpdateFilesWithoutOneHeader)
{
    TempDir dir;
    movara::test::writeFile(dir / "a.mov", std::string("\0\0\0\x0cmdat\1\2\3\4", 12));
    EXPECT_FALSE(MVCanUpdateMovieFileInPlace((dir / "a.mov").string()));
    HXError error;
    EXPECT_FALSE(MVUpdateMovieFileInPlace((dir / "a.mov").string(), MVMovieDescription {}, &error));
    EXPECT_EQ(readFile(dir / "a.mov").size(), 12u);
    EXPECT_FALSE(MVCanUpdateMovieFileInPlace((dir / "missing.mov").string()));
}

} // namespace
