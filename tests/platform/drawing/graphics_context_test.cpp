#include "platform/drawing/graphics_context.h"

#include "pixels.h"
#include "platform/drawing/bezier_path.h"

#include <gtest/gtest.h>

namespace {

const HXRGBAPixel red { 255, 0, 0, 255 };
const HXRGBAPixel blue { 0, 0, 255, 255 };
const HXRGBAPixel clear {};

TEST(GraphicsContext, FlippedAndUnflippedPlacement)
{
    const struct {
        bool flipped;
        int filledRow, emptyRow;
    } cases[] = {
        { false, 9, 0 }, // origin at the bottom left: the rectangle lands in the bottom rows
        { true, 0, 9 }, // origin at the top left
    };
    for (const auto& c : cases) {
        CurrentContext px(10, 10, c.flipped);
        ASSERT_TRUE(px.context);
        EXPECT_EQ(px.context->isFlipped(), c.flipped);
        HXColor::redColor().set();
        HXRectFill(HXMakeRect(0, 0, 4, 4));
        EXPECT_EQ(px(1, c.filledRow), red) << "flipped " << c.flipped;
        EXPECT_EQ(px(1, c.emptyRow), clear) << "flipped " << c.flipped;
        EXPECT_EQ(px(5, c.filledRow), clear) << "flipped " << c.flipped;
    }
}

TEST(GraphicsContext, CopyVersusSourceOverWithAlpha)
{
    CurrentContext px(2, 1);
    HXColor::blueColor().set();
    HXRectFill(HXMakeRect(0, 0, 2, 1));
    HXColor::redColor().colorWithAlphaComponent(0.5).set();
    HXRectFillUsingOperation(HXMakeRect(0, 0, 1, 1), HXCompositeSourceOver);
    HXRectFillUsingOperation(HXMakeRect(1, 0, 1, 1), HXCompositeCopy);
    EXPECT_TRUE(near(px(0, 0), { 128, 0, 127, 255 })) << px(0, 0); // blended over the blue
    EXPECT_TRUE(near(px(1, 0), { 255, 0, 0, 128 })) << px(1, 0); // replaced, alpha and all
}

// Blue on the left half, transparent on the right, then an opaque red rectangle across the middle with
// each operation: the result over blue, over nothing, and that nothing outside the rectangle changed.
TEST(GraphicsContext, CompositingOperationsStayInsideTheShape)
{
    const HXRGBAPixel black { 0, 0, 0, 255 }, magenta { 255, 0, 255, 255 };
    const struct {
        HXCompositingOperation op;
        HXRGBAPixel overBlue, overNothing;
    } cases[] = {
        { HXCompositeClear, clear, clear },
        { HXCompositeCopy, red, red },
        { HXCompositeSourceOver, red, red },
        { HXCompositeSourceIn, red, clear },
        { HXCompositeSourceOut, clear, red },
        { HXCompositeSourceAtop, red, clear },
        { HXCompositeDestinationOver, blue, red },
        { HXCompositeDestinationIn, blue, clear },
        { HXCompositeDestinationOut, clear, clear },
        { HXCompositeDestinationAtop, blue, red },
        { HXCompositeXOR, clear, red },
        { HXCompositePlusLighter, magenta, red },
        { HXCompositePlusDarker, black, red },
    };
    for (const auto& c : cases) {
        CurrentContext px(8, 4, true);
        HXColor::blueColor().set();
        HXRectFill(HXMakeRect(0, 0, 4, 4));
        HXColor::redColor().set();
        HXRectFillUsingOperation(HXMakeRect(2, 1, 4, 2), c.op);
        EXPECT_EQ(px(3, 1), c.overBlue) << "operation " << c.op;
        EXPECT_EQ(px(4, 2), c.overNothing) << "operation " << c.op;
        EXPECT_EQ(px(1, 1), blue) << "operation " << c.op << " reached outside the rectangle";
        EXPECT_EQ(px(3, 0), blue) << "operation " << c.op << " reached outside the rectangle";
        EXPECT_EQ(px(6, 1), clear) << "operation " << c.op << " reached outside the rectangle";
    }
}

// Plus-darker is composed by hand through intermediate surfaces; their placement must follow the
// backing scale, the user transform and the clip.
TEST(GraphicsContext, PlusDarkerPathInAScaledShiftedContext)
{
    auto ctx = HXGraphicsContext::graphicsContextWithImageSize(40, 40, 2, false);
    HXGraphicsContextScope scope(ctx);
    HXColor::blueColor().set();
    HXRectFill(HXMakeRect(0, 0, 20, 20));
    HXAffineTransform shift;
    shift.translateXBy(5, 5);
    shift.concat();
    HXRectClip(HXMakeRect(0, 0, 10, 5)); // the lower half of the oval only
    ctx->setCompositingOperation(HXCompositePlusDarker);
    HXColor::colorWithCalibratedRed(1, 1, 0.5).set();
    HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(0, 0, 10, 10)).fill();
    // Oval points (5, 2) and (5, 7): device (20, 26) inside the clip, device (20, 16) above it.
    EXPECT_TRUE(near(pixelAt(*ctx, 20, 26), { 0, 0, 128, 255 })) << pixelAt(*ctx, 20, 26);
    EXPECT_EQ(pixelAt(*ctx, 20, 16), blue);
    EXPECT_EQ(pixelAt(*ctx, 11, 29), blue); // point (0.5, 0.5): inside the clip, outside the oval
}

