// Modal loops, alerts, sheets and nested event loops on the manual clock.
#include "winkit_fixture.h"

#include "platform/basekit/timer.h"
#include "platform/winkit/control.h"
#include "platform/winkit/save_panel.h"

namespace {

// Clicks the alert's button `index` the way a person would: a mouse down and up on it.
void clickButton(HXAlert& alert, size_t index)
{
    auto button = alert.buttons().at(index);
    HXRect r = button->convertRectToView(button->bounds(), nullptr);
    HXHeadlessWindowServer::postClick(alert.window(), { HXMidX(r), HXMidY(r) });
}

}  // namespace

class ModalTest : public WinkitTest {};

TEST_F(ModalTest, AlertRunsModallyUntilAButtonIsClicked)
{
    struct Case {
        size_t clicked;
        long expected;
    };
    for (const auto& c : { Case { 0, HXAlertFirstButtonReturn }, Case { 1, HXAlertSecondButtonReturn },
             Case { 2, HXAlertThirdButtonReturn } }) {
        SCOPED_TRACE(c.clicked);
        auto alert = std::make_shared<HXAlert>();
        alert->setMessageText("Delete the track?");
        alert->setInformativeText("This cannot be undone.");
        alert->addButtonWithTitle("Delete");
        alert->addButtonWithTitle("Cancel");
        alert->addButtonWithTitle("Keep");
        bool appeared = false;
        HXAlert::setAlertDidAppearHandler([&](HXAlert& a) {
            appeared = true;
            EXPECT_TRUE(a.window()->isVisible());
            EXPECT_EQ(app->modalWindow(), a.window());
            clickButton(a, c.clicked);
        });
        EXPECT_EQ(alert->runModal(), c.expected);
        EXPECT_TRUE(appeared);
        EXPECT_FALSE(alert->window()->isVisible());
        EXPECT_EQ(app->modalWindow(), nullptr);
    }
}

TEST_F(ModalTest, ReturnAndEscapeChooseTheDefaultAndCancelButtons)
{
    struct Case {
        const char* key;
        long expected;
    };
    for (const auto& c : { Case { "\r", HXAlertFirstButtonReturn }, Case { "\x1b", HXAlertSecondButtonReturn } }) {
        auto alert = std::make_shared<HXAlert>();
        alert->addButtonWithTitle("OK");
        alert->addButtonWithTitle("Cancel");
        HXAlert::setAlertDidAppearHandler(
            [&](HXAlert& a) { HXHeadlessWindowServer::postKey(a.window(), c.key); });
        EXPECT_EQ(alert->runModal(), c.expected);
    }
}

TEST_F(ModalTest, ClassicAlertPanelReturnCodes)
{
    struct Case {
        size_t clicked;
        long expected;
    };
    for (const auto& c : { Case { 0, HXAlertDefaultReturn }, Case { 1, HXAlertAlternateReturn }, Case { 2, HXAlertOtherReturn } }) {
        HXAlert::setAlertDidAppearHandler([&](HXAlert& a) { clickButton(a, c.clicked); });
        EXPECT_EQ(HXRunAlertPanel("Title", "Message", "Yes", "No", "Maybe"), c.expected);
    }
}

TEST_F(ModalTest, EventsForOtherWindowsAreHeldBackDuringAModalLoop)
{
    auto other = makeWindow(HXMakeRect(0, 0, 100, 100));
    auto view = std::make_shared<RecordingView>(HXMakeRect(0, 0, 100, 100));
    other->contentView()->addSubview(view);
    other->makeKeyAndOrderFront();
    auto alert = std::make_shared<HXAlert>();
    alert->addButtonWithTitle("OK");
    HXAlert::setAlertDidAppearHandler([&](HXAlert& a) {
        HXHeadlessWindowServer::postClick(other, { 50, 50 });
        clickButton(a, 0);
    });
    EXPECT_EQ(alert->runModal(), HXAlertFirstButtonReturn);
    EXPECT_TRUE(view->log.empty());
    EXPECT_GE(server->beepCount(), 1);
}

