// The controller-less and the skinned windows, headless: which window a document chooses, how the size
// commands place them on the screen, the skin data a movie carries and how the skinned window scales its
// regions, drags by its drag region, zooms and validates.
#include "player/window/controllerless_window_controller.h"
#include "player/window/skinned_window.h"
#include "player/window/skinned_window_controller.h"
#include "window_test_fixture.h"

#include "platform/mvkit/skin_media.h"
#include "platform/winkit/menu.h"

#include <gtest/gtest.h>

namespace movara::test {
namespace {

const HXScreen kScreen(1, HXMakeRect(0, 0, 1440, 900), HXMakeRect(0, 40, 1440, 838));

// A skin over a 160 × 120 picture: a round-ish shape (three bands) and a drag strip along the top.
MVSkinData testSkin()
{
    return { HXRegion::regionWithRects(
                 { HXMakeRect(20, 0, 120, 10), HXMakeRect(0, 10, 160, 100), HXMakeRect(20, 110, 120, 10) }),
        HXRegion::regionWithRect(HXMakeRect(20, 0, 120, 10)) };
}

std::vector<uint8_t> u32(uint32_t v)
{
    return { uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v) };
}

std::vector<uint8_t> chunk(const char* type, std::vector<std::array<int32_t, 4>> rects, int64_t sizeDelta = 0,
    int64_t countDelta = 0)
{
    std::vector<uint8_t> out = u32(uint32_t(12 + 16 * int64_t(rects.size()) + sizeDelta));
    out.insert(out.end(), type, type + 4);
    auto count = u32(uint32_t(int64_t(rects.size()) + countDelta));
    out.insert(out.end(), count.begin(), count.end());
    for (auto& r : rects)
        for (int32_t v : r) {
            auto b = u32(uint32_t(v));
            out.insert(out.end(), b.begin(), b.end());
        }
    return out;
}

std::vector<uint8_t> cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(SkinData, SampleBytesRoundTrip)
{
    auto skin = testSkin();
    auto back = MVSkinDataFromSampleBytes(MVSkinSampleBytes(skin));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, skin);
    // A skin without a drag region reads back without one; unknown chunks are skipped.
    auto clipOnly = MVSkinDataFromSampleBytes(cat(chunk("clip", { { 0, 0, 4, 4 } }), chunk("note", {})));
    ASSERT_TRUE(clipOnly);
    EXPECT_TRUE(clipOnly->drag.isEmpty());
}

TEST(SkinData, MalformedSamplesAreRefused)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> truncated = chunk("clip", { { 0, 0, 4, 4 } });
    truncated.resize(truncated.size() - 3);
    const Case cases[] = {
        { "empty", {} },
        { "no clip region", chunk("drag", { { 0, 0, 4, 4 } }) },
        { "empty clip region", chunk("clip", {}) },
        { "truncated rectangle", truncated },
        { "header cut short", { 0, 0, 0 } },
        { "size beyond the data", chunk("clip", { { 0, 0, 4, 4 } }, 16) },
        { "count larger than the size", chunk("clip", { { 0, 0, 4, 4 } }, 0, 1) },
        { "count wrapping the size", chunk("clip", { { 0, 0, 4, 4 } }, 0, 0x10000000) },
        { "negative width", chunk("clip", { { 0, 0, -4, 4 } }) },
        { "zero height", chunk("clip", { { 0, 0, 4, 0 } }) },
        { "coordinate out of range", chunk("clip", { { 0x7FFFFFF0, 0, 4, 4 } }) },
        { "clip twice", cat(chunk("clip", { { 0, 0, 4, 4 } }), chunk("clip", { { 0, 0, 4, 4 } })) },
        { "chunk size below its header", cat(chunk("clip", { { 0, 0, 4, 4 } }), u32(4)) },
    };
    for (const auto& c : cases) {
        HXError error;
        EXPECT_FALSE(MVSkinDataFromSampleBytes(c.bytes, &error)) << c.what;
        EXPECT_FALSE(error.domain().empty()) << c.what;
    }
}

TEST(SkinData, MovieSkinTrackGivesItsRegions)
{
    auto movie = windowTestMovie();
    EXPECT_FALSE(MVMovieHasSkin(*movie));
    auto track = MVMovieAddSkinTrack(*movie, testSkin());
    ASSERT_TRUE(track);
    EXPECT_TRUE(MVTrackHasMediaCharacteristic(*track, MVMediaCharacteristicHasSkinData));
    EXPECT_EQ(MVMovieLastTrackWithMediaCharacteristic(*movie, MVMediaCharacteristicHasSkinData), track);
    EXPECT_TRUE(MVMovieHasSkin(*movie));
    EXPECT_EQ(MVMediaCopySkinClipRegion(*track->media()), testSkin().clip);
    EXPECT_EQ(MVMediaCopySkinDragRegion(*track->media()), testSkin().drag);
    EXPECT_FALSE(MVMovieAddSkinTrack(*movie, MVSkinData {})) << "a skin without a shape is refused";
}

