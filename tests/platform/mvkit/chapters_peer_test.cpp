// Chapters written by us, as ffprobe lists them.
#include "movie_peer_fixtures.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/sample_text_description.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace movara::test::movie;

namespace {

TEST(ChaptersPeer, SavedChaptersShowInFfprobe)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    auto source = dir / "source.mov";
    ASSERT_TRUE(makeMovie(source, 4));
    HXError error;
    auto m = MVMovie::movieWithFile(source.string(), &error);
    ASSERT_TRUE(m);
    ASSERT_TRUE(
        MVMovieSetChapters(*m, { { "Intro", MVMakeTime(0, 1) }, { "Middle", MVMakeTime(3, 2) } }, &error));
    auto target = dir / "chapters.mov";
    ASSERT_TRUE(m->writeToFile(target.string(), {}, &error)) << error.localizedDescription();
    auto out = runCommand({ "ffprobe", "-v", "error", "-show_chapters", "-of", "csv=p=0", target.string() })
                   .output;
    // id, time base, start, start time, end, end time, title
    EXPECT_NE(out.find("0.000000"), std::string::npos) << out;
    EXPECT_NE(out.find("Intro"), std::string::npos) << out;
    EXPECT_NE(out.find("1.500000"), std::string::npos) << out;
    EXPECT_NE(out.find("Middle"), std::string::npos) << out;
    // The picture is unchanged by the chapter track.
    EXPECT_EQ(frameHashes(target, "0:v"), frameHashes(source, "0:v"));
    auto reopened = MVMovie::movieWithFile(target.string(), &error);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(MVMovieChapters(*reopened).size(), 2u);
}

// The chapters ffmpeg writes from an ffmetadata file: the chapter track of a movie file, the chapter list
// an MP4 file keeps in its user data ('chpl', alone when no track refers to the chapter track), and the
// chapters of other containers (Matroska's editions, NUT's), which the import makes a chapter track of.
// The movie has the three chapters with their names and starts, and is in chapter mode.
TEST(ChaptersPeer, ChapterTracksMadeByFfmpegAreRead)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is needed";
    TempDir dir;
    for (const char* name : { "three.mov", "three.mp4", "listed.mp4", "three.mkv", "three.nut" }) {
        SCOPED_TRACE(name);
        auto path = dir / name;
        ASSERT_TRUE(makeChapteredMovie(path, { "One", "Two", "Three" }));
        if (std::string(name) == "listed.mp4") {
            // No track refers to the chapter track any more: only the list names the chapters.
            std::string bytes = readFile(path);
            size_t reference = bytes.find("chap", bytes.find("tref"));
            ASSERT_NE(reference, std::string::npos);
            bytes.replace(reference, 4, "xxxx");
            writeFile(path, bytes);
        }
        HXError error;
        auto m = MVMovie::movieWithFile(path.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        EXPECT_TRUE(MVMovieChapterTrack(*m));
        auto chapters = MVMovieChapters(*m);
        ASSERT_EQ(chapters.size(), 3u);
        const char* names[] = { "One", "Two", "Three" };
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(chapters[i].name, names[i]);
            double seconds = -1;
            EXPECT_TRUE(MVGetTimeInterval(chapters[i].startTime, &seconds));
            EXPECT_NEAR(seconds, double(i), 0.05) << i;
        }
        EXPECT_EQ(MVMovieChapterMode(*m), MVMovieChapterModeClip);
    }
    // A movie without a chapter track is not.
    auto plain = dir / "plain.mov";
    ASSERT_TRUE(makeMovie(plain, 1));
    HXError error;
    auto m = MVMovie::movieWithFile(plain.string(), &error);
    ASSERT_TRUE(m);
    EXPECT_FALSE(MVMovieHasChapters(*m));
    EXPECT_EQ(MVMovieChapterMode(*m), MVMovieChapterModeNone);
}

} // namespace

namespace {

// A subtitle whose text was replaced in memory names a description equal to the one of the samples in the
// file, but for where its samples are: saved self-contained, the track has one description again, which
// is what ffmpeg decodes subtitles of.
TEST(ChaptersPeer, TextsEditedInMemorySaveWithOneDescription)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    TempDir dir;
    writeFile(dir / "subs.srt",
        "1\n00:00:00,000 --> 00:00:01,000\nFirst\n\n2\n00:00:01,000 --> 00:00:02,000\nSecond\n");
    auto source = dir / "subs.mp4";
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                             "testsrc=size=64x48:rate=10:duration=2", "-i", (dir / "subs.srt").string(),
                             "-map", "0", "-map", "1", "-c:v", "mpeg4", "-c:s", "mov_text", source.string() })
                  .status,
        0);
    HXError error;
    auto m = MVMovie::movieWithFile(source.string(), &error);
    ASSERT_TRUE(m) << error.localizedDescription();
    auto text = m->tracksOfMediaType(MVFourCC("text")).empty() ? m->tracksOfMediaType(MVFourCC("sbtl"))
                                                               : m->tracksOfMediaType(MVFourCC("text"));
    ASSERT_FALSE(text.empty());
    auto media = text.front()->media();
    ASSERT_TRUE(media->replaceSample(0, MVMakeTextSample("Changed"), media->sampleDescription(1)));
    ASSERT_EQ(media->sampleDescriptions().size(), 2u);
    auto target = dir / "changed.mov";
    ASSERT_TRUE(m->writeToFile(target.string(), {}, &error)) << error.localizedDescription();
    auto srt = runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-i", target.string(), "-map", "0:s:0", "-f", "srt", "-" })
                   .output;
    EXPECT_NE(srt.find("Changed"), std::string::npos) << srt;
    EXPECT_NE(srt.find("Second"), std::string::npos) << srt;
    auto reopened = MVMovie::movieWithFile(target.string(), &error);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(
        reopened->tracksOfMediaType(text.front()->mediaType()).front()->media()->sampleDescriptions().size(),
        1u);
}

} // namespace
