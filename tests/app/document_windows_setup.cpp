// The tests of this folder open documents in the windows of the layers above the document, which the
// documents make through the makers the program installs at start-up: the application delegate's go in
// before any test runs.
#include "app/application_delegate.h"

namespace {

[[maybe_unused]] const bool documentWindowsInstalled = [] {
    MVPApplicationDelegate::installDocumentMakers();
    return true;
}();

} // namespace
