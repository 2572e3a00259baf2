#include "fullscreen/presentation_window_controller.h"

#include "document/movie_document.h"
#include "fullscreen/panoramic_stretch_filter.h"
#include "fullscreen/presentation_manager.h"
#include "fullscreen/presentation_modes.h"
#include "fullscreen/presentation_resize_helper.h"
#include "fullscreen/presentation_settings_window_controller.h"
#include "fullscreen/screen_additions.h"
#include "fullscreen/window_additions.h"
#include "platform/basekit/bundle.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/movie_view.h"
#include "platform/mvkit/notifications.h"
#include "platform/mvkit/playback/movie_playback.h"
#include "platform/winkit/application.h"
#include "platform/winkit/event.h"
#include "platform/winkit/menu.h"
#include "player/window/movie_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

std::string localized(const std::string& key)
{
    auto bundle = HXBundle::mainBundle();
    return bundle ? bundle->localizedStringForKey(key, "") : std::string();
}

// Screen updates held back for the lifetime of the object, so that swaps of windows show in one step.
class ScreenUpdatesDisabled {
public:
    ScreenUpdatesDisabled() { HXDisableScreenUpdates(); }
    ~ScreenUpdatesDisabled() { HXEnableScreenUpdates(); }
    ScreenUpdatesDisabled(const ScreenUpdatesDisabled&) = delete;
    ScreenUpdatesDisabled& operator=(const ScreenUpdatesDisabled&) = delete;
};

bool haveApplication()
{
    return HXApplication::sharedApplication() != nullptr;
}

std::shared_ptr<MVMovieView> findMovieView(const std::shared_ptr<HXView>& view)
{
    if (!view)
        return nullptr;
    if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(view))
        return movieView;
    for (const auto& sub : view->subviews()) {
        if (auto found = findMovieView(sub))
            return found;
    }
    return nullptr;
}

} // namespace

void FSPresentationWindowController::installDocumentPresentationMakers()
{
    MVPDocumentPresentation::setMaker([] { return std::make_shared<FSPresentationWindowController>(); });
    MVPDocumentPresentationSettingsSheet::setMaker(
        [] { return FSPresentationSettingsWindowController::fsPresentationSettingsWindowController(); });
    MVPDocumentPresentation::setScreensAvailableCheck(
        [] { return !FSPresentationManager::fsPresentationManager().availableScreens().empty(); });
}

FSPresentationWindowController::FSPresentationWindowController()
{
    setShouldCascadeWindows(false);
    installActions();
}

FSPresentationWindowController::~FSPresentationWindowController()
{
    close();
    if (_fsWindow)
        _fsWindow->setEventDelegate(nullptr);
    stopObserving();
    if (_naturalSizeObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_naturalSizeObserver);
    if (_movieEndObserver)
        HXNotificationCenter::defaultCenter().removeObserver(_movieEndObserver);
    if (_cursorTimer)
        _cursorTimer->invalidate();
    if (_fsPresentationHUDWindowController)
        _fsPresentationHUDWindowController->setDelegate(nullptr);
    FSPresentationManager::fsPresentationManager().removeFSPresentation(this);
}

void FSPresentationWindowController::installActions()
{
    const std::pair<const char*, void (FSPresentationWindowController::*)(HXObject*)> actions[] = {
        { "normalSize:", &FSPresentationWindowController::normalSize },
        { "doubleSize:", &FSPresentationWindowController::doubleSize },
        { "halfSize:", &FSPresentationWindowController::halfSize },
        { "fitToScreen:", &FSPresentationWindowController::fitToScreen },
        { "letterboxToScreen:", &FSPresentationWindowController::letterboxToScreen },
        { "cropToScreen:", &FSPresentationWindowController::cropToScreen },
        { "stretchToScreen:", &FSPresentationWindowController::stretchToScreen },
        { "panoramicStretchToScreen:", &FSPresentationWindowController::panoramicStretchToScreen },
        { "fullScreen:", &FSPresentationWindowController::fullScreen },
        { "cascadeWindow:", &FSPresentationWindowController::cascadeWindow },
    };
    for (auto [name, method] : actions)
        setActionHandler(HXSelector(name), [this, method = method](HXObject* sender) { (this->*method)(sender); });
}

