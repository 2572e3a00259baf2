// The featured movie's window: a plain window without the player's controls, sized to the movie, placed
// where it was last closed (or near the top left of the screen), saving its place when it closes and at
// quit, and closing the featured document with it.
#include "app_test_fixtures.h"

#include "app/content_guide_window_controller.h"
#include "player/window/movie_view.h"
#include "player/window/movie_window_controller.h"

#include "platform/basekit/user_defaults.h"
#include "platform/drawing/geometry.h"
#include "platform/winkit/screen.h"
#include "platform/winkit/window.h"

namespace {

using movara::apptest::PlayerTest;

class FeaturedMovieWindowTest : public PlayerTest {
protected:
    void SetUp() override
    {
        PlayerTest::SetUp();
        HXUserDefaults::standardUserDefaults().removeObjectForKey(MVPContentGuideWindowLocation);
    }

    // Opens the featured movie (at `path` when given) and answers its document.
    std::shared_ptr<MVPMovieDocument> openFeatured(const std::string& path = {})
    {
        if (!path.empty())
            outside.featuredPath = path;
        delegate->openReelspotMovie(false);
        return delegate->contentGuide();
    }

    static std::shared_ptr<MVPContentGuideWindowController> controllerOf(const MVPMovieDocument& doc)
    {
        return std::dynamic_pointer_cast<MVPContentGuideWindowController>(doc.playerWindowController());
    }

    static HXRect contentOf(const HXWindow& w) { return w.contentRectForFrameRect(w.frame()); }
    static HXPoint topLeftOf(const HXRect& r) { return { r.origin.x, HXMaxY(r) }; }

    // A movie of `width` × `height` made once with ffmpeg.
    static std::string movieOfSize(int width, int height)
    {
        auto path
            = moviesFolder() / ("size-" + std::to_string(width) + "x" + std::to_string(height) + ".mov");
        if (!std::filesystem::exists(path)) {
            auto made = movara::test::runCommand(
                { "ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=" + std::to_string(width) + "x" + std::to_string(height)
                        + ":rate=10:duration=0.3",
                    "-c:v", "mpeg4", path.string() });
            EXPECT_EQ(made.status, 0);
        }
        return path.string();
    }
};

TEST_F(FeaturedMovieWindowTest, TheFeaturedMovieShowsInItsOwnPlainWindow)
{
    auto doc = openFeatured();
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->windowControllerKindForCurrentMovie(), MVPMovieDocument::PlayerWindowKind::Featured);
    auto controller = controllerOf(*doc);
    ASSERT_TRUE(controller) << "the featured document has the featured window's controller";
    EXPECT_FALSE(std::dynamic_pointer_cast<MVPMovieWindowController>(doc->playerWindowController()));
    auto w = controller->window();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    const unsigned style = HXTitledWindowMask | HXClosableWindowMask | HXMiniaturizableWindowMask;
    EXPECT_EQ(w->styleMask() & style, style) << "titled, closable and miniaturizable";
    EXPECT_FALSE(w->styleMask() & HXResizableWindowMask) << "the user cannot resize it";
    EXPECT_EQ(w->contentMinSize(), (HXSize { 20, 20 }));
    EXPECT_TRUE(controller->shouldCloseDocument());

    auto view = controller->movieView();
    ASSERT_TRUE(view);
    EXPECT_EQ(w->contentView(), view);
    EXPECT_FALSE(view->isControllerVisible()) << "no controller bar";
    EXPECT_TRUE(view->preservesAspectRatio());
    EXPECT_EQ(view->movie(), doc->movie());
    EXPECT_EQ(contentOf(*w).size, (HXSize { 64, 48 })) << "the window fits the movie's natural size";
    EXPECT_EQ(w->title(), doc->displayName());
}

TEST_F(FeaturedMovieWindowTest, AnOrdinaryMovieKeepsThePlayerWindow)
{
    ASSERT_TRUE(delegate->createMovieDocumentWithFile(movie("plain.mov"), true, false));
    auto docs = documents();
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_FALSE(controllerOf(*docs[0]));
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(docs[0]->playerWindowController()));
}

TEST_F(FeaturedMovieWindowTest, PlacementWithoutASavedPlaceIsNearTheScreensTopLeft)
{
    auto doc = openFeatured();
    ASSERT_TRUE(doc);
    auto w = controllerOf(*doc)->window();
    auto screen = HXScreen::mainScreen();
    ASSERT_TRUE(screen);
    HXRect visible = screen->visibleFrame();
    HXPoint topLeft = topLeftOf(w->frame());
    EXPECT_GE(topLeft.x, visible.origin.x);
    EXPECT_LE(topLeft.x, visible.origin.x + 40);
    EXPECT_LE(topLeft.y, HXMaxY(visible));
    EXPECT_GE(topLeft.y, HXMaxY(visible) - 40);
}

