#pragma once
// MVPSizeConstrainedContentView: the one container that every pane tab of the properties window shares.
// It holds the active pane's view within the pane's minimum and maximum size: centred horizontally and
// kept against the top of the area when the area is larger or smaller than the pane allows.
#include "platform/winkit/view.h"

#include <memory>

class MVPSizeConstrainedContentView : public HXView {
public:
    explicit MVPSizeConstrainedContentView(HXRect frame = HXZeroRect);

    // Plain setters: they do not lay the content out again.
    void setMargins(HXSize margins) { _margins = margins; }
    HXSize margins() const { return _margins; }
    void setMaxSize(HXSize size) { _maxSize = size; }
    HXSize maxSize() const { return _maxSize; }
    void setMinSize(HXSize size) { _minSize = size; }
    HXSize minSize() const { return _minSize; }

    // The content (null for none): the old one leaves, the new one is framed and added as a subview.
    void setContentView(const std::shared_ptr<HXView>& view);
    std::shared_ptr<HXView> contentView() const { return _content.lock(); }

    // Where the content goes in the bounds as they are now.
    HXRect frameForContentView() const;
    void resizeSubviewsWithOldSize(HXSize oldSize) override;

private:
    HXSize _minSize {};
    HXSize _maxSize {};
    HXSize _margins {};
    // Held as a subview; this is only a way back to it.
    std::weak_ptr<HXView> _content;
};

// The frame of content limited to [minSize, maxSize] in `area`: a dimension outside the limits is
// clamped, centred horizontally and aligned with the top edge of the area (y up), which may leave it
// overhanging a smaller area; a dimension within them fills the area. The result is rounded outward to
// whole points.
HXRect MVPFrameForContent(HXRect area, HXSize minSize, HXSize maxSize);
