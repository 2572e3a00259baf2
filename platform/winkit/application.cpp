#include "platform/winkit/application.h"

#include "platform/basekit/notification_center.h"
#include "platform/basekit/uncaught_exception.h"
#include "platform/winkit/accessibility_bridge.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/document_controller.h"
#include "platform/winkit/dragging.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/help_manager.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/menu_bar_view.h"
#include "platform/winkit/pasteboard.h"
#include "platform/winkit/window.h"
#include "platform/winkit/window_controller.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace {

std::shared_ptr<HXApplication>& sharedSlot()
{
    static std::shared_ptr<HXApplication> app;
    return app;
}

constexpr HXTimeInterval kForever = std::numeric_limits<HXTimeInterval>::infinity();

bool matches(const HXEvent& e, HXEventMask mask) { return (mask & HXEventMaskFromType(e.type())) != 0; }

template<class T>
void eraseWindow(std::vector<std::weak_ptr<HXWindow>>& list, const T* window)
{
    std::erase_if(list, [&](const std::weak_ptr<HXWindow>& w) {
        auto locked = w.lock();
        return !locked || locked.get() == window;
    });
}

}  // namespace

// Shared application

HXApplication::HXApplication()
{
    setActionHandler("terminate:", [this](HXObject* sender) { terminate(sender); });
    setActionHandler("stop:", [this](HXObject* sender) { stop(sender); });
    setActionHandler("hide:", [](HXObject*) {});
    setActionHandler("miniaturizeAll:", [this](HXObject* sender) { miniaturizeAll(sender); });
    // The Help menu's item opens the program's help book at its first page.
    setActionHandler("showHelp:", [](HXObject*) {
        if (!HXHelpManager::sharedHelpManager().openHelpAnchor({}))
            HXBeep();
    });
    setActionHandler("arrangeInFront:", [this](HXObject*) {
        for (auto& w : orderedWindows()) {
            if (!w->isExcludedFromWindowsMenu())
                w->orderFront();
        }
    });
    // Windows answer the window actions for whichever window is key.
    setActionHandler("performClose:", [this](HXObject* sender) {
        if (auto w = keyWindow())
            w->performClose(sender);
    });
    setActionHandler("performMiniaturize:", [this](HXObject* sender) {
        if (auto w = keyWindow())
            w->performMiniaturize(sender);
    });
    setActionHandler("performZoom:", [this](HXObject* sender) {
        if (auto w = keyWindow())
            w->performZoom(sender);
    });
    // What timers and other sources changed is shown before the loop sleeps, not only after events. A running
    // program also updates its windows then when asked to: views that rebuild lazily on the windows' update
    // (the time display, the timeline) are built without waiting for the user to touch anything. An update
    // may ask for another (a rebuilt view making parts that rebuild in turn), a few rounds at most.
    _displayObserver = HXRunLoop::main().addObserver(HXRunLoopBeforeWaiting | HXRunLoopExit, [this](HXRunLoopActivity) {
        for (int round = 0; round < 4 && _launched && _windowsNeedUpdate; ++round)
            updateWindows();
        for (auto& w : orderedWindows())
            w->displayIfNeeded();
    });
}

HXApplication::~HXApplication()
{
    if (_queueHook)
        HXRunLoop::main().removeSource(_queueHook);
    if (_displayObserver)
        HXRunLoop::main().removeSource(_displayObserver);
}

std::shared_ptr<HXApplication> HXApplication::sharedApplication()
{
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<HXApplication>();
        slot->setWindowServer(std::make_shared<HXHeadlessWindowServer>());
    }
    return slot;
}

void HXApplication::setSharedApplication(std::shared_ptr<HXApplication> app)
{
    auto& slot = sharedSlot();
    if (slot) {
        // Windows of the old application go away with it.
        for (auto& w : slot->windows())
            w->orderOut();
        slot->_openWindows.clear();
    }
    slot = std::move(app);
    if (slot && !slot->_server)
        slot->setWindowServer(std::make_shared<HXHeadlessWindowServer>());
}

