// Opening movie documents, installing their movies, their names and sizes, and closing them.
#include "movie_document_test_support.h"

#include "document/media_attributes.h"
#include "core/movie_error.h"
#include "platform/basekit/undo_manager.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "tests/platform/mvkit/fixtures.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

#define REQUIRE_FIXTURE(f)                                                                                   \
    auto f##Path = fixturePath(MovieFixture::f);                                                             \
    if (f##Path.empty())                                                                                     \
    GTEST_SKIP() << "ffmpeg is needed for the fixture movies"

class MovieDocumentOpenTest : public DocumentTest { };

TEST_F(MovieDocumentOpenTest, OpensAFileAndNotesItAsRecentUnlessFeatured)
{
    REQUIRE_FIXTURE(H264AacMov);
    auto controller = HXDocumentController::sharedDocumentController();
    HXError error;
    auto doc = MVPMovieDocument::documentWithContentsOfFile(H264AacMovPath.string(), "Movie", false, &error);
    ASSERT_TRUE(doc) << error.localizedDescription();
    ASSERT_TRUE(doc->movie());
    EXPECT_EQ(doc->fileName(), H264AacMovPath.string());
    EXPECT_EQ(doc->fileType(), "Movie");
    EXPECT_EQ(doc->tracks().size(), 2u);
    EXPECT_EQ(doc->naturalSize().width, 160);
    EXPECT_EQ(doc->naturalSize().height, 120);
    EXPECT_FALSE(doc->isDocumentEdited());
    ASSERT_EQ(controller->recentDocumentURLs().size(), 1u);
    EXPECT_EQ(controller->recentDocumentURLs()[0].path(), H264AacMovPath.string());

    controller->clearRecentDocuments();
    auto featured
        = MVPMovieDocument::documentWithContentsOfFile(H264AacMovPath.string(), "Movie", true, &error);
    ASSERT_TRUE(featured);
    EXPECT_TRUE(featured->isReelspot());
    featured->showWindows();
    EXPECT_TRUE(controller->recentDocumentURLs().empty());
}

TEST_F(MovieDocumentOpenTest, EveryDocumentGetsTheNextIdentifier)
{
    REQUIRE_FIXTURE(H264AacMov);
    auto first
        = MVPMovieDocument::documentWithContentsOfFile(H264AacMovPath.string(), "Movie", false, nullptr);
    auto second = MVPMovieDocument::document();
    auto third = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(second->movieID(), first->movieID() + 1);
    EXPECT_EQ(third->movieID(), second->movieID() + 1);
}

TEST_F(MovieDocumentOpenTest, FilesThatCannotBeOpenedGiveTheOpenError)
{
    TempDir dir;
    writeFile(dir.path() / "garbage.mov", std::string(4000, '\x7f'));
    writeFile(dir.path() / "truncated.mov", std::string("\0\0\0\x20moov\0\0", 10));
    const std::vector<std::filesystem::path> paths = { dir.path() / "missing.mov", dir.path() / "garbage.mov",
        dir.path() / "truncated.mov", dir.path() };
    for (const auto& path : paths) {
        HXError error;
        auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, &error);
        EXPECT_FALSE(doc) << path;
        EXPECT_EQ(error.domain(), MVPMovieErrorDomain) << path;
        EXPECT_EQ(error.code(), MVPMovieErrorCouldNotOpenMovie) << path;
    }
    EXPECT_TRUE(HXDocumentController::sharedDocumentController()->recentDocumentURLs().empty());
}

TEST_F(MovieDocumentOpenTest, AFailedReadKeepsThePreviousMovieAndFile)
{
    REQUIRE_FIXTURE(H264AacMov);
    auto doc = MVPMovieDocument::documentWithContentsOfFile(H264AacMovPath.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc);
    auto movie = doc->movie();
    auto sets = count(MVPMovieDocumentSetMovieNotification, doc.get());
    HXError error;
    EXPECT_FALSE(doc->readFromFile("/nonexistent/elsewhere.mov", "Movie", &error));
    EXPECT_EQ(error.code(), MVPMovieErrorCouldNotOpenMovie);
    EXPECT_EQ(doc->movie(), movie);
    EXPECT_EQ(doc->fileName(), H264AacMovPath.string());
    EXPECT_FALSE(doc->readFromURL(HXURL::fileURLWithPath("/nonexistent/x.mov"), "Movie", &error));
    EXPECT_FALSE(doc->readFromDataReference(
        MVDataReference::dataReferenceWithReferenceToFile("/nonexistent/y.mov"), "Movie", &error));
    EXPECT_EQ(doc->movie(), movie);
    EXPECT_EQ(*sets, 0);
}

