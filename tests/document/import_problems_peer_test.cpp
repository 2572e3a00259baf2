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

} // namespace