bool HXApplication::hasSharedApplication() { return sharedSlot() != nullptr; }

HXApplication& HXApp() { return *HXApplication::sharedApplication(); }

HXWindowServer& HXApplication::windowServer()
{
    if (!_server)
        _server = std::make_shared<HXHeadlessWindowServer>();
    return *_server;
}

void HXApplication::setWindowServer(std::shared_ptr<HXWindowServer> server) { _server = std::move(server); }

void HXApplication::setDelegateOwned(std::shared_ptr<HXApplicationDelegate> delegate)
{
    _ownedDelegate = delegate;
    _delegate = delegate;
}

// Running

void HXApplication::finishLaunching()
{
    if (_launched)
        return;
    _launched = true;
    auto& center = HXNotificationCenter::defaultCenter();
    center.postNotificationName(HXApplicationWillFinishLaunchingNotification, this);
    if (auto d = delegate())
        d->applicationWillFinishLaunching(*this);
    activateIgnoringOtherApps(true);
    // On a display, screen readers see the windows through the desktop's accessibility bus.
    if (!windowServer().isHeadless())
        HXAccessibilityBridge::shared().start();
    center.postNotificationName(HXApplicationDidFinishLaunchingNotification, this);
    if (auto d = delegate())
        d->applicationDidFinishLaunching(*this);
}

void HXApplication::run()
{
    finishLaunching();
    // A quit that finished while launching (a signal served by an early modal loop) ends the run at once.
    _running = !_terminated;
    while (_running) {
        auto event = nextEventMatchingMask(HXAnyEventMask, kForever, HXDefaultRunLoopMode, true);
        if (!event) {
            // Nothing can ever arrive (a manual clock with nothing scheduled).
            if (HXRunLoop::main().clock().isManual())
                break;
            continue;
        }
        HXRunCatchingUncaughtExceptions([&] { sendEvent(*event); });
    }
    _running = false;
}

void HXApplication::stop(HXObject*)
{
    _running = false;
    // Wakes the loop so that it notices.
    postEvent(HXEvent::otherEvent(HXApplicationDefined, {}, 0, HXRunLoop::main().now(), 0, 0, 0, 0), false);
}

void HXApplication::terminate(HXObject*)
{
    if (_terminating || _terminated)
        return;
    _terminating = true;
    std::weak_ptr<HXApplication> weak = std::static_pointer_cast<HXApplication>(shared_from_this());
    auto askDelegate = [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        HXApplicationTerminateReply reply = HXTerminateNow;
        if (auto d = self->delegate())
            reply = d->applicationShouldTerminate(*self);
        if (reply == HXTerminateNow)
            self->finishTermination();
        else if (reply == HXTerminateCancel)
            self->_terminating = false;
        // Later: the delegate answers with replyToApplicationShouldTerminate.
    };
    if (HXDocumentController::hasSharedDocumentController()) {
        HXDocumentController::sharedDocumentController()->reviewUnsavedDocuments([weak, askDelegate](bool go) {
            auto self = weak.lock();
            if (!self)
                return;
            if (go)
                askDelegate();
            else
                self->_terminating = false;
        });
    } else {
        askDelegate();
    }
}

void HXApplication::replyToApplicationShouldTerminate(bool shouldTerminate)
{
    if (!_terminating)
        return;
    if (shouldTerminate)
        finishTermination();
    else
        _terminating = false;
}

void HXApplication::finishTermination()
{
    HXNotificationCenter::defaultCenter().postNotificationName(HXApplicationWillTerminateNotification, this);
    if (auto d = delegate())
        d->applicationWillTerminate(*this);
    _terminated = true;
    _terminating = false;
    for (auto& s : _modalSessions)
        s->ended = true;
    stop();
}

// Activation

void HXApplication::activateIgnoringOtherApps(bool)
{
    if (_active)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    center.postNotificationName(HXApplicationWillBecomeActiveNotification, this);
    _active = true;
    for (auto& w : windows()) {
        if (w->hidesOnDeactivate() && !w->isClosed() && !w->isMiniaturized() && w->isVisible() == false
            && w->platformWindow())
            w->orderFront();
    }
    center.postNotificationName(HXApplicationDidBecomeActiveNotification, this);
    if (auto d = delegate())
        d->applicationDidBecomeActive(*this);
}

