#include "platform/winkit/box.h"

#include "platform/drawing/attributed_string.h"
#include "platform/drawing/bezier_path.h"

#include <algorithm>
#include <cmath>

HXBox::HXBox(HXRect frame)
    : HXView(frame)
{
    _contentView = std::make_shared<HXView>();
    _contentView->setAutoresizingMask(HXViewWidthSizable | HXViewHeightSizable);
}

void HXBox::ensureContentView() const
{
    if (_contentView->superview().get() == this)
        return;
    auto* self = const_cast<HXBox*>(this);
    try {
        self->addSubview(_contentView);
    } catch (const std::bad_weak_ptr&) {
        return;  // still being made
    }
    self->layoutContentView();
}

void HXBox::setBoxType(HXBoxType type)
{
    _boxType = type;
    _contentView->setHidden(type == HXBoxSeparator);
    layoutContentView();
    setNeedsDisplay(true);
}

void HXBox::setBorderType(HXBorderType type)
{
    _borderType = type;
    layoutContentView();
    setNeedsDisplay(true);
}

void HXBox::setTitle(const std::string& title)
{
    _title = title;
    layoutContentView();
    setNeedsDisplay(true);
}

void HXBox::setTitlePosition(HXTitlePosition position)
{
    _titlePosition = position;
    layoutContentView();
    setNeedsDisplay(true);
}

void HXBox::setTitleFont(const HXFont& font)
{
    _titleFont = font;
    layoutContentView();
    setNeedsDisplay(true);
}

void HXBox::setTransparent(bool flag)
{
    _transparent = flag;
    setNeedsDisplay(true);
}

void HXBox::setFillColor(const HXColor& color)
{
    _fillColor = color;
    setNeedsDisplay(true);
}

void HXBox::setBorderColor(const HXColor& color)
{
    _borderColor = color;
    setNeedsDisplay(true);
}

void HXBox::setCornerRadius(double radius)
{
    _cornerRadius = std::max(0.0, radius);
    setNeedsDisplay(true);
}

void HXBox::setContentView(const std::shared_ptr<HXView>& view)
{
    if (!view || view == _contentView)
        return;
    ensureContentView();
    replaceSubview(_contentView, view);
    _contentView = view;
    layoutContentView();
}

void HXBox::setContentViewMargins(HXSize margins)
{
    _contentViewMargins = margins;
    layoutContentView();
}

double HXBox::titleHeight() const
{
    if (_title.empty() || _titlePosition == HXNoTitle || _boxType == HXBoxSeparator)
        return 0;
    return _titleFont.lineHeight() + 2;
}

HXRect HXBox::titleRect() const
{
    double h = titleHeight();
    if (h == 0)
        return HXZeroRect;
    HXStringAttributes a;
    a.font = _titleFont;
    double w = std::min(HXStringDrawing::sizeWithAttributes(_title, a).width + 2, bounds().size.width);
    bool atBottom = _titlePosition >= HXAboveBottom;
    double y = atBottom ? bounds().origin.y : HXMaxY(bounds()) - h;
    return { { bounds().origin.x + 6, y }, { w, h } };
}

HXRect HXBox::borderRect() const
{
    HXRect r = bounds();
    double h = titleHeight();
    if (h > 0) {
        // A title above or at the edge takes its height off the border; one inside leaves it alone.
        bool atBottom = _titlePosition >= HXAboveBottom;
        bool outside = _titlePosition == HXAboveTop || _titlePosition == HXBelowBottom;
        double cut = outside ? h : (_titlePosition == HXAtTop || _titlePosition == HXAtBottom) ? h / 2 : 0;
        r.size.height -= cut;
        if (atBottom)
            r.origin.y += cut;
    }
    return r;
}

