#include "platform/winkit/color_panel.h"

#include "platform/basekit/notification_center.h"
#include "platform/drawing/bezier_path.h"
#include "platform/winkit/application.h"
#include "platform/winkit/color_well.h"
#include "platform/winkit/event.h"
#include "platform/winkit/slider.h"
#include "platform/winkit/text_field.h"

namespace {

// The panel belongs to the application that was running when it was made; a new application (tests make
// one each) gets a new panel.
struct SharedPanel {
    std::shared_ptr<HXColorPanel> panel;
    std::weak_ptr<HXApplication> application;
};

SharedPanel& sharedSlot()
{
    static SharedPanel slot;
    if (slot.panel && slot.application.lock() != HXApplication::sharedApplication()) {
        slot.panel = nullptr;
        slot.application.reset();
    }
    return slot;
}

constexpr double kPanelWidth = 264;
constexpr double kPanelHeight = 176;
constexpr double kSwatch = 18;
constexpr double kSwatchGap = 3;
constexpr double kMargin = 12;

// The row of swatches: a click picks the colour under the pointer.
class SwatchRow : public HXView {
public:
    SwatchRow(HXRect frame, HXColorPanel* panel)
        : HXView(frame)
        , _panel(panel)
    {
    }
    void drawRect(HXRect) override
    {
        const auto& colors = HXColorPanel::swatchColors();
        for (size_t i = 0; i < colors.size(); ++i) {
            HXRect r = swatchRect(i);
            colors[i].setFill();
            HXBezierPath::fillRect(r);
            HXControlStyle::borderColor().setStroke();
            HXBezierPath::strokeRect(r);
        }
    }
    void mouseDown(const HXEvent& event) override
    {
        HXPoint p = convertPointFromView(event.locationInWindow(), nullptr);
        const auto& colors = HXColorPanel::swatchColors();
        for (size_t i = 0; i < colors.size(); ++i)
            if (HXPointInRect(p, swatchRect(i))) {
                _panel->pickColor(colors[i]);
                return;
            }
    }
    static HXRect swatchRect(size_t index)
    {
        return { { double(index) * (kSwatch + kSwatchGap), 0 }, { kSwatch, kSwatch } };
    }

private:
    HXColorPanel* _panel;
};

// The colour being edited, over a checkerboard when it is translucent.
class ColorPreview : public HXView {
public:
    ColorPreview(HXRect frame, HXColorPanel* panel)
        : HXView(frame)
        , _panel(panel)
    {
    }
    void drawRect(HXRect) override
    {
        HXRect b = bounds();
        HXColor::whiteColor().setFill();
        HXBezierPath::fillRect(b);
        HXColor::lightGrayColor().setFill();
        HXBezierPath::fillRect({ b.origin, { b.size.width / 2, b.size.height / 2 } });
        HXBezierPath::fillRect({ { b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2 },
            { b.size.width / 2, b.size.height / 2 } });
        _panel->color().setFill();
        HXBezierPath::fillRect(b);
        HXControlStyle::borderColor().setStroke();
        HXBezierPath::strokeRect(b);
    }

private:
    HXColorPanel* _panel;
};

}  // namespace

const std::array<HXColor, 12>& HXColorPanel::swatchColors()
{
    static const std::array<HXColor, 12> colors = {
        HXColor::colorWithCalibratedWhite(0),
        HXColor::colorWithCalibratedWhite(1.0 / 3),
        HXColor::colorWithCalibratedWhite(2.0 / 3),
        HXColor::colorWithCalibratedWhite(1),
        HXColor::colorWithCalibratedRed(1, 0, 0),
        HXColor::colorWithCalibratedRed(1, 0.5, 0),
        HXColor::colorWithCalibratedRed(1, 1, 0),
        HXColor::colorWithCalibratedRed(0, 1, 0),
        HXColor::colorWithCalibratedRed(0, 1, 1),
        HXColor::colorWithCalibratedRed(0, 0, 1),
        HXColor::colorWithCalibratedRed(0.5, 0, 1),
        HXColor::colorWithCalibratedRed(1, 0, 1),
    };
    return colors;
}

