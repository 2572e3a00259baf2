// The tests of this folder open documents with their player windows, full-screen presentations and
// properties windows, which the documents make through the makers the program installs at start-up: they
// go in before any test runs.
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/property_inspector_browser.h"
#include "player/window/window_controller.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    MVPWindowController::installDocumentWindowMakers();
    FSPresentationWindowController::installDocumentPresentationMakers();
    MVPPropertyInspectorBrowser::installDocumentPropertiesWindowMaker();
    return true;
}();

} // namespace
