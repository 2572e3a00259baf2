// The player window's controls strip: binding its views (time display, volume, transport bar) to the
// document's movie and threading them into the window's keyboard loop.
#include "player/window/movie_window_controller.h"

#include "core/preferences.h"
#include "document/movie_document.h"
#include "player/controls/image_button.h"
#include "player/controls/movie_controls_view.h"
#include "player/controls/movie_volume_view.h"
#include "player/timeline/lcd_view.h"
#include "player/window/movie_view.h"

#include "platform/winkit/window.h"

void MVPMovieWindowController::bindControlsStrip()
{
    auto m = movie();
    if (_movieControlsView) {
        if (_movieControlsView->movie() != m)
            _movieControlsView->setMovie(m);
        _movieControlsView->update();
    }
    if (_movieVolumeView) {
        if (_movieVolumeView->movie() != m)
            _movieVolumeView->setMovie(m);
        _movieVolumeView->update();
    }
    if (_LCDView) {
        // While full screen shows the movie, the time display follows nothing.
        auto shown = _windowUpdatesStopped ? nullptr : m;
        if (_LCDView->movie() != shown)
            _LCDView->setMovie(shown);
        if (_LCDView->movieView() != movieView())
            _LCDView->setMovieView(movieView());
        _LCDView->setEqualizerEnabled(
            MVPPreferences::preferences().preference(kGeneralPreferenceShowEqualizer).boolValue());
        if (_LCDView->editingEnabled() != _editable)
            _LCDView->setEditingEnabled(_editable);
    }
}

void MVPMovieWindowController::unbindControlsStrip()
{
    if (_movieControlsView)
        _movieControlsView->setMovie(std::shared_ptr<MVMovie>());
    if (_movieVolumeView)
        _movieVolumeView->setMovie(std::shared_ptr<MVMovie>());
    if (_LCDView)
        _LCDView->setMovie(nullptr);
}

std::shared_ptr<HXView> MVPMovieWindowController::playButton() const
{
    return _movieControlsView ? _movieControlsView->button(MVPMovieControlsView::CenterButton) : nullptr;
}

void MVPMovieWindowController::updateMovieAndVolumeControls()
{
    if (_movieControlsView)
        _movieControlsView->update();
    if (_movieVolumeView)
        _movieVolumeView->update();
}

void MVPMovieWindowController::rebuildKeyViewLoop()
{
    auto view = movieView();
    auto w = isWindowLoaded() ? window() : nullptr;
    if (!view || !w)
        return;
    // Movie view, then the time display's controls, the volume and the transport bar, back to the movie.
    std::shared_ptr<HXView> last = view;
    auto append = [&last](std::shared_ptr<HXView> linked) {
        if (linked)
            last = std::move(linked);
    };
    if (_LCDView)
        append(_LCDView->appendKeyViewsTo(last));
    if (_movieVolumeView)
        append(_movieVolumeView->appendKeyViewsTo(last));
    if (_movieControlsView)
        append(_movieControlsView->appendKeyViewsTo(last));
    last->setNextKeyView(view);
    w->setInitialFirstResponder(view);
}
