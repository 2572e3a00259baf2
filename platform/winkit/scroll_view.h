#pragma once
// HXScrollView: a clip view onto a document view, with scrollers that appear when the document is larger
// than what is shown, a header view on top for tables, and scrolling by wheel, scrollers and keys.
#include "platform/winkit/accessibility.h"
#include "platform/winkit/clip_view.h"
#include "platform/winkit/scroller.h"

// A document view with a header to show above the scrolled area (a table's column titles).
class HXScrollViewHeaderProvider {
public:
    virtual ~HXScrollViewHeaderProvider() = default;
    virtual std::shared_ptr<HXView> scrollViewHeaderView() = 0;
};

class HXScrollView : public HXView, public HXAccessibilityElement {
public:
    explicit HXScrollView(HXRect frame = HXZeroRect);

    std::shared_ptr<HXClipView> contentView() const;
    std::shared_ptr<HXView> documentView() const;
    void setDocumentView(const std::shared_ptr<HXView>& view);
    HXRect documentVisibleRect() const;
    HXSize contentSize() const;

    bool hasVerticalScroller() const { return _hasVerticalScroller; }
    void setHasVerticalScroller(bool flag);
    bool hasHorizontalScroller() const { return _hasHorizontalScroller; }
    void setHasHorizontalScroller(bool flag);
    bool autohidesScrollers() const { return _autohidesScrollers; }
    void setAutohidesScrollers(bool flag);
    std::shared_ptr<HXScroller> verticalScroller() const;
    std::shared_ptr<HXScroller> horizontalScroller() const;
    bool drawsBorder() const { return _drawsBorder; }
    void setDrawsBorder(bool flag);
    double lineScroll() const { return _lineScroll; }
    void setLineScroll(double amount) { _lineScroll = amount; }
    double pageScroll() const { return _pageScroll; }  // what stays visible when paging
    void setPageScroll(double amount) { _pageScroll = amount; }

    // Moves the clip view's bounds origin to `p` (document coordinates), kept over the document.
    void scrollToPoint(HXPoint p);
    // Scrolls as little as needed to show `rect` of the document.
    void scrollRectToVisible(HXRect rect);
    // Lays out the clip view, scrollers and header, and brings the scrollers up to date.
    void tile();
    void reflectScrolledClipView();

    void scrollWheel(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;
    void setFrame(HXRect frame) override;
    void drawRect(HXRect dirtyRect) override;
    void resizeSubviewsWithOldSize(HXSize oldSize) override;

    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    void ensureParts() const;
    void scrollerMoved(HXScroller& scroller);
    // The document's y that shows at the top of the clip view.
    double topOfVisible() const;
    void scrollBy(double dx, double dyTowardsEnd);

    mutable std::shared_ptr<HXClipView> _clipView;
    mutable std::shared_ptr<HXScroller> _vertical;
    mutable std::shared_ptr<HXScroller> _horizontal;
    std::shared_ptr<HXView> _headerView;
    bool _hasVerticalScroller = true;
    bool _hasHorizontalScroller = false;
    bool _autohidesScrollers = true;
    bool _drawsBorder = true;
    double _lineScroll = 10;
    double _pageScroll = 10;
    bool _tiling = false;
};
