#include "platform/winkit/scroll_view.h"

#include "platform/drawing/bezier_path.h"
#include "platform/winkit/application.h"

#include <algorithm>
#include <cmath>

HXScrollView::HXScrollView(HXRect frame)
    : HXView(frame)
{
    _clipView = std::make_shared<HXClipView>();
    _vertical = std::make_shared<HXScroller>(HXMakeRect(0, 0, HXScroller::scrollerWidth(), 100));
    _horizontal = std::make_shared<HXScroller>(HXMakeRect(0, 0, 100, HXScroller::scrollerWidth()));
    for (auto& scroller : { _vertical, _horizontal }) {
        scroller->setActionHandler("_scrollerMoved:", [this](HXObject* sender) {
            if (auto* s = dynamic_cast<HXScroller*>(sender))
                scrollerMoved(*s);
        });
        scroller->setAction("_scrollerMoved:");
    }
}

// Subviews can only join once the scroll view is owned; every entry point makes sure they did.
void HXScrollView::ensureParts() const
{
    if (_clipView->superview().get() == this)
        return;
    auto* self = const_cast<HXScrollView*>(this);
    try {
        self->addSubview(_clipView);
        self->addSubview(_vertical);
        self->addSubview(_horizontal);
    } catch (const std::bad_weak_ptr&) {
        return;
    }
    for (auto& scroller : { _vertical, _horizontal })
        scroller->setTarget(scroller);
    self->tile();
}

std::shared_ptr<HXClipView> HXScrollView::contentView() const
{
    ensureParts();
    return _clipView;
}

std::shared_ptr<HXScroller> HXScrollView::verticalScroller() const
{
    ensureParts();
    return _vertical;
}

std::shared_ptr<HXScroller> HXScrollView::horizontalScroller() const
{
    ensureParts();
    return _horizontal;
}

std::shared_ptr<HXView> HXScrollView::documentView() const { return _clipView->documentView(); }

void HXScrollView::setDocumentView(const std::shared_ptr<HXView>& view)
{
    ensureParts();
    if (_headerView) {
        _headerView->removeFromSuperview();
        _headerView = nullptr;
    }
    if (auto* provider = dynamic_cast<HXScrollViewHeaderProvider*>(view.get())) {
        _headerView = provider->scrollViewHeaderView();
        if (_headerView)
            addSubview(_headerView);
    }
    tile();
    _clipView->setDocumentView(view);
    tile();
}

HXRect HXScrollView::documentVisibleRect() const { return _clipView->documentVisibleRect(); }
HXSize HXScrollView::contentSize() const { return _clipView->frame().size; }

void HXScrollView::setHasVerticalScroller(bool flag)
{
    _hasVerticalScroller = flag;
    tile();
}

void HXScrollView::setHasHorizontalScroller(bool flag)
{
    _hasHorizontalScroller = flag;
    tile();
}

void HXScrollView::setAutohidesScrollers(bool flag)
{
    _autohidesScrollers = flag;
    tile();
}

void HXScrollView::setDrawsBorder(bool flag)
{
    _drawsBorder = flag;
    tile();
    setNeedsDisplay(true);
}

void HXScrollView::tile()
{
    if (_tiling || _clipView->superview().get() != this)
        return;
    _tiling = true;
    HXRect area = _drawsBorder ? HXInsetRect(bounds(), 1, 1) : bounds();
    double header = _headerView ? _headerView->frame().size.height : 0;
    auto doc = documentView();
    HXSize docSize = doc ? doc->frame().size : HXSize {};
    double w = HXScroller::scrollerWidth();
    // Which scrollers are needed depends on each other: try without, add what the document asks for.
    bool showV = _hasVerticalScroller, showH = _hasHorizontalScroller;
    if (_autohidesScrollers) {
        showV = showH = false;
        for (int pass = 0; pass < 2; ++pass) {
            double availW = area.size.width - (showV ? w : 0);
            double availH = area.size.height - header - (showH ? w : 0);
            showV = _hasVerticalScroller && docSize.height > availH + 0.5;
            showH = _hasHorizontalScroller && docSize.width > availW + 0.5;
        }
    }
    _vertical->setHidden(!showV);
    _horizontal->setHidden(!showH);
    double clipW = std::max(0.0, area.size.width - (showV ? w : 0));
    double clipH = std::max(0.0, area.size.height - header - (showH ? w : 0));
    // Unflipped: y grows up; the header goes at the top, the horizontal scroller at the bottom.
    double bottom = area.origin.y + (showH ? w : 0);
    _clipView->setFrame({ { area.origin.x, bottom }, { clipW, clipH } });
    if (_headerView)
        _headerView->setFrame({ { area.origin.x, bottom + clipH }, { clipW, header } });
    _vertical->setFrame({ { area.origin.x + clipW, bottom }, { w, clipH + header } });
    _horizontal->setFrame({ { area.origin.x, area.origin.y }, { clipW, w } });
    _tiling = false;
    reflectScrolledClipView();
}

double HXScrollView::topOfVisible() const
{
    HXRect visible = _clipView->bounds();
    return _clipView->isFlipped() ? visible.origin.y : HXMaxY(visible);
}

void HXScrollView::reflectScrolledClipView()
{
    HXRect doc = _clipView->documentRect();
    HXRect visible = _clipView->bounds();
    double rangeY = doc.size.height - visible.size.height;
    double rangeX = doc.size.width - visible.size.width;
    _vertical->setKnobProportion(doc.size.height > 0 ? visible.size.height / doc.size.height : 1);
    _horizontal->setKnobProportion(doc.size.width > 0 ? visible.size.width / doc.size.width : 1);
    double fromTop = _clipView->isFlipped() ? visible.origin.y - doc.origin.y : HXMaxY(doc) - HXMaxY(visible);
    _vertical->setDoubleValue(rangeY > 0 ? fromTop / rangeY : 0);
    _horizontal->setDoubleValue(rangeX > 0 ? (visible.origin.x - doc.origin.x) / rangeX : 0);
    if (_headerView)
        _headerView->setBoundsOrigin({ visible.origin.x, _headerView->bounds().origin.y });
}

