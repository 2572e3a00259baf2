// A movie imported without some of its file's streams tells the user which streams and why.
#include "movie_document_test_support.h"
#include "test_support.h"

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

} // namespace
