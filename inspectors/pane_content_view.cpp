#include "inspectors/pane_content_view.h"

HXRect MVPFrameForContent(HXRect area, HXSize minSize, HXSize maxSize)
{
    HXRect frame = area;
    double w = area.size.width, h = area.size.height;
    if (w > maxSize.width || w < minSize.width) {
        frame.size.width = w > maxSize.width ? maxSize.width : minSize.width;
        frame.origin.x = area.origin.x + (w - frame.size.width) * 0.5;
    }
    if (h > maxSize.height || h < minSize.height) {
        frame.size.height = h > maxSize.height ? maxSize.height : minSize.height;
        // Bottom-left origin: the top edge stays at the top of the area.
        frame.origin.y = area.origin.y + h - frame.size.height;
    }
    return HXIntegralRect(frame);
}

MVPSizeConstrainedContentView::MVPSizeConstrainedContentView(HXRect frame)
    : HXView(frame)
{
}

HXRect MVPSizeConstrainedContentView::frameForContentView() const
{
    HXRect area = HXInsetRect(bounds(), _margins.width, _margins.height);
    return MVPFrameForContent(area, _minSize, _maxSize);
}

void MVPSizeConstrainedContentView::setContentView(const std::shared_ptr<HXView>& view)
{
    auto old = _content.lock();
    if (old == view)
        return;
    if (old)
        old->removeFromSuperview();
    _content = view;
    if (view) {
        view->setFrame(frameForContentView());
        addSubview(view);
        setNeedsDisplay(true);
    }
}

void MVPSizeConstrainedContentView::resizeSubviewsWithOldSize(HXSize)
{
    if (auto content = _content.lock())
        content->setFrame(frameForContentView());
}
