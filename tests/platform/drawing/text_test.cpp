#include "platform/drawing/attributed_string.h"

#include "pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

namespace {

// The box around every pixel with ink, in device pixels (row 0 at the top); empty when nothing was drawn.
struct InkBox {
    int minX = INT_MAX, minY = INT_MAX, maxX = -1, maxY = -1;
    bool empty() const { return maxX < 0; }
};

InkBox inkBox(HXGraphicsContext& context, int w, int h, std::function<bool(const HXRGBAPixel&)> isInk = {})
{
    InkBox box;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            HXRGBAPixel p = pixelAt(context, x, y);
            if (isInk ? isInk(p) : p.a > 0) {
                box.minX = std::min(box.minX, x);
                box.maxX = std::max(box.maxX, x);
                box.minY = std::min(box.minY, y);
                box.maxY = std::max(box.maxY, y);
            }
        }
    }
    return box;
}

const char* sample = "Hamburgefonstiv gyp ÅÉ";

TEST(Text, InkStaysInsideTheMeasuredBox)
{
    HXStringAttributes attrs;
    attrs.font = HXFont::systemFontOfSize(14);
    HXSize size = HXStringDrawing::sizeWithAttributes(sample, attrs);
    ASSERT_GT(size.width, 50);
    ASSERT_GT(size.height, 10);
    const int W = 300, H = 60; // points
    const HXPoint at { 20, 15 };
    const struct {
        bool flipped;
        int scale;
    } cases[] = { { false, 1 }, { true, 1 }, { false, 2 }, { true, 2 } };
    for (const auto& c : cases) {
        auto context
            = HXGraphicsContext::graphicsContextWithImageSize(W * c.scale, H * c.scale, c.scale, c.flipped);
        HXGraphicsContextScope scope(context);
        HXStringDrawing::drawAtPoint(sample, at, attrs);
        InkBox ink = inkBox(*context, W * c.scale, H * c.scale);
        ASSERT_FALSE(ink.empty()) << "flipped " << c.flipped << " scale " << c.scale;
        // The measured box in device rows: flipped, the point is its top-left; unflipped, its bottom-left.
        double top = (c.flipped ? at.y : H - at.y - size.height) * c.scale;
        double left = at.x * c.scale, w = size.width * c.scale, h = size.height * c.scale;
        EXPECT_GE(ink.minX, int(left) - 1) << "flipped " << c.flipped << " scale " << c.scale;
        EXPECT_LE(ink.maxX, int(left + w) + 1) << "flipped " << c.flipped << " scale " << c.scale;
        EXPECT_GE(ink.minY, int(top) - 1) << "flipped " << c.flipped << " scale " << c.scale;
        EXPECT_LE(ink.maxY, int(top + h) + 1) << "flipped " << c.flipped << " scale " << c.scale;
        // ... and fills most of it, so the box is not merely huge.
        EXPECT_GT(ink.maxX - ink.minX, w * 0.8) << "flipped " << c.flipped << " scale " << c.scale;
        EXPECT_GT(ink.maxY - ink.minY, h * 0.5) << "flipped " << c.flipped << " scale " << c.scale;
    }
}

