#include "fullscreen/presentation_manager.h"

#include "fullscreen/display_services.h"
#include "fullscreen/presentation_window_controller.h"
#include "fullscreen/screen_additions.h"
#include "platform/mvkit/media_keys.h"
#include "platform/winkit/application.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"

#include <algorithm>

FSPresentationManager& FSPresentationManager::fsPresentationManager()
{
    static FSPresentationManager manager;
    return manager;
}

FSPresentationManager::FSPresentationManager()
{
    auto& center = HXNotificationCenter::defaultCenter();
    const std::pair<const char*, int> states[] = {
        { FSPresentationEnteringFullScreenStateNotification, 1 },
        { FSPresentationFullScreenStateNotification, 2 },
        { FSPresentationExitingFullScreenStateNotification, 3 },
        { FSPresentationInactiveStateNotification, 0 },
    };
    for (auto [name, state] : states) {
        _stateObservers.push_back(center.addObserver(
            name, nullptr, [this, state = state](const HXNotification& n) { stateChanged(n, state); }));
    }
}

FSPresentationManager::~FSPresentationManager()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto token : _stateObservers)
        center.removeObserver(token);
    if (_screenParametersObserver)
        center.removeObserver(*_screenParametersObserver);
    if (_windowDidBecomeMainObserver)
        center.removeObserver(*_windowDidBecomeMainObserver);
    HXRunLoop::main().cancelPerformRequests(this);
    releaseDisplayCaptureWindows();
    if (_systemActivityTimer)
        _systemActivityTimer->invalidate();
}

std::vector<HXScreen> FSPresentationManager::availableScreens() const
{
    std::vector<HXScreen> screens;
    for (const auto& screen : HXScreen::screens()) {
        bool taken = std::find(_presenting.begin(), _presenting.end(), screen) != _presenting.end();
        for (const auto& record : _records)
            taken = taken || record.screen == screen;
        if (!taken && !HXScreen_Additions::isMirroring(screen))
            screens.push_back(screen);
    }
    return screens;
}

void FSPresentationManager::beginPresentationOnScreen(const HXScreen& screen)
{
    _presenting.push_back(screen);
}

void FSPresentationManager::endPresentationOnScreen(const HXScreen& screen)
{
    auto it = std::find(_presenting.begin(), _presenting.end(), screen);
    if (it != _presenting.end())
        _presenting.erase(it);
}

// ---- Registration and keep-awake ----

void FSPresentationManager::addFSPresentation(FSPresentationWindowController* presentation)
{
    if (!presentation
        || std::find(_fsPresentations.begin(), _fsPresentations.end(), presentation)
            != _fsPresentations.end())
        return;
    if (_fsPresentations.empty()) {
        _windowDidBecomeMainObserver = HXNotificationCenter::defaultCenter().addObserver(
            HXWindowDidBecomeMainNotification, nullptr, [this](const HXNotification& n) {
                if (auto window = n.objectAs<HXWindow>())
                    windowDidBecomeMain(*window);
            });
    }
    _fsPresentations.push_back(presentation);
}

void FSPresentationManager::removeFSPresentation(FSPresentationWindowController* presentation)
{
    auto it = std::find(_fsPresentations.begin(), _fsPresentations.end(), presentation);
    if (it == _fsPresentations.end())
        return;
    _fsPresentations.erase(it);
    if (_fsPresentations.empty() && _windowDidBecomeMainObserver) {
        HXNotificationCenter::defaultCenter().removeObserver(*_windowDidBecomeMainObserver);
        _windowDidBecomeMainObserver.reset();
    }
    // The full-screen-only items leave with the last presentation, whichever window is main then.
    if (_fsPresentations.empty())
        hideFSMenuBonusItems();
    // A presentation that goes away before it was inactive again gives back what it held.
    if (auto* record = recordFor(presentation)) {
        if (record->counted && _displayCapturingPresentationCounter > 0)
            --_displayCapturingPresentationCounter;
        _records.erase(_records.begin() + (record - _records.data()));
        if (_displayCapturingPresentationCounter == 0)
            releaseDisplayCaptureWindows();
        if (_shouldHideSystemUI && !anyPresentationWantsSystemUIHidden(nullptr)) {
            _shouldHideSystemUI = false;
            showSystemUI();
        }
    }
}

