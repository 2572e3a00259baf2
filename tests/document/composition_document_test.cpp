// The composition document: which document a composition file becomes and its attribute texts. Its
// window, transport, full screen and saving are checked with the player's window
// (tests/player/composition_window_test.cpp).
#include "composition_test_support.h"

#include "platform/mvkit/movie.h"
#include "platform/vckit/composition_movie_export.h"

namespace movara::test::document {
namespace {

TEST(CompositionAttributes, RatesAndLoadsAreWrittenWholeOrWithTwoDecimals)
{
    struct Case {
        double value;
        const char* fps;
        const char* load;
    };
    const Case cases[] = { { 30, "30", "30%" }, { 29.97, "29.97", "29.97%" }, { 12.5, "12.50", "12.50%" },
        { 0, "0", "0%" }, { 100, "100", "100%" } };
    for (const auto& c : cases) {
        EXPECT_EQ(MVPVitrelCompDocument::fpsStringForRate(c.value), c.fps);
        EXPECT_EQ(MVPVitrelCompDocument::loadStringForLoad(c.value), c.load);
    }
}

TEST_F(CompositionDocumentTest, ACompositionOpensAsACompositionUnlessTheLayerIsMissing)
{
    EXPECT_TRUE(MVPVitrelCompDocument::isVitrelSupported()) << "the composition layer is linked in";
    HXError error;
    auto doc = MVPVitrelCompDocument::documentWithContentsOfFile(
        (dir / "blue.vcomp").string(), MVPVitrelCompositionDocumentType, &error);
    ASSERT_TRUE(std::dynamic_pointer_cast<MVPVitrelCompDocument>(doc));
    EXPECT_EQ(doc->displayName(), "Blue Hour");

    // Without the layer the file goes to the movie document: a movie file opens as one.
    MVPVitrelCompDocument::setVitrelSupportedOverride(false);
    std::string moviePath = (dir / "m.mov").string();
    ASSERT_TRUE(VCCompositionFileWriteMovieFile((dir / "blue.vcomp").string(), moviePath, 0, 0, 0.2, &error));
    auto movieDoc = MVPVitrelCompDocument::documentWithContentsOfFile(moviePath, "Movie-Movara", &error);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieDocument>(movieDoc));
    auto failed = MVPVitrelCompDocument::documentWithContentsOfFile(
        (dir / "blue.vcomp").string(), "Movie-Movara", &error);
    EXPECT_FALSE(failed) << "a composition is no movie";

    MVPVitrelCompDocument::setVitrelSupportedOverride(true);
    EXPECT_FALSE(MVPVitrelCompDocument::documentWithContentsOfFile(
        (dir / "missing.vcomp").string(), MVPVitrelCompositionDocumentType, &error));
    EXPECT_EQ(error.domain(), VCCompositionErrorDomain);
}

} // namespace
} // namespace movara::test::document