// ---- Placement of the size commands ----

TEST(ScaledWindowPlacement, ClampsToTheAreaThatHoldsTheWindow)
{
    struct Case {
        const char* what;
        HXRect current;
        HXSize size;
        HXRect expected;
    };
    const Case cases[] = {
        { "doubling keeps the top edge and the horizontal centre", HXMakeRect(400, 300, 320, 240),
            { 640, 480 }, HXMakeRect(240, 60, 640, 480) },
        { "inside the visible frame: kept above its bottom inset", HXMakeRect(100, 50, 320, 240),
            { 640, 480 }, HXMakeRect(4, 44, 640, 480) },
        { "partly off the visible frame but on the screen: the full frame inset by 4",
            HXMakeRect(100, 10, 320, 240), { 640, 480 }, HXMakeRect(4, 4, 640, 480) },
        { "taller than the area: the top edge wins", HXMakeRect(100, 100, 320, 240), { 320, 2000 },
            HXMakeRect(100, 874 - 2000, 320, 2000) },
        { "wider than the area: the left edge wins", HXMakeRect(100, 100, 320, 240), { 3000, 240 },
            HXMakeRect(4, 100, 3000, 240) },
        { "partly off every screen: not clamped", HXMakeRect(-100, 100, 320, 240), { 640, 480 },
            HXMakeRect(-260, -140, 640, 480) },
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPRectForScaledWindow(c.current, c.size, kScreen), c.expected) << c.what;
    EXPECT_EQ(MVPRectForScaledWindow(HXMakeRect(0, 0, 10, 10), { 20, 20 }, std::nullopt),
        HXMakeRect(-5, -10, 20, 20));
}

// ---- Regions ----

TEST(SkinRegions, RectToRectTransform)
{
    auto t = MVPAffineTransformMakeRectToRect(HXMakeRect(10, 20, 100, 50), HXMakeRect(0, 0, 300, 100))
                 .transformStruct();
    EXPECT_DOUBLE_EQ(t.m11, 3);
    EXPECT_DOUBLE_EQ(t.m22, 2);
    EXPECT_DOUBLE_EQ(t.m12, 0);
    EXPECT_DOUBLE_EQ(t.m21, 0);
    EXPECT_DOUBLE_EQ(t.tX, -30);
    EXPECT_DOUBLE_EQ(t.tY, -40);
}

TEST(SkinRegions, TransformKeepsEveryRectangleOfALargeRegion)
{
    // A checkerboard of 1200 separate squares: more than any fixed buffer would hold.
    std::vector<HXRect> squares;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 30; ++x)
            squares.push_back(HXMakeRect(x * 4 + (y % 2) * 2, y * 2, 1, 1));
    HXRegion region = HXRegion::regionWithRects(squares);
    ASSERT_EQ(region.rectCount(), 1200);
    HXRegion doubled;
    ASSERT_EQ(MVPNewRegionByTransformingRegion(region,
                  MVPAffineTransformMakeRectToRect(HXMakeRect(0, 0, 1, 1), HXMakeRect(0, 0, 2, 2)), &doubled),
        0);
    EXPECT_EQ(doubled.rectCount(), 1200);
    EXPECT_EQ(doubled, region.scaledBy(2, 2));

    HXRegion same;
    EXPECT_EQ(MVPNewRegionByTransformingRegion(region, HXAffineTransform(), &same), 0);
    EXPECT_EQ(same, region);
    EXPECT_EQ(
        MVPNewRegionByTransformingRegion(region, HXAffineTransform(), nullptr), MVPRegionTransformNoResult);
}

TEST(SkinRegions, FlippedFrameMeasuresFromTheTopOfTheFirstScreen)
{
    EXPECT_EQ(MVPFlippedFrame(HXMakeRect(10, 600, 200, 100), HXMakeRect(0, 0, 1440, 900)),
        HXMakeRect(10, 200, 200, 100));
}

