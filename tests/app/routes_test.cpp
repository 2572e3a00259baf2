// (Named to sort after preferences_test.cpp: that test wants to be the first to make the shared preferences.)
#include "app_test_fixtures.h"

#include "app/open_url_panel.h"
#include "app/request_server.h"
#include "document/composition_document.h"
#include "core/movie_error.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/scripting_command.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/control.h"

#include <gtest/gtest.h>

namespace {

using namespace movara::apptest;
using movara::test::TempDir;
using movara::test::writeFile;

class OpenRoutesTest : public PlayerTest {
protected:
    std::string currentMovieFile()
    {
        auto current = delegate->currentMovieDocumentExcludingContentGuide();
        return current && current->movie()
            ? std::filesystem::path(current->movie()->fileName()).filename().string()
            : std::string();
    }
    TempDir dir;
};

// Dropping several files: replace or new players, by the preference and the menu's new-player flag.
struct DropCase {
    const char* name;
    bool newPlayer;
    std::vector<std::string> expected; // movie files of the open documents, in the controller's order
};

TEST_F(OpenRoutesTest, SeveralFilesReplaceTheFrontPlayerOrOpenNewOnes)
{
    const DropCase cases[] = {
        { "replace the first", false, { "b.mov", "c.mov", "d.mov" } },
        { "all in new players", true, { "a.mov", "b.mov", "c.mov", "d.mov" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        outside.idleCalls = 0;
        delegate->openFiles({ movie("a.mov") }, true);
        ASSERT_EQ(currentMovieFile(), "a.mov");
        delegate->openFiles({ movie("b.mov"), movie("c.mov"), movie("d.mov") }, c.newPlayer);
        EXPECT_EQ(movieFiles(), c.expected);
        EXPECT_EQ(outside.idleCalls, 4); // after every path
        EXPECT_TRUE(outside.reportedErrors.empty());
        TearDown();
        SetUp();
    }
}

TEST_F(OpenRoutesTest, ThePreferenceChoosesForFilesFromOutside)
{
    delegate->openFiles({ movie("a.mov") }, true);
    setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, false);
    delegate->applicationOpenFiles(HXApp(), { movie("b.mov") });
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "b.mov" }));
    setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, true);
    delegate->applicationOpenFiles(HXApp(), { movie("c.mov") });
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "b.mov", "c.mov" }));
}

TEST_F(OpenRoutesTest, AnEditedPlayerIsAskedBeforeItsMovieIsReplaced)
{
    delegate->openFiles({ movie("a.mov") }, true);
    documents().at(0)->updateChangeCount(HXChangeDone);
    int asked = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        ++asked;
        HXRunLoop::main().perform([&alert] { alert.buttons().at(1)->performClick(); }); // Cancel
    });
    delegate->openFiles({ movie("b.mov") }, false);
    for (int i = 0; i < 10; ++i)
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
    HXAlert::setAlertDidAppearHandler(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "a.mov" }));
}

TEST_F(OpenRoutesTest, TheFeaturedMovieIsNeverReplaced)
{
    delegate->openReelspotMovie(false);
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_EQ(delegate->currentMovieDocumentExcludingContentGuide(), nullptr);
    delegate->openFiles({ movie("a.mov") }, false);
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "featured.mov", "a.mov" }));
    EXPECT_EQ(currentMovieFile(), "a.mov");
}

TEST_F(OpenRoutesTest, AnOpenFileOrReferenceOpensNothingNew)
{
    delegate->openFiles({ movie("a.mov") }, true);
    EXPECT_TRUE(delegate->createMovieDocumentWithFile(movie("a.mov"), true));
    // The same file by another spelling of its path.
    EXPECT_TRUE(delegate->createMovieDocumentWithFile(moviesFolder().string() + "/./a.mov", true));
    EXPECT_TRUE(
        delegate->createMovieDocumentWithDataRef(documents().at(0)->movie()->initialDataReference(), true));
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_FALSE(delegate->createMovieDocumentWithFile("", true));
    EXPECT_FALSE(delegate->createMovieDocumentWithDataRef(MVDataReference(), true));
}