void FSPresentationManager::showHUDs(bool autoHide)
{
    // A panel may end its presentation, so walk a copy.
    auto presentations = _fsPresentations;
    for (auto* presentation : presentations) {
        if (auto hud = presentation->fsPresentationHUDWindowController())
            hud->showHUD(autoHide);
    }
}

void FSPresentationManager::hideHUDs(bool fade)
{
    auto presentations = _fsPresentations;
    for (auto* presentation : presentations) {
        if (auto hud = presentation->fsPresentationHUDWindowController())
            hud->hideHUD(fade);
    }
}

void FSPresentationManager::enableSystemActivityTimer(bool enable)
{
    const bool haveApplication = HXApplication::hasSharedApplication();
    if (enable) {
        ++_systemActivityCounter;
        if (!_systemActivityTimer) {
            _systemActivityTimer = HXTimer::scheduledTimer(
                45.0, true, [](HXTimer&) { FSDisplayServices::shared().reportUserActivity(); });
            // The screen saver stays away for as long as the timer runs, and comes back after.
            _inhibitsScreenSaver = haveApplication;
            if (_inhibitsScreenSaver)
                HXSetScreenSaverInhibited(true);
        }
        return;
    }
    // An unbalanced release never wraps the counter round.
    if (_systemActivityCounter == 0)
        return;
    if (--_systemActivityCounter == 0 && _systemActivityTimer) {
        _systemActivityTimer->invalidate();
        _systemActivityTimer.reset();
        if (_inhibitsScreenSaver && haveApplication)
            HXSetScreenSaverInhibited(false);
        _inhibitsScreenSaver = false;
    }
}

// ---- Presentation states ----

FSPresentationManager::Presentation* FSPresentationManager::recordFor(const void* controller)
{
    for (auto& record : _records) {
        if (record.controller == controller)
            return &record;
    }
    return nullptr;
}

void FSPresentationManager::stateChanged(const HXNotification& notification, int state)
{
    // Only registered presentations are followed; their pointer is the notification's object.
    auto it = std::find(_fsPresentations.begin(), _fsPresentations.end(), notification.object());
    if (it == _fsPresentations.end())
        return;
    FSPresentationWindowController& presentation = **it;
    switch (state) {
    case 1:
        fullScreenPresentationEnteringFullScreen(presentation);
        break;
    case 2:
        fullScreenPresentationFullScreen(presentation);
        break;
    case 3:
        fullScreenPresentationExitingFullScreen(presentation);
        break;
    default:
        fullScreenPresentationInactive(presentation);
        break;
    }
}

void FSPresentationManager::fullScreenPresentationEnteringFullScreen(
    FSPresentationWindowController& presentation)
{
    Presentation* record = recordFor(&presentation);
    if (!record) {
        _records.push_back({ &presentation, {}, false });
        record = &_records.back();
    }
    record->screen = presentation.presentationScreen();
    if (!record->counted && presentation.capturesAllDisplays()) {
        ++_displayCapturingPresentationCounter;
        record->counted = true;
    }
    bool onPrimary = record->screen && HXScreen_Additions::isPrimaryScreen(*record->screen);
    if (onPrimary || _displayCapturingPresentationCounter != 0) {
        _shouldHideSystemUI = true;
        hideSystemUI();
    }
}

void FSPresentationManager::fullScreenPresentationFullScreen(FSPresentationWindowController& presentation)
{
    // Its window exists now: while the panels are hidden it stays over them like the others.
    if (_systemUIMode == 4 && presentation.isWindowLoaded())
        presentation.window()->setLevel(HXStatusWindowLevel);
    if (_displayCapturingPresentationCounter == 0)
        return;
    Presentation* record = recordFor(&presentation);
    if (record && record->screen)
        uncaptureDisplay(*record->screen);
    auto available = availableScreens();
    if (available.empty() || !_displayCaptureWindows.empty())
        return;
    _displayCaptureBackgroundColor = presentation.presentationColorSetting().value_or(HXColor::blackColor());
    for (const auto& screen : available)
        captureDisplay(screen);
    if (!_screenParametersObserver) {
        _screenParametersObserver = HXNotificationCenter::defaultCenter().addObserver(
            HXApplicationDidChangeScreenParametersNotification, nullptr,
            [this](const HXNotification&) { applicationDidChangeScreenParameters(); });
    }
}