TEST_F(FeaturedMovieWindowTest, SavedPlaceGivesTheTopLeftCornerButNotTheSize)
{
    struct Case {
        const char* name;
        HXRect saved;
    };
    const Case cases[] = {
        { "same size as the movie", { { 300, 200 }, { 64, 70 } } },
        { "a larger saved size", { { 120, 500 }, { 400, 300 } } },
        { "a smaller saved size", { { 700, 100 }, { 30, 25 } } },
    };
    auto screen = HXScreen::mainScreen();
    ASSERT_TRUE(screen);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HXUserDefaults::standardUserDefaults().setObject(
            HXPropertyList(HXStringFromRect(c.saved)), MVPContentGuideWindowLocation);
        auto doc = openFeatured();
        ASSERT_TRUE(doc);
        auto w = controllerOf(*doc)->window();
        EXPECT_EQ(topLeftOf(w->frame()), topLeftOf(c.saved));
        EXPECT_EQ(contentOf(*w).size, (HXSize { 64, 48 }));
        w->performClose();
        EXPECT_FALSE(delegate->contentGuide());
    }

    // A place saved on a screen that is gone is not used: the window opens near the screen's top left.
    HXUserDefaults::standardUserDefaults().setObject(
        HXPropertyList(HXStringFromRect({ { 6000, 5000 }, { 64, 70 } })), MVPContentGuideWindowLocation);
    auto doc = openFeatured();
    ASSERT_TRUE(doc);
    HXRect frame = controllerOf(*doc)->window()->frame();
    EXPECT_TRUE(HXIntersectsRect(frame, screen->frame())) << HXStringFromRect(frame);
}

TEST_F(FeaturedMovieWindowTest, ClosingSavesThePlaceAndReopeningReturnsThere)
{
    auto doc = openFeatured();
    ASSERT_TRUE(doc);
    auto w = controllerOf(*doc)->window();
    w->setFrameTopLeftPoint({ 500, 600 });
    HXRect frame = w->frame();
    std::weak_ptr<MVPMovieDocument> weak = doc;
    doc.reset();
    w->performClose();
    EXPECT_TRUE(weak.expired() || !delegate->contentGuide()) << "closing the window closes the document";
    EXPECT_TRUE(documents().empty());
    EXPECT_EQ(
        HXRectFromString(HXUserDefaults::standardUserDefaults().stringForKey(MVPContentGuideWindowLocation)),
        frame);

    auto again = openFeatured();
    ASSERT_TRUE(again);
    auto w2 = controllerOf(*again)->window();
    EXPECT_EQ(topLeftOf(w2->frame()), (HXPoint { 500, 600 }));
    EXPECT_EQ(contentOf(*w2).size, (HXSize { 64, 48 }));
}

TEST_F(FeaturedMovieWindowTest, AMovieBelowTwentyPointsLeavesTheWindowSize)
{
    struct Case {
        const char* name;
        int width, height;
        bool follows;
    };
    const Case cases[] = {
        { "narrow", 10, 300, false },
        { "low", 300, 10, false },
        { "twenty square", 20, 20, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = openFeatured(movieOfSize(c.width, c.height));
        ASSERT_TRUE(doc);
        auto w = controllerOf(*doc)->window();
        HXSize before = contentOf(*w).size;
        // The first show: the movie's size, or the window's minimum rather than its first 1 × 1.
        const HXSize movieSize { double(c.width), double(c.height) };
        EXPECT_EQ(before, (c.follows ? movieSize : HXSize { 20, 20 }));
        // A later change of content with a movie of that size leaves the window as it is.
        w->setContentSize({ 90, 70 });
        controllerOf(*doc)->syncToChangeInMovieContent();
        EXPECT_EQ(contentOf(*w).size, (c.follows ? movieSize : HXSize { 90, 70 }));
        w->performClose();
    }
}

TEST_F(FeaturedMovieWindowTest, ShowFeaturedMovieBringsTheOpenOneForward)
{
    auto doc = openFeatured();
    ASSERT_TRUE(doc);
    auto w = controllerOf(*doc)->window();
    w->orderOut();
    ASSERT_FALSE(w->isVisible());
    delegate->showContentGuide();
    EXPECT_EQ(documents().size(), 1u) << "not opened twice";
    EXPECT_EQ(delegate->contentGuide(), doc);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(FeaturedMovieWindowTest, ShowFeaturedMovieOpensItWhenNoneIsOpen)
{
    delegate->showContentGuide();
    auto guide = delegate->contentGuide();
    ASSERT_TRUE(guide);
    EXPECT_TRUE(controllerOf(*guide));
}

TEST_F(FeaturedMovieWindowTest, QuitSavesTheOpenWindowsPlace)
{
    // Nothing open: nothing written.
    MVPContentGuideWindowController::saveWindowState();
    EXPECT_FALSE(MVPContentGuideWindowController::contentGuideWindow());
    EXPECT_EQ(HXUserDefaults::standardUserDefaults().stringForKey(MVPContentGuideWindowLocation), "");

    auto doc = openFeatured();
    ASSERT_TRUE(doc);
    auto w = controllerOf(*doc)->window();
    EXPECT_EQ(MVPContentGuideWindowController::contentGuideWindow(), w);
    w->setFrameTopLeftPoint({ 210, 640 });
    delegate->applicationWillTerminate(HXApp());
    EXPECT_EQ(
        HXRectFromString(HXUserDefaults::standardUserDefaults().stringForKey(MVPContentGuideWindowLocation)),
        w->frame());
}

} // namespace
