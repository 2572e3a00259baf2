#pragma once
// HXColorPanel: the one colour picker of the application. A floating panel with a row of swatches and red,
// green, blue and opacity sliders; what is picked goes to the active colour well (HXColorWell) and to the
// panel's own target and action, if any.
#include "platform/drawing/color.h"
#include "platform/winkit/window.h"

#include <array>
#include <memory>

class HXSlider;
class HXColorWell;

// Posted with the panel as object whenever its colour changes.
inline constexpr const char* HXColorPanelColorDidChangeNotification = "HXColorPanelColorDidChangeNotification";

class HXColorPanel : public HXPanel {
public:
    static std::shared_ptr<HXColorPanel> sharedColorPanel();
    static bool sharedColorPanelExists();

    const HXColor& color() const { return _color; }
    // Shows `color` in the panel without sending it anywhere.
    void setColor(const HXColor& color);
    // The user picks a colour: the panel shows it, the active well takes it (and sends its action), the
    // panel sends its own action, and the change is posted.
    void pickColor(const HXColor& color);

    bool showsAlpha() const { return _showsAlpha; }
    void setShowsAlpha(bool flag);
    bool isContinuous() const { return _continuous; }
    void setContinuous(bool flag) { _continuous = flag; }
    void setTarget(const std::shared_ptr<HXObject>& target) { _target = target; }
    void setAction(HXSelector action) { _action = action; }

    // The swatches along the top, in order.
    static const std::array<HXColor, 12>& swatchColors();
    // The slider of a component: 0 red, 1 green, 2 blue, 3 opacity.
    std::shared_ptr<HXSlider> componentSlider(int index) const { return _sliders.at(size_t(index)); }

    void close() override;

    // Public for make_shared only; use sharedColorPanel.
    HXColorPanel();

private:
    void build();
    void slidersChanged(bool final);
    void syncSliders();

    HXColor _color = HXColor::whiteColor();
    bool _showsAlpha = true;
    bool _continuous = true;
    std::weak_ptr<HXObject> _target;
    HXSelector _action;
    std::array<std::shared_ptr<HXSlider>, 4> _sliders;
    std::shared_ptr<class HXView> _preview;
    bool _built = false;
};
