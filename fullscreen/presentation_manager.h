#pragma once
// FSPresentationManager: the one object that sees every running presentation. It knows which screens are
// still free, hides the desktop's panels while a presentation uses the primary screen or blacks out the
// others, covers the other displays with windows of the presentation colour while a presentation captures
// all displays, and keeps the machine awake while anything is presented.
//
// What it needs of a presentation (its screen, whether it captures) is noted when the presentation
// enters and kept until it is inactive again: the presentation's own settings are emptied while it
// leaves, and reading them then would unbalance the counters.
#include "platform/basekit/notification_center.h"
#include "platform/basekit/timer.h"
#include "platform/drawing/color.h"
#include "platform/winkit/screen.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class FSPresentationWindowController;
class HXWindow;

class FSPresentationManager {
public:
    static FSPresentationManager& fsPresentationManager();
    ~FSPresentationManager();
    FSPresentationManager(const FSPresentationManager&) = delete;
    FSPresentationManager& operator=(const FSPresentationManager&) = delete;

    // The current screens less those presenting a movie and those mirroring another display.
    std::vector<HXScreen> availableScreens() const;
    // Whether any screen presents a movie.
    bool isPresenting() const { return !_presenting.empty(); }
    void beginPresentationOnScreen(const HXScreen& screen);
    void endPresentationOnScreen(const HXScreen& screen);

    // Registration: at entry, and when the exit has completed.
    void addFSPresentation(FSPresentationWindowController* presentation);
    void removeFSPresentation(FSPresentationWindowController* presentation);
    const std::vector<FSPresentationWindowController*>& fsPresentations() const { return _fsPresentations; }
    bool isFullscreen() const { return !_fsPresentations.empty(); }

    // Every registered presentation's heads-up panel, shown (with auto-hide when asked) or hidden (faded
    // when asked).
    void showHUDs(bool autoHide);
    void hideHUDs(bool fade);

    // Keep-awake requests nest: the activity timer (45 s) runs while at least one is outstanding.
    void enableSystemActivityTimer(bool enable);
    uint32_t systemActivityCounter() const { return _systemActivityCounter; }
    bool hasSystemActivityTimer() const { return _systemActivityTimer != nullptr; }

    // Observation.
    uint32_t displayCapturingPresentationCounter() const { return _displayCapturingPresentationCounter; }
    bool shouldHideSystemUI() const { return _shouldHideSystemUI; }
    // Display number to the blackout window covering that display.
    const std::map<uint32_t, std::shared_ptr<HXWindow>>& displayCaptureWindows() const
    {
        return _displayCaptureWindows;
    }

    // The presentation states (observed from every controller's notifications).
    void fullScreenPresentationEnteringFullScreen(FSPresentationWindowController& presentation);
    void fullScreenPresentationFullScreen(FSPresentationWindowController& presentation);
    void fullScreenPresentationExitingFullScreen(FSPresentationWindowController& presentation);
    void fullScreenPresentationInactive(FSPresentationWindowController& presentation);
    // Screens came or went while displays are blacked out.
    void applicationDidChangeScreenParameters();
    // A window became main (followed while anything is presented): a presentation window brings the
    // full-screen-only menu items and hides the panels again; any other window takes them back out.
    void windowDidBecomeMain(const HXWindow& window);

    // The full-screen-only items of the fourth menu of the main menu: "Fit to Screen" gives way to
    // "Letterbox", "Crop" and "Pano" (unless the media key "MVFullscreenExtras" is off), and back.
    void showFSMenuBonusItems();
    void hideFSMenuBonusItems();
    bool addedFSOnlyMenus() const { return _addedFSOnlyMenus; }

private:
    FSPresentationManager();

    struct Presentation {
        FSPresentationWindowController* controller = nullptr;
        std::optional<HXScreen> screen;
        bool counted = false; // it raised the capture counter
    };
    Presentation* recordFor(const void* controller);
    void stateChanged(const HXNotification& notification, int state);
    void captureDisplay(const HXScreen& screen);
    void uncaptureDisplay(const HXScreen& screen);
    void releaseDisplayCaptureWindows();
    void hideSystemUI();
    void showSystemUI();
    void keepWindowsAbovePanels(bool above);
    bool anyPresentationWantsSystemUIHidden(const FSPresentationWindowController* leaving) const;

    std::vector<HXScreen> _presenting;
    std::vector<FSPresentationWindowController*> _fsPresentations;
    std::vector<Presentation> _records;
    std::shared_ptr<HXTimer> _systemActivityTimer;
    uint32_t _systemActivityCounter = 0;
    bool _inhibitsScreenSaver = false;
    bool _shouldHideSystemUI = false;
    int _systemUIMode = 0;
    uint32_t _displayCapturingPresentationCounter = 0;
    std::map<uint32_t, std::shared_ptr<HXWindow>> _displayCaptureWindows;
    HXColor _displayCaptureBackgroundColor = HXColor::blackColor();
    std::vector<HXObserverToken> _stateObservers;
    std::optional<HXObserverToken> _screenParametersObserver;
    std::optional<HXObserverToken> _windowDidBecomeMainObserver;
    bool _addedFSOnlyMenus = false;
};
