#include "platform/winkit/image_view.h"

HXCellFactory& HXImageView::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXImageCell>(); };
    return factory;
}

HXImageView::HXImageView(HXRect frame)
    : HXControl(cellClass()(), frame)
{
    cell()->setEditable(false);
}

void HXImageView::setImage(std::shared_ptr<HXImage> image)
{
    cell()->setImage(std::move(image));
    setNeedsDisplay(true);
    noteValueChanged();
}

void HXImageView::setEditable(bool flag) { cell()->setEditable(flag); }

// An image view does not track the mouse like a button; it passes clicks on (a window dragged by its
// background keeps working over artwork).
void HXImageView::mouseDown(const HXEvent& event) { HXView::mouseDown(event); }