TEST_F(OpenRoutesTest, ExportSessionsGoToTheJobQueue)
{
    auto good = dir / "job.exportSession";
    HXPropertyList::Dictionary params { { "MVExpType", HXPropertyList(std::string("Flatten")) },
        { "description", HXPropertyList(std::string("Exporting")) } };
    ASSERT_TRUE(HXPropertyList(params).writeToFile(good.string()));
    delegate->openFiles({ good.string() }, false);
    ASSERT_EQ(outside.queuedSessions.size(), 1u);
    EXPECT_EQ(outside.queuedSessions[0], HXPropertyList(params));
    EXPECT_TRUE(documents().empty());
    EXPECT_EQ(outside.idleCalls, 1);
}

TEST_F(OpenRoutesTest, BrokenExportSessionsAreReportedAndNeverQueued)
{
    struct Case {
        const char* name;
        std::string bytes; // empty name: the file is missing
    };
    const Case cases[] = {
        { "missing", "" },
        { "truncated", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>MVExpType</key>" },
        { "garbage", std::string("\0\1\2 not a property list", 24) },
        { "an array", HXPropertyList(HXPropertyList::Array { HXPropertyList(1) }).toXML() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        outside.reportedErrors.clear();
        auto path = dir / (std::string(c.name) + ".exportSession");
        if (!c.bytes.empty())
            writeFile(path, c.bytes);
        // A later file of the same request is not opened after the failure.
        delegate->openFiles({ path.string(), movie("a.mov") }, true);
        EXPECT_TRUE(outside.queuedSessions.empty());
        ASSERT_EQ(outside.reportedErrors.size(), 1u);
        EXPECT_EQ(outside.reportedErrors[0].domain(), MVPMovieErrorDomain);
        EXPECT_EQ(outside.reportedErrors[0].code(), MVPMovieErrorCouldNotOpenMovie);
        EXPECT_TRUE(documents().empty());
    }
}

TEST_F(OpenRoutesTest, AFailedFileStopsTheRequest)
{
    auto broken = dir / "broken.mov";
    writeFile(broken, "this is no movie");
    delegate->openFiles({ movie("a.mov"), broken.string(), movie("b.mov") }, true);
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "a.mov" }));
    ASSERT_EQ(outside.reportedErrors.size(), 1u);
    EXPECT_EQ(outside.reportedErrors[0].code(), MVPMovieErrorCouldNotOpenMovie);
}

TEST_F(OpenRoutesTest, AFailureDuringAScriptBecomesTheScriptsError)
{
    auto broken = dir / "broken.mov";
    writeFile(broken, "this is no movie");
    HXScriptCommand command("open");
    {
        HXScriptCommand::CurrentScope scope(command);
        delegate->openFiles({ movie("a.mov"), broken.string(), movie("b.mov") }, true);
    }
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "a.mov" }));
    EXPECT_TRUE(outside.reportedErrors.empty()); // no alert
    EXPECT_TRUE(command.failed());
    EXPECT_FALSE(command.scriptErrorString().empty());
    EXPECT_EQ(HXScriptCommand::currentCommand(), nullptr);
}

TEST_F(OpenRoutesTest, AnUnknownExtensionIsTriedAsAMovie)
{
    auto odd = dir / "clip.strange";
    std::filesystem::copy_file(movie("a.mov"), odd);
    delegate->openFiles({ odd.string() }, true);
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_EQ(documents()[0]->fileType(), MVPAnythingDocumentType);
    EXPECT_TRUE(outside.reportedErrors.empty());

    auto junk = dir / "notes.strange";
    writeFile(junk, "plain text");
    delegate->openFiles({ junk.string() }, true);
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_EQ(outside.reportedErrors.size(), 1u);
}