void HXApplication::deactivate()
{
    if (!_active)
        return;
    auto& center = HXNotificationCenter::defaultCenter();
    center.postNotificationName(HXApplicationWillResignActiveNotification, this);
    _active = false;
    for (auto& w : orderedWindows()) {
        if (w->hidesOnDeactivate())
            w->orderOut();
    }
    center.postNotificationName(HXApplicationDidResignActiveNotification, this);
    if (auto d = delegate())
        d->applicationDidResignActive(*this);
}

// Windows

int HXApplication::registerWindow(const std::shared_ptr<HXWindow>& window)
{
    _windows.push_back(window);
    return ++_nextWindowNumber;
}

std::vector<std::shared_ptr<HXWindow>> HXApplication::windows() const
{
    std::vector<std::shared_ptr<HXWindow>> result;
    for (auto& w : _windows) {
        if (auto locked = w.lock(); locked && !locked->isClosed())
            result.push_back(locked);
    }
    return result;
}

std::vector<std::shared_ptr<HXWindow>> HXApplication::orderedWindows() const
{
    std::vector<std::shared_ptr<HXWindow>> result;
    for (auto& w : _order) {
        if (auto locked = w.lock())
            result.push_back(locked);
    }
    return result;
}

std::shared_ptr<HXWindow> HXApplication::windowWithWindowNumber(int number) const
{
    for (auto& w : _windows) {
        if (auto locked = w.lock(); locked && locked->windowNumber() == number)
            return locked;
    }
    return nullptr;
}

std::shared_ptr<HXWindow> HXApplication::modalWindow() const
{
    for (auto it = _modalSessions.rbegin(); it != _modalSessions.rend(); ++it) {
        if (!(*it)->ended)
            return (*it)->window;
    }
    return nullptr;
}

void HXApplication::makeWindowsPerform(const std::function<bool(HXWindow&)>& fn, bool inOrder)
{
    auto list = inOrder ? orderedWindows() : windows();
    for (auto& w : list) {
        if (fn(*w))
            return;
    }
}

void HXApplication::updateWindows()
{
    _windowsNeedUpdate = false;
    auto& center = HXNotificationCenter::defaultCenter();
    center.postNotificationName(HXApplicationWillUpdateNotification, this);
    for (auto& w : windows())
        w->update();
    center.postNotificationName(HXApplicationDidUpdateNotification, this);
}

void HXApplication::miniaturizeAll(HXObject*)
{
    for (auto& w : orderedWindows()) {
        if (w->styleMask() & HXMiniaturizableWindowMask)
            w->miniaturize();
    }
}

void HXApplication::windowDidOrderFront(HXWindow& window)
{
    auto self = std::static_pointer_cast<HXWindow>(window.shared_from_this());
    eraseWindow(_order, &window);
    // In front of every window of its level or lower.
    auto it = std::find_if(_order.begin(), _order.end(), [&](const std::weak_ptr<HXWindow>& w) {
        auto other = w.lock();
        return other && other->level() <= window.level();
    });
    _order.insert(it, self);
    if (std::find(_openWindows.begin(), _openWindows.end(), self) == _openWindows.end())
        _openWindows.push_back(self);
}

void HXApplication::orderWindowRelative(HXWindow& window, int place, int otherWindowNumber)
{
    auto self = std::static_pointer_cast<HXWindow>(window.shared_from_this());
    eraseWindow(_order, &window);
    auto other = otherWindowNumber ? windowWithWindowNumber(otherWindowNumber) : nullptr;
    auto it = _order.end();
    if (other) {
        it = std::find_if(_order.begin(), _order.end(), [&](const auto& w) { return w.lock() == other; });
        if (it != _order.end() && place == HXWindowBelow)
            ++it;
    } else if (place == HXWindowAbove) {
        it = std::find_if(_order.begin(), _order.end(), [&](const std::weak_ptr<HXWindow>& w) {
            auto o = w.lock();
            return o && o->level() <= window.level();
        });
    } else {
        // Behind every window of its level or higher.
        it = std::find_if(_order.begin(), _order.end(), [&](const std::weak_ptr<HXWindow>& w) {
            auto o = w.lock();
            return o && o->level() < window.level();
        });
    }
    _order.insert(it, self);
}

