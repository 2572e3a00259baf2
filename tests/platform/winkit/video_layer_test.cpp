// Video layers: the pictures views show under their drawing — where the window places them, how it
// composes them for its rendered image, and that a new picture is shown without drawing any view.
#include "winkit_fixture.h"

#include "platform/drawing/color.h"
#include "platform/drawing/graphics_context.h"

#include <vector>

namespace {

// A view showing a solid picture (BGRA, premultiplied) in `pictureRect`, a clear hole where it goes,
// and a grey frame drawn around its bounds.
class PictureView : public HXView {
public:
    explicit PictureView(HXRect frame)
        : HXView(frame)
    {
    }
    void drawRect(HXRect) override
    {
        ++draws;
        HXColor::colorWithCalibratedWhite(0.5).setFill();
        HXRectFill(bounds());
        HXRectFillUsingOperation(pictureRect, HXCompositeClear);
    }
    std::optional<HXVideoLayer> videoLayer(const HXVideoLayerSupport&) override
    {
        if (!showsPicture)
            return std::nullopt;
        HXVideoLayer layer;
        layer.rect = pictureRect;
        auto pixels = std::make_shared<std::vector<uint32_t>>(size_t(pictureWidth) * pictureHeight, color);
        layer.picture.format = HXVideoPixelFormat::BGRA;
        layer.picture.width = pictureWidth;
        layer.picture.height = pictureHeight;
        layer.picture.planes[0] = reinterpret_cast<const uint8_t*>(pixels->data());
        layer.picture.strides[0] = pictureWidth * 4;
        layer.picture.owner = pixels;
        layer.picture.serial = serial;
        return layer;
    }
    HXRect pictureRect = HXMakeRect(10, 10, 40, 20);
    int pictureWidth = 4, pictureHeight = 2;
    uint32_t color = 0xFFFF0000; // opaque red
    bool showsPicture = true;
    uint64_t serial = 1;
    int draws = 0;
};

// A small opaque square drawn over the picture (a text over a movie).
class Badge : public HXView {
public:
    using HXView::HXView;
    void drawRect(HXRect) override
    {
        HXColor::colorWithDeviceRed(0, 0, 1).setFill();
        HXRectFill(bounds());
    }
};

} // namespace

class VideoLayerTest : public WinkitTest { };

TEST_F(VideoLayerTest, LayersArePlacedInTheWindowsPixelsAndClippedToTheView)
{
    struct Case {
        HXRect pictureRect; // in the view, which sits at (0, 0) of a 100 × 80 borderless window
        HXPixelRect rect, visible;
    };
    const Case cases[] = {
        { HXMakeRect(10, 10, 40, 20), { 10, 50, 40, 20 }, { 10, 50, 40, 20 } },
        { HXMakeRect(0, 0, 100, 80), { 0, 0, 100, 80 }, { 0, 0, 100, 80 } },
        // Half outside the view: the whole rectangle is kept, the visible part is the view's.
        { HXMakeRect(80, 70, 40, 20), { 80, -10, 40, 20 }, { 80, 0, 20, 10 } },
        { HXMakeRect(10.4, 10.6, 40, 20), { 10, 49, 40, 20 }, { 10, 49, 40, 20 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pictureRect.origin.x);
        auto w = makeWindow(HXMakeRect(0, 0, 100, 80), HXBorderlessWindowMask);
        auto view = std::make_shared<PictureView>(HXMakeRect(0, 0, 100, 80));
        view->pictureRect = c.pictureRect;
        w->contentView()->addSubview(view);
        w->display();
        const auto& layers = w->videoLayers();
        ASSERT_EQ(layers.size(), 1u);
        EXPECT_EQ(layers[0].rect, c.rect);
        EXPECT_EQ(layers[0].visible, c.visible);
    }
}

TEST_F(VideoLayerTest, TheRenderedImageHasThePictureUnderTheDrawing)
{
    auto w = makeWindow(HXMakeRect(0, 0, 100, 80), HXBorderlessWindowMask);
    auto view = std::make_shared<PictureView>(HXMakeRect(0, 0, 100, 80));
    w->contentView()->addSubview(view);
    auto badge = std::make_shared<Badge>(HXMakeRect(20, 15, 5, 5));
    view->addSubview(badge);
    w->display();
    EXPECT_EQ(w->renderedPixelRGBA(30, 60), 0xFF0000FFu) << "the picture, scaled to its rectangle";
    EXPECT_EQ(w->renderedPixelRGBA(22, 62), 0x0000FFFFu) << "what is drawn over the picture";
    EXPECT_NEAR(int(w->renderedPixelRGBA(5, 5) >> 24), 128, 1) << "the drawing around it";

    // Without a picture the hole stays what the drawing left: clear.
    view->showsPicture = false;
    view->setNeedsVideoPresent();
    EXPECT_EQ(w->renderedPixelRGBA(30, 60) & 0xFF, 0u);
}

TEST_F(VideoLayerTest, ANewPictureIsShownWithoutDrawingAnyView)
{
    auto w = makeWindow(HXMakeRect(0, 0, 100, 80), HXBorderlessWindowMask);
    auto view = std::make_shared<PictureView>(HXMakeRect(0, 0, 100, 80));
    w->contentView()->addSubview(view);
    w->makeKeyAndOrderFront();
    w->displayIfNeeded();
    const int draws = view->draws;
    const int presents = server->presentCount();

    view->color = 0xFF00FF00;
    view->serial = 2;
    view->setNeedsVideoPresent();
    EXPECT_TRUE(w->needsVideoPresent());
    w->displayIfNeeded();
    EXPECT_EQ(view->draws, draws) << "no view was drawn";
    EXPECT_EQ(server->presentCount(), presents + 1) << "the window was shown again";
    EXPECT_FALSE(w->needsVideoPresent());
    EXPECT_EQ(w->renderedPixelRGBA(30, 60), 0x00FF00FFu) << "with the new picture";

    // Hidden views show no picture.
    view->setHidden(true);
    w->displayIfNeeded();
    EXPECT_TRUE(w->videoLayers().empty());
}

TEST_F(VideoLayerTest, PixelRectangles)
{
    struct Case {
        HXPixelRect a, b, intersection, union_;
    };
    const Case cases[] = {
        { { 0, 0, 10, 10 }, { 5, 5, 10, 10 }, { 5, 5, 5, 5 }, { 0, 0, 15, 15 } },
        { { 0, 0, 10, 10 }, { 10, 0, 5, 5 }, {}, { 0, 0, 15, 10 } },
        { { 0, 0, 0, 0 }, { 3, 4, 5, 6 }, {}, { 3, 4, 5, 6 } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HXIntersectionPixelRect(c.a, c.b), c.intersection);
        EXPECT_EQ(HXUnionPixelRect(c.a, c.b), c.union_);
    }
}
