// Document unique identifiers: one process-wide counter, drawn lazily by movie documents and kept by a
// movie opened with an identifier of its own.
#include "movie_document_test_support.h"

#include "tests/platform/mvkit/fixtures.h"

using namespace movara::test;
using namespace movara::test::document;

namespace {

class MovieDocumentUniqueIDTest : public DocumentTest { };

TEST_F(MovieDocumentUniqueIDTest, DrawsAtTheFirstRequestAndKeepsIt)
{
    auto first = MVPMovieDocument::document();
    auto second = MVPMovieDocument::document();
    ASSERT_TRUE(first && second);
    // Neither has drawn yet: the counter's next value goes to whichever asks first.
    uint64_t next = MVPMovieDocument::newDocumentUniqueID() + 1;
    EXPECT_EQ(second->uniqueID(), next);
    EXPECT_EQ(first->uniqueID(), next + 1);
    EXPECT_EQ(second->uniqueID(), next);
    EXPECT_EQ(first->uniqueID(), next + 1);
    EXPECT_EQ(MVPMovieDocument::newDocumentUniqueID(), next + 2);
}

TEST_F(MovieDocumentUniqueIDTest, AFileOpenedWithAnIdentifierKeepsItAndDrawsNone)
{
    auto path = fixturePath(MovieFixture::H264AacMov);
    if (path.empty())
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    uint64_t before = MVPMovieDocument::newDocumentUniqueID();
    HXError error;
    auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", uint64_t(7777), &error);
    ASSERT_TRUE(doc) << error.localizedDescription();
    EXPECT_EQ(doc->uniqueID(), 7777u);
    EXPECT_FALSE(doc->isReelspot());
    EXPECT_EQ(MVPMovieDocument::newDocumentUniqueID(), before + 1);
}

TEST_F(MovieDocumentUniqueIDTest, AFileThatDoesNotOpenGivesNoDocumentAndAnError)
{
    uint64_t before = MVPMovieDocument::newDocumentUniqueID();
    HXError error;
    auto doc = MVPMovieDocument::documentWithContentsOfFile(
        "/nonexistent/recording.mov", "Movie", uint64_t(before + 100), &error);
    EXPECT_FALSE(doc);
    EXPECT_FALSE(error.localizedDescription().empty());
    EXPECT_EQ(MVPMovieDocument::newDocumentUniqueID(), before + 1);
}

} // namespace
