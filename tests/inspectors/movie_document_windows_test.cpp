// A movie document with the windows the layers above it make for it — its info panel, its properties
// window and its full-screen presentation: the properties window steps aside while the movie is presented,
// and closing the document releases all of them.
#include "tests/document/movie_document_test_support.h"

#include "document/media_attributes.h"
#include "inspectors/movie_info.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"
#include "tests/platform/mvkit/fixtures.h"

using namespace movara::test;
using namespace movara::test::document;

namespace {

#define REQUIRE_FIXTURE(f)                                                                                   \
    auto f##Path = fixturePath(MovieFixture::f);                                                             \
    if (f##Path.empty())                                                                                     \
    GTEST_SKIP() << "ffmpeg is needed for the fixture movies"

class MovieDocumentWindowsTest : public DocumentTest { };

TEST_F(MovieDocumentWindowsTest, ClosingReleasesEverythingAndHearsNothingMore)
{
    REQUIRE_FIXTURE(H264AacMov);
    auto doc = MVPMovieDocument::documentWithContentsOfFile(H264AacMovPath.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc);
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    doc->makeWindowControllers();
    doc->showWindows();
    MovieInfo::installDocumentInfoPanelMaker();
    doc->movieInfo()->showHidePanel();
    doc->openMovieProperties();
    ASSERT_TRUE(doc->moviePropertyBrowser()->window()->isVisible());
    doc->enterFullScreenWithSettings(std::nullopt);
    ASSERT_TRUE(doc->isFullScreen());
    EXPECT_FALSE(doc->moviePropertyBrowser()->window()->isVisible()) << "hidden while presenting";
    EXPECT_TRUE(doc->currentWindowController()->window()->isVisible());
    doc->exitFullScreen();
    EXPECT_TRUE(doc->moviePropertyBrowser()->window()->isVisible()) << "back after presenting";
    doc->enterFullScreenWithSettings(std::nullopt);
    ASSERT_TRUE(doc->isFullScreen());
    doc->movie()->setRate(1);
    ASSERT_TRUE(doc->hasAttributeTimer());

    auto willClose = count(MVPMovieDocumentWillCloseNotification, doc.get());
    auto attributes = count(kMVPMediaAttributesHaveChangedNotification, doc.get());
    std::weak_ptr<MVPMovieDocument> weakDoc = doc;
    std::weak_ptr<MVMovie> weakMovie = doc->movie();
    std::weak_ptr<HXWindow> weakWindow = doc->movieWindow();
    auto movie = doc->movie();

    doc->close();
    EXPECT_EQ(*willClose, 1);
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_FALSE(doc->hasAttributeTimer());
    EXPECT_FALSE(movie->isPlaying());
    EXPECT_TRUE(HXDocumentController::sharedDocumentController()->documents().empty());

    int before = *attributes;
    movie->setCurrentTime(MVMakeTime(600, 600));
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVMovieEditedNotification, movie));
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVPTimeCodeModeDidChange, nullptr, { { MVPLCDTimeModeKey, int64_t(2) } }));
    EXPECT_EQ(*attributes, before) << "a closed document hears nothing";

    doc.reset();
    EXPECT_TRUE(weakDoc.expired());
    movie.reset();
    EXPECT_TRUE(weakMovie.expired());
    EXPECT_TRUE(weakWindow.expired());
}

} // namespace
