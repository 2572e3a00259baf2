#include "player/window/image_for_current_os.h"
#include "player/window/movie_window_background_view.h"
#include "player/window/movie_window_bevel_view.h"
#include "player/window/movie_window_controller_resizing.h"
#include "player/window/smile_view.h"

#include "platform/drawing/image.h"
#include "platform/winkit/application.h"
#include "platform/winkit/headless_window_server.h"
#include "platform/winkit/window.h"
#include "tests/platform/drawing/pixels.h"

#include <gtest/gtest.h>

namespace {

class FlippedBevelView : public MVPMovieWindowBevelView {
public:
    using MVPMovieWindowBevelView::MVPMovieWindowBevelView;
    bool isFlipped() const override { return true; }
};

TEST(MovieWindowViews, BevelThicknessFollowsTheLowerEdgeAsSeen)
{
    auto plain = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, 0, 300, 200));
    auto flipped = std::make_shared<FlippedBevelView>(HXMakeRect(0, 0, 300, 200));
    const struct {
        HXRectEdge edge;
        float plain, flipped;
    } cases[] = { { HXMinXEdge, 0, 0 }, { HXMaxXEdge, 0, 0 }, { HXMinYEdge, 5, 1 }, { HXMaxYEdge, 1, 5 } };
    for (const auto& c : cases) {
        EXPECT_EQ(plain->contentBorderThicknessForEdge(c.edge), c.plain) << c.edge;
        EXPECT_EQ(flipped->contentBorderThicknessForEdge(c.edge), c.flipped) << c.edge;
    }
    EXPECT_EQ(plain->contentRect(), HXMakeRect(0, 5, 300, 194));
    EXPECT_EQ(flipped->contentRect(), HXMakeRect(0, 1, 300, 194));
}

TEST(MovieWindowViews, BevelKeepsItsContentViewInTheContentRect)
{
    auto bevel = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, 0, 300, 200));
    auto first = std::make_shared<HXView>();
    bevel->setContentView(first);
    EXPECT_EQ(first->frame(), HXMakeRect(0, 5, 300, 194));
    EXPECT_EQ(first->superview(), bevel);
    bevel->setFrameSize(HXMakeSize(400, 300));
    EXPECT_EQ(first->frame(), HXMakeRect(0, 5, 400, 294));

    auto second = std::make_shared<HXView>();
    bevel->setContentView(second);
    EXPECT_EQ(first->superview(), nullptr);
    EXPECT_EQ(second->frame(), HXMakeRect(0, 5, 400, 294));
    EXPECT_EQ(bevel->subviews().size(), 1u);
}

TEST(MovieWindowViews, BevelLinesAroundTheMovie)
{
    // Content rectangle (0, 5, 20, 14): dark lines at y 19 and 4, the light one at 3. Rows count from the
    // top of the image.
    auto bevel = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, 0, 20, 20));
    CurrentContext px(20, 20);
    bevel->drawRect(bevel->bounds());
    const HXRGBAPixel darkInactive { 64, 64, 64, 128 }, light { 255, 255, 255, 102 };
    EXPECT_TRUE(near(px(10, 0), darkInactive)) << px(10, 0);
    EXPECT_TRUE(near(px(10, 15), darkInactive)) << px(10, 15);
    EXPECT_TRUE(near(px(10, 16), light)) << px(10, 16);
    EXPECT_EQ(px(10, 10), HXRGBAPixel {});
    EXPECT_EQ(px(10, 19), HXRGBAPixel {});

    // In the main window the dark lines are opaque.
    HXHeadlessWindowServer::install();
    auto window = std::make_shared<HXWindow>(HXMakeRect(100, 100, 20, 20), HXTitledWindowMask);
    window->setContentView(bevel);
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(window->isMainWindow());
    CurrentContext main(20, 20);
    bevel->drawRect(bevel->bounds());
    EXPECT_TRUE(near(main(10, 0), { 64, 64, 64, 255 })) << main(10, 0);
    window->close();
    window.reset();
    HXApplication::setSharedApplication(nullptr);
}

TEST(MovieWindowViews, BackgroundKeepsTheMovieShapeOnWholePixels)
{
    const struct {
        const char* what;
        HXSize aspect;
        bool preserves;
        HXRect content;
    } cases[] = {
        // (0, 87.5, 400, 225): the size kept, the half pixel of the origin rounded.
        { "16:9 kept", { 16, 9 }, true, HXMakeRect(0, 88, 400, 225) },
        { "9:16 kept", { 9, 16 }, true, HXMakeRect(88, 0, 225, 400) },
        // An odd width centred in an even one sits at a half pixel; the picture stays 161 wide.
        { "161 × 400 kept", { 161, 400 }, true, HXMakeRect(120, 0, 161, 400) },
        { "400 × 121 kept", { 400, 121 }, true, HXMakeRect(0, 140, 400, 121) },
        { "stretched", { 16, 9 }, false, HXMakeRect(0, 0, 400, 400) },
        { "no proportions", { 0, 9 }, true, HXZeroRect },
        { "no proportions, stretched", { 16, 0 }, false, HXZeroRect },
    };
    for (const auto& c : cases) {
        auto background = std::make_shared<MVPMovieWindowBackgroundView>(HXMakeRect(0, 0, 400, 400));
        auto movie = std::make_shared<HXView>();
        background->setContentView(movie);
        background->setAspectRatio(c.aspect);
        background->setPreservesAspectRatio(c.preserves);
        EXPECT_EQ(background->contentRect(), c.content) << c.what;
        EXPECT_EQ(movie->frame(), c.content) << c.what;
    }
}

