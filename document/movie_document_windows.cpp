// The movie document's player window: which kind of window controller shows the movie, making it (through
// the makers the player installs, document/document_windows.h), and telling it about a new movie or
// changed content.
#include "document/movie_document.h"
#include "document/movie_progress_window_controller.h"

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
    return MVPDocumentPlayerWindow::make(kind);
}

MVPMovieDocument::PlayerWindowKind MVPMovieDocument::windowControllerKindOf(const HXWindowController& controller)
{
    if (auto player = dynamic_cast<const MVPDocumentPlayerWindow*>(&controller))
        return player->playerWindowKind();
    return PlayerWindowKind::Standard;
}

MVPDocumentPlayerWindow* MVPMovieDocument::playerWindow() const
{
    return dynamic_cast<MVPDocumentPlayerWindow*>(_playerWindowController.get());
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
    if (_playerWindowController)
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
    if (auto player = playerWindow()) {
        player->syncToNewMovie();
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
    if (auto player = playerWindow())
        player->syncToChangeInMovieContent();
}

HXSize MVPMovieDocument::displayedMovieSize() const
{
    if (!_playerWindowController || !_playerWindowController->isWindowLoaded())
        return {};
    if (auto player = playerWindow())
        return player->displayedMovieSize();
    auto view = _playerWindowController->window()->contentView();
    return view ? view->frame().size : HXSize {};
}