TEST_F(ModalTest, StopModalFromATimerEndsTheLoopAndNestedLoopsUnwindInOrder)
{
    auto outer = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    auto inner = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    std::vector<std::string> steps;
    auto t1 = HXTimer::scheduledTimer(1, false, [&](HXTimer& self) {
        // Done with before the nested loop runs, so that the nested loop does not fire it again.
        self.invalidate();
        steps.push_back("inner starts");
        // A modal loop inside the outer one, stopped by a later timer.
        auto t2 = HXTimer::scheduledTimer(2, false, [&](HXTimer&) {
            steps.push_back("inner stops");
            app->stopModalWithCode(7);
        }, { HXModalPanelRunLoopMode });
        steps.push_back("inner returned " + std::to_string(app->runModalForWindow(inner)));
        app->stopModalWithCode(3);
    }, { HXModalPanelRunLoopMode });
    HXTimeInterval start = clock->now();
    long code = app->runModalForWindow(outer);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(steps, (std::vector<std::string> { "inner starts", "inner stops", "inner returned 7" }));
    EXPECT_DOUBLE_EQ(clock->now() - start, 3);
}

TEST_F(ModalTest, ADismissedAlertEndsItsOwnLoopUnderAnotherOne)
{
    // The outer alert's owner goes while an inner alert waits: the inner one is still answered, and then
    // the outer loop returns as dismissed instead of running on.
    auto outer = HXAlert::alertWithMessageText("The movie could not be opened", {}, {}, {}, "");
    auto inner = HXAlert::alertWithMessageText("Save changes?", "Save", "Don't Save", {}, "");
    long innerAnswer = 0;
    HXAlert::setAlertDidAppearHandler([&](HXAlert& a) {
        if (&a == outer.get()) {
            innerAnswer = inner->runModal();
            return;
        }
        outer->dismiss();
        EXPECT_EQ(app->modalWindow(), inner->window()) << "the inner alert is the one answered first";
        clickButton(a, 1);
    });
    EXPECT_EQ(outer->runModal(), HXModalResponseAbort);
    EXPECT_EQ(innerAnswer, HXAlertAlternateReturn);
    EXPECT_FALSE(outer->window()->isVisible());
    EXPECT_EQ(app->modalWindow(), nullptr);
}

TEST_F(ModalTest, ModalLoopWithNothingLeftToHappenIsAbortedInsteadOfHanging)
{
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    EXPECT_EQ(app->runModalForWindow(panel), HXModalResponseAbort);
    EXPECT_EQ(app->modalWindow(), nullptr);
}

TEST_F(ModalTest, ModalSessionsRunWithoutWaiting)
{
    auto panel = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    auto button = std::make_shared<HXButton>(HXMakeRect(10, 10, 80, 30), "Stop");
    auto stopper = std::make_shared<HXObject>();
    stopper->setActionHandler("stop:", [&](HXObject*) { app->stopModalWithCode(42); });
    button->setTarget(stopper);
    button->setAction("stop:");
    panel->contentView()->addSubview(button);
    auto session = app->beginModalSessionForWindow(panel);
    HXTimeInterval before = clock->now();
    EXPECT_EQ(app->runModalSession(session), HXModalResponseContinue);
    HXHeadlessWindowServer::postClick(panel, { 50, 25 });
    EXPECT_EQ(app->runModalSession(session), 42);
    app->endModalSession(session);
    EXPECT_EQ(clock->now(), before);
}

TEST_F(ModalTest, NextEventWaitsUntilTheDateOnTheManualClock)
{
    HXTimeInterval start = clock->now();
    auto none = app->nextEventMatchingMask(HXAnyEventMask, start + 2, HXEventTrackingRunLoopMode, true);
    EXPECT_FALSE(none);
    EXPECT_DOUBLE_EQ(clock->now(), start + 2);
    // An event posted by a timer in the tracking mode arrives; peeking leaves it queued.
    auto timer = HXTimer::scheduledTimer(1, false, [&](HXTimer&) {
        app->postEvent(HXEvent::keyEvent(HXKeyDown, {}, 0, clock->now(), 0, "a", "a", false, HXKeyCodeA), false);
    }, { HXEventTrackingRunLoopMode });
    auto peeked = app->nextEventMatchingMask(HXKeyDownMask, start + 10, HXEventTrackingRunLoopMode, false);
    ASSERT_TRUE(peeked);
    EXPECT_EQ(peeked->characters(), "a");
    EXPECT_EQ(app->pendingEventCount(), 1u);
    // Events not in the mask stay queued for later; discarding removes them.
    auto mouse = app->nextEventMatchingMask(HXLeftMouseDownMask, clock->now(), HXEventTrackingRunLoopMode, true);
    EXPECT_FALSE(mouse);
    app->discardEventsMatchingMask(HXKeyDownMask);
    EXPECT_EQ(app->pendingEventCount(), 0u);
}