TEST(MovieWindowViews, BackgroundRoundsInWindowCoordinates)
{
    // Half a point off the pixel grid: the movie's rectangle snaps to the grid, not to the view's origin.
    auto parent = std::make_shared<HXView>(HXMakeRect(0, 0, 500, 500));
    auto background = std::make_shared<MVPMovieWindowBackgroundView>(HXMakeRect(10.5, 0, 400, 400));
    parent->addSubview(background);
    background->setAspectRatio({ 16, 9 });
    background->setPreservesAspectRatio(true);
    EXPECT_EQ(background->contentRect(), HXMakeRect(0.5, 88, 400, 225));

    auto movie = std::make_shared<HXView>();
    background->setContentView(movie);
    background->setFrameSize(HXMakeSize(200, 400));
    EXPECT_EQ(movie->frame(), HXMakeRect(0.5, 144, 200, 113));
    background->setContentView(nullptr);
    EXPECT_EQ(movie->superview(), nullptr);
    EXPECT_TRUE(background->subviews().empty());
}

TEST(MovieWindowViews, SmileShadesOnlyWhatIsDrawnBelowIt)
{
    auto smile = std::make_shared<MVPSmileView>(HXMakeRect(0, 0, 100, 30));
    {
        // On a transparent strip the shade adds nothing (source-atop); only the rim line shows.
        CurrentContext px(100, 30);
        smile->drawRect(smile->bounds());
        EXPECT_EQ(px(5, 24), HXRGBAPixel {}) << px(5, 24);
    }
    CurrentContext px(100, 30);
    HXColor::whiteColor().setFill();
    HXRectFill(HXMakeRect(0, 0, 100, 30));
    smile->drawRect(smile->bounds());
    // Inside the shade, outside a main window: gray 0.4 at 0.3 over white.
    EXPECT_TRUE(near(px(5, 24), { 209, 209, 209, 255 })) << px(5, 24);
    // Above the curve in the middle: untouched.
    EXPECT_EQ(px(50, 10), (HXRGBAPixel { 255, 255, 255, 255 }));
    EXPECT_FALSE(MVPSmileView::label().has_value()); // no label unless the environment asks for one
}

TEST(MovieWindowViews, NewerArtworkIsPreferred)
{
    auto plain = HXImage::initWithSize({ 1, 1 });
    auto newer = HXImage::initWithSize({ 2, 2 });
    auto only = HXImage::initWithSize({ 3, 3 });
    plain->setName("test-artwork");
    newer->setName("test-artwork-Kestrel");
    only->setName("test-only-plain");
    EXPECT_EQ(MVPImageByNameForCurrentOS("test-artwork"), newer);
    EXPECT_EQ(MVPImageByNameForCurrentOS("test-only-plain"), only);
    EXPECT_EQ(MVPImageByNameForCurrentOS("test-no-such-artwork"), nullptr);
    for (auto& image : { plain, newer, only })
        image->setName("");
}

TEST(MovieWindowViews, MarginsComeFromTheBevelAndTheControlsStrip)
{
    // A content view holding the controls strip along the bottom and the bevel above it.
    auto content = std::make_shared<HXView>(HXMakeRect(0, 0, 640, 530));
    auto strip = std::make_shared<HXView>(HXMakeRect(0, 0, 640, 42));
    auto bevel = std::make_shared<MVPMovieWindowBevelView>(HXMakeRect(0, 42, 640, 488));
    content->addSubview(strip);
    content->addSubview(bevel);
    EXPECT_EQ(MVPMovieWindowMarginsForViews(*bevel, *strip), (MVPMovieWindowMargins { 0, 1, 0, 47 }));
    EXPECT_EQ(MVPMinimumWindowContentSizeForControlsStrip(*strip), HXMakeSize(350, 42));

    // A strip drawn at half scale (its bounds half its frame): 350 of its units are 700 of the window's.
    strip->setBoundsSize(HXMakeSize(320, 21));
    EXPECT_EQ(MVPMinimumWindowContentSizeForControlsStrip(*strip), HXMakeSize(700, 42));
    EXPECT_EQ(MVPMovieWindowMarginsForViews(*bevel, *strip).bottom, 47);
}

} // namespace
