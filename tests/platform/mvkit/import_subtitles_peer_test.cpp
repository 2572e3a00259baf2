// Subtitle streams, as ffmpeg writes them into Matroska, MP4 and MOV files or on their own, open as
// subtitle tracks whose text shows at the right times, and a self-contained save keeps them as text
// that ffmpeg reads back.
#include "test_support.h"

#include "platform/mvkit/import/subtitle_import.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/playback/media_sample_source.h"
#include "platform/mvkit/playback/text_track_reader.h"
#include "platform/mvkit/track.h"

#include <gtest/gtest.h>

using namespace movara::test;

namespace {

const char* const kCues = "1\n00:00:00,200 --> 00:00:01,000\nHello <i>world</i>\n\n"
                          "2\n00:00:01,200 --> 00:00:01,800\nSecond line\ntwo rows\n\n";

struct SubtitleCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> output; // ffmpeg output options; none: the cues converted alone
};

class ImportSubtitles : public ::testing::TestWithParam<SubtitleCase> { };

TEST_P(ImportSubtitles, ShowTheirTextAtItsTimesAndSaveAsText)
{
    const SubtitleCase c = GetParam();
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "needs ffmpeg and ffprobe";
    TempDir dir;
    auto cues = dir / "cues.srt";
    writeFile(cues, kCues);
    const std::string source = (dir / c.fileName).string();
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
    if (!c.output.empty())
        argv.insert(argv.end(), { "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2" });
    argv.insert(argv.end(), { "-i", cues.string() });
    argv.insert(argv.end(), c.output.begin(), c.output.end());
    argv.push_back(source);
    auto made = runCommand(argv);
    ASSERT_EQ(made.status, 0) << made.output;

    HXError error;
    auto movie = MVMovie::movieWithFile(source, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto subtitles = movie->subtitleTracks();
    ASSERT_EQ(subtitles.size(), 1u);
    EXPECT_TRUE(subtitles[0]->isEnabled());
    EXPECT_TRUE(movie->subtitlesVisible());
    if (!c.output.empty()) {
        EXPECT_EQ(movie->tracksOfMediaType(MVFourCC("vide")).size(), 1u);
        auto [width, height] = movie->naturalSize();
        EXPECT_EQ(width, 160);
        EXPECT_EQ(height, 120);
    }

    // The text shown at times in the movie's scale (milliseconds here): before, during, between and
    // after the cues.
    MVTextTrackReader reader(std::make_shared<MVMediaSampleSource>(*subtitles[0]));
    auto at = [&](double seconds) {
        return reader.textAtTime(int64_t(seconds * movie->timeScale()));
    };
    EXPECT_EQ(at(0.1), "");
    EXPECT_EQ(at(0.5), "Hello world");
    EXPECT_EQ(at(1.1), "");
    EXPECT_EQ(at(1.5), "Second line\ntwo rows");
    EXPECT_GE(movie->durationValue(), int64_t(1.8 * movie->timeScale()));

    // Saved self-contained, the subtitles stay timed text.
    const std::string saved = (dir / "saved.mov").string();
    ASSERT_TRUE(movie->writeToFile(saved, { { MVMovieFlatten, true } }, &error)) << error.localizedDescription();
    auto probe = runCommand({ "ffprobe", "-v", "error", "-select_streams", "s", "-show_entries",
        "stream=codec_name", "-of", "csv=p=0", saved });
    EXPECT_EQ(probe.output, "mov_text\n");
    auto srt = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-i", saved, "-map", "0:s:0", "-f", "srt", "-" });
    // The words and times, without the font markup the converter adds.
    std::string text;
    for (size_t i = 0; i < srt.output.size(); ++i)
        if (srt.output[i] == '<' && srt.output.find('>', i) != std::string::npos)
            i = srt.output.find('>', i);
        else if (srt.output[i] != '\r')
            text += srt.output[i];
    EXPECT_NE(text.find("00:00:00,200 --> 00:00:01,000\nHello world\n"), std::string::npos) << srt.output;
    EXPECT_NE(text.find("00:00:01,200 --> 00:00:01,800\nSecond line\ntwo rows\n"), std::string::npos)
        << srt.output;
}

INSTANTIATE_TEST_SUITE_P(Formats, ImportSubtitles,
    ::testing::Values(SubtitleCase { "Matroska_SRT", "srt.mkv", { "-c:v", "mjpeg", "-c:s", "srt" } },
        SubtitleCase { "Matroska_ASS", "ass.mkv", { "-c:v", "mjpeg", "-c:s", "ass" } },
        SubtitleCase { "WebM_WebVTT", "vtt.webm", { "-c:v", "libvpx", "-b:v", "200k", "-c:s", "webvtt" } },
        SubtitleCase { "MP4_TimedText", "text.mp4", { "-c:v", "libx264", "-preset", "ultrafast", "-c:s", "mov_text" } },
        SubtitleCase { "MOV_TimedText", "text.mov", { "-c:v", "mjpeg", "-c:s", "mov_text" } },
        SubtitleCase { "SRT_Alone", "alone.srt", {} }, SubtitleCase { "ASS_Alone", "alone.ass", {} },
        SubtitleCase { "WebVTT_Alone", "alone.vtt", {} }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImportSubtitleChoice, OneOfSeveralShowsAndEachKeepsItsLanguage)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto cues = dir / "cues.srt";
    writeFile(cues, kCues);
    auto source = (dir / "two.mkv").string();
    auto made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=10:duration=2", "-i", cues.string(), "-i", cues.string(), "-map", "0", "-map",
        "1", "-map", "2", "-c:v", "mjpeg", "-c:s", "srt", "-metadata:s:s:0", "language=eng", "-metadata:s:s:1",
        "language=ger", "-disposition:s:0", "0", "-disposition:s:1", "default", source });
    ASSERT_EQ(made.status, 0) << made.output;
    HXError error;
    auto movie = MVMovie::movieWithFile(source, &error);
    ASSERT_TRUE(movie) << error.localizedDescription();
    auto subtitles = movie->subtitleTracks();
    ASSERT_EQ(subtitles.size(), 2u);
    // The one the file marks as default shows.
    EXPECT_FALSE(subtitles[0]->isEnabled());
    EXPECT_TRUE(subtitles[1]->isEnabled());
    EXPECT_EQ(subtitles[0]->isoLanguageCode(), 0x656E6700u); // "eng"
    EXPECT_EQ(subtitles[1]->isoLanguageCode(), 0x67657200u); // "ger"
    movie->setSubtitlesLanguage(subtitles[0]->language());
    EXPECT_TRUE(subtitles[0]->isEnabled());
    EXPECT_FALSE(subtitles[1]->isEnabled());
}

