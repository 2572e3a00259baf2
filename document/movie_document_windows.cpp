// The movie document's player window: which kind of window controller shows the movie, making it, and
// telling it about a new movie or changed content.
#include "document/movie_document.h"
#include "document/movie_progress_window_controller.h"

#include "app/content_guide_window_controller.h"
#include "player/window/controllerless_window_controller.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller.h"
#include "player/window/skinned_window_controller.h"
#include "player/window/window_controller.h"

#include "platform/mvkit/movie_view.h"
#include "platform/mvkit/skin_media.h"
#include "platform/winkit/application.h"
#include "platform/winkit/window.h"

MVPMovieDocument::PlayerWindowKind MVPMovieDocument::windowControllerKindForMovie(
    HXSize naturalSize, bool hasSkin, uint32_t controllerType, bool isReelspot)
{
    // Skinned and controller-less windows are shaped by the picture: a movie without one never gets them.
    bool hasPicture = naturalSize.width > 0 && naturalSize.height > 0;
    if (hasPicture && hasSkin)
        return PlayerWindowKind::Skinned;
    if (hasPicture && controllerType == MVMovieControllerTypeNone)
        return PlayerWindowKind::ControllerLess;
    if (isReelspot)
        return PlayerWindowKind::Featured;
    return PlayerWindowKind::Standard;
}

MVPMovieDocument::PlayerWindowKind MVPMovieDocument::windowControllerKindForCurrentMovie() const
{
    // A skin track whose data is malformed gives no skin: the movie shows in its usual window.
    bool hasSkin = _movie && MVMovieHasSkin(*_movie);
    return windowControllerKindForMovie(_naturalSize, hasSkin, movieControllerType(), _isReelspot);
}

std::shared_ptr<HXWindowController> MVPMovieDocument::makeWindowControllerOfKind(PlayerWindowKind kind)
{
    switch (kind) {
    case PlayerWindowKind::Skinned:
        return std::make_shared<MVPSkinWindowController>();
    case PlayerWindowKind::ControllerLess:
        return std::make_shared<MVPNoneWindowController>();
    case PlayerWindowKind::Featured:
        return std::make_shared<MVPContentGuideWindowController>();
    case PlayerWindowKind::Standard:
        break;
    }
    return std::make_shared<MVPMovieWindowController>();
}

MVPMovieDocument::PlayerWindowKind MVPMovieDocument::windowControllerKindOf(const HXWindowController& controller)
{
    if (dynamic_cast<const MVPSkinWindowController*>(&controller))
        return PlayerWindowKind::Skinned;
    if (dynamic_cast<const MVPNoneWindowController*>(&controller))
        return PlayerWindowKind::ControllerLess;
    if (dynamic_cast<const MVPContentGuideWindowController*>(&controller))
        return PlayerWindowKind::Featured;
    return PlayerWindowKind::Standard;
}

bool MVPMovieDocument::changeWindowControllerIfNecessary()
{
    if (!_playerWindowController || _fullScreen)
        return false;
    if (windowControllerKindOf(*_playerWindowController) == windowControllerKindForCurrentMovie())
        return false;
    auto old = _playerWindowController;
    if (old->isWindowLoaded())
        if (auto window = old->window()) {
            HXRect frame = window->frame();
            _persistentTopLeftPoint = { frame.origin.x, frame.origin.y + frame.size.height };
        }
    HXDisableScreenUpdates();
    // The controllers that served the old window have nothing to show any more: the presentation, the
    // progress sheet and the presentation settings sheet go with it (the new window makes its own).
    if (_fsPresentationWindowController)
        setFSPresentationWindowController(nullptr);
    if (auto progress = _movieProgressWindowController)
        removeWindowController(progress);
    dropPresentationSettingsSheet();
    removeWindowController(old);
    if (old->isWindowLoaded())
        if (auto window = old->window())
            window->orderOut();
    makeWindowControllers();
    syncWindowControllerToNewMovie();
    _playerWindowController->showWindow();
    HXEnableScreenUpdates();
    return true;
}

std::shared_ptr<HXWindowController> MVPMovieDocument::makePlayerWindowController()
{
    return makeWindowControllerOfKind(windowControllerKindForCurrentMovie());
}

void MVPMovieDocument::syncWindowControllerToNewMovie()
{
    if (!_playerWindowController)
        return;
    if (auto controller = std::dynamic_pointer_cast<MVPWindowController>(_playerWindowController)) {
        controller->syncToNewMovie();
        return;
    }
    _playerWindowController->synchronizeWindowTitleWithDocumentName();
    if (auto window = _playerWindowController->window())
        if (auto movieView = std::dynamic_pointer_cast<MVMovieView>(window->contentView()))
            movieView->setMovie(_movie);
}

void MVPMovieDocument::syncWindowControllerToChangeInMovieContent()
{
    if (_fullScreen) {
        _playerWindowControllerNeedsMovieContentSync = true;
        return;
    }
    if (auto controller = std::dynamic_pointer_cast<MVPWindowController>(_playerWindowController))
        controller->syncToChangeInMovieContent();
}

HXSize MVPMovieDocument::displayedMovieSize() const
{
    if (!_playerWindowController || !_playerWindowController->isWindowLoaded())
        return {};
    if (auto controller = std::dynamic_pointer_cast<MVPWindowController>(_playerWindowController)) {
        const auto& view = controller->movieView();
        return view && view->window() ? view->displayedMovieSize() : HXSize {};
    }
    auto view = _playerWindowController->window()->contentView();
    return view ? view->frame().size : HXSize {};
}
