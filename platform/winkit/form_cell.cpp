#include "platform/winkit/form_cell.h"

#include "platform/winkit/form.h"

#include <algorithm>
#include <cmath>

HXFormCell::HXFormCell(std::string title)
    : HXTextFieldCell()
{
    HXCell::setTitle(std::move(title));
}

double HXFormCell::titleWidth() const
{
    if (_titleWidth >= 0)
        return _titleWidth;
    if (auto* form = dynamic_cast<HXForm*>(controlView()))
        return form->widestTitleWidth();
    return naturalTitleWidth();
}

double HXFormCell::naturalTitleWidth() const
{
    if (title().empty())
        return 0;
    HXStringAttributes a;
    a.font = _titleFont;
    return std::ceil(HXStringDrawing::sizeWithAttributes(title(), a).width) + titleGap;
}

double HXFormCell::titleWidth(HXSize size) const
{
    return std::clamp(titleWidth(), 0.0, std::max(0.0, size.width));
}

void HXFormCell::setTitleWidth(double width)
{
    _titleWidth = width < 0 ? -1 : width;
    noteChanged();
}

void HXFormCell::setTitleFont(const HXFont& font)
{
    _titleFont = font;
    noteChanged();
}

void HXFormCell::setTitleAlignment(HXTextAlignment alignment)
{
    _titleAlignment = alignment;
    noteChanged();
}

HXRect HXFormCell::fieldFrameForBounds(HXRect bounds) const
{
    double title = titleWidth(bounds.size);
    HXRect field = bounds;
    field.origin.x += title;
    field.size.width = std::max(0.0, bounds.size.width - title);
    return field;
}

HXSize HXFormCell::cellSizeForBounds(HXRect bounds) const
{
    HXSize field = HXTextFieldCell::cellSizeForBounds({ bounds.origin, { 1e9, bounds.size.height } });
    return { std::min(bounds.size.width, titleWidth() + field.width), field.height };
}

void HXFormCell::drawWithFrame(HXRect cellFrame, HXView& controlView)
{
    double width = titleWidth(cellFrame.size);
    if (width > titleGap && !title().empty()) {
        HXStringAttributes a;
        a.font = _titleFont;
        a.foregroundColor = HXControlStyle::textColor(isEnabled());
        a.paragraphStyle = HXParagraphStyle { _titleAlignment, HXLineBreakByTruncatingTail };
        double h = HXStringDrawing::sizeWithAttributes(title(), a).height;
        HXRect r { { cellFrame.origin.x, HXMidY(cellFrame) - h / 2 }, { width - titleGap, h } };
        HXStringDrawing::drawInRect(title(), r, a);
    }
    HXTextFieldCell::drawWithFrame(fieldFrameForBounds(cellFrame), controlView);
}

HXAccessibilityValue HXFormCell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityTitleAttribute)
        return title();
    return HXTextFieldCell::accessibilityAttributeValue(attribute);
}
