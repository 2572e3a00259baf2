// Chapters written by us, as ffprobe lists them.
#include "fixtures.h"
#include "movie_peer_fixtures.h"
#include "platform/mvkit/chapters.h"
#include "platform/mvkit/sample_text_description.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

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
    // Chapters set anew are the only ones other programs read from the saved file: the list an MP4 file
    // also kept in its user data goes.
    {
        HXError error;
        auto m = MVMovie::movieWithFile((dir / "three.mp4").string(), &error);
        ASSERT_TRUE(m);
        ASSERT_TRUE(MVMovieSetChapters(*m, { { "A", MVMakeTime(0, 1) }, { "B", MVMakeTime(2, 1) } }, &error));
        auto saved = dir / "renamed.mov";
        ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
        auto listed = runCommand({ "ffprobe", "-v", "error", "-show_entries", "chapter_tags=title", "-of",
            "csv=p=0", saved.string() });
        EXPECT_EQ(listed.output, "A\nB\n");
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

namespace {

// The times at which ffmpeg shows the texts of a saved movie: subtitles as "start-end" in milliseconds,
// chapters by their start in milliseconds.
std::vector<std::string> textTimes(const std::filesystem::path& movie, bool chapters)
{
    std::vector<std::string> out;
    if (chapters) {
        auto csv = runCommand({ "ffprobe", "-v", "error", "-show_entries", "chapter=start_time", "-of",
                                  "csv=p=0", movie.string() })
                       .output;
        std::istringstream in(csv);
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                out.push_back(std::to_string(std::lround(std::stod(line) * 1000)));
        return out;
    }
    auto srt = runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-i", movie.string(), "-map", "0:s:0", "-f", "srt", "-" })
                   .output;
    std::istringstream in(srt);
    auto millis = [](const std::string& t) {
        return std::stol(t.substr(0, 2)) * 3600000 + std::stol(t.substr(3, 2)) * 60000
            + std::stol(t.substr(6, 2)) * 1000 + std::stol(t.substr(9, 3));
    };
    for (std::string line; std::getline(in, line);)
        if (line.size() >= 29 && line.find(" --> ") == 12)
            out.push_back(std::to_string(millis(line.substr(0, 12))) + "-"
                + std::to_string(millis(line.substr(17, 12))));
    return out;
}

// A cut that begins or ends inside a subtitle or a chapter: the texts after it show at their new times,
// not early by the part of the text cut off.
TEST(TextsPeer, CutsInsideATextKeepTheTextsAfterItOnTime)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    struct Case {
        const char* name;
        MovieFixture fixture;
        bool chapters;
        int cutFrom, cutTo; // milliseconds
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // Hello 0.5-1.5 s, World 2.0-2.8 s.
        { "subtitles, cut inside the first", MovieFixture::SubtitleMov, false, 1000, 1800,
            { "500-1000", "1200-2000" } },
        { "subtitles, cut from one to the next", MovieFixture::SubtitleMov, false, 1200, 2400,
            { "500-1200", "1200-1600" } },
        // Opening from 0 s, Closing from 1.5 s.
        { "chapters, cut inside the first", MovieFixture::ChaptersMp4, true, 500, 1000,
            { "0", "500", "1000" } },
        { "chapters, cut into the second", MovieFixture::ChaptersMp4, true, 1000, 2000, { "0", "1000" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MOVARA_REQUIRE_FIXTURE(path, c.fixture);
        TempDir dir;
        HXError error;
        auto m = MVMovie::movieWithFile(path.string(), &error);
        ASSERT_TRUE(m) << error.localizedDescription();
        m->setSelection({ MVMakeTime(c.cutFrom, 1000), MVMakeTime(c.cutTo - c.cutFrom, 1000) });
        m->clear();
        auto saved = dir / "cut.mov";
        ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
        EXPECT_EQ(textTimes(saved, c.chapters), c.expected);
    }
}

// A clip without subtitles pasted into a movie with them: the subtitle track shows nothing for the clip's
// length (not the track's first subtitle), then the rest at their new times.
TEST(TextsPeer, AClipWithoutTextsShowsNoneOfTheMovies)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    MOVARA_REQUIRE_FIXTURE(path, MovieFixture::SubtitleMov); // Hello 0.5-1.5 s, World 2.0-2.8 s
    TempDir dir;
    auto clipPath = dir / "clip.mov";
    ASSERT_TRUE(makeMovie(clipPath, 2, ""));
    HXError error;
    auto clip = MVMovie::movieWithFile(clipPath.string(), &error);
    auto m = MVMovie::movieWithFile(path.string(), &error);
    ASSERT_TRUE(clip && m) << error.localizedDescription();
    clip->setSelection({ MVMakeTime(0, 1), MVMakeTime(1, 1) });
    clip->copy();
    m->setSelection({ MVMakeTime(1, 1), MVMakeTime(0, 1) });
    ASSERT_TRUE(m->paste(nullptr));
    auto saved = dir / "pasted.mov";
    ASSERT_TRUE(m->writeToFile(saved.string(), {}, &error)) << error.localizedDescription();
    EXPECT_EQ(textTimes(saved, false), (std::vector<std::string> { "500-1000", "2000-2500", "3000-3800" }));
}

} // namespace
