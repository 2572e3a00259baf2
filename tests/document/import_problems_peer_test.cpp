// A movie imported without some of its file's streams tells the user which streams and why.
#include "movie_document_test_support.h"
#include "test_support.h"

#include "platform/mvkit/playback/decoder_configuration.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace document;

namespace {

class ImportProblemsTest : public DocumentTest { };

// Streams that hold no sound or picture to play (a DVD's navigation packets, a Matroska file's fonts)
// and cover art, shown for the whole movie, raise no alert, and sound no movie-file description names
// plays; a stream of sound no decoder knows is named in it.
TEST_F(ImportProblemsTest, TheAlertNamesOnlyTheStreamsThatCannotPlay)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto font = dir / "font.ttf";
    writeFile(font, "not really a font\n");
    auto cover = dir / "cover.jpg";
    ASSERT_EQ(runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                             "testsrc=size=64x48:rate=10:duration=1", "-frames:v", "1", cover.string() })
                  .status,
        0);
    const std::vector<std::string> picture = { "-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1" };
    const std::vector<std::string> sound = { "-f", "lavfi", "-i", "sine=duration=1" };
    auto join = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all = { "ffmpeg", "-nostdin", "-v", "error", "-y" };
        for (auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char* name;
        const char* file;
        std::vector<std::string> command;
        int tracks;
        const char* named; // in the alert; nullptr: no alert
    };
    const Case cases[] = {
        { "fonts in a Matroska file", "fonts.mkv",
            join({ picture,
                { "-attach", font.string(), "-metadata:s:t", "mimetype=application/x-truetype-font", "-c:v",
                    "mjpeg" } }),
            1, nullptr },
        { "a DVD's navigation packets", "dvd.vob",
            join({ picture, sound, { "-c:v", "mpeg2video", "-c:a", "ac3", "-f", "dvd" } }), 2, nullptr },
        { "cover art of an MP3", "cover.mp3",
            join({ sound,
                { "-i", cover.string(), "-map", "0", "-map", "1", "-c:a", "libmp3lame", "-c:v", "copy",
                    "-disposition:v", "attached_pic" } }),
            2, nullptr },
        { "sound no movie-file description names", "wavpack.mkv",
            join({ picture, sound, { "-c:v", "mjpeg", "-c:a", "wavpack" } }), 2, nullptr },
        { "sound of a code no decoder knows", "unknown.nut",
            join({ picture, sound,
                { "-c:v", "mjpeg", "-c:a", "pcm_s16le", "-tag:a", "zzzz", "-strict", "-2" } }),
            1, "stream 1 (zzzz)" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = dir / c.file;
        auto argv = c.command;
        argv.push_back(path.string());
        auto made = runCommand(argv);
        ASSERT_EQ(made.status, 0) << made.output;

        HXError error;
        auto doc = MVPMovieDocument::documentWithContentsOfFile(
            path.string(), MVPAnythingDocumentType, false, &error);
        ASSERT_TRUE(doc) << error.localizedDescription();
        EXPECT_EQ(doc->movie()->trackCount(), c.tracks);
        std::vector<std::string> shown;
        doc->runAlert = [&](const std::string& message, const std::string& informative, const std::string&,
                            const std::string&) {
            shown.push_back(message + "\n" + informative);
            return long(HXAlertDefaultReturn);
        };
        doc->handleIdleEvent();
        if (c.named) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_NE(shown[0].find(c.named), std::string::npos) << shown[0];
        } else {
            EXPECT_TRUE(shown.empty()) << shown.front();
        }
        EXPECT_FALSE(doc->isClosed());
        doc->close();
    }
}

