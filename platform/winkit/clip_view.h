#pragma once
// HXClipView: the window of a scroll view onto its document view. Scrolling moves the clip view's bounds
// origin over the document; the origin is kept where the document still fills the view.
#include "platform/drawing/color.h"
#include "platform/winkit/view.h"

class HXClipView : public HXView {
public:
    explicit HXClipView(HXRect frame = HXZeroRect);

    std::shared_ptr<HXView> documentView() const { return _documentView; }
    void setDocumentView(const std::shared_ptr<HXView>& view);
    // The part of the document seen, in the document's coordinates.
    HXRect documentVisibleRect() const;
    HXRect documentRect() const;
    // The nearest origin that keeps the view over the document.
    HXPoint constrainScrollPoint(HXPoint proposed) const;
    void scrollToPoint(HXPoint point);
    HXColor backgroundColor() const { return _backgroundColor; }
    void setBackgroundColor(const HXColor& color);
    bool drawsBackground() const { return _drawsBackground; }
    void setDrawsBackground(bool flag);

    // Flipped like its document, so that a flipped document starts at its top.
    bool isFlipped() const override { return _documentView && _documentView->isFlipped(); }
    bool isOpaque() const override { return _drawsBackground; }
    void drawRect(HXRect dirtyRect) override;
    void setFrame(HXRect frame) override;

private:
    std::shared_ptr<HXView> _documentView;
    HXColor _backgroundColor = HXColor::controlBackgroundColor();
    bool _drawsBackground = true;
};
