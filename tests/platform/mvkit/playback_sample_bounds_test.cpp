// A sample's claimed size and offset are held against the file that holds it before anything is read.
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/playback/decoder_configuration.h"
#include "platform/mvkit/playback/file_sample_source.h"
#include "platform/mvkit/playback/sample_data_reading.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using movara::test::TempDir;

TEST(SampleBoundsTest, ReadsStopAtTheEndOfTheFile)
{
    TempDir dir;
    auto path = (dir / "data").string();
    movara::test::writeFile(path, "0123456789");
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct Case {
        uint64_t offset;
        uint64_t size;
        const char* bytes; // nullptr: refused
    };
    const Case cases[] = {
        { 0, 10, "0123456789" }, { 7, 3, "789" }, { 10, 0, "" }, { 8, 3, nullptr }, // one byte too many
        { 11, 0, nullptr }, // starts past the end
        { 0, 0xFFFFFFF0u, nullptr }, // a 4 GB claim
        { UINT64_MAX - 2, 5, nullptr }, // the end would wrap around
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.size));
        MVBytes bytes;
        HXError error;
        bool ok = MVReadSampleBytes(fd, c.offset, c.size, bytes, path, &error);
        ASSERT_EQ(ok, c.bytes != nullptr);
        if (ok) {
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
        } else {
            EXPECT_EQ(error.code(), MVStatusInvalidSample);
            EXPECT_LT(bytes.capacity(), 1024u); // nothing allocated for the claim
        }
    }
    ::close(fd);
}

TEST(SampleBoundsTest, ASampleClaimingMoreThanItsFileIsAnErrorOfThatSample)
{
    TempDir dir;
    auto path = (dir / "movie.mov").string();
    auto made = movara::test::runCommand(
        { "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
            "testsrc=size=64x48:rate=10:duration=0.5", "-c:v", "libx264", "-pix_fmt", "yuv420p", path });
    ASSERT_EQ(made.status, 0);
    auto file = MVReadMovieFile(path, nullptr);
    ASSERT_TRUE(file);
    ASSERT_FALSE(file->movie.tracks.empty());
    auto track = file->movie.tracks[0];
    auto& table = track.media.information.sampleTable;
    ASSERT_GT(table.sampleSizes.size(), 2u);
    size_t last = table.sampleSizes.size() - 1;
    table.sampleSizes[last] = 0xF0000000u;
    MVFileSampleSource source(track, int32_t(file->movie.header.timeScale), path);

    MVBytes bytes;
    HXError error;
    auto first = source.sample(0);
    EXPECT_TRUE(source.readData(first.descriptionIndex, first.offset, first.size, bytes, &error));
    EXPECT_EQ(bytes.size(), first.size);
    auto hostile = source.sample(int64_t(last));
    EXPECT_FALSE(source.readData(hostile.descriptionIndex, hostile.offset, hostile.size, bytes, &error));
    EXPECT_EQ(error.code(), MVStatusInvalidSample);
    EXPECT_LT(bytes.capacity(), size_t(64) << 20);
    // The source goes on serving the samples the file holds.
    EXPECT_TRUE(source.readData(first.descriptionIndex, first.offset, first.size, bytes, &error));
}

} // namespace
