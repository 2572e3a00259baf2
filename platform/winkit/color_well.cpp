#include "platform/winkit/color_well.h"

#include "platform/drawing/bezier_path.h"
#include "platform/drawing/graphics_context.h"
#include "platform/winkit/color_panel.h"
#include "platform/winkit/event.h"

#include <cmath>
#include <cstdio>

namespace {

std::weak_ptr<HXColorWell>& activeWellSlot()
{
    static std::weak_ptr<HXColorWell> slot;
    return slot;
}

int percent(double component) { return int(std::lround(component * 100)); }

}  // namespace

HXColorWell::HXColorWell(HXRect frame)
    : HXControl(frame)
{
}

HXColorWell::~HXColorWell()
{
    // A dying active well leaves the slot empty by itself (weak); nothing else points at it.
}

std::shared_ptr<HXColorWell> HXColorWell::activeWell() { return activeWellSlot().lock(); }

void HXColorWell::setColor(const HXColor& color)
{
    if (color == _color)
        return;
    _color = color;
    setNeedsDisplay(true);
    noteValueChanged();
    if (_active && HXColorPanel::sharedColorPanelExists())
        HXColorPanel::sharedColorPanel()->setColor(color);
}

void HXColorWell::takeColorFrom(HXObject* sender)
{
    if (auto* well = dynamic_cast<HXColorWell*>(sender))
        setColor(well->color());
    else if (auto* panel = dynamic_cast<HXColorPanel*>(sender))
        setColor(panel->color());
    else
        return;
    sendAction();
}

void HXColorWell::panelPickedColor(const HXColor& color)
{
    if (!isEnabled())
        return;
    _color = color;
    setNeedsDisplay(true);
    noteValueChanged();
    sendAction();
}

void HXColorWell::activate(bool)
{
    if (!isEnabled())
        return;
    auto self = std::static_pointer_cast<HXColorWell>(shared_from_this());
    if (auto previous = activeWell(); previous && previous != self)
        previous->deactivate();
    activeWellSlot() = self;
    _active = true;
    setNeedsDisplay(true);
    auto panel = HXColorPanel::sharedColorPanel();
    panel->setColor(_color);
    panel->orderFront(this);
}

void HXColorWell::deactivate()
{
    if (!_active)
        return;
    _active = false;
    if (activeWell().get() == this)
        activeWellSlot().reset();
    setNeedsDisplay(true);
}

void HXColorWell::setBordered(bool flag)
{
    _bordered = flag;
    setNeedsDisplay(true);
}

void HXColorWell::setEnabled(bool enabled)
{
    if (!enabled)
        deactivate();
    HXControl::setEnabled(enabled);
}

void HXColorWell::drawRect(HXRect)
{
    HXRect b = bounds();
    HXRect swatch = b;
    if (_bordered) {
        HXControlStyle::drawPanel(b, _active ? HXControlStyle::pressedFaceColor() : HXControlStyle::faceColor(),
            _active ? HXControlStyle::accentColor() : HXControlStyle::borderColor());
        swatch = HXInsetRect(b, 5, 5);
    }
    if (swatch.size.width <= 0 || swatch.size.height <= 0)
        return;
    if (_color.alphaComponent() < 1) {
        // A checkerboard under a translucent colour shows its opacity.
        HXColor::whiteColor().setFill();
        HXBezierPath::fillRect(swatch);
        HXColor::lightGrayColor().setFill();
        const double cell = 5;
        for (double y = 0; y < swatch.size.height; y += cell)
            for (double x = 0; x < swatch.size.width; x += cell)
                if ((int(x / cell) + int(y / cell)) % 2 == 0)
                    HXBezierPath::fillRect({ { swatch.origin.x + x, swatch.origin.y + y },
                        { std::min(cell, swatch.size.width - x), std::min(cell, swatch.size.height - y) } });
    }
    (isEnabled() ? _color : _color.blendedColorWithFraction(0.5, HXColor::lightGrayColor())).setFill();
    HXBezierPath::fillRect(swatch);
    HXControlStyle::borderColor().setStroke();
    HXBezierPath::strokeRect(swatch);
    if (showsKeyboardFocus())
        HXControlStyle::drawFocusRing(b);
}

void HXColorWell::mouseDown(const HXEvent&)
{
    if (!isEnabled())
        return;
    if (_active)
        deactivate();
    else
        activate(true);
}

void HXColorWell::keyDown(const HXEvent& event)
{
    if (isEnabled() && (event.keyCode() == HXKeyCodeSpace || event.keyCode() == HXKeyCodeReturn)) {
        activate(true);
        return;
    }
    HXControl::keyDown(event);
}

std::string HXColorWell::colorDescription(const HXColor& color)
{
    char text[96];
    std::snprintf(text, sizeof text, "red %d%%, green %d%%, blue %d%%", percent(color.redComponent()),
        percent(color.greenComponent()), percent(color.blueComponent()));
    std::string out = text;
    if (color.alphaComponent() < 1) {
        std::snprintf(text, sizeof text, ", opacity %d%%", percent(color.alphaComponent()));
        out += text;
    }
    return out;
}

std::vector<std::string> HXColorWell::accessibilityAttributeNames() const
{
    auto names = HXControl::accessibilityAttributeNames();
    for (const char* name : { HXAccessibilityValueAttribute, HXAccessibilityRoleAttribute })
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    return names;
}

HXAccessibilityValue HXColorWell::accessibilityAttributeValue(const std::string& attribute) const
{
    if (attribute == HXAccessibilityRoleAttribute)
        return HXAccessibilityColorWellRole;
    if (attribute == HXAccessibilityValueAttribute)
        return colorDescription(_color);
    if (attribute == HXAccessibilityEnabledAttribute)
        return isEnabled();
    return HXControl::accessibilityAttributeValue(attribute);
}

std::vector<std::string> HXColorWell::accessibilityActionNames() const
{
    if (!isEnabled())
        return {};
    return { HXAccessibilityPressAction };
}

std::string HXColorWell::accessibilityActionDescription(const std::string& action) const
{
    return action == HXAccessibilityPressAction ? "open the colour panel" : std::string();
}

void HXColorWell::accessibilityPerformAction(const std::string& action)
{
    if (action == HXAccessibilityPressAction && isEnabled())
        activate(true);
}