void FSPresentationWindowController::loadWindow()
{
    auto window = std::make_shared<FSPresentationWindow>();
    window->setEventDelegate(this);
    _fsWindow = window;
    setWindow(window);
    hideMenuBar();
    // Titled after the document like any document window (set once the controller knows it).
    window->setTitle("");
}

void FSPresentationWindowController::hideMenuBar()
{
    // A document's windows show the menu bar; the presentation covers the whole screen with the movie.
    if (_fsWindow && (_fsWindow->styleMask() & HXMenuBarWindowMask))
        _fsWindow->setStyleMask(_fsWindow->styleMask() & ~unsigned(HXMenuBarWindowMask));
}

std::shared_ptr<FSPresentationWindow> FSPresentationWindowController::presentationWindow()
{
    if (!_fsWindow)
        loadWindow();
    return _fsWindow;
}

// ---- Document and movie ----

void FSPresentationWindowController::setNaturalSize(HXSize size)
{
    while (_naturalSizeLock.test_and_set(std::memory_order_acquire)) { }
    _naturalSize = size;
    _naturalSizeLock.clear(std::memory_order_release);
}

HXSize FSPresentationWindowController::naturalSizeForFrames() const
{
    while (_naturalSizeLock.test_and_set(std::memory_order_acquire)) { }
    HXSize size = _naturalSize;
    _naturalSizeLock.clear(std::memory_order_release);
    return size;
}

void FSPresentationWindowController::setDocument(const std::shared_ptr<HXDocument>& document)
{
    auto& center = HXNotificationCenter::defaultCenter();
    if (_naturalSizeObserver)
        center.removeObserver(_naturalSizeObserver);
    _naturalSizeObserver = 0;
    if (_movieEndObserver)
        center.removeObserver(_movieEndObserver);
    _movieEndObserver = 0;
    _movie.reset();
    if (_fsPresentationHUDWindowController)
        _fsPresentationHUDWindowController->setMovie(nullptr);
    MVPWindowController::setDocument(document);
    hideMenuBar();
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document);
    if (!doc)
        return;
    setNaturalSize(doc->naturalSize());
    _naturalSizeObserver = center.addObserver(this, MVPMovieDocumentDidChangeNaturalSizeNotification, doc.get(),
        [this](const HXNotification&) { respondToChangeInNaturalSize(); });
}

void FSPresentationWindowController::respondToChangeInNaturalSize()
{
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    if (doc)
        setNaturalSize(doc->naturalSize());
    // Only a running presentation is re-laid out: outside one the movie view is the player window's, and
    // no mode may be stored for it.
    if (_state == FSPresentationState::FullScreen)
        setPresentationMode(presentationMode(), false);
}

void FSPresentationWindowController::syncToNewMovie()
{
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    auto movie = doc ? doc->movie() : nullptr;
    _movie = movie;
    if (doc)
        setNaturalSize(doc->naturalSize());
    if (_fsPresentationHUDWindowController)
        _fsPresentationHUDWindowController->setMovie(movie);
    if (_movieView && movie && _movieView->movie() != movie)
        _movieView->setMovie(movie);
    auto& center = HXNotificationCenter::defaultCenter();
    if (_movieEndObserver)
        center.removeObserver(_movieEndObserver);
    _movieEndObserver = 0;
    if (movie) {
        _movieEndObserver = center.addObserver(
            this, MVMovieDidEndNotification, movie.get(), [this](const HXNotification&) { movieEnded(); });
    }
    syncToChangeInMovieContent();
}

