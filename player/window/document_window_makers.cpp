// The player's windows, made for the documents through the makers of document/document_windows.h.
#include "player/window/composition_window_controller.h"
#include "player/window/controllerless_window_controller.h"
#include "player/window/movie_window_controller.h"
#include "player/window/skinned_window_controller.h"

void MVPWindowController::installDocumentWindowMakers()
{
    MVPDocumentPlayerWindow::setMaker(
        MVPPlayerWindowKind::Standard, [] { return std::make_shared<MVPMovieWindowController>(); });
    MVPDocumentPlayerWindow::setMaker(
        MVPPlayerWindowKind::Skinned, [] { return std::make_shared<MVPSkinWindowController>(); });
    MVPDocumentPlayerWindow::setMaker(
        MVPPlayerWindowKind::ControllerLess, [] { return std::make_shared<MVPNoneWindowController>(); });
    MVPVitrelCompController::installDocumentWindowMaker();
}