TEST(Text, DrawnInARectIsTruncatedAndAligned)
{
    const struct {
        HXLineBreakMode mode;
        HXTextAlignment alignment;
    } cases[] = {
        { HXLineBreakByTruncatingTail, HXLeftTextAlignment },
        { HXLineBreakByTruncatingHead, HXRightTextAlignment },
        { HXLineBreakByTruncatingMiddle, HXCenterTextAlignment },
        { HXLineBreakByClipping, HXLeftTextAlignment },
        { HXLineBreakByWordWrapping, HXLeftTextAlignment },
    };
    const HXRect box = HXMakeRect(30, 10, 80, 20);
    for (const auto& c : cases) {
        for (bool flipped : { false, true }) {
            CurrentContext px(200, 60, flipped);
            HXStringAttributes attrs;
            attrs.font = HXFont::fontWithName("Helvetica", 10);
            attrs.paragraphStyle = HXParagraphStyle { c.alignment, c.mode };
            std::string text = "A long movie title that cannot fit in the space given to it";
            HXStringDrawing::drawInRect(text, box, attrs);
            InkBox ink = inkBox(*px.context, 200, 60);
            ASSERT_FALSE(ink.empty()) << "mode " << c.mode;
            int top = flipped ? int(box.origin.y) : 60 - int(HXMaxY(box));
            EXPECT_GE(ink.minX, 30) << "mode " << c.mode << " flipped " << flipped;
            EXPECT_LE(ink.maxX, 109) << "mode " << c.mode << " flipped " << flipped;
            EXPECT_GE(ink.minY, top) << "mode " << c.mode << " flipped " << flipped;
            EXPECT_LE(ink.maxY, top + 19) << "mode " << c.mode << " flipped " << flipped;
            // Text starts at the top edge of the rectangle.
            EXPECT_LE(ink.minY, top + 4) << "mode " << c.mode << " flipped " << flipped;
            HXRect measured = HXStringDrawing::boundingRectWithSize(text, box.size, 0, attrs);
            EXPECT_LE(measured.size.width, box.size.width) << "mode " << c.mode;
        }
    }
}

TEST(Text, CentredTextSitsInTheMiddle)
{
    CurrentContext px(200, 20, true);
    HXStringAttributes attrs;
    attrs.paragraphStyle = HXParagraphStyle { HXCenterTextAlignment, HXLineBreakByTruncatingTail };
    HXStringDrawing::drawInRect("centre", HXMakeRect(0, 0, 200, 20), attrs);
    InkBox ink = inkBox(*px.context, 200, 20);
    ASSERT_FALSE(ink.empty());
    EXPECT_NEAR((ink.minX + ink.maxX) / 2.0, 100, 3);
}

TEST(Text, WrappingGrowsTheMeasuredHeight)
{
    HXAttributedString text("one two three four five six seven eight nine ten");
    HXRect oneLine = text.boundingRectWithSize(HXMakeSize(0, 0));
    HXRect wrapped = text.boundingRectWithSize(HXMakeSize(60, 1000));
    EXPECT_LE(wrapped.size.width, 60);
    EXPECT_GT(wrapped.size.height, oneLine.size.height * 2.5);
    EXPECT_EQ(HXAttributedString().size(), HXZeroSize);
}

TEST(Text, ForegroundColourAndShadow)
{
    CurrentContext px(120, 40, true);
    HXStringAttributes attrs;
    attrs.font = HXFont::boldSystemFontOfSize(20);
    attrs.foregroundColor = HXColor::redColor();
    attrs.shadow = HXShadow { HXMakeSize(0, -6), 1.5, HXColor::blueColor() };
    HXStringDrawing::drawAtPoint("HHH", { 5, 5 }, attrs);
    auto isRed = [](const HXRGBAPixel& p) { return p.a == 255 && p.r > 200 && p.b < 40; };
    auto isBlue = [](const HXRGBAPixel& p) { return p.a > 40 && p.b > 200 && p.r < 40; };
    InkBox redInk = inkBox(*px.context, 120, 40, isRed);
    InkBox blueInk = inkBox(*px.context, 120, 40, isBlue);
    ASSERT_FALSE(redInk.empty());
    ASSERT_FALSE(blueInk.empty());
    // The shadow falls 6 points lower on screen.
    EXPECT_NEAR(blueInk.maxY - redInk.maxY, 6, 2);
}

