// (Named to sort after preferences_test.cpp: that test wants to be the first to make the shared preferences.)
#include "app_test_fixtures.h"

#include "app/document_controller.h"
#include "app/main_menu.h"
#include "platform/basekit/notification_center.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/basekit/uncaught_exception.h"
#include "platform/basekit/user_defaults.h"
#include "platform/basekit/workspace.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/control.h"
#include "platform/winkit/menu.h"
#include "recording/capture_document.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

namespace {

using namespace movara::apptest;

class ApplicationDelegateTest : public PlayerTest {
protected:
    void launch()
    {
        HXApp().setMainMenu(MVPMainMenu::build());
        HXApp().finishLaunching();
    }
};

struct UntitledCase {
    const char* name;
    const char* emptyWindowKey; // "MVPlayerLaunchWithEmptyWindow"
    const char* reelspotKey; // "MVPlayerReelspot"
    bool preference; // "GeneralPreferenceShowReelspotMovieAutomatically"
    bool shouldOpen;
    bool featuredOpens;
    bool untitledOpens = false; // an empty movie window (what "MVPlayerLaunchWithEmptyWindow" asks for)
};

TEST_F(ApplicationDelegateTest, WhatOpensWithNothingToOpen)
{
    const UntitledCase cases[] = {
        { "defaults", nullptr, nullptr, true, true, true },
        { "preference off", nullptr, nullptr, false, false, false },
        { "empty window wins over everything", "enable", "enable", true, true, false, true },
        { "empty window with the preference off", "enable", nullptr, false, true, false, true },
        { "featured movie disabled", nullptr, "disable", true, false, false },
        { "featured movie key enabled, preference off", nullptr, "enable", false, false, false },
        { "empty window key disabled", "disable", nullptr, true, true, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        outside.mediaKeys.clear();
        if (c.emptyWindowKey)
            outside.mediaKeys["MVPlayerLaunchWithEmptyWindow"] = c.emptyWindowKey;
        if (c.reelspotKey)
            outside.mediaKeys["MVPlayerReelspot"] = c.reelspotKey;
        setPreference(kGeneralPreferenceShowReelspotMovieAutomatically, c.preference);

        bool should = delegate->applicationShouldOpenUntitledFile(HXApp());
        EXPECT_EQ(should, c.shouldOpen);
        bool opened = should && delegate->applicationOpenUntitledFile(HXApp());
        EXPECT_EQ(opened, c.featuredOpens || c.untitledOpens);
        auto docs = documents();
        ASSERT_EQ(docs.size(), c.featuredOpens || c.untitledOpens ? 1u : 0u);
        if (!docs.empty()) {
            EXPECT_EQ(docs[0]->isReelspot(), c.featuredOpens);
            EXPECT_EQ(docs[0]->fileType(), c.featuredOpens ? MVPAnythingDocumentType : "Movie-Movara");
            docs[0]->close();
        }
    }
}

TEST_F(ApplicationDelegateTest, SuppressionCoversExactlyOneFeaturedRequest)
{
    delegate->setSuppressReelspot(true);
    delegate->openReelspotMovie(false);
    EXPECT_TRUE(documents().empty());
    EXPECT_FALSE(delegate->suppressReelspot());
    delegate->openReelspotMovie(false);
    ASSERT_EQ(documents().size(), 1u);
    EXPECT_TRUE(documents()[0]->isReelspot());
}

TEST_F(ApplicationDelegateTest, LaunchRequestCarriesTheFeaturedMovieFlag)
{
    struct Case {
        const char* name;
        HXPropertyList::Dictionary parameters;
        bool suppressed;
    };
    const Case cases[] = {
        { "no flag", {}, false },
        { "flag NO", { { MVPLaunchEventFeaturedMovieKey, HXPropertyList(false) } }, true },
        { "flag YES", { { MVPLaunchEventFeaturedMovieKey, HXPropertyList(true) } }, false },
        { "not a boolean", { { MVPLaunchEventFeaturedMovieKey, HXPropertyList("no") } }, false },
    };
    MVPMovieDocumentController controller;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        delegate->setSuppressReelspot(false);
        static_cast<HXDocumentController&>(controller).autoreopenDocuments(c.parameters);
        EXPECT_EQ(delegate->suppressReelspot(), c.suppressed);
    }
}

TEST_F(ApplicationDelegateTest, MissingFeaturedResourceOpensNothingAndSaysNothing)
{
    delegate->openReelspotMovie(true); // only "tvbutton" exists in this bundle
    EXPECT_TRUE(documents().empty());
    EXPECT_TRUE(outside.reportedErrors.empty());
}

TEST_F(ApplicationDelegateTest, ProcessPropertiesAreSetWhileLaunching)
{
    HXUserDefaults::standardUserDefaults().setBool(false, MVPUseForkedDecoderKey);
    launch();
    EXPECT_EQ(outside.processProperties,
        (std::vector<std::string> { "miss=1", "eflc=1", "f264=0", "miss=1", "rfst=1" }));
    HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPUseForkedDecoderKey);
    EXPECT_TRUE(HXUserDefaults::standardUserDefaults().boolForKey(MVPUseForkedDecoderKey)); // registered YES
}

