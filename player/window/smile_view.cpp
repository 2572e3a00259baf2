#include "player/window/smile_view.h"

#include "platform/drawing/attributed_string.h"
#include "platform/drawing/bezier_path.h"
#include "platform/drawing/color.h"
#include "platform/drawing/font.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/window.h"
#include "player/controls/button_image_set.h"

#include <algorithm>
#include <cstdlib>

std::optional<std::string>& MVPSmileView::storedLabel()
{
    static std::optional<std::string> label;
    return label;
}

const std::optional<std::string>& MVPSmileView::label()
{
    return storedLabel();
}

MVPSmileView::MVPSmileView(HXRect frame)
    : HXView(frame)
{
    static bool looked = false;
    if (!looked) {
        looked = true;
        if (const char* value = std::getenv("MOVARA_PLAYER_SHOW_LABEL"))
            storedLabel() = std::string(value);
    }
}

void MVPSmileView::drawRect(HXRect dirtyRect)
{
    (void)dirtyRect;
    auto context = HXGraphicsContext::currentContext();
    if (!context)
        return;
    HXRect b = bounds();
    double x = b.origin.x, y = b.origin.y, w = b.size.width, h = b.size.height;
    double H = std::min(y + h, 37.0);
    double top = y + H;
    double d = w / 6;
    auto window = this->window();
    bool dim = !(window && window->isMainWindow()) && MVPToolkitVersionNumber >= 905.0;
    double fillAlpha = dim ? 0.3 : 0.6, strokeAlpha = dim ? 0.5 : 1.0;

    HXBezierPath fill;
    fill.moveToPoint(HXMakePoint(x, top - 1));
    fill.curveToPoint(HXMakePoint(x + w, top - 1), HXMakePoint(x + d, y - H / 6 - 1),
        HXMakePoint(x + w - d, y - H / 6 - 1));
    fill.lineToPoint(HXMakePoint(x + w, y));
    fill.lineToPoint(HXMakePoint(x, y));
    fill.closePath();
    HXColor::colorWithCalibratedWhite(0.4, fillAlpha).setFill();
    // Source-atop: the shade darkens what the strip drew and adds nothing where it drew nothing.
    context->setCompositingOperation(HXCompositeSourceAtop);
    fill.fill();
    context->setCompositingOperation(HXCompositeSourceOver);

    HXBezierPath stroke;
    stroke.moveToPoint(HXMakePoint(x, top));
    stroke.curveToPoint(
        HXMakePoint(x + w, top), HXMakePoint(x + d, y - H / 6), HXMakePoint(x + w - d, y - H / 6));
    stroke.setLineWidth(1.5);
    HXColor::colorWithCalibratedWhite(0.4, strokeAlpha).setStroke();
    stroke.stroke();

    if (const auto& text = label()) {
        HXStringAttributes attributes;
        attributes.font = HXFont::systemFontOfSize(HXFont::smallSystemFontSize());
        attributes.foregroundColor = HXColor::colorWithCalibratedWhite(0.9, 0.35);
        HXStringDrawing::drawAtPoint(*text, HXMakePoint(4, 3.75), attributes);
        attributes.foregroundColor = HXColor::colorWithCalibratedWhite(0.1, 0.85);
        HXStringDrawing::drawAtPoint(*text, HXMakePoint(4, 4), attributes);
    }
}
