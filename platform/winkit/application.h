#pragma once
// HXApplication: the shared application. It owns the event queue, knows the windows (front to back), the
// key and main window, runs the main loop and modal loops, and finds the targets of actions along the
// responder chain: first responder → views → window → its delegate → window controller → document, then
// the same for the main window, then the application, its delegate and the document controller.
#include "platform/basekit/property_list.h"
#include "platform/basekit/run_loop.h"
#include "platform/winkit/cursor.h"
#include "platform/winkit/event.h"
#include "platform/winkit/responder.h"
#include "platform/winkit/window_server.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HXWindow;
class HXMenu;
class HXDocument;

inline constexpr const char* HXApplicationWillBecomeActiveNotification = "HXApplicationWillBecomeActiveNotification";
inline constexpr const char* HXApplicationDidBecomeActiveNotification = "HXApplicationDidBecomeActiveNotification";
inline constexpr const char* HXApplicationWillResignActiveNotification = "HXApplicationWillResignActiveNotification";
inline constexpr const char* HXApplicationDidResignActiveNotification = "HXApplicationDidResignActiveNotification";
inline constexpr const char* HXApplicationWillFinishLaunchingNotification
    = "HXApplicationWillFinishLaunchingNotification";
inline constexpr const char* HXApplicationDidFinishLaunchingNotification = "HXApplicationDidFinishLaunchingNotification";
inline constexpr const char* HXApplicationWillTerminateNotification = "HXApplicationWillTerminateNotification";
inline constexpr const char* HXApplicationWillUpdateNotification = "HXApplicationWillUpdateNotification";
inline constexpr const char* HXApplicationDidUpdateNotification = "HXApplicationDidUpdateNotification";

// Return codes of modal loops and panels.
enum : long {
    HXModalResponseStop = -1000,
    HXModalResponseAbort = -1001,
    HXModalResponseContinue = -1002,
    HXModalResponseOK = 1,
    HXModalResponseCancel = 0,
    HXOKButton = 1,
    HXCancelButton = 0,
    HXAlertDefaultReturn = 1,
    HXAlertAlternateReturn = 0,
    HXAlertOtherReturn = -1,
    HXAlertErrorReturn = -2,
    HXAlertFirstButtonReturn = 1000,
    HXAlertSecondButtonReturn = 1001,
    HXAlertThirdButtonReturn = 1002,
};

// The version of this window toolkit, for code that picks looks by version (newer than every version
// such code tests for).
inline constexpr double HXWinKitVersionNumber = 1000.0;

enum HXApplicationTerminateReply { HXTerminateCancel = 0, HXTerminateNow = 1, HXTerminateLater = 2 };

class HXApplication;

class HXApplicationDelegate {
public:
    virtual ~HXApplicationDelegate() = default;
    virtual void applicationWillFinishLaunching(HXApplication& app) { (void)app; }
    virtual void applicationDidFinishLaunching(HXApplication& app) { (void)app; }
    virtual HXApplicationTerminateReply applicationShouldTerminate(HXApplication& app)
    {
        (void)app;
        return HXTerminateNow;
    }
    virtual void applicationWillTerminate(HXApplication& app) { (void)app; }
    virtual bool applicationShouldTerminateAfterLastWindowClosed(HXApplication& app) { (void)app; return false; }
    virtual bool applicationShouldOpenUntitledFile(HXApplication& app) { (void)app; return true; }
    virtual bool applicationOpenUntitledFile(HXApplication& app) { (void)app; return false; }
    virtual bool applicationShouldHandleReopen(HXApplication& app, bool hasVisibleWindows)
    {
        (void)app;
        (void)hasVisibleWindows;
        return true;
    }
    // Files given on the command line, dropped on the program or handed over by a second start.
    // Return false to let the document controller open them.
    virtual bool applicationOpenFiles(HXApplication& app, const std::vector<std::string>& paths)
    {
        (void)app;
        (void)paths;
        return false;
    }
    virtual void applicationDidBecomeActive(HXApplication& app) { (void)app; }
    virtual void applicationDidResignActive(HXApplication& app) { (void)app; }
};

// A modal session started with beginModalSessionForWindow.
struct HXModalSession {
    std::shared_ptr<HXWindow> window;
    long response = HXModalResponseContinue;
    bool ended = false;
};

class HXApplication : public HXResponder {
public:
    HXApplication();
    ~HXApplication() override;

    // The shared application, created on first use (an HXApplication on the headless window server unless
    // one was installed). setSharedApplication installs a subclass, or with null drops the current one.
    static std::shared_ptr<HXApplication> sharedApplication();
    static void setSharedApplication(std::shared_ptr<HXApplication> app);
    static bool hasSharedApplication();

