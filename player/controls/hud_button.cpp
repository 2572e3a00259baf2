#include "player/controls/hud_button.h"

#include "platform/drawing/attributed_string.h"
#include "platform/drawing/image.h"
#include "platform/winkit/view.h"

#include <algorithm>
#include <memory>

HUDButtonLayout HUDButtonCellLayout(HXRect frame, HXSize leftCap, HXSize rightCap, HXSize fill, bool flipped)
{
    const double x = frame.origin.x, y = frame.origin.y, w = frame.size.width, h = frame.size.height;
    const double capY = flipped ? y + h : y;
    HUDButtonLayout layout;
    layout.leftCap = { x, capY };
    layout.rightCap = { x + w - rightCap.width, capY };
    const double end = x + w - rightCap.width;
    if (fill.width > 0) {
        for (double at = x + leftCap.width; at < end; at += fill.width)
            layout.fillTiles.push_back({ { at, capY }, { std::min(fill.width, end - at), fill.height } });
    }
    layout.interior = { { x + 1, y + 1 }, { w - 2, h + 4 } };
    return layout;
}

namespace {

struct ButtonImages {
    std::shared_ptr<HXImage> left, right, fill;
};

// The images, loaded once for the process.
const ButtonImages& images(bool pressed)
{
    static const ButtonImages normal { HXImage::imageNamed("hud_buttonLeft-N"),
        HXImage::imageNamed("hud_buttonRight-N"), HXImage::imageNamed("hud_buttonFill-N") };
    static const ButtonImages down { HXImage::imageNamed("hud_buttonLeft-P"),
        HXImage::imageNamed("hud_buttonRight-P"), HXImage::imageNamed("hud_buttonFill-P") };
    return pressed ? down : normal;
}

} // namespace

HUDButtonCell::HUDButtonCell(std::string title)
    : HXButtonCell(std::move(title))
{
    setBordered(false);
    setButtonType(HXMomentaryChangeButton);
}

void HUDButtonCell::drawWithFrame(HXRect frame, HXView& controlView)
{
    // The title follows the enabled state at every draw.
    setTextColor(isEnabled() ? HXColor::whiteColor() : HXColor::grayColor());
    const ButtonImages& parts = images(isHighlighted());
    if (parts.left && parts.right && parts.fill) {
        auto layout = HUDButtonCellLayout(
            frame, parts.left->size(), parts.right->size(), parts.fill->size(), controlView.isFlipped());
        parts.left->compositeToPoint(layout.leftCap, HXCompositeSourceOver);
        parts.right->compositeToPoint(layout.rightCap, HXCompositeSourceOver);
        for (const auto& tile : layout.fillTiles)
            parts.fill->drawInRect(tile, { { 0, 0 }, tile.size }, HXCompositeSourceOver, 1);
        if (title().empty()) {
            drawInteriorWithFrame(layout.interior, controlView);
            return;
        }
        // The title in its own colour (the plain button's would be dark on the dark caps), centred on
        // the button.
        HXStringAttributes attributes;
        attributes.font = font();
        attributes.foregroundColor = textColor();
        attributes.paragraphStyle = HXParagraphStyle { HXCenterTextAlignment, HXLineBreakByTruncatingTail };
        double h = HXStringDrawing::sizeWithAttributes(title(), attributes).height;
        HXStringDrawing::drawInRect(title(),
            { { frame.origin.x + 1, HXMidY(frame) - h / 2 }, { frame.size.width - 2, h } }, attributes);
        return;
    }
    // Without the artwork the plain button look stands in.
    HXButtonCell::drawWithFrame(frame, controlView);
}

HUDButton::HUDButton(HXRect frame, std::string title)
    : HXButton(frame, title)
{
    auto cell = std::make_shared<HUDButtonCell>(title);
    cell->setTarget(buttonCell()->target());
    cell->setAction(buttonCell()->action());
    setCell(cell);
}
