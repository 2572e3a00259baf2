// A finished recording opens as a movie document in the player's window, which the document makes
// through the maker the program installs at start-up: it goes in before any test runs.
#include "player/window/window_controller.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    MVPWindowController::installDocumentWindowMakers();
    return true;
}();

} // namespace