TEST_F(ApplicationDelegateTest, PanelsOpenAtQuitOpenAgainAtLaunch)
{
    struct Case {
        bool inspector;
        bool avControls;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        { false, false, {} },
        { true, false, { "inspector" } },
        { false, true, { "avControls" } },
        { true, true, { "inspector", "avControls" } },
    };
    auto& defaults = HXUserDefaults::standardUserDefaults();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.inspector ? "inspector " : "") + (c.avControls ? "A/V controls" : ""));
        defaults.setBool(c.inspector, MVPMovieInspectorShowPanelKey);
        defaults.setBool(c.avControls, MVPAVControlsShowPanelKey);
        outside.panelsShown.clear();
        delegate->applicationDidFinishLaunching(HXApp());
        EXPECT_EQ(outside.panelsShown, c.shown);
    }
    defaults.removeObjectForKey(MVPMovieInspectorShowPanelKey);
    defaults.removeObjectForKey(MVPAVControlsShowPanelKey);
}

TEST_F(ApplicationDelegateTest, ExportModalItemFollowsItsMediaKey)
{
    outside.mediaKeys["MVPlayerExportModal"] = "enable";
    launch();
    auto file = HXApp().mainMenu()->itemAtIndex(MVPMainMenu::kFileMenuIndex)->submenu();
    auto item = file->itemWithTitle("Export Modal\u2026");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->action(), HXSelector("exportClassic:"));
    EXPECT_EQ(item->keyEquivalent(), "e");
}

TEST_F(ApplicationDelegateTest, KeyEventsAreAnnounced)
{
    std::vector<std::string> seen;
    auto token = HXNotificationCenter::defaultCenter().addObserver("", nullptr, [&](const HXNotification& n) {
        if (n.name() == MVPKeyDownEventNotification || n.name() == MVPKeyUpNotification)
            seen.push_back(n.name() + ":" + static_cast<const HXEvent*>(n.object())->characters());
    });
    auto window = std::make_shared<HXWindow>(HXRect { { 10, 10 }, { 100, 100 } }, HXTitledWindowMask);
    HXHeadlessWindowServer::postKey(window, "a");
    HXHeadlessWindowServer::postKey(window, "a", 0, HXKeyCodeUnknown, HXKeyUp);
    HXApp().postEvent(HXEvent::otherEvent(HXApplicationDefined, {}, 0, 0, 0, 0, 0, 0), false);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(HXApp().nextEventMatchingMask(HXAnyEventMask, 0, HXDefaultRunLoopMode, true));
    HXNotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(seen, (std::vector<std::string> { "KeyDownEventNotification:a", "KeyUpNotification:a" }));
}

// Sound follows focus: which movies are muted after the application changes focus.
struct MuteCase {
    const char* name;
    bool active;
    bool background;
    bool frontOnly;
    bool frontMuted;
    bool otherMuted;
};