TEST_F(ImportProblemsTest, SubtitleStreamsAreInTheSubtitlesMenu)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto cues = dir / "cues.srt";
    writeFile(cues, "1\n00:00:00,000 --> 00:00:00,500\nHello\n\n");
    auto path = dir / "two_subtitles.mkv";
    auto made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=10:duration=1", "-i", cues.string(), "-i", cues.string(), "-map", "0",
        "-map", "1", "-map", "2", "-c:v", "mjpeg", "-c:s", "srt", "-metadata:s:s:0", "language=eng",
        "-metadata:s:s:1", "language=ger", path.string() });
    ASSERT_EQ(made.status, 0) << made.output;
    HXError error;
    auto doc
        = MVPMovieDocument::documentWithContentsOfFile(path.string(), MVPAnythingDocumentType, false, &error);
    ASSERT_TRUE(doc) << error.localizedDescription();
    auto subtitles = doc->movie()->subtitleTracks();
    ASSERT_EQ(subtitles.size(), 2u);

    // "Off", a separator and one item per track, which shows it.
    auto menu = MVPMovieDocument::makeSubtitlesMenu();
    doc->updateSubtitlesMenuItems(*menu);
    ASSERT_EQ(menu->numberOfItems(), 4);
    auto german = menu->itemWithTag(long(subtitles[1]->trackID()));
    ASSERT_TRUE(german);
    EXPECT_TRUE(menu->itemWithTag(long(subtitles[0]->trackID())));
    EXPECT_TRUE(doc->performAction("setSubtitlesLanguage:", german.get()));
    EXPECT_TRUE(subtitles[1]->isEnabled());
    EXPECT_FALSE(subtitles[0]->isEnabled());
    EXPECT_TRUE(doc->movie()->subtitlesVisible());
}

// A movie file whose video track names a format no decoder here reads (its sample description patched
// to a made-up code) opens, and once its window is up the user is told it may not play well; the sound
// track still plays. The same file with its real format opens without a word.
TEST_F(ImportProblemsTest, AnUndecodableVideoTrackBringsThePlaybackProblemsAlert)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto good = dir / "good.mov";
    auto made = runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
            "-f", "lavfi", "-i", "sine=duration=1", "-c:v", "mjpeg", "-c:a", "aac", good.string() });
    ASSERT_EQ(made.status, 0) << made.output;
    std::string bytes = readFile(good);
    size_t stsd = bytes.find("stsd");
    ASSERT_NE(stsd, std::string::npos);
    ASSERT_EQ(bytes.substr(stsd + 16, 4), "jpeg") << "the video track's description comes first";
    auto bad = dir / "bad.mov";
    writeFile(bad, bytes.substr(0, stsd + 16) + "xvqz" + bytes.substr(stsd + 20));

    struct Case {
        const char* name;
        std::filesystem::path path;
        bool alert;
    };
    for (const Case& c : { Case { "real format", good, false }, Case { "unknown format", bad, true } }) {
        SCOPED_TRACE(c.name);
        HXError error;
        auto doc = MVPMovieDocument::documentWithContentsOfFile(
            c.path.string(), MVPAnythingDocumentType, false, &error);
        ASSERT_TRUE(doc) << error.localizedDescription();
        std::vector<std::pair<std::string, std::string>> shown;
        doc->runAlert = [&](const std::string& message, const std::string& informative, const std::string&,
                            const std::string&) {
            shown.emplace_back(message, informative);
            return long(HXAlertDefaultReturn);
        };
        doc->makeWindowControllers();
        doc->showWindows();
        EXPECT_TRUE(shown.empty()) << "the status is looked at once the window is up, not before";
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
        ASSERT_EQ(shown.size(), c.alert ? 1u : 0u);
        if (c.alert) {
            EXPECT_FALSE(shown[0].first.empty());
            EXPECT_EQ(doc->movie()->status().code(), MVStatusNoCodec);
            EXPECT_FALSE(doc->isClosed()) << "Continue keeps the movie open";
            doc->showWindows();
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
            EXPECT_EQ(shown.size(), 1u) << "told once";
        }
        doc->close();
    }
}

} // namespace
