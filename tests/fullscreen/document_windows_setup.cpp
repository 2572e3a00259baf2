// The tests of this folder present documents full screen from the player's windows, which the documents
// make through the makers the program installs at start-up: they go in before any test runs.
#include "fullscreen/presentation_window_controller.h"
#include "player/window/window_controller.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    MVPWindowController::installDocumentWindowMakers();
    FSPresentationWindowController::installDocumentPresentationMakers();
    return true;
}();

} // namespace