TEST_F(ApplicationDelegateTest, SoundFollowsFocus)
{
    launch();
    delegate->openFiles({ movie("a.mov"), movie("b.mov") }, true);
    auto docs = documents();
    ASSERT_EQ(docs.size(), 2u);
    auto front = std::dynamic_pointer_cast<MVPMovieDocument>(
        HXDocumentController::sharedDocumentController()->currentDocument());
    ASSERT_NE(front, nullptr);
    auto other = docs[0] == front ? docs[1] : docs[0];

    const MuteCase cases[] = {
        { "front, all players", true, false, false, false, false },
        { "front, front player only", true, false, true, false, true },
        { "background without background sound", false, false, false, true, true },
        { "background with background sound, all players", false, true, false, false, false },
        { "background with background sound, front only", false, true, true, false, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setPreference(kGeneralPreferencePlaySoundWhenAppInBackground, c.background);
        setPreference(kGeneralPreferencePlaySoundInFrontPlayerOnly, c.frontOnly);
        // A preference change of a sound key applies the rule whatever the focus.
        HXNotificationCenter::defaultCenter().postNotificationName(kPreferenceChangedNotification,
            &MVPPreferences::preferences(),
            { { kPreferenceChangedUserInfo, HXPropertyList(kGeneralPreferencePlaySoundInFrontPlayerOnly) } });
        if (c.active)
            HXApp().activateIgnoringOtherApps(true);
        else
            HXApp().deactivate();
        EXPECT_EQ(front->movie()->isMuted(), c.frontMuted);
        EXPECT_EQ(other->movie()->isMuted(), c.otherMuted);
    }
}

TEST_F(ApplicationDelegateTest, OtherPreferenceChangesLeaveMutingAlone)
{
    launch();
    delegate->openFiles({ movie("a.mov") }, true);
    auto doc = documents().at(0);
    doc->movie()->setMuted(true);
    setPreference(kGeneralPreferencePlaySoundWhenAppInBackground, true);
    HXNotificationCenter::defaultCenter().postNotificationName(kPreferenceChangedNotification,
        &MVPPreferences::preferences(),
        { { kPreferenceChangedUserInfo, HXPropertyList(kGeneralPreferenceShowEqualizer) } });
    EXPECT_TRUE(doc->movie()->isMuted());
    HXNotificationCenter::defaultCenter().postNotificationName(kPreferenceChangedNotification,
        &MVPPreferences::preferences(),
        { { kPreferenceChangedUserInfo, HXPropertyList(kGeneralPreferencePlaySoundWhenAppInBackground) } });
    EXPECT_FALSE(doc->movie()->isMuted());
}

TEST_F(ApplicationDelegateTest, SessionSwitchPausesOnlyWhenAsked)
{
    launch();
    delegate->openFiles({ movie("a.mov") }, true);
    auto doc = documents().at(0);
    for (bool pause : { false, true }) {
        SCOPED_TRACE(pause ? "pausing" : "not pausing");
        setPreference(kGeneralPreferencePauseMoviesWhenLoggedOut, pause);
        doc->movie()->setMuted(false);
        HXWorkspace::sharedWorkspace().postNotificationName(HXWorkspaceSessionDidResignActiveNotification);
        EXPECT_EQ(doc->movie()->isMuted(), pause);
        HXWorkspace::sharedWorkspace().postNotificationName(HXWorkspaceSessionDidBecomeActiveNotification);
        EXPECT_FALSE(doc->movie()->isMuted());
    }
}

TEST_F(ApplicationDelegateTest, RecordingFlagCountsOpenRecordings)
{
    launch();
    EXPECT_FALSE(delegate->recording());
    auto first = MVPCaptureDocument::initWithTemplateType(0);
    auto second = MVPCaptureDocument::initWithTemplateType(1);
    EXPECT_TRUE(delegate->recording());
    first->close();
    first->close(); // closing twice announces once
    EXPECT_TRUE(delegate->recording());
    second->close();
    EXPECT_FALSE(delegate->recording());
}

TEST_F(ApplicationDelegateTest, ProfessionalApplicationsComeFromTheMediaKeyOnce)
{
    outside.mediaKeys["MVPlayerProAppsAreInstalled"] = "YES";
    EXPECT_TRUE(delegate->proAppsAreInstalled());
    outside.mediaKeys.clear();
    EXPECT_TRUE(delegate->proAppsAreInstalled()); // cached
    delegate->refreshProAppsAreInstalled();
    EXPECT_FALSE(delegate->proAppsAreInstalled());
}

TEST_F(ApplicationDelegateTest, UncaughtExceptionsShowTheirReasonAsItStands)
{
    std::vector<std::string> shown;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        shown.push_back(alert.messageText());
        HXRunLoop::main().perform([&alert] { alert.buttons().at(0)->performClick(); });
    });
    MVPUncaughtExceptionHandler(std::runtime_error("%@ went %d%% wrong"));
    MVPUncaughtExceptionHandler(std::runtime_error(""));
    HXAlert::setAlertDidAppearHandler(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string> { "%@ went %d%% wrong" }));
}

