// The start-up settings a movie carries (play, present full screen, close or quit when done), the
// preferences that overrule them, and what the document does while the movie plays.
#include "movie_document_test_support.h"

#include "platform/basekit/bundle.h"
#include "platform/basekit/timer.h"
#include "tests/platform/mvkit/fixtures.h"

#include <cmath>

using namespace movara::test;
using namespace movara::test::document;

namespace {

class MovieDocumentStartupTest : public DocumentTest {
protected:
    std::shared_ptr<MVMovie> open(MovieFixture fixture)
    {
        auto path = fixturePath(fixture);
        return path.empty() ? nullptr : MVMovie::movieWithFile(path.string(), nullptr);
    }

    // A shown document around `movie` (showing it applies the start-up settings of a loaded movie).
    std::shared_ptr<MVPMovieDocument> show(const std::shared_ptr<MVMovie>& movie)
    {
        auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
        doc->makeWindowControllers();
        doc->showWindows();
        return doc;
    }
};

TEST_F(MovieDocumentStartupTest, PlayAndPresentFollowTheMovieAndThePreferences)
{
    struct Case {
        const char* name;
        bool video;
        int play; // the 'play' byte, −1 for none
        bool autoPresent; // 'ptv ' byte 7
        bool autoPlayPreference, ignoreAutoPlay, ignoreAutoPresent;
        bool expectPlaying, expectFullScreen;
    };
    const Case cases[] = {
        { "marked to play", true, 1, false, false, false, false, true, false },
        { "marked not to play", true, 0, false, false, false, false, false, false },
        { "unmarked", true, -1, false, false, false, false, false, false },
        { "preference plays every movie", true, 0, false, true, false, false, true, false },
        { "scripts ignore the mark", true, 1, false, false, true, false, false, false },
        { "scripts ignore the preference too", true, -1, false, true, true, false, false, false },
        // Presenting wins over the mark; the presentation then plays the movie itself.
        { "present beats play", true, 1, true, false, false, false, true, true },
        { "nothing to present without video", false, 1, true, false, false, false, true, false },
        { "scripts ignore presenting", true, 1, true, false, false, true, true, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto movie = open(c.video ? MovieFixture::H264AacMov : MovieFixture::PcmWav);
        if (!movie)
            GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
        setPreference("GeneralPreferenceAutoPlayMoviesWhenOpened", c.autoPlayPreference);
        setPreference("ZantrelScriptPreferenceIgnoreAutoPlay", c.ignoreAutoPlay);
        setPreference("ZantrelScriptPreferenceIgnoreAutoPresent", c.ignoreAutoPresent);
        if (c.play >= 0)
            setUserData(*movie, "play", { uint8_t(c.play) });
        if (c.autoPresent)
            setUserData(*movie, "ptv ", { 0, 1, 0, 0, 0, 0, 0, 1 });
        auto doc = show(movie);
        EXPECT_EQ(movie->isPlaying(), c.expectPlaying);
        EXPECT_EQ(doc->isFullScreen(), c.expectFullScreen);
        doc->close();
    }
}

TEST_F(MovieDocumentStartupTest, StoredFullScreenSettingsAreRead)
{
    struct Case {
        const char* name;
        const char* code;
        MVBytes bytes;
        std::function<void(const MVPMovieDocument&)> check;
    };
    const Case cases[] = {
        { "size, slide show, no auto-present", "ptv ", { 0, 2, 0, 0, 0, 0, 1, 0 },
            [](const MVPMovieDocument& d) {
                EXPECT_EQ(d.persistentFullscreenSettingForKey(FullscreenPreferenceSize).integerValue(), 2);
                EXPECT_TRUE(
                    d.persistentFullscreenSettingForKey(FullscreenPreferenceSlideShowMode).boolValue());
                EXPECT_FALSE(
                    d.persistentFullscreenSettingForKey(FullscreenPreferenceAutoPresent).boolValue());
                EXPECT_FALSE(d.persistentFullscreenSettingForKey(FullscreenPreferenceAutoPresent).isNull());
                EXPECT_FALSE(d.goFullScreen());
            } },
        { "colour", "ptvc", { 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00 },
            [](const MVPMovieDocument& d) {
                const auto& color = d.persistentFullscreenSettings().color;
                ASSERT_TRUE(color);
                EXPECT_DOUBLE_EQ(color->redComponent(), 1.0);
                EXPECT_DOUBLE_EQ(color->greenComponent(), 0x8000 / 65535.0);
                EXPECT_DOUBLE_EQ(color->blueComponent(), 0.0);
                EXPECT_DOUBLE_EQ(color->alphaComponent(), 1.0);
            } },
        { "screen by number", "ptvd", { 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0 },
            [](const MVPMovieDocument& d) {
                ASSERT_TRUE(d.persistentFullscreenSettings().screen);
                EXPECT_EQ(d.persistentFullscreenSettings().screen->screenNumber(), 7u);
            } },
        { "unknown number, index 1", "ptvd", { 0, 0, 0, 99, 0, 0, 0, 0, 0, 0, 0, 1 },
            [](const MVPMovieDocument& d) {
                ASSERT_TRUE(d.persistentFullscreenSettings().screen);
                EXPECT_EQ(d.persistentFullscreenSettings().screen->screenNumber(), 7u);
            } },
        { "index equal to the number of screens", "ptvd", { 0, 0, 0, 99, 0, 0, 0, 0, 0, 0, 0, 2 },
            [](const MVPMovieDocument& d) { EXPECT_FALSE(d.persistentFullscreenSettings().screen); } },
        { "negative index", "ptvd", { 0, 0, 0, 99, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF },
            [](const MVPMovieDocument& d) { EXPECT_FALSE(d.persistentFullscreenSettings().screen); } },
        { "too short to read", "ptvd", { 0, 0, 0, 7 },
            [](const MVPMovieDocument& d) { EXPECT_TRUE(d.persistentFullscreenSettings().empty()); } },
        { "capture all displays", "ptva", { 1 },
            [](const MVPMovieDocument& d) {
                EXPECT_TRUE(
                    d.persistentFullscreenSettingForKey(FullscreenPreferenceCaptureAllDisplays).boolValue());
            } },
        { "change resolution", "ptvs", { 3 },
            [](const MVPMovieDocument& d) {
                EXPECT_TRUE(d.persistentFullscreenSettingForKey(FSPresentationChangeResolution).boolValue());
            } },
        { "close when done", "aclo", { 1 },
            [](const MVPMovieDocument& d) {
                EXPECT_TRUE(d.closeWhenDone());
                EXPECT_FALSE(d.quitWhenDone());
            } },
        { "quit when done", "aqui", { 1 }, [](const MVPMovieDocument& d) { EXPECT_TRUE(d.quitWhenDone()); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto movie = MVMovie::movie();
        MVUserDataAddItem(movie->userData(), MVOSTypeForString(c.code), c.bytes);
        auto doc = show(movie);
        c.check(*doc);
        EXPECT_EQ(doc->hadPersistentFullscreenSettings(), !doc->persistentFullscreenSettings().empty());
    }
}

TEST_F(MovieDocumentStartupTest, AutoPresentEntersFullScreenWithTheStoredSettingsAndLeaves)
{
    auto movie = open(MovieFixture::H264AacMov);
    if (!movie)
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    setUserData(*movie, "ptv ", { 0, 1, 0, 0, 0, 0, 0, 1 });
    setUserData(*movie, "ptvd", { 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0 });
    auto doc = show(movie);
    ASSERT_TRUE(doc->isFullScreen());
    auto controller = doc->fsPresentationWindowController();
    ASSERT_TRUE(controller->presentationSettings().screen);
    EXPECT_EQ(controller->presentationSettings().screen->screenNumber(), 7u);
    EXPECT_EQ(controller->presentationSettings().size, 1);
    EXPECT_TRUE(controller->isFullscreen());
    EXPECT_EQ(dynamic_cast<MVPDocumentPresentation*>(doc->currentWindowController().get()), controller.get());

    doc->exitFullScreen();
    EXPECT_FALSE(doc->isFullScreen());
    EXPECT_EQ(doc->currentWindowController(), doc->playerWindowController());
}

TEST_F(MovieDocumentStartupTest, StartupSettingsApplyOncePerDocument)
{
    auto movie = open(MovieFixture::H264AacMov);
    if (!movie)
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    setUserData(*movie, "play", { 1 });
    auto doc = show(movie);
    ASSERT_TRUE(movie->isPlaying());
    movie->stop();
    doc->windowDidBecomeVisible();
    doc->applyStartupAttributesIfNeeded();
    EXPECT_FALSE(movie->isPlaying()) << "applied once";
    EXPECT_FALSE(doc->needsToApplyStartupAttributes());
    // Installing another movie marks its settings to be read, but the document applied its own already.
    doc->setMovie(open(MovieFixture::H264AacMov));
    EXPECT_TRUE(doc->needsToReadStartupAttributes());
    EXPECT_FALSE(doc->needsToApplyStartupAttributes());
}

TEST_F(MovieDocumentStartupTest, StatusReportsSetTheStreamingStatus)
{
    auto movie = MVMovie::movie();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    struct Case {
        const char* name;
        int64_t flags, code;
        std::string text;
        bool playing;
        long expectCode;
        std::string expectMessage;
    };
    const Case cases[] = {
        { "streaming, code 5 is ignored", 4 | 8, 5, "Five", false, 0, "" },
        { "streaming without a valid code", 4, 3, "Three", false, 0, "" },
        { "streaming code", 4 | 8, 3, "Buffering", false, 3, "Buffering" },
        { "streaming code 0 while stopped", 4 | 8, 0, "Idle", false, 0, "" },
        { "streaming code 0 while playing", 4 | 8, 0, "Playing", true, 0, "Playing" },
        { "error with code and text", 16 | 8, 42, "Oops", false, 0, "42: Oops" },
        { "error with code only", 16 | 8, 42, "", false, 0, "42" },
        { "error text only", 16, 42, "Broken", false, 0, "Broken" },
        { "plain text", 0, 9, "Hello", false, 0, "Hello" },
    };
    for (const auto& c : cases) {
        doc->setStreamingStatusCode(0);
        doc->setStreamingStatusMessage("");
        movie->setRate(c.playing ? 1 : 0);
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVMovieStatusStringPostedNotification, movie,
                { { MVMovieStatusFlagsNotificationParameter, c.flags },
                    { MVMovieStatusCodeNotificationParameter, c.code },
                    { MVMovieStatusStringNotificationParameter, c.text } }));
        EXPECT_EQ(doc->streamingStatusCode(), c.expectCode) << c.name;
        EXPECT_EQ(doc->streamingStatusMessage(), c.expectMessage) << c.name;
    }
}

TEST_F(MovieDocumentStartupTest, PlayingKeepsARefreshTimerAndAChangeOfRateClearsTheStatus)
{
    auto movie = MVMovie::movie();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    doc->setStreamingStatusCode(7);
    movie->setRate(1);
    EXPECT_TRUE(doc->hasAttributeTimer());
    EXPECT_EQ(doc->streamingStatusCode(), 0);
    movie->setRate(0);
    EXPECT_FALSE(doc->hasAttributeTimer());
    // A rate that is not a number counts as playing.
    movie->setRate(1);
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVMovieRateDidChangeNotification,
        movie, { { MVMovieRateDidChangeNotificationParameter, std::nan("") } }));
    EXPECT_TRUE(doc->hasAttributeTimer());
}