TEST(SkinFrame, DoublingTheFrameDoublesTheDragArea)
{
    MVPSkinFrame frame;
    frame.setBoundingBox(HXMakeRect(0, 0, 160, 120));
    frame.setDragRegion(testSkin().drag);
    frame.setClipRegion(testSkin().clip);
    auto area = frame.dragAreaForFrameSize({ 320, 240 });
    ASSERT_TRUE(area);
    EXPECT_EQ(area->bounds(), HXMakeRect(40, 0, 240, 20));
    EXPECT_EQ(frame.shapeForFrameSize({ 320, 240 })->bounds(), HXMakeRect(0, 0, 320, 240));

    struct Case {
        HXPoint point; // base coordinates of a 320 × 240 frame, y up
        bool hits;
    };
    const Case cases[] = { { { 160, 235 }, true }, { { 45, 221 }, true }, { { 160, 215 }, false },
        { { 30, 235 }, false }, { { 160, 100 }, false } };
    for (const auto& c : cases)
        EXPECT_EQ(frame.hitsDragRegion(c.point, HXMakeRect(0, 0, 320, 240)), c.hits)
            << c.point.x << "," << c.point.y;
    MVPSkinFrame none;
    EXPECT_FALSE(none.hitsDragRegion({ 1, 1 }, HXMakeRect(0, 0, 10, 10)));
}

// ---- The windows of documents ----

class SkinWindowTest : public PlayerWindowTest {
protected:
    void SetUp() override
    {
        PlayerWindowTest::SetUp();
        server->setScreens({ kScreen });
    }

    std::shared_ptr<MVMovie> skinnedMovie()
    {
        auto movie = windowTestMovie(160, 120);
        EXPECT_TRUE(MVMovieAddSkinTrack(*movie, testSkin()));
        return movie;
    }
};

TEST_F(SkinWindowTest, DocumentChoosesTheWindowForItsMovie)
{
    auto none = windowTestMovie(320, 240);
    none->setControllerType(MVMovieControllerTypeNone);
    auto noneDoc = openDocument(none);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPNoneWindowController>(noneDoc->playerWindowController()));

    auto skinDoc = openDocument(skinnedMovie());
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPSkinWindowController>(skinDoc->playerWindowController()));

    // A skin track with malformed data is no skin.
    auto broken = windowTestMovie();
    auto track = MVMovieAddSkinTrack(*broken, testSkin());
    MVSampleDescription d;
    d.format = MVSkinMediaType;
    track->media()->replaceSample(0, chunk("clip", { { 0, 0, -1, 4 } }), MVSampleDescriptionBytes(d));
    auto brokenDoc = openDocument(broken);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(brokenDoc->playerWindowController()));

    // Without a picture neither kind applies.
    auto sound = windowTestMovie(0, 0);
    sound->setControllerType(MVMovieControllerTypeNone);
    auto soundDoc = openDocument(sound);
    EXPECT_TRUE(std::dynamic_pointer_cast<MVPMovieWindowController>(soundDoc->playerWindowController()));
}

TEST_F(SkinWindowTest, ControllerLessWindowShowsOnlyTheMovieAndScales)
{
    auto movie = windowTestMovie(320, 240);
    movie->setControllerType(MVMovieControllerTypeNone);
    auto doc = openDocument(movie);
    auto controller = std::dynamic_pointer_cast<MVPNoneWindowController>(doc->playerWindowController());
    ASSERT_TRUE(controller);
    auto window = controller->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->styleMask() & HXResizableWindowMask);
    EXPECT_TRUE(window->styleMask() & HXTitledWindowMask);
    EXPECT_EQ(window->contentView(), controller->movieView());
    EXPECT_EQ(window->title(), doc->displayName());
    EXPECT_EQ(contentSize(window), (HXSize { 320, 240 }));
    EXPECT_EQ(controller->movieView()->movie(), movie);

    window->setFrameOrigin({ 400, 300 }); // room to grow on every side
    HXRect before = window->contentRectForFrameRect(window->frame());
    controller->doubleSize();
    clock->advance(1.0); // the size commands animate
    HXRect after = window->contentRectForFrameRect(window->frame());
    EXPECT_EQ(after.size, (HXSize { 640, 480 }));
    EXPECT_DOUBLE_EQ(HXMaxY(after), HXMaxY(before)) << "top edge kept";
    EXPECT_DOUBLE_EQ(HXMidX(after), HXMidX(before)) << "horizontal centre kept";
    EXPECT_EQ(doc->userSize(), (HXSize { 640, 480 }));

    // A content change resizes to the user size, keeping the top edge.
    doc->setUserSize({ 160, 120 });
    controller->syncToChangeInMovieContent();
    HXRect synced = window->contentRectForFrameRect(window->frame());
    EXPECT_EQ(synced.size, (HXSize { 160, 120 }));
    EXPECT_DOUBLE_EQ(HXMaxY(synced), HXMaxY(after));
}