TEST_F(OpenRoutesTest, FeaturedServerIsRecognisedByHostOnly)
{
    struct Case {
        const char* url;
        bool featured;
    };
    const Case cases[] = {
        { "http://featured.movara.zantrel.com/trailer.mov", true },
        { "https://FEATURED.movara.zantrel.com:8080/a/b.mov#t=3", true },
        { "http://example.com/watch?from=featured.movara.zantrel.com", false },
        { "http://featured.movara.zantrel.com.example.com/x.mov", false },
        { "http://example.com/featured.movara.zantrel.com/x.mov", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        auto url = HXURL::URLWithString(c.url);
        ASSERT_TRUE(url);
        EXPECT_EQ(MVPApplicationDelegate::isFeaturedMovieURL(*url), c.featured);
    }
}

TEST_F(OpenRoutesTest, DocumentClassComesFromTheType)
{
    struct Case {
        const char* url;
        MVPApplicationDelegate::DocumentClass expected;
    };
    using DC = MVPApplicationDelegate::DocumentClass;
    const Case cases[] = {
        { "file:///movies/a.mov", DC::Movie },
        { "file:///movies/a.MP4", DC::Movie },
        { "http://example.com/stream.m4v?x=1", DC::Movie },
        { "file:///movies/notes.txt", DC::None },
        { "file:///movies/dusk.vcomp", DC::Composition },
        // Locations whose names say nothing are asked of the media layer, which knows its protocols.
        { "http://example.com/page", DC::Movie },
        { "rtsp://example.com/live", DC::Movie },
        { "rtp://127.0.0.1:5004", DC::Movie },
        { "http://example.com/show/index.m3u8", DC::Movie },
        { "ftp://example.com/a", DC::None },
        { "mailto:someone@example.com", DC::None },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(delegate->documentClassForURL(*HXURL::URLWithString(c.url)), c.expected);
    }
    EXPECT_FALSE(delegate->createDocumentWithFile((dir / "notes.txt").string(), true));
    EXPECT_TRUE(delegate->createDocumentWithFile(movie("a.mov"), true));
    EXPECT_EQ(documents().size(), 1u);
}

TEST_F(OpenRoutesTest, ALocationTheMediaLayerRefusesIsReportedWithTheReason)
{
    auto panel = OpenURLPanel::openURLPanelWithUserDefaultsKey("MVPRoutesTestOpenURLPanel");
    panel->beginSheetWithWindow(nullptr, [](OpenURLPanel&, long) {});
    panel->setURLString("ftp://example.com/a");
    outside.reportedErrors.clear();
    delegate->openURLPanelDidEnd(*panel, 1, true);
    ASSERT_EQ(outside.reportedErrors.size(), 1u);
    EXPECT_EQ(outside.reportedErrors[0].code(), MVPMovieErrorCouldNotOpenMovie);
    const std::string reason = outside.reportedErrors[0].localizedRecoverySuggestion();
    EXPECT_NE(reason.find("ftp"), std::string::npos) << reason;
    EXPECT_NE(reason.find("rtsp"), std::string::npos) << "says what plays: " << reason;
    EXPECT_TRUE(documents().empty());
}

TEST_F(OpenRoutesTest, ACompositionGetsItsOwnDocumentAndNeverReplacesThePlayer)
{
    delegate->openFiles({ movie("a.mov") }, true);
    ASSERT_EQ(documents().size(), 1u);
    auto composition = dir / "dusk.vcomp";
    writeFile(composition, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>name</key><string>Dusk</string>
  <key>size</key><array><integer>64</integer><integer>48</integer></array>
  <key>layers</key><array>
    <dict><key>type</key><string>color</string><key>color</key><array><real>1</real><real>0.5</real><real>0</real></array></dict>
  </array>
</dict></plist>)");
    // Not a new-player request: a movie would replace the front player's; a composition opens beside it.
    auto all = [] { return HXDocumentController::sharedDocumentController()->documents(); };
    delegate->openFiles({ composition.string() }, false);
    EXPECT_TRUE(outside.reportedErrors.empty());
    ASSERT_EQ(all().size(), 2u);
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_EQ(currentMovieFile(), "a.mov");
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPVitrelCompDocument>(all()[1]));
    // Already open: nothing new.
    EXPECT_TRUE(delegate->createDocumentWithFile(composition.string(), true));
    EXPECT_EQ(all().size(), 2u);

    auto broken = dir / "broken.vcomp";
    writeFile(broken, "no composition");
    delegate->openFiles({ broken.string() }, false);
    EXPECT_EQ(all().size(), 2u);
    ASSERT_EQ(outside.reportedErrors.size(), 1u);
    EXPECT_EQ(outside.reportedErrors[0].code(), MVPMovieErrorCouldNotOpenMovie);
    EXPECT_EQ(currentMovieFile(), "a.mov");
}