HXColorPanel::HXColorPanel()
    : HXPanel(HXRect { { 120, 120 }, { kPanelWidth, kPanelHeight } },
          HXTitledWindowMask | HXClosableWindowMask | HXUtilityWindowMask)
{
    setTitle("Colors");
    setReleasedWhenClosed(false);
    setFloatingPanel(true);
    setBecomesKeyOnlyIfNeeded(true);
}

std::shared_ptr<HXColorPanel> HXColorPanel::sharedColorPanel()
{
    auto& slot = sharedSlot();
    if (!slot.panel) {
        slot.application = HXApplication::sharedApplication();
        slot.panel = std::make_shared<HXColorPanel>();
        slot.panel->build();
    }
    return slot.panel;
}

bool HXColorPanel::sharedColorPanelExists() { return sharedSlot().panel != nullptr; }

void HXColorPanel::build()
{
    if (_built)
        return;
    _built = true;
    auto content = contentView();
    double top = kPanelHeight - kMargin;
    content->addSubview(std::make_shared<SwatchRow>(
        HXRect { { kMargin, top - kSwatch }, { 12 * (kSwatch + kSwatchGap), kSwatch } }, this));
    _preview = std::make_shared<ColorPreview>(HXRect { { kMargin, kMargin }, { 40, 100 } }, this);
    content->addSubview(_preview);

    static const char* labels[4] = { "Red", "Green", "Blue", "Opacity" };
    setActionHandler(HXSelector("componentChanged:"), [this](HXObject*) { slidersChanged(false); });
    for (int i = 0; i < 4; ++i) {
        double y = kMargin + (3 - i) * 26;
        auto label = HXTextField::labelWithString(labels[i], HXRect { { 60, y }, { 56, 20 } });
        content->addSubview(label);
        auto slider = std::make_shared<HXSlider>(HXRect { { 118, y }, { kPanelWidth - 118 - kMargin, 20 } });
        slider->setMinValue(0);
        slider->setMaxValue(1);
        slider->setContinuous(true);
        slider->setTarget(std::static_pointer_cast<HXObject>(shared_from_this()));
        slider->setAction(HXSelector("componentChanged:"));
        content->addSubview(slider);
        _sliders[size_t(i)] = slider;
    }
    syncSliders();
}

void HXColorPanel::setColor(const HXColor& color)
{
    _color = _showsAlpha ? color : color.colorWithAlphaComponent(1);
    syncSliders();
    if (_preview)
        _preview->setNeedsDisplay(true);
}

void HXColorPanel::pickColor(const HXColor& color)
{
    setColor(color);
    if (auto well = HXColorWell::activeWell())
        well->panelPickedColor(_color);
    if (auto target = _target.lock(); target && _action)
        target->performAction(_action, this);
    HXNotificationCenter::defaultCenter().postNotificationName(HXColorPanelColorDidChangeNotification, this);
}

void HXColorPanel::setShowsAlpha(bool flag)
{
    _showsAlpha = flag;
    if (_sliders[3])
        _sliders[3]->setEnabled(flag);
    if (!flag)
        setColor(_color);
}

void HXColorPanel::syncSliders()
{
    if (!_sliders[0])
        return;
    double c[4] = { _color.redComponent(), _color.greenComponent(), _color.blueComponent(), _color.alphaComponent() };
    for (size_t i = 0; i < 4; ++i)
        _sliders[i]->setDoubleValue(c[i]);
}

void HXColorPanel::slidersChanged(bool)
{
    HXColor picked = HXColor::colorWithCalibratedRed(_sliders[0]->doubleValue(), _sliders[1]->doubleValue(),
        _sliders[2]->doubleValue(), _showsAlpha ? _sliders[3]->doubleValue() : 1.0);
    pickColor(picked);
}

void HXColorPanel::close()
{
    if (auto well = HXColorWell::activeWell())
        well->deactivate();
    HXPanel::close();
}