struct PlainTextCase {
    const char* event;
    const char* text;
};

class PlainTextFromASS : public ::testing::TestWithParam<PlainTextCase> { };

TEST_P(PlainTextFromASS, KeepsTheWordsAndLineBreaks)
{
    EXPECT_EQ(MVPlainTextFromASS(GetParam().event), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Events, PlainTextFromASS,
    ::testing::Values(PlainTextCase { "0,0,Default,,0,0,0,,Hello {\\i1}world{\\i0}", "Hello world" },
        PlainTextCase { "3,0,Default,,0,0,0,,One\\NTwo\\nThree", "One\nTwo\nThree" },
        PlainTextCase { "1,0,Default,,0,0,0,,Commas, in, the, text, stay, as, they, are, here",
            "Commas, in, the, text, stay, as, they, are, here" },
        PlainTextCase { "No\\hbreak", "No break" }, PlainTextCase { "{\\pos(10,10)}Placed", "Placed" },
        PlainTextCase { "2,0,Default,,0,0,0,,\\N  {\\b1}{\\b0}\\N", "" },
        PlainTextCase { "0,0,Default,,0,0,0,,{unclosed text", "{unclosed text" }));

TEST(SubtitleTimeline, GapsAreEmptyAndOverlapsShowTogether)
{
    using Timeline = std::vector<std::pair<int64_t, std::string>>;
    struct Case {
        std::vector<MVSubtitleCue> cues;
        Timeline expected;
    };
    const Case cases[] = {
        { {}, {} },
        { { { 0, 100, "a" } }, { { 100, "a" } } },
        { { { 50, 100, "a" }, { 200, 300, "b" } }, { { 50, "" }, { 50, "a" }, { 100, "" }, { 100, "b" } } },
        // Overlapping: both lines while both show, in the order they started.
        { { { 0, 200, "a" }, { 100, 300, "b" } }, { { 100, "a" }, { 100, "a\nb" }, { 100, "b" } } },
        // Back to back with the same text: one sample.
        { { { 0, 100, "a" }, { 100, 200, "a" } }, { { 200, "a" } } },
        // An event that ends before it starts shows nothing.
        { { { 100, 50, "a" } }, {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVSubtitleTimeline(c.cues), c.expected);
}

} // namespace
