#pragma once
// HXBox: a titled, framed group of views, or a thin separator line. Its content view fills the frame
// inside the border and title, less the margins.
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"
#include "platform/winkit/accessibility.h"
#include "platform/winkit/view.h"

#include <memory>
#include <string>

enum HXBoxType : int { HXBoxPrimary = 0, HXBoxSecondary = 1, HXBoxSeparator = 2, HXBoxOldStyle = 3, HXBoxCustom = 4 };

enum HXTitlePosition : int {
    HXNoTitle = 0,
    HXAboveTop = 1,
    HXAtTop = 2,
    HXBelowTop = 3,
    HXAboveBottom = 4,
    HXAtBottom = 5,
    HXBelowBottom = 6,
};

enum HXBorderType : int { HXNoBorder = 0, HXLineBorder = 1, HXBezelBorder = 2, HXGrooveBorder = 3 };

class HXBox : public HXView, public HXAccessibilityElement {
public:
    explicit HXBox(HXRect frame = HXZeroRect);

    HXBoxType boxType() const { return _boxType; }
    void setBoxType(HXBoxType type);
    HXBorderType borderType() const { return _borderType; }
    void setBorderType(HXBorderType type);
    const std::string& title() const { return _title; }
    void setTitle(const std::string& title);
    HXTitlePosition titlePosition() const { return _titlePosition; }
    void setTitlePosition(HXTitlePosition position);
    const HXFont& titleFont() const { return _titleFont; }
    void setTitleFont(const HXFont& font);
    bool isTransparent() const { return _transparent; }
    void setTransparent(bool flag);
    HXColor fillColor() const { return _fillColor; }
    void setFillColor(const HXColor& color);
    HXColor borderColor() const { return _borderColor; }
    void setBorderColor(const HXColor& color);
    double cornerRadius() const { return _cornerRadius; }
    void setCornerRadius(double radius);

    std::shared_ptr<HXView> contentView() const
    {
        ensureContentView();
        return _contentView;
    }
    void setContentView(const std::shared_ptr<HXView>& view);
    HXSize contentViewMargins() const { return _contentViewMargins; }
    void setContentViewMargins(HXSize margins);
    // Where the title is drawn, and the rectangle the border encloses (the box's coordinates).
    HXRect titleRect() const;
    HXRect borderRect() const;
    // Sizes the box so that its content view gets `contentFrame` (in the superview's coordinates).
    void setFrameFromContentFrame(HXRect contentFrame);
    // Shrinks the box around its content view's subviews.
    void sizeToFit();

    void setFrame(HXRect frame) override;
    void viewDidMoveToSuperview() override { ensureContentView(); }
    void drawRect(HXRect dirtyRect) override;
    bool isOpaque() const override { return false; }

    // Accessibility: a group named by the title; a plain separator stays out of the tree.
    bool accessibilityIsIgnored() const override { return _boxType == HXBoxSeparator; }
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;

private:
    double titleHeight() const;
    // The content view joins the box once the box is owned (it cannot be added from the constructor).
    void ensureContentView() const;
    void layoutContentView();

    HXBoxType _boxType = HXBoxPrimary;
    HXBorderType _borderType = HXLineBorder;
    std::string _title;
    HXTitlePosition _titlePosition = HXAtTop;
    HXFont _titleFont = HXFont::systemFontOfSize(HXFont::smallSystemFontSize());
    bool _transparent = false;
    HXColor _fillColor = HXColor::colorWithCalibratedWhite(0, 0.04);
    HXColor _borderColor = HXColor::colorWithCalibratedWhite(0, 0.18);
    double _cornerRadius = 5;
    std::shared_ptr<HXView> _contentView;
    HXSize _contentViewMargins { 8, 8 };
};