// Once launched, an exception that escapes an event, a timer or a queued call shows its reason and the
// program carries on with what comes next; a quit takes the handler away again.
TEST_F(ApplicationDelegateTest, ExceptionsFromTheEventLoopAreShownAndTheProgramGoesOn)
{
    launch();
    std::vector<std::string> shown;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        shown.push_back(alert.messageText());
        HXRunLoop::main().perform([&alert] { alert.buttons().at(0)->performClick(); });
    });
    std::vector<std::string> ran;
    auto& loop = HXRunLoop::main();
    loop.perform([] { throw std::runtime_error("a queued call failed"); });
    loop.perform([&] { ran.push_back("queued call after it"); });
    auto failing = HXTimer::scheduledTimer(0.01, false, [](HXTimer&) { throw std::logic_error("a timer failed"); });
    loop.performAfterDelay(nullptr, 0.02, [&] { ran.push_back("timer after it"); });
    loop.perform([] { throw 42; }); // no reason: reported, nothing shown
    // (The alerts run modal loops of their own that take their time: the loop runs until all is done.)
    for (int pass = 0; pass < 500 && ran.size() < 2; ++pass)
        ASSERT_NO_THROW(loop.runInMode(HXDefaultRunLoopMode, 0.01, true));
    ASSERT_NO_THROW(loop.runUntilDate(loop.now() + 0.05));
    HXAlert::setAlertDidAppearHandler(nullptr);
    EXPECT_EQ(shown, (std::vector<std::string> { "a queued call failed", "a timer failed" }));
    EXPECT_EQ(ran, (std::vector<std::string> { "queued call after it", "timer after it" }));
    EXPECT_TRUE(HXHasUncaughtExceptionHandler());
    HXApp().setDelegate(nullptr);
    delegate.reset();
    EXPECT_FALSE(HXHasUncaughtExceptionHandler());
}

TEST_F(ApplicationDelegateTest, ReopeningTheApplicationOpensNothing)
{
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(HXApp(), false));
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(HXApp(), true));
}

// Quit with an edited movie: the document is asked first, and the answer decides.
class QuitTest : public ApplicationDelegateTest {
protected:
    std::shared_ptr<MVPMovieDocument> editedMovie(const std::string& path)
    {
        std::filesystem::copy_file(movie("a.mov"), path, std::filesystem::copy_options::overwrite_existing);
        delegate->openFiles({ path }, true);
        auto doc = documents().at(0);
        doc->updateChangeCount(HXChangeDone);
        return doc;
    }
    void answerAlertsWith(const std::string& button)
    {
        HXAlert::setAlertDidAppearHandler([this, button](HXAlert& alert) {
            alerts.push_back(alert.messageText());
            auto chosen = alert.buttons().empty() ? nullptr : alert.buttons().front();
            for (auto& b : alert.buttons()) {
                if (b->title() == button)
                    chosen = b;
            }
            // Any other alert (an error) is dismissed with its first button.
            if (chosen)
                HXRunLoop::main().perform([chosen] { chosen->performClick(); });
        });
    }
    void TearDown() override
    {
        HXAlert::setAlertDidAppearHandler(nullptr);
        ApplicationDelegateTest::TearDown();
    }
    void runUntilQuiet()
    {
        for (int i = 0; i < 20; ++i)
            HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.01);
    }
    movara::test::TempDir dir;
    std::vector<std::string> alerts;
};