void FSPresentationWindowController::syncToChangeInMovieContent()
{
    auto m = movie();
    auto screens = haveApplication() ? HXScreen::screens() : std::vector<HXScreen> {};
    bool unitScale = screens.empty() || screens.front().userSpaceScaleFactor() == 1.0;
    // A panorama is looked around in with the mouse: no zoom into it, no panel over it on its own.
    const bool panorama = m && m->isVRMovie();
    _animate = m && FSPresentationMovieUsesVisualContext(m.get()) && unitScale && !panorama;
    _autoShowHUD = !panorama;
    bool streaming = m && m->URL() && !m->URL()->isFileURL();
    if (!m || (!m->hasVideo() && !streaming)) {
        _animate = false;
        exitFullScreen();
        return;
    }
    if (_fsWindow && _fsWindow->windowController().get() == this)
        synchronizeWindowTitleWithDocumentName();
}

// ---- Borrowing the player window's movie view ----

std::shared_ptr<HXWindowController> FSPresentationWindowController::playerWindowController() const
{
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    return doc ? doc->playerWindowController() : nullptr;
}

std::shared_ptr<HXWindow> FSPresentationWindowController::playerWindow() const
{
    auto player = playerWindowController();
    return player && player->isWindowLoaded() ? player->window() : nullptr;
}

std::shared_ptr<MVPWindowController> FSPresentationWindowController::playerMVPWindowController() const
{
    return std::dynamic_pointer_cast<MVPWindowController>(playerWindowController());
}

std::shared_ptr<MVMovieView> FSPresentationWindowController::playerMovieView() const
{
    if (auto player = playerMVPWindowController())
        return player->movieView();
    auto window = playerWindow();
    return window ? findMovieView(window->contentView()) : nullptr;
}

void FSPresentationWindowController::setMovieView(std::shared_ptr<MVMovieView> view)
{
    _movieView = std::move(view);
    // The player's own kind of view also answers the controller's movie commands.
    if (auto playerView = std::dynamic_pointer_cast<MVPMovieView>(_movieView))
        MVPWindowController::setMovieView(playerView);
}

std::shared_ptr<MVMovieView> FSPresentationWindowController::movieView()
{
    auto player = playerMovieView();
    if (_movieView && (!player || player == _movieView))
        return _movieView;
    setMovieView(player ? player : std::make_shared<MVMovieView>(HXZeroRect));
    return _movieView;
}

void FSPresentationWindowController::removeMovieViewFromPlayerWindow(const std::shared_ptr<MVMovieView>& view)
{
    _viewPlace = {};
    auto player = playerMVPWindowController();
    if (player && player->movieView() == view) {
        _viewPlace.player = player;
        player->removeMovieViewFromWindow();
        view->removeFromSuperview();
        return;
    }
    auto superview = view->superview();
    if (!superview)
        return;
    _viewPlace.frame = view->frame();
    _viewPlace.autoresizingMask = view->autoresizingMask();
    auto window = view->window();
    if (window && window->contentView() == view) {
        // The view is the player window's whole content: an empty view holds its place, so that the
        // player window's own layout never reaches the borrowed view.
        _viewPlace.contentOf = window;
        window->setContentView(std::make_shared<HXView>(view->frame()));
        view->removeFromSuperview();
        return;
    }
    const auto& siblings = superview->subviews();
    _viewPlace.superview = superview;
    _viewPlace.index = size_t(std::find(siblings.begin(), siblings.end(), view) - siblings.begin());
    view->removeFromSuperview();
}

void FSPresentationWindowController::restoreMovieViewToPlayerWindow(const std::shared_ptr<MVMovieView>& view)
{
    view->removeFromSuperview();
    if (auto player = _viewPlace.player.lock()) {
        player->restoreMovieViewToWindow();
        return;
    }
    view->setAutoresizingMask(_viewPlace.autoresizingMask);
    if (auto window = _viewPlace.contentOf.lock()) {
        window->setContentView(view);
        return;
    }
    auto superview = _viewPlace.superview.lock();
    if (!superview)
        return;
    const auto& siblings = superview->subviews();
    if (_viewPlace.index < siblings.size())
        superview->addSubview(view, false, siblings[_viewPlace.index]);
    else
        superview->addSubview(view);
    view->setFrame(_viewPlace.frame);
    superview->setNeedsDisplay(true);
}

// ---- Entering and leaving ----

