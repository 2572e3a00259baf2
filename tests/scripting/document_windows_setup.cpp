// The tests of this folder open documents in the windows of the layers above the document, which the
// documents make through the makers the program installs at start-up (the application delegate installs
// them, and the info panel's, when it is made): the windows' go in before any test runs.
#include "app/content_guide_window_controller.h"
#include "fullscreen/presentation_window_controller.h"
#include "inspectors/property_inspector_browser.h"
#include "player/window/window_controller.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    MVPWindowController::installDocumentWindowMakers();
    MVPContentGuideWindowController::installDocumentWindowMaker();
    FSPresentationWindowController::installDocumentPresentationMakers();
    MVPPropertyInspectorBrowser::installDocumentPropertiesWindowMaker();
    return true;
}();

} // namespace