void FSPresentationManager::fullScreenPresentationExitingFullScreen(
    FSPresentationWindowController& presentation)
{
    Presentation* record = recordFor(&presentation);
    if (record && record->counted) {
        record->counted = false;
        if (_displayCapturingPresentationCounter > 0)
            --_displayCapturingPresentationCounter;
    }
    if (_displayCapturingPresentationCounter == 0) {
        releaseDisplayCaptureWindows();
        return;
    }
    // Another presentation still captures: the leaving one's display goes black beneath its window.
    if (!record || !record->screen)
        return;
    captureDisplay(*record->screen);
    auto it = _displayCaptureWindows.find(record->screen->screenNumber());
    if (it != _displayCaptureWindows.end() && presentation.isWindowLoaded())
        it->second->orderWindow(HXWindowBelow, presentation.window()->windowNumber());
}

void FSPresentationManager::fullScreenPresentationInactive(FSPresentationWindowController& presentation)
{
    // A window that presents again starts as any other.
    if (presentation.isWindowLoaded())
        presentation.window()->setLevel(HXNormalWindowLevel);
    // The desktop's panels come back once no remaining presentation wants them hidden.
    if (_shouldHideSystemUI && !anyPresentationWantsSystemUIHidden(&presentation)) {
        _shouldHideSystemUI = false;
        showSystemUI();
    }
    if (Presentation* record = recordFor(&presentation))
        _records.erase(_records.begin() + (record - _records.data()));
}

bool FSPresentationManager::anyPresentationWantsSystemUIHidden(
    const FSPresentationWindowController* leaving) const
{
    if (_displayCapturingPresentationCounter != 0)
        return true;
    for (const auto& record : _records) {
        if (record.controller != leaving && record.screen
            && HXScreen_Additions::isPrimaryScreen(*record.screen))
            return true;
    }
    return false;
}

// ---- Blackout windows ----

void FSPresentationManager::captureDisplay(const HXScreen& screen)
{
    auto& window = _displayCaptureWindows[screen.screenNumber()];
    if (!window) {
        window = std::make_shared<HXWindow>(screen.frame(), HXBorderlessWindowMask);
        window->setReleasedWhenClosed(false);
        window->setHidesOnDeactivate(true);
        window->setHasShadow(false);
    }
    // Full screen on its display, so that the desktop puts it over its panels there.
    window->setFullScreen(true, screen);
    window->setLevel(_systemUIMode == 4 ? HXStatusWindowLevel : HXNormalWindowLevel);
    window->setBackgroundColor(_displayCaptureBackgroundColor);
    window->orderFront();
}

void FSPresentationManager::uncaptureDisplay(const HXScreen& screen)
{
    auto it = _displayCaptureWindows.find(screen.screenNumber());
    if (it == _displayCaptureWindows.end())
        return;
    it->second->orderOut();
    _displayCaptureWindows.erase(it);
}

void FSPresentationManager::releaseDisplayCaptureWindows()
{
    for (auto& [number, window] : _displayCaptureWindows)
        window->orderOut();
    _displayCaptureWindows.clear();
    if (_screenParametersObserver) {
        HXNotificationCenter::defaultCenter().removeObserver(*_screenParametersObserver);
        _screenParametersObserver.reset();
    }
}

void FSPresentationManager::applicationDidChangeScreenParameters()
{
    std::vector<uint32_t> covered;
    for (const auto& [number, window] : _displayCaptureWindows)
        covered.push_back(number);
    for (uint32_t number : covered) {
        if (auto screen = HXScreen::screenWithNumber(number)) {
            _displayCaptureWindows[number]->setFrame(screen->frame(), true);
        } else {
            _displayCaptureWindows[number]->orderOut();
            _displayCaptureWindows.erase(number);
        }
    }
    for (const auto& screen : availableScreens()) {
        if (std::find(covered.begin(), covered.end(), screen.screenNumber()) == covered.end())
            captureDisplay(screen);
    }
}

// ---- The desktop's panels ----