TEST_F(ModalTest, SheetEndsWithItsContinuationAndBlocksItsWindow)
{
    auto window = makeWindow(HXMakeRect(100, 100, 400, 300));
    window->makeKeyAndOrderFront();
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 200, 100), HXTitledWindowMask);
    std::vector<long> codes;
    app->beginSheet(sheet, window, [&](long code) { codes.push_back(code); });
    EXPECT_EQ(window->attachedSheet(), sheet);
    EXPECT_EQ(sheet->sheetParent(), window);
    EXPECT_TRUE(sheet->isKeyWindow());
    // Hangs from the top of the content, centred.
    EXPECT_DOUBLE_EQ(HXMaxY(sheet->frame()), HXMaxY(window->frame()) - HXWindowTitleBarHeight);
    EXPECT_DOUBLE_EQ(HXMidX(sheet->frame()), HXMidX(window->frame()));
    // A second sheet is refused while one is up.
    auto second = std::make_shared<HXPanel>(HXMakeRect(0, 0, 10, 10), HXTitledWindowMask);
    window->beginSheet(second, [&](long code) { codes.push_back(100 + code); });
    EXPECT_EQ(window->attachedSheet(), sheet);
    app->endSheet(sheet, 5);
    EXPECT_EQ(codes, (std::vector<long> { 5 }));
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(window->isKeyWindow());
    // Ending a sheet that is not attached does nothing.
    app->endSheet(sheet, 6);
    EXPECT_EQ(codes.size(), 1u);
}

TEST_F(ModalTest, ASheetWiderThanItsWindowStaysOnTheScreen)
{
    ASSERT_FALSE(HXScreen::screens().empty());
    HXRect visible = HXScreen::screens().front().visibleFrame();
    const struct {
        const char* name;
        double windowX; // from the visible frame's left edge (negative: from its right edge)
        double expectedMinX; // the same
    } cases[] = {
        { "at the left edge", 10, 0 },
        { "at the right edge", -210, -400 },
        { "with room", 300, 200 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        double left = c.windowX >= 0 ? HXMinX(visible) + c.windowX : HXMaxX(visible) + c.windowX;
        auto window = makeWindow(HXMakeRect(left, HXMinY(visible) + 100, 200, 300));
        window->makeKeyAndOrderFront();
        auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 400, 100), HXTitledWindowMask);
        app->beginSheet(sheet, window, nullptr);
        double expected = c.expectedMinX >= 0 ? HXMinX(visible) + c.expectedMinX : HXMaxX(visible) + c.expectedMinX;
        EXPECT_DOUBLE_EQ(HXMinX(sheet->frame()), expected);
        EXPECT_DOUBLE_EQ(HXMaxY(sheet->frame()), HXMaxY(window->frame()) - HXWindowTitleBarHeight);
        app->endSheet(sheet, 0);
        window->orderOut();
    }
}

TEST_F(ModalTest, AlertSheetAnswersThroughItsContinuation)
{
    auto window = makeWindow(HXMakeRect(100, 100, 400, 300));
    window->makeKeyAndOrderFront();
    auto alert = std::make_shared<HXAlert>();
    alert->setAlertStyle(HXCriticalAlertStyle);
    alert->addButtonWithTitle("OK");
    alert->addButtonWithTitle("Cancel");
    long answer = 0;
    alert->beginSheetModalForWindow(window, [&](long code) { answer = code; });
    EXPECT_EQ(window->attachedSheet(), alert->window());
    clickButton(*alert, 1);
    app->processPendingEvents();
    EXPECT_EQ(answer, HXAlertSecondButtonReturn);
    EXPECT_EQ(window->attachedSheet(), nullptr);
}

TEST_F(ModalTest, SheetOnNoWindowRunsAsAModalPanel)
{
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 100), HXTitledWindowMask);
    long answer = 0;
    auto timer = HXTimer::scheduledTimer(0.5, false, [&](HXTimer&) { app->endSheet(sheet, 9); },
        { HXModalPanelRunLoopMode });
    app->beginSheet(sheet, nullptr, [&](long code) { answer = code; });
    EXPECT_EQ(answer, 9);
}

