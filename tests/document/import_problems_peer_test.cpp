// A movie imported without some of its file's streams tells the user which streams and why.
#include "movie_document_test_support.h"
#include "test_support.h"

#include "platform/mvkit/playback/decoder_configuration.h"

#include <gtest/gtest.h>

using namespace movara::test;
using namespace document;

namespace {

class ImportProblemsTest : public DocumentTest { };

TEST_F(ImportProblemsTest, TheAlertNamesTheStreamLeftOut)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "needs ffmpeg";
    TempDir dir;
    auto note = dir / "note.txt";
    writeFile(note, "Hello\n");
    auto path = dir / "with_attachment.mkv";
    auto made = runCommand(
        { "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
            "-attach", note.string(), "-metadata:s:t", "mimetype=text/plain", "-c:v", "mjpeg", path.string() });
    ASSERT_EQ(made.status, 0) << made.output;

    HXError error;
    auto doc
        = MVPMovieDocument::documentWithContentsOfFile(path.string(), MVPAnythingDocumentType, false, &error);
    ASSERT_TRUE(doc) << error.localizedDescription();
    EXPECT_EQ(doc->movie()->trackCount(), 1);
    std::string shown;
    doc->runAlert = [&](const std::string& message, const std::string& informative, const std::string&,
                        const std::string&) {
        shown = message + "\n" + informative;
        return long(HXAlertDefaultReturn);
    };
    doc->handleIdleEvent();
    EXPECT_NE(shown.find("stream 1 ("), std::string::npos) << shown;
    EXPECT_NE(shown.find("attachment"), std::string::npos) << shown;
    EXPECT_FALSE(doc->isClosed());
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
        "testsrc=size=64x48:rate=10:duration=1", "-i", cues.string(), "-i", cues.string(), "-map", "0", "-map", "1",
        "-map", "2", "-c:v", "mjpeg", "-c:s", "srt", "-metadata:s:s:0", "language=eng", "-metadata:s:s:1",
        "language=ger", path.string() });
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
    auto made = runCommand({ "ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
        "testsrc=size=64x48:rate=10:duration=1", "-f", "lavfi", "-i", "sine=duration=1", "-c:v", "mjpeg", "-c:a",
        "aac", good.string() });
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
        auto doc = MVPMovieDocument::documentWithContentsOfFile(c.path.string(), MVPAnythingDocumentType, false, &error);
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
