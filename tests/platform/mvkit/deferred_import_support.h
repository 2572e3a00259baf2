#pragma once
// What the tests of long files opened from their first part share: movies made by ffmpeg, the duration
// ffprobe gives, and the comparison of completed tracks with those a whole import makes.
#include "test_support.h"

#include "platform/mvkit/atoms/movie_file_reader.h"
#include "platform/mvkit/media.h"
#include "platform/mvkit/movie.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace movara::test::deferred {

// ffmpeg writes `path` from the arguments in `output` (inputs and options).
inline std::string makeMovie(const std::filesystem::path& path, const std::vector<std::string>& output)
{
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    argv.insert(argv.end(), output.begin(), output.end());
    argv.push_back(path.string());
    EXPECT_EQ(runCommand(argv).status, 0) << path;
    return path.string();
}

inline double ffprobeDuration(const std::string& path)
{
    auto r = runCommand(
        { "ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1", path });
    return std::atof(r.output.c_str());
}

inline void expectSameTracks(const std::vector<MVTrackDescription>& ours,
    const std::vector<MVTrackDescription>& whole, const std::string& what)
{
    ASSERT_EQ(ours.size(), whole.size()) << what;
    for (size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(ours[i].header.trackID, whole[i].header.trackID) << what << " track " << i;
        EXPECT_EQ(ours[i].header.duration, whole[i].header.duration) << what << " track " << i;
        EXPECT_EQ(ours[i].editList, whole[i].editList) << what << " track " << i;
        EXPECT_EQ(ours[i].media.header.duration, whole[i].media.header.duration) << what << " track " << i;
        EXPECT_TRUE(ours[i].media.information.sampleTable == whole[i].media.information.sampleTable)
            << what << " track " << i;
    }
}

// A movie that `action` made complete: its state and every track's samples, as a whole import has them.
inline void expectCompletedAsWhole(
    const MVMovie& m, const std::vector<MVTrackDescription>& wholeTracks, const std::string& what)
{
    EXPECT_FALSE(m.isCompletingIndex()) << what;
    EXPECT_EQ(m.loadState(), MVMovieLoadStateComplete) << what;
    ASSERT_EQ(m.tracks().size(), wholeTracks.size()) << what;
    for (size_t i = 0; i < wholeTracks.size(); ++i)
        EXPECT_EQ(uint64_t(m.tracks()[i]->media()->sampleCount()),
            wholeTracks[i].media.information.sampleTable.sampleCount)
            << what << " track " << i;
}

} // namespace movara::test::deferred