FSPresentationZoomPlayer FSPresentationWindowController::zoomPlayerFor(const std::shared_ptr<HXWindow>& player) const
{
    // The player window that shows the movie at a rectangle of the screen keeps the margins it has round
    // the movie now.
    const HXRect movie = _movieRectInPlayer;
    std::weak_ptr<HXWindow> weak = player;
    if (auto controller = playerMVPWindowController()) {
        std::weak_ptr<MVPWindowController> weakController = controller;
        return { player, [weakController](const HXRect& r) {
                    auto c = weakController.lock();
                    return c ? c->windowFrameForMovieViewScreenFrame(r) : r;
                } };
    }
    return { player, [weak, movie](const HXRect& r) {
                auto window = weak.lock();
                HXRect frame = window ? window->frame() : r;
                return HXRect { { r.origin.x - movie.origin.x, r.origin.y - movie.origin.y },
                    { r.size.width + frame.size.width - movie.size.width,
                        r.size.height + frame.size.height - movie.size.height } };
            } };
}

void FSPresentationWindowController::setState(FSPresentationState state)
{
    _state = state;
    const char* name = FSPresentationInactiveStateNotification;
    switch (state) {
    case FSPresentationState::Entering:
        name = FSPresentationEnteringFullScreenStateNotification;
        break;
    case FSPresentationState::FullScreen:
        name = FSPresentationFullScreenStateNotification;
        break;
    case FSPresentationState::Exiting:
        name = FSPresentationExitingFullScreenStateNotification;
        break;
    case FSPresentationState::Inactive:
        break;
    }
    HXNotificationCenter::defaultCenter().postNotification(HXNotification(name, this));
}

HXSize FSPresentationWindowController::resolutionSwitchSize(uint16_t mode, HXSize natural, HXSize user)
{
    switch (mode) {
    case FSPresentationModeHalfSize:
        return { natural.width * 0.5, natural.height * 0.5 };
    case FSPresentationModeDoubleSize:
        return { natural.width * 2, natural.height * 2 };
    case FSPresentationModeCurrentSize:
        return user;
    default:
        return natural;
    }
}

