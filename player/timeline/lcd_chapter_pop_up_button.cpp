#include "player/timeline/lcd_chapter_pop_up_button.h"

#include "player/controls/image_drawing.h"

#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/menu.h"
#include "platform/winkit/window.h"

#include <algorithm>

namespace {

HXStringAttributes makeAttributes(const char* fontName, double size)
{
    HXStringAttributes attributes;
    attributes.font = HXFont::fontWithName(fontName, size);
    attributes.paragraphStyle = HXParagraphStyle { HXNaturalTextAlignment, HXLineBreakByTruncatingTail };
    return attributes;
}

// The height of the window look's background, measured once.
double centerImageHeight()
{
    static const double height = [] {
        auto image = HXImage::imageNamed("LCDChapterPopUpCenter.tif");
        return image ? image->size().height : MVPChapterPopUpButton::kChapterTextHeight;
    }();
    return height;
}

} // namespace

std::shared_ptr<MVPChapterPopUpButton> MVPChapterPopUpButton::chapterPopUpButtonWithFrame(
    HXRect frame, unsigned style)
{
    return std::make_shared<MVPChapterPopUpButton>(frame, style);
}

MVPChapterPopUpButton::MVPChapterPopUpButton(HXRect frame, unsigned style)
    : HXPopUpButton(frame, false)
    , _style(style)
{
}

void MVPChapterPopUpButton::setStyle(unsigned style)
{
    _style = style;
    setNeedsDisplay(true);
}

const HXStringAttributes& MVPChapterPopUpButton::textAttributes(unsigned style)
{
    static const HXStringAttributes window = makeAttributes("Helvetica", 10);
    static const HXStringAttributes headsUp = makeAttributes("LucidaGrande-Bold", 9);
    return style == 1 ? headsUp : window;
}

void MVPChapterPopUpButton::addChapterItem(const std::string& title, long chapterIndex)
{
    bool first = numberOfItems() == 0;
    auto item = std::make_shared<HXMenuItem>(title, HXSelector(), "");
    item->setTag(chapterIndex);
    menu()->addItem(item);
    if (first)
        selectItemAtIndex(0);
}

double MVPChapterPopUpButton::naturalWidth() const
{
    if (_style == 1)
        return kChapterTextFSWidth;
    double widest = 0;
    for (const auto& title : itemTitles())
        widest = std::max(widest, HXStringDrawing::sizeWithAttributes(title, textAttributes(0)).width);
    return widest + 16;
}

HXRect MVPChapterPopUpButton::titleRectForBounds(HXRect b) const
{
    if (_style == 1)
        return HXMakeRect(
            b.origin.x + kChapterTextXOffset, b.origin.y, b.size.width - 16, kChapterTextFSHeight);
    return HXMakeRect(b.origin.x + kChapterTextXOffset, b.origin.y + kChapterTextYOffset, b.size.width - 16,
        kChapterTextHeight);
}

void MVPChapterPopUpButton::drawRect(HXRect dirtyRect)
{
    HXRect b = bounds();
    if (_style == 1) {
        if (auto image = HXImage::imageNamed("FSLCDChapterPopUp.tif"))
            image->drawAtPoint(b.origin, HXZeroRect, HXCompositeSourceOver, 1.0);
    } else {
        DrawThreePartHorizontalImage(b, dirtyRect, true, "LCDChapterPopUpLeft.tif",
            "LCDChapterPopUpCenter.tif", "LCDChapterPopUpRight.tif", HXCompositeSourceOver, 1.0);
        auto w = window();
        if (w && w->firstResponder().get() == this)
            HXDrawFocusRingAroundRect(HXMakeRect(b.origin.x, b.origin.y, b.size.width, centerImageHeight()));
    }
    HXStringDrawing::drawInRect(titleOfSelectedItem(), titleRectForBounds(b), textAttributes(_style));
}
