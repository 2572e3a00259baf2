// The player window's controls strip: binding its views to the document's movie and threading them into
// the window's keyboard loop. A place whose control is not there yet holds a plain view, left alone.
#include "player/window/movie_window_controller.h"

#include "app/preferences.h"
#include "document/movie_document.h"
#include "player/window/movie_view.h"

#include "platform/winkit/window.h"

void MVPMovieWindowController::bindControlsStrip()
{
}

void MVPMovieWindowController::updateMovieAndVolumeControls()
{
}

void MVPMovieWindowController::rebuildKeyViewLoop()
{
    auto view = movieView();
    auto w = isWindowLoaded() ? window() : nullptr;
    if (!view || !w)
        return;
    std::shared_ptr<HXView> last = view;
    last->setNextKeyView(view);
    w->setInitialFirstResponder(view);
}
