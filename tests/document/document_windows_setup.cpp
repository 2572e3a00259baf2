// The movie documents of these tests show in stand-ins of the player window and the presentation
// (document_window_stand_ins.h): they go in before any test runs.
#include "document_window_stand_ins.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    movara::test::document::installDocumentWindowStandIns();
    return true;
}();

} // namespace