TEST(GraphicsContext, SourceAtopPaintsOnlyWhereSomethingIs)
{
    CurrentContext px(10, 10);
    HXColor::blueColor().set();
    HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(0, 0, 10, 10)).fill();
    px.context->setCompositingOperation(HXCompositeSourceAtop);
    HXColor::redColor().set();
    HXRectFill(HXMakeRect(0, 0, 10, 10));
    EXPECT_EQ(px(5, 5), red);
    EXPECT_EQ(px(0, 0), clear);
}

TEST(GraphicsContext, StrokeWithSourceInKeepsItsSurroundings)
{
    CurrentContext px(10, 10, true);
    HXColor::blueColor().set();
    HXRectFill(HXMakeRect(0, 0, 10, 10));
    px.context->setCompositingOperation(HXCompositeSourceIn);
    HXColor::redColor().set();
    HXBezierPath line;
    line.moveToPoint({ 0, 5 });
    line.lineToPoint({ 10, 5 });
    line.setLineWidth(2);
    line.stroke();
    EXPECT_EQ(px(5, 4), red);
    EXPECT_EQ(px(5, 8), blue);
    EXPECT_EQ(px(5, 1), blue);
}

TEST(GraphicsContext, ClippingByAPath)
{
    CurrentContext px(20, 20);
    HXGraphicsContext::saveGraphicsState();
    HXBezierPath::bezierPathWithOvalInRect(HXMakeRect(0, 0, 20, 20)).addClip();
    HXColor::redColor().set();
    HXRectFill(HXMakeRect(0, 0, 20, 20));
    EXPECT_EQ(px(10, 10), red);
    EXPECT_EQ(px(0, 0), clear);
    EXPECT_EQ(px(19, 19), clear);
    HXGraphicsContext::restoreGraphicsState();
    // The clip ends with the state; the colour set inside it goes too.
    HXRectFill(HXMakeRect(0, 0, 20, 20));
    EXPECT_EQ(px(0, 0), (HXRGBAPixel { 0, 0, 0, 255 }));
}

