// How the document follows links inside movies, opening players through the application, and the
// network-diagnostics sheet.
#include "tests/document/movie_document_test_support.h"
#include "tests/document/movie_links_test_support.h"

#include "app/application_delegate.h"
#include "app/player_program.h"
#include "platform/mvkit/movie_delegate.h"
#include "platform/winkit/control.h"
#include "test_support.h"

#include <filesystem>

using namespace movara::test;
using namespace movara::test::document;

namespace {

class LinkTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        HXDocumentController::setSharedDocumentController(std::make_shared<HXDocumentController>());
        MVPPlayerProgram::registerDocumentTypes(*HXDocumentController::sharedDocumentController());
        delegate = std::make_shared<MVPApplicationDelegate>(MVPApplicationDelegate::Environment {});
        app->setDelegate(delegate);
    }

    void TearDown() override
    {
        for (auto& doc : std::vector(HXDocumentController::sharedDocumentController()->documents()))
            doc->close();
        app->setDelegate(nullptr);
        delegate.reset();
        MVPMovieDocument::netDiagnosticFunctions() = MVPMovieDocument::platformNetDiagnosticFunctions();
        DocumentTest::TearDown();
    }

    // A movie file (made by our writer) whose href track shows `href` for its first second.
    std::string movieFile(const std::string& name, const std::string& href = "<other.mov>")
    {
        auto path = (dir.path() / name).string();
        HXError error;
        EXPECT_TRUE(hrefMovie({ href })->writeToFile(path, {}, &error)) << error.localizedDescription();
        return path;
    }

    // An open player (in the document controller, with its window) showing `path`.
    std::shared_ptr<MVPMovieDocument> openPlayer(const std::string& path, bool featured = false)
    {
        HXError error;
        auto doc
            = MVPMovieDocument::documentWithContentsOfFile(path, MVPAnythingDocumentType, featured, &error);
        EXPECT_TRUE(doc) << error.localizedDescription();
        if (doc) {
            HXDocumentController::sharedDocumentController()->addDocument(doc);
            doc->makeWindowControllers();
            doc->showWindows();
        }
        return doc;
    }

    size_t documentCount() { return HXDocumentController::sharedDocumentController()->documents().size(); }

    HXURL fileURL(const std::string& path, const std::string& fragment = {})
    {
        std::string text = HXURL::fileURLWithPath(path).absoluteString();
        if (!fragment.empty())
            text += "#" + fragment;
        return *HXURL::URLWithString(text);
    }

    static void spin(double seconds)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01, true);
    }

    TempDir dir;
    std::shared_ptr<MVPApplicationDelegate> delegate;
};