void FSPresentationWindowController::enterFullScreen()
{
    if (_isFullscreen || !haveApplication())
        return;
    auto& manager = FSPresentationManager::fsPresentationManager();
    auto available = manager.availableScreens();
    auto screen = presentationScreenSetting();
    if (!screen || std::find(available.begin(), available.end(), *screen) == available.end()) {
        if (available.empty())
            return;
        screen = available.front();
        _settings.screen = screen;
    }
    _screen = screen;
    _isFullscreen = true;
    manager.beginPresentationOnScreen(*screen);
    manager.addFSPresentation(this);
    setState(FSPresentationState::Entering);

    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    if (doc)
        setNaturalSize(doc->naturalSize());
    auto m = movie();
    if (!_settings.size || (*_settings.size & 0xFFFF) == FSPresentationModeDefault)
        _settings.size = int64_t(defaultPresentationModeForMovie(m.get(), _screen));
    // A panoramic stretch that this movie's pictures cannot take is a plain stretch.
    if (presentationMode() == FSPresentationModePanoramic && !isPanoramicStretchAvailable())
        _settings.size = int64_t(FSPresentationModeStretch);
    uint16_t mode = presentationMode();
    _doPanoramicStretch = mode == FSPresentationModePanoramic;
    if (presentationSettingForKey(FullscreenPreferenceSlideShowMode).isNull())
        _settings.slideShowMode = false;
    HXColor color = presentationColorSetting().value_or(HXColor::blackColor());
    _settings.color = color;

    if (m) {
        _initial.muted = m->isMuted();
        m->setMuted(false);
    }
    auto view = movieView();
    if (m && view->movie() != m)
        view->setMovie(m);

    auto& center = HXNotificationCenter::defaultCenter();
    _becameMainObserver = center.addObserver(this, HXWindowDidBecomeMainNotification, nullptr,
        [this](const HXNotification& n) { windowDidBecomeMain(n); });

    _initial.fillColor = view->fillColor();
    _initial.imageHook = view->willDisplayImage;
    _initial.preservesAspectRatio = view->preservesAspectRatio();
    view->setFillColor(color);
    view->willDisplayImage = nullptr;

    if (shouldHideCursor())
        HXCursor::setHiddenUntilMouseMoves(true);
    manager.enableSystemActivityTimer(true);

    auto fsWindow = presentationWindow();
    auto player = playerWindow();
    fsWindow->setBackgroundColor(color);
    if (player)
        HXWindow_FSPresentationWorkspaceAdditions::moveToSameWorkspaceAsWindow(*fsWindow, *player);

    const bool wantsSwitch = wantsResolutionSwitch();
    const bool zoom = _animate && !wantsSwitch && player;
    _zoomedIn = false;
    {
        ScreenUpdatesDisabled held;
        HXRect movieRectInPlayer = view->window() ? view->convertRectToView(view->movieBounds(), nullptr) : HXZeroRect;
        removeMovieViewFromPlayerWindow(view);
        fsWindow->contentView()->addSubview(view);
        view->setAutoresizingMask(HXViewNotSizable);

        if (zoom) {
            if (!_fsPresentationResizeHelper)
                _fsPresentationResizeHelper = std::make_unique<FSPresentationResizeHelper>(fsWindow, view);
            _movieRectInPlayer = movieRectInPlayer;
            FSPresentationZoomPlayer zoomPlayer = zoomPlayerFor(player);
            _fsPresentationResizeHelper->prepareZoomAnimationWithMovieFrameInPlayerWindow(
                movieRectInPlayer, zoomPlayer);
            view->setPreservesAspectRatio(false);
            HXEnableScreenUpdates();
            HXRect viewFrame, windowFrame;
            getMovieViewFrame(&viewFrame, &windowFrame, mode);
            _fsPresentationResizeHelper->zoomMovieToFrame(viewFrame, windowFrame);
            _zoomedIn = _fsPresentationResizeHelper->isPrepared();
            HXDisableScreenUpdates();
        } else {
            view->setPreservesAspectRatio(false);
            if (wantsSwitch) {
                HXSize size = resolutionSwitchSize(mode, naturalSizeForFrames(), doc ? doc->userSize() : HXSize {});
                switchResolutionToSize(size);
                if (_switchedResolution) {
                    // The display's frame follows its new mode.
                    if (auto now = HXScreen::screenWithNumber(_screen->screenNumber()))
                        _screen = _settings.screen = *now;
                }
            }
        }

        fsWindow->setFrame(_screen->frame(), false);
        // A display whose mode we switched keeps it only while nothing else is full screen on it: the
        // window then just covers the display.
        if (!_switchedResolution)
            fsWindow->setFullScreen(true, _screen);
        setPresentationMode(mode, false);
        fsWindow->makeKeyAndOrderFront();
    }

    setState(FSPresentationState::FullScreen);
    fsWindow->setAcceptsMouseMovedEvents(true);
    configureHUD();
    _screenParametersObserver = center.addObserver(this, HXApplicationDidChangeScreenParametersNotification,
        nullptr, [this](const HXNotification&) { applicationDidChangeScreenParameters(); });

    if (m) {
        if (_settings.slideShowMode.value_or(false)) {
            if (m->isPlaying())
                m->stop();
        } else if (MVTimeCompare(m->duration(), MVMakeTime(1, 1)) >= 0) {
            m->play();
        }
    }
}

