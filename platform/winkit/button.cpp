#include "platform/winkit/button.h"

#include "platform/winkit/text_drawing.h"
#include "platform/winkit/window.h"

HXCellFactory& HXButton::cellClass()
{
    static HXCellFactory factory = [] { return std::make_shared<HXButtonCell>(); };
    return factory;
}

HXButton::HXButton(HXRect frame, std::string title)
    : HXButton(std::static_pointer_cast<HXButtonCell>(cellClass()()), frame)
{
    buttonCell()->setTitle(title);
}

HXButton::HXButton(std::shared_ptr<HXButtonCell> cell, HXRect frame)
    : HXControl(cell ? std::move(cell) : std::make_shared<HXButtonCell>(), frame)
{
}

void HXButton::setTitle(const std::string& title)
{
    buttonCell()->setTitle(title);
    HXAccessibility::postNotification(*this, HXAccessibilityTitleChangedNotification);
}

void HXButton::setState(int state)
{
    int before = cell()->state();
    cell()->setState(state);
    if (cell()->state() != before)
        noteValueChanged();
}

void HXButton::highlight(bool flag) { cell()->highlight(flag, bounds(), *this); }

double HXButton::naturalWidth() const { return std::max(70.0, winkit::measureText(title(), {}).width + 28); }

bool HXButton::performKeyEquivalent(const HXEvent& event)
{
    const std::string& key = keyEquivalent();
    if (!isEnabled() || key.empty() || isHiddenOrHasHiddenAncestor())
        return false;
    const uint32_t relevant = HXCommandKeyMask | HXControlKeyMask | HXAlternateKeyMask;
    if ((event.modifierFlags() & relevant) != (keyEquivalentModifierMask() & relevant))
        return false;
    std::string typed = event.charactersIgnoringModifiers();
    if (typed == "\x03")
        typed = "\r";  // Enter works as Return
    if (typed != key)
        return false;
    performClick(this);
    return true;
}

void HXButton::keyDown(const HXEvent& event)
{
    // Full keyboard access: the focused button answers Space, and Return unless the window has a default
    // button that takes Return as its key equivalent.
    char32_t c = event.firstCharacterIgnoringModifiers();
    bool plain = !(event.modifierFlags() & (HXCommandKeyMask | HXControlKeyMask | HXAlternateKeyMask));
    if (plain && isEnabled() && (c == U' ' || ((c == U'\r' || c == char32_t(HXEnterCharacter)) && keyEquivalent() != "\r"))) {
        if (c == U' ' || !window() || !window()->performKeyEquivalent(event))
            performClick(this);
        return;
    }
    HXControl::keyDown(event);
}