    // The backend. Set it before windows are created.
    HXWindowServer& windowServer();
    void setWindowServer(std::shared_ptr<HXWindowServer> server);
    std::shared_ptr<HXWindowServer> windowServerPointer() const { return _server; }

    std::shared_ptr<HXApplicationDelegate> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<HXApplicationDelegate>& delegate) { _delegate = delegate; }
    // Keeps the delegate alive (for delegates nobody else owns).
    void setDelegateOwned(std::shared_ptr<HXApplicationDelegate> delegate);

    // Running.
    void finishLaunching();
    // What the request that launched the program carried besides the files to open (set before
    // HXApplicationMain; the document controller reads it while documents are reopened at launch).
    const HXPropertyList::Dictionary& launchEventParameters() const { return _launchEventParameters; }
    void setLaunchEventParameters(HXPropertyList::Dictionary parameters)
    {
        _launchEventParameters = std::move(parameters);
    }
    bool isRunning() const { return _running; }
    // Runs the main loop until stop or terminate.
    virtual void run();
    void stop(HXObject* sender = nullptr);
    // Asks the document controller to review unsaved documents and the delegate whether to quit; when both
    // agree, sends the will-terminate notification and stops the main loop.
    virtual void terminate(HXObject* sender = nullptr);
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    bool isTerminating() const { return _terminating; }
    bool didTerminate() const { return _terminated; }

    // Activation.
    bool isActive() const { return _active; }
    void activateIgnoringOtherApps(bool flag);
    void deactivate();

    // Windows.
    std::vector<std::shared_ptr<HXWindow>> windows() const;
    // Visible windows front to back.
    std::vector<std::shared_ptr<HXWindow>> orderedWindows() const;
    std::shared_ptr<HXWindow> windowWithWindowNumber(int number) const;
    std::shared_ptr<HXWindow> keyWindow() const { return _keyWindow.lock(); }
    std::shared_ptr<HXWindow> mainWindow() const { return _mainWindow.lock(); }
    std::shared_ptr<HXWindow> modalWindow() const;
    void makeWindowsPerform(const std::function<bool(HXWindow&)>& fn, bool inOrder);
    void setWindowsNeedUpdate(bool flag) { _windowsNeedUpdate = flag; }
    void updateWindows();
    void miniaturizeAll(HXObject* sender = nullptr);

    // Events.
    virtual void sendEvent(const HXEvent& event);
    // Takes (or peeks at) the first queued event matching `mask`, running the run loop in `mode` until
    // one comes or `untilDate` (seconds on the run loop's clock; +infinity waits for ever). Null when none
    // came in time. With a manual clock and nothing left that could ever produce an event, it returns null
    // instead of waiting for ever.
    virtual std::optional<HXEvent> nextEventMatchingMask(HXEventMask mask, HXTimeInterval untilDate,
        const std::string& mode, bool dequeue);
    void discardEventsMatchingMask(HXEventMask mask, const HXEvent* beforeEvent = nullptr);
    void postEvent(const HXEvent& event, bool atStart);
    const HXEvent* currentEvent() const { return _currentEvent ? &*_currentEvent : nullptr; }
    size_t pendingEventCount() const { return _queue.size(); }
    // Sends every queued event now (tests and the headless backend).
    void processPendingEvents();
    // The number of the next event (events made by backends and tests count up).
    int nextEventNumber() { return ++_eventNumber; }

    // Actions.
    // Sends `action` to `target`, or along the responder chain when target is null. True when handled.
    bool sendAction(HXSelector action, HXObject* target, HXObject* sender);
    // The object that would handle `action` for a nil-targeted sender, or null.
    HXObject* targetForAction(HXSelector action) const;
    HXObject* targetForAction(HXSelector action, HXObject* target, HXObject* sender) const;
    bool tryToPerform(HXSelector action, HXObject* sender) override;
    // The chain used for nil-targeted actions, in order.
    std::vector<HXObject*> responderChainForActions() const;

    // Menus.
    std::shared_ptr<HXMenu> mainMenu() const { return _mainMenu; }
    void setMainMenu(const std::shared_ptr<HXMenu>& menu);
    std::shared_ptr<HXMenu> windowsMenu() const { return _windowsMenu; }
    void setWindowsMenu(const std::shared_ptr<HXMenu>& menu) { _windowsMenu = menu; }

    // Modal loops. runModalForWindow shows the window and runs events for it (others are held back) in
    // HXModalPanelRunLoopMode until stopModal/abortModal; it returns the code.
    long runModalForWindow(const std::shared_ptr<HXWindow>& window);
    void stopModal();
    void stopModalWithCode(long code);
    void abortModal();
    // Ends the modal loop of `window` with `code`, whether it is the innermost one or one that a loop
    // started inside it still holds (that one returns once the inner loops have).
    void stopModalForWindow(const std::shared_ptr<HXWindow>& window, long code);
    std::shared_ptr<HXModalSession> beginModalSessionForWindow(const std::shared_ptr<HXWindow>& window);
    // Handles what is pending for the session without waiting; HXModalResponseContinue while it goes on.
    long runModalSession(const std::shared_ptr<HXModalSession>& session);
    void endModalSession(const std::shared_ptr<HXModalSession>& session);

    // Sheets on a window (null window: the sheet runs as a modal panel).
    void beginSheet(const std::shared_ptr<HXWindow>& sheet, const std::shared_ptr<HXWindow>& docWindow,
        std::function<void(long returnCode)> handler);
    void endSheet(const std::shared_ptr<HXWindow>& sheet, long returnCode = 0);

    // Screen updates: while disabled (nesting), windows do not show what they draw.
    void disableScreenUpdates() { ++_screenUpdatesDisabled; }
    void enableScreenUpdates();
    bool areScreenUpdatesDisabled() const { return _screenUpdatesDisabled > 0; }

    // Files dropped on a window from the desktop, at `location` in its base coordinates.
    void handleFileDrop(const std::shared_ptr<HXWindow>& window, HXPoint location,
        const std::vector<std::string>& paths);
    // Files to open (command line, a second start): the delegate first, then the document controller.
    void openFiles(const std::vector<std::string>& paths);

    void reportException(const std::exception& exception);
    void beep();

    // Internal: window bookkeeping called by HXWindow.
    void windowDidOrderFront(HXWindow& window);
    void windowDidOrderOut(HXWindow& window);
    void windowDidClose(HXWindow& window);
    void windowDidBecomeKey(HXWindow& window);
    void windowDidResignKey(HXWindow& window);
    void windowDidBecomeMain(HXWindow& window);
    void windowDidResignMain(HXWindow& window);
    int registerWindow(const std::shared_ptr<HXWindow>& window);
    void orderWindowRelative(HXWindow& window, int place, int otherWindowNumber);

