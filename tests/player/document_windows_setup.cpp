// The tests of this folder open documents in the player's windows, which the documents make through the
// makers the program installs at start-up: they go in before any test runs.
#include "player/window/window_controller.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    MVPWindowController::installDocumentWindowMakers();
    return true;
}();

} // namespace
