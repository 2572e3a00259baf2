// A file dropped on a player whose movie is not edited replaces the movie in place, through the
// application's open route; the movies are made with the ffmpeg tool.
#include "tests/document/movie_document_test_support.h"

#include "app/application_delegate.h"
#include "app/player_program.h"
#include "core/movie_error.h"
#include "platform/winkit/control.h"
#include "test_support.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

class ReplaceRouteTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        if (!haveProgram("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is needed to make the movies";
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        MVPPlayerProgram::registerDocumentTypes(*HXDocumentController::sharedDocumentController());
        delegate = std::make_shared<MVPApplicationDelegate>(MVPApplicationDelegate::Environment {});
        app->setDelegate(delegate);
    }

    void TearDown() override
    {
        if (HXDocumentController::hasSharedDocumentController())
            for (auto& doc : std::vector(HXDocumentController::sharedDocumentController()->documents()))
                doc->close();
        app->setDelegate(nullptr);
        delegate.reset();
        DocumentTest::TearDown();
    }

    // A small movie of `size` pictures and a tone.
    std::string movie(const std::string& name, const std::string& size)
    {
        auto path = (dir.path() / name).string();
        auto result = runCommand({ "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
            "testsrc=size=" + size + ":rate=10:duration=0.5", "-f", "lavfi", "-i",
            "sine=frequency=440:duration=0.5", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
            "-shortest", path });
        EXPECT_EQ(result.status, 0) << result.output;
        return path;
    }

    TempDir dir;
    std::shared_ptr<MVPApplicationDelegate> delegate;
};

TEST_F(ReplaceRouteTest, ASecondFileReplacesTheMovieInTheSamePlayer)
{
    auto a = movie("a.mov", "64x48");
    auto b = movie("b.mov", "96x64");
    delegate->openFiles({ a }, true);
    auto documents = MVPApplicationDelegate::movieDocuments();
    ASSERT_EQ(documents.size(), 1u);
    auto doc = documents[0];
    auto window = doc->movieWindow();
    ASSERT_TRUE(window);
    int id = doc->movieID();
    auto setMovie = count(MVPMovieDocumentSetMovieNotification, doc.get());

    delegate->openFiles({ b }, false);
    documents = MVPApplicationDelegate::movieDocuments();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0], doc);
    EXPECT_EQ(doc->movie()->fileName(), b);
    EXPECT_EQ(doc->fileName(), b);
    EXPECT_EQ(doc->movieWindow(), window);
    EXPECT_EQ(doc->naturalSize().width, 96);
    EXPECT_EQ(doc->naturalSize().height, 64);
    EXPECT_NE(doc->movieID(), id);
    EXPECT_GE(*setMovie, 1);
    EXPECT_FALSE(doc->isDocumentEdited());
}

TEST_F(ReplaceRouteTest, AFileThatCannotBeReadLeavesThePlayerAsItWas)
{
    auto a = movie("a.mov", "64x48");
    auto bad = (dir.path() / "bad.mov").string();
    writeFile(bad, std::string("\0\0\0\x10moovjunkjunk", 16));
    delegate->openFiles({ a }, true);
    auto doc = MVPApplicationDelegate::movieDocuments().at(0);
    auto movie = doc->movie();
    std::vector<std::string> alerts;
    HXAlert::setAlertDidAppearHandler([&alerts](HXAlert& alert) {
        alerts.push_back(alert.messageText());
        auto button = alert.buttons().at(0);
        HXRunLoop::main().perform([button] { button->performClick(); });
    });
    delegate->openFiles({ bad }, false);
    runUntil([&] { return !alerts.empty(); }, 5);
    EXPECT_EQ(MVPApplicationDelegate::movieDocuments().size(), 1u);
    EXPECT_EQ(doc->movie(), movie);
    EXPECT_EQ(doc->fileName(), a);
    ASSERT_EQ(alerts.size(), 1u);
    HXError expected = MVPMovieErrorWithCode(MVPMovieErrorCouldNotOpenMovie, nullptr, HXError());
    EXPECT_EQ(alerts[0], HXAlert::alertWithError(expected)->messageText());
}

} // namespace

namespace {

TEST_F(ReplaceRouteTest, TheMovieAsksForFullScreenAndAReplaceEndsIt)
{
    auto a = movie("a.mov", "64x48");
    auto b = movie("b.mov", "96x64");
    delegate->openFiles({ a }, true);
    auto doc = MVPApplicationDelegate::movieDocuments().at(0);
    auto post = [&doc](const char* name) {
        HXNotificationCenter::defaultCenter().postNotification(HXNotification(name, doc->movie().get()));
    };
    post(MVMovieEnterFullScreenRequestNotification);
    ASSERT_TRUE(doc->isFullScreen());
    post(MVMovieExitFullScreenRequestNotification);
    EXPECT_FALSE(doc->isFullScreen());

    // The presentation belongs to the movie that goes: it ends before the new movie comes in.
    post(MVMovieEnterFullScreenRequestNotification);
    ASSERT_TRUE(doc->isFullScreen());
    delegate->openFiles({ b }, false);
    EXPECT_EQ(doc->movie()->fileName(), b);
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_EQ(doc->currentWindowController(), doc->playerWindowController());
    EXPECT_TRUE(doc->movieWindow()->isVisible());
}

} // namespace