void FSPresentationWindowController::configureHUD()
{
    auto m = movie();
    if (_fsPresentationHUDWindowController) {
        _fsPresentationHUDWindowController->setMovie(m);
        _fsPresentationHUDWindowController->setDelegate(this);
    } else {
        _fsPresentationHUDWindowController = FSPresentationHUDWindowController::fsPresentationHUDWindowControllerWithMovie(m, this);
    }
    auto& hud = *_fsPresentationHUDWindowController;
    hud.setFadeOutTime(double(presentationSettingForKey(FullscreenPreferenceHUDFadeOutTime).integerValue()));
    hud.setParentWindowRect(_screen ? _screen->frame() : HXZeroRect);
    HXPropertyList enable = presentationSettingForKey(FullscreenPreferenceEnableHUD);
    hud.setEnabled(enable.isNull() || enable.boolValue());
    if (hud.enabled() && _autoShowHUD && hud.fadeOutTime() == 0) {
        std::weak_ptr<FSPresentationHUDWindowController> weak = _fsPresentationHUDWindowController;
        HXRunLoop::main().performAfterDelay(this, "showHUD", 0, [weak] {
            if (auto panel = weak.lock())
                panel->showHUD(false);
        });
    }
}

void FSPresentationWindowController::exitFullScreen()
{
    if (_state != FSPresentationState::FullScreen)
        return;
    auto view = movieView();
    auto player = playerWindow();
    auto fsWindow = presentationWindow();
    setState(FSPresentationState::Exiting);
    if (player)
        HXWindow_FSPresentationWorkspaceAdditions::moveToSameWorkspaceAsWindow(*player, *fsWindow);

    auto& center = HXNotificationCenter::defaultCenter();
    if (_screenParametersObserver)
        center.removeObserver(_screenParametersObserver);
    _screenParametersObserver = 0;
    bool switched = _switchedResolution;
    if (switched)
        restoreResolution();
    HXRunLoop::main().cancelPerformRequests(this, "showHUD");
    if (_fsPresentationHUDWindowController) {
        _fsPresentationHUDWindowController->setEnabled(false);
        _fsPresentationHUDWindowController->hideHUD(false);
    }
    fsWindow->setAcceptsMouseMovedEvents(false);
    fsWindow->setFullScreen(false);

    // The way back plays only after a way in that was prepared; anything else returns at once.
    if (_animate && !switched && _zoomedIn && _fsPresentationResizeHelper && player) {
        FSPresentationZoomPlayer zoomPlayer = zoomPlayerFor(player);
        _fsPresentationResizeHelper->restoreMovieToPlayerWindow(zoomPlayer);
    }
    _zoomedIn = false;

    if (_becameMainObserver)
        center.removeObserver(_becameMainObserver);
    _becameMainObserver = 0;
    FSPresentationManager::fsPresentationManager().enableSystemActivityTimer(false);
    HXCursor::setHiddenUntilMouseMoves(false);
    if (_cursorTimer)
        _cursorTimer->invalidate();
    _cursorTimer.reset();

    {
        ScreenUpdatesDisabled held;
        view->willDisplayImage = _initial.imageHook;
        view->setFillColor(_initial.fillColor);
        view->setPreservesAspectRatio(_initial.preservesAspectRatio);
        _doPanoramicStretch = false;
        restoreMovieViewToPlayerWindow(view);
        fsWindow->orderOut();
        if (player)
            player->makeKeyAndOrderFront();
    }

    setState(FSPresentationState::Inactive);
    auto& manager = FSPresentationManager::fsPresentationManager();
    if (_screen)
        manager.endPresentationOnScreen(*_screen);
    manager.removeFSPresentation(this);
    _screen.reset();
    _isFullscreen = false;
    // Last, after the player window took over again: the movie is as muted as it was before.
    if (auto m = movie())
        m->setMuted(_initial.muted);
    if (_fsPresentationHUDWindowController)
        _fsPresentationHUDWindowController->setDelegate(nullptr);
}

void FSPresentationWindowController::setScale(double widthScale, double heightScale, bool animate)
{
    if (widthScale > 0 && heightScale > 0)
        _scale = { widthScale, heightScale };
    applyScale({ widthScale, heightScale }, animate);
}

void FSPresentationWindowController::fullScreen(HXObject*)
{
    exitFullScreen();
}

void FSPresentationWindowController::close()
{
    if (_isFullscreen) {
        _animate = false;
        exitFullScreen();
    }
}

void FSPresentationWindowController::stopObserving()
{
    auto& center = HXNotificationCenter::defaultCenter();
    for (auto* token : { &_becameMainObserver, &_screenParametersObserver }) {
        if (*token)
            center.removeObserver(*token);
        *token = 0;
    }
    HXRunLoop::main().cancelPerformRequests(this);
}