void FSPresentationManager::hideSystemUI()
{
    _systemUIMode = 4;
    FSDisplayServices::shared().setSystemUIMode(4);
    keepWindowsAbovePanels(true);
}

void FSPresentationManager::showSystemUI()
{
    _systemUIMode = 0;
    FSDisplayServices::shared().setSystemUIMode(0);
    keepWindowsAbovePanels(false);
}

void FSPresentationManager::keepWindowsAbovePanels(bool above)
{
    // Full-screen windows are over the desktop's panels only while they have the focus; the blackout
    // windows never have it. Kept above, both stay over the panels whatever has the focus.
    int level = above ? HXStatusWindowLevel : HXNormalWindowLevel;
    for (auto* presentation : _fsPresentations)
        if (auto window = presentation->window())
            window->setLevel(level);
    for (auto& [number, window] : _displayCaptureWindows)
        window->setLevel(level);
}

// ---- Main window and menu items ----

void FSPresentationManager::windowDidBecomeMain(const HXWindow& window)
{
    auto controller = window.windowController();
    bool presenting = controller
        && std::find_if(_fsPresentations.begin(), _fsPresentations.end(),
               [&](FSPresentationWindowController* p) {
                   return static_cast<HXWindowController*>(p) == controller.get();
               })
            != _fsPresentations.end();
    if (presenting)
        showFSMenuBonusItems();
    else
        hideFSMenuBonusItems();
    if (!_shouldHideSystemUI)
        return;
    // Once the new main window has settled.
    HXRunLoop::main().cancelPerformRequests(this, "systemUI");
    HXRunLoop::main().performAfterDelay(this, "systemUI", 0, [this, presenting] {
        if (presenting)
            hideSystemUI();
        else
            showSystemUI();
    });
}

namespace {

// The menu that holds the size items: the submenu of the main menu's fourth item.
std::shared_ptr<HXMenu> sizeMenu()
{
    auto app = HXApplication::sharedApplication();
    auto main = app ? app->mainMenu() : nullptr;
    if (!main || main->numberOfItems() <= 3)
        return nullptr;
    auto item = main->itemAtIndex(3);
    return item ? item->submenu() : nullptr;
}

long lastIndexOfAction(const HXMenu& menu, const HXSelector& action)
{
    for (long i = menu.numberOfItems() - 1; i >= 0; --i) {
        if (menu.itemAtIndex(i)->action() == action)
            return i;
    }
    return -1;
}

} // namespace

void FSPresentationManager::showFSMenuBonusItems()
{
    if (_addedFSOnlyMenus || !MVMediaKeys::mediaKeys().boolForType("MVFullscreenExtras", true))
        return;
    if (auto menu = sizeMenu()) {
        long index = lastIndexOfAction(*menu, HXSelector("fitToScreen:"));
        if (index >= 0) {
            menu->removeItemAtIndex(index);
            menu->insertItemWithTitle("Letterbox", HXSelector("letterboxToScreen:"), "3", index);
            menu->insertItemWithTitle("Crop", HXSelector("cropToScreen:"), "4", index + 1);
            menu->insertItemWithTitle("Pano", HXSelector("panoramicStretchToScreen:"), "5", index + 2);
        }
    }
    // Marked in even when the menu has no such item, so the search is not repeated.
    _addedFSOnlyMenus = true;
}

void FSPresentationManager::hideFSMenuBonusItems()
{
    if (!_addedFSOnlyMenus)
        return;
    if (auto menu = sizeMenu()) {
        long index = lastIndexOfAction(*menu, HXSelector("letterboxToScreen:"));
        if (index >= 0) {
            // Only the items put in are taken out, whatever else changed in the menu meanwhile.
            auto ours = [](const HXSelector& action) {
                return action == HXSelector("cropToScreen:")
                    || action == HXSelector("panoramicStretchToScreen:");
            };
            for (int removed = 0; removed < 2 && index + 1 < menu->numberOfItems()
                 && ours(menu->itemAtIndex(index + 1)->action());
                 ++removed)
                menu->removeItemAtIndex(index + 1);
            menu->removeItemAtIndex(index);
            menu->insertItemWithTitle("Fit to Screen", HXSelector("fitToScreen:"), "3", index);
        }
    }
    _addedFSOnlyMenus = false;
}