TEST_F(ModalTest, AlertFromAnErrorShowsItsTexts)
{
    HXError error(HXBaseKitErrorDomain, HXFileReadCorruptFileError,
        { { HXLocalizedDescriptionKey, "The movie could not be opened." },
            { HXLocalizedFailureReasonErrorKey, "The file is damaged." },
            { HXLocalizedRecoveryOptionsErrorKey, HXPropertyList::Array { "Try Again", "Cancel" } } });
    auto alert = HXAlert::alertWithError(error);
    EXPECT_EQ(alert->messageText(), "The movie could not be opened.");
    EXPECT_EQ(alert->informativeText(), "The file is damaged.");
    ASSERT_EQ(alert->buttons().size(), 2u);
    EXPECT_EQ(alert->buttons()[0]->title(), "Try Again");
    auto plain = HXAlert::alertWithError(HXError(HXPOSIXErrorDomain, 2));
    ASSERT_EQ(plain->buttons().size(), 1u);
    EXPECT_EQ(plain->buttons()[0]->title(), "OK");
    EXPECT_FALSE(plain->messageText().empty());
}

TEST_F(ModalTest, UnattendedAlertsAnswerThemselvesWithTheirDefault)
{
    std::vector<std::string> reported, outer;
    auto window = makeWindow(HXMakeRect(100, 100, 400, 300));
    window->makeKeyAndOrderFront();
    bool appeared = false;
    HXAlert::setAlertDidAppearHandler([&](HXAlert&) { appeared = true; });
    HXUnattendedAlerts outerScope([&](const std::string& message, const std::string& answer) {
        outer.push_back(message + "=" + answer);
    });
    {
        HXUnattendedAlerts scope([&](const std::string& message, const std::string& answer) {
            reported.push_back(message + "=" + answer);
        });
        auto modal = HXAlert::alertWithMessageText("Stop?", "Quit", "Don't Quit", {}, {});
        EXPECT_EQ(modal->runModal(), HXAlertDefaultReturn);

        auto sheet = std::make_shared<HXAlert>();
        sheet->setMessageText("Save?");
        sheet->addButtonWithTitle("Save");
        sheet->addButtonWithTitle("Cancel");
        long answer = 0;
        sheet->beginSheetModalForWindow(window, [&](long code) { answer = code; });
        EXPECT_EQ(answer, HXAlertFirstButtonReturn); // answered before beginSheet returns
        EXPECT_EQ(window->attachedSheet(), nullptr);

        auto bare = std::make_shared<HXAlert>();
        bare->setMessageText("Nothing to choose");
        EXPECT_EQ(bare->runModal(), HXAlertFirstButtonReturn);

        // The reason under the message goes with it.
        auto failed = HXAlert::alertWithMessageText("Not saved.", "OK", {}, {}, "No space left on device");
        EXPECT_EQ(failed->runModal(), HXAlertDefaultReturn);

        auto save = HXSavePanel::savePanel();
        save->setTitle("Export");
        EXPECT_EQ(save->runModal(), HXModalResponseCancel);
    }
    // The innermost scope hears of them; once it ends, the outer one does.
    EXPECT_EQ(reported,
        (std::vector<std::string> { "Stop?=Quit", "Save?=Save", "Nothing to choose=OK",
            "Not saved. No space left on device=OK", "Export=Cancel" }));
    EXPECT_TRUE(outer.empty());
    HXAlert::alertWithMessageText("Again", "OK", {}, {}, {})->runModal();
    EXPECT_EQ(outer, (std::vector<std::string> { "Again=OK" }));
    EXPECT_FALSE(appeared);
    HXAlert::setAlertDidAppearHandler(nullptr);
}

TEST_F(ModalTest, AlertsWaitForAnAnswerOutsideUnattendedScopes)
{
    {
        HXUnattendedAlerts scope([](const std::string&, const std::string&) {});
        EXPECT_TRUE(HXUnattendedAlerts::isActive());
    }
    EXPECT_FALSE(HXUnattendedAlerts::isActive());
    auto alert = HXAlert::alertWithMessageText("Sure?", "Yes", "No", {}, {});
    HXAlert::setAlertDidAppearHandler([&](HXAlert& a) { clickButton(a, 1); });
    EXPECT_EQ(alert->runModal(), HXAlertAlternateReturn);
    HXAlert::setAlertDidAppearHandler(nullptr);
}
