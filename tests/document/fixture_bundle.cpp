// Every test of this program reads its localized texts from a small strings table of its own, so that
// the expected texts do not follow the shipped English wording.
#include <cstdlib>

namespace {

[[maybe_unused]] const bool fixtureBundleChosen = [] {
    setenv("MOVARA_BUNDLE_DIR", MOVARA_SOURCE_DIR "/tests/document/fixtures/bundle", 1);
    return true;
}();

} // namespace
