// MVPlayerHelper flattening a real movie, checked by ffprobe and ffmpeg: the self-contained result
// decodes to the same frames as the source, also once the source is gone.
#include "job_test_support.h"
#include "tests/platform/mvkit/movie_peer_fixtures.h"

#include "platform/mvkit/movie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace movara::test;
using namespace movara::test::jobs;
namespace fs = std::filesystem;

namespace {

TEST(PlayerHelperPeer, FlattenWritesASelfContainedMovieThatDecodesLikeTheSource)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir temp;
    auto source = temp / "source.mov";
    ASSERT_TRUE(movie::makeMovie(source, 2));
    auto expected = movie::frameHashes(source);
    ASSERT_FALSE(expected.empty());

    HXError error;
    auto sourceMovie = MVMovie::movieWithFile(source.string(), &error);
    ASSERT_TRUE(sourceMovie) << error.localizedDescription();
    auto representation = sourceMovie->movieFormatRepresentation();
    auto flat = temp / "flat.mov";
    HXPropertyList::Dictionary params
        = { { "MVExpType", "Flatten" }, { "MVExpMovieIn", HXData(representation) },
              { "MVExpNameOut", flat.string() }, { "description", "Flatten source.mov" } };

    JobManager manager(INT_MAX, helperProgram);
    auto delegate = std::make_shared<RecordingDelegate>();
    auto job = manager.newJobWithParams(params, delegate);
    manager.startJob(job, false);
    ASSERT_TRUE(runUntil([&] { return isFinal(job); }, 60));
    ASSERT_EQ(job->state(), JobState::Complete) << job->errorMessage();
    ASSERT_FALSE(delegate->messages.empty());
    EXPECT_EQ(delegate->messages.front()["requestResource"].stringValue(), "CPU");
    EXPECT_DOUBLE_EQ(delegate->messages.back()["progress"].realValue(), 1.0);
    EXPECT_EQ(delegate->messages.back()["releaseResource"].stringValue(), "CPU");
    bool exporting = false;
    for (const auto& message : delegate->messages)
        exporting = exporting || message["status"].stringValue() == "ExportState";
    EXPECT_TRUE(exporting);
    // Nothing is left behind next to the movie.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> { "flat.mov", "source.mov" }));

    // Self-contained: it no longer needs the source.
    fs::rename(source, temp / "moved-away.mov");
    auto streams = movie::probeStreams(flat);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].codec, "mpeg4");
    EXPECT_EQ(streams[0].frames, 20);
    EXPECT_EQ(streams[1].codec, "aac");
    EXPECT_EQ(movie::frameHashes(flat), expected);
}

} // namespace