TEST_F(MovieDocumentStartupTest, SuspendTwiceThenResumeRestoresTheMovie)
{
    auto movie = MVMovie::movie();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    movie->setRate(1.5f);
    doc->suspend();
    EXPECT_EQ(movie->rate(), 0);
    EXPECT_TRUE(movie->isMuted());
    doc->suspend();
    doc->resume();
    EXPECT_EQ(movie->rate(), 1.5f);
    EXPECT_FALSE(movie->isMuted());

    movie->setMuted(true);
    movie->stop();
    doc->suspend();
    doc->resume();
    EXPECT_TRUE(movie->isMuted()) << "a movie muted before stays muted";
    EXPECT_EQ(movie->rate(), 0);
}

TEST_F(MovieDocumentStartupTest, TimeCodeModeFollowsTheTimeDisplayOfItsOwnMovie)
{
    auto path = fixturePath(MovieFixture::TimecodeMov);
    auto plainPath = fixturePath(MovieFixture::H264AacMov);
    if (path.empty() || plainPath.empty())
        GTEST_SKIP() << "ffmpeg is needed for the fixture movies";
    auto doc = MVPMovieDocument::documentWithContentsOfFile(path.string(), "Movie", false, nullptr);
    auto plain = MVPMovieDocument::documentWithContentsOfFile(plainPath.string(), "Movie", false, nullptr);
    ASSERT_TRUE(doc && plain);
    auto post = [](const MVMovie* movie, int64_t mode) {
        HXNotificationCenter::defaultCenter().postNotification(
            HXNotification(MVPTimeCodeModeDidChange, nullptr,
                { { MVPLCDTimeModeKey, mode },
                    { MVPLCDTimeModeMovieKey, MVPMovieDocument::timeModeMovieValue(movie) } }));
    };
    struct Step {
        int64_t mode;
        bool expectTimecodeDoc, expectPlainDoc;
    };
    const Step steps[] = { { 2, true, false }, { 7, true, false }, { 1, false, false }, { 4, true, false } };
    for (const auto& step : steps) {
        post(doc->movie().get(), step.mode);
        post(plain->movie().get(), step.mode);
        EXPECT_EQ(doc->isTimeModeTC(), step.expectTimecodeDoc) << step.mode;
        EXPECT_EQ(plain->isTimeModeTC(), step.expectPlainDoc) << step.mode;
    }
    post(plain->movie().get(), 1);
    EXPECT_TRUE(doc->isTimeModeTC()) << "another movie's mode leaves this document alone";
}