TEST_F(OpenRoutesTest, AnOpenURLComesForwardWithOrWithoutFragment)
{
    auto url = HXURL::fileURLWithPath(movie("a.mov"));
    ASSERT_TRUE(delegate->createMovieDocumentWithURL(url, true));
    ASSERT_EQ(documents().size(), 1u);
    auto withFragment = HXURL::URLWithString(url.absoluteString() + "#t=1");
    ASSERT_TRUE(withFragment);
    EXPECT_TRUE(delegate->urlExists(*withFragment));
    EXPECT_TRUE(delegate->createMovieDocumentWithURL(*withFragment, true));
    EXPECT_EQ(documents().size(), 1u);
    EXPECT_FALSE(delegate->urlExists(HXURL::fileURLWithPath(movie("b.mov"))));
}

TEST_F(OpenRoutesTest, FilesDroppedOnAWindowFollowTheFileRoute)
{
    delegate->openFiles({ movie("a.mov") }, true);
    setPreference(kGeneralPreferenceOpenMoviesInNewPlayers, false);
    auto window = HXApp().mainWindow();
    ASSERT_NE(window, nullptr);
    HXApp().handleFileDrop(window, { 5, 5 }, { movie("b.mov"), movie("c.mov") });
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "b.mov", "c.mov" }));
}

TEST_F(OpenRoutesTest, RequestsFromOtherProgramsAreChecked)
{
    MVPRequestServer server;
    MVPPlayerProgram::installRequestHandlers(server, delegate);
    auto ask
        = [&](HXPropertyList::Dictionary request) { return server.replyToRequest(HXPropertyList(request)); };
    using HP = HXPropertyList;
    struct Case {
        const char* name;
        HXPropertyList::Dictionary request;
        bool isError;
    };
    const Case cases[] = {
        { "open with a number",
            { { "command", HP("open") }, { "items", HP(HXPropertyList::Array { HP(3) }) } }, true },
        { "open with an empty text",
            { { "command", HP("open") }, { "items", HP(HXPropertyList::Array { HP("") }) } }, true },
        { "open with nothing", { { "command", HP("open") } }, false },
        { "an alert when none is shown", { { "command", HP("answerAlert") }, { "button", HP("OK") } }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ask(c.request).contains(MVPRequestErrorKey), c.isError);
    }

    // An accepted open happens on the next turn of the main loop, with the given player choice.
    delegate->openFiles({ movie("a.mov") }, true);
    auto reply = ask({ { "command", HP("open") },
        { "items", HP(HXPropertyList::Array { HP(movie("b.mov")) }) }, { "newPlayer", HP(false) } });
    EXPECT_FALSE(reply.contains(MVPRequestErrorKey));
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "a.mov" }));
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0);
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "b.mov" }));
    auto listed = ask({ { "command", HP("documents") } })["documents"];
    ASSERT_EQ(listed.count(), 1u);
    EXPECT_EQ(std::filesystem::path(listed[size_t(0)]["movieFileName"].stringValue()).filename(), "b.mov");
}

TEST_F(OpenRoutesTest, CommandLineItemsSplitIntoPathsAndURLs)
{
    auto fileURL = HXURL::fileURLWithPath(movie("b.mov")).absoluteString();
    delegate->openItems({ movie("a.mov"), fileURL }, true);
    EXPECT_EQ(movieFiles(), (std::vector<std::string> { "a.mov", "b.mov" }));
}

} // namespace