void HXApplication::windowDidOrderOut(HXWindow& window)
{
    eraseWindow(_order, &window);
    bool wasKey = keyWindow().get() == &window;
    bool wasMain = mainWindow().get() == &window;
    if (wasKey) {
        window.resignKeyWindow();
        _keyWindow.reset();
    }
    if (wasMain) {
        window.resignMainWindow();
        _mainWindow.reset();
    }
    if (wasKey || wasMain)
        chooseNewKeyAndMainWindow(&window);
    std::erase_if(_openWindows, [&](const std::shared_ptr<HXWindow>& w) { return w.get() == &window; });
}

void HXApplication::windowDidClose(HXWindow& window)
{
    windowDidOrderOut(window);
    eraseWindow(_windows, &window);
    if (windows().empty() && !_terminating) {
        if (auto d = delegate(); d && d->applicationShouldTerminateAfterLastWindowClosed(*this))
            HXRunLoop::main().perform([weak = std::weak_ptr<HXApplication>(
                                           std::static_pointer_cast<HXApplication>(shared_from_this()))] {
                if (auto self = weak.lock())
                    self->terminate();
            });
    }
}

void HXApplication::chooseNewKeyAndMainWindow(HXWindow* leaving)
{
    if (auto modal = modalWindow(); modal && modal.get() != leaving && modal->isVisible()) {
        if (!keyWindow())
            modal->makeKeyWindow();
    }
    for (auto& w : orderedWindows()) {
        if (w.get() == leaving)
            continue;
        if (!mainWindow() && w->canBecomeMainWindow())
            w->makeMainWindow();
        if (!keyWindow() && w->canBecomeKeyWindow() && !w->isSheet())
            w->makeKeyWindow();
    }
}

void HXApplication::windowDidBecomeKey(HXWindow& window)
{
    auto old = keyWindow();
    if (old.get() == &window)
        return;
    _keyWindow = std::static_pointer_cast<HXWindow>(window.shared_from_this());
    if (old)
        old->resignKeyWindow();
    window.becomeKeyWindow();
}

void HXApplication::windowDidResignKey(HXWindow& window)
{
    if (keyWindow().get() == &window) {
        _keyWindow.reset();
        window.resignKeyWindow();
    }
}

void HXApplication::windowDidBecomeMain(HXWindow& window)
{
    auto old = mainWindow();
    if (old.get() == &window)
        return;
    _mainWindow = std::static_pointer_cast<HXWindow>(window.shared_from_this());
    if (old)
        old->resignMainWindow();
    window.becomeMainWindow();
}

void HXApplication::windowDidResignMain(HXWindow& window)
{
    if (mainWindow().get() == &window) {
        _mainWindow.reset();
        window.resignMainWindow();
    }
}

// Events

void HXApplication::postEvent(const HXEvent& event, bool atStart)
{
    if (atStart)
        _queue.push_front(event);
    else
        _queue.push_back(event);
    HXRunLoop::main().wakeUp();
}

void HXApplication::discardEventsMatchingMask(HXEventMask mask, const HXEvent* beforeEvent)
{
    std::erase_if(_queue, [&](const HXEvent& e) {
        return matches(e, mask) && (!beforeEvent || e.timestamp() <= beforeEvent->timestamp());
    });
}