TEST_F(MovieDocumentStartupTest, AMovieThatEndsClosesOrQuitsWhenItSaysSo)
{
    auto movie = MVMovie::movie();
    auto doc = MVPMovieDocument::movieDocumentWithMVMovie(movie);
    int quits = 0;
    doc->terminateApplication = [&quits] { ++quits; };
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVMovieDidEndNotification, movie));
    EXPECT_FALSE(doc->isClosed());

    doc->setQuitWhenDone(true);
    doc->setCloseWhenDone(true);
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(MVMovieDidEndNotification, movie));
    EXPECT_TRUE(doc->isClosed());
    EXPECT_EQ(quits, 0) << "quitting waits for the run loop";
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    EXPECT_EQ(quits, 1) << "closing does not stop the quit";

    auto other = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    other->terminateApplication = [&quits] { ++quits; };
    other->setQuitWhenDone(true);
    HXNotificationCenter::defaultCenter().postNotification(
        HXNotification(MVMovieDidEndNotification, other->movie()));
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    EXPECT_EQ(quits, 2);
}

} // namespace

namespace {

// Nothing listens on port 9 of the loopback: the movie fails to load at once.
std::shared_ptr<MVPMovieDocument> failingDocument()
{
    return MVPMovieDocument::documentWithContentsOfURL(
        *HXURL::URLWithString("http://127.0.0.1:9/clip.mov"), "Movie", nullptr);
}

TEST_F(MovieDocumentStartupTest, ALoadErrorIsShownOnceAndClosesTheDocument)
{
    struct Case {
        const char* name;
        bool diagnosticsSheetUp;
        long answer;
        size_t expectAlerts;
        bool expectClosed;
    };
    // The server refuses the connection: the network diagnosis comes first (without a window, as the
    // document's own alert), then the load error, once.
    const Case cases[] = {
        { "answered", false, HXAlertDefaultReturn, 2, true },
        { "while the network diagnostics are up", true, HXAlertDefaultReturn, 0, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = failingDocument();
        ASSERT_TRUE(doc);
        doc->setNetDiagnosticSheetVisible(c.diagnosticsSheetUp);
        std::vector<std::string> alerts;
        doc->runAlert
            = [&](const std::string& message, const std::string&, const std::string&, const std::string&) {
                  alerts.push_back(message);
                  return c.answer;
              };
        ASSERT_TRUE(runUntil([&] { return doc->movie()->loadState() == MVMovieLoadStateError; }));
        HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
        EXPECT_EQ(alerts.size(), c.expectAlerts);
        if (!alerts.empty()) {
            EXPECT_EQ(alerts.front(), HXLocalizedString("netDiagnosticsSheetMessage"));
            EXPECT_EQ(alerts.back(), "Bad address");
        }
        EXPECT_EQ(doc->isClosed(), c.expectClosed);
    }
}

TEST_F(MovieDocumentStartupTest, ClosingTheDocumentTakesItsWaitingAlertAway)
{
    // No alert hook: the document's alert runs its own modal loop. A script closes the document while
    // the alert waits; the alert goes, and the program is not left inside its loop.
    auto doc = failingDocument();
    ASSERT_TRUE(doc);
    int shown = 0;
    bool rescued = false;
    std::shared_ptr<HXTimer> rescue;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& alert) {
        ++shown;
        EXPECT_EQ(HXApplication::sharedApplication()->modalWindow(), alert.window());
        doc->close();
        // Were the alert left up, this ends its loop after a while (and the test fails).
        rescue = HXTimer::scheduledTimer(10, false,
            [&](HXTimer&) {
                rescued = true;
                HXApplication::sharedApplication()->abortModal();
            },
            { HXModalPanelRunLoopMode });
    });
    EXPECT_TRUE(runUntil([&] { return doc->isClosed(); }));
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    HXAlert::setAlertDidAppearHandler(nullptr);
    if (rescue)
        rescue->invalidate();
    EXPECT_EQ(shown, 1) << "a closed document shows nothing more";
    EXPECT_FALSE(rescued);
    EXPECT_EQ(HXApplication::sharedApplication()->modalWindow(), nullptr);
}