TEST_F(QuitTest, CancelKeepsTheProgramRunning)
{
    launch();
    auto doc = editedMovie((dir / "kept.mov").string());
    answerAlertsWith("Cancel");
    HXApp().terminate();
    runUntilQuiet();
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_FALSE(HXApp().didTerminate());
    EXPECT_FALSE(HXApp().isTerminating());
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(documents().size(), 1u);
}

TEST_F(QuitTest, SaveWritesAnEditedMovieThenQuits)
{
    launch();
    auto path = (dir / "saved.mov").string();
    auto doc = editedMovie(path);
    std::string before = movara::test::readFile(path);
    answerAlertsWith("Save");
    HXApp().terminate();
    runUntilQuiet();
    EXPECT_EQ(alerts.size(), 1u) << "only the question, no save error";
    EXPECT_TRUE(HXApp().didTerminate());
    EXPECT_FALSE(doc->isDocumentEdited());
    // The movie's file was updated in place: a new header after the old one.
    EXPECT_GT(movara::test::readFile(path).size(), before.size());
}

// A document whose saving is plain: its text into its file.
class TextDocument : public HXDocument {
public:
    std::string text;
    bool writeToURL(const HXURL& url, const std::string&, HXError* error) override
    {
        std::ofstream out(url.path(), std::ios::binary);
        if (!(out << text)) {
            if (error)
                *error
                    = HXError::withDescription(HXBaseKitErrorDomain, HXFileWriteUnknownError, "cannot write");
            return false;
        }
        return true;
    }
};

std::shared_ptr<TextDocument> editedText(const std::string& path)
{
    auto doc = std::make_shared<TextDocument>();
    doc->setFileName(path);
    doc->setFileType("Text");
    doc->text = "edited";
    doc->updateChangeCount(HXChangeDone);
    HXDocumentController::sharedDocumentController()->addDocument(doc);
    return doc;
}

TEST_F(QuitTest, SaveWritesTheDocumentThenQuits)
{
    launch();
    std::string path = (dir / "notes.txt").string();
    auto doc = editedText(path);
    answerAlertsWith("Save");
    HXApp().terminate();
    runUntilQuiet();
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(HXApp().didTerminate());
    EXPECT_EQ(movara::test::readFile(path), "edited");
}

TEST_F(QuitTest, ASaveThatFailsKeepsTheProgramAndTheEdit)
{
    launch();
    auto doc = editedText((dir / "no such folder" / "notes.txt").string());
    answerAlertsWith("Save");
    HXApp().terminate();
    runUntilQuiet();
    EXPECT_EQ(alerts.size(), 2u); // the question, then the failure
    EXPECT_FALSE(HXApp().didTerminate());
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(HXDocumentController::sharedDocumentController()->documents().size(), 1u);
}

TEST_F(QuitTest, DontSaveQuitsWithoutWriting)
{
    launch();
    std::string path = (dir / "notes.txt").string();
    editedText(path);
    answerAlertsWith("Don't Save");
    HXApp().terminate();
    runUntilQuiet();
    EXPECT_TRUE(HXApp().didTerminate());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(QuitTest, NothingEditedQuitsWithoutAsking)
{
    launch();
    delegate->openFiles({ movie("a.mov") }, true);
    answerAlertsWith("Cancel");
    HXApp().terminate();
    runUntilQuiet();
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(HXApp().didTerminate());
}

} // namespace
