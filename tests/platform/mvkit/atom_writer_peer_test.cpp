// Movies we write, checked by ffprobe and ffmpeg: same streams, durations and sample counts, and the same
// packets (framemd5 of a stream copy) as the movie they were made from.
#include "fixtures.h"
#include "test_support.h"

#include "platform/mvkit/atoms/alias_record.h"
#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/atoms/movie_file_writer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using movara::test::MovieFixture;
using movara::test::runCommand;
using movara::test::TempDir;

// One line per stream: type, codec, duration and packet count as ffprobe reports them.
std::string probeStreams(const std::filesystem::path& path)
{
    auto r = runCommand({ "ffprobe", "-v", "error", "-count_packets", "-show_entries",
        "stream=index,codec_type,codec_name,codec_tag_string,duration_ts,time_base,nb_read_packets,width,"
        "height,sample_rate,channels",
        "-of", "compact", path.string() });
    return r.status == 0 ? r.output : "ffprobe failed: " + std::to_string(r.status);
}

std::string probeChapters(const std::filesystem::path& path)
{
    auto r = runCommand({ "ffprobe", "-v", "error", "-show_chapters", "-of", "compact", path.string() });
    return r.status == 0 ? r.output : "ffprobe failed: " + std::to_string(r.status);
}

// framemd5 of every packet of every stream, copied without decoding: the header lines, then each
// stream's packets in their order (streams one after another, since how the streams interleave in the
// file is the writer's choice).
// Streams in `skipStreams` are left out (see the chapter note below).
std::vector<std::string> packetHashes(const std::filesystem::path& path,
    std::vector<std::string> extraInputOptions = {}, const std::vector<int>& skipStreams = {})
{
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error" };
    argv.insert(argv.end(), extraInputOptions.begin(), extraInputOptions.end());
    for (const char* a : { "-i", path.c_str(), "-map", "0", "-c", "copy", "-f", "framemd5", "-" })
        argv.push_back(a);
    auto r = runCommand(argv);
    if (r.status != 0)
        return { "ffmpeg failed: " + std::to_string(r.status) };
    std::vector<std::string> lines;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("#")
            || std::find(skipStreams.begin(), skipStreams.end(), std::stoi(line)) == skipStreams.end())
            lines.push_back(line);
    auto packets = std::stable_partition(
        lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("#"); });
    std::stable_sort(packets, lines.end(),
        [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); });
    return lines;
}

// The first line where two hash lists differ, for a readable failure.
std::string firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        std::string l = i < a.size() ? a[i] : "(none)", r = i < b.size() ? b[i] : "(none)";
        if (l != r)
            return "line " + std::to_string(i) + ": " + l + " | " + r;
    }
    return "";
}

class SelfContainedWrite : public ::testing::TestWithParam<MovieFixture> { };

TEST_P(SelfContainedWrite, PeersSeeTheSameStreamsAndPackets)
{
    MOVARA_REQUIRE_FIXTURE(source, GetParam());
    TempDir dir;
    auto target = dir / ("copy" + source.extension().string());

    HXError error;
    auto d = MVReadMovieFile(source.string(), &error);
    ASSERT_TRUE(d);
    MVMediaDataLayout layout;
    ASSERT_TRUE(MVMakeSelfContainedLayout(*d, source.string(), layout, &error)) << error.code();
    std::vector<double> progress;
    MVMovieFileWriteOptions options;
    options.copyBufferSize = 4096; // many progress steps on a tiny file
    options.progress = [&](double f) {
        progress.push_back(f);
        return true;
    };
    ASSERT_TRUE(MVWriteMovieFile(target.string(), *d, layout, &error, options)) << error.code();
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    // 'moov' comes before 'mdat'.
    auto again = MVReadMovieFile(target.string(), &error);
    ASSERT_TRUE(again);
    std::vector<uint32_t> types;
    for (const auto& a : again->topLevelAtoms)
        types.push_back(a.type);
    auto moov = std::find(types.begin(), types.end(), MVFourCC("moov"));
    auto mdat = std::find(types.begin(), types.end(), MVFourCC("mdat"));
    ASSERT_NE(moov, types.end());
    ASSERT_NE(mdat, types.end());
    EXPECT_LT(moov, mdat);
    EXPECT_TRUE(again->movie == d->movie);

    EXPECT_EQ(probeStreams(target), probeStreams(source));
    EXPECT_EQ(probeChapters(target), probeChapters(source));

    // ffmpeg reads a chapter track's samples while it opens the file and then lists all, some or none
    // of them as packets depending on where they lie in the file; its chapters (above) are what counts.
    std::vector<int> chapterStreams;
    for (const auto& track : d->movie.tracks)
        for (const auto& ref : track.references)
            if (ref.type == MVFourCC("chap"))
                for (auto id : ref.trackIDs)
                    for (size_t i = 0; i < d->movie.tracks.size(); ++i)
                        if (d->movie.tracks[i].header.trackID == id)
                            chapterStreams.push_back(int(i));
    auto expected = packetHashes(source, {}, chapterStreams);
    EXPECT_GT(expected.size(), 20u);
    EXPECT_EQ(firstDifference(packetHashes(target, {}, chapterStreams), expected), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SelfContainedWrite,
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

TEST(ReferenceMovieWrite, AliasReferencesDecodeWithDataReferencesEnabled)
{
    MOVARA_REQUIRE_FIXTURE(fixture, MovieFixture::H264AacMov);
    TempDir dir;
    // The samples stay in the source; the reference movie sits beside it.
    auto source = dir / "source.mov";
    std::filesystem::copy_file(fixture, source);
    auto target = dir / "reference.mov";

    HXError error;
    auto d = MVReadMovieFile(source.string(), &error);
    ASSERT_TRUE(d);
    MVReferenceSamplesInPlace(*d, source.string(), target.string());
    for (const auto& track : d->movie.tracks) {
        ASSERT_EQ(track.media.information.dataInformation.entries.size(), 1u);
        const auto& entry = track.media.information.dataInformation.entries[0];
        EXPECT_EQ(entry.type, MVFourCC("alis"));
        EXPECT_EQ(entry.flags, 0u);
        EXPECT_GT(entry.data.size() + 12, 150u);
    }
    ASSERT_TRUE(MVWriteMovieFile(target.string(), *d, {}, &error)) << error.code();
    EXPECT_LT(std::filesystem::file_size(target), 20000u);

    auto expected = packetHashes(source);
    EXPECT_GT(expected.size(), 20u);
    EXPECT_EQ(firstDifference(packetHashes(target, { "-enable_drefs", "1" }), expected), "");
    // Without following data references the header alone has no packets to give.
    EXPECT_NE(firstDifference(packetHashes(target), expected), "");
}

} // namespace