TEST_F(MovieDocumentStartupTest, PlaybackProblemsAreReportedOnceAtIdle)
{
    auto doc = failingDocument();
    ASSERT_TRUE(doc);
    doc->setNetDiagnosticSheetVisible(true); // keeps the load error quiet
    ASSERT_TRUE(runUntil([&] { return doc->movie()->loadState() == MVMovieLoadStateError; }));
    std::vector<std::string> buttons;
    doc->runAlert = [&](const std::string&, const std::string&, const std::string& defaultButton,
                        const std::string& alternateButton) {
        buttons = { defaultButton, alternateButton };
        return long(HXAlertAlternateReturn);
    };
    EXPECT_FALSE(doc->handleIdleEvent());
    EXPECT_EQ(buttons, (std::vector<std::string> { "Go on", "Shut" }));
    EXPECT_FALSE(doc->isClosed()) << "closing waits for the run loop";
    HXRunLoop::main().runInMode(HXDefaultRunLoopMode, 0.05);
    EXPECT_TRUE(doc->isClosed());
    buttons.clear();
    EXPECT_FALSE(doc->handleIdleEvent());
    EXPECT_TRUE(buttons.empty()) << "looked at once";

    auto healthy = MVPMovieDocument::movieDocumentWithMVMovie(MVMovie::movie());
    healthy->runAlert = doc->runAlert;
    EXPECT_FALSE(healthy->handleIdleEvent());
    EXPECT_TRUE(buttons.empty());
}

} // namespace
