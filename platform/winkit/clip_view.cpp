#include "platform/winkit/clip_view.h"

#include "platform/drawing/bezier_path.h"

#include <algorithm>

HXClipView::HXClipView(HXRect frame)
    : HXView(frame)
{
    setAutoresizesSubviews(false);
}

void HXClipView::setDocumentView(const std::shared_ptr<HXView>& view)
{
    if (_documentView == view)
        return;
    if (_documentView)
        _documentView->removeFromSuperview();
    _documentView = view;
    if (view) {
        addSubview(view);
        view->setFrameOrigin({ 0, 0 });
    }
    setBoundsOrigin(constrainScrollPoint({ 0, 0 }));
    // An unflipped document starts at its top, like a flipped one.
    if (view && !view->isFlipped())
        scrollToPoint({ 0, view->frame().size.height - bounds().size.height });
}

HXRect HXClipView::documentRect() const
{
    if (!_documentView)
        return bounds();
    HXRect r = _documentView->frame();
    r.size.width = std::max(r.size.width, bounds().size.width);
    r.size.height = std::max(r.size.height, bounds().size.height);
    return r;
}

HXRect HXClipView::documentVisibleRect() const
{
    if (!_documentView)
        return HXZeroRect;
    return _documentView->convertRectFromView(bounds(), this);
}

HXPoint HXClipView::constrainScrollPoint(HXPoint p) const
{
    HXRect doc = documentRect();
    HXSize size = bounds().size;
    double maxX = std::max(doc.origin.x, HXMaxX(doc) - size.width);
    double maxY = std::max(doc.origin.y, HXMaxY(doc) - size.height);
    return { std::clamp(p.x, doc.origin.x, maxX), std::clamp(p.y, doc.origin.y, maxY) };
}

void HXClipView::scrollToPoint(HXPoint point)
{
    HXPoint p = constrainScrollPoint(point);
    if (p.x == bounds().origin.x && p.y == bounds().origin.y)
        return;
    setBoundsOrigin(p);
    setNeedsDisplay(true);
}

void HXClipView::setBackgroundColor(const HXColor& color)
{
    _backgroundColor = color;
    setNeedsDisplay(true);
}

void HXClipView::setDrawsBackground(bool flag)
{
    _drawsBackground = flag;
    setNeedsDisplay(true);
}

void HXClipView::drawRect(HXRect dirtyRect)
{
    if (!_drawsBackground)
        return;
    _backgroundColor.setFill();
    HXBezierPath::fillRect(dirtyRect);
}

void HXClipView::setFrame(HXRect frame)
{
    HXView::setFrame(frame);
    setBoundsOrigin(constrainScrollPoint(bounds().origin));
}
