#include "fullscreen/presentation_window_controller.h"

#include "document/movie_document.h"
#include "fullscreen/presentation_manager.h"
#include "platform/basekit/notification_center.h"

#include <algorithm>

FSPresentationWindowController::FSPresentationWindowController() = default;

FSPresentationWindowController::~FSPresentationWindowController()
{
    // A controller that goes away while presenting gives its screen back.
    if (_screen)
        FSPresentationManager::fsPresentationManager().endPresentationOnScreen(*_screen);
    FSPresentationManager::fsPresentationManager().removeFSPresentation(this);
}

void FSPresentationWindowController::loadWindow()
{
    // The presentation window covers the screen; it is made when there is one to cover.
    HXRect frame = _screen ? _screen->frame() : HXRect {};
    auto window = std::make_shared<HXWindow>(frame, HXBorderlessWindowMask);
    window->setLevel(HXScreenSaverWindowLevel);
    setWindow(window);
}

void FSPresentationWindowController::syncToNewMovie()
{
    auto doc = std::dynamic_pointer_cast<MVPMovieDocument>(document());
    _movie = doc ? doc->movie() : nullptr;
}

void FSPresentationWindowController::syncToChangeInMovieContent()
{
    auto m = movie();
    bool streaming = m && m->URL() && !m->URL()->isFileURL();
    if (isFullscreen() && (!m || (!m->hasVideo() && !streaming)))
        exitFullScreen();
}

void FSPresentationWindowController::enterFullScreen()
{
    if (_state != FSPresentationState::Inactive)
        return;
    auto available = FSPresentationManager::fsPresentationManager().availableScreens();
    if (available.empty())
        return;
    HXScreen screen = available.front();
    if (_settings.screen
        && std::find(available.begin(), available.end(), *_settings.screen) != available.end())
        screen = *_settings.screen;
    _screen = screen;
    _settings.screen = screen;
    FSPresentationManager::fsPresentationManager().beginPresentationOnScreen(screen);
    FSPresentationManager::fsPresentationManager().addFSPresentation(this);
    setState(FSPresentationState::Entering);
    if (!isWindowLoaded())
        loadWindow();
    window()->setFrame(screen.frame(), true);
    window()->orderFront();
    setState(FSPresentationState::FullScreen);
}

void FSPresentationWindowController::exitFullScreen()
{
    if (_state != FSPresentationState::FullScreen)
        return;
    setState(FSPresentationState::Exiting);
    if (isWindowLoaded())
        window()->orderOut();
    if (_screen)
        FSPresentationManager::fsPresentationManager().endPresentationOnScreen(*_screen);
    _screen.reset();
    setState(FSPresentationState::Inactive);
    FSPresentationManager::fsPresentationManager().removeFSPresentation(this);
}

void FSPresentationWindowController::setScale(double widthScale, double heightScale, bool animate)
{
    if (widthScale > 0 && heightScale > 0)
        _scale = { widthScale, heightScale };
    applyScale({ widthScale, heightScale }, animate);
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