void HXBox::layoutContentView()
{
    if (!_contentView)
        return;
    HXRect inside = borderRect();
    double h = titleHeight();
    // A title inside the border pushes the content down (or up).
    if (h > 0 && _titlePosition != HXAboveTop && _titlePosition != HXBelowBottom) {
        double extra = (_titlePosition == HXAtTop || _titlePosition == HXAtBottom) ? h / 2 : h;
        inside.size.height -= extra;
        if (_titlePosition >= HXAboveBottom)
            inside.origin.y += extra;
    }
    double border = _borderType == HXNoBorder ? 0 : 1;
    inside = HXInsetRect(inside, _contentViewMargins.width + border, _contentViewMargins.height + border);
    inside.size.width = std::max(0.0, inside.size.width);
    inside.size.height = std::max(0.0, inside.size.height);
    _contentView->setFrame(inside);
}

void HXBox::setFrame(HXRect frame)
{
    HXView::setFrame(frame);
    layoutContentView();
}

void HXBox::setFrameFromContentFrame(HXRect contentFrame)
{
    double h = titleHeight();
    double border = _borderType == HXNoBorder ? 0 : 1;
    double dx = _contentViewMargins.width + border, dy = _contentViewMargins.height + border;
    HXRect outer = HXInsetRect(contentFrame, -dx, -dy);
    outer.size.height += h;
    if (_titlePosition >= HXAboveBottom)
        outer.origin.y -= h;
    setFrame(outer);
}

void HXBox::sizeToFit()
{
    HXRect used = HXZeroRect;
    for (const auto& sub : _contentView->subviews())
        used = HXUnionRect(used, sub->frame());
    if (HXIsEmptyRect(used))
        return;
    HXRect content = _contentView->convertRectToView(used, superview().get());
    // The subviews move to the content view's corner; the content view then takes their place.
    bool autoresizes = _contentView->autoresizesSubviews();
    _contentView->setAutoresizesSubviews(false);
    for (const auto& sub : _contentView->subviews())
        sub->setFrameOrigin({ sub->frame().origin.x - used.origin.x, sub->frame().origin.y - used.origin.y });
    setFrameFromContentFrame(content);
    _contentView->setAutoresizesSubviews(autoresizes);
}

void HXBox::drawRect(HXRect)
{
    ensureContentView();
    HXRect b = bounds();
    if (_boxType == HXBoxSeparator) {
        _borderColor.setFill();
        if (b.size.width >= b.size.height)
            HXBezierPath::fillRect({ { b.origin.x, std::floor(HXMidY(b)) }, { b.size.width, 1 } });
        else
            HXBezierPath::fillRect({ { std::floor(HXMidX(b)), b.origin.y }, { 1, b.size.height } });
        return;
    }
    if (!_transparent) {
        HXRect border = HXInsetRect(borderRect(), 0.5, 0.5);
        auto path = HXBezierPath::bezierPathWithRoundedRect(border, _cornerRadius, _cornerRadius);
        if (_boxType != HXBoxOldStyle) {
            _fillColor.setFill();
            path.fill();
        }
        if (_borderType != HXNoBorder) {
            _borderColor.setStroke();
            path.setLineWidth(1);
            path.stroke();
        }
    }
    if (titleHeight() > 0) {
        HXStringAttributes a;
        a.font = _titleFont;
        a.foregroundColor = HXColor::colorWithCalibratedWhite(0.25);
        HXRect t = titleRect();
        HXStringDrawing::drawInRect(_title, t, a);
    }
}

std::vector<std::string> HXBox::accessibilityAttributeNames() const
{
    auto names = HXAccessibilityElement::accessibilityAttributeNames();
    names.push_back(HXAccessibilityTitleAttribute);
    return names;
}

HXAccessibilityValue HXBox::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute)
        return _title;
    if (attribute == HXAccessibilityChildrenAttribute) {
        ensureContentView();
        return HXAccessibility::unignoredChildren(*_contentView);
    }
    return HXAccessibilityElement::accessibilityAttributeValue(attribute);
}