TEST_F(LinkTest, LinksGoToANewPlayerOrReplaceByTheirTarget)
{
    auto a = movieFile("a.mov");
    auto b = movieFile("b.mov");
    struct Case {
        const char* name;
        bool featured;
        HXURL url;
        bool handled;
        size_t newDocuments;
        bool replacedAtOnce;
        bool replacedLater; // after a tenth of a second
    };
    const Case cases[] = {
        { "inside the movie", false, *HXURL::URLWithString("#chapter2"), false, 0, false, false },
        { "cannot be opened", false, *HXURL::URLWithString("ftp://example.org/b.mov"), false, 0, false,
            false },
        { "unknown target", false, fileURL(b, "elsewhere"), false, 0, false, false },
        { "player target outside the guide", false, fileURL(b, "movaraplayer"), false, 0, false, false },
        { "no target", false, fileURL(b), true, 1, false, false },
        { "blank", false, fileURL(b, "_blank"), true, 1, false, false },
        { "myself", false, fileURL(b, "MySelf"), true, 0, false, true },
        { "blank in the guide", true, fileURL(b, "_blank"), true, 0, true, false },
        { "player target in the guide", true, fileURL(b, "movaraplayer"), true, 0, false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = openPlayer(a, c.featured);
        ASSERT_TRUE(doc);
        size_t before = documentCount();
        EXPECT_EQ(doc->movieLinkToURL(c.url), c.handled);
        EXPECT_EQ(doc->movie()->fileName() == b, c.replacedAtOnce);
        spin(0.25);
        EXPECT_EQ(doc->movie()->fileName() == b, c.replacedAtOnce || c.replacedLater);
        EXPECT_EQ(doc->isReelspot(), c.featured);
        EXPECT_EQ(documentCount() - before, c.newDocuments);
        for (auto& other : std::vector(HXDocumentController::sharedDocumentController()->documents()))
            other->close();
    }
}

TEST_F(LinkTest, AChosenLinkInsideAMovieReplacesItsPlayer)
{
    auto b = movieFile("b.mov");
    auto a = movieFile("a.mov", "<b.mov>T<myself>");
    auto doc = openPlayer(a);
    ASSERT_TRUE(doc);
    int id = doc->movieID();
    EXPECT_TRUE(MVMovieFollowLinkAtTime(*doc->movie(), seconds(0.5)));
    ASSERT_TRUE(runUntil([&] { return doc->movie()->fileName() == b; }, 2));
    EXPECT_EQ(documentCount(), 1u);
    EXPECT_NE(doc->movieID(), id);
    // Past the href sample there is no link.
    EXPECT_FALSE(MVMovieFollowLinkAtTime(*doc->movie(), seconds(5)));
}

// Links that begin with "#" are the movie's own: three of them are requests to the player that shows it,
// which the document answers (close, present full screen, leave it); any other asks nobody.
TEST_F(LinkTest, TheMoviesOwnLinksAreRequestsToItsPlayer)
{
    struct Case {
        const char* href;
        const char* request; // posted by the movie, or none
        bool followed;
        bool closes;
    };
    const Case cases[] = {
        { "<#close>", MVMovieCloseWindowRequestNotification, true, true },
        { "<#FullScreen>", MVMovieEnterFullScreenRequestNotification, true, false },
        { "<#exitfullscreen>", MVMovieExitFullScreenRequestNotification, true, false },
        { "<#chapter2>", nullptr, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.href);
        auto doc = openPlayer(movieFile("own.mov", c.href));
        ASSERT_TRUE(doc);
        std::vector<std::shared_ptr<int>> counts;
        for (const char* name : { MVMovieCloseWindowRequestNotification, MVMovieEnterFullScreenRequestNotification,
                 MVMovieExitFullScreenRequestNotification })
            counts.push_back(count(name, doc->movie().get()));
        size_t before = documentCount();
        EXPECT_EQ(MVMovieFollowLinkAtTime(*doc->movie(), seconds(0.5)), c.followed);
        int posted = 0;
        for (auto& n : counts)
            posted += *n;
        EXPECT_EQ(posted, c.request ? 1 : 0);
        spin(0.1);
        EXPECT_EQ(doc->isClosed(), c.closes);
        EXPECT_EQ(documentCount(), before - (c.closes ? 1 : 0)) << "no other player is opened";
        doc->close();
    }
}

TEST_F(LinkTest, TheDiagnosticsSheetShowsOnceAndDiagnosesOnlyWhereItCan)
{
    // The platform's diagnosis is the desktop's network service; where no bus answers, it tells nothing.
    {
        EnvironmentGuard environment;
        environment.set("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir.path() / "no-bus").string());
        const auto& functions = MVPMovieDocument::netDiagnosticFunctions();
        ASSERT_TRUE(functions.copyNetworkStatus && functions.diagnoseProblemInteractively);
        EXPECT_FALSE(functions.copyNetworkStatus(MVNetDiagnostic(*HXURL::URLWithString("http://127.0.0.1:9/"), {})));
    }
    EXPECT_EQ(
        MVPMovieDocument::netDiagnosticStatusText(-3, "\r\nNo route to host\n\r"), "No route to host (-3)");
    EXPECT_EQ(MVPMovieDocument::netDiagnosticStatusText(0, "\n"), "");

    struct Case {
        const char* name;
        bool platformHasDiagnosis;
        const char* button; // the one chosen
        std::string informative;
        int diagnosed;
    };
    const Case cases[] = {
        { "no diagnosis here", false, "OK", "", 0 },
        { "status, then OK", true, "OK", "Host unreachable (42)", 0 },
        { "status, then diagnose", true, nullptr, "Host unreachable (42)", 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int diagnosed = 0;
        MVPMovieDocument::netDiagnosticFunctions() = {};
        if (c.platformHasDiagnosis) {
            MVPMovieDocument::netDiagnosticFunctions().copyNetworkStatus = [](const MVNetDiagnostic&) {
                return std::make_optional(std::make_pair(42L, std::string("Host unreachable\n")));
            };
            MVPMovieDocument::netDiagnosticFunctions().diagnoseProblemInteractively
                = [&diagnosed](const MVNetDiagnostic&) { ++diagnosed; };
        }
        auto doc = openPlayer(movieFile("a.mov"));
        ASSERT_TRUE(doc);
        std::vector<std::shared_ptr<HXAlert>> shown;
        HXAlert::setAlertDidAppearHandler([&shown](HXAlert& alert) {
            shown.push_back(std::static_pointer_cast<HXAlert>(alert.shared_from_this()));
        });
        auto diagnostic
            = std::make_shared<MVNetDiagnostic>(*HXURL::URLWithString("http://127.0.0.1:9/a.mov"), HXError());
        EXPECT_TRUE(doc->moviePostNetworkDiagnosticUI(diagnostic));
        EXPECT_TRUE(doc->netDiagnosticSheetVisible());
        EXPECT_TRUE(doc->moviePostNetworkDiagnosticUI(diagnostic)); // a second one while it is up: ignored
        EXPECT_TRUE(doc->moviePostNetworkDiagnosticUI(nullptr));
        ASSERT_TRUE(runUntil([&] { return !shown.empty(); }, 2));
        spin(0.05);
        ASSERT_EQ(shown.size(), 1u);
        auto alert = shown[0];
        EXPECT_EQ(alert->informativeText(), c.informative);
        ASSERT_EQ(alert->buttons().size(), 2u);
        EXPECT_EQ(alert->buttons()[1]->isEnabled(), c.platformHasDiagnosis);
        auto button = c.button ? alert->buttons()[0] : alert->buttons()[1];
        button->performClick();
        spin(0.05);
        EXPECT_FALSE(doc->netDiagnosticSheetVisible());
        EXPECT_EQ(diagnosed, c.diagnosed);
        HXAlert::setAlertDidAppearHandler(nullptr);
        doc->close();
    }
}

} // namespace