TEST_F(SkinWindowTest, SkinnedWindowTakesItsShapeAndScales)
{
    auto doc = openDocument(skinnedMovie());
    auto controller = std::dynamic_pointer_cast<MVPSkinWindowController>(doc->playerWindowController());
    ASSERT_TRUE(controller);
    auto window = controller->skinWindow();
    EXPECT_EQ(window->styleMask() & HXTitledWindowMask, 0u);
    EXPECT_FALSE(window->isOpaque());
    EXPECT_TRUE(window->canBecomeKeyWindow());
    EXPECT_EQ(window->frame().size, (HXSize { 160, 120 }));
    ASSERT_TRUE(window->windowShape());
    EXPECT_EQ(*window->windowShape(), testSkin().clip);
    EXPECT_EQ(window->dragArea(), testSkin().drag);

    window->setFrameOrigin({ 400, 300 });
    HXRect before = window->frame();
    controller->doubleSize();
    clock->advance(1.0);
    HXRect after = window->frame();
    EXPECT_EQ(after.size, (HXSize { 320, 240 }));
    EXPECT_DOUBLE_EQ(HXMaxY(after), HXMaxY(before));
    EXPECT_DOUBLE_EQ(HXMidX(after), HXMidX(before));
    EXPECT_EQ(doc->userSize(), (HXSize { 320, 240 }));
    EXPECT_EQ(*window->windowShape(), testSkin().clip.scaledBy(2, 2)) << "the shape follows the size";
    EXPECT_EQ(window->dragArea()->bounds(), HXMakeRect(40, 0, 240, 20));
}

TEST_F(SkinWindowTest, DragRegionMovesTheWindowElsewhereTheMovieGetsTheClick)
{
    auto doc = openDocument(skinnedMovie());
    auto window
        = std::dynamic_pointer_cast<MVPSkinWindowController>(doc->playerWindowController())->skinWindow();
    HXPoint origin = window->frame().origin;
    // Press in the strip along the top (base coordinates: y up), drag by (30, -20), let go.
    HXHeadlessWindowServer::postMouse(HXLeftMouseDragged, window, { 110, 95 });
    HXHeadlessWindowServer::postMouse(
        HXLeftMouseUp, window, { 80, 115 }); // where the moved window has the mouse
    window->sendEvent(HXEvent::mouseEvent(HXLeftMouseDown, { 80, 115 }, 0, 0, window->windowNumber()));
    EXPECT_EQ(window->frame().origin, (HXPoint { origin.x + 30, origin.y - 20 }));

    // A press in the middle of the picture leaves the window where it is.
    HXPoint moved = window->frame().origin;
    HXHeadlessWindowServer::postClick(window, { 80, 60 });
    HXApplication::sharedApplication()->processPendingEvents();
    EXPECT_EQ(window->frame().origin, moved);
}

TEST_F(SkinWindowTest, ZoomTogglesAndFitAlwaysFits)
{
    auto doc = openDocument(skinnedMovie());
    auto window
        = std::dynamic_pointer_cast<MVPSkinWindowController>(doc->playerWindowController())->skinWindow();
    HXRect original = window->frame();
    HXRect fitted = MVPBestRectWithAspectRatio(kScreen.visibleFrame(), original.size);

    window->zoomWindow(true);
    EXPECT_EQ(window->frame(), fitted);
    EXPECT_EQ(doc->userSize(), fitted.size);
    window->zoomWindow(true);
    EXPECT_EQ(window->frame(), original) << "the second zoom goes back";
    window->zoomWindow(false);
    EXPECT_EQ(window->frame(), fitted);
    window->zoomWindow(false);
    EXPECT_EQ(window->frame(), fitted) << "fit always fits";
}

TEST_F(SkinWindowTest, CloseIsDisabledWhileASheetIsAttached)
{
    auto doc = openDocument(skinnedMovie());
    auto window
        = std::dynamic_pointer_cast<MVPSkinWindowController>(doc->playerWindowController())->skinWindow();
    HXMenuItem close("Close", HXSelector("performClose:"), "");
    HXMenuItem zoom("Zoom", HXSelector("performZoom:"), "");
    EXPECT_TRUE(window->validateUserInterfaceItem(close));
    auto sheet = std::make_shared<HXPanel>(HXMakeRect(0, 0, 100, 50), HXTitledWindowMask);
    window->beginSheet(sheet, [](long) {});
    EXPECT_FALSE(window->validateUserInterfaceItem(close));
    EXPECT_TRUE(window->validateUserInterfaceItem(zoom));
    window->endSheet(sheet);
    EXPECT_TRUE(window->validateUserInterfaceItem(close));
}

} // namespace
} // namespace movara::test
