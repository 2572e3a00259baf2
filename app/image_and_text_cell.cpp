#include "app/image_and_text_cell.h"

#include "platform/drawing/graphics_context.h"
#include "platform/drawing/image.h"
#include "platform/winkit/view.h"

#include <cmath>

ImageAndTextCell::ImageAndTextCell(std::string text)
    : HXTextFieldCell(std::move(text))
{
}

double ImageAndTextCell::stripWidth() const
{
    return (image() ? image()->size().width : 0) + kImageGap;
}

HXSize ImageAndTextCell::cellSize() const
{
    HXSize size = HXTextFieldCell::cellSize();
    size.width += stripWidth();
    return size;
}

HXRect ImageAndTextCell::imageFrameForCellFrame(HXRect cellFrame) const
{
    if (!image())
        return HXZeroRect;
    HXSize size = image()->size();
    return { { cellFrame.origin.x + kImageGap,
                 cellFrame.origin.y + std::ceil((cellFrame.size.height - size.height) / 2) },
        size };
}

HXRect ImageAndTextCell::textFrameForCellFrame(HXRect cellFrame) const
{
    HXRect strip, rest;
    HXDivideRect(cellFrame, &strip, &rest, stripWidth(), HXMinXEdge);
    return rest;
}

void ImageAndTextCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    if (auto icon = image()) {
        HXRect strip, rest;
        HXDivideRect(cellFrame, &strip, &rest, stripWidth(), HXMinXEdge);
        if (drawsBackground()) {
            backgroundColor().setFill();
            HXRectFill(strip);
        }
        // The icon is drawn into its frame the right way up in flipped and unflipped views alike.
        bool wasFlipped = icon->isFlipped();
        icon->setFlipped(controlView.isFlipped());
        icon->drawInRect(imageFrameForCellFrame(cellFrame));
        icon->setFlipped(wasFlipped);
        HXTextFieldCell::drawWithFrame(rest, controlView);
        return;
    }
    HXTextFieldCell::drawWithFrame(cellFrame, controlView);
}

void ImageAndTextCell::editWithFrame(
    HXRect frame, HXView& controlView, HXTextView& editor, const HXEvent* event)
{
    HXTextFieldCell::editWithFrame(textFrameForCellFrame(frame), controlView, editor, event);
}

void ImageAndTextCell::selectWithFrame(
    HXRect frame, HXView& controlView, HXTextView& editor, size_t start, size_t length)
{
    HXTextFieldCell::selectWithFrame(textFrameForCellFrame(frame), controlView, editor, start, length);
}
