// The application: terminating with the delegate's say, activation, the main loop and display after
// run-loop work.
#include "winkit_fixture.h"

#include "platform/basekit/timer.h"

namespace {

class Delegate : public HXApplicationDelegate {
public:
    HXApplicationTerminateReply reply = HXTerminateNow;
    std::vector<std::string> log;
    HXApplicationTerminateReply applicationShouldTerminate(HXApplication&) override
    {
        log.push_back("should");
        return reply;
    }
    void applicationWillTerminate(HXApplication&) override { log.push_back("will"); }
    void applicationDidFinishLaunching(HXApplication&) override { log.push_back("launched"); }
    void applicationDidBecomeActive(HXApplication&) override { log.push_back("active"); }
    void applicationDidResignActive(HXApplication&) override { log.push_back("inactive"); }
};

}  // namespace

class ApplicationTest : public WinkitTest {};

TEST_F(ApplicationTest, TerminationFollowsTheDelegatesReply)
{
    struct Case {
        HXApplicationTerminateReply reply;
        std::optional<bool> later;
        bool terminated;
    };
    const Case cases[] = {
        { HXTerminateNow, {}, true },
        { HXTerminateCancel, {}, false },
        { HXTerminateLater, true, true },
        { HXTerminateLater, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.reply));
        server = HXHeadlessWindowServer::install();
        app = HXApplication::sharedApplication();
        auto delegate = std::make_shared<Delegate>();
        delegate->reply = c.reply;
        app->setDelegate(delegate);
        int notified = 0;
        // Removed at the end of the pass: a later application may sit at this one's address.
        auto token = HXNotificationCenter::defaultCenter().addObserver(
            HXApplicationWillTerminateNotification, app.get(), [&](const HXNotification&) { ++notified; });
        app->terminate();
        if (c.later) {
            EXPECT_TRUE(app->isTerminating());
            app->replyToApplicationShouldTerminate(*c.later);
        }
        EXPECT_EQ(app->didTerminate(), c.terminated);
        EXPECT_FALSE(app->isTerminating());
        EXPECT_EQ(notified, c.terminated ? 1 : 0);
        EXPECT_EQ(delegate->log.back(), c.terminated ? "will" : "should");
        HXNotificationCenter::defaultCenter().removeObserver(token);
    }
}

TEST_F(ApplicationTest, RunProcessesEventsUntilTerminateAndLaunchesOnce)
{
    auto delegate = std::make_shared<Delegate>();
    app->setDelegate(delegate);
    auto window = makeWindow(HXMakeRect(0, 0, 100, 100));
    auto view = std::make_shared<RecordingView>(HXMakeRect(0, 0, 100, 100));
    window->contentView()->addSubview(view);
    window->makeKeyAndOrderFront();
    auto click = HXTimer::scheduledTimer(1, false, [&](HXTimer&) { HXHeadlessWindowServer::postClick(window, { 10, 10 }); });
    auto quit = HXTimer::scheduledTimer(2, false, [&](HXTimer&) { app->terminate(); });
    app->run();
    EXPECT_TRUE(app->didTerminate());
    EXPECT_EQ(view->log, (std::vector<std::string> { "mouseDown", "mouseUp" }));
    EXPECT_EQ(std::count(delegate->log.begin(), delegate->log.end(), "launched"), 1);
}

// A quit that finishes inside a modal loop (a signal served while an alert waits, the alert shown from a
// timer) ends the main loop too, though nothing else happens after it.
TEST_F(ApplicationTest, AQuitThatFinishesInsideAModalLoopEndsTheRun)
{
    auto delegate = std::make_shared<Delegate>();
    app->setDelegate(delegate);
    auto alertWindow = makeWindow(HXMakeRect(0, 0, 100, 100));
    long response = 0;
    auto alert = HXTimer::scheduledTimer(1, false, [&](HXTimer&) { response = app->runModalForWindow(alertWindow); });
    auto quit = HXTimer::scheduledTimer(2, false, [&](HXTimer&) { app->terminate(); }, { HXRunLoopCommonModes });
    // Something the program keeps doing, far apart; the run must not wait for it.
    int ticks = 0;
    auto idle = HXTimer::scheduledTimer(100, true, [&](HXTimer&) {
        if (++ticks == 3) {
            ADD_FAILURE() << "the run went on after the quit";
            app->stop();
        }
    });
    app->run();
    EXPECT_TRUE(app->didTerminate());
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(delegate->log.back(), "will");
    idle->invalidate();
}

TEST_F(ApplicationTest, DeactivationHidesPanelsThatAskForIt)
{
    auto delegate = std::make_shared<Delegate>();
    app->setDelegate(delegate);
    app->finishLaunching();
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 50, 50), HXTitledWindowMask);
    auto window = makeWindow(HXMakeRect(0, 0, 100, 100));
    panel->orderFront();
    window->orderFront();
    app->deactivate();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(window->isVisible());
    app->activateIgnoringOtherApps(true);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(delegate->log, (std::vector<std::string> { "active", "launched", "inactive", "active" }));
}

TEST_F(ApplicationTest, ChangesMadeByTimersAreShownBeforeTheLoopSleeps)
{
    auto window = makeWindow(HXMakeRect(0, 0, 100, 100));
    auto view = std::make_shared<HXView>(HXMakeRect(0, 0, 100, 100));
    window->contentView()->addSubview(view);
    window->orderFront();
    int presents = server->presentCount();
    auto timer = HXTimer::scheduledTimer(0.5, false, [&](HXTimer&) { view->setNeedsDisplay(true); });
    HXRunLoop::main().runUntilDate(clock->now() + 1);
    EXPECT_FALSE(window->viewsNeedDisplay());
    EXPECT_EQ(server->presentCount(), presents + 1);
}

TEST_F(ApplicationTest, CursorAndScreenSaverRequestsNest)
{
    HXCursor::hide();
    HXCursor::hide();
    HXCursor::unhide();
    EXPECT_TRUE(server->isCursorHidden());
    HXCursor::unhide();
    EXPECT_FALSE(server->isCursorHidden());
    HXCursor::unhide();  // one too many does not go negative
    HXCursor::hide();
    EXPECT_TRUE(server->isCursorHidden());
    HXCursor::unhide();
    HXSetScreenSaverInhibited(true);
    HXSetScreenSaverInhibited(true);
    HXSetScreenSaverInhibited(false);
    EXPECT_TRUE(server->isScreenSaverInhibited());
    HXSetScreenSaverInhibited(false);
    EXPECT_FALSE(server->isScreenSaverInhibited());
}