std::optional<HXEvent> HXApplication::nextEventMatchingMask(HXEventMask mask, HXTimeInterval untilDate,
    const std::string& mode, bool dequeue)
{
    auto& loop = HXRunLoop::main();
    bool ranOnce = false;
    for (;;) {
        auto it = std::find_if(_queue.begin(), _queue.end(), [&](const HXEvent& e) { return matches(e, mask); });
        if (it != _queue.end()) {
            HXEvent event = *it;
            if (dequeue)
                _queue.erase(it);
            return event;
        }
        if (ranOnce && loop.now() >= untilDate)
            return std::nullopt;
        if (loop.clock().isManual() && std::isinf(untilDate)) {
            // Nothing but a timer or a queued perform can produce an event here: serve what is queued,
            // and give up when nothing is scheduled at all rather than sleep for ever.
            loop.runMode(mode, loop.now());
            ranOnce = true;
            if (std::none_of(_queue.begin(), _queue.end(), [&](const HXEvent& e) { return matches(e, mask); })
                && std::isinf(loop.nextFireDate(mode)))
                return std::nullopt;
            if (std::any_of(_queue.begin(), _queue.end(), [&](const HXEvent& e) { return matches(e, mask); }))
                continue;
        }
        loop.runMode(mode, untilDate);
        ranOnce = true;
    }
}

void HXApplication::processPendingEvents()
{
    while (!_queue.empty()) {
        HXEvent event = _queue.front();
        _queue.pop_front();
        HXRunCatchingUncaughtExceptions([&] { sendEvent(event); });
    }
}

bool HXApplication::isEventAllowedInModal(const HXEvent& event) const
{
    auto modal = modalWindow();
    if (!modal)
        return true;
    auto window = event.window();
    if (!window)
        return !event.isMouseEvent();
    if (window == modal || window->sheetParent() == modal)
        return true;
    auto panel = std::dynamic_pointer_cast<HXPanel>(window);
    return panel && panel->worksWhenModal();
}

bool HXApplication::keyEquivalentsHandled(const HXEvent& event)
{
    auto modal = modalWindow();
    auto key = keyWindow();
    if (modal)
        return modal->performKeyEquivalent(event) || (key && key->sheetParent() == modal && key->performKeyEquivalent(event));
    if (key && key->performKeyEquivalent(event))
        return true;
    if ((event.modifierFlags() & (HXCommandKeyMask | HXControlKeyMask)) && _mainMenu)
        return _mainMenu->performKeyEquivalent(event);
    return false;
}

void HXApplication::sendEvent(const HXEvent& event)
{
    std::optional<HXEvent> previous = _currentEvent;
    _currentEvent = event;
    if (event.type() == HXApplicationDefined || event.type() == HXPeriodic) {
        _currentEvent = previous;
        return;
    }
    if (event.type() == HXKeyDown && keyEquivalentsHandled(event)) {
        // Handled by a button or a menu.
    } else {
        std::shared_ptr<HXWindow> window;
        if (event.isKeyEvent())
            window = keyWindow();
        if (!window)
            window = event.window();
        if (window && !isEventAllowedInModal(event)) {
            if (event.type() == HXLeftMouseDown || event.type() == HXRightMouseDown)
                HXBeep();
            window = nullptr;
        }
        if (event.isKeyEvent() && modalWindow() && window && window != modalWindow() && window->sheetParent() != modalWindow())
            window = modalWindow();
        if (window)
            window->sendEvent(event);
    }
    if (_windowsNeedUpdate)
        updateWindows();
    for (auto& w : orderedWindows())
        w->displayIfNeeded();
    _currentEvent = previous;
}

// Actions

void HXApplication::appendChainFor(const std::shared_ptr<HXWindow>& window, std::vector<HXObject*>& chain) const
{
    if (!window)
        return;
    std::set<HXObject*> seen(chain.begin(), chain.end());
    auto add = [&](HXObject* o) {
        if (o && seen.insert(o).second)
            chain.push_back(o);
    };
    for (auto r = window->firstResponder(); r; r = r->nextResponder()) {
        if (seen.count(r.get()))
            break;
        add(r.get());
    }
    add(window.get());
    if (auto d = window->delegate())
        add(dynamic_cast<HXObject*>(d.get()));
    if (auto controller = window->windowController()) {
        add(controller.get());
        if (auto document = controller->document())
            add(document.get());
    }
}