void HXScrollView::scrollToPoint(HXPoint p)
{
    ensureParts();
    _clipView->scrollToPoint(p);
    reflectScrolledClipView();
    setNeedsDisplay(true);
}

void HXScrollView::scrollRectToVisible(HXRect rect)
{
    auto doc = documentView();
    if (!doc)
        return;
    HXRect visible = _clipView->bounds();
    HXPoint origin = visible.origin;
    // What does not fit shows its start (left, and top in a flipped document).
    if (rect.origin.x < visible.origin.x || rect.size.width > visible.size.width)
        origin.x = rect.origin.x;
    else if (HXMaxX(rect) > HXMaxX(visible))
        origin.x = HXMaxX(rect) - visible.size.width;
    bool flipped = _clipView->isFlipped();
    if (rect.size.height > visible.size.height)
        origin.y = flipped ? rect.origin.y : HXMaxY(rect) - visible.size.height;
    else if (rect.origin.y < visible.origin.y)
        origin.y = rect.origin.y;
    else if (HXMaxY(rect) > HXMaxY(visible))
        origin.y = HXMaxY(rect) - visible.size.height;
    scrollToPoint(origin);
}

void HXScrollView::scrollerMoved(HXScroller& scroller)
{
    HXRect doc = _clipView->documentRect();
    HXRect visible = _clipView->bounds();
    HXPoint origin = visible.origin;
    if (&scroller == _vertical.get()) {
        double range = doc.size.height - visible.size.height;
        if (scroller.hitPart() == HXScrollerDecrementPage || scroller.hitPart() == HXScrollerIncrementPage) {
            scrollBy(0, (scroller.hitPart() == HXScrollerIncrementPage ? 1 : -1) * std::max(1.0, visible.size.height - _pageScroll));
            return;
        }
        double fromTop = scroller.doubleValue() * range;
        origin.y = _clipView->isFlipped() ? doc.origin.y + fromTop : HXMaxY(doc) - visible.size.height - fromTop;
    } else {
        if (scroller.hitPart() == HXScrollerDecrementPage || scroller.hitPart() == HXScrollerIncrementPage) {
            scrollBy((scroller.hitPart() == HXScrollerIncrementPage ? 1 : -1) * std::max(1.0, visible.size.width - _pageScroll), 0);
            return;
        }
        origin.x = doc.origin.x + scroller.doubleValue() * (doc.size.width - visible.size.width);
    }
    _clipView->scrollToPoint(origin);
    if (_headerView)
        _headerView->setBoundsOrigin({ _clipView->bounds().origin.x, _headerView->bounds().origin.y });
}

// dyTowardsEnd > 0 moves towards the end of the document (down on screen).
void HXScrollView::scrollBy(double dx, double dyTowardsEnd)
{
    HXPoint origin = _clipView->bounds().origin;
    origin.x += dx;
    origin.y += _clipView->isFlipped() ? dyTowardsEnd : -dyTowardsEnd;
    scrollToPoint(origin);
}

void HXScrollView::scrollWheel(const HXEvent& event)
{
    // A positive deltaY means the wheel turned away from the user: towards the start.
    scrollBy(-event.deltaX() * _lineScroll, -event.deltaY() * _lineScroll);
}

void HXScrollView::keyDown(const HXEvent& event)
{
    double page = std::max(1.0, _clipView->bounds().size.height - _pageScroll);
    switch (event.firstCharacterIgnoringModifiers()) {
    case HXPageDownFunctionKey:
        scrollBy(0, page);
        return;
    case HXPageUpFunctionKey:
        scrollBy(0, -page);
        return;
    case HXHomeFunctionKey:
        scrollBy(0, -1e12);
        return;
    case HXEndFunctionKey:
        scrollBy(0, 1e12);
        return;
    case HXDownArrowFunctionKey:
        scrollBy(0, _lineScroll);
        return;
    case HXUpArrowFunctionKey:
        scrollBy(0, -_lineScroll);
        return;
    default:
        HXView::keyDown(event);
    }
}

void HXScrollView::setFrame(HXRect frame)
{
    HXView::setFrame(frame);
    tile();
}

void HXScrollView::resizeSubviewsWithOldSize(HXSize) { tile(); }

void HXScrollView::drawRect(HXRect)
{
    ensureParts();
    if (!_drawsBorder)
        return;
    HXColor::colorWithCalibratedWhite(0.68).setStroke();
    HXBezierPath::strokeRect(HXInsetRect(bounds(), 0.5, 0.5));
}

std::vector<std::string> HXScrollView::accessibilityAttributeNames() const
{
    auto names = HXAccessibility::viewAttributeNames();
    return names;
}

HXAccessibilityValue HXScrollView::accessibilityAttributeValue(const std::string& attribute) const
{
    ensureParts();
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityScrollAreaRole;
    if (attribute == HXAccessibilityChildrenAttribute) {
        HXAccessibilityValue::Elements children;
        if (auto doc = documentView()) {
            if (HXAccessibility::isIgnored(*doc)) {
                auto inner = HXAccessibility::unignoredChildren(*doc);
                children.insert(children.end(), inner.begin(), inner.end());
            } else
                children.push_back(doc);
        }
        for (auto& s : { _vertical, _horizontal })
            if (!s->isHidden())
                children.push_back(s);
        return children;
    }
    return HXAccessibilityElement::accessibilityAttributeValue(attribute);
}