TEST_F(MovieDocumentOpenTest, FileURLsRecordTheirPathNetworkURLsLeaveTheFileNameUnset)
{
    REQUIRE_FIXTURE(H264AacMov);
    auto local = MVPMovieDocument::documentWithContentsOfURL(
        HXURL::fileURLWithPath(H264AacMovPath.string()), "Movie", nullptr);
    ASSERT_TRUE(local);
    EXPECT_EQ(local->fileName(), H264AacMovPath.string());

    // Nothing listens on port 9 of the loopback: the movie exists at once and fails later.
    auto remote = MVPMovieDocument::documentWithContentsOfURL(
        *HXURL::URLWithString("http://127.0.0.1:9/clip.mov"), "Movie", nullptr);
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->fileName(), "");
    EXPECT_EQ(remote->displayName(), "clip.mov");
}

TEST_F(MovieDocumentOpenTest, AnEmptyDocumentKeepsNewMediaInMemory)
{
    auto doc = MVPMovieDocument::document();
    ASSERT_TRUE(doc);
    ASSERT_TRUE(doc->movie());
    EXPECT_EQ(doc->fileType(), MVPAnythingDocumentType);
    EXPECT_EQ(doc->movie()->defaultDataReference().kind(), MVDataReference::Kind::Memory);
    EXPECT_EQ(doc->movie()->undoManager(), doc->undoManager());
    EXPECT_EQ(doc->attributes().size(), size_t(MVPMediaAttributes::RowCount));
}

TEST_F(MovieDocumentOpenTest, SafeDisplayNameReplacesEveryColon)
{
    struct Case {
        std::string movieName;
        std::string expected;
    };
    const Case cases[] = {
        { "Part 1: The Start: Again", "Part 1- The Start- Again" },
        { "plain", "plain" },
        { "::", "--" },
        { "", "Untitled" },
    };
    for (const auto& c : cases) {
        auto movie = MVMovie::movie();
        movie->setDisplayName(c.movieName);
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        EXPECT_EQ(doc->safeDisplayName(), c.expected) << c.movieName;
    }
}

TEST_F(MovieDocumentOpenTest, UserScaleAndSizeChangeOnlyWithPositiveSizes)
{
    REQUIRE_FIXTURE(H264AacMov);
    REQUIRE_FIXTURE(PcmWav);
    auto doc = MVPMovieDocument::documentWithContentsOfFile(H264AacMovPath.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc);
    struct Case {
        bool bySize;
        HXSize given;
        HXSize expectedScale;
    };
    const Case cases[] = {
        { false, { 2, 2 }, { 2, 2 } },
        { false, { 0, 3 }, { 2, 2 } },
        { false, { 1.5, -1 }, { 2, 2 } },
        { true, { 320, 60 }, { 2, 0.5 } },
        { true, { 0, 60 }, { 2, 0.5 } },
        { true, { 80, 120 }, { 0.5, 1 } },
    };
    for (const auto& c : cases) {
        if (c.bySize)
            doc->setUserSize(c.given);
        else
            doc->setUserScale(c.given);
        EXPECT_EQ(doc->userScale().width, c.expectedScale.width) << c.given.width << "x" << c.given.height;
        EXPECT_EQ(doc->userScale().height, c.expectedScale.height) << c.given.width << "x" << c.given.height;
    }
    EXPECT_EQ(doc->userSize().width, 80);
    EXPECT_EQ(doc->userSize().height, 120);

    // Sound only: no natural size, so the scale stays 1.
    auto sound = MVPMovieDocument::documentWithContentsOfFile(PcmWavPath.string(), "Movie", false, nullptr);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->naturalSize().width, 0);
    sound->setUserScale({ 2, 2 });
    EXPECT_EQ(sound->userScale().width, 1);
    EXPECT_EQ(sound->userScale().height, 1);
}