std::vector<HXObject*> HXApplication::responderChainForActions() const
{
    std::vector<HXObject*> chain;
    auto key = keyWindow();
    auto main = mainWindow();
    appendChainFor(key, chain);
    if (main != key)
        appendChainFor(main, chain);
    chain.push_back(const_cast<HXApplication*>(this));
    if (auto d = delegate()) {
        if (auto* o = dynamic_cast<HXObject*>(d.get()))
            chain.push_back(o);
    }
    if (HXDocumentController::hasSharedDocumentController())
        chain.push_back(HXDocumentController::sharedDocumentController().get());
    return chain;
}

HXObject* HXApplication::targetForAction(HXSelector action) const
{
    if (!action)
        return nullptr;
    for (auto* o : responderChainForActions()) {
        if (o->respondsToAction(action))
            return o;
    }
    return nullptr;
}

HXObject* HXApplication::targetForAction(HXSelector action, HXObject* target, HXObject*) const
{
    if (target)
        return target->respondsToAction(action) ? target : nullptr;
    return targetForAction(action);
}

bool HXApplication::sendAction(HXSelector action, HXObject* target, HXObject* sender)
{
    if (!action)
        return false;
    HXObject* receiver = targetForAction(action, target, sender);
    if (!receiver)
        return false;
    auto keep = receiver->weak_from_this().lock();  // the action may close what handles it
    return receiver->performAction(action, sender);
}

bool HXApplication::tryToPerform(HXSelector action, HXObject* sender)
{
    if (performAction(action, sender))
        return true;
    if (auto d = delegate()) {
        if (auto* o = dynamic_cast<HXObject*>(d.get()); o && o->performAction(action, sender))
            return true;
    }
    return false;
}

void HXApplication::setMainMenu(const std::shared_ptr<HXMenu>& menu)
{
    _mainMenu = menu;
    for (auto& w : windows()) {
        if (w->menuBarView())
            w->menuBarView()->setNeedsDisplay(true);
    }
}

// Modal loops

std::shared_ptr<HXModalSession> HXApplication::beginModalSessionForWindow(const std::shared_ptr<HXWindow>& window)
{
    auto session = std::make_shared<HXModalSession>();
    session->window = window;
    _modalSessions.push_back(session);
    if (window) {
        window->setIsModalPanel(true);
        window->makeKeyAndOrderFront();
    }
    return session;
}

long HXApplication::runModalSession(const std::shared_ptr<HXModalSession>& session)
{
    auto& loop = HXRunLoop::main();
    while (!session->ended) {
        auto event = nextEventMatchingMask(HXAnyEventMask, loop.now(), HXModalPanelRunLoopMode, true);
        if (!event)
            break;
        HXRunCatchingUncaughtExceptions([&] { sendEvent(*event); });
    }
    return session->ended ? session->response : HXModalResponseContinue;
}

void HXApplication::endModalSession(const std::shared_ptr<HXModalSession>& session)
{
    session->ended = true;
    if (session->window)
        session->window->setIsModalPanel(false);
    std::erase(_modalSessions, session);
}

long HXApplication::runModalForWindow(const std::shared_ptr<HXWindow>& window)
{
    auto session = beginModalSessionForWindow(window);
    while (!session->ended) {
        auto event = nextEventMatchingMask(HXAnyEventMask, kForever, HXModalPanelRunLoopMode, true);
        if (!event) {
            if (session->ended)
                break;
            if (HXRunLoop::main().clock().isManual()) {
                HXLog("HXApplication: a modal loop was left waiting with nothing scheduled; it is aborted");
                session->response = HXModalResponseAbort;
                session->ended = true;
                break;
            }
            continue;
        }
        HXRunCatchingUncaughtExceptions([&] { sendEvent(*event); });
    }
    long response = session->response;
    endModalSession(session);
    // A quit that finished while this loop ran woke this loop only: the loop outside it, waiting for an
    // event of its own, must notice as well.
    if (_terminated)
        postEvent(HXEvent::otherEvent(HXApplicationDefined, {}, 0, HXRunLoop::main().now(), 0, 0, 0, 0), false);
    return response;
}

