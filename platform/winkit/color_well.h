#pragma once
// HXColorWell: a control that shows a colour and, when clicked, becomes the active well of the shared
// colour panel: the panel opens on the well's colour, and every colour picked there goes into the well,
// which sends its action. One well is active at a time; closing the panel deactivates it.
#include "platform/drawing/color.h"
#include "platform/winkit/control.h"

class HXColorWell : public HXControl {
public:
    explicit HXColorWell(HXRect frame = HXZeroRect);
    ~HXColorWell() override;

    const HXColor& color() const { return _color; }
    // Sets the colour without sending the action (the panel follows when this well is active).
    void setColor(const HXColor& color);
    // Takes the colour of a colour well or of the colour panel, then sends the action.
    void takeColorFrom(HXObject* sender);

    bool isActive() const { return _active; }
    // Makes this the panel's well: with `exclusive` (the only kind there is here) the other well stops
    // being active. Opens the panel on this well's colour.
    void activate(bool exclusive = true);
    void deactivate();

    bool isBordered() const { return _bordered; }
    void setBordered(bool flag);

    // The active well, if any.
    static std::shared_ptr<HXColorWell> activeWell();

    void drawRect(HXRect dirtyRect) override;
    void mouseDown(const HXEvent& event) override;
    void keyDown(const HXEvent& event) override;
    void setEnabled(bool enabled) override;
    bool acceptsFirstResponder() const override { return isEnabled(); }

    // Accessibility: a colour well whose value is the colour's description, pressed to open the panel.
    std::vector<std::string> accessibilityAttributeNames() const override;
    HXAccessibilityValue accessibilityAttributeValue(const std::string& attribute) const override;
    std::vector<std::string> accessibilityActionNames() const override;
    std::string accessibilityActionDescription(const std::string& action) const override;
    void accessibilityPerformAction(const std::string& action) override;

    // The colour in words, as the accessibility value reads it: "red 100%, green 50%, blue 0%" (and the
    // opacity when it is not full).
    static std::string colorDescription(const HXColor& color);

private:
    // Called by the panel when the user picks a colour.
    friend class HXColorPanel;
    void panelPickedColor(const HXColor& color);

    HXColor _color = HXColor::whiteColor();
    bool _active = false;
    bool _bordered = true;
};