TEST(GraphicsContext, CurrentContextStack)
{
    auto a = HXGraphicsContext::graphicsContextWithImageSize(4, 4);
    auto b = HXGraphicsContext::graphicsContextWithImageSize(4, 4);
    HXGraphicsContext::setCurrentContext(a);
    HXGraphicsContext::saveGraphicsState();
    HXGraphicsContext::setCurrentContext(b);
    HXGraphicsContext::restoreGraphicsState();
    EXPECT_EQ(HXGraphicsContext::currentContext(), a);
    // Restoring more often than saving does nothing, and the context keeps working.
    HXGraphicsContext::restoreGraphicsState();
    a->restoreState();
    EXPECT_EQ(HXGraphicsContext::currentContext(), a);
    HXRectFill(HXMakeRect(0, 0, 4, 4));
    EXPECT_EQ(pixelAt(*a, 0, 0), (HXRGBAPixel { 0, 0, 0, 255 }));
    EXPECT_EQ(cairo_status(a->cairo()), CAIRO_STATUS_SUCCESS);
    {
        HXGraphicsContextScope scope(b);
        EXPECT_EQ(HXGraphicsContext::currentContext(), b);
    }
    EXPECT_EQ(HXGraphicsContext::currentContext(), a);
    HXGraphicsContext::setCurrentContext(nullptr);
    HXRectFill(HXMakeRect(0, 0, 1, 1)); // no current context: nothing happens
}

TEST(GraphicsContext, TransformsAndBackingScale)
{
    auto ctx = HXGraphicsContext::graphicsContextWithImageSize(20, 20, 2, true);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->size(), HXMakeSize(10, 10));
    HXGraphicsContextScope scope(ctx);
    HXAffineTransform shift;
    shift.translateXBy(3, 0);
    shift.concat();
    EXPECT_EQ(ctx->transform(), shift);
    EXPECT_EQ(ctx->clipBoundingBox(), HXMakeRect(-3, 0, 10, 10));
    HXColor::redColor().set();
    HXRectFill(HXMakeRect(0, 0, 1, 1)); // device pixels 6-7 across, 0-1 down
    EXPECT_EQ(pixelAt(*ctx, 6, 1), red);
    EXPECT_EQ(pixelAt(*ctx, 5, 1), clear);
    EXPECT_EQ(pixelAt(*ctx, 7, 2), clear);
    // A singular transform is refused instead of breaking the context.
    HXAffineTransform flat;
    flat.scaleXBy(0, 0);
    ctx->concatTransform(flat);
    ctx->setTransform(flat);
    EXPECT_EQ(ctx->transform(), shift);
    EXPECT_EQ(cairo_status(ctx->cairo()), CAIRO_STATUS_SUCCESS);
}

TEST(GraphicsContext, FrameRectDrawsInside)
{
    CurrentContext px(10, 10, true);
    HXColor::redColor().set();
    HXFrameRectWithWidth(HXMakeRect(1, 1, 8, 8), 2);
    EXPECT_EQ(px(1, 5), red);
    EXPECT_EQ(px(2, 5), red);
    EXPECT_EQ(px(3, 5), clear);
    EXPECT_EQ(px(0, 5), clear);
    EXPECT_EQ(px(5, 8), red);
    EXPECT_EQ(px(5, 9), clear);
}

TEST(GraphicsContext, Creation)
{
    EXPECT_FALSE(HXGraphicsContext::graphicsContextWithImageSize(0, 10));
    EXPECT_FALSE(HXGraphicsContext::graphicsContextWithImageSize(10, -1));
    EXPECT_FALSE(HXGraphicsContext::graphicsContextWithImageSize(1 << 20, 10));
    EXPECT_FALSE(HXGraphicsContext::graphicsContextWithImageSize(10, 10, 0));
    EXPECT_FALSE(HXGraphicsContext::graphicsContextWithSurface(nullptr));

    // Over a surface made elsewhere (as a window's): the drawing lands in that surface.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 6, 3);
    {
        auto ctx = HXGraphicsContext::graphicsContextWithSurface(surface, 1, false);
        ASSERT_TRUE(ctx);
        EXPECT_EQ(ctx->size(), HXMakeSize(6, 3));
        HXGraphicsContextScope scope(ctx);
        HXColor::blueColor().set();
        HXRectFill(HXMakeRect(0, 0, 6, 1));
        ctx->flushGraphics();
    }
    auto rep = HXBitmapImageRep::imageRepWithCairoSurface(surface);
    EXPECT_EQ(rep->pixelAt(0, 2), blue);
    EXPECT_EQ(rep->pixelAt(0, 0), clear);
    cairo_surface_destroy(surface);
}

} // namespace