private:
    void chooseNewKeyAndMainWindow(HXWindow* leaving);
    bool isEventAllowedInModal(const HXEvent& event) const;
    void appendChainFor(const std::shared_ptr<HXWindow>& window, std::vector<HXObject*>& chain) const;
    void finishTermination();
    bool keyEquivalentsHandled(const HXEvent& event);
    void endModalLoop(HXModalSession& session, long code);

    std::shared_ptr<HXWindowServer> _server;
    std::weak_ptr<HXApplicationDelegate> _delegate;
    std::shared_ptr<HXApplicationDelegate> _ownedDelegate;
    std::vector<std::weak_ptr<HXWindow>> _windows;          // every window not yet closed
    std::vector<std::weak_ptr<HXWindow>> _order;            // visible windows, front first
    std::vector<std::shared_ptr<HXWindow>> _openWindows;    // visible windows are kept alive while shown
    std::weak_ptr<HXWindow> _keyWindow;
    std::weak_ptr<HXWindow> _mainWindow;
    std::deque<HXEvent> _queue;
    std::optional<HXEvent> _currentEvent;
    std::shared_ptr<HXMenu> _mainMenu;
    std::shared_ptr<HXMenu> _windowsMenu;
    HXPropertyList::Dictionary _launchEventParameters;
    std::vector<std::shared_ptr<HXModalSession>> _modalSessions;
    HXRunLoopSourceID _queueHook = 0;
    HXRunLoopSourceID _displayObserver = 0;
    int _eventNumber = 0;
    int _nextWindowNumber = 0;
    int _screenUpdatesDisabled = 0;
    bool _running = false;
    bool _launched = false;
    bool _active = false;
    bool _terminating = false;
    bool _terminated = false;
    bool _windowsNeedUpdate = false;
};

// The shared application (shorthand).
HXApplication& HXApp();
void HXBeep();
void HXDisableScreenUpdates();
void HXEnableScreenUpdates();

// Chooses the backend (SDL2 when a display is there, else headless), finishes launching, opens the files
// named on the command line and runs the main loop. Returns the exit status.
int HXApplicationMain(int argc, char** argv);

// Keeps the screen saver and display sleep away while inhibited (counts nested requests).
void HXSetScreenSaverInhibited(bool inhibited);