void FSPresentationWindowController::applicationDidChangeScreenParameters()
{
    if (_state != FSPresentationState::FullScreen || !_screen)
        return;
    if (!HXScreen_Additions::isActive(*_screen)) {
        std::optional<HXScreen> replacement;
        for (const auto& candidate : HXScreen::screens()) {
            if (HXScreen_Additions::isAliasOfScreen(*_screen, candidate)) {
                replacement = candidate;
                break;
            }
        }
        if (!replacement) {
            _animate = false;
            exitFullScreen();
            return;
        }
        _screen = _settings.screen = *replacement;
    } else if (auto now = HXScreen::screenWithNumber(_screen->screenNumber())) {
        _screen = _settings.screen = *now;
    }
    ScreenUpdatesDisabled held;
    auto fsWindow = presentationWindow();
    fsWindow->setFrame(_screen->frame(), false);
    setPresentationMode(presentationMode(), false);
    fsWindow->display();
}

// ---- Events ----

bool FSPresentationWindowController::handleEvent(const HXEvent& event)
{
    const bool slideShow = _settings.slideShowMode.value_or(false);
    auto& manager = FSPresentationManager::fsPresentationManager();
    auto hud = _fsPresentationHUDWindowController;
    switch (event.type()) {
    case HXLeftMouseDown:
        if (slideShow) {
            if (auto view = _movieView; view && view->playback())
                view->playback()->stepForward();
        } else if (_autoShowHUD) {
            manager.showHUDs(true);
        }
        return false;
    case HXLeftMouseUp:
    case HXMouseMoved:
    case HXLeftMouseDragged:
        if (!slideShow && _autoShowHUD && hud && hud->enabled())
            manager.showHUDs(true);
        else if (shouldHideCursor())
            hideCursorAfterDelay();
        return false;
    case HXKeyDown: {
        const std::string& chars = event.charactersIgnoringModifiers();
        if (chars.empty())
            return false;
        const char c = chars[0];
        const uint32_t flags = event.modifierFlags();
        if (c == HXEscapeCharacter) {
            exitFullScreen();
            return true;
        }
        if (c == '.' || c == 'w' || c == 'W') {
            if (!(flags & HXCommandKeyMask))
                return false;
            exitFullScreen();
            return true;
        }
        if (c == 'c' || c == 'C') {
            if (event.isARepeat() || !(flags & HXControlKeyMask))
                return true;
            if (hud && hud->isVisible())
                manager.hideHUDs(true);
            else
                manager.showHUDs(false);
            return true;
        }
        return false;
    }
    case HXEventTypeBeginGesture:
        return true;
    case HXScrollWheel:
    case HXEventTypeSwipe:
        if (_movieView)
            HXDispatchEventToResponder(*_movieView, event);
        if (!slideShow && _autoShowHUD)
            manager.showHUDs(true);
        return true;
    case HXEventTypeMagnify:
        magnifyWithEvent(event);
        return true;
    default:
        return false;
    }
}

void FSPresentationWindowController::magnifyWithEvent(const HXEvent& event)
{
    if (_state != FSPresentationState::FullScreen)
        return;
    double sum = event.magnification();
    const double threshold = HXEvent::standardMagnificationThreshold();
    auto window = presentationWindow();
    auto& loop = HXRunLoop::main();
    bool leave = sum <= -threshold;
    while (!leave) {
        // A gesture whose end never comes counts as over once its events stop.
        auto next = window->nextEventMatchingMask(
            HXEventMaskFromType(HXEventTypeMagnify) | HXEventMaskFromType(HXEventTypeEndGesture),
            loop.now() + FSPresentationGestureTimeout, HXEventTrackingRunLoopMode, true);
        if (!next || next->type() == HXEventTypeEndGesture)
            break;
        sum += next->magnification();
        leave = sum <= -threshold;
    }
    window->discardEventsMatchingMask(HXEventMaskFromType(HXEventTypeGesture)
        | HXEventMaskFromType(HXEventTypeMagnify) | HXEventMaskFromType(HXEventTypeSwipe)
        | HXEventMaskFromType(HXEventTypeRotate) | HXEventMaskFromType(HXEventTypeBeginGesture)
        | HXEventMaskFromType(HXEventTypeEndGesture));
    if (leave)
        exitFullScreen();
}

