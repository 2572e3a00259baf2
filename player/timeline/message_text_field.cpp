#include "player/timeline/message_text_field.h"

namespace {

HXColor windowStyleColor()
{
    static const HXColor color = HXColor::colorWithCalibratedWhite(72.0 / 255.0, 1.0);
    return color;
}

HXColor fullScreenColor()
{
    static const HXColor color = HXColor::colorWithCalibratedWhite(1.0, 1.0);
    return color;
}

} // namespace

std::shared_ptr<MVPMessageTextField> MVPMessageTextField::messageTextFieldWithFrame(
    HXRect frame, unsigned style)
{
    return std::make_shared<MVPMessageTextField>(frame, style);
}

MVPMessageTextField::MVPMessageTextField(HXRect frame, unsigned style)
    : HXTextField(frame)
    , _style(style)
{
    setEditable(false);
    setSelectable(false);
    setDrawsBackground(false);
    setBezeled(false);
    setBordered(false);
    if (style == 1) {
        setFont(HXFont::fontWithName("LucidaGrande-Bold", 9));
        setTextColor(fullScreenColor());
    } else {
        setFont(HXFont::fontWithName("Helvetica", 10));
        setTextColor(windowStyleColor());
    }
    setAlignment(HXCenterTextAlignment);
}

void MVPMessageTextField::setStyle(unsigned style)
{
    _style = style;
    setNeedsDisplay(true);
}

void MVPMessageTextField::drawRect(HXRect dirtyRect)
{
    (void)dirtyRect;
    // A 14-point band centred in the height, whatever the field's height.
    HXRect b = bounds();
    double y = (b.size.height - (_style == 1 ? 12 : 14)) * 0.5;
    cell()->drawWithFrame(HXMakeRect(b.origin.x, y, b.size.width, 14), *this);
}