TEST_F(MovieDocumentOpenTest, ApertureModeFromStoredItemElseFromTheTracks)
{
    REQUIRE_FIXTURE(H264AacMov);
    struct Case {
        const char* name;
        bool withTracks;
        const char* stored; // 'apmd', or null
        const char* expected;
    };
    const Case cases[] = {
        { "no tracks", false, nullptr, MVMovieApertureModeClean },
        { "no tracks, stored classic", false, "clas", MVMovieApertureModeClassic },
        { "tracks, not conformed", true, nullptr, MVMovieApertureModeClassic },
        { "tracks, stored clean", true, "clea", MVMovieApertureModeClean },
        { "tracks, stored production", true, "prod", "production" },
    };
    for (const auto& c : cases) {
        auto movie
            = c.withTracks ? MVMovie::movieWithFile(H264AacMovPath.string(), nullptr) : MVMovie::movie();
        ASSERT_TRUE(movie);
        if (c.stored)
            setUserData(*movie, "apmd", MVBytes(c.stored, c.stored + 4));
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        EXPECT_EQ(movie->attributeForKey(MVMovieApertureModeAttribute).stringValue(), c.expected) << c.name;
    }
}

TEST_F(MovieDocumentOpenTest, NaturalSizeNotificationsOnlyForARealChange)
{
    auto movie = MVMovie::movie();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    auto will = count(MVPMovieDocumentWillChangeNaturalSizeNotification, doc.get());
    auto did = count(MVPMovieDocumentDidChangeNaturalSizeNotification, doc.get());
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieNaturalSizeDidChangeNotification, movie));
    EXPECT_EQ(*will, 0);
    EXPECT_EQ(*did, 0);

    movie->newTrack(MVFourCC("vide"), 600, 320, 240);
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieNaturalSizeDidChangeNotification, movie));
    EXPECT_EQ(*will, 1);
    EXPECT_EQ(*did, 1);
    EXPECT_EQ(doc->naturalSize().width, 320);
    EXPECT_EQ(doc->tracks().size(), 1u) << "the new track joins the document's tracks";
}

TEST_F(MovieDocumentOpenTest, SubtitlesShowOnlyWhenThePreferenceSaysSo)
{
    REQUIRE_FIXTURE(SubtitleMov);
    for (bool show : { false, true }) {
        setPreference("GeneralPreferenceShowSubtitles", show);
        auto doc
            = MVPMovieDocument::documentWithContentsOfFile(SubtitleMovPath.string(), "Movie", false, nullptr);
        ASSERT_TRUE(doc);
        ASSERT_TRUE(doc->movie()->hasSubtitles());
        EXPECT_EQ(doc->movie()->subtitlesVisible(), show);
        EXPECT_FALSE(doc->movie()->hasChanged()) << "a movie just opened has no changes";
    }
}

TEST_F(MovieDocumentOpenTest, ControllerTypeChangesAreUndoable)
{
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    EXPECT_EQ(doc->movieControllerType(), MVMovieControllerTypeStandard);
    doc->setMovieControllerType(MVMovieControllerTypeNone);
    EXPECT_EQ(doc->movieControllerType(), MVMovieControllerTypeNone);
    ASSERT_TRUE(doc->undoManager()->canUndo());
    doc->undoManager()->undo();
    EXPECT_EQ(doc->movieControllerType(), MVMovieControllerTypeStandard);
}

TEST_F(MovieDocumentOpenTest, StoredWindowPositionIsUsedOnlyWhereTheTitleBarStaysReachable)
{
    struct Case {
        int16_t top, left;
        HXPoint expected; // zero: not used
    };
    // The main screen is 1280x800 at the origin; the second, 1024x768, lies to its right, its top 32
    // points below the main screen's top.
    const Case cases[] = {
        { 100, 50, { 50, 700 } },
        { 770, 50, { 50, 30 } },
        { 771, 50, { 0, 0 } },
        { 700, 1300, { 1300, 100 } },
        { 750, 1300, { 1300, 50 } },
        { 771, 1300, { 0, 0 } },
        { 10, 1300, { 0, 0 } }, // above the second screen: on no display
        { 100, 5000, { 0, 0 } },
        { -20, 50, { 0, 0 } },
    };
    for (const auto& c : cases) {
        auto movie = MVMovie::movie();
        setUserData(*movie, "WLOC",
            { uint8_t(uint16_t(c.top) >> 8), uint8_t(c.top), uint8_t(uint16_t(c.left) >> 8),
                uint8_t(c.left) });
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        HXPoint p = doc->persistentTopLeftPoint();
        EXPECT_EQ(p.x, c.expected.x) << c.top << "," << c.left;
        EXPECT_EQ(p.y, c.expected.y) << c.top << "," << c.left;
    }
}

} // namespace