TEST(Font, SubstitutionAndMetrics)
{
    const struct {
        const char* name;
        double size;
        bool bold;
        const char* family;
        double expectedSize;
    } cases[] = {
        { "LucidaGrande", 11, false, "Sans", 11 },
        { "LucidaGrande-Bold", 11, true, "Sans", 11 },
        { "Lucida Grande", 9, false, "Sans", 9 },
        { "Helvetica", 10, false, "Helvetica", 10 },
        { "Helvetica-BoldOblique", 10, true, "Helvetica", 10 },
        { "No Such Face-Wide", 12, false, "No Such Face-Wide", 12 },
        { "Sans", 0, false, "Sans", HXFont::systemFontSize() },
    };
    for (const auto& c : cases) {
        HXFont font = HXFont::fontWithName(c.name, c.size);
        EXPECT_EQ(font.fontName(), c.name);
        EXPECT_EQ(font.familyName(), c.family) << c.name;
        EXPECT_EQ(font.isBold(), c.bold) << c.name;
        EXPECT_DOUBLE_EQ(font.pointSize(), c.expectedSize) << c.name;
        // Every face resolves to something with sane metrics, fallback or not.
        EXPECT_GT(font.ascender(), font.pointSize() * 0.5) << c.name;
        EXPECT_LT(font.descender(), 0) << c.name;
        EXPECT_LT(font.ascender(), font.pointSize() * 1.5) << c.name;
        EXPECT_GE(font.lineHeight(), font.ascender() - font.descender() - 0.01) << c.name;
    }
    EXPECT_EQ(HXFont::systemFontSizeForControlSize(HXSmallControlSize), HXFont::smallSystemFontSize());
    // Bold really is heavier: the same text is wider.
    HXStringAttributes plain, bold;
    plain.font = HXFont::systemFontOfSize(11);
    bold.font = HXFont::boldSystemFontOfSize(11);
    EXPECT_GT(HXStringDrawing::sizeWithAttributes("Movie Inspector", bold).width,
        HXStringDrawing::sizeWithAttributes("Movie Inspector", plain).width);
    // Twice the size, about twice the width.
    HXStringAttributes big;
    big.font = HXFont::systemFontOfSize(22);
    double ratio = HXStringDrawing::sizeWithAttributes("Movie Inspector", big).width
        / HXStringDrawing::sizeWithAttributes("Movie Inspector", plain).width;
    EXPECT_NEAR(ratio, 2, 0.1);
}

TEST(AttributedString, Runs)
{
    HXStringAttributes red, bold;
    red.foregroundColor = HXColor::redColor();
    bold.font = HXFont::boldSystemFontOfSize(12);
    HXAttributedString s("héllo world", red); // "é" is two bytes: 1 and 2
    s.addAttributes(bold, { 6, 100 }); // past the end: cut to the string
    HXRange range;
    HXStringAttributes a = s.attributesAtIndex(0, &range);
    EXPECT_EQ(range, (HXRange { 0, 6 }));
    EXPECT_EQ(a, red);
    a = s.attributesAtIndex(8, &range);
    EXPECT_EQ(range, (HXRange { 6, 6 }));
    EXPECT_EQ(a.foregroundColor, HXColor::redColor());
    EXPECT_EQ(a.font, bold.font);

    // A range starting inside "é" takes the whole character.
    s.setAttributes({}, { 2, 1 });
    s.attributesAtIndex(1, &range);
    EXPECT_EQ(range, (HXRange { 1, 2 }));
    EXPECT_EQ(s.attributesAtIndex(1), HXStringAttributes {});
    s.attributesAtIndex(0, &range);
    EXPECT_EQ(range, (HXRange { 0, 1 }));

    // Setting the same attributes again joins the runs.
    s.setAttributes(red, { 1, 2 });
    s.attributesAtIndex(0, &range);
    EXPECT_EQ(range, (HXRange { 0, 6 }));

    HXAttributedString tail(" again", bold);
    s.appendAttributedString(tail);
    EXPECT_EQ(s.string(), "héllo world again");
    s.attributesAtIndex(14, &range);
    EXPECT_EQ(range, (HXRange { 12, 6 }));
    EXPECT_EQ(s.attributesAtIndex(99, &range), HXStringAttributes {});
    EXPECT_EQ(range, (HXRange { s.length(), 0 }));
    s.setAttributes(red, { HXNotFound, 3 }); // no range: nothing changes
    EXPECT_EQ(s.attributesAtIndex(14), bold);
}

TEST(AttributedString, InvalidUTF8IsDrawnNotRefused)
{
    CurrentContext px(100, 30, true);
    std::string bad = "ab\xff\xfe"
                      "cd\xc3";
    HXAttributedString s(bad);
    EXPECT_GT(s.size().width, 0);
    s.drawAtPoint({ 2, 2 });
    EXPECT_FALSE(inkBox(*px.context, 100, 30).empty());
}

} // namespace