// ---- Cursor, main window, movie end ----

bool FSPresentationWindowController::shouldHideCursor() const
{
    // The pointer stays over a panorama, whose hot spots and views it works (our movies are never
    // interactive otherwise).
    auto m = movie();
    return !(m && m->isVRMovie());
}

void FSPresentationWindowController::hideCursorAfterDelay()
{
    if (_cursorTimer)
        _cursorTimer->invalidate();
    _cursorTimer.reset();
    if (!_isFullscreen)
        return;
    _cursorTimer = HXTimer::scheduledTimer(2.0, false, [this](HXTimer&) {
        if (shouldHideCursor())
            HXCursor::setHiddenUntilMouseMoves(true);
        _cursorTimer.reset();
    });
}

void FSPresentationWindowController::windowDidBecomeMain(const HXNotification& notification)
{
    if (_state != FSPresentationState::FullScreen)
        return;
    if (_cursorTimer)
        _cursorTimer->invalidate();
    _cursorTimer.reset();
    bool ours = _fsWindow && notification.object() == _fsWindow.get();
    bool hudVisible = _fsPresentationHUDWindowController && _fsPresentationHUDWindowController->isVisible();
    if (ours && shouldHideCursor() && !hudVisible)
        HXCursor::setHiddenUntilMouseMoves(true);
}

void FSPresentationWindowController::movieEnded()
{
    auto m = movie();
    if (!m || m->loopingMode() != MVMovieLoopingMode::None || _state != FSPresentationState::FullScreen)
        return;
    exitFullScreen();
}

// ---- Menus ----

bool FSPresentationWindowController::validateMenuItem(HXMenuItem& item)
{
    const std::pair<const char*, uint16_t> modes[] = { { "normalSize:", 0 }, { "doubleSize:", 1 },
        { "halfSize:", 2 }, { "fitToScreen:", 3 }, { "letterboxToScreen:", 16 }, { "cropToScreen:", 17 },
        { "stretchToScreen:", 18 }, { "panoramicStretchToScreen:", 19 } };
    for (auto [name, mode] : modes) {
        if (item.action() == HXSelector(name))
            item.setState(presentationMode() == mode ? HXOnState : HXOffState);
    }
    const std::pair<const char*, const char*> titles[] = { { "fitToScreen:", "mvpFitToScreen" },
        { "letterboxToScreen:", "mvpLetterbox" }, { "cropToScreen:", "mvpZoom" },
        { "stretchToScreen:", "mvpStretch" }, { "panoramicStretchToScreen:", "mvpPanoramicStretch" },
        { "fullScreen:", "mvpExitFullScreen" } };
    for (auto [name, key] : titles) {
        if (item.action() == HXSelector(name)) {
            std::string title = localized(key);
            if (!title.empty())
                item.setTitle(title);
        }
    }
    return validateUserInterfaceItem(item);
}

bool FSPresentationWindowController::validateUserInterfaceItem(const HXValidatedUserInterfaceItem& item)
{
    const HXSelector action = item.action();
    for (const char* name : { "fitToScreen:", "letterboxToScreen:", "cropToScreen:", "fullScreen:" }) {
        if (action == HXSelector(name))
            return true;
    }
    if (action == HXSelector("stretchToScreen:") || action == HXSelector("panoramicStretchToScreen:"))
        return _animate && imageFiltersAreAccelerated();
    for (const char* name : { "cut:", "copy:", "paste:", "delete:", "add:", "addScaled:", "replace:", "trim:",
             "selectAll:", "selectNone:" }) {
        if (action == HXSelector(name))
            return false;
    }
    return MVPWindowController::validateUserInterfaceItem(item);
}