void HXApplication::stopModalWithCode(long code)
{
    for (auto it = _modalSessions.rbegin(); it != _modalSessions.rend(); ++it) {
        if (!(*it)->ended) {
            endModalLoop(**it, code);
            return;
        }
    }
}

void HXApplication::stopModalForWindow(const std::shared_ptr<HXWindow>& window, long code)
{
    for (auto& session : _modalSessions) {
        if (session->window == window && !session->ended) {
            endModalLoop(*session, code);
            return;
        }
    }
}

void HXApplication::endModalLoop(HXModalSession& session, long code)
{
    session.response = code;
    session.ended = true;
    // The loop waits for an event: this one wakes it.
    postEvent(HXEvent::otherEvent(HXApplicationDefined, {}, 0, HXRunLoop::main().now(), 0, 0, 0, 0), false);
}

void HXApplication::stopModal() { stopModalWithCode(HXModalResponseStop); }
void HXApplication::abortModal() { stopModalWithCode(HXModalResponseAbort); }

// Sheets

void HXApplication::beginSheet(const std::shared_ptr<HXWindow>& sheet, const std::shared_ptr<HXWindow>& docWindow,
    std::function<void(long)> handler)
{
    if (!sheet)
        return;
    if (docWindow) {
        docWindow->beginSheet(sheet, std::move(handler));
        return;
    }
    // No window to attach to: the sheet runs as a modal panel.
    sheet->center();
    long code = runModalForWindow(sheet);
    sheet->orderOut();
    if (handler)
        handler(code);
}

void HXApplication::endSheet(const std::shared_ptr<HXWindow>& sheet, long returnCode)
{
    if (!sheet)
        return;
    if (auto parent = sheet->sheetParent()) {
        parent->endSheet(sheet, returnCode);
        return;
    }
    if (modalWindow() == sheet)
        stopModalWithCode(returnCode);
}

// Screen updates

void HXApplication::enableScreenUpdates()
{
    if (_screenUpdatesDisabled > 0 && --_screenUpdatesDisabled == 0) {
        for (auto& w : orderedWindows())
            w->flushWindowIfNeeded();
    }
}

void HXDisableScreenUpdates() { HXApp().disableScreenUpdates(); }
void HXEnableScreenUpdates() { HXApp().enableScreenUpdates(); }

// Files

void HXApplication::openFiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return;
    if (auto d = delegate(); d && d->applicationOpenFiles(*this, paths))
        return;
    auto controller = HXDocumentController::sharedDocumentController();
    for (const auto& path : paths) {
        HXError error;
        if (!controller->openDocumentWithContentsOfURL(HXURL::fileURLWithPath(path), true, &error))
            controller->presentError(error);
    }
}

void HXApplication::reportException(const std::exception& exception)
{
    HXLog(std::string("HXApplication: uncaught exception: ") + exception.what());
}

void HXApplication::beep() { windowServer().beep(); }

void HXBeep()
{
    if (HXApplication::hasSharedApplication())
        HXApplication::sharedApplication()->beep();
}

// Cursor and screen saver

namespace {
int cursorHideCount = 0;
int screenSaverInhibitCount = 0;
}  // namespace

void HXCursor::hide()
{
    if (cursorHideCount++ == 0)
        HXApp().windowServer().setCursorHidden(true);
}

void HXCursor::unhide()
{
    if (cursorHideCount > 0 && --cursorHideCount == 0)
        HXApp().windowServer().setCursorHidden(false);
}

void HXCursor::setHiddenUntilMouseMoves(bool flag) { HXApp().windowServer().setCursorHidden(flag); }

bool HXCursor::isHidden() { return cursorHideCount > 0; }

void HXSetScreenSaverInhibited(bool inhibited)
{
    if (inhibited) {
        if (screenSaverInhibitCount++ == 0)
            HXApp().windowServer().setScreenSaverInhibited(true);
    } else if (screenSaverInhibitCount > 0 && --screenSaverInhibitCount == 0) {
        HXApp().windowServer().setScreenSaverInhibited(false);
    }
}
